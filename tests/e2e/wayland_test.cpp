// The real viewer on SDL's native Wayland driver, under weston: its X11 backend runs as a window in
// the test script's X server, so what the compositor shows is read back from that screen and the
// pointer reaches the viewer's title bar through it. weston's headless backend, which offers no
// input seat, stands for a compositor SDL 2.26 cannot start on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness.h"
#include "pictures.h"

namespace {

const Millis START_TIMEOUT(30000);
const Millis STEP_TIMEOUT(15000);
// weston's output: its X11 window, at the origin of the test script's larger screen.
const int OUTPUT_WIDTH = 1600, OUTPUT_HEIGHT = 1000;

std::string find_program(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// A colour that survives every step exactly: k / 255 in the shader, k in the compositor's output.
std::string solid_shader(int r, int g, int b)
{
    return "sampler2D scene : register(s0);\n"
           "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(" +
        std::to_string(r) + ".0 / 255, " + std::to_string(g) + ".0 / 255, " + std::to_string(b) +
        ".0 / 255, 1); }\n"
        "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }\n";
}

struct Rect {
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive
    long count = 0;                                  // pixels of the colour inside
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

struct Screen {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// Where a colour shows on the screen: the box around its pixels.
Rect find_colour(const Screen& screen, Rgb colour)
{
    Rect box{screen.width, screen.height, -1, -1, 0};
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            const std::uint8_t* p = screen.at(x, y);
            if (p[0] != colour.r || p[1] != colour.g || p[2] != colour.b) continue;
            box.left = std::min(box.left, x);
            box.top = std::min(box.top, y);
            box.right = std::max(box.right, x);
            box.bottom = std::max(box.bottom, y);
            ++box.count;
        }
    }
    return box;
}

class Wayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (DISPLAY) for weston's X11 backend";
        weston = find_program("weston");
        ASSERT_FALSE(weston.empty()) << "weston is not installed (scripts/packages.sh installs it)";
        ASSERT_TRUE(x.ok()) << "cannot open DISPLAY";
        // The compositor's socket lives in a private runtime folder, as a session's does.
        ASSERT_EQ(chmod(runtime.path().c_str(), 0700), 0);
        socket = "fxview-test-" + std::to_string(getpid());
    }

    void TearDown() override
    {
        viewer.reset();
        if (compositor) {
            ::kill(compositor->pid(), SIGTERM);
            compositor->wait_exit(Millis(5000));
            compositor.reset();
        }
    }

    void start_compositor(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--socket=" + socket, "--no-config", "--idle-time=0"});
        compositor.reset(new Process(weston, args, runtime.path(), {"XDG_RUNTIME_DIR=" + runtime.path()}));
        const std::string path = runtime.path() + "/" + socket;
        ASSERT_TRUE(wait_until(START_TIMEOUT, [&] { return access(path.c_str(), F_OK) == 0; }))
            << "weston did not start: " << compositor->err();
    }

    // The viewer on the compositor alone: no X display for it.
    void start_viewer(std::vector<std::string> env = {})
    {
        env.insert(
            env.end(),
            {"SDL_VIDEODRIVER=wayland", "WAYLAND_DISPLAY=" + socket, "XDG_RUNTIME_DIR=" + runtime.path(), "DISPLAY"});
        viewer.reset(new Process(FXVIEW_PATH, {folder.path()}, runtime.path(), env));
    }

    Screen screen()
    {
        Screen shot;
        shot.rgb = x.capture(x.root(), shot.width, shot.height);
        return shot;
    }

    // weston's X11 backend moves its own pointer by the X pointer's steps and only notes where the X
    // pointer enters, so the two drift apart with every earlier test's pointer. Entering at the far
    // corner and running to the near one pins weston's pointer to the output's origin, in step with X.
    void point_at(int px, int py)
    {
        x.move(OUTPUT_WIDTH + 100, OUTPUT_HEIGHT + 50);
        x.move(OUTPUT_WIDTH - 1, OUTPUT_HEIGHT - 1);
        x.move(0, 0);
        x.move(px, py);
    }

    // The viewer's client area, found by the colour it shows: the whole 1280 x 720 frame, unscaled,
    // but for the pointer that the compositor may draw over it.
    bool shows(Rgb colour, Rect& area)
    {
        const long POINTER_PIXELS = 32 * 32;
        return wait_until(STEP_TIMEOUT, [&] {
            area = find_colour(screen(), colour);
            return area.count >= 1280L * 720 - POINTER_PIXELS && area.count <= 1280L * 720 && area.width() == 1280 &&
                area.height() == 720;
        });
    }

    std::string weston;
    XSession x;
    TempDir runtime, folder;
    std::string socket;
    std::unique_ptr<Process> compositor, viewer;
};

const Rgb FIRST{32, 192, 96};
const Rgb LAST{200, 40, 160};

TEST_F(Wayland, ViewerDrawsReloadsOnSaveAndQuitsWhenClosedOrTerminated)
{
    start_compositor({"--backend=x11-backend.so", "--width=" + std::to_string(OUTPUT_WIDTH),
                      "--height=" + std::to_string(OUTPUT_HEIGHT), "--use-pixman"});
    folder.write("main.fx", solid_shader(FIRST.r, FIRST.g, FIRST.b));
    start_viewer();
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, START_TIMEOUT)) << viewer->out() << viewer->err();
    Rect area;
    ASSERT_TRUE(shows(FIRST, area)) << "the frame is not on the compositor's screen (" << area.count
                                    << " pixels of it); stderr: " << viewer->err();
    // Keys pressed in the editor never reach a Wayland client: saving reloads instead.
    EXPECT_NE(viewer->err().find("saving main.fx counts as pressing F5"), std::string::npos) << viewer->err();

    // The example, saved over it, draws: its colours on average as fxshot renders it.
    std::ifstream example(EXAMPLES_DIR "/main.fx");
    std::stringstream example_text;
    example_text << example.rdbuf();
    folder.write("main.fx", example_text.str());
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 2, STEP_TIMEOUT)) << viewer->out() << viewer->err();
    Process shot(FXSHOT_PATH, {"-o", folder.path() + "/example.png", folder.path()}, folder.path(),
                 {"DISPLAY", "WAYLAND_DISPLAY"});
    ASSERT_EQ(shot.wait_exit(START_TIMEOUT), 0) << shot.err();
    Picture expected;
    ASSERT_TRUE(read_png(folder.path() + "/example.png", expected));
    double expected_mean[3] = {0, 0, 0};
    for (size_t i = 0; i < expected.rgba.size(); i += 4)
        for (int c = 0; c < 3; ++c) expected_mean[c] += expected.rgba[i + c] / (1280.0 * 720);
    bool drawn = wait_until(STEP_TIMEOUT, [&] {
        const Screen now = screen();
        double mean[3] = {0, 0, 0};
        for (int y = area.top; y <= area.bottom; ++y)
            for (int xx = area.left; xx <= area.right; ++xx)
                for (int c = 0; c < 3; ++c) mean[c] += now.at(xx, y)[c] / (1280.0 * 720);
        for (int c = 0; c < 3; ++c)
            if (std::abs(mean[c] - expected_mean[c]) > 6) return false;
        return true;
    });
    EXPECT_TRUE(drawn) << "the window does not show the example";

    folder.write("main.fx", solid_shader(LAST.r, LAST.g, LAST.b));
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 3, STEP_TIMEOUT)) << viewer->out() << viewer->err();
    ASSERT_TRUE(shows(LAST, area)) << area.count << " pixels of the last save's colour";

    // The close button of the title bar libdecor draws above the client area, at its right end. A
    // compositor slowed by a loaded machine may miss a click while it redraws: clicked again then.
    std::optional<int> code;
    wait_until(STEP_TIMEOUT, [&] {
        point_at(area.right - 16, area.top - 12);
        x.click(area.right - 16, area.top - 12);
        code = viewer->wait_exit(Millis(2000));
        return code.has_value();
    });
    EXPECT_EQ(code, 0) << "closing the window; stderr: " << viewer->err();

    start_viewer();
    ASSERT_TRUE(viewer->wait_for_out("Load Shader.\n", 1, START_TIMEOUT)) << viewer->err();
    ASSERT_TRUE(shows(LAST, area));
    ::kill(viewer->pid(), SIGTERM);
    EXPECT_EQ(viewer->wait_exit(STEP_TIMEOUT), 0) << "SIGTERM; stderr: " << viewer->err();
}

TEST_F(Wayland, ACompositorWithoutASeatIsRefusedWithAMessageNotACrash)
{
    start_compositor({"--backend=headless-backend.so"});
    folder.write("main.fx", solid_shader(FIRST.r, FIRST.g, FIRST.b));
    start_viewer();
    EXPECT_EQ(viewer->wait_exit(START_TIMEOUT), 2) << viewer->err();
    EXPECT_NE(viewer->err().find("offers no input seat"), std::string::npos) << viewer->err();
    EXPECT_NE(viewer->err().find("ERROR : Can't Create Window"), std::string::npos) << viewer->err();
}

}  // namespace
