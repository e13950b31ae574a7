// The resource loader: what a load builds, its failure table, sampler states and release order.
#include <functional>

#include "program.h"

using namespace recording;

namespace {

class Loader : public RecordingTest {};

bool alive(IUnknown* object) { return object && !object_of(object)->destroyed(); }

TEST_F(Loader, BuildsEveryResourceInOrder)
{
    TestDevice d;
    size_t start = calls().size();
    load_resources();

    ASSERT_EQ(compile_calls().size(), 2u);
    for (const CompileCall& c : compile_calls()) {
        EXPECT_EQ(c.file, "main.fx");
        EXPECT_EQ(c.profile, "ps_3_0");
        EXPECT_EQ(c.flags, 0x8400u);
        EXPECT_FALSE(c.has_defines);
        EXPECT_FALSE(c.has_include);
        EXPECT_TRUE(c.wants_code);
        EXPECT_TRUE(c.wants_messages);
        EXPECT_FALSE(c.wants_constants);
    }
    EXPECT_EQ(shader_entry(resources.scene_shader), "ps_main");
    EXPECT_EQ(shader_entry(resources.final_shader), "ps_main_f");
    EXPECT_EQ(resources.back_buffer, d.state().back_buffer);

    TextureRecord* scene = texture_record(resources.scene_texture);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->width, 1280u);
    EXPECT_EQ(scene->height, 720u);
    EXPECT_EQ(scene->levels, 1u);
    EXPECT_EQ(scene->usage, (DWORD)D3DUSAGE_RENDERTARGET);
    EXPECT_EQ(scene->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(scene->pool, D3DPOOL_DEFAULT);
    ASSERT_NE(resources.scene_surface, nullptr);
    EXPECT_EQ(object_of(resources.scene_surface)->container(), object_of(resources.scene_texture));

    TextureRecord* noise = texture_record(resources.noise_texture);
    ASSERT_NE(noise, nullptr);
    EXPECT_EQ(noise->width, 32u);
    EXPECT_EQ(noise->height, 32u);
    EXPECT_EQ(noise->levels, 1u);
    EXPECT_EQ(noise->usage, 0u);
    EXPECT_EQ(noise->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(noise->pool, D3DPOOL_MANAGED);
    ASSERT_EQ(fill_calls().size(), 1u);
    EXPECT_EQ(fill_calls()[0].function, &fill_noise);
    EXPECT_EQ(fill_calls()[0].data, nullptr);

    // One reference each; the scene surface shares its texture's count.
    EXPECT_EQ(object_of(resources.scene_shader)->refs(), 1u);
    EXPECT_EQ(object_of(resources.final_shader)->refs(), 1u);
    EXPECT_EQ(object_of(resources.scene_texture)->refs(), 2u);
    EXPECT_EQ(object_of(resources.noise_texture)->refs(), 1u);

    std::vector<std::string> expected = {
        "D3DXCompileShaderFromFileA(main.fx, ps_main, ps_3_0, 0x00008400)",
        "D3DXCompileShaderFromFileA(ps_main) = 0x00000000",
        "CreatePixelShader(ps_main) = " + name_of(resources.scene_shader),
        "Release(code#",
        "Destroy(code#",
        "D3DXCompileShaderFromFileA(main.fx, ps_main_f, ps_3_0, 0x00008400)",
        "D3DXCompileShaderFromFileA(ps_main_f) = 0x00000000",
        "CreatePixelShader(ps_main_f) = " + name_of(resources.final_shader),
        "Release(code#",
        "Destroy(code#",
        "stdout: Load Shader.\n",
        "GetBackBuffer(0, 0, 0)",
        "CreateTexture(1280, 720, 1, 0x00000001, 116, 0) = " + name_of(resources.scene_texture),
        "GetSurfaceLevel(" + name_of(resources.scene_texture) + ", 0)",
        "SetSamplerState(0, 5, 2)",
        "SetSamplerState(0, 6, 2)",
        "SetSamplerState(0, 7, 2)",
        "SetSamplerState(0, 1, 3)",
        "SetSamplerState(0, 2, 3)",
        "CreateTexture(32, 32, 1, 0x00000000, 116, 1) = " + name_of(resources.noise_texture),
        "D3DXFillTexture(" + name_of(resources.noise_texture) + ")",
    };
    calls_starting_with({});  // brings the printed line into the log
    std::vector<std::string> actual(calls().begin() + start, calls().end());
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].rfind(expected[i], 0), 0u) << "call " << i << ": " << actual[i];
    }
    EXPECT_EQ(captured_stdout(), "Load Shader.\n");
    EXPECT_EQ(count_calls("SetSamplerState"), count_calls("SetSamplerState(0,"));

    const DWORD(&sampler0)[SAMPLER_STATES] = d.state().sampler_states[0];
    EXPECT_EQ(sampler0[D3DSAMP_MAGFILTER], (DWORD)D3DTEXF_LINEAR);
    EXPECT_EQ(sampler0[D3DSAMP_MINFILTER], (DWORD)D3DTEXF_LINEAR);
    EXPECT_EQ(sampler0[D3DSAMP_MIPFILTER], (DWORD)D3DTEXF_LINEAR);
    EXPECT_EQ(sampler0[D3DSAMP_ADDRESSU], (DWORD)D3DTADDRESS_CLAMP);
    EXPECT_EQ(sampler0[D3DSAMP_ADDRESSV], (DWORD)D3DTADDRESS_CLAMP);
}

struct Failure {
    const char* name;
    std::function<void()> script;
    const char* printed;
    bool scene_shader_left;
};

void PrintTo(const Failure& row, std::ostream* os) { *os << row.name; }

class LoadFailures : public RecordingTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(LoadFailures, StopTheLoadWithTheirMessage)
{
    const Failure& f = GetParam();
    TestDevice d;
    f.script();
    load_resources();

    EXPECT_EQ(captured_stdout(), f.printed);
    EXPECT_EQ(resources.scene_shader != nullptr, f.scene_shader_left);
    if (f.scene_shader_left) {
        EXPECT_EQ(shader_entry(resources.scene_shader), "ps_main");
    }
    EXPECT_EQ(resources.final_shader, nullptr);
    EXPECT_EQ(resources.scene_texture, nullptr);
    EXPECT_EQ(resources.scene_surface, nullptr);
    EXPECT_EQ(resources.back_buffer, nullptr);
    EXPECT_EQ(resources.noise_texture, nullptr);
    EXPECT_EQ(count_calls("GetBackBuffer"), 0);
    EXPECT_EQ(count_calls("CreateTexture"), 0);
    EXPECT_EQ(count_calls("SetSamplerState"), 0);
    for (int s = 1; s < SAMPLER_STATES; ++s) {
        EXPECT_EQ(d.state().sampler_states[0][s], sampler_state_default((D3DSAMPLERSTATETYPE)s));
    }
    // Every compile buffer goes back on the failure paths too: the fixture checks it.
}

const char* const SYNTAX = "main.fx(12,5): error X3000: syntax error: unexpected token '}'\n";

INSTANTIATE_TEST_SUITE_P(
    Table, LoadFailures,
    ::testing::Values(
        Failure{"SceneCompile", [] { script_compile("ps_main", {compile_error(SYNTAX)}); },
                "Error : main.fx(12,5): error X3000: syntax error: unexpected token '}'\n\n", false},
        Failure{"SceneShaderCreation",
                [] {
                    script_compile("ps_main", {compiled_with_warnings("main.fx(3,1): warning X3206: truncation")});
                    fail_call("CreatePixelShader:ps_main");
                },
                "Error : main.fx(3,1): warning X3206: truncation\n", false},
        Failure{"FinalCompile",
                [] { script_compile("ps_main_f", {compile_error("error X3501: 'ps_main_f': entrypoint not found")}); },
                "Error : error X3501: 'ps_main_f': entrypoint not found\n", true},
        Failure{"FinalShaderCreation",
                [] {
                    script_compile("ps_main_f", {compiled_with_warnings("w")});
                    fail_call("CreatePixelShader:ps_main_f", 1, 1, D3DERR_INVALIDCALL);
                },
                "Error : w\n", true},
        Failure{"SceneCompileWithoutText", [] { script_compile("ps_main", {compile_error_without_text(E_FAIL)}); },
                "Error : main.fx: compiling \"ps_main\" failed (0x80004005) with no message\n", false},
        Failure{"SceneCreationWithoutText", [] { fail_call("CreatePixelShader:ps_main", 1, 1, E_OUTOFMEMORY); },
                "Error : main.fx: creating the pixel shader for \"ps_main\" failed (0x8007000E) with no message\n",
                false},
        Failure{"FinalCompileWithoutText", [] { fail_call("D3DXCompileShaderFromFileA:ps_main_f"); },
                "Error : main.fx: compiling \"ps_main_f\" failed (0x80004005) with no message\n", true},
        Failure{"FinalCreationWithoutText", [] { fail_call("CreatePixelShader:ps_main_f", 1, 1, D3DERR_INVALIDCALL); },
                "Error : main.fx: creating the pixel shader for \"ps_main_f\" failed (0x8876086C) with no message\n",
                true},
        Failure{"UnterminatedMessages",
                [] { script_compile("ps_main", {compile_error("error X1000: cut", E_FAIL, false)}); },
                "Error : error X1000: cut\n", false}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

TEST_F(Loader, WarningsOfASuccessfulCompileAreNotPrinted)
{
    TestDevice d;
    script_compile("ps_main", {compiled_with_warnings("main.fx(3,1): warning X3206: implicit truncation")});
    script_compile("ps_main_f", {compiled_with_warnings("main.fx(9,1): warning X3206: implicit truncation")});
    load_resources();
    EXPECT_EQ(captured_stdout(), "Load Shader.\n");
    EXPECT_EQ(count_calls("Release(messages#"), 2);
}

TEST_F(Loader, OnlyAFileWithBothEntryPointsReachesLoadShader)
{
    TestDevice d;
    script_compile("ps_main_f", {compile_error("error X3501: 'ps_main_f': entrypoint not found\n")});
    load_resources();
    EXPECT_EQ(captured_stdout().find("Load Shader."), std::string::npos);
    EXPECT_NE(resources.scene_shader, nullptr);
}

TEST_F(Loader, ReleasesInItsFixedOrderAndEmptiesEveryHandle)
{
    TestDevice d;
    load_resources();
    std::vector<std::string> expected = {
        "Release(" + name_of(resources.noise_texture) + ") = 0",
        "Release(" + name_of(resources.scene_texture) + ") = 1",
        "Release(" + name_of(resources.scene_surface) + ") = 0",
        "Release(" + name_of(resources.back_buffer) + ") = 1",  // the program still holds the device
        "Release(" + name_of(resources.scene_shader) + ") = 0",
        "Release(" + name_of(resources.final_shader) + ") = 0",
    };
    size_t start = calls().size();
    release_resources();
    std::vector<std::string> released;
    for (size_t i = start; i < calls().size(); ++i) {
        if (calls()[i].rfind("Release(", 0) == 0) released.push_back(calls()[i]);
    }
    EXPECT_EQ(released, expected);
    EXPECT_EQ(resources.noise_texture, nullptr);
    EXPECT_EQ(resources.scene_texture, nullptr);
    EXPECT_EQ(resources.scene_surface, nullptr);
    EXPECT_EQ(resources.back_buffer, nullptr);
    EXPECT_EQ(resources.scene_shader, nullptr);
    EXPECT_EQ(resources.final_shader, nullptr);

    size_t after = calls().size();
    release_resources();  // all empty: nothing to do
    EXPECT_EQ(calls().size(), after);
}

TEST_F(Loader, MissingSceneTargetIsReportedAndNotAskedForItsSurface)
{
    TestDevice d;
    fail_call("CreateTexture:1280x720", 1, 1, D3DERR_OUTOFVIDEOMEMORY);
    load_resources();

    EXPECT_EQ(captured_stdout(), "Load Shader.\nError : cannot create the 1280x720 float scene target (0x8876017C)\n");
    EXPECT_EQ(count_calls("GetSurfaceLevel"), 0);
    EXPECT_EQ(resources.scene_texture, nullptr);
    EXPECT_EQ(resources.scene_surface, nullptr);
    EXPECT_NE(resources.noise_texture, nullptr);
    EXPECT_EQ(count_calls("SetSamplerState(0"), 5);
    render_frame();  // draws into whatever target the device keeps; no crash
    EXPECT_EQ(d.state().presents, 1);
}

TEST_F(Loader, MissingNoiseTextureIsReportedAndNotFilled)
{
    TestDevice d;
    fail_call("CreateTexture:32x32", 1, 1, E_OUTOFMEMORY);
    load_resources();
    EXPECT_EQ(captured_stdout(), "Load Shader.\nError : cannot create the 32x32 noise texture (0x8007000E)\n");
    EXPECT_EQ(count_calls("D3DXFillTexture"), 0);
    EXPECT_NE(resources.scene_surface, nullptr);
}

TEST_F(Loader, AReloadReplacesEverythingAndFillsANewPattern)
{
    TestDevice d;
    load_resources();
    IUnknown* first[] = {resources.scene_shader, resources.final_shader, resources.scene_texture,
                         resources.noise_texture};
    std::vector<D3DXVECTOR4> first_noise = texture_record(resources.noise_texture)->texels;

    load_resources();
    for (IUnknown* old : first) EXPECT_FALSE(alive(old));  // nothing bound them yet
    EXPECT_NE(resources.noise_texture, nullptr);
    const std::vector<D3DXVECTOR4>& second_noise = texture_record(resources.noise_texture)->texels;
    int same = 0;
    for (size_t i = 0; i < first_noise.size(); ++i) {
        same += first_noise[i].x == second_noise[i].x && first_noise[i].y == second_noise[i].y;
    }
    EXPECT_EQ(same, 0);
    EXPECT_EQ(count_calls("SetSamplerState(0"), 10);
    EXPECT_EQ(captured_stdout(), "Load Shader.\nLoad Shader.\n");
}

TEST_F(Loader, AFailedReloadLeavesTheEarlierSamplerStatesAlone)
{
    TestDevice d;
    load_resources();
    script_compile("ps_main", {compile_error("e")});
    size_t before = count_calls("SetSamplerState");
    load_resources();
    EXPECT_EQ(count_calls("SetSamplerState"), (int)before);
    EXPECT_EQ(d.state().sampler_states[0][D3DSAMP_ADDRESSU], (DWORD)D3DTADDRESS_CLAMP);
    EXPECT_EQ(resources.scene_shader, nullptr);  // the earlier shaders are gone
}

}  // namespace
