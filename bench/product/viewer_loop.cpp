// Frames per second of the viewer's own loop in a real window (messages, then a frame), vsync
// off, against a raw-GL loop drawing the same two passes into the same window: the rate a user
// sees, not only the device's share. Needs an X server (scripts/bench.sh starts its own Xvfb).
// Prints its rows of the benchmark table on stdout.
#include <epoxy/gl.h>
#include <fcntl.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app.h"
#include "device_loss.h"
#include "linux_platform.h"
#include "raw_two_pass.h"
#include "viewer.h"

namespace {

const char* const TRIVIAL_FX = R"(sampler2D scene : register(s0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv, 0.5, 1.0); }
float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }
)";

// Program and raw GL take turns in blocks this long, so load from elsewhere hits both alike.
const double BLOCK_SECONDS = 0.5;
const int BLOCKS = 10;
const int WARM_UP_FRAMES = 5;

double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One pass of the viewer's main loop: its messages, then a frame unless the device is lost.
void viewer_pass(D3DPRESENT_PARAMETERS* params)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (restore_device(params)) render_frame();
}

// A raw SDL program's pass: its events, then the frame.
void raw_pass(bench::RawTwoPass& raw)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    raw.frame();
}

// Frames per second over one block, until its last frame is drawn.
template <typename Pass>
double run_block(Pass&& pass)
{
    glFinish();
    const double start = now_seconds();
    double now = start;
    long long frames = 0;
    while (now - start < BLOCK_SECONDS) {
        pass();
        ++frames;
        now = now_seconds();
    }
    glFinish();
    return (double)frames / (now_seconds() - start);
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Medians over the blocks; the ratio is the median of the back-to-back pairs' ratios.
struct Rates {
    double program = 0, raw = 0, ratio = 0;
};

bool measure(const std::string& source, HWND window, D3DPRESENT_PARAMETERS* params, Rates& rates)
{
    product::write_main_fx(source);
    load_resources();
    fxplatform::ShaderBlob scene, final;
    if (!resources.scene_shader || !product::compile_blob("ps_main", scene) ||
        !product::compile_blob("ps_main_f", final)) {
        std::fprintf(stderr, "viewer_loop: the shader does not load\n");
        return false;
    }
    SDL_Window* sdl_window = SDL_GetWindowFromID(fxplatform::sdl_window_id(window));
    SDL_GLContext device_context = SDL_GL_GetCurrentContext();
    bench::RawTwoPass raw;
    if (!raw.set_up(sdl_window, scene, final)) {
        std::fprintf(stderr, "viewer_loop: no raw GL context\n");
        raw.tear_down();
        SDL_GL_MakeCurrent(sdl_window, device_context);
        return false;
    }
    auto program_pass = [params] { viewer_pass(params); };
    auto raw_frame = [&raw] { raw_pass(raw); };
    SDL_GL_MakeCurrent(sdl_window, device_context);
    for (int i = 0; i < WARM_UP_FRAMES; ++i) program_pass();
    raw.make_current();
    for (int i = 0; i < WARM_UP_FRAMES; ++i) raw_frame();
    std::vector<double> program_rates, raw_rates, ratios;
    for (int block = 0; block < BLOCKS; ++block) {
        SDL_GL_MakeCurrent(sdl_window, device_context);
        program_rates.push_back(run_block(program_pass));
        raw.make_current();
        raw_rates.push_back(run_block(raw_frame));
        ratios.push_back(program_rates.back() / raw_rates.back());
    }
    raw.tear_down();
    SDL_GL_MakeCurrent(sdl_window, device_context);
    rates.program = median(program_rates);
    rates.raw = median(raw_rates);
    rates.ratio = median(ratios);
    return true;
}

}  // namespace

int main()
{
    std::string example;
    if (!product::read_file(FXVIEW_EXAMPLE, example)) {
        std::fprintf(stderr, "viewer_loop: cannot read %s\n", FXVIEW_EXAMPLE);
        return 1;
    }
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "viewer_loop: needs an X server (DISPLAY)\n");
        return 1;
    }
    // The loop reloads only on F5; the measurement's own writes of main.fx are not saves to watch.
    setenv("FXVIEW_RELOAD_ON_SAVE", "0", 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    if (!product::enter_private_folder()) return 1;

    // The viewer's window, as its main creates it.
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_VREDRAW | CS_HREDRAW | CS_CLASSDC;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "test";
    HWND window = NULL;
    IDirect3D9* direct3d = NULL;
    // The viewer's presentation parameters with vsync off: the off-screen device's.
    D3DPRESENT_PARAMETERS params = fxplatform::offscreen_present_params();
    if (RegisterClassExA(&window_class)) {
        window = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, "test", "test", WS_OVERLAPPEDWINDOW, 0, 0,
                                 SCREEN_WIDTH, SCREEN_HEIGHT, NULL, NULL, window_class.hInstance, NULL);
    }
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    }
    if (direct3d) {
        direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                               &device);
    }
    if (!device) {
        std::fprintf(stderr, "viewer_loop: no window or device\n");
        if (direct3d) direct3d->Release();
        product::leave_private_folder();
        return 1;
    }

    // The loader's "Load Shader." lines would drown the rows: stdout is muted until the end.
    std::fflush(stdout);
    int rows_out = dup(1), null = open("/dev/null", O_WRONLY);
    if (rows_out < 0 || null < 0 || dup2(null, 1) < 0) return 1;
    close(null);
    Rates example_rates, trivial_rates;
    bool ok = measure(example, window, &params, example_rates) && measure(TRIVIAL_FX, window, &params, trivial_rates);

    release_resources();
    device->Release();
    device = NULL;
    direct3d->Release();
    DefWindowProcA(window, WM_CLOSE, 0, 0);  // closes it, as the viewer's own close does
    product::leave_private_folder();
    std::fflush(stdout);
    dup2(rows_out, 1);
    close(rows_out);
    if (!ok) return 1;
    for (const auto& [name, rates] :
         {std::make_pair("example", example_rates), std::make_pair("trivial", trivial_rates)}) {
        std::printf("%-44s %12.1f %12.1f %8.3f  %s\n",
                    (std::string("viewer loop, ") + name + ", frames per second").c_str(), rates.program, rates.raw,
                    rates.ratio, "raw GL loop, same window (X11, vsync off)");
    }
    return 0;
}
