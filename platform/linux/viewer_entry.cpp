// fxview's entry on Linux: reads the command line a Linux user expects (the shader's folder or its
// main.fx, --help, --version), starts in that folder, then runs the program, which reads none.
#include <cstdio>
#include <cstring>
#include <string>

#include "command_line.h"

// app/main.cpp's main, renamed for this build.
int fxview_main(int argc, char* argv[]);

namespace {

const char* const USAGE =
    "usage: fxview [DIR | DIR/main.fx]\n"
    "Shows the pixel shaders of DIR/main.fx (DIR defaults to the current folder) live in a window.\n"
    "F5, or saving main.fx where F5 cannot reach the viewer, reloads it; Escape or closing the window quits.\n"
    "  -h, --help   print this and exit\n"
    "  --version    print the version and exit\n";

}  // namespace

int main(int argc, char* argv[])
{
    const char* folder = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!options_done && (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0)) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (!options_done && std::strcmp(arg, "--version") == 0) {
            std::printf("fxview %s\n", fxplatform::version());
            return 0;
        }
        if (!options_done && std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (!options_done && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "fxview: unknown option '%s'\n%s", arg, USAGE);
            return 2;
        } else if (folder) {
            std::fprintf(stderr, "fxview: one shader at a time ('%s' and '%s')\n%s", folder, arg, USAGE);
            return 2;
        } else {
            folder = arg;
        }
    }
    std::string error;
    if (folder && !fxplatform::enter_shader_folder(folder, error)) {
        std::fprintf(stderr, "fxview: %s\n", error.c_str());
        return 2;
    }
    char* program_argv[] = {argv[0], nullptr};
    return fxview_main(1, program_argv);
}
