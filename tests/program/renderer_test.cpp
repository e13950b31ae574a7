// The frame renderer: its calls in order, the quad, failed scenes, missing shaders and reloads.
#include <cstddef>
#include <cstring>

#include "program.h"

using namespace recording;

namespace {

class Renderer : public RecordingTest {
protected:
    void start_clock_at(DWORD ms)
    {
        frame_clock.started = true;
        frame_clock.last_ms = ms;
        set_time(ms);
        shader_constants = ShaderConstants();
    }

    std::vector<std::string> calls_since(size_t start)
    {
        calls_starting_with({});  // brings printed text into the log
        return std::vector<std::string>(calls().begin() + start, calls().end());
    }
};

TEST_F(Renderer, DrawsBothPassesInItsFixedOrder)
{
    TestDevice d;
    load_resources();
    start_clock_at(0);
    size_t start = calls().size();
    render_frame();

    const std::string clear = "Clear(0, NULL, 0x00000003, 0x00000000, 1, 0)";
    std::vector<std::string> expected = {
        "GetAsyncKeyState(0x74) = 0",
        "BeginScene()",
        "SetPixelShaderConstantF(0, 64)",
        "SetPixelShader(" + name_of(resources.scene_shader) + ")",
        "timeGetTime() = 0",
        "SetTexture(1, " + name_of(resources.noise_texture) + ")",
        "SetRenderTarget(0, " + name_of(resources.scene_surface) + ")",
        clear,
        "SetFVF(0x104)",
        "DrawPrimitiveUP(5, 2, 24)",
        "SetRenderTarget(0, " + name_of(resources.back_buffer) + ")",
        clear,
        "SetFVF(0x104)",
        "SetTexture(0, " + name_of(resources.scene_texture) + ")",
        "SetPixelShader(" + name_of(resources.final_shader) + ")",
        "DrawPrimitiveUP(5, 2, 24)",
        "EndScene()",
        "Present(NULL, NULL, NULL, NULL)",
    };
    EXPECT_EQ(calls_since(start), expected);

    ASSERT_EQ(d.state().draws.size(), 2u);
    const DrawRecord& scene = d.state().draws[0];
    EXPECT_EQ(scene.render_target, name_of(resources.scene_surface));
    EXPECT_EQ(scene.textures[0], "NULL");  // nothing bound before the first final pass
    EXPECT_EQ(scene.textures[1], name_of(resources.noise_texture));
    EXPECT_EQ(scene.pixel_shader, name_of(resources.scene_shader));
    const DrawRecord& final_pass = d.state().draws[1];
    EXPECT_EQ(final_pass.render_target, name_of(resources.back_buffer));
    EXPECT_EQ(final_pass.textures[0], name_of(resources.scene_texture));
    EXPECT_EQ(final_pass.textures[1], name_of(resources.noise_texture));
    EXPECT_EQ(final_pass.pixel_shader, name_of(resources.final_shader));

    render_frame();  // from now on the scene pass reads its own target on sampler 0
    EXPECT_EQ(d.state().draws[2].textures[0], name_of(resources.scene_texture));
    EXPECT_EQ(captured_stdout(), "Load Shader.\n");
}

TEST_F(Renderer, BothPassesDrawTheScreenQuad)
{
    static_assert(sizeof(ScreenVertex) == 24, "the stride the draws use");
    static_assert(
        offsetof(ScreenVertex, rhw) == 12 && offsetof(ScreenVertex, u) == 16 && offsetof(ScreenVertex, v) == 20,
        "D3DFVF_XYZRHW | D3DFVF_TEX1 layout");
    EXPECT_EQ(SCREEN_VERTEX_FVF, 0x104u);
    const float expected[4][6] = {
        {-0.5f, -0.5f, 0, 1, 0, 0},
        {1279.5f, -0.5f, 0, 1, 1, 0},
        {-0.5f, 719.5f, 0, 1, 0, 1},
        {1279.5f, 719.5f, 0, 1, 1, 1},
    };
    for (int i = 0; i < 4; ++i) {
        const ScreenVertex& v = screen_quad[i];
        EXPECT_EQ((std::vector<float>{v.x, v.y, v.z, v.rhw, v.u, v.v}),
                  std::vector<float>(expected[i], expected[i] + 6))
            << "vertex " << i;
    }

    TestDevice d;
    load_resources();
    render_frame();
    for (const DrawRecord& draw : d.state().draws) {
        EXPECT_EQ(draw.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.primitives, 2u);
        EXPECT_EQ(draw.stride, 24u);
        EXPECT_EQ(draw.fvf, 0x104u);
        ASSERT_EQ(draw.vertices.size(), sizeof expected);
        // The bytes the program handed over. NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
        EXPECT_EQ(std::memcmp(draw.vertices.data(), expected, sizeof expected), 0);
    }
}

TEST_F(Renderer, AFailedSceneDrawsNothingKeepsTheClockAndStillPresents)
{
    TestDevice d;
    load_resources();
    start_clock_at(1000);
    shader_constants.registers[0][0] = 5.0f;
    fail_call("BeginScene", 2, 3, D3DERR_INVALIDCALL);
    script_time({1016, 1100});

    render_frame();
    size_t start = calls().size();
    render_frame();
    render_frame();
    EXPECT_EQ(
        calls_since(start),
        (std::vector<std::string>{"GetAsyncKeyState(0x74) = 0", "BeginScene()", "Present(NULL, NULL, NULL, NULL)",
                                  "GetAsyncKeyState(0x74) = 0", "BeginScene()", "Present(NULL, NULL, NULL, NULL)"}));
    render_frame();  // the whole 84 ms since the last advance

    EXPECT_NEAR(shader_constants.registers[0][0], 5.1, 1e-6);
    EXPECT_EQ(d.state().presents, 4);
    EXPECT_EQ(d.state().draws.size(), 4u);
    EXPECT_EQ(time_reads(), 2);
}

TEST_F(Renderer, WithoutASceneShaderEveryFrameSaysSoUntilAReloadBringsItBack)
{
    TestDevice d;
    script_compile("ps_main", {compile_error("main.fx(1,1): error X3000: syntax error\n")});
    load_resources();
    start_clock_at(0);
    script_time({10, 20, 30, 40});
    script_key(VK_F5, {0, 0, KEY_DOWN});
    for (int i = 0; i < 4; ++i) render_frame();

    EXPECT_EQ(captured_stdout(),
              "Error : main.fx(1,1): error X3000: syntax error\n\n"
              "Error : Pshader\n"
              "Error : Pshader\n"
              "Load Shader.\n");
    ASSERT_EQ(d.state().draws.size(), 8u);
    EXPECT_EQ(d.state().draws[0].pixel_shader, "NULL");  // after a failed start-up load, none
    EXPECT_EQ(d.state().draws[2].pixel_shader, "NULL");
    EXPECT_EQ(d.state().draws[4].pixel_shader, name_of(resources.scene_shader));
    EXPECT_EQ(d.state().uploads.size(), 2u);  // only once the shader exists
    EXPECT_EQ(time_reads(), 4);               // the clock ran on regardless
    EXPECT_NEAR(shader_constants.registers[0][0], 0.04, 1e-7);
}

TEST_F(Renderer, TheOldFinalShaderStaysBoundAfterAFailedReload)
{
    TestDevice d;
    load_resources();
    render_frame();
    Object* old_final = object_of(resources.final_shader);
    Object* old_target = object_of(resources.scene_texture);

    script_compile("ps_main", {compile_error("e")});
    load_resources();  // what F5 does at the start of a frame
    EXPECT_EQ(resources.final_shader, nullptr);
    EXPECT_EQ(old_final->refs(), 0u);      // the loader let go...
    EXPECT_EQ(old_final->bindings(), 1u);  // ...but the device still has it
    EXPECT_FALSE(old_final->destroyed());
    EXPECT_EQ(object_of(d.state().pixel_shader), old_final);
    EXPECT_FALSE(old_target->destroyed());

    render_frame();
    ASSERT_EQ(d.state().draws.size(), 4u);
    EXPECT_EQ(d.state().draws[2].pixel_shader, old_final->name());  // the scene pass ran it
    EXPECT_EQ(d.state().draws[2].textures[0], old_target->name());
    EXPECT_EQ(d.state().draws[3].pixel_shader, "NULL");
    EXPECT_TRUE(old_final->destroyed());  // unbound by the final pass
    EXPECT_TRUE(old_target->destroyed());

    render_frame();
    EXPECT_EQ(d.state().draws[4].pixel_shader, "NULL");
    EXPECT_EQ(captured_stdout(), "Load Shader.\nError : e\nError : Pshader\nError : Pshader\n");
}

TEST_F(Renderer, ASuccessfulReloadSwapsInTheNewTargetLaterInThatFrame)
{
    TestDevice d;
    load_resources();
    render_frame();
    std::string old_target = name_of(resources.scene_texture);
    float time_before = shader_constants.registers[0][0];

    script_key(VK_F5, {KEY_DOWN});
    render_frame();

    EXPECT_EQ(d.state().draws[2].textures[0], old_target);
    EXPECT_EQ(d.state().draws[2].pixel_shader, name_of(resources.scene_shader));
    EXPECT_EQ(d.state().draws[3].textures[0], name_of(resources.scene_texture));
    EXPECT_NE(name_of(resources.scene_texture), old_target);
    EXPECT_EQ(d.state().uploads.back().values[0], time_before);  // the time carries on
}

TEST_F(Renderer, HoldingF5ReloadsEveryFrameWithNewNoise)
{
    TestDevice d;
    load_resources();
    hold_key(VK_F5, KEY_DOWN);
    std::vector<D3DXVECTOR4> first_texels;
    for (int i = 0; i < 3; ++i) {
        render_frame();
        first_texels.push_back(texture_record(resources.noise_texture)->texels[0]);
    }
    hold_key(VK_F5, 0);
    render_frame();
    script_key(VK_F5, {1});  // pressed since the last query
    render_frame();

    EXPECT_EQ(compile_calls().size(), 10u);
    EXPECT_EQ(fill_calls().size(), 5u);
    EXPECT_NE(first_texels[0].x, first_texels[1].x);
    EXPECT_NE(first_texels[1].x, first_texels[2].x);
    EXPECT_EQ(d.state().presents, 5);
}

TEST_F(Renderer, AfterAFailedFinalEntryTheSceneShaderStillRuns)
{
    TestDevice d;
    script_compile("ps_main_f", {compile_error("error X3501: 'ps_main_f': entrypoint not found")});
    load_resources();
    render_frame();

    EXPECT_EQ(d.state().uploads.size(), 1u);
    ASSERT_EQ(d.state().draws.size(), 2u);
    EXPECT_EQ(d.state().draws[0].pixel_shader, name_of(resources.scene_shader));
    EXPECT_EQ(d.state().draws[0].textures[1], "NULL");
    EXPECT_EQ(d.state().draws[1].pixel_shader, "NULL");
    EXPECT_EQ(count_calls("SetRenderTarget(0, NULL)"), 2);
    EXPECT_EQ(count_calls("SetTexture(0, NULL)"), 1);
    EXPECT_EQ(captured_stdout(), "Error : error X3501: 'ps_main_f': entrypoint not found\n");
}

TEST_F(Renderer, UploadsAll64RegistersWithOnlyTheTimeSet)
{
    TestDevice d;
    load_resources();
    start_clock_at(0);
    script_time({16, 33, 50, 4000000});
    for (int i = 0; i < 5; ++i) render_frame();

    // Each frame sees the time the previous frame's advance left.
    const double seen[] = {0, 0.016, 0.033, 0.050, 4000.0};
    ASSERT_EQ(d.state().uploads.size(), 5u);
    for (size_t f = 0; f < 5; ++f) {
        const ConstantUpload& upload = d.state().uploads[f];
        EXPECT_EQ(upload.start, 0u);
        ASSERT_EQ(upload.count, 64u);
        EXPECT_NEAR(upload.values[0], seen[f], 1e-6) << "frame " << f;
        EXPECT_EQ(d.state().draws[2 * f].c0[0], upload.values[0]);
        for (size_t i = 1; i < upload.values.size(); ++i) ASSERT_EQ(upload.values[i], 0.0f) << "frame " << f;
    }
}

}  // namespace
