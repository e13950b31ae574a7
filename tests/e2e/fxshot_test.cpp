// The capture tool: the viewer's frame, rendered without a display, as files.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "harness.h"
#include "noise.h"
#include "pictures.h"

namespace {

const Millis RUN_TIMEOUT(60000);

struct Shot {
    std::optional<int> code;
    std::string out, err;
};

Shot fxshot(const std::vector<std::string>& args, const std::string& cwd)
{
    // No display at all: the tool must not need one.
    Process process(FXSHOT_PATH, args, cwd, {"DISPLAY", "WAYLAND_DISPLAY"});
    Shot run;
    run.code = process.wait_exit(RUN_TIMEOUT);
    run.out = process.out();
    run.err = process.err();
    return run;
}

// Scene: a gradient that leaves [0, 1] on purpose, the time, and the noise texture's first texel.
const char* const PROBE_SHADER =
    "float time : register(c0);\n"
    "sampler2D scene : register(s0);\n"
    "sampler2D noise : register(s1);\n"
    "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n"
    "{\n"
    "    if (uv.y > 0.5) return float4(tex2D(noise, float2(0.01, 0.01)).xyz, 1);\n"
    "    return float4(uv.x * 4 - 1, time, -2.5, 1);\n"
    "}\n"
    "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return saturate(tex2D(scene, uv)); }\n";

const float* at(const FloatPicture& p, int x, int y) { return &p.rgb[((size_t)y * p.width + x) * 3]; }

TEST(Fxshot, WritesTheExamplePictureWithoutADisplay)
{
    TempDir out;
    Shot run = fxshot({"-o", out.path() + "/example.png", EXAMPLES_DIR}, out.path());
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "Load Shader.\n");

    Picture picture;
    ASSERT_TRUE(read_png(out.path() + "/example.png", picture));
    EXPECT_EQ(picture.width, 1280);
    EXPECT_EQ(picture.height, 720);
    int darkest = 255, brightest = 0;
    for (size_t i = 0; i < picture.rgba.size(); i += 4) {
        darkest = std::min<int>(darkest, picture.rgba[i + 1]);
        brightest = std::max<int>(brightest, picture.rgba[i + 1]);
    }
    EXPECT_GT(brightest - darkest, 150) << "the example should show more than a flat colour";
}

TEST(Fxshot, SceneTargetKeepsFloatsTimeAndTheNoiseFillOfTheRequestedLoad)
{
    TempDir dir;
    dir.write("main.fx", PROBE_SHADER);
    Shot run = fxshot({"--time", "7.25", "--reloads", "2", "--scene", "scene.pfm", "-o", "shot.png"}, dir.path());
    ASSERT_EQ(run.code, 0) << run.out << run.err;

    FloatPicture scene;
    ASSERT_TRUE(read_pfm(dir.path() + "/scene.pfm", scene));
    EXPECT_EQ(scene.header, "PF\n1280 720\n-1.0");
    // Top-left pixel: uv = (0.5 / 1280, 0.5 / 720).
    EXPECT_FLOAT_EQ(at(scene, 0, 0)[0], 0.5f / 1280 * 4 - 1);
    EXPECT_FLOAT_EQ(at(scene, 0, 0)[1], 7.25f);
    EXPECT_FLOAT_EQ(at(scene, 0, 0)[2], -2.5f);
    EXPECT_FLOAT_EQ(at(scene, 1279, 0)[0], 1279.5f / 1280 * 4 - 1);

    // Two earlier loads: the noise is the third fill, whose first texel is call 2049.
    D3DXVECTOR4 texel{};
    for (int call = 0; call <= 2 * 1024; ++call) fill_noise(&texel, nullptr, nullptr, nullptr);
    EXPECT_FLOAT_EQ(at(scene, 640, 700)[0], texel.x);
    EXPECT_FLOAT_EQ(at(scene, 640, 700)[1], texel.y);
    EXPECT_FLOAT_EQ(at(scene, 640, 700)[2], texel.z);

    Picture shot;
    ASSERT_TRUE(read_png(dir.path() + "/shot.png", shot));
    const std::uint8_t* top_right = &shot.rgba[1279 * 4];
    EXPECT_EQ(top_right[0], 255);  // 2.998 clamped by the final pass
    EXPECT_EQ(top_right[1], 255);
    EXPECT_EQ(top_right[2], 0);
}

TEST(Fxshot, ACompileErrorIsPrintedAsTheViewerPrintsItAndFails)
{
    TempDir dir;
    dir.write("main.fx", "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n{\n    return undefined_thing;\n}\n");
    Shot run = fxshot({}, dir.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out.rfind("Error : main.fx(3,12): error: 'undefined_thing'", 0), 0u) << run.out;
    EXPECT_FALSE(std::ifstream(dir.path() + "/fxshot.png").good());
}

// The compiler helper is found only relative to the running program, never where this build put
// it: a build folder under /tmp that is deleted and recreated by someone else would let them choose
// the program the viewer runs. A copy of the tool elsewhere must not run the helper at the build's
// path, seen by inotify as an open of that file (an exec is one). The tests run one at a time.
TEST(Fxshot, ACopyElsewhereNeverRunsTheHelperWhereTheBuildPutIt)
{
    namespace fs = std::filesystem;
    TempDir dir;
    fs::copy_file(FXSHOT_PATH, dir.path() + "/fxshot");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, FXVIEW_BUILT_HELPER, IN_OPEN), 0) << FXVIEW_BUILT_HELPER;
    auto opened = [&] {
        char events[4096];
        bool any = false;
        while (read(watch, events, sizeof events) > 0) any = true;
        return any;
    };
    opened();

    Process copy(dir.path() + "/fxshot", {"-o", "shot.png", EXAMPLES_DIR}, dir.path(), {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(copy.wait_exit(RUN_TIMEOUT), 0) << copy.out() << copy.err();
    EXPECT_EQ(copy.out(), "Load Shader.\n");  // compiled in a forked child instead
    EXPECT_FALSE(opened()) << "the copy ran " FXVIEW_BUILT_HELPER;

    // The tool in the build finds the helper beside it (a link to that file): the watch sees it run.
    Shot original = fxshot({"-o", "shot.png", EXAMPLES_DIR}, dir.path());
    EXPECT_EQ(original.code, 0) << original.out << original.err;
    EXPECT_TRUE(opened());
    close(watch);
}

TEST(Fxshot, BadArgumentsAndFoldersAreRefusedWithUsage)
{
    TempDir dir;
    for (std::vector<std::string> args : {std::vector<std::string>{"--time", "soon"},
                                          {"--reloads", "-1"},
                                          {"--time"},
                                          {"--frobnicate"},
                                          {"one", "two"},
                                          {dir.path() + "/no-such-folder"}}) {
        Shot run = fxshot(args, dir.path());
        EXPECT_EQ(run.code, 2) << args[0];
        EXPECT_NE(run.err.find("fxshot: "), std::string::npos) << args[0] << ": " << run.err;
    }
}

}  // namespace
