// The capture tool: the viewer's frame, rendered without a display, as files.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

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

namespace {

// The scene writes the time, the final pass shows it. At c0.x = 0.2, 0.4 and 0.6 (--start 0.2
// --fps 5) the colour (t, 1 - t, t * t) in 8 bits is, worked out by hand: t * 255 = 51, 102, 153;
// (1 - t) * 255 = 204, 153, 102; t * t * 255 = 10.2, 40.8, 91.8, rounded to 10, 41, 92.
const char* const TIME_SHADER =
    "float time : register(c0);\n"
    "sampler2D scene : register(s0);\n"
    "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(time, 1 - time, time * time, 1); }\n"
    "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }\n";
const std::vector<std::string> THREE_FRAMES = {"--frames", "3", "--fps", "5", "--start", "0.2"};
const Rgb TIME_COLOURS[3] = {{51, 204, 10}, {102, 153, 41}, {153, 102, 92}};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

Rgb pixel(const Picture& picture, int x, int y)
{
    const std::uint8_t* p = &picture.rgba[((size_t)y * picture.width + x) * 4];
    return {p[0], p[1], p[2]};
}

TEST(FxshotSequence, NumberedPicturesDifferExactlyAsTheTimeSaysFromOneLoad)
{
    TempDir dir;
    dir.write("main.fx", TIME_SHADER);
    std::filesystem::create_directory(dir.path() + "/frames");
    // The shader named by its file, the pictures relative to where fxshot runs.
    Shot run = fxshot(with(THREE_FRAMES, {"-o", "frames/shot_%04d.png", dir.path() + "/main.fx"}), dir.path());
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "Load Shader.\n") << "one load for every frame";
    EXPECT_EQ(run.err, "") << "nothing about keyboards or reload on save, no progress off a terminal";

    EXPECT_EQ(listing(dir.path() + "/frames"),
              (std::vector<std::string>{"shot_0000.png", "shot_0001.png", "shot_0002.png"}));
    for (int i = 0; i < 3; ++i) {
        Picture picture;
        ASSERT_TRUE(read_png(dir.path() + "/frames/shot_000" + std::to_string(i) + ".png", picture)) << i;
        ASSERT_EQ(picture.width, 1280);
        ASSERT_EQ(picture.height, 720);
        for (auto [x, y] : {std::pair<int, int>{0, 0}, {640, 360}, {1279, 719}}) {
            Rgb seen = pixel(picture, x, y);
            EXPECT_EQ(std::tie(seen.r, seen.g, seen.b),
                      std::tie(TIME_COLOURS[i].r, TIME_COLOURS[i].g, TIME_COLOURS[i].b))
                << "frame " << i << " at " << x << ", " << y;
        }
    }

    // The same arguments give the same bytes.
    std::filesystem::create_directory(dir.path() + "/again");
    ASSERT_EQ(fxshot(with(THREE_FRAMES, {"-o", "again/shot_%04d.png"}), dir.path()).code, 0);
    for (const char* name : {"shot_0000.png", "shot_0001.png", "shot_0002.png"})
        EXPECT_EQ(contents(dir.path() + "/again/" + name), contents(dir.path() + "/frames/" + name)) << name;
}

struct Yuv {
    double y, cb, cr;
};

// BT.709 in video range, straight from its definition.
Yuv bt709(Rgb c)
{
    const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
    const double luma = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    return {16 + 219 * luma, 128 + 224 * (b - luma) / 1.8556, 128 + 224 * (r - luma) / 1.5748};
}

// A YUV4MPEG2 reader: the header line, then per frame "FRAME\n" and the Y, Cb and Cr planes (4:2:0).
struct Stream {
    std::string header;
    int width = 0, height = 0;
    std::vector<const std::uint8_t*> frames;
    std::string error;
};

Stream read_y4m(const std::string& data)
{
    Stream stream;
    auto broken = [&](const std::string& why) {
        stream.error = why;
        return stream;
    };
    const size_t end = data.find('\n');
    if (end == std::string::npos) return broken("no header line");
    stream.header = data.substr(0, end);
    std::istringstream fields(stream.header);
    std::string field;
    fields >> field;
    if (field != "YUV4MPEG2") return broken("not YUV4MPEG2");
    while (fields >> field) {
        if (field[0] == 'W') stream.width = std::atoi(field.c_str() + 1);
        if (field[0] == 'H') stream.height = std::atoi(field.c_str() + 1);
    }
    if (stream.width <= 0 || stream.height <= 0) return broken("no picture size");
    const size_t frame_size = (size_t)stream.width * stream.height * 3 / 2;
    for (size_t at = end + 1; at < data.size(); at += 6 + frame_size) {
        if (data.compare(at, 6, "FRAME\n") != 0) return broken("no FRAME line at byte " + std::to_string(at));
        if (data.size() - at - 6 < frame_size) return broken("a frame cut short");
        stream.frames.push_back(reinterpret_cast<const std::uint8_t*>(data.data() + at + 6));
    }
    return stream;
}

TEST(FxshotSequence, StreamOnStandardOutputIsVideoAPlayerReadsFrameByFrame)
{
    TempDir dir;
    dir.write("main.fx", TIME_SHADER);
    Shot run = fxshot(with(THREE_FRAMES, {"-o", "-"}), dir.path());
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "Load Shader.\n") << "the loader's words go to standard error, away from the video";
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"main.fx"}) << "no files";

    Stream stream = read_y4m(run.out);
    ASSERT_EQ(stream.error, "");
    EXPECT_EQ(stream.header, "YUV4MPEG2 W1280 H720 F5:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED");
    ASSERT_EQ(stream.frames.size(), 3u);
    const size_t pixels = 1280 * 720, chroma_plane = pixels / 4;
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t* frame = stream.frames[i];
        const Yuv expected = bt709(TIME_COLOURS[i]);
        const size_t centre = 360 * 1280 + 640, chroma_centre = 180 * 640 + 320;
        EXPECT_NEAR(frame[centre], expected.y, 0.51) << "frame " << i;
        EXPECT_NEAR(frame[pixels + chroma_centre], expected.cb, 0.51) << "frame " << i;
        EXPECT_NEAR(frame[pixels + chroma_plane + chroma_centre], expected.cr, 0.51) << "frame " << i;
    }

    Shot again = fxshot(with(THREE_FRAMES, {"-o", "-"}), dir.path());
    EXPECT_TRUE(again.out == run.out) << "the same arguments give the same bytes";
}

// Black, white and the primaries have well-known BT.709 video-range codes.
TEST(FxshotSequence, StreamColoursAreBt709VideoRange)
{
    TempDir dir;
    dir.write("main.fx",
              "sampler2D scene : register(s0);\n"
              "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n"
              "{\n"
              "    float band = floor(uv.x * 5);\n"
              "    return band == 0 ? float4(0, 0, 0, 1) : band == 1 ? float4(1, 1, 1, 1)\n"
              "         : band == 2 ? float4(1, 0, 0, 1) : band == 3 ? float4(0, 1, 0, 1)\n"
              "         : float4(0, 0, 1, 1);\n"
              "}\n"
              "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }\n");
    Shot run = fxshot({"-o", "-"}, dir.path());
    ASSERT_EQ(run.code, 0) << run.err;
    Stream stream = read_y4m(run.out);
    ASSERT_EQ(stream.frames.size(), 1u) << stream.error;
    const std::uint8_t* frame = stream.frames[0];
    const int expected[5][3] = {{16, 128, 128}, {235, 128, 128}, {63, 102, 240}, {173, 42, 26}, {32, 240, 118}};
    for (int band = 0; band < 5; ++band) {
        const int x = band * 256 + 128, y = 360;
        const size_t chroma = (size_t)(y / 2) * 640 + x / 2;
        EXPECT_EQ(frame[(size_t)y * 1280 + x], expected[band][0]) << "band " << band;
        EXPECT_EQ(frame[1280 * 720 + chroma], expected[band][1]) << "band " << band;
        EXPECT_EQ(frame[1280 * 720 * 5 / 4 + chroma], expected[band][2]) << "band " << band;
    }
}

TEST(FxshotSequence, BadSequenceArgumentsAreRefusedBeforeAnythingIsWritten)
{
    TempDir dir;
    dir.write("main.fx", TIME_SHADER);
    for (std::vector<std::string> args : {std::vector<std::string>{"--frames", "0"},
                                          {"--frames", "2.5"},
                                          {"--frames", "1000001"},
                                          {"--frames", "3", "-o", "one.png"},
                                          {"--frames", "3", "-o", "shot_%d_%d.png"},
                                          {"--frames", "3", "-o", "shot_%s.png"},
                                          {"--fps", "0"},
                                          {"--fps", "-24"},
                                          {"--fps", "inf"},
                                          {"--start", "nan"},
                                          {"--time", "1", "--start", "2"},
                                          {"--frames", "2", "--scene", "scene.pfm"},
                                          {"-o", "no-such-folder/shot.png"},
                                          {"--scene", "no-such-folder/scene.pfm"},
                                          {"--frames"},
                                          {"-x"}}) {
        Shot run = fxshot(args, dir.path());
        std::string said = args[0] + " " + (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(run.code, 2) << said << ": " << run.err;
        EXPECT_EQ(run.err.rfind("fxshot: ", 0), 0u) << said << ": " << run.err;
        EXPECT_NE(run.err.find("usage: fxshot"), std::string::npos) << said;
        EXPECT_EQ(run.out, "") << said;
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"main.fx"}) << said << " wrote something";
    }
}

}  // namespace
