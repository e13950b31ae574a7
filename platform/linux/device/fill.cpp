// D3DXFillTexture: the fill function once per texel of every level, row by row from the top,
// with the texel's centre and size; its x, y, z, w land in red, green, blue and alpha.
#include <cmath>
#include <vector>

#include "device_internal.h"

using namespace fxplatform::gl_device;

namespace {

unsigned char to_unorm8(float value)
{
    if (!(value > 0.0f)) return 0;  // NaN too
    if (value >= 1.0f) return 255;
    return (unsigned char)std::floor(value * 255.0f + 0.5f);
}

}  // namespace

HRESULT WINAPI D3DXFillTexture(LPDIRECT3DTEXTURE9 pTexture, LPD3DXFILL2D pFunction, LPVOID pData)
{
    Texture* texture = dynamic_cast<Texture*>(pTexture);
    if (!texture || !pFunction) return D3DERR_INVALIDCALL;
    // Direct3D cannot lock a default-pool texture, so D3DX cannot fill one.
    if (texture->pool() == D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    Device* device = texture->device();
    if (!device->make_current()) return D3DERR_DEVICELOST;

    const FormatInfo* format = texture->format();
    std::vector<float> floats;
    std::vector<unsigned char> bytes;
    device->select_texture(texture->name());
    device->cost_changed();
    for (UINT level = 0; level < texture->levels(); ++level) {
        const UINT width = texture->width(level), height = texture->height(level);
        const std::size_t values = (std::size_t)width * height * format->channels;
        if (format->eight_bit) {
            bytes.resize(values);
        } else {
            floats.resize(values);
        }
        const D3DXVECTOR2 size = {1.0f / (float)width, 1.0f / (float)height};
        std::size_t at = 0;
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                const D3DXVECTOR2 centre = {((float)x + 0.5f) / (float)width, ((float)y + 0.5f) / (float)height};
                D3DXVECTOR4 out = {0.0f, 0.0f, 0.0f, 0.0f};
                pFunction(&out, &centre, &size, pData);
                const float texel[4] = {out.x, out.y, out.z, out.w};
                for (UINT c = 0; c < format->channels; ++c, ++at) {
                    if (format->eight_bit) {
                        bytes[at] = to_unorm8(texel[c]);
                    } else {
                        floats[at] = texel[c];
                    }
                }
            }
        }
        // Row 0 is the top row in GL storage too.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, (GLint)level, 0, 0, (GLsizei)width, (GLsizei)height,
                        format->channels == 1 ? GL_RED : GL_RGBA, format->eight_bit ? GL_UNSIGNED_BYTE : GL_FLOAT,
                        format->eight_bit ? (const void*)bytes.data() : (const void*)floats.data());
    }
    texture->all_set();
    return D3D_OK;
}
