// Compiled shaders drawn by the OpenGL device: the corpus's pixel values, samplers bound the
// Direct3D 9 way, projective sampling, and the same picture with the SPIR-V optimiser on or off.
#include <SDL.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "compiler_test_util.h"
#include "corpus.h"
#include "linux_platform.h"
#include "readback.h"

namespace {

const UINT SIZE = 8;

const DWORD FVF_TEX3 = 0x300;  // D3DFVF_TEX3: three sets of texture coordinates

// Set k of the texture coordinates holds uv + k; the viewer's quad carries set 0 only.
struct Vertex {
    float x, y, z, rhw;
    float uv[3][2];
};

template <typename T>
void release(T*& object)
{
    if (object) object->Release();
    object = nullptr;
}

// Each texel's fill: its centre coordinate, and a tag telling textures apart.
VOID WINAPI fill_with_centre(D3DXVECTOR4* out, const D3DXVECTOR2* centre, const D3DXVECTOR2*, LPVOID tag)
{
    *out = {centre->x, centre->y, *static_cast<float*>(tag), 1.0f};
}

class Render : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window_ = SDL_CreateWindow("compiler test", 0, 0, 1280, 720, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window_, nullptr) << SDL_GetError();
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp = fxplatform::offscreen_present_params();
        HWND window = fxplatform::window_handle(SDL_GetWindowID(window_));
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &pp, &dev_),
                  D3D_OK);
    }

    void TearDown() override
    {
        release(dev_);
        release(d3d_);
        EXPECT_EQ(fxplatform::live_device_objects(), 0);
        if (window_) SDL_DestroyWindow(window_);
        SDL_Quit();
    }

    // Register i holds (i, i + 0.25, i + 0.5, i + 0.75) unless `settings` say otherwise.
    void set_constants(const std::vector<ConstantSetting>& settings = {})
    {
        std::vector<float> c(224 * 4);
        for (int i = 0; i < 224; ++i) {
            for (int k = 0; k < 4; ++k) c[i * 4 + k] = (float)i + 0.25f * (float)k;
        }
        for (const ConstantSetting& s : settings) {
            for (int k = 0; k < 4; ++k) c[s.reg * 4 + k] = s.value[k];
        }
        ASSERT_EQ(dev_->SetPixelShaderConstantF(0, c.data(), 224), D3D_OK);
    }

    // Compiles, draws the viewer's quad over a width x height float target, reads it back.
    std::vector<float> draw(const std::string& source, const std::string& entry, UINT width = SIZE, UINT height = SIZE,
                            bool optimise = false, DWORD texcoords = D3DFVF_TEX1)
    {
        fxcompiler::TranslateOptions options;
        options.optimise = optimise;
        fxcompiler::CompileOutput out = fxcompiler::compile_source(source, "main.fx", entry, "ps_3_0", {}, options);
        EXPECT_EQ(out.result, 0) << fxcompiler::format_diagnostics(out.diagnostics, "main.fx");
        if (out.result != 0) return {};
        IDirect3DPixelShader9* shader = nullptr;
        EXPECT_EQ(dev_->CreatePixelShader((const DWORD*)out.code.data(), &shader), D3D_OK) << out.blob.glsl;
        IDirect3DTexture9* target = nullptr;
        EXPECT_EQ(dev_->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A32B32G32R32F, D3DPOOL_DEFAULT,
                                      &target, NULL),
                  D3D_OK);
        std::vector<float> rgba;
        if (shader && target) {
            IDirect3DSurface9* surface = nullptr;
            target->GetSurfaceLevel(0, &surface);
            const float w = (float)width - 0.5f, h = (float)height - 0.5f;
            Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, {}}, {w, -0.5f, 0, 1, {}}, {-0.5f, h, 0, 1, {}}, {w, h, 0, 1, {}}};
            for (int i = 0; i < 4; ++i) {
                for (int k = 0; k < 3; ++k) {
                    quad[i].uv[k][0] = (float)(i & 1) + (float)k;
                    quad[i].uv[k][1] = (float)(i >> 1) + (float)k;
                }
            }
            dev_->SetRenderTarget(0, surface);
            dev_->BeginScene();
            dev_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            dev_->SetPixelShader(shader);
            dev_->SetFVF(D3DFVF_XYZRHW | texcoords);
            EXPECT_EQ(dev_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
            dev_->EndScene();
            dev_->SetPixelShader(NULL);
            int read_w = 0, read_h = 0;
            EXPECT_TRUE(fxplatform::read_texture(target, 0, read_w, read_h, rgba));
            release(surface);
        }
        release(target);
        release(shader);
        return rgba;
    }

    IDirect3DTexture9* filled_texture(float tag)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(dev_->CreateTexture(SIZE, SIZE, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
        if (texture) D3DXFillTexture(texture, fill_with_centre, &tag);
        return texture;
    }

    SDL_Window* window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* dev_ = nullptr;
};

class RenderCorpus : public Render, public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(RenderCorpus, GivesDirect3D9sPixels)
{
    const CorpusCase& c = GetParam();
    set_constants(c.constant_settings);
    std::vector<float> rgba = draw(c.source, c.entry);
    ASSERT_EQ(rgba.size(), SIZE * SIZE * 4);
    for (const PixelExpectation& p : c.pixels) {
        const float* got = &rgba[(p.y * SIZE + p.x) * 4];
        for (int k = 0; k < 4; ++k) {
            std::ostringstream where;
            where << "pixel (" << p.x << ", " << p.y << ") channel " << k;
            if (std::isnan(p.rgba[k])) EXPECT_TRUE(std::isnan(got[k])) << where.str() << ": " << got[k];
            else if (std::isinf(p.rgba[k])) EXPECT_EQ(got[k], p.rgba[k]) << where.str();
            else EXPECT_NEAR(got[k], p.rgba[k], c.tolerance) << where.str();
        }
    }
}

std::vector<CorpusCase> rendered_cases()
{
    std::vector<CorpusCase> cases;
    for (const CorpusCase& c : load_corpus()) {
        if (!c.pixels.empty()) cases.push_back(c);
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shaders, RenderCorpus, ::testing::ValuesIn(rendered_cases()),
                         [](const ::testing::TestParamInfo<CorpusCase>& info) { return info.param.name; });

// A shader the compiler accepts builds on the device: the corpus, the fuzzer's other seed and every
// way of receiving the pixel position, read or not.
TEST_F(Render, EveryAcceptedShaderCreatesAPixelShader)
{
    std::vector<std::pair<std::string, std::string>> shaders;  // source, entry
    for (const CorpusCase& c : load_corpus()) shaders.push_back({c.source, c.entry});
    std::ifstream file(FXCOMPILER_EXAMPLE);
    std::stringstream example;
    example << file.rdbuf();
    ASSERT_FALSE(example.str().empty());
    shaders.push_back({example.str(), "ps_main"});
    shaders.push_back({example.str(), "ps_main_f"});
    for (const char* semantic : {"SV_POSITION", "SV_Position", "POSITION", "POSITION0", "VPOS", "POSITION1"}) {
        for (const char* body : {"return uv.xyxy;", "return p;", "return p.xyyx * uv.x;"}) {
            std::string parameters = std::string("float2 uv : TEXCOORD0, float4 p : ") + semantic;
            shaders.push_back({pixel_shader("", body, parameters), "ps_main"});
            shaders.push_back(
                {pixel_shader("struct In { float4 p : " + std::string(semantic) + "; float2 uv : TEXCOORD0; };",
                              std::string("float4 p = i.p; float2 uv = i.uv; ") + body, "In i"),
                 "ps_main"});
        }
    }
    int accepted = 0;
    for (const auto& shader : shaders) {
        fxcompiler::CompileOutput out = compile_text(shader.first, shader.second);
        if (out.result != 0) continue;
        ++accepted;
        IDirect3DPixelShader9* created = nullptr;
        EXPECT_EQ(dev_->CreatePixelShader((const DWORD*)out.code.data(), &created), D3D_OK) << shader.first << "\n---\n"
                                                                                            << out.blob.glsl;
        release(created);
    }
    EXPECT_GT(accepted, 80);
}

TEST_F(Render, UnboundSamplersTakeUnitsInDeclarationOrderOfUse)
{
    IDirect3DTexture9* stage0 = filled_texture(10.0f);
    IDirect3DTexture9* stage1 = filled_texture(11.0f);
    dev_->SetTexture(0, stage0);
    dev_->SetTexture(1, stage1);
    // "unused" is never read, so "second" is s0; "bound" keeps s1.
    std::vector<float> rgba = draw(
        "sampler2D unused; sampler2D second; sampler2D bound : register(s1);\n"
        "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n"
        "{ return float4(tex2D(second, uv).z, tex2D(bound, uv).z, 0, 1); }\n",
        "ps_main");
    ASSERT_EQ(rgba.size(), SIZE * SIZE * 4);
    EXPECT_EQ(rgba[0], 10.0f);
    EXPECT_EQ(rgba[1], 11.0f);
    dev_->SetTexture(0, NULL);
    dev_->SetTexture(1, NULL);
    release(stage0);
    release(stage1);
}

// The viewer's quad gives TEXCOORD0 only; a quad with three sets shows each element and row of
// an array or matrix input reading its own register, as parameters and in input structs.
TEST_F(Render, ArrayAndMatrixInputsReadConsecutiveRegisters)
{
    const char* const shaders[] = {
        "float4 ps_main(float2 tc[3] : TEXCOORD0) : COLOR0 { return float4(tc[1], tc[2]); }",
        "struct In { float2 uv : TEXCOORD0; float2 tc[2] : TEXCOORD1; };\n"
        "float4 ps_main(In i) : COLOR0 { return float4(i.tc[0], i.tc[1]); }",
        "float4 ps_main(float2x2 m : TEXCOORD1) : COLOR0 { return float4(m[0], m._21_22); }",
        "struct In { float2x2 m[1] : TEXCOORD1; };\n"
        "float4 ps_main(In i) : COLOR0 { float4 r = 0; for (int k = 0; k < 2; ++k) r = float4(r.zw, i.m[0][k]);"
        " return r; }",
    };
    for (const char* shader : shaders) {
        SCOPED_TRACE(shader);
        std::vector<float> rgba = draw(shader, "ps_main", SIZE, SIZE, false, FVF_TEX3);
        ASSERT_EQ(rgba.size(), SIZE * SIZE * 4);
        const float* p = &rgba[(3 * SIZE + 5) * 4];  // pixel (5, 3): uv = (0.6875, 0.4375)
        EXPECT_FLOAT_EQ(p[0], 1.6875f);
        EXPECT_FLOAT_EQ(p[1], 1.4375f);
        EXPECT_FLOAT_EQ(p[2], 2.6875f);
        EXPECT_FLOAT_EQ(p[3], 2.4375f);
    }
}

TEST_F(Render, ProjectiveAndLodSamplingReadTheRightTexels)
{
    IDirect3DTexture9* texture = filled_texture(0.0f);
    dev_->SetTexture(0, texture);
    // Point sampling (Direct3D's default): texel centres come back exactly.
    std::vector<float> rgba = draw(
        "sampler2D s;\nfloat4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n"
        "{ return float4(tex2Dproj(s, float4(uv, 0, 2)).x, tex2Dlod(s, float4(uv, 0, 0)).x,"
        " tex2Dbias(s, float4(uv, 0, 0)).y, tex2Dgrad(s, uv, 0, 0).y); }\n",
        "ps_main");
    ASSERT_EQ(rgba.size(), SIZE * SIZE * 4);
    const float* p = &rgba[(3 * SIZE + 5) * 4];  // pixel (5, 3): uv = (0.6875, 0.4375)
    EXPECT_EQ(p[0], 2.5f / SIZE);                // uv / 2 falls in texel 2
    EXPECT_EQ(p[1], 5.5f / SIZE);
    EXPECT_EQ(p[2], 3.5f / SIZE);
    EXPECT_EQ(p[3], 3.5f / SIZE);
    dev_->SetTexture(0, NULL);
    release(texture);
}

TEST_F(Render, TheOptimiserChangesNoPixel)
{
    std::ifstream file(FXCOMPILER_RAYMARCH);
    std::stringstream source;
    source << file.rdbuf();
    ASSERT_FALSE(source.str().empty());
    std::vector<ConstantSetting> time = {{0, {3.7f, 0, 0, 0}}};
    set_constants(time);
    for (const char* entry : {"ps_main", "ps_main_f"}) {
        std::vector<float> plain = draw(source.str(), entry, 64, 36, false);
        std::vector<float> optimised = draw(source.str(), entry, 64, 36, true);
        ASSERT_EQ(plain.size(), optimised.size());
        ASSERT_FALSE(plain.empty());
        float worst = 0;
        for (std::size_t i = 0; i < plain.size(); ++i) worst = std::max(worst, std::fabs(plain[i] - optimised[i]));
        EXPECT_LT(worst, 1e-4) << entry;
    }
}

// The classic hash frac(sin(x) * 43758.5453) over many pixels, against ps_3_0's range reduction
// computed here in float: r = frac(x * 0.159154937 + 0.5) * 6.28318548 - 3.14159274. The argument
// is one rounded product, the same on both sides.
TEST_F(Render, TheSineHashMatchesTheRangeReducedFormula)
{
    const UINT w = 64, h = 36;
    std::vector<float> rgba = draw(
        "float4 ps_main(float2 uv : TEXCOORD0, float2 pos : VPOS) : COLOR0\n"
        "{ return frac(sin((pos.x + pos.y * 64) * 12.9898) * 43758.5453); }\n",
        "ps_main", w, h);
    ASSERT_EQ(rgba.size(), w * h * 4);
    auto apart = [](float a, float b) {
        float d = std::fabs(a - b);
        return std::min(d, 1 - d) > 0.02f;  // values near 0 and 1 are neighbours
    };
    int reduced_misses = 0, plain_misses = 0;
    for (UINT i = 0; i < w * h; ++i) {
        volatile float x = (float)i * 12.9898f;
        volatile float t = x * 0.159154937f;
        t = t + 0.5f;
        volatile float r = (t - std::floor(t)) * 6.28318548f;
        r = r - 3.14159274f;
        float s = std::sin((float)r) * 43758.5453f;
        float plain = std::sin((float)x) * 43758.5453f;
        reduced_misses += apart(rgba[i * 4], s - std::floor(s));
        plain_misses += apart(rgba[i * 4], plain - std::floor(plain));
    }
    EXPECT_LT(reduced_misses, (int)(w * h / 100)) << "of " << w * h;
    EXPECT_GT(plain_misses, (int)(w * h / 4)) << "the test would not tell the reduction from none";
}

// Every intrinsic ps_3_0 accepts either builds on the device or is refused with its place.
TEST_F(Render, EveryIntrinsicBuildsOrIsRefusedWithItsPlace)
{
    const char* const calls[] = {"abs(v)",
                                 "acos(v)",
                                 "all(v)",
                                 "any(v)",
                                 "asin(v)",
                                 "atan(v)",
                                 "atan2(v, v.yxwz)",
                                 "ceil(v)",
                                 "clamp(v, 0.2, 0.8)",
                                 "{ clip(v - 0.5); return v; }",
                                 "cos(v)",
                                 "cosh(v)",
                                 "float4(cross(v.xyz, v.zyx), 1)",
                                 "D3DCOLORtoUBYTE4(v)",
                                 "ddx(v)",
                                 "ddy(v)",
                                 "degrees(v)",
                                 "determinant(m)",
                                 "distance(v, v.yxwz)",
                                 "dot(v, v)",
                                 "dst(v, v.yxwz)",
                                 "exp(v)",
                                 "exp2(v)",
                                 "faceforward(v, v.yxwz, v)",
                                 "floor(v)",
                                 "fmod(v, 0.3)",
                                 "frac(v)",
                                 "{ float4 e; float4 f = frexp(v, e); return f + e; }",
                                 "fwidth(v)",
                                 "isfinite(v)",
                                 "isinf(v)",
                                 "isnan(v)",
                                 "ldexp(v, v)",
                                 "length(v)",
                                 "lerp(v, v.yxwz, 0.3)",
                                 "lit(v.x, v.y, v.z)",
                                 "log(v)",
                                 "log10(v)",
                                 "log2(v)",
                                 "max(v, 0.5)",
                                 "min(v, 0.5)",
                                 "{ float4 i; float4 f = modf(v * 3, i); return f + i; }",
                                 "mul(v, m)",
                                 "mul(m, v)",
                                 "normalize(v)",
                                 "pow(v, v)",
                                 "radians(v)",
                                 "reflect(v, v.yxwz)",
                                 "float4(refract(v.xyz, v.zyx, 0.5), 1)",
                                 "round(v)",
                                 "rsqrt(v)",
                                 "saturate(v)",
                                 "sign(v)",
                                 "sin(v)",
                                 "{ float4 a, b; sincos(v, a, b); return a + b; }",
                                 "sinh(v)",
                                 "smoothstep(0.2, 0.8, v)",
                                 "sqrt(v)",
                                 "step(0.5, v)",
                                 "tan(v)",
                                 "tanh(v)",
                                 "transpose(m)[1]",
                                 "trunc(v)",
                                 "noise(v)",
                                 "tex1D(s1, v.x)",
                                 "tex1D(s1, v.x, 0, 0)",
                                 "tex1Dbias(s1, v)",
                                 "tex1Dgrad(s1, v.x, 0, 0)",
                                 "tex1Dlod(s1, v)",
                                 "tex1Dproj(s1, v)",
                                 "tex2D(s2, v.xy)",
                                 "tex2D(s2, v.xy, ddx(v.xy), ddy(v.xy))",
                                 "tex2Dbias(s2, v)",
                                 "tex2Dgrad(s2, v.xy, ddx(v.xy), ddy(v.xy))",
                                 "tex2Dlod(s2, v)",
                                 "tex2Dproj(s2, v)",
                                 "tex3D(s3, v.xyz)",
                                 "tex3D(s3, v.xyz, ddx(v.xyz), ddy(v.xyz))",
                                 "tex3Dbias(s3, v)",
                                 "tex3Dgrad(s3, v.xyz, ddx(v.xyz), ddy(v.xyz))",
                                 "tex3Dlod(s3, v)",
                                 "tex3Dproj(s3, v)",
                                 "texCUBE(sc, v.xyz)",
                                 "texCUBE(sc, v.xyz, ddx(v.xyz), ddy(v.xyz))",
                                 "texCUBEbias(sc, v)",
                                 "texCUBEgrad(sc, v.xyz, ddx(v.xyz), ddy(v.xyz))",
                                 "texCUBElod(sc, v)",
                                 "texCUBEproj(sc, v)"};
    int built = 0;
    for (const char* call : calls) {
        std::string body =
            call[0] == '{' ? std::string(call + 1, std::strlen(call) - 2) : "return " + std::string(call) + ";";
        std::string source = std::string(std::strstr(call, "s1") ? "sampler1D s1;" : "") +
            "sampler2D s2; sampler3D s3; samplerCUBE sc;\n"
            "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n{\n"
            "    float4 v = float4(uv, uv.x * 0.5 - 0.7, 0.25);\n"
            "    float4x4 m = float4x4(v, v.yxwz, v.zwxy, v.wzyx);\n"
            "    " +
            body + "\n}\n";
        fxcompiler::CompileOutput out = fxcompiler::compile_source(source, "main.fx", "ps_main", "ps_3_0", {}, {});
        if (out.result != 0) {
            ASSERT_FALSE(out.diagnostics.empty()) << call;
            const fxcompiler::Diagnostic& d = out.diagnostics.front();
            EXPECT_TRUE(d.line > 0 && d.column > 0) << call << ": " << d.text;
            std::printf("refused: %s: %s\n", call, d.text.c_str());
            continue;
        }
        IDirect3DPixelShader9* shader = nullptr;
        EXPECT_EQ(dev_->CreatePixelShader((const DWORD*)out.code.data(), &shader), D3D_OK) << call << "\n"
                                                                                           << out.blob.glsl;
        release(shader);
        ++built;
    }
    // Only noise and the 1D samplers are refused.
    EXPECT_EQ(built, (int)(sizeof calls / sizeof calls[0]) - 7);
}

}  // namespace
