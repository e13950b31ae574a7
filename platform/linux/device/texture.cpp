// Textures and their level surfaces: the formats offered, CreateTexture, GetSurfaceLevel, and
// the reference counting that lets a bound texture outlive the program's last reference.
#include <SDL.h>

#include "device_internal.h"

namespace fxplatform {
namespace gl_device {

namespace {

const FormatInfo FORMATS[] = {
    {D3DFMT_A32B32G32R32F, GL_RGBA32F, 4, false, true, true},
    {D3DFMT_A16B16G16R16F, GL_RGBA16F, 4, false, true, true},
    {D3DFMT_R32F, GL_R32F, 1, false, false, true},
    {D3DFMT_A8R8G8B8, GL_RGBA8, 4, true, true, true},
    {D3DFMT_X8R8G8B8, GL_RGB8, 4, true, false, true},
};

UINT full_chain(UINT width, UINT height)
{
    UINT levels = 1;
    for (UINT size = width > height ? width : height; size > 1; size >>= 1) ++levels;
    return levels;
}

}  // namespace

const FormatInfo* find_format(D3DFORMAT format)
{
    for (const FormatInfo& info : FORMATS) {
        if (info.format == format) return &info;
    }
    return nullptr;
}

// ---- Texture ----------------------------------------------------------------------------

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format,
                 D3DPOOL pool, GLuint name)
    : device_(device),
      width_(width),
      height_(height),
      usage_(usage),
      format_(format),
      pool_(pool),
      name_(name),
      unset_levels_(levels >= 32 ? ~0u : (1u << levels) - 1)
{
    device_->AddRef();
    device_->child_created();
    ++live_objects;
    for (UINT level = 0; level < levels; ++level) {
        surfaces_.push_back(std::make_unique<LevelSurface>(device, this, level));
    }
}

Texture::~Texture() { --live_objects; }

UINT Texture::width(UINT level) const { return (width_ >> level) ? (width_ >> level) : 1; }

UINT Texture::height(UINT level) const { return (height_ >> level) ? (height_ >> level) : 1; }

ULONG Texture::AddRef()
{
    if (refs_++ == 0) device_->AddRef();
    return refs_;
}

ULONG Texture::Release()
{
    ULONG refs = --refs_;
    if (refs == 0) {
        Device* device = device_;
        if (binds_ == 0) destroy();
        device->Release();  // the reference held while the program held one
    }
    return refs;
}

void Texture::unbind()
{
    if (--binds_ == 0 && refs_ == 0) destroy();
}

void Texture::destroy()
{
    Device* device = device_;
    if (device->make_current()) {
        for (const auto& surface : surfaces_) {
            if (surface->framebuffer) {
                device->forget_framebuffer(surface->framebuffer);
                glDeleteFramebuffers(1, &surface->framebuffer);
            }
        }
        device->forget_texture(name_);
        glDeleteTextures(1, &name_);
    }
    delete this;
    device->child_destroyed();
}

HRESULT Texture::GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel)
{
    if (!ppSurfaceLevel) return D3DERR_INVALIDCALL;
    *ppSurfaceLevel = NULL;
    if (Level >= levels()) return D3DERR_INVALIDCALL;
    surfaces_[Level]->AddRef();
    *ppSurfaceLevel = surfaces_[Level].get();
    return D3D_OK;
}

// ---- Level surfaces: counted with their texture, as in Direct3D ------------------------

LevelSurface::LevelSurface(Device* device, Texture* texture, UINT level)
    : Surface(device), texture_(texture), level_(level)
{
    width = texture->width(level);
    height = texture->height(level);
    format = texture->format();
}

ULONG LevelSurface::AddRef() { return texture_->AddRef(); }

ULONG LevelSurface::Release() { return texture_->Release(); }

void LevelSurface::bind() { texture_->bind(); }

void LevelSurface::unbind() { texture_->unbind(); }

void LevelSurface::attach_color() const
{
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_->name(), (GLint)level_);
}

// ---- Creation -----------------------------------------------------------------------------

void Device::set_levels(Texture* texture)
{
    if (!texture || !texture->unset_levels()) return;
    if (!scratch_framebuffer_) glGenFramebuffers(1, &scratch_framebuffer_);
    bind_draw_framebuffer(scratch_framebuffer_);
    if (!color_mask_alpha_) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        color_mask_alpha_ = true;
    }
    const float zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (UINT level = 0; level < texture->levels(); ++level) {
        if (!(texture->unset_levels() & (1u << level))) continue;
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture->name(), (GLint)level);
        if (glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
            glClearBufferfv(GL_COLOR, 0, zero);
        }
    }
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    texture->all_set();
}

HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle)
{
    if (!ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = NULL;
    if (pSharedHandle || Width == 0 || Height == 0) return D3DERR_INVALIDCALL;
    const FormatInfo* format = find_format(Format);
    if (!format) return D3DERR_INVALIDCALL;
    if (Usage & ~(DWORD)D3DUSAGE_RENDERTARGET) return D3DERR_INVALIDCALL;
    if (Pool != D3DPOOL_DEFAULT && Pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_RENDERTARGET) && Pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    UINT chain = full_chain(Width, Height);
    if (Levels > chain) return D3DERR_INVALIDCALL;
    UINT levels = Levels ? Levels : chain;
    if (!make_current()) return D3DERR_DEVICELOST;

    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (Width > (UINT)max_size || Height > (UINT)max_size) return D3DERR_INVALIDCALL;

    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    select_texture(name);
    GLenum pixel_format = format->channels == 1 ? GL_RED : GL_RGBA;
    GLenum pixel_type = format->eight_bit ? GL_UNSIGNED_BYTE : GL_FLOAT;
    for (UINT level = 0; level < levels; ++level) {
        UINT w = (Width >> level) ? (Width >> level) : 1, h = (Height >> level) ? (Height >> level) : 1;
        glTexImage2D(GL_TEXTURE_2D, (GLint)level, (GLint)format->internal_format, (GLsizei)w, (GLsizei)h, 0,
                     pixel_format, pixel_type, NULL);
    }
    // Only the levels that exist count, so mip filters never make a one-level texture incomplete.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, (GLint)(levels - 1));
    // Channels a Direct3D format lacks read as 1 (GL already gives alpha 1).
    if (format->channels == 1) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_ONE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_ONE);
    }
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        forget_texture(name);
        glDeleteTextures(1, &name);
        return error == GL_OUT_OF_MEMORY ? D3DERR_OUTOFVIDEOMEMORY : D3DERR_INVALIDCALL;
    }

    Texture* texture = new Texture(this, Width, Height, levels, Usage, format, Pool, name);
    cost_changed();
    if ((Usage & D3DUSAGE_RENDERTARGET) && !framebuffer_for(texture->surface(0))) {
        texture->Release();
        return D3DERR_NOTAVAILABLE;
    }
    *ppTexture = texture;
    return D3D_OK;
}

}  // namespace gl_device
}  // namespace fxplatform
