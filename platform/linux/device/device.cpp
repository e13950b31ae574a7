// IDirect3DDevice9 over OpenGL: the device's lifetime and GL set-up, the back buffer, render
// targets, Clear, scenes, texture and shader bindings, sampler states, constants, drawing of
// pre-transformed vertices with Direct3D's pixel-centre rule, and Present.
#include <SDL.h>

#include <cmath>
#include <cstring>

#include "device_internal.h"

namespace fxplatform {
namespace gl_device {

namespace {

const DWORD FVF_POSITION_MASK = 0x400E;
const DWORD FVF_XYZRHW_VALUE = D3DFVF_XYZRHW;
const DWORD FVF_DIFFUSE = 0x040;
const DWORD FVF_SPECULAR = 0x080;
const DWORD FVF_TEXCOUNT_MASK = 0xF00;
const DWORD FVF_TEXCOUNT_SHIFT = 8;
// Bits 16 and up give each texture coordinate set's size; all zero means two floats each.
const DWORD FVF_SUPPORTED = FVF_XYZRHW_VALUE | FVF_DIFFUSE | FVF_SPECULAR | FVF_TEXCOUNT_MASK;

const DWORD FIRST_VERTEX_SAMPLER = 256;  // displacement map and vertex texture samplers
const DWORD LAST_VERTEX_SAMPLER = 260;

const GLsizeiptr VERTEX_BUFFER_SIZE = 2048 * sizeof(GpuVertex);
const GLuint64 DRAWING_WAIT_SLICE_NS = 50000000;
// A frame quicker than this lets the next one run unwatched: if that one turns out slow, a quit
// is heard once it ends, and the frame after is watched again.
const std::chrono::milliseconds QUICK_FRAME(250);
const UINT MAX_DRAW_VERTICES = 1u << 24;
const GLuint ATTRIBUTE_COUNT = 3 + MAX_TEXCOORDS;

// The bytes of one vertex the layout gives (checked by the draw).
UINT vertex_size(DWORD fvf)
{
    const UINT texcoords = (fvf & FVF_TEXCOUNT_MASK) >> FVF_TEXCOUNT_SHIFT;
    return 16 + ((fvf & FVF_DIFFUSE) ? 4 : 0) + ((fvf & FVF_SPECULAR) ? 4 : 0) + 8 * texcoords;
}

void color_to_float(D3DCOLOR color, float out[4])
{
    out[0] = (float)((color >> 16) & 0xFF) / 255.0f;
    out[1] = (float)((color >> 8) & 0xFF) / 255.0f;
    out[2] = (float)(color & 0xFF) / 255.0f;
    out[3] = (float)((color >> 24) & 0xFF) / 255.0f;
}

}  // namespace

// ---- Lifetime -------------------------------------------------------------------------------

Device::Device(Direct3D* d3d, const DeviceSetup& setup) : d3d_(d3d), setup_(setup), back_buffer_(this)
{
    d3d_->AddRef();
    ++live_objects;
    back_buffer_.width = setup.width;
    back_buffer_.height = setup.height;
    back_buffer_.format = find_format(setup.back_buffer_format);
    set_default_sampler_states();
}

void Device::set_default_sampler_states()
{
    for (UINT s = 0; s < MAX_SAMPLERS; ++s) {
        DWORD* states = sampler_states_[s];
        states[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        states[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        states[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        states[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        states[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        states[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        states[D3DSAMP_MAXANISOTROPY] = 1;
    }
}

Device::~Device() { --live_objects; }

bool Device::initialise()
{
    mirror_once_ = epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge") ||
        epoxy_has_gl_extension("GL_EXT_texture_mirror_clamp");
    anisotropy_ = epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");

    const GLsizei width = (GLsizei)setup_.width, height = (GLsizei)setup_.height;
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (width > max_size || height > max_size) return false;

    if (setup_.depth_format) {
        glGenRenderbuffers(1, &depth_renderbuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_renderbuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, setup_.depth_format, width, height);
    }
    // X8R8G8B8 as RGB8, whose alpha reads 1 by itself; where RGB8 cannot be rendered to, RGBA8
    // with alpha writes masked off.
    glGenRenderbuffers(1, &back_buffer_.renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, back_buffer_.renderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, back_buffer_.format->internal_format, width, height);
    if (glGetError() != GL_NO_ERROR) return false;
    if (!framebuffer_for(&back_buffer_) && back_buffer_.format->internal_format == GL_RGB8) {
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        back_buffer_.mask_alpha = true;
        if (!framebuffer_for(&back_buffer_)) return false;
    }
    if (!back_buffer_.framebuffer || glGetError() != GL_NO_ERROR) return false;
    render_target_ = &back_buffer_;

    // Defined start contents: black, opaque (an X8 buffer's alpha always reads 1), far depth.
    bind_draw_framebuffer(back_buffer_.framebuffer);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    color_mask_alpha_ = true;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | (depth_renderbuffer_ ? GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT : 0));
    use_render_target();

    glGenVertexArrays(1, &vertex_array_);
    glBindVertexArray(vertex_array_);
    for (GLuint i = 0; i < ATTRIBUTE_COUNT; ++i) glEnableVertexAttribArray(i);
    persistent_vertices_ = epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_buffer_storage");
    if (!create_vertex_buffer(VERTEX_BUFFER_SIZE)) return false;

    glGenSamplers(2 * MAX_SAMPLERS, &samplers_[0][0]);
    for (UINT s = 0; s < MAX_SAMPLERS; ++s) {
        glBindSampler(s, samplers_[s][0]);
        bound_samplers_[s] = samplers_[s][0];
        apply_sampler(s);
    }

    // Direct3D's render-state defaults with an automatic depth buffer: depth test less-or-equal
    // with writes, counter-clockwise triangles culled. Rows are stored top first, so Direct3D's
    // clockwise front faces are counter-clockwise in GL window coordinates.
    if (depth_renderbuffer_) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
    }
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);

    if (!create_fixed_function()) return false;
    return glGetError() == GL_NO_ERROR;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release()
{
    ULONG refs = --refs_;
    if (refs == 0) {
        drop_bindings();
        if (children_ == 0) finish();
    }
    return refs;
}

void Device::drop_bindings()
{
    dropping_ = true;
    Surface* target = render_target_;
    render_target_ = &back_buffer_;
    if (target) target->unbind();
    PixelShader* shader = shader_;
    shader_ = nullptr;
    if (shader) shader->unbind();
    for (Texture*& slot : textures_) {
        Texture* texture = slot;
        slot = nullptr;
        if (texture) texture->unbind();
    }
    dropping_ = false;
}

void Device::child_destroyed()
{
    --children_;
    if (refs_ == 0 && children_ == 0 && !dropping_) finish();
}

void Device::delete_gl_objects()
{
    glDeleteProgram(fixed_function_);
    glDeleteSamplers(2 * MAX_SAMPLERS, &samplers_[0][0]);
    glDeleteFramebuffers(1, &back_buffer_.framebuffer);
    glDeleteFramebuffers(1, &scratch_framebuffer_);
    glDeleteRenderbuffers(1, &back_buffer_.renderbuffer);
    glDeleteRenderbuffers(1, &depth_renderbuffer_);
    glDeleteBuffers(1, &vertex_buffer_);
    glDeleteVertexArrays(1, &vertex_array_);
}

void Device::finish()
{
    if (make_current()) delete_gl_objects();
    if (setup_.context) SDL_GL_DeleteContext((SDL_GLContext)setup_.context);
    Direct3D* d3d = d3d_;
    delete this;
    d3d->Release();
}

SDL_Window* Device::window() const { return SDL_GetWindowFromID(setup_.window_id); }

bool Device::make_current()
{
    if (!setup_.context) return false;  // a Reset that could not make a new one
    if (SDL_GL_GetCurrentContext() == (SDL_GLContext)setup_.context) return true;
    SDL_Window* target = window();
    return target && SDL_GL_MakeCurrent(target, (SDL_GLContext)setup_.context) == 0;
}

// ---- GL binding caches ----------------------------------------------------------------------

void Device::bind_draw_framebuffer(GLuint framebuffer)
{
    if (bound_framebuffer_ != framebuffer) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
        bound_framebuffer_ = framebuffer;
    }
}

void Device::bind_texture_unit(UINT unit, GLuint name)
{
    if (bound_textures_[unit] == name) return;
    GLenum target_unit = GL_TEXTURE0 + unit;
    if (active_unit_ != target_unit) {
        glActiveTexture(target_unit);
        active_unit_ = target_unit;
    }
    glBindTexture(GL_TEXTURE_2D, name);
    bound_textures_[unit] = name;
}

void Device::select_texture(GLuint name)
{
    bind_texture_unit(0, name);
    if (active_unit_ != GL_TEXTURE0) {
        glActiveTexture(GL_TEXTURE0);
        active_unit_ = GL_TEXTURE0;
    }
}

void Device::forget_texture(GLuint name)
{
    for (GLuint& bound : bound_textures_) {
        if (bound == name) bound = 0;  // GL unbinds a deleted texture itself
    }
}

void Device::forget_program(GLuint program)
{
    if (bound_program_ == program) bound_program_ = ~0u;
}

void Device::forget_framebuffer(GLuint framebuffer)
{
    if (bound_framebuffer_ == framebuffer) bound_framebuffer_ = ~0u;
}

GLuint Device::framebuffer_for(Surface* surface)
{
    if (surface->framebuffer) return surface->framebuffer;
    if (!surface->format->renderable) return 0;
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    bind_draw_framebuffer(framebuffer);
    surface->attach_color();
    if (depth_renderbuffer_) {
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, setup_.depth_attachment, GL_RENDERBUFFER, depth_renderbuffer_);
    }
    if (glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        forget_framebuffer(framebuffer);
        glDeleteFramebuffers(1, &framebuffer);
        return 0;
    }
    surface->framebuffer = framebuffer;
    return framebuffer;
}

void Device::use_render_target()
{
    bind_draw_framebuffer(render_target_->framebuffer);
    bool alpha = !render_target_->mask_alpha;
    if (alpha != color_mask_alpha_) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, alpha ? GL_TRUE : GL_FALSE);
        color_mask_alpha_ = alpha;
    }
    if (viewport_width_ != render_target_->width || viewport_height_ != render_target_->height) {
        viewport_width_ = render_target_->width;
        viewport_height_ = render_target_->height;
        glViewport(0, 0, (GLsizei)viewport_width_, (GLsizei)viewport_height_);
    }
}

// ---- Surfaces and targets -------------------------------------------------------------------

ULONG BackBuffer::AddRef()
{
    if (refs_++ == 0) device_->AddRef();
    return refs_;
}

ULONG BackBuffer::Release()
{
    ULONG refs = --refs_;
    if (refs == 0) device_->Release();
    return refs;
}

void BackBuffer::attach_color() const
{
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer);
}

HRESULT Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                              IDirect3DSurface9** ppBackBuffer)
{
    if (!ppBackBuffer) return D3DERR_INVALIDCALL;
    *ppBackBuffer = NULL;
    if (iSwapChain != 0 || iBackBuffer != 0 || Type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    back_buffer_.AddRef();
    *ppBackBuffer = &back_buffer_;
    return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget)
{
    // One target: unsetting the others is harmless, target 0 can never be unset.
    if (RenderTargetIndex != 0) return !pRenderTarget && RenderTargetIndex < 4 ? D3D_OK : D3DERR_INVALIDCALL;
    if (!pRenderTarget) return D3DERR_INVALIDCALL;
    Surface* surface = dynamic_cast<Surface*>(pRenderTarget);
    if (!surface || surface->device() != this) return D3DERR_INVALIDCALL;
    Texture* texture = surface->container();
    if (texture && !(texture->usage() & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    if (!make_current()) return D3DERR_DEVICELOST;
    if (!framebuffer_for(surface)) return D3DERR_INVALIDCALL;

    surface->bind();
    Surface* previous = render_target_;
    render_target_ = surface;
    previous->unbind();
    use_render_target();  // Direct3D resets the viewport to the whole new target
    return D3D_OK;
}

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil)
{
    if (Count && !pRects) return D3DERR_INVALIDCALL;
    if (Flags & ~(DWORD)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) return D3DERR_INVALIDCALL;
    if ((Flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth_renderbuffer_) return D3DERR_INVALIDCALL;
    if ((Flags & D3DCLEAR_STENCIL) && setup_.depth_attachment != GL_DEPTH_STENCIL_ATTACHMENT) {
        return D3DERR_INVALIDCALL;
    }
    if (!make_current()) return D3DERR_DEVICELOST;
    if (Texture* texture = render_target_->container()) {
        // Clearing the whole level sets it; anything less keeps the zeros around it.
        if (Count == 0 && (Flags & D3DCLEAR_TARGET)) {
            texture->level_set(static_cast<LevelSurface*>(render_target_)->level());
        } else {
            set_levels(texture);
        }
    }
    use_render_target();

    GLbitfield mask = 0;
    if (Flags & D3DCLEAR_TARGET) {
        float color[4];
        color_to_float(Color, color);
        glClearColor(color[0], color[1], color[2], color[3]);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(Z < 0.0f ? 0.0 : Z > 1.0f ? 1.0 : (double)Z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_STENCIL) {
        glClearStencil((GLint)(Stencil & 0xFF));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (!mask) return D3D_OK;
    if (Count == 0) {
        glClear(mask);
        return D3D_OK;
    }
    // Rows are stored top first, so Direct3D's rectangles are GL's as they are.
    glEnable(GL_SCISSOR_TEST);
    for (DWORD i = 0; i < Count; ++i) {
        LONG x1 = pRects[i].x1 < 0 ? 0 : pRects[i].x1, y1 = pRects[i].y1 < 0 ? 0 : pRects[i].y1;
        LONG x2 = pRects[i].x2 > (LONG)render_target_->width ? (LONG)render_target_->width : pRects[i].x2;
        LONG y2 = pRects[i].y2 > (LONG)render_target_->height ? (LONG)render_target_->height : pRects[i].y2;
        if (x2 <= x1 || y2 <= y1) continue;
        glScissor(x1, y1, x2 - x1, y2 - y1);
        glClear(mask);
    }
    glDisable(GL_SCISSOR_TEST);
    return D3D_OK;
}

HRESULT Device::BeginScene()
{
    if (in_scene_) return D3DERR_INVALIDCALL;
    in_scene_ = true;
    if (frame_start_ == std::chrono::steady_clock::time_point{}) frame_start_ = std::chrono::steady_clock::now();
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    if (!in_scene_) return D3DERR_INVALIDCALL;
    in_scene_ = false;
    return D3D_OK;
}

// ---- Bindings and states ----------------------------------------------------------------

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    if (Stage >= MAX_SAMPLERS) return D3DERR_INVALIDCALL;
    Texture* texture = nullptr;
    if (pTexture) {
        texture = dynamic_cast<Texture*>(pTexture);
        if (!texture || texture->device() != this) return D3DERR_INVALIDCALL;
    }
    Texture* previous = textures_[Stage];
    if (texture == previous) return D3D_OK;
    if (texture) texture->bind();
    textures_[Stage] = texture;
    if (previous) previous->unbind();
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    if (Type < D3DSAMP_ADDRESSU || Type > D3DSAMP_DMAPOFFSET) return D3DERR_INVALIDCALL;
    // Vertex samplers exist in Direct3D; nothing here ever samples them.
    if (Sampler >= FIRST_VERTEX_SAMPLER && Sampler <= LAST_VERTEX_SAMPLER) return D3D_OK;
    if (Sampler >= MAX_SAMPLERS) return D3DERR_INVALIDCALL;
    DWORD& state = sampler_states_[Sampler][Type];
    if (state == Value) return D3D_OK;
    state = Value;
    if (make_current()) apply_sampler(Sampler);
    return D3D_OK;
}

void Device::apply_sampler(UINT sampler)
{
    const DWORD* states = sampler_states_[sampler];

    bool mag_linear = states[D3DSAMP_MAGFILTER] > D3DTEXF_POINT;
    bool min_linear = states[D3DSAMP_MINFILTER] > D3DTEXF_POINT;
    GLenum min_filter;
    switch (states[D3DSAMP_MIPFILTER]) {
    case D3DTEXF_NONE: min_filter = min_linear ? GL_LINEAR : GL_NEAREST; break;
    case D3DTEXF_POINT: min_filter = min_linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
    default: min_filter = min_linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
    }
    const GLenum one_level_min_filter = min_linear ? GL_LINEAR : GL_NEAREST;

    const GLenum wraps[3] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R};
    GLenum modes[3];
    for (int axis = 0; axis < 3; ++axis) {
        switch (states[D3DSAMP_ADDRESSU + axis]) {
        case D3DTADDRESS_MIRROR: modes[axis] = GL_MIRRORED_REPEAT; break;
        case D3DTADDRESS_CLAMP: modes[axis] = GL_CLAMP_TO_EDGE; break;
        case D3DTADDRESS_BORDER: modes[axis] = GL_CLAMP_TO_BORDER; break;
        case D3DTADDRESS_MIRRORONCE: modes[axis] = mirror_once_ ? GL_MIRROR_CLAMP_TO_EDGE : GL_MIRRORED_REPEAT; break;
        default: modes[axis] = GL_REPEAT; break;
        }
    }
    float border[4];
    color_to_float(states[D3DSAMP_BORDERCOLOR], border);
    float bias;
    std::memcpy(&bias, &states[D3DSAMP_MIPMAPLODBIAS], sizeof bias);
    bool anisotropic =
        states[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC || states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC;
    DWORD amount = states[D3DSAMP_MAXANISOTROPY];

    for (int variant = 0; variant < 2; ++variant) {
        const GLuint object = samplers_[sampler][variant];
        glSamplerParameteri(object, GL_TEXTURE_MAG_FILTER, mag_linear ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(object, GL_TEXTURE_MIN_FILTER, (GLint)(variant ? one_level_min_filter : min_filter));
        for (int axis = 0; axis < 3; ++axis) glSamplerParameteri(object, wraps[axis], (GLint)modes[axis]);
        glSamplerParameterfv(object, GL_TEXTURE_BORDER_COLOR, border);
        glSamplerParameterf(object, GL_TEXTURE_LOD_BIAS, std::isfinite(bias) ? bias : 0.0f);
        // Direct3D's "maximum mip level" is the most detailed level sampling may use.
        glSamplerParameterf(object, GL_TEXTURE_MIN_LOD, (float)states[D3DSAMP_MAXMIPLEVEL]);
        if (anisotropy_) {
            glSamplerParameterf(object, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                                anisotropic && amount > 1 ? (float)(amount > 16 ? 16 : amount) : 1.0f);
        }
    }
}

HRESULT Device::SetFVF(DWORD FVF)
{
    fvf_ = FVF;  // any layout is recorded; drawing checks whether it can be read
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* pShader)
{
    PixelShader* shader = nullptr;
    if (pShader) {
        shader = dynamic_cast<PixelShader*>(pShader);
        if (!shader || shader->device() != this) return D3DERR_INVALIDCALL;
    }
    PixelShader* previous = shader_;
    if (shader == previous) return D3D_OK;
    if (shader) shader->bind();
    shader_ = shader;
    if (previous) previous->unbind();
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount)
{
    if (StartRegister > MAX_FLOAT_CONSTANTS || Vector4fCount > MAX_FLOAT_CONSTANTS - StartRegister) {
        return D3DERR_INVALIDCALL;
    }
    if (Vector4fCount == 0) return D3D_OK;
    if (!pConstantData) return D3DERR_INVALIDCALL;
    std::memcpy(constants_[StartRegister], pConstantData, Vector4fCount * 4 * sizeof(float));
    ++constants_version_;
    return D3D_OK;
}

// ---- Drawing ------------------------------------------------------------------------------

void Device::bind_sampler_texture(UINT unit, const Texture* texture, const Texture* target_texture)
{
    // A texture that is also the current target reads as unbound: GL leaves such feedback
    // undefined, and Direct3D's hardware gives no dependable result either.
    if (texture == target_texture) texture = nullptr;
    bind_texture_unit(unit, texture ? texture->name() : 0);
    GLuint sampler = samplers_[unit][texture && texture->levels() == 1 ? 1 : 0];
    if (bound_samplers_[unit] != sampler) {
        glBindSampler(unit, sampler);
        bound_samplers_[unit] = sampler;
    }
}

void Device::bind_textures(const PixelShader* shader, const Texture* target_texture)
{
    if (shader) {
        for (const ShaderSampler& sampler : shader->samplers) {
            if (sampler.type != SamplerType::Tex2D) continue;  // only 2D textures exist; others read (0,0,0,1)
            bind_sampler_texture(sampler.unit, textures_[sampler.unit], target_texture);
        }
        return;
    }
    bind_sampler_texture(0, textures_[0], target_texture);
    int has_texture = bound_textures_[0] != 0;
    if (fixed_function_texture_bound_ != has_texture) {
        glUniform1i(fixed_function_has_texture_, has_texture);
        fixed_function_texture_bound_ = has_texture;
    }
}

// Vertices stream through a ring; no draw waits for the previous ones, and mapping the ring once
// for good spares the driver a mapping per draw.
bool Device::create_vertex_buffer(GLsizeiptr size)
{
    if (vertex_buffer_) glDeleteBuffers(1, &vertex_buffer_);
    vertex_memory_ = nullptr;
    glGenBuffers(1, &vertex_buffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer_);
    if (persistent_vertices_) {
        const GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
        glBufferStorage(GL_ARRAY_BUFFER, size, NULL, flags);
        vertex_memory_ = static_cast<unsigned char*>(glMapBufferRange(GL_ARRAY_BUFFER, 0, size, flags));
        if (!vertex_memory_) return false;
    } else {
        glBufferData(GL_ARRAY_BUFFER, size, NULL, GL_STREAM_DRAW);
    }
    for (GLuint i = 0; i < ATTRIBUTE_COUNT; ++i) {
        glVertexAttribPointer(i, 4, GL_FLOAT, GL_FALSE, sizeof(GpuVertex), (const void*)(std::uintptr_t)(16 * i));
    }
    vertex_buffer_size_ = size;
    vertex_buffer_used_ = 0;
    kept_vertices_.bytes = 0;
    return glGetError() == GL_NO_ERROR;
}

bool Device::reuse_vertices(const unsigned char* data, UINT count, UINT stride, GLint& first) const
{
    const KeptVertices& kept = kept_vertices_;
    if (kept.bytes == 0 || kept.count != count || kept.stride != stride || kept.fvf != fvf_ ||
        kept.target_width != render_target_->width || kept.target_height != render_target_->height ||
        std::memcmp(kept.data, data, kept.bytes) != 0) {
        return false;
    }
    first = kept.first;
    return true;
}

void Device::keep_vertices(const unsigned char* data, UINT count, UINT stride, GLint first)
{
    KeptVertices& kept = kept_vertices_;
    const std::uint64_t bytes = (std::uint64_t)(count - 1) * stride + vertex_size(fvf_);  // what the draw read
    if (bytes > sizeof kept.data) {
        kept.bytes = 0;
        return;
    }
    kept.bytes = (UINT)bytes;
    kept.count = count;
    kept.stride = stride;
    kept.fvf = fvf_;
    kept.target_width = render_target_->width;
    kept.target_height = render_target_->height;
    kept.first = first;
    std::memcpy(kept.data, data, kept.bytes);
}

Device::Streamed Device::stream_vertices(const unsigned char* data, UINT count, UINT stride, GLint& first)
{
    if (reuse_vertices(data, count, stride, first)) return Streamed::Ready;
    const GLsizeiptr bytes = (GLsizeiptr)count * (GLsizeiptr)sizeof(GpuVertex);
    if (bytes > vertex_buffer_size_) {
        GLsizeiptr size = vertex_buffer_size_;
        while (size < bytes) size *= 2;
        if (!create_vertex_buffer(size)) return Streamed::NoMemory;
    } else if (vertex_buffer_used_ + bytes > vertex_buffer_size_) {
        if (persistent_vertices_) {
            // Starting over: the draws of the last lap must be done with the start of the ring.
            if (!finish_drawing()) return Streamed::GaveWay;
        } else {
            glBufferData(GL_ARRAY_BUFFER, vertex_buffer_size_, NULL, GL_STREAM_DRAW);  // fresh storage
        }
        vertex_buffer_used_ = 0;
        kept_vertices_.bytes = 0;
    }
    void* mapped = vertex_memory_
        ? vertex_memory_ + vertex_buffer_used_
        : glMapBufferRange(GL_ARRAY_BUFFER, vertex_buffer_used_, bytes,
                           GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
    if (!mapped) return Streamed::NoMemory;

    // Direct3D samples pixel (i, j) at screen position (i, j); GL at (i + 0.5, j + 0.5). Rows are
    // stored top first, so y needs no flip. Computed in double so the program's quad corners
    // land exactly on the target's edges.
    const double width = render_target_->width, height = render_target_->height;
    const UINT texcoords = (fvf_ & FVF_TEXCOUNT_MASK) >> FVF_TEXCOUNT_SHIFT;
    GpuVertex* out = static_cast<GpuVertex*>(mapped);
    const unsigned char* vertex = data;
    for (UINT i = 0; i < count; ++i, vertex += stride, ++out) {
        float v[4];
        std::memcpy(v, vertex, sizeof v);
        double w = v[3] != 0.0f && std::isfinite(v[3]) ? 1.0 / v[3] : 1.0;
        out->position[0] = (float)(((v[0] + 0.5) * 2.0 / width - 1.0) * w);
        out->position[1] = (float)(((v[1] + 0.5) * 2.0 / height - 1.0) * w);
        out->position[2] = (float)((2.0 * v[2] - 1.0) * w);
        out->position[3] = (float)w;
        const unsigned char* field = vertex + 16;
        DWORD color;
        if (fvf_ & FVF_DIFFUSE) {
            std::memcpy(&color, field, 4);
            color_to_float(color, out->color[0]);
            field += 4;
        } else {
            for (float& c : out->color[0]) c = 1.0f;  // no diffuse colour reads white
        }
        if (fvf_ & FVF_SPECULAR) {
            std::memcpy(&color, field, 4);
            color_to_float(color, out->color[1]);
            field += 4;
        } else {
            for (float& c : out->color[1]) c = 0.0f;
        }
        for (UINT t = 0; t < MAX_TEXCOORDS; ++t) {
            float* tc = out->texcoord[t];
            if (t < texcoords) {
                std::memcpy(tc, field, 2 * sizeof(float));
                field += 2 * sizeof(float);
                tc[2] = 0.0f;
                tc[3] = 1.0f;
            } else {
                tc[0] = tc[1] = tc[2] = tc[3] = 0.0f;
            }
        }
    }
    if (!vertex_memory_) glUnmapBuffer(GL_ARRAY_BUFFER);
    first = (GLint)(vertex_buffer_used_ / (GLsizeiptr)sizeof(GpuVertex));
    vertex_buffer_used_ += bytes;
    keep_vertices(data, count, stride, first);
    return Streamed::Ready;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData,
                                UINT VertexStreamZeroStride)
{
    if (!in_scene_ || !pVertexStreamZeroData) return D3DERR_INVALIDCALL;
    GLenum mode;
    UINT vertices;
    switch (PrimitiveType) {
    case D3DPT_POINTLIST:
        mode = GL_POINTS;
        vertices = PrimitiveCount;
        break;
    case D3DPT_LINELIST:
        mode = GL_LINES;
        vertices = 2 * PrimitiveCount;
        break;
    case D3DPT_LINESTRIP:
        mode = GL_LINE_STRIP;
        vertices = PrimitiveCount + 1;
        break;
    case D3DPT_TRIANGLELIST:
        mode = GL_TRIANGLES;
        vertices = 3 * PrimitiveCount;
        break;
    case D3DPT_TRIANGLESTRIP:
        mode = GL_TRIANGLE_STRIP;
        vertices = PrimitiveCount + 2;
        break;
    case D3DPT_TRIANGLEFAN:
        mode = GL_TRIANGLE_FAN;
        vertices = PrimitiveCount + 2;
        break;
    default: return D3DERR_INVALIDCALL;
    }
    if (PrimitiveCount == 0) return D3D_OK;
    if (PrimitiveCount > MAX_DRAW_VERTICES || vertices > MAX_DRAW_VERTICES) return D3DERR_INVALIDCALL;

    // Pre-transformed vertices only: no vertex shader is ever set.
    if ((fvf_ & ~FVF_SUPPORTED) != 0 || (fvf_ & FVF_POSITION_MASK) != FVF_XYZRHW_VALUE) return D3DERR_INVALIDCALL;
    UINT texcoords = (fvf_ & FVF_TEXCOUNT_MASK) >> FVF_TEXCOUNT_SHIFT;
    if (texcoords > MAX_TEXCOORDS) return D3DERR_INVALIDCALL;
    if (VertexStreamZeroStride < vertex_size(fvf_)) return D3DERR_INVALIDCALL;
    if (!make_current()) return D3DERR_DEVICELOST;

    PixelShader* shader = shader_;
    set_drawn_levels(shader);
    use_render_target();
    GLuint program = shader ? shader->program : fixed_function_;
    if (bound_program_ != program) {
        glUseProgram(program);
        bound_program_ = program;
    }
    if (shader && shader->constants_location >= 0 && shader->uploaded_version != constants_version_) {
        glUniform4fv(shader->constants_location, (GLsizei)shader->constant_count, constants_[0]);
        shader->uploaded_version = constants_version_;
    }
    bind_textures(shader, render_target_->container());

    // Sampling a target drawn earlier makes GL wait for that drawing inside this call, where no quit
    // can be heard: in a watched frame wait for it here instead, and skip the draw if a quit came first.
    if (watch_frame_ && reads_drawn_target(shader) && !finish_drawing()) return D3D_OK;

    GLint first = 0;
    switch (stream_vertices(static_cast<const unsigned char*>(pVertexStreamZeroData), vertices, VertexStreamZeroStride,
                            first)) {
    case Streamed::Ready: break;
    case Streamed::NoMemory: return E_OUTOFMEMORY;
    case Streamed::GaveWay: return D3D_OK;
    }
    glDrawArrays(mode, first, (GLsizei)vertices);
    drawn_since_wait_ = true;
    return D3D_OK;
}

void Device::set_drawn_levels(const PixelShader* shader)
{
    set_levels(render_target_->container());
    if (!shader) {
        set_levels(textures_[0]);
        return;
    }
    for (const ShaderSampler& sampler : shader->samplers) {
        if (sampler.type == SamplerType::Tex2D) set_levels(textures_[sampler.unit]);
    }
}

bool Device::reads_drawn_target(const PixelShader* shader) const
{
    if (!drawn_since_wait_) return false;
    auto drawn_target = [&](UINT unit) {
        const Texture* texture = textures_[unit];
        return texture && (texture->usage() & D3DUSAGE_RENDERTARGET) && texture != render_target_->container();
    };
    if (!shader) return drawn_target(0);
    for (const ShaderSampler& sampler : shader->samplers) {
        if (drawn_target(sampler.unit)) return true;
    }
    return false;
}

// A frame of minutes (a long loop on a software renderer; a GPU's watchdog would reset the
// context first) must not leave the program deaf: the drawing so far is waited for in short
// slices, asking between them whether a quit is pending. False when it gave way to one; the
// drawing then goes on in the background and shutting down may still wait for it.
bool Device::finish_drawing()
{
    if (!drawn_since_wait_) return true;
    GLsync done = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    GLbitfield flags = GL_SYNC_FLUSH_COMMANDS_BIT;
    for (;;) {
        GLenum state = glClientWaitSync(done, flags, DRAWING_WAIT_SLICE_NS);
        flags = 0;
        if (state != GL_TIMEOUT_EXPIRED) break;
        if (quit_pending()) {
            glDeleteSync(done);
            if (quit_decided()) arm_quit_watchdog();
            else note_unfinished_frame(true);
            return false;
        }
    }
    glDeleteSync(done);
    drawn_since_wait_ = false;
    note_unfinished_frame(false);
    return true;
}

// A frame runs from its first BeginScene to the end of Present, which waits for its drawing (a
// GPU that falls behind makes Present wait too). Time between frames is not the shader's.
void Device::time_frame()
{
    const auto now = std::chrono::steady_clock::now();
    const bool timed = frame_start_ != std::chrono::steady_clock::time_point{};
    watch_frame_ = cost_changed_ || !timed || now - frame_start_ >= QUICK_FRAME;
    cost_changed_ = false;
    frame_start_ = {};
}

// ---- Loss and Reset ---------------------------------------------------------------------
//
// Direct3D's lost device over a GL context that reports its own reset (robustness): Present says
// D3DERR_DEVICELOST once the context is reset; TestCooperativeLevel says D3DERR_DEVICELOST while
// the driver is still resetting, then D3DERR_DEVICENOTRESET; Reset makes a new context. Direct3D
// keeps managed textures and shaders across a Reset, but a new GL context keeps nothing, so here
// Reset wants every object released first (the viewer releases all before it resets).

GLenum Device::reset_status()
{
    if (simulated_reset_checks_ > 0) {
        --simulated_reset_checks_;
        return GL_GUILTY_CONTEXT_RESET;
    }
    return setup_.reset_status ? setup_.reset_status() : GL_NO_ERROR;
}

bool Device::context_was_reset()
{
    if (!lost_ && reset_status() != GL_NO_ERROR) lost_ = true;
    return lost_;
}

HRESULT Device::TestCooperativeLevel()
{
    if (!make_current()) return D3DERR_DEVICELOST;
    if (!lost_) return D3D_OK;
    return reset_status() == GL_NO_ERROR ? D3DERR_DEVICENOTRESET : D3DERR_DEVICELOST;
}

void Device::forget_gl_state()
{
    in_scene_ = false;
    drawn_since_wait_ = false;
    watch_frame_ = true;
    cost_changed_ = true;
    frame_start_ = {};
    fvf_ = 0;
    back_buffer_.framebuffer = 0;
    back_buffer_.renderbuffer = 0;
    back_buffer_.mask_alpha = false;
    render_target_ = nullptr;
    std::memset(constants_, 0, sizeof constants_);
    ++constants_version_;
    set_default_sampler_states();
    std::memset(samplers_, 0, sizeof samplers_);
    std::memset(bound_samplers_, 0, sizeof bound_samplers_);
    depth_renderbuffer_ = 0;
    vertex_array_ = 0;
    vertex_buffer_ = 0;
    vertex_buffer_size_ = 0;
    vertex_buffer_used_ = 0;
    persistent_vertices_ = false;
    vertex_memory_ = nullptr;
    kept_vertices_.bytes = 0;
    scratch_framebuffer_ = 0;
    fixed_function_ = 0;
    fixed_function_has_texture_ = -1;
    fixed_function_texture_bound_ = -1;
    bound_framebuffer_ = ~0u;
    bound_program_ = ~0u;
    std::memset(bound_textures_, 0, sizeof bound_textures_);
    active_unit_ = GL_TEXTURE0;
    color_mask_alpha_ = true;
    viewport_width_ = 0;
    viewport_height_ = 0;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* pp)
{
    if (!pp) return D3DERR_INVALIDCALL;
    // The same back buffer again: this device re-creates its context, not its size or format.
    if ((pp->BackBufferWidth && pp->BackBufferWidth != setup_.width) ||
        (pp->BackBufferHeight && pp->BackBufferHeight != setup_.height) ||
        (pp->BackBufferFormat != D3DFMT_UNKNOWN && pp->BackBufferFormat != setup_.back_buffer_format)) {
        return D3DERR_INVALIDCALL;
    }
    if (in_scene_) return D3DERR_INVALIDCALL;
    drop_bindings();
    if (children_ > 0 || back_buffer_.refs() > 0) return D3DERR_INVALIDCALL;
    SDL_Window* target = window();
    if (!target) return D3DERR_DEVICELOST;

    if (make_current()) delete_gl_objects();
    SDL_GL_MakeCurrent(target, NULL);
    if (setup_.context) SDL_GL_DeleteContext((SDL_GLContext)setup_.context);
    setup_.context = nullptr;
    forget_gl_state();
    simulated_reset_checks_ = 0;
    if (!create_context(target, setup_) || !initialise()) {
        lost_ = true;
        return D3DERR_DEVICELOST;
    }
    lost_ = false;
    return D3D_OK;
}

// ---- Presentation -----------------------------------------------------------------------

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const RGNDATA* pDirtyRegion)
{
    (void)pDirtyRegion;                                       // a hint only
    if (pSourceRect || pDestRect) return D3DERR_INVALIDCALL;  // not with a discarding swap effect
    SDL_Window* own = window();
    SDL_Window* target = hDestWindowOverride ? SDL_GetWindowFromID(sdl_window_id(hDestWindowOverride)) : own;
    if (!own || !target) return D3DERR_INVALIDCALL;
    if (!make_current() || context_was_reset()) return D3DERR_DEVICELOST;
    if (watch_frame_ && !finish_drawing()) return D3D_OK;  // a quit is pending: this frame is not shown
    if (target != own && SDL_GL_MakeCurrent(target, (SDL_GLContext)setup_.context) != 0) return D3DERR_INVALIDCALL;

    // Stretched over the whole drawable, as a windowed Direct3D device does, and flipped:
    // rows are stored top first, GL windows show row 0 at the bottom.
    int drawable_width = 0, drawable_height = 0;
    SDL_GL_GetDrawableSize(target, &drawable_width, &drawable_height);
    const GLint width = (GLint)back_buffer_.width, height = (GLint)back_buffer_.height;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, back_buffer_.framebuffer);
    bind_draw_framebuffer(0);
    GLenum filter = drawable_width == width && drawable_height == height ? GL_NEAREST : GL_LINEAR;
    glBlitFramebuffer(0, 0, width, height, 0, drawable_height, drawable_width, 0, GL_COLOR_BUFFER_BIT, filter);
    SDL_GL_SwapWindow(target);
    if (target != own) SDL_GL_MakeCurrent(own, (SDL_GLContext)setup_.context);
    time_frame();
    return D3D_OK;
}

}  // namespace gl_device
}  // namespace fxplatform

void fxplatform::simulate_context_reset(IDirect3DDevice9* device, int checks)
{
    if (auto* gl = dynamic_cast<gl_device::Device*>(device)) gl->simulate_reset(checks);
}
