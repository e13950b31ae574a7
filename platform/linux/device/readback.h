// Read-back of the OpenGL device's pixels for tests and tools; the program never uses it.
// Every image comes top row first, as Direct3D lays it out.
#pragma once

#include <cstdint>
#include <vector>

#include "platform.h"

namespace fxplatform {

// The back buffer as 8-bit R, G, B, A per pixel: what the last Present showed, as long as nothing
// has been drawn into the back buffer since.
bool read_presented(IDirect3DDevice9* device, int& width, int& height, std::vector<std::uint8_t>& rgba);

// A surface (a texture level or the back buffer) as four floats per texel, R, G, B, A as a shader
// samples them (channels the format lacks read 1).
bool read_surface(IDirect3DSurface9* surface, int& width, int& height, std::vector<float>& rgba);
bool read_texture(IDirect3DTexture9* texture, UINT level, int& width, int& height, std::vector<float>& rgba);

// Direct3D objects, devices, textures and shaders alive in this process: 0 once all are released.
int live_device_objects();

}  // namespace fxplatform
