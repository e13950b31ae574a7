// What fxview and fxshot share of the command line a Linux user expects: the shader named by its
// folder or by its main.fx, and the version. The program itself reads no command line.
#pragma once

#include <string>

namespace fxplatform {

// The version the package carries.
const char* version();

// The folder a shader argument names: a folder, or a file called main.fx (its folder). False, with
// the reason in `error`, for anything else.
bool shader_folder(const std::string& argument, std::string& folder, std::string& error);

// Makes the folder an argument names the working directory, where the loader reads main.fx. False,
// with the reason in `error`, when it cannot.
bool enter_shader_folder(const std::string& argument, std::string& error);

}  // namespace fxplatform
