// A device on a hidden off-screen SDL window, and helpers to build shaders from GLSL by hand.
#pragma once

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "linux_platform.h"
#include "readback.h"
#include "shader_blob.h"

// Byte code for a fragment shader with "in vec2 uv" (TEXCOORD0), samplers s0 and s1 and the
// register file "uniform vec4 C[224]"; body is the inside of main(), writing "color".
std::vector<std::uint32_t> standard_shader(const std::string& body, const std::string& declarations = "");

struct Vertex {
    float x, y, z, rhw, u, v;
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND window_handle() const;
    IDirect3DPixelShader9* make_shader(const std::string& body, const std::string& declarations = "");
    IDirect3DTexture9* make_target(UINT width, UINT height, D3DFORMAT format = D3DFMT_A32B32G32R32F);
    // Clears, then draws the program's full-target quad (corners half a pixel up and left).
    void draw_quad(IDirect3DSurface9* target, UINT width, UINT height);
    std::vector<float> read(IDirect3DTexture9* texture);

    SDL_Window* window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* dev_ = nullptr;
};
