// The program's own frame on this device, with hand-made shaders in place of compiled ones.
#include "device_fixture.h"
#include "noise.h"
#include "render.h"

TEST_F(DeviceTest, RenderFrameDrawsTheProgramsTwoPasses)
{
    // What load_resources builds, minus the compiler.
    device = dev_;
    std::vector<std::uint32_t> scene_code =
        standard_shader("color = vec4(uv * 4.0 - 1.0, C[0].y, 1.0) + texture(s1, uv) * 0.0;");
    std::vector<std::uint32_t> final_code = standard_shader("color = (texture(s0, uv) + 1.0) / 4.0;");
    ASSERT_EQ(dev_->CreatePixelShader((const DWORD*)scene_code.data(), &resources.scene_shader), D3D_OK);
    ASSERT_EQ(dev_->CreatePixelShader((const DWORD*)final_code.data(), &resources.final_shader), D3D_OK);
    dev_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &resources.back_buffer);
    dev_->CreateTexture(SCREEN_WIDTH, SCREEN_HEIGHT, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A32B32G32R32F, D3DPOOL_DEFAULT,
                        &resources.scene_texture, NULL);
    resources.scene_texture->GetSurfaceLevel(0, &resources.scene_surface);
    dev_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    dev_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    dev_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    dev_->CreateTexture(32, 32, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &resources.noise_texture, NULL);
    ASSERT_EQ(D3DXFillTexture(resources.noise_texture, fill_noise, NULL), D3D_OK);

    shader_constants.registers[0][1] = 1.0f;  // c0.y, so the scene pass's blue shows the upload
    render_frame();
    render_frame();

    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(fxplatform::read_presented(dev_, width, height, pixels));
    ASSERT_EQ(width, (int)SCREEN_WIDTH);
    ASSERT_EQ(height, (int)SCREEN_HEIGHT);
    // Scene red runs from -1 to 3 across the target; the final pass maps -1..3 to 0..1.
    auto red_at = [&](UINT x, UINT y) { return pixels[(y * SCREEN_WIDTH + x) * 4]; };
    auto green_at = [&](UINT x, UINT y) { return pixels[(y * SCREEN_WIDTH + x) * 4 + 1]; };
    EXPECT_EQ(red_at(0, 0), 0);
    EXPECT_EQ(red_at(640, 0), 128);
    EXPECT_EQ(red_at(1279, 0), 255);
    EXPECT_EQ(green_at(0, 0), 0);
    EXPECT_EQ(green_at(0, 719), 255);
    EXPECT_EQ(pixels[2], 128);  // (c0.y + 1) / 4 * 255

    release_resources();
    dev_->SetTexture(0, NULL);
    dev_->SetTexture(1, NULL);
    dev_->SetPixelShader(NULL);
    device = NULL;
}
