#include <cstdio>

#include "noise.h"
#include "render.h"

IDirect3DDevice9* device = NULL;
RenderResources resources;

static const char* const SHADER_FILE = "main.fx";
static const char* const SHADER_PROFILE = "ps_3_0";
static const DWORD SHADER_FLAGS = D3DXSHADER_OPTIMIZATION_LEVEL3 | D3DXSHADER_PREFER_FLOW_CONTROL;

template <typename T>
static void release(T*& object)
{
    if (object) {
        object->Release();
        object = NULL;
    }
}

// Compiler text is printed bounded by its size: not every compiler zero-terminates it.
static void print_error(ID3DXBuffer* messages, const char* entry, const char* what, HRESULT hr)
{
    if (messages && messages->GetBufferSize() > 0) {
        printf("Error : %.*s\n", (int)messages->GetBufferSize(), (const char*)messages->GetBufferPointer());
    } else {
        printf("Error : %s: %s \"%s\" failed (0x%08X) with no message\n", SHADER_FILE, what, entry, (unsigned)hr);
    }
}

static bool create_shader(const char* entry, IDirect3DPixelShader9** shader)
{
    ID3DXBuffer* code = NULL;
    ID3DXBuffer* messages = NULL;
    HRESULT hr = D3DXCompileShaderFromFileA(SHADER_FILE, NULL, NULL, entry, SHADER_PROFILE, SHADER_FLAGS, &code,
                                            &messages, NULL);
    bool created = false;
    if (hr != D3D_OK || !code) {
        print_error(messages, entry, "compiling", hr);
    } else {
        hr = device->CreatePixelShader((const DWORD*)code->GetBufferPointer(), shader);
        created = hr == D3D_OK && *shader;
        if (!created) {
            print_error(messages, entry, "creating the pixel shader for", hr);
        }
    }
    // The messages stay alive until the shader exists: a failed creation prints them.
    release(code);
    release(messages);
    return created;
}

void release_resources()
{
    release(resources.noise_texture);
    release(resources.scene_texture);
    release(resources.scene_surface);
    release(resources.back_buffer);
    release(resources.scene_shader);
    release(resources.final_shader);
}

void load_resources()
{
    release_resources();

    if (!create_shader("ps_main", &resources.scene_shader)) return;
    if (!create_shader("ps_main_f", &resources.final_shader)) return;
    printf("Load Shader.\n");

    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &resources.back_buffer);

    HRESULT hr = device->CreateTexture(SCREEN_WIDTH, SCREEN_HEIGHT, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A32B32G32R32F,
                                       D3DPOOL_DEFAULT, &resources.scene_texture, NULL);
    if (resources.scene_texture) {
        resources.scene_texture->GetSurfaceLevel(0, &resources.scene_surface);
    } else {
        printf("Error : cannot create the %ux%u float scene target (0x%08X)\n", SCREEN_WIDTH, SCREEN_HEIGHT,
               (unsigned)hr);
    }

    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);

    hr = device->CreateTexture(32, 32, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &resources.noise_texture, NULL);
    if (resources.noise_texture) {
        D3DXFillTexture(resources.noise_texture, fill_noise, NULL);
    } else {
        printf("Error : cannot create the 32x32 noise texture (0x%08X)\n", (unsigned)hr);
    }
}
