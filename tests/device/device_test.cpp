// Creating the device, object lifetimes and the failure codes of bad calls.
#include "device_fixture.h"

namespace {

VOID WINAPI fill_nothing(D3DXVECTOR4*, const D3DXVECTOR2*, const D3DXVECTOR2*, LPVOID) {}

}  // namespace

TEST(Direct3DCreate9Test, OnlyTheSdkVersionOfThisInterface)
{
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(DeviceTest, CreateDeviceFailsCleanlyWithoutAUsableWindow)
{
    D3DPRESENT_PARAMETERS pp = fxplatform::offscreen_present_params();
    IDirect3DDevice9* device = (IDirect3DDevice9*)this;  // must come back emptied
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, NULL, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);

    // A window without OpenGL gets no context, so no device.
    SDL_Window* plain = SDL_CreateWindow("plain", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
    ASSERT_NE(plain, nullptr);
    device = (IDirect3DDevice9*)this;
    HRESULT hr = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, fxplatform::window_handle(SDL_GetWindowID(plain)),
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(device, nullptr);
    SDL_DestroyWindow(plain);

    pp.BackBufferFormat = D3DFMT_A32B32G32R32F;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_handle(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
}

TEST_F(DeviceTest, WindowedDeviceWithoutSizeTakesTheWindowsAndReportsIt)
{
    D3DPRESENT_PARAMETERS pp = fxplatform::offscreen_present_params();
    pp.BackBufferWidth = pp.BackBufferHeight = 0;
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* second = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_handle(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &second),
              D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 1280u);
    EXPECT_EQ(pp.BackBufferHeight, 720u);
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    // Two devices on one window each keep their own context.
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(second->CreateTexture(8, 8, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
    EXPECT_EQ(dev_->SetTexture(0, texture), D3DERR_INVALIDCALL);  // another device's object
    texture->Release();
    EXPECT_EQ(second->Release(), 0u);
}

TEST_F(DeviceTest, ReferencesFollowDirect3DAndReachZero)
{
    const int before = fxplatform::live_device_objects();
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(dev_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    IDirect3DTexture9* scene = make_target(64, 64);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(scene->GetSurfaceLevel(0, &level), D3D_OK);
    // A level's surface counts with its texture; every held object holds the device.
    EXPECT_EQ(scene->AddRef(), 3u);
    EXPECT_EQ(scene->Release(), 2u);
    EXPECT_EQ(dev_->AddRef(), 4u);
    EXPECT_EQ(dev_->Release(), 3u);

    // Bindings keep released objects alive without showing in the program's counts.
    IDirect3DPixelShader9* shader = make_shader("color = texture(s0, uv);");
    dev_->SetPixelShader(shader);
    dev_->SetTexture(0, scene);
    dev_->SetRenderTarget(0, level);
    EXPECT_EQ(shader->Release(), 0u);
    EXPECT_EQ(level->Release(), 1u);
    EXPECT_EQ(scene->Release(), 0u);
    EXPECT_EQ(fxplatform::live_device_objects(), before + 2);
    draw_quad(back, 1280, 720);  // the released shader and texture still draw

    dev_->SetRenderTarget(0, back);
    dev_->SetPixelShader(NULL);
    EXPECT_EQ(fxplatform::live_device_objects(), before + 1);
    dev_->SetTexture(0, NULL);
    EXPECT_EQ(fxplatform::live_device_objects(), before);
    EXPECT_EQ(back->Release(), 0u);

    // The device dies with its last reference and takes its bindings along.
    IDirect3DTexture9* bound = make_target(8, 8);
    dev_->SetTexture(3, bound);
    EXPECT_EQ(dev_->Release(), 1u);  // the texture still holds it
    EXPECT_EQ(bound->Release(), 0u);
    dev_ = nullptr;
    EXPECT_EQ(fxplatform::live_device_objects(), 1);  // only the Direct3D object
}

TEST_F(DeviceTest, BadCallsReturnCleanCodes)
{
    IDirect3DPixelShader9* shader = (IDirect3DPixelShader9*)this;
    EXPECT_EQ(dev_->CreatePixelShader(NULL, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
    const DWORD not_ours[4] = {0xFFFF0300, 0x0000FFFF, 0, 0};  // a real ps_3_0 token stream start
    EXPECT_EQ(dev_->CreatePixelShader(not_ours, &shader), D3DERR_INVALIDCALL);
    std::vector<std::uint32_t> code = standard_shader("color = vec4(1.0);");
    std::vector<std::uint32_t> truncated(code.begin(), code.begin() + 8);
    truncated[1] = 8;
    EXPECT_EQ(dev_->CreatePixelShader((const DWORD*)truncated.data(), &shader), D3DERR_INVALIDCALL);
    code = standard_shader("color = undefined_thing;");
    shader = (IDirect3DPixelShader9*)this;
    HRESULT hr = dev_->CreatePixelShader((const DWORD*)code.data(), &shader);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(shader, nullptr);

    IDirect3DTexture9* texture = (IDirect3DTexture9*)this;
    EXPECT_EQ(dev_->CreateTexture(8, 8, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &texture, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(
        dev_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, NULL),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->CreateTexture(0, 8, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, NULL),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->CreateTexture(8, 8, 5, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, NULL),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFillTexture(NULL, fill_nothing, NULL), D3DERR_INVALIDCALL);
    IDirect3DTexture9* target = make_target(8, 8);
    EXPECT_EQ(D3DXFillTexture(target, fill_nothing, NULL), D3DERR_INVALIDCALL);  // default pool cannot be locked
    IDirect3DSurface9* level = nullptr;
    EXPECT_EQ(target->GetSurfaceLevel(1, &level), D3DERR_INVALIDCALL);
    EXPECT_EQ(level, nullptr);

    // Scenes do not nest, and drawing needs one.
    const Vertex triangle[3] = {};
    EXPECT_EQ(dev_->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->BeginScene(), D3D_OK);
    EXPECT_EQ(dev_->BeginScene(), D3DERR_INVALIDCALL);
    dev_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, 8), D3DERR_INVALIDCALL);  // stride too small
    dev_->SetFVF(0x002 | D3DFVF_TEX1);  // untransformed positions need a vertex shader
    EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->EndScene(), D3D_OK);

    // The empty handles a failed load leaves behind are harmless.
    EXPECT_EQ(dev_->SetRenderTarget(0, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->SetTexture(0, NULL), D3D_OK);
    EXPECT_EQ(dev_->SetPixelShader(NULL), D3D_OK);
    EXPECT_EQ(dev_->SetSamplerState(16, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    target->Release();
}

// A reset GL context is Direct3D's lost device: Present reports it, the device says when it can
// be reset, Reset wants every object released, and the new context draws as the old one did.
TEST_F(DeviceTest, AContextResetIsALostDeviceThatResetBringsBack)
{
    IDirect3DTexture9* target = make_target(64, 64);
    fxplatform::simulate_context_reset(dev_, 2);
    EXPECT_EQ(dev_->Present(NULL, NULL, NULL, NULL), D3DERR_DEVICELOST);
    EXPECT_EQ(dev_->Present(NULL, NULL, NULL, NULL), D3DERR_DEVICELOST);
    EXPECT_EQ(dev_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(dev_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(dev_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    D3DPRESENT_PARAMETERS pp = fxplatform::offscreen_present_params();
    EXPECT_EQ(dev_->Reset(&pp), D3DERR_INVALIDCALL) << "a texture is still alive";
    target->Release();
    D3DPRESENT_PARAMETERS other_size = pp;
    other_size.BackBufferWidth = 640;
    EXPECT_EQ(dev_->Reset(&other_size), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev_->TestCooperativeLevel(), D3D_OK);

    target = make_target(64, 64);
    IDirect3DSurface9* surface = nullptr;
    target->GetSurfaceLevel(0, &surface);
    IDirect3DPixelShader9* shader = make_shader("color = vec4(0.25, 0.5, -2.0, 1.0);");
    dev_->SetPixelShader(shader);
    draw_quad(surface, 64, 64);
    surface->Release();
    std::vector<float> rgba = read(target);
    ASSERT_EQ(rgba.size(), 64u * 64u * 4u);
    EXPECT_EQ(rgba[(31 * 64 + 17) * 4 + 2], -2.0f);
    EXPECT_EQ(dev_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    dev_->SetPixelShader(NULL);
    shader->Release();
    target->Release();
}
