// The real viewer under a real X server: what a shader author sees and does.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "harness.h"
#include "pictures.h"

namespace {

const Millis START_TIMEOUT(20000);
const Millis STEP_TIMEOUT(15000);

// The scene pass writes values outside [0, 1]; the final pass halves them, so the picture
// shows whether the float target kept them.
std::string solid_shader(const char* scene_rgb)
{
    return std::string(
               "sampler2D scene : register(s0);\n"
               "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(") +
        scene_rgb +
        ", 1); }\n"
        "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv) * 0.5; }\n";
}

bool near(Rgb a, Rgb b) { return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1; }

std::string describe(Rgb c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (DISPLAY)";
        ASSERT_TRUE(x.ok()) << "cannot open DISPLAY";
    }

    void start(std::vector<std::string> env = {})
    {
        env.push_back("SDL_VIDEODRIVER=x11");
        viewer.reset(new Process(FXVIEW_PATH, {}, folder.path(), env));
        window = x.find_window("test", viewer->pid(), START_TIMEOUT);
        ASSERT_NE(window, 0ul) << "no window; stderr: " << viewer->err();
    }

    bool shows(Rgb expected)
    {
        return wait_until(STEP_TIMEOUT, [&] { return near(x.pixel(window, 640, 360), expected); });
    }

    // F5 while another window has the focus, held long enough for a frame to poll it.
    void press_f5_elsewhere()
    {
        if (!editor) editor = x.open_focus_window();
        x.focus(editor);
        x.press("F5", Millis(60));
    }

    bool still_running() { return !viewer->wait_exit(Millis(0)).has_value(); }

    TempDir folder;
    XSession x;
    std::unique_ptr<Process> viewer;
    unsigned long window = 0;
    unsigned long editor = 0;
};

const Rgb FIRST{204, 51, 102};   // (1.6, 0.4, 0.8) halved
const Rgb SECOND{51, 230, 128};  // (0.4, 1.8, 1.0) halved

TEST_F(Viewer, ShowsTheFirstFrameAndReloadsAnEditOnF5FromAnotherWindow)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start();
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(FIRST)) << "shows " << describe(x.pixel(window, 640, 360));

    folder.write("main.fx", solid_shader("0.4, 1.8, 1.0"));
    press_f5_elsewhere();
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 2, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(SECOND)) << "shows " << describe(x.pixel(window, 640, 360));
    EXPECT_TRUE(still_running());
}

TEST_F(Viewer, StartsOnTheFolderOrTheMainFxNamedOnItsCommandLine)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    TempDir elsewhere;
    for (const std::string& shader : {folder.path(), folder.path() + "/main.fx"}) {
        viewer.reset(new Process(FXVIEW_PATH, {shader}, elsewhere.path(), {"SDL_VIDEODRIVER=x11"}));
        window = x.find_window("test", viewer->pid(), START_TIMEOUT);
        ASSERT_NE(window, 0ul) << "no window; stderr: " << viewer->err();
        EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT)) << shader << ": " << viewer->out();
        EXPECT_TRUE(shows(FIRST)) << shader << " shows " << describe(x.pixel(window, 640, 360));
        ::kill(viewer->pid(), SIGTERM);
        EXPECT_EQ(viewer->wait_exit(STEP_TIMEOUT), 0) << shader;
    }
}

TEST_F(Viewer, BrokenEditsReportAndKeepRunningUntilTheFixIsReloaded)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start();
    ASSERT_TRUE(shows(FIRST));

    folder.write("main.fx", "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n{\n    return float4(1, 0, 0, 1)\n}\n");
    press_f5_elsewhere();
    EXPECT_TRUE(viewer->wait_for_out("Error : main.fx(4,1): error: ", 1, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(viewer->wait_for_out("Error : Pshader\n", 3, STEP_TIMEOUT)) << viewer->out();
    EXPECT_NE(viewer->out().find(": error: "), std::string::npos) << viewer->out();
    EXPECT_TRUE(still_running());

    // A shader the compiler itself crashes on is one more failed compile.
    folder.write("main.fx",
                 "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { { int M = 1; } const float w[(M)]; return 0; }\n");
    press_f5_elsewhere();
    EXPECT_TRUE(viewer->wait_for_out("internal compiler error", 1, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(still_running());

    folder.write("main.fx", solid_shader("0.4, 1.8, 1.0"));
    press_f5_elsewhere();
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 2, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(SECOND)) << "shows " << describe(x.pixel(window, 640, 360));
}

TEST_F(Viewer, HoldingF5ReloadsEveryFrameWithNewNoise)
{
    // The noise texture on sampler 1, scaled into view.
    folder.write("main.fx",
                 "sampler2D scene : register(s0);\n"
                 "sampler2D noise : register(s1);\n"
                 "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(noise, uv) * 5 + 0.5; }\n"
                 "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }\n");
    start();
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT));
    std::this_thread::sleep_for(Millis(500));
    int width, height;
    std::vector<std::uint8_t> before = x.capture(window, width, height);

    if (!editor) editor = x.open_focus_window();
    x.focus(editor);
    x.press("F5", Millis(1500));
    std::this_thread::sleep_for(Millis(500));
    EXPECT_GE(viewer->count_out("Load Shader.\n"), 3) << "held F5 should reload on every frame";
    std::vector<std::uint8_t> after = x.capture(window, width, height);
    ASSERT_EQ(before.size(), after.size());
    EXPECT_NE(before, after) << "each reload fills the noise texture with new values";
}

TEST_F(Viewer, TheWindowShowsWhatTheCaptureToolRenders)
{
    folder.write("main.fx",
                 "sampler2D scene : register(s0);\n"
                 "sampler2D noise : register(s1);\n"
                 "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n"
                 "{ return float4(uv * 3 - 1, tex2D(noise, uv * 8).x * 10 + 0.5, 1); }\n"
                 "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0\n"
                 "{ return tex2D(scene, uv) * 0.5 + tex2D(scene, 1 - uv) * 0.25; }\n");
    Process shot(FXSHOT_PATH, {"-o", "expected.png"}, folder.path(), {"DISPLAY"});
    ASSERT_EQ(shot.wait_exit(Millis(60000)), 0) << shot.out() << shot.err();
    Picture expected;
    ASSERT_TRUE(read_png(folder.path() + "/expected.png", expected));

    start();
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT));
    // The first frame shows a moment after the load; on a busy machine, many moments.
    const std::size_t centre = ((std::size_t)360 * (std::size_t)expected.width + 640) * 4;
    EXPECT_TRUE(shows({expected.rgba[centre], expected.rgba[centre + 1], expected.rgba[centre + 2]}));
    int width = 0, height = 0;
    std::vector<std::uint8_t> screen = x.capture(window, width, height);
    ASSERT_EQ(width, expected.width);
    ASSERT_EQ(height, expected.height);
    int differing = 0;
    for (int i = 0; i < width * height; ++i) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(screen[i * 3 + c] - expected.rgba[i * 4 + c]) > 1) {
                ++differing;
                break;
            }
        }
    }
    EXPECT_EQ(differing, 0) << "pixels that differ between the window and fxshot";
}

TEST_F(Viewer, EscapeQuitsWithExitCodeZero)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start();
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT));
    x.focus(window);
    x.press("Escape");
    std::optional<int> code = viewer->wait_exit(Millis(5000));
    ASSERT_TRUE(code.has_value()) << "still running after Escape";
    EXPECT_EQ(*code, 0) << viewer->err();
}

TEST_F(Viewer, ClosingTheWindowQuitsWithExitCodeZero)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start();
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT));
    x.send_close(window);
    std::optional<int> code = viewer->wait_exit(Millis(5000));
    ASSERT_TRUE(code.has_value()) << "still running after the close request";
    EXPECT_EQ(*code, 0) << viewer->err();
}

TEST_F(Viewer, AMissingShaderFileReportsAndRecoversOnF5)
{
    start();
    EXPECT_TRUE(viewer->wait_for_out("Error : ", 1, STEP_TIMEOUT));
    EXPECT_TRUE(viewer->wait_for_out("Error : Pshader\n", 3, STEP_TIMEOUT)) << viewer->out();
    EXPECT_NE(viewer->out().find("main.fx"), std::string::npos) << viewer->out();
    EXPECT_TRUE(still_running());

    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    press_f5_elsewhere();
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(FIRST)) << "shows " << describe(x.pixel(window, 640, 360));
}

// As an editor that writes the file where it is, in two steps.
void save_in_place(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text.substr(0, text.size() / 2) << std::flush;
    std::this_thread::sleep_for(Millis(50));
    file << text.substr(text.size() / 2);
}

// Where F5 pressed in another program cannot reach the viewer (as on Wayland), saving reloads.
TEST_F(Viewer, WithoutTheGlobalKeyboardEachSaveReloadsOnce)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start({"FXVIEW_GLOBAL_KEYBOARD=0"});
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(viewer->wait_for_err("saving main.fx counts as pressing F5", STEP_TIMEOUT)) << viewer->err();

    folder.write("main.fx", solid_shader("0.4, 1.8, 1.0"));  // by rename
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 2, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(SECOND)) << "shows " << describe(x.pixel(window, 640, 360));
    std::this_thread::sleep_for(Millis(1000));
    EXPECT_EQ(viewer->count_out("Load Shader.\n"), 2);

    save_in_place(folder.path() + "/main.fx", solid_shader("1.6, 0.4, 0.8"));
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 3, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(FIRST)) << "shows " << describe(x.pixel(window, 640, 360));
    std::this_thread::sleep_for(Millis(1000));
    EXPECT_EQ(viewer->count_out("Load Shader.\n"), 3);
    EXPECT_EQ(viewer->out().find("Error"), std::string::npos) << "a half-written file was read: " << viewer->out();
}

TEST_F(Viewer, ReloadOnSaveSaysOnceThatItStoppedWhenTheFolderIsDeleted)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start({"FXVIEW_GLOBAL_KEYBOARD=0"});
    ASSERT_TRUE(viewer->wait_for_err("saving main.fx counts as pressing F5", STEP_TIMEOUT)) << viewer->err();
    std::filesystem::remove_all(folder.path());
    EXPECT_TRUE(viewer->wait_for_err("reload on save has stopped", STEP_TIMEOUT)) << viewer->err();
    std::this_thread::sleep_for(Millis(500));
    const std::string err = viewer->err();
    EXPECT_EQ(err.find("reload on save has stopped"), err.rfind("reload on save has stopped")) << err;
    EXPECT_TRUE(still_running());
}

TEST_F(Viewer, InAWaylandSessionReloadOnSaveStartsThroughXWaylandToo)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start({"WAYLAND_DISPLAY=wayland-fxview-test"});
    EXPECT_TRUE(viewer->wait_for_err("saving main.fx counts as pressing F5", STEP_TIMEOUT)) << viewer->err();
}

TEST_F(Viewer, WithReloadOnSaveSwitchedOnF5FromAnotherWindowStillReloads)
{
    folder.write("main.fx", solid_shader("1.6, 0.4, 0.8"));
    start({"FXVIEW_RELOAD_ON_SAVE=1"});
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, STEP_TIMEOUT)) << viewer->out();
    press_f5_elsewhere();
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 2, STEP_TIMEOUT)) << viewer->out();

    save_in_place(folder.path() + "/main.fx", solid_shader("0.4, 1.8, 1.0"));
    EXPECT_TRUE(viewer->wait_for_out("Load Shader.\n", 3, STEP_TIMEOUT)) << viewer->out();
    EXPECT_TRUE(shows(SECOND)) << "shows " << describe(x.pixel(window, 640, 360));
}

}  // namespace
