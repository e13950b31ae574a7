// The capture tool: the viewer's frame, rendered without a display, as files.
#include <gtest/gtest.h>
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

// A program planted where this build put the compiler helper (a build folder under /tmp, deleted,
// then recreated by someone else) must never run: only the helper beside the tool, or in the
// installed libexec folder, is. The planting happens in a private mount namespace.
TEST(Fxshot, NeverRunsAHelperPlantedWhereTheBuildPutIt)
{
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directories(dir.path() + "/bin");
    fs::copy_file(FXSHOT_PATH, dir.path() + "/bin/fxshot");
    dir.write("planted", "#!/bin/sh\ntouch \"$(dirname \"$0\")/../ran\"\nexit 1\n");
    fs::permissions(dir.path() + "/planted", fs::perms::owner_all);
    const std::vector<std::string> unshare = {getuid() == 0 ? "-m" : "-rm", "/bin/sh", "-c",
                                              "mount --bind planted \"$0\" && exec bin/fxshot -o shot.png \"$1\"",
                                              FXVIEW_BUILT_HELPER, EXAMPLES_DIR};
    Process process("/usr/bin/unshare", unshare, dir.path(), {"DISPLAY", "WAYLAND_DISPLAY"});
    std::optional<int> code = process.wait_exit(RUN_TIMEOUT);
    if (code != 0 && process.err().find("unshare: ") != std::string::npos)
        GTEST_SKIP() << "no private mount namespace here: " << process.err();
    EXPECT_EQ(code, 0) << process.out() << process.err();
    EXPECT_EQ(process.out(), "Load Shader.\n");
    EXPECT_FALSE(fs::exists(dir.path() + "/ran"));

    // The same program beside the tool does run: the check above would have seen it.
    fs::copy_file(dir.path() + "/planted", dir.path() + "/bin/fxview-hlsl");
    Process beside(dir.path() + "/bin/fxshot", {"-o", "shot.png", EXAMPLES_DIR}, dir.path(),
                   {"DISPLAY", "WAYLAND_DISPLAY"});
    beside.wait_exit(RUN_TIMEOUT);
    EXPECT_TRUE(fs::exists(dir.path() + "/ran")) << beside.out() << beside.err();
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
