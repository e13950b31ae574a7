// Placeholder until the HLSL compiler lands.
#include "platform.h"

HRESULT WINAPI D3DXCompileShaderFromFileA(LPCSTR, const D3DXMACRO*, LPD3DXINCLUDE, LPCSTR, LPCSTR, DWORD,
                                          LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs, LPD3DXCONSTANTTABLE*)
{
    if (ppShader) *ppShader = NULL;
    if (ppErrorMsgs) *ppErrorMsgs = NULL;
    return E_NOTIMPL;
}
