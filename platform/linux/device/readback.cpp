// Read-back for tests and tools: the back buffer as bytes, any surface or texture as floats.
#include "readback.h"

#include "device_internal.h"

namespace fxplatform {

using namespace gl_device;

namespace {

// GL reports channels a format lacks as 0 (alpha as 1); Direct3D samples them as 1.
void as_sampled(const FormatInfo* format, std::vector<float>& rgba)
{
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        if (format->channels == 1) rgba[i + 1] = rgba[i + 2] = 1.0f;
        if (!format->has_alpha) rgba[i + 3] = 1.0f;
    }
}

bool read_framebuffer(GLuint framebuffer, int width, int height, GLenum type, void* pixels)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, type, pixels);
    return glGetError() == GL_NO_ERROR;
}

}  // namespace

bool read_presented(IDirect3DDevice9* device_interface, int& width, int& height, std::vector<std::uint8_t>& rgba)
{
    Device* device = dynamic_cast<Device*>(device_interface);
    if (!device || !device->make_current()) return false;
    BackBuffer& back = device->back_buffer();
    width = (int)back.width;
    height = (int)back.height;
    rgba.resize((std::size_t)width * height * 4);
    if (!read_framebuffer(back.framebuffer, width, height, GL_UNSIGNED_BYTE, rgba.data())) return false;
    if (!back.format->has_alpha) {
        for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    }
    return true;
}

bool read_texture(IDirect3DTexture9* texture_interface, UINT level, int& width, int& height, std::vector<float>& rgba)
{
    Texture* texture = dynamic_cast<Texture*>(texture_interface);
    if (!texture || level >= texture->levels() || !texture->device()->make_current()) return false;
    width = (int)texture->width(level);
    height = (int)texture->height(level);
    rgba.resize((std::size_t)width * height * 4);
    texture->device()->set_levels(texture);
    texture->device()->select_texture(texture->name());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, (GLint)level, GL_RGBA, GL_FLOAT, rgba.data());
    if (glGetError() != GL_NO_ERROR) return false;
    as_sampled(texture->format(), rgba);
    return true;
}

bool read_surface(IDirect3DSurface9* surface_interface, int& width, int& height, std::vector<float>& rgba)
{
    Surface* surface = dynamic_cast<Surface*>(surface_interface);
    if (!surface) return false;
    if (Texture* texture = surface->container()) {
        for (UINT level = 0; level < texture->levels(); ++level) {
            if (texture->surface(level) == surface) return read_texture(texture, level, width, height, rgba);
        }
        return false;
    }
    Device* device = surface->device();
    if (!device->make_current()) return false;
    width = (int)surface->width;
    height = (int)surface->height;
    rgba.resize((std::size_t)width * height * 4);
    if (!read_framebuffer(surface->framebuffer, width, height, GL_FLOAT, rgba.data())) return false;
    as_sampled(surface->format, rgba);
    return true;
}

int live_device_objects() { return live_objects; }

}  // namespace fxplatform
