// The OpenGL device's objects as the other device files see them: the Direct3D object, the
// device, textures with their level surfaces, the back buffer, pixel shaders and the formats.
//
// Storage convention: every colour buffer keeps Direct3D's top row as GL row 0, so texture
// coordinates mean the same texel as in Direct3D and a render target can be sampled as is.
// Pre-transformed positions therefore map straight to GL window coordinates (no y flip);
// Present flips once when it copies the back buffer into the window.
//
// Lifetimes follow Direct3D 9: the program's references are counted apart from the device's
// own binding references, and every object the program holds keeps one reference to the device.
#pragma once

#include <epoxy/gl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "linux_platform.h"
#include "shader_blob.h"

struct SDL_Window;

namespace fxplatform {
namespace gl_device {

const UINT MAX_SAMPLERS = 16;          // s0..s15 in ps_3_0
const UINT MAX_FLOAT_CONSTANTS = 224;  // c0..c223 in ps_3_0
const UINT MAX_TEXCOORDS = 8;
const UINT SAMPLER_STATE_COUNT = D3DSAMP_DMAPOFFSET + 1;

// Counts every live device object in the process, so tests can see that nothing leaked.
extern int live_objects;

struct FormatInfo {
    D3DFORMAT format;
    GLenum internal_format;
    UINT channels;   // float components the fill and read-back see as stored: 1 or 4
    bool eight_bit;  // stored as unsigned bytes in B, G, R, A order of significance
    bool has_alpha;  // X8R8G8B8 reads alpha 1 and never writes it (stored as RGB8)
    bool renderable;
};

// Null for formats this device does not offer.
const FormatInfo* find_format(D3DFORMAT format);

// One vertex as the GL vertex stage reads it: the pre-transformed position already in clip
// space, then every input a Direct3D pixel shader may read, with Direct3D's defaults filled in.
struct GpuVertex {
    float position[4];
    float color[2][4];
    float texcoord[MAX_TEXCOORDS][4];
};

class Device;
class Texture;

// Binding references kept by the device: they keep an object alive without showing in the
// program's reference count.
class Surface : public IDirect3DSurface9 {
public:
    Device* device() const { return device_; }
    virtual Texture* container() const = 0;  // null for the back buffer
    virtual void bind() = 0;
    virtual void unbind() = 0;
    // The colour attachment; a texture level or the back buffer's renderbuffer.
    virtual void attach_color() const = 0;

    UINT width = 0;
    UINT height = 0;
    const FormatInfo* format = nullptr;
    GLuint framebuffer = 0;   // made when first used as a render target
    bool mask_alpha = false;  // alpha stored but not Direct3D's to write

protected:
    explicit Surface(Device* device) : device_(device) {}
    ~Surface() = default;
    Device* device_;
};

class LevelSurface final : public Surface {
public:
    LevelSurface(Device* device, Texture* texture, UINT level);
    ~LevelSurface() = default;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    Texture* container() const override { return texture_; }
    UINT level() const { return level_; }
    void bind() override;
    void unbind() override;
    void attach_color() const override;

private:
    Texture* texture_;
    UINT level_;
};

class BackBuffer final : public Surface {
public:
    explicit BackBuffer(Device* device) : Surface(device) {}
    ULONG refs() const { return refs_; }
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    Texture* container() const override { return nullptr; }
    void bind() override {}
    void unbind() override {}
    void attach_color() const override;

    GLuint renderbuffer = 0;

private:
    ULONG refs_ = 0;
};

class Texture final : public IDirect3DTexture9 {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format, D3DPOOL pool,
            GLuint name);
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;

    void bind() { ++binds_; }
    void unbind();

    Device* device() const { return device_; }
    GLuint name() const { return name_; }
    UINT width(UINT level) const;
    UINT height(UINT level) const;
    UINT levels() const { return (UINT)surfaces_.size(); }
    DWORD usage() const { return usage_; }
    D3DPOOL pool() const { return pool_; }
    const FormatInfo* format() const { return format_; }
    LevelSurface* surface(UINT level) const { return surfaces_[level].get(); }

    // Levels not written since creation read as zeros. They are written lazily, on first use, so a
    // new render target the program clears anyway costs no clear of its own.
    UINT unset_levels() const { return unset_levels_; }
    void level_set(UINT level) { unset_levels_ &= ~(1u << level); }
    void all_set() { unset_levels_ = 0; }

private:
    ~Texture();
    void destroy();

    Device* device_;
    ULONG refs_ = 1;
    ULONG binds_ = 0;
    UINT width_;
    UINT height_;
    DWORD usage_;
    const FormatInfo* format_;
    D3DPOOL pool_;
    GLuint name_;
    UINT unset_levels_;
    std::vector<std::unique_ptr<LevelSurface>> surfaces_;
};

struct ShaderSampler {
    UINT unit;
    SamplerType type;
};

class PixelShader final : public IDirect3DPixelShader9 {
public:
    PixelShader(Device* device, GLuint program);
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    void bind() { ++binds_; }
    void unbind();
    Device* device() const { return device_; }

    GLuint program;
    GLint constants_location = -1;
    UINT constant_count = 0;
    std::uint64_t uploaded_version = 0;  // the device's constants last sent to this program
    std::vector<ShaderSampler> samplers;

private:
    ~PixelShader();
    void destroy();

    Device* device_;
    ULONG refs_ = 1;
    ULONG binds_ = 0;
};

class Direct3D final : public IDirect3D9 {
public:
    Direct3D();
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                           D3DPRESENT_PARAMETERS* pPresentationParameters,
                                           IDirect3DDevice9** ppReturnedDeviceInterface) override;

private:
    ~Direct3D();
    ULONG refs_ = 1;
};

// What CreateDevice settled from the presentation parameters.
struct DeviceSetup {
    std::uint32_t window_id;
    void* context;  // SDL_GLContext
    UINT width;
    UINT height;
    D3DFORMAT back_buffer_format;
    GLenum depth_format;  // 0 without an automatic depth buffer
    GLenum depth_attachment;
    int swap_interval;
    // The context's reset status where it reports resets, else null.
    GLenum (*reset_status)();
};

// A context for the window with the setup's swap interval, filling in its context and reset
// status; false with a report when there is none.
bool create_context(SDL_Window* window, DeviceSetup& setup);

class Device final : public IDirect3DDevice9 {
public:
    Device(Direct3D* d3d, const DeviceSetup& setup);
    bool initialise();  // GL objects; false leaves the device to be released

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                            IDirect3DSurface9** ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, IDirect3DTexture9** ppTexture,
                                            HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                                    DWORD Stencil) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                              const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD FVF) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* pShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData,
                                                      UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                                      const RGNDATA* pDirtyRegion) override;

    // Makes this device's context current; false when its window is gone (then no GL call may follow).
    bool make_current();
    void child_created() { ++children_; }
    void child_destroyed();
    // Forgets cached GL bindings of an object about to be deleted.
    void forget_texture(GLuint name);
    void forget_program(GLuint program);
    void forget_framebuffer(GLuint framebuffer);

    GLuint framebuffer_for(Surface* surface);  // 0 when the surface cannot be rendered to
    void bind_texture_unit(UINT unit, GLuint name);
    // Binds a texture to be updated or read through GL_TEXTURE_2D of the active unit.
    void select_texture(GLuint name);
    // Writes the zeros of a texture's unset levels before anything reads them or draws into them.
    void set_levels(Texture* texture);
    // New shaders or texture contents: what a frame costs is not known until one has run again.
    void cost_changed()
    {
        cost_changed_ = true;
        watch_frame_ = true;
    }
    BackBuffer& back_buffer() { return back_buffer_; }
    const DeviceSetup& setup() const { return setup_; }
    GLuint depth_renderbuffer() const { return depth_renderbuffer_; }
    SDL_Window* window() const;
    void simulate_reset(int checks) { simulated_reset_checks_ = checks + 1; }

private:
    ~Device();
    void drop_bindings();
    void delete_gl_objects();
    void finish();
    void forget_gl_state();
    void set_default_sampler_states();
    bool context_was_reset();
    GLenum reset_status();
    void apply_sampler(UINT sampler);
    void use_render_target();
    void bind_draw_framebuffer(GLuint framebuffer);
    void bind_textures(const PixelShader* shader, const Texture* target_texture);
    void bind_sampler_texture(UINT unit, const Texture* texture, const Texture* target_texture);
    bool create_fixed_function();
    enum class Streamed { Ready, NoMemory, GaveWay };
    Streamed stream_vertices(const unsigned char* data, UINT count, UINT stride, GLint& first);
    bool reuse_vertices(const unsigned char* data, UINT count, UINT stride, GLint& first) const;
    void keep_vertices(const unsigned char* data, UINT count, UINT stride, GLint first);
    bool create_vertex_buffer(GLsizeiptr size);
    bool reads_drawn_target(const PixelShader* shader) const;
    void set_drawn_levels(const PixelShader* shader);
    bool finish_drawing();
    void time_frame();

    Direct3D* d3d_;
    DeviceSetup setup_;
    ULONG refs_ = 1;
    ULONG children_ = 0;
    bool dropping_ = false;
    bool in_scene_ = false;
    bool lost_ = false;
    int simulated_reset_checks_ = 0;  // > 0: the reset status says "reset" until it counts down
    bool drawn_since_wait_ = false;
    // A frame is watched (its drawing waited for in slices, so a quit is heard) unless the one
    // before it ran quick and brought nothing new: the steady frame waits for nothing.
    bool watch_frame_ = true;
    bool cost_changed_ = true;
    std::chrono::steady_clock::time_point frame_start_{};  // the frame's first BeginScene
    DWORD fvf_ = 0;

    BackBuffer back_buffer_;
    Surface* render_target_ = nullptr;
    Texture* textures_[MAX_SAMPLERS] = {};
    PixelShader* shader_ = nullptr;
    float constants_[MAX_FLOAT_CONSTANTS][4] = {};
    std::uint64_t constants_version_ = 1;
    DWORD sampler_states_[MAX_SAMPLERS][SAMPLER_STATE_COUNT] = {};

    // Per unit, the states as set, and the same without mipmapping for one-level textures: equal
    // results, and GL skips the second level fetch.
    GLuint samplers_[MAX_SAMPLERS][2] = {};
    GLuint bound_samplers_[MAX_SAMPLERS] = {};
    GLuint depth_renderbuffer_ = 0;
    GLuint vertex_array_ = 0;
    GLuint vertex_buffer_ = 0;
    GLsizeiptr vertex_buffer_size_ = 0;
    GLsizeiptr vertex_buffer_used_ = 0;
    bool persistent_vertices_ = false;  // mapped once for good, where GL allows it
    unsigned char* vertex_memory_ = nullptr;
    // The last draw's vertices as given, and where the ring holds them: the same quad drawn again
    // (both passes, every frame) is drawn from there, so the ring never laps in a steady frame.
    struct KeptVertices {
        UINT bytes = 0;  // 0: none kept
        UINT count = 0;
        UINT stride = 0;
        DWORD fvf = 0;
        UINT target_width = 0;
        UINT target_height = 0;
        GLint first = 0;
        unsigned char data[256];
    } kept_vertices_;
    GLuint scratch_framebuffer_ = 0;  // clears new textures
    // Drawing without a pixel shader: stage 0's default, texture times diffuse colour.
    GLuint fixed_function_ = 0;
    GLint fixed_function_has_texture_ = -1;
    int fixed_function_texture_bound_ = -1;
    bool mirror_once_ = false;
    bool anisotropy_ = false;

    // What GL has bound, to skip redundant calls.
    GLuint bound_framebuffer_ = ~0u;
    GLuint bound_program_ = ~0u;
    GLuint bound_textures_[MAX_SAMPLERS] = {};
    GLenum active_unit_ = GL_TEXTURE0;
    bool color_mask_alpha_ = true;
    UINT viewport_width_ = 0;
    UINT viewport_height_ = 0;
};

// Builds a GL program from a vertex and a fragment source; 0 on failure, with the log sent to
// the debugger output.
GLuint link_program(const char* vertex_source, const char* fragment_source);

// The vertex stage that writes every fragment input the given shader reads.
std::string vertex_stage_for(const std::vector<ShaderInput>& inputs);

}  // namespace gl_device
}  // namespace fxplatform
