// Frames per second of the program's two passes (render_frame on the OpenGL device) against a
// minimal raw-GL program drawing the same two passes with the same shaders, vsync off, in one
// run; and heap allocations per steady-state frame.
//
// Every frame ends with glFinish in both variants, so a frame counts once it is drawn: the
// off-screen driver's swap waits for nothing.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "allocations.h"
#include "linux_platform.h"
#include "noise.h"
#include "raw_two_pass.h"
#include "render.h"
#include "shader_blob.h"

using bench::c_allocations;
using bench::counting;
using bench::cxx_allocations;

namespace {

SDL_Window* window = nullptr;

// The same two fragment shaders for both variants: a scene of moving colour plus noise, and a
// final pass that tone-maps the float target.
const char* const SCENE_BODY = "color = vec4(uv, 0.5 + 0.5 * sin(C[0].x), 1.0) + texture(s1, uv * 8.0) * 4.0;";
const char* const FINAL_BODY = "vec4 hdr = texture(s0, uv); color = hdr / (hdr + 1.0);";

std::string fragment_source(const char* body)
{
    return std::string(
               "#version 330 core\nuniform vec4 C[64];\nuniform sampler2D s0;\nuniform sampler2D s1;\n"
               "in vec2 uv;\nlayout(location = 0) out vec4 color;\nvoid main()\n{\n") +
        body + "\n}\n";
}

fxplatform::ShaderBlob shader_blob(const char* body)
{
    fxplatform::ShaderBlob blob;
    blob.glsl = fragment_source(body);
    blob.inputs = {{"uv", "vec2", "TEXCOORD", 0, false}};
    blob.samplers = {{"s0", 0, fxplatform::SamplerType::Tex2D}, {"s1", 1, fxplatform::SamplerType::Tex2D}};
    blob.constants_name = "C";
    blob.constant_count = 64;
    return blob;
}

std::vector<std::uint32_t> shader_code(const char* body) { return fxplatform::encode_shader_blob(shader_blob(body)); }

// The program's frame on the device: what load_resources builds, with hand-made byte code in
// place of the compiler's, then render_frame.
struct DeviceFrames {
    IDirect3D9* d3d = nullptr;
    SDL_GLContext context = nullptr;

    bool set_up()
    {
        device = fxplatform::create_offscreen_device(fxplatform::window_handle(SDL_GetWindowID(window)), &d3d);
        if (!device) return false;
        context = SDL_GL_GetCurrentContext();
        std::vector<std::uint32_t> scene = shader_code(SCENE_BODY), final = shader_code(FINAL_BODY);
        device->CreatePixelShader((const DWORD*)scene.data(), &resources.scene_shader);
        device->CreatePixelShader((const DWORD*) final.data(), &resources.final_shader);
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &resources.back_buffer);
        device->CreateTexture(SCREEN_WIDTH, SCREEN_HEIGHT, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A32B32G32R32F,
                              D3DPOOL_DEFAULT, &resources.scene_texture, NULL);
        resources.scene_texture->GetSurfaceLevel(0, &resources.scene_surface);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        device->CreateTexture(32, 32, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &resources.noise_texture, NULL);
        D3DXFillTexture(resources.noise_texture, fill_noise, NULL);
        return true;
    }

    void make_current() { SDL_GL_MakeCurrent(window, context); }

    void frame() { render_frame(); }

    void tear_down()
    {
        release_resources();
        if (device) {
            device->SetTexture(0, NULL);
            device->SetTexture(1, NULL);
            device->SetPixelShader(NULL);
            device->Release();
            device = NULL;
        }
        if (d3d) d3d->Release();
    }
};

// The same passes in raw GL, with the same fragment shaders.
struct RawFrames : bench::RawTwoPass {
    bool set_up() { return bench::RawTwoPass::set_up(window, shader_blob(SCENE_BODY), shader_blob(FINAL_BODY)); }
};

struct Tally {
    double seconds = 0;
    long long frames = 0, cxx = 0, c = 0;
};

// Blocks of frames, each finished before the clock stops; allocations counted over the block.
template <typename Frames>
void run_block(Frames& frames, int count, Tally& tally)
{
    frames.make_current();
    glFinish();
    long long cxx0 = cxx_allocations, c0 = c_allocations;
    counting = true;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        frames.frame();
        glFinish();
    }
    auto end = std::chrono::steady_clock::now();
    counting = false;
    tally.seconds += std::chrono::duration<double>(end - start).count();
    tally.frames += count;
    tally.cxx += cxx_allocations - cxx0;
    tally.c += c_allocations - c0;
}

// Both variants in one run, alternating in short blocks, so load from elsewhere hits both alike.
void BM_DeviceVersusRawGL(benchmark::State& state)
{
    const int block = (int)state.range(0);
    DeviceFrames on_device;
    RawFrames raw;
    if (!on_device.set_up() || !raw.set_up()) {
        state.SkipWithError("no device or no GL context");
        on_device.tear_down();
        raw.tear_down();
        return;
    }
    Tally device_tally, raw_tally, warm_up;
    run_block(on_device, 5, warm_up);  // shader variants compiled, buffers settled
    run_block(raw, 5, warm_up);
    for (auto _ : state) {
        run_block(on_device, block, device_tally);
        run_block(raw, block, raw_tally);
    }
    double device_fps = (double)device_tally.frames / device_tally.seconds;
    double raw_fps = (double)raw_tally.frames / raw_tally.seconds;
    state.counters["device_fps"] = device_fps;
    state.counters["raw_fps"] = raw_fps;
    state.counters["ratio"] = device_fps / raw_fps;
    state.counters["device_new/frame"] = (double)device_tally.cxx / (double)device_tally.frames;
    state.counters["device_malloc/frame"] = (double)device_tally.c / (double)device_tally.frames;
    state.counters["raw_malloc/frame"] = (double)raw_tally.c / (double)raw_tally.frames;
    raw.tear_down();
    on_device.make_current();
    on_device.tear_down();
}

BENCHMARK(BM_DeviceVersusRawGL)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(4.0);

}  // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);  // a display is used only when asked for
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "device_bench: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    window = SDL_CreateWindow("device bench", 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        std::fprintf(stderr, "device_bench: %s\n", SDL_GetError());
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
