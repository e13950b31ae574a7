// reload_soak [RELOADS]: the viewer's F5 path RELOADS times (default 10,000) off-screen, each reload
// followed by its frame, mostly with the example main.fx but every tenth with a broken or a missing
// file, so the error paths are soaked too. Prints resident memory, heap in use and the device
// objects alive at 100 reloads and every 1,000, and the objects left once everything is released.
// scripts/robustness.sh runs it under ASan, whose leak check runs at exit.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "readback.h"
#include "viewer.h"

// Libraries stay loaded until exit, so a leak report can still name the one that leaked
// (the GL driver is unloaded with the last window otherwise).
extern "C" int dlclose(void*) { return 0; }

namespace {

// An error on line 3 the compiler must report; the frame then prints "Error : Pshader".
const char* const BROKEN_FX =
    "sampler2D scene : register(s0);\n"
    "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n"
    "{ return float4(uv, 0.5 1.0); }\n";

void report(long reloads)
{
    std::printf("after %6ld reloads: resident %8.1f MB, heap in use %8.2f MB, device objects %d\n", reloads,
                (double)product::resident_kb() / 1024.0, (double)product::heap_in_use() / 1048576.0,
                fxplatform::live_device_objects());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    long total = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::string example;
    if (total <= 0 || !product::read_file(FXVIEW_EXAMPLE, example)) {
        std::fprintf(stderr, "usage: reload_soak [RELOADS]  (reads %s)\n", FXVIEW_EXAMPLE);
        return 2;
    }
    if (!product::enter_private_folder() || !product::open_viewer()) {
        product::leave_private_folder();
        return 1;
    }
    // The loader's own lines go nowhere; the figures go to the real stdout.
    std::fflush(stdout);
    const int real_stdout = dup(1), null = open("/dev/null", O_WRONLY);
    if (real_stdout < 0 || null < 0) return 1;
    auto mute = [&](bool on) {
        std::fflush(stdout);
        dup2(on ? null : real_stdout, 1);
    };

    mute(true);
    std::string current;
    for (long i = 1; i <= total; ++i) {
        std::string wanted = i % 20 == 9 ? "broken" : i % 20 == 19 ? "missing" : "example";
        if (wanted != current) {
            if (wanted == "missing") {
                std::remove("main.fx");
            } else {
                product::write_main_fx(wanted == "broken" ? BROKEN_FX : example);
            }
            current = wanted;
        }
        load_resources();
        render_frame();
        if (i == 100 || i % 1000 == 0 || i == total) {
            mute(false);
            report(i);
            mute(true);
        }
    }
    mute(false);
    close(null);
    close(real_stdout);

    product::close_viewer();
    product::leave_private_folder();
    int alive = fxplatform::live_device_objects();
    std::printf("device objects alive after release: %d\n", alive);
    return alive == 0 ? 0 : 1;
}
