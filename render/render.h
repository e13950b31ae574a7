// Rendering: the resources a load builds, the constants the shaders see, and the
// three calls the main loop makes.
#pragma once

#include "platform.h"

// One resolution for the window, the back buffer, the scene target and the quad.
const UINT SCREEN_WIDTH = 1280;
const UINT SCREEN_HEIGHT = 720;

// Each handle is empty or holds one reference; only the loader writes them.
struct RenderResources {
    IDirect3DPixelShader9* scene_shader;
    IDirect3DPixelShader9* final_shader;
    IDirect3DTexture9* scene_texture;
    IDirect3DSurface9* scene_surface;
    IDirect3DSurface9* back_buffer;
    IDirect3DTexture9* noise_texture;
};

// Pixel-shader registers c0..c63; c0.x carries the elapsed seconds.
struct ShaderConstants {
    float registers[64][4];
};

// Pre-transformed vertex, D3DFVF_XYZRHW | D3DFVF_TEX1.
struct ScreenVertex {
    float x, y, z, rhw;
    float u, v;
};

const DWORD SCREEN_VERTEX_FVF = D3DFVF_XYZRHW | D3DFVF_TEX1;

extern IDirect3DDevice9* device;  // created and released by main
extern RenderResources resources;
extern ShaderConstants shader_constants;
extern const ScreenVertex screen_quad[4];

void load_resources();
void release_resources();
void render_frame();
