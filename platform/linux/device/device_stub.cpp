// Placeholder until the OpenGL device lands: no Direct3D object.
#include "platform.h"

IDirect3D9* WINAPI Direct3DCreate9(UINT) { return NULL; }
HRESULT WINAPI D3DXFillTexture(LPDIRECT3DTEXTURE9, LPD3DXFILL2D, LPVOID) { return E_NOTIMPL; }
