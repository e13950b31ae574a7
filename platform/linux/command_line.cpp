#include "command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fxplatform {

namespace {

const char* const SHADER_FILE = "main.fx";

}  // namespace

const char* version() { return FXVIEW_VERSION; }

bool shader_folder(const std::string& argument, std::string& folder, std::string& error)
{
    struct stat status;
    if (argument.empty() || stat(argument.c_str(), &status) != 0) {
        error = "cannot open '" + argument + "': " + std::strerror(argument.empty() ? ENOENT : errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        folder = argument;
        return true;
    }
    const std::string::size_type slash = argument.rfind('/');
    const std::string name = slash == std::string::npos ? argument : argument.substr(slash + 1);
    if (name != SHADER_FILE) {
        error = "'" + argument + "' is not a folder or a " + SHADER_FILE + " (the shader is always called " +
            SHADER_FILE + ")";
        return false;
    }
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : argument.substr(0, slash);
    return true;
}

bool enter_shader_folder(const std::string& argument, std::string& error)
{
    std::string folder;
    if (!shader_folder(argument, folder, error)) return false;
    if (chdir(folder.c_str()) != 0) {
        error = "cannot enter '" + folder + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace fxplatform
