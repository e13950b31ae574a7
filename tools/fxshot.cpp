// fxshot: renders one frame of a main.fx without a display, with the viewer's own loader and
// renderer, and writes the back buffer as PNG and, on request, the float scene target as PFM.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "image_files.h"
#include "linux_platform.h"
#include "noise.h"
#include "readback.h"
#include "render.h"

namespace {

const char* const USAGE =
    "usage: fxshot [--time SECONDS] [--reloads K] [--scene FILE.pfm] [-o FILE.png] [DIR]\n"
    "Renders DIR/main.fx (DIR defaults to the current folder) as the viewer's frame would look with\n"
    "c0.x = SECONDS, after K earlier loads, and writes the picture (default: fxshot.png).\n";

const int FILLS_PER_LOAD_DRAWS = 32 * 32 * 3;  // rand15 draws taken by one noise fill

struct Options {
    double time = 0.0;
    long reloads = 0;
    std::string png = "fxshot.png";
    std::string pfm;
    std::string dir = ".";
};

bool parse_number(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0';
}

bool parse_options(int argc, char* argv[], Options& options)
{
    bool have_dir = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool takes_value = arg == "--time" || arg == "--reloads" || arg == "--scene" || arg == "-o";
        if (takes_value && i + 1 >= argc) {
            std::fprintf(stderr, "fxshot: %s needs a value\n", arg.c_str());
            return false;
        }
        if (arg == "--time") {
            if (!parse_number(argv[++i], options.time)) {
                std::fprintf(stderr, "fxshot: --time wants seconds, not '%s'\n", argv[i]);
                return false;
            }
        } else if (arg == "--reloads") {
            double k = 0;
            if (!parse_number(argv[++i], k) || k < 0 || k != (long)k || k > 1000000) {
                std::fprintf(stderr, "fxshot: --reloads wants a whole number from 0 to 1000000, not '%s'\n", argv[i]);
                return false;
            }
            options.reloads = (long)k;
        } else if (arg == "--scene") {
            options.pfm = argv[++i];
        } else if (arg == "-o") {
            options.png = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "fxshot: unknown option '%s'\n", arg.c_str());
            return false;
        } else if (have_dir) {
            std::fprintf(stderr, "fxshot: only one folder, please ('%s')\n", arg.c_str());
            return false;
        } else {
            options.dir = arg;
            have_dir = true;
        }
    }
    return true;
}

std::string absolute(const std::string& path)
{
    return path.empty() ? path : std::filesystem::absolute(path).string();
}

}  // namespace

int main(int argc, char* argv[])
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    // Output paths are relative to where fxshot was started; main.fx is looked up in DIR.
    options.png = absolute(options.png);
    options.pfm = absolute(options.pfm);
    if (chdir(options.dir.c_str()) != 0) {
        std::fprintf(stderr, "fxshot: cannot enter '%s': %s\n", options.dir.c_str(), std::strerror(errno));
        return 2;
    }

    setenv("FXVIEW_RELOAD_ON_SAVE", "0", 1);  // one frame: a save during it is not a reload
    HWND window = fxplatform::create_offscreen_window("fxshot");
    if (!window) {
        std::fprintf(stderr, "fxshot: cannot create an off-screen window\n");
        return 3;
    }
    IDirect3D9* direct3d = NULL;
    device = fxplatform::create_offscreen_device(window, &direct3d);
    if (!device) {
        std::fprintf(stderr, "fxshot: cannot create the graphics device\n");
        return 3;
    }

    // Earlier loads only moved the noise generator on; skip their draws instead of compiling again.
    for (long i = 0; i < options.reloads * FILLS_PER_LOAD_DRAWS; ++i) rand15();

    load_resources();
    int status = 0;
    if (!resources.scene_shader || !resources.final_shader) {
        status = 1;  // the loader has said why, as the viewer would
    } else {
        shader_constants.registers[0][0] = (float)options.time;
        render_frame();

        int width = 0, height = 0;
        std::vector<std::uint8_t> rgba;
        if (!fxplatform::read_presented(device, width, height, rgba) || !write_png(options.png, width, height, rgba)) {
            std::fprintf(stderr, "fxshot: cannot write '%s'\n", options.png.c_str());
            status = 4;
        }
        std::vector<float> scene;
        if (!options.pfm.empty() &&
            (!fxplatform::read_surface(resources.scene_surface, width, height, scene) ||
             !write_pfm(options.pfm, width, height, scene))) {
            std::fprintf(stderr, "fxshot: cannot write '%s'\n", options.pfm.c_str());
            status = 4;
        }
    }

    release_resources();
    device->Release();
    device = NULL;
    direct3d->Release();
    return status;
}
