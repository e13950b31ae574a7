// D3DXFillTexture over a recording texture: the callback once per texel of each level, row by
// row from the top left, with the texel's centre and size; level 0's values are kept.
#include "recording.h"
#include "recording_internal.h"

namespace recording {
std::vector<FillCall>& fill_calls_for_update();
}

HRESULT WINAPI D3DXFillTexture(LPDIRECT3DTEXTURE9 texture, LPD3DXFILL2D function, LPVOID data)
{
    using namespace recording;
    log_call("D3DXFillTexture(" + name_of(texture) + ")");
    TextureRecord* record = texture_record(texture);
    if (!record || !object_of(texture)->usable("D3DXFillTexture") || !function) {
        violation("D3DXFillTexture without a live texture or function");
        return D3DERR_INVALIDCALL;
    }
    fill_calls_for_update().push_back({name_of(texture), function, data});
    HRESULT hr = scripted_result({"D3DXFillTexture"});
    if (hr != S_OK) return hr;
    for (UINT level = 0; level < record->levels; ++level) {
        UINT width = record->width >> level ? record->width >> level : 1;
        UINT height = record->height >> level ? record->height >> level : 1;
        D3DXVECTOR2 size = {1.0f / width, 1.0f / height};
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                D3DXVECTOR2 centre = {(x + 0.5f) / width, (y + 0.5f) / height};
                D3DXVECTOR4 value = {0, 0, 0, 0};
                function(&value, &centre, &size, data);
                if (level == 0) record->texels[(size_t)y * width + x] = value;
            }
        }
    }
    ++record->fills;
    return D3D_OK;
}
