// The viewer's platform as the measurement binaries drive it: an off-screen window and the device,
// a private folder to keep main.fx in, and the process's memory figures.
#pragma once

#include <string>

#include "render.h"
#include "shader_blob.h"

struct SDL_Window;

namespace product {

// As the loader compiles.
const DWORD LOADER_FLAGS = D3DXSHADER_OPTIMIZATION_LEVEL3 | D3DXSHADER_PREFER_FLOW_CONTROL;

// The window (off-screen) and the global `device`, vsync off; false with a message on stderr.
bool open_viewer();
void close_viewer();  // releases the resources, the device and the Direct3D object
SDL_Window* viewer_window();

// A fresh temporary folder becomes the working directory, where load_resources looks for main.fx.
bool enter_private_folder();
void leave_private_folder();  // removes it and its files
bool write_main_fx(const std::string& text);
bool read_file(const std::string& path, std::string& text);

// One entry point of ./main.fx as the loader compiles it, decoded; false on any failure.
bool compile_blob(const char* entry, fxplatform::ShaderBlob& blob);

long resident_kb();       // VmRSS of this process and its children (the compiler helper)
long long heap_in_use();  // bytes allocated and not freed (the sanitizer's count under ASan)

}  // namespace product
