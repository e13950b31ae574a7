// What shaders see through the device: exact texture coordinates, float range, filtering,
// orientation, constants, noise content and the no-shader path.
#include <epoxy/gl.h>

#include <cmath>
#include <cstring>

#include "device_fixture.h"
#include "noise.h"

namespace {

struct SurfaceRef {
    IDirect3DSurface9* surface = nullptr;
    ~SurfaceRef()
    {
        if (surface) surface->Release();
    }
};

// Each texel's fill: its centre coordinate in x and y.
VOID WINAPI fill_with_centre(D3DXVECTOR4* out, const D3DXVECTOR2* centre, const D3DXVECTOR2*, LPVOID)
{
    *out = {centre->x, centre->y, 0.0f, 1.0f};
}

VOID WINAPI fill_from_list(D3DXVECTOR4* out, const D3DXVECTOR2*, const D3DXVECTOR2*, LPVOID data)
{
    std::vector<D3DXVECTOR4>* list = static_cast<std::vector<D3DXVECTOR4>*>(data);
    *out = list->front();
    list->erase(list->begin());
}

struct NoiseCall {
    D3DXVECTOR2 centre, size;
    D3DXVECTOR4 out;
};

VOID WINAPI record_noise(D3DXVECTOR4* out, const D3DXVECTOR2* centre, const D3DXVECTOR2* size, LPVOID data)
{
    fill_noise(out, centre, size, NULL);
    static_cast<std::vector<NoiseCall>*>(data)->push_back({*centre, *size, *out});
}

}  // namespace

TEST_F(DeviceTest, UvGradientIsPixelCentresInTheFloatTarget)
{
    IDirect3DTexture9* target = make_target(1280, 720);
    SurfaceRef surface;
    target->GetSurfaceLevel(0, &surface.surface);
    IDirect3DPixelShader9* shader = make_shader("color = vec4(uv, 0.0, 1.0);");
    dev_->SetPixelShader(shader);
    draw_quad(surface.surface, 1280, 720);

    // To within one float step of the [0, 1] range (2^-24), as Direct3D hardware interpolates.
    std::vector<float> rgba = read(target);
    const double step = std::ldexp(1.0, -24);
    int off_u = 0, off_v = 0;
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280; ++x) {
            const float* p = &rgba[(y * 1280 + x) * 4];
            off_u += std::fabs(p[0] - (x + 0.5) / 1280.0) > step;
            off_v += std::fabs(p[1] - (y + 0.5) / 720.0) > step;
        }
    }
    EXPECT_EQ(off_u, 0) << "u is (x + 0.5) / 1280";
    EXPECT_EQ(off_v, 0) << "v is (y + 0.5) / 720";
    shader->Release();
    target->Release();
}

TEST_F(DeviceTest, ValuesOutsideZeroToOneReachTheFinalPass)
{
    IDirect3DTexture9* scene = make_target(1280, 720);
    SurfaceRef scene_surface, back;
    scene->GetSurfaceLevel(0, &scene_surface.surface);
    dev_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back.surface);
    IDirect3DPixelShader9* scene_shader = make_shader("color = vec4(-3.0, 2.5, 1.0e6, -0.25);");
    // 0.5, clamped from 2.5 to 1, 1e6 scaled back to 1, and a clamped negative.
    IDirect3DPixelShader9* final_shader =
        make_shader("vec4 t = texture(s0, uv); color = vec4(t.x / -6.0, t.y, t.z * 1.0e-6, t.w);");

    dev_->SetPixelShader(scene_shader);
    draw_quad(scene_surface.surface, 1280, 720);
    std::vector<float> rgba = read(scene);
    EXPECT_EQ(rgba[0], -3.0f);
    EXPECT_EQ(rgba[1], 2.5f);
    EXPECT_EQ(rgba[2], 1.0e6f);
    EXPECT_EQ(rgba[3], -0.25f);

    dev_->SetTexture(0, scene);
    dev_->SetPixelShader(final_shader);
    draw_quad(back.surface, 1280, 720);
    EXPECT_EQ(dev_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(fxplatform::read_presented(dev_, width, height, pixels));
    ASSERT_EQ((std::size_t)width * height * 4, pixels.size());
    const std::uint8_t* centre = &pixels[(360 * 1280 + 640) * 4];
    EXPECT_EQ(centre[0], 128);  // 0.5 rounds to nearest
    EXPECT_EQ(centre[1], 255);
    EXPECT_EQ(centre[2], 255);
    EXPECT_EQ(centre[3], 255);  // X8R8G8B8 has no alpha to write
    std::vector<float> floats;
    ASSERT_TRUE(fxplatform::read_surface(back.surface, width, height, floats));
    EXPECT_EQ(floats[(360 * 1280 + 640) * 4], 128.0f / 255.0f);
    ASSERT_TRUE(fxplatform::read_surface(scene_surface.surface, width, height, floats));
    EXPECT_EQ(floats[1], 2.5f);

    dev_->SetTexture(0, NULL);
    dev_->SetPixelShader(NULL);
    scene_shader->Release();
    final_shader->Release();
    scene->Release();
}

TEST_F(DeviceTest, SamplersFollowDirect3DStates)
{
    // A 4 x 1 texture of 0, 1, 10, 100; each target pixel samples at the u in its register.
    IDirect3DTexture9* source = nullptr;
    ASSERT_EQ(dev_->CreateTexture(4, 1, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &source, NULL), D3D_OK);
    std::vector<D3DXVECTOR4> texels = {{0, 0, 0, 1}, {1, 0, 0, 1}, {10, 0, 0, 1}, {100, 0, 0, 1}};
    ASSERT_EQ(D3DXFillTexture(source, fill_from_list, &texels), D3D_OK);
    IDirect3DTexture9* target = make_target(8, 1);
    SurfaceRef surface;
    target->GetSurfaceLevel(0, &surface.surface);
    IDirect3DPixelShader9* shader = make_shader(
        "int i = int(gl_FragCoord.x);\n"
        "color = i == 7 ? texture(s1, vec2(0.5)) : texture(s0, vec2(C[i].x, 0.5));");
    const float u[8][4] = {{0.25f}, {0.5f}, {-0.3f}, {1.7f}, {0.375f}, {-0.125f}, {0.26f}, {0}};
    dev_->SetPixelShaderConstantF(0, &u[0][0], 8);
    dev_->SetPixelShader(shader);
    dev_->SetTexture(0, source);

    // Never-set states: point filtering and wrapping (-0.125 wraps to the last texel).
    draw_quad(surface.surface, 8, 1);
    std::vector<float> rgba = read(target);
    const float point_wrap[7] = {1, 10, 10, 10, 1, 100, 1};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(rgba[i * 4], point_wrap[i]) << "pixel " << i;
    EXPECT_EQ(rgba[7 * 4 + 0], 0.0f);  // an empty sampler reads (0, 0, 0, 1)
    EXPECT_EQ(rgba[7 * 4 + 3], 1.0f);

    // The program's sampler-0 states: the mip filter must not hide a one-level texture.
    dev_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    dev_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    dev_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    draw_quad(surface.surface, 8, 1);
    rgba = read(target);
    // Half a texel off the centre gives exactly the mean; clamping repeats the edge texel.
    const float linear_clamp[7] = {0.5f, 5.5f, 0.0f, 100.0f, 1.0f, 0.0f, 0.54f};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(rgba[i * 4], linear_clamp[i]) << "pixel " << i;
    EXPECT_NEAR(rgba[6 * 4], linear_clamp[6], 1e-3);

    dev_->SetTexture(0, NULL);
    shader->Release();
    target->Release();
    source->Release();
}

TEST_F(DeviceTest, TopLeftIsUvZeroInBothPassesAndOnScreen)
{
    IDirect3DTexture9* quadrants = nullptr;
    ASSERT_EQ(dev_->CreateTexture(2, 2, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &quadrants, NULL), D3D_OK);
    ASSERT_EQ(D3DXFillTexture(quadrants, fill_with_centre, NULL), D3D_OK);
    IDirect3DTexture9* scene = make_target(1280, 720);
    SurfaceRef scene_surface, back;
    scene->GetSurfaceLevel(0, &scene_surface.surface);
    dev_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back.surface);
    IDirect3DPixelShader9* scene_shader = make_shader("color = texture(s1, uv);");
    IDirect3DPixelShader9* final_shader = make_shader("color = texture(s0, uv);");

    dev_->SetTexture(1, quadrants);
    dev_->SetPixelShader(scene_shader);
    draw_quad(scene_surface.surface, 1280, 720);
    std::vector<float> rgba = read(scene);
    EXPECT_EQ(rgba[0], 0.25f);  // row 0 of the read-back is the top row
    EXPECT_EQ(rgba[1], 0.25f);
    const std::size_t last = (719 * 1280 + 1279) * 4;
    EXPECT_EQ(rgba[last], 0.75f);
    EXPECT_EQ(rgba[last + 1], 0.75f);

    dev_->SetTexture(0, scene);
    dev_->SetPixelShader(final_shader);
    draw_quad(back.surface, 1280, 720);
    dev_->Present(NULL, NULL, NULL, NULL);
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(fxplatform::read_presented(dev_, width, height, pixels));
    EXPECT_EQ(pixels[0], 64);  // 0.25 * 255 rounded
    EXPECT_EQ(pixels[1], 64);
    EXPECT_EQ(pixels[last], 191);
    EXPECT_EQ(pixels[last + 1], 191);

    // On screen: the off-screen driver's surface keeps what Present drew; GL rows count upwards.
    std::uint8_t top_left[4] = {}, bottom_left[4] = {};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(0, 719, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, top_left);
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottom_left);
    EXPECT_EQ(top_left[0], 64);
    EXPECT_EQ(top_left[1], 64);
    EXPECT_EQ(bottom_left[0], 64);
    EXPECT_EQ(bottom_left[1], 191);

    // VPOS: the pixel index counted from the top-left corner.
    IDirect3DPixelShader9* vpos =
        make_shader("color = vec4(gl_FragCoord.xy, 0.0, 1.0);", "layout(pixel_center_integer) in vec4 gl_FragCoord;");
    dev_->SetPixelShader(vpos);
    draw_quad(scene_surface.surface, 1280, 720);
    rgba = read(scene);
    EXPECT_EQ(rgba[(3 * 1280 + 5) * 4 + 0], 5.0f);
    EXPECT_EQ(rgba[(3 * 1280 + 5) * 4 + 1], 3.0f);

    dev_->SetPixelShader(NULL);
    dev_->SetTexture(0, NULL);
    dev_->SetTexture(1, NULL);
    for (IUnknown* object : std::initializer_list<IUnknown*>{vpos, scene_shader, final_shader, scene, quadrants}) {
        object->Release();
    }
}

TEST_F(DeviceTest, ConstantsArriveInTheirRegistersAndOutliveShaderChanges)
{
    IDirect3DTexture9* target = make_target(224, 1);
    SurfaceRef surface;
    target->GetSurfaceLevel(0, &surface.surface);
    const std::string body = "color = C[int(gl_FragCoord.x)];";
    IDirect3DPixelShader9* first = make_shader(body);
    IDirect3DPixelShader9* second = make_shader(body + " color.w += 0.0;");

    std::vector<float> registers(224 * 4);
    for (int r = 0; r < 224; ++r) {
        const float value[4] = {(float)r, r + 0.25f, -(float)r, 1000.0f + r};
        std::memcpy(&registers[r * 4], value, sizeof value);
    }
    ASSERT_EQ(dev_->SetPixelShaderConstantF(0, registers.data(), 64), D3D_OK);  // what the program uploads
    ASSERT_EQ(dev_->SetPixelShaderConstantF(64, &registers[64 * 4], 160), D3D_OK);
    EXPECT_EQ(dev_->SetPixelShaderConstantF(200, registers.data(), 25), D3DERR_INVALIDCALL);

    dev_->SetPixelShader(first);
    draw_quad(surface.surface, 224, 1);
    EXPECT_EQ(read(target), registers);

    // A shader bound later sees the same registers; a later partial upload reaches both.
    const float c5[4] = {-1, -2, -3, -4};
    dev_->SetPixelShader(second);
    draw_quad(surface.surface, 224, 1);
    EXPECT_EQ(read(target), registers);
    dev_->SetPixelShaderConstantF(5, c5, 1);
    std::memcpy(&registers[5 * 4], c5, sizeof c5);
    draw_quad(surface.surface, 224, 1);
    EXPECT_EQ(read(target), registers);
    dev_->SetPixelShader(first);
    draw_quad(surface.surface, 224, 1);
    EXPECT_EQ(read(target), registers);

    dev_->SetPixelShader(NULL);
    first->Release();
    second->Release();
    target->Release();
}

TEST_F(DeviceTest, FilledNoiseIsFillNoisesSequenceRowByRow)
{
    IDirect3DTexture9* noise = nullptr;
    ASSERT_EQ(dev_->CreateTexture(32, 32, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &noise, NULL), D3D_OK);
    std::vector<NoiseCall> calls;
    ASSERT_EQ(D3DXFillTexture(noise, record_noise, &calls), D3D_OK);
    ASSERT_EQ(calls.size(), 1024u);
    std::vector<float> rgba = read(noise);
    for (int i = 0; i < 1024; ++i) {
        const NoiseCall& call = calls[i];
        ASSERT_EQ(call.centre.x, (i % 32 + 0.5f) / 32.0f);
        const int row = i / 32;  // the fill goes row by row from the top
        ASSERT_EQ(call.centre.y, ((float)row + 0.5f) / 32.0f);
        ASSERT_EQ(call.size.x, 1.0f / 32.0f);
        ASSERT_EQ(call.size.y, 1.0f / 32.0f);
        const float expected[4] = {call.out.x, call.out.y, call.out.z, call.out.w};
        // The bits themselves: -0 and 0 differ here. NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
        ASSERT_EQ(std::memcmp(&rgba[i * 4], expected, sizeof expected), 0) << "texel " << i;
    }
    noise->Release();
}

TEST_F(DeviceTest, WithoutPixelShaderStageZeroTextureOrWhite)
{
    IDirect3DTexture9* quadrants = nullptr;
    ASSERT_EQ(dev_->CreateTexture(2, 2, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &quadrants, NULL), D3D_OK);
    D3DXFillTexture(quadrants, fill_with_centre, NULL);
    IDirect3DTexture9* target = make_target(4, 4);
    SurfaceRef surface;
    target->GetSurfaceLevel(0, &surface.surface);

    draw_quad(surface.surface, 4, 4);
    std::vector<float> rgba = read(target);
    EXPECT_EQ(std::vector<float>(rgba.begin(), rgba.begin() + 4), std::vector<float>({1, 1, 1, 1}));

    dev_->SetTexture(0, quadrants);
    draw_quad(surface.surface, 4, 4);
    rgba = read(target);
    EXPECT_EQ(std::vector<float>(rgba.begin(), rgba.begin() + 4), std::vector<float>({0.25f, 0.25f, 0, 1}));

    // Counter-clockwise on screen is culled by default; clockwise is drawn.
    dev_->Clear(0, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0);
    dev_->SetTexture(0, NULL);
    const Vertex counter_clockwise[3] = {
        {-0.5f, -0.5f, 0, 1, 0, 0}, {-0.5f, 3.5f, 0, 1, 0, 0}, {3.5f, -0.5f, 0, 1, 0, 0}};
    dev_->BeginScene();
    dev_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter_clockwise, sizeof(Vertex));
    dev_->EndScene();
    rgba = read(target);
    EXPECT_EQ(rgba[0], 0.0f);
    const Vertex clockwise[3] = {counter_clockwise[0], counter_clockwise[2], counter_clockwise[1]};
    dev_->BeginScene();
    dev_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(Vertex));
    dev_->EndScene();
    rgba = read(target);
    EXPECT_EQ(rgba[0], 1.0f);

    quadrants->Release();
    target->Release();
}

TEST_F(DeviceTest, VerticesDrawnAgainFollowTheirTargetAndTheirBytes)
{
    // The device draws a repeated quad from where it put it last time; a new target size or new
    // bytes at the same address must still be seen.
    IDirect3DTexture9* large = make_target(64, 32);
    IDirect3DTexture9* small = make_target(16, 8);
    SurfaceRef large_surface, small_surface;
    large->GetSurfaceLevel(0, &large_surface.surface);
    small->GetSurfaceLevel(0, &small_surface.surface);
    IDirect3DPixelShader9* shader = make_shader("color = vec4(uv, 0.0, 1.0);");
    dev_->SetPixelShader(shader);
    Vertex quad[4] = {
        {-0.5f, -0.5f, 0, 1, 0, 0}, {15.5f, -0.5f, 0, 1, 1, 0}, {-0.5f, 7.5f, 0, 1, 0, 1}, {15.5f, 7.5f, 0, 1, 1, 1}};
    auto draw = [&](IDirect3DSurface9* target) {
        ASSERT_EQ(dev_->SetRenderTarget(0, target), D3D_OK);
        ASSERT_EQ(dev_->BeginScene(), D3D_OK);
        dev_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        dev_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(dev_->EndScene(), D3D_OK);
    };
    auto uv_at = [&](IDirect3DTexture9* target, int width, int x, int y) {
        std::vector<float> rgba = read(target);
        return std::make_pair(rgba[(y * width + x) * 4], rgba[(y * width + x) * 4 + 1]);
    };
    const auto corner = std::make_pair(15.5f / 16.0f, 7.5f / 8.0f);

    draw(large_surface.surface);
    EXPECT_EQ(uv_at(large, 64, 15, 7), corner);
    EXPECT_EQ(uv_at(large, 64, 16, 8), std::make_pair(0.0f, 0.0f)) << "the quad covers 16 x 8 pixels";
    draw(small_surface.surface);
    EXPECT_EQ(uv_at(small, 16, 15, 7), corner) << "the same quad on a smaller target";
    draw(small_surface.surface);
    EXPECT_EQ(uv_at(small, 16, 15, 7), corner);
    for (Vertex& v : quad) v.u = 1.0f - v.u;
    draw(small_surface.surface);
    EXPECT_EQ(uv_at(small, 16, 15, 7), std::make_pair(0.5f / 16.0f, 7.5f / 8.0f)) << "new bytes, same address";

    // Two quads in turn, many times round the device's vertex ring.
    Vertex other[4];
    std::memcpy(other, quad, sizeof quad);
    for (Vertex& v : other) v.v = 1.0f - v.v;
    for (int i = 0; i < 1200; ++i) {
        ASSERT_EQ(dev_->BeginScene(), D3D_OK);
        EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, i % 2 ? quad : other, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(dev_->EndScene(), D3D_OK);
    }
    EXPECT_EQ(uv_at(small, 16, 15, 7), std::make_pair(0.5f / 16.0f, 7.5f / 8.0f));
    draw(small_surface.surface);
    EXPECT_EQ(uv_at(small, 16, 0, 0), std::make_pair(15.5f / 16.0f, 0.5f / 8.0f));

    dev_->SetPixelShader(NULL);
    shader->Release();
    small->Release();
    large->Release();
}

TEST_F(DeviceTest, NewTexturesReadZerosHoweverTheyAreFirstUsed)
{
    // The device writes a new texture's zeros only when it is first used: they must show wherever
    // the program did not write, and never land on what it did. Each case gets a new target after
    // one of the same size was filled with sevens and released, so memory a driver hands out
    // again would show through if the zeros were skipped.
    IDirect3DPixelShader9* sevens = make_shader("color = vec4(7.0);");
    IDirect3DPixelShader9* sampler = make_shader("color = texture(s0, uv) + vec4(0.5);");
    const Vertex half[4] = {
        {-0.5f, -0.5f, 0, 1, 0, 0}, {3.5f, -0.5f, 0, 1, 1, 0}, {-0.5f, 7.5f, 0, 1, 0, 1}, {3.5f, 7.5f, 0, 1, 1, 1}};
    auto fresh_target = [&]() {
        IDirect3DTexture9* dirty = make_target(8, 8);
        SurfaceRef surface;
        dirty->GetSurfaceLevel(0, &surface.surface);
        dev_->SetPixelShader(sevens);
        draw_quad(surface.surface, 8, 8);
        EXPECT_EQ(read(dirty)[0], 7.0f);
        dirty->Release();
        return make_target(8, 8);
    };
    auto draw_half = [&](IDirect3DSurface9* target) {
        ASSERT_EQ(dev_->SetRenderTarget(0, target), D3D_OK);
        ASSERT_EQ(dev_->BeginScene(), D3D_OK);
        dev_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, half, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(dev_->EndScene(), D3D_OK);
    };
    const std::size_t last_texel = (8 * 8 - 1) * 4;  // its red

    IDirect3DTexture9* target = fresh_target();
    std::vector<float> rgba = read(target);
    EXPECT_EQ(rgba, std::vector<float>(rgba.size(), 0.0f)) << "read before any use";
    target->Release();

    target = fresh_target();
    SurfaceRef surface;
    target->GetSurfaceLevel(0, &surface.surface);
    dev_->SetPixelShader(sevens);
    draw_half(surface.surface);
    rgba = read(target);
    EXPECT_EQ(rgba[0], 7.0f);
    EXPECT_EQ(rgba[last_texel], 0.0f) << "the right half, never drawn";
    surface.surface->Release();
    surface.surface = nullptr;
    target->Release();

    target = fresh_target();
    target->GetSurfaceLevel(0, &surface.surface);
    ASSERT_EQ(dev_->SetRenderTarget(0, surface.surface), D3D_OK);
    dev_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF808080, 1.0f, 0);
    EXPECT_EQ(read(target)[last_texel], 128.0f / 255.0f) << "a whole clear sets every texel";
    surface.surface->Release();
    surface.surface = nullptr;
    target->Release();

    target = fresh_target();
    target->GetSurfaceLevel(0, &surface.surface);
    ASSERT_EQ(dev_->SetRenderTarget(0, surface.surface), D3D_OK);
    const D3DRECT corner = {0, 0, 1, 1};
    dev_->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    rgba = read(target);
    EXPECT_EQ(rgba[0], 1.0f);
    EXPECT_EQ(rgba[last_texel], 0.0f) << "outside the cleared rectangle";
    surface.surface->Release();
    surface.surface = nullptr;

    // Sampled before anything wrote it: zeros, plus the shader's half.
    IDirect3DTexture9* unread = fresh_target();
    target->GetSurfaceLevel(0, &surface.surface);
    dev_->SetTexture(0, unread);
    dev_->SetPixelShader(sampler);
    draw_quad(surface.surface, 8, 8);
    rgba = read(target);
    EXPECT_EQ(rgba, std::vector<float>(rgba.size(), 0.5f));

    dev_->SetTexture(0, NULL);
    dev_->SetPixelShader(NULL);
    unread->Release();
    target->Release();
    sampler->Release();
    sevens->Release();
}
