#include "device_fixture.h"

#include <cstdlib>

std::vector<std::uint32_t> standard_shader(const std::string& body, const std::string& declarations)
{
    fxplatform::ShaderBlob blob;
    blob.glsl =
        "#version 330 core\nuniform vec4 C[224];\nuniform sampler2D s0;\nuniform sampler2D s1;\n"
        "in vec2 uv;\nlayout(location = 0) out vec4 color;\n" +
        declarations + "\nvoid main()\n{\n" + body + "\n}\n";
    blob.inputs = {{"uv", "vec2", "TEXCOORD", 0, false}};
    blob.samplers = {{"s0", 0, fxplatform::SamplerType::Tex2D}, {"s1", 1, fxplatform::SamplerType::Tex2D}};
    blob.constants_name = "C";
    blob.constant_count = 224;
    return fxplatform::encode_shader_blob(blob);
}

void DeviceTest::SetUp()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("device test", 0, 0, 1280, 720, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS pp = fxplatform::offscreen_present_params();
    ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_handle(),
                                 D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev_),
              D3D_OK);
    ASSERT_NE(dev_, nullptr);
}

void DeviceTest::TearDown()
{
    if (dev_) {
        EXPECT_EQ(dev_->Release(), 0u) << "the test leaked a reference to a device object";
    }
    if (d3d_) {
        EXPECT_EQ(d3d_->Release(), 0u);
    }
    EXPECT_EQ(fxplatform::live_device_objects(), 0);
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
}

HWND DeviceTest::window_handle() const { return fxplatform::window_handle(SDL_GetWindowID(window_)); }

IDirect3DPixelShader9* DeviceTest::make_shader(const std::string& body, const std::string& declarations)
{
    std::vector<std::uint32_t> code = standard_shader(body, declarations);
    IDirect3DPixelShader9* shader = nullptr;
    EXPECT_EQ(dev_->CreatePixelShader((const DWORD*)code.data(), &shader), D3D_OK);
    return shader;
}

IDirect3DTexture9* DeviceTest::make_target(UINT width, UINT height, D3DFORMAT format)
{
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(dev_->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &texture, NULL),
              D3D_OK);
    return texture;
}

void DeviceTest::draw_quad(IDirect3DSurface9* target, UINT width, UINT height)
{
    const float w = (float)width - 0.5f, h = (float)height - 0.5f;
    const Vertex quad[4] = {
        {-0.5f, -0.5f, 0, 1, 0, 0}, {w, -0.5f, 0, 1, 1, 0}, {-0.5f, h, 0, 1, 0, 1}, {w, h, 0, 1, 1, 1}};
    ASSERT_EQ(dev_->SetRenderTarget(0, target), D3D_OK);
    ASSERT_EQ(dev_->BeginScene(), D3D_OK);
    dev_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    dev_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(dev_->EndScene(), D3D_OK);
}

std::vector<float> DeviceTest::read(IDirect3DTexture9* texture)
{
    std::vector<float> rgba;
    int width = 0, height = 0;
    EXPECT_TRUE(fxplatform::read_texture(texture, 0, width, height, rgba));
    return rgba;
}
