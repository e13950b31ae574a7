// Read-back of the OpenGL device's pixels for tests and tools; the program never uses it.
// Every image comes top row first, as Direct3D lays it out.
#pragma once

#include <cstdint>
#include <vector>

#include "platform.h"

namespace fxplatform {

// The back buffer as 8-bit R, G, B, A per pixel. After Present it is what Present showed, as long
// as nothing has been drawn into it since.
bool read_back_buffer(IDirect3DDevice9* device, std::vector<std::uint8_t>& rgba, UINT& width, UINT& height);

// A surface (a texture level or the back buffer) as four floats per texel, R, G, B, A as a shader
// samples them (channels the format lacks read 1).
bool read_surface(IDirect3DSurface9* surface, std::vector<float>& rgba, UINT& width, UINT& height);
bool read_texture(IDirect3DTexture9* texture, UINT level, std::vector<float>& rgba, UINT& width, UINT& height);

// Direct3D objects, devices, textures and shaders alive in this process: 0 once all are released.
int live_device_objects();

}  // namespace fxplatform
