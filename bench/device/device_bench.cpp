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
#include <new>
#include <string>
#include <vector>

#include "linux_platform.h"
#include "noise.h"
#include "render.h"
#include "shader_blob.h"

// ---- Allocation counting: C++ allocations (the device and the program) and C allocations (the
// GL driver, SDL) separately; the raw-GL run gives the driver's own share.

namespace {
std::atomic<bool> counting{false};
std::atomic<long long> cxx_allocations{0};
std::atomic<long long> c_allocations{0};
}  // namespace

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) c_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) c_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) c_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}

void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) cxx_allocations.fetch_add(1, std::memory_order_relaxed);
    void* pointer = __libc_malloc(size ? size : 1);
    if (!pointer) throw std::bad_alloc();
    return pointer;
}
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { __libc_free(pointer); }

namespace {

SDL_Window* window = nullptr;

// The same two fragment shaders for both variants: a scene of moving colour plus noise, and a
// final pass that tone-maps the float target.
const char* const SCENE_BODY =
    "color = vec4(uv, 0.5 + 0.5 * sin(C[0].x), 1.0) + texture(s1, uv * 8.0) * 4.0;";
const char* const FINAL_BODY = "vec4 hdr = texture(s0, uv); color = hdr / (hdr + 1.0);";

std::string fragment_source(const char* body)
{
    return std::string("#version 330 core\nuniform vec4 C[64];\nuniform sampler2D s0;\nuniform sampler2D s1;\n"
                       "in vec2 uv;\nlayout(location = 0) out vec4 color;\nvoid main()\n{\n") +
           body + "\n}\n";
}

std::vector<std::uint32_t> shader_code(const char* body)
{
    fxplatform::ShaderBlob blob;
    blob.glsl = fragment_source(body);
    blob.inputs = {{"uv", "vec2", "TEXCOORD", 0, false}};
    blob.samplers = {{"s0", 0, fxplatform::SamplerType::Tex2D}, {"s1", 1, fxplatform::SamplerType::Tex2D}};
    blob.constants_name = "C";
    blob.constant_count = 64;
    return fxplatform::encode_shader_blob(blob);
}

// The program's frame on the device: what load_resources builds, with hand-made byte code in
// place of the compiler's, then render_frame.
struct DeviceFrames {
    IDirect3D9* d3d = nullptr;
    SDL_GLContext context = nullptr;

    bool set_up()
    {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = SCREEN_WIDTH;
        pp.BackBufferHeight = SCREEN_HEIGHT;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (!d3d || d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                      fxplatform::window_handle(SDL_GetWindowID(window)),
                                      D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device) != D3D_OK) {
            return false;
        }
        context = SDL_GL_GetCurrentContext();
        std::vector<std::uint32_t> scene = shader_code(SCENE_BODY), final = shader_code(FINAL_BODY);
        device->CreatePixelShader((const DWORD*)scene.data(), &resources.scene_shader);
        device->CreatePixelShader((const DWORD*)final.data(), &resources.final_shader);
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

GLuint compile_program(const char* fragment)
{
    const char* vertex = "#version 330 core\nlayout(location = 0) in vec2 position;\n"
                         "layout(location = 1) in vec2 texcoord;\nout vec2 uv;\n"
                         "void main() { gl_Position = vec4(position, 0.0, 1.0); uv = texcoord; }\n";
    GLuint program = glCreateProgram();
    const char* sources[2] = {vertex, fragment};
    GLenum stages[2] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
    for (int i = 0; i < 2; ++i) {
        GLuint shader = glCreateShader(stages[i]);
        glShaderSource(shader, 1, &sources[i], NULL);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "s0"), 0);
    glUniform1i(glGetUniformLocation(program, "s1"), 1);
    return program;
}

GLuint framebuffer_with(GLuint color_texture, GLuint color_renderbuffer, GLuint depth)
{
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    if (color_texture) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_texture, 0);
    } else {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_renderbuffer);
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    return framebuffer;
}

// The least a GL program needs for the same frame: two targets, two programs, one quad, a blit.
struct RawFrames {
    SDL_GLContext context = nullptr;
    GLuint scene_program = 0, final_program = 0, scene_target = 0, back_buffer = 0;
    GLuint textures[2] = {}, renderbuffers[2] = {}, samplers[2] = {}, vertex_array = 0, vertex_buffer = 0;
    GLint constants_location = -1;
    ShaderConstants constants = {};

    bool set_up()
    {
        context = SDL_GL_CreateContext(window);
        if (!context) return false;
        SDL_GL_MakeCurrent(window, context);
        SDL_GL_SetSwapInterval(0);
        const GLsizei width = SCREEN_WIDTH, height = SCREEN_HEIGHT;

        scene_program = compile_program(fragment_source(SCENE_BODY).c_str());
        final_program = compile_program(fragment_source(FINAL_BODY).c_str());
        constants_location = glGetUniformLocation(scene_program, "C");

        glGenTextures(2, textures);
        glBindTexture(GL_TEXTURE_2D, textures[0]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT, NULL);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        std::vector<float> noise(32 * 32 * 4);
        for (std::size_t i = 0; i < noise.size(); i += 4) fill_noise((D3DXVECTOR4*)&noise[i], NULL, NULL, NULL);
        glBindTexture(GL_TEXTURE_2D, textures[1]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 32, 32, 0, GL_RGBA, GL_FLOAT, noise.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glGenRenderbuffers(2, renderbuffers);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        scene_target = framebuffer_with(textures[0], 0, renderbuffers[1]);
        back_buffer = framebuffer_with(0, renderbuffers[0], renderbuffers[1]);
        glGenSamplers(2, samplers);
        glSamplerParameteri(samplers[0], GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glSamplerParameteri(samplers[0], GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(samplers[0], GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(samplers[0], GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(samplers[1], GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glSamplerParameteri(samplers[1], GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindSampler(0, samplers[0]);
        glBindSampler(1, samplers[1]);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, textures[1]);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, textures[0]);

        const float quad[16] = {-1, -1, 0, 0, 1, -1, 1, 0, -1, 1, 0, 1, 1, 1, 1, 1};
        glGenVertexArrays(1, &vertex_array);
        glBindVertexArray(vertex_array);
        glGenBuffers(1, &vertex_buffer);
        glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, (const void*)0);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, (const void*)8);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glViewport(0, 0, width, height);
        glClearColor(0, 0, 0, 0);
        return true;
    }

    void make_current() { SDL_GL_MakeCurrent(window, context); }

    void frame()
    {
        const GLsizei width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, scene_target);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(scene_program);
        glUniform4fv(constants_location, 64, &constants.registers[0][0]);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, back_buffer);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(final_program);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, back_buffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, width, height, 0, height, width, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(window);
        constants.registers[0][0] += 0.016f;
    }

    void tear_down()
    {
        if (!context) return;
        make_current();
        glDeleteProgram(scene_program);
        glDeleteProgram(final_program);
        glDeleteTextures(2, textures);
        glDeleteRenderbuffers(2, renderbuffers);
        glDeleteSamplers(2, samplers);
        glDeleteFramebuffers(1, &scene_target);
        glDeleteFramebuffers(1, &back_buffer);
        glDeleteBuffers(1, &vertex_buffer);
        glDeleteVertexArrays(1, &vertex_array);
        SDL_GL_DeleteContext(context);
    }
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
