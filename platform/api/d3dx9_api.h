// Our declarations of the D3DX 9 subset the program uses: shader compilation and texture fill.
#pragma once

#include "d3d9_api.h"

#define D3DXSHADER_DEBUG (1 << 0)
#define D3DXSHADER_SKIPVALIDATION (1 << 1)
#define D3DXSHADER_SKIPOPTIMIZATION (1 << 2)
#define D3DXSHADER_PACKMATRIX_ROWMAJOR (1 << 3)
#define D3DXSHADER_PACKMATRIX_COLUMNMAJOR (1 << 4)
#define D3DXSHADER_PARTIALPRECISION (1 << 5)
#define D3DXSHADER_AVOID_FLOW_CONTROL (1 << 9)
#define D3DXSHADER_PREFER_FLOW_CONTROL (1 << 10)
#define D3DXSHADER_OPTIMIZATION_LEVEL0 (1 << 14)
#define D3DXSHADER_OPTIMIZATION_LEVEL1 0
#define D3DXSHADER_OPTIMIZATION_LEVEL2 ((1 << 14) | (1 << 15))
#define D3DXSHADER_OPTIMIZATION_LEVEL3 (1 << 15)

#define D3DXERR_INVALIDDATA MAKE_D3DHRESULT(2905)

struct D3DXVECTOR2 { FLOAT x, y; };
struct D3DXVECTOR4 { FLOAT x, y, z, w; };

struct D3DXMACRO { LPCSTR Name; LPCSTR Definition; };

struct ID3DXBuffer : IUnknown {
    virtual LPVOID STDMETHODCALLTYPE GetBufferPointer() = 0;
    virtual DWORD STDMETHODCALLTYPE GetBufferSize() = 0;

protected:
    ~ID3DXBuffer() = default;
};

struct ID3DXInclude;        // the program passes none
struct ID3DXConstantTable;  // the program requests none

typedef ID3DXBuffer* LPD3DXBUFFER;
typedef ID3DXInclude* LPD3DXINCLUDE;
typedef ID3DXConstantTable* LPD3DXCONSTANTTABLE;

typedef VOID (WINAPI* LPD3DXFILL2D)(D3DXVECTOR4* pOut, const D3DXVECTOR2* pTexCoord, const D3DXVECTOR2* pTexelSize,
                                    LPVOID pData);

HRESULT WINAPI D3DXCompileShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                          LPCSTR pFunctionName, LPCSTR pProfile, DWORD Flags, LPD3DXBUFFER* ppShader,
                                          LPD3DXBUFFER* ppErrorMsgs, LPD3DXCONSTANTTABLE* ppConstantTable);
HRESULT WINAPI D3DXFillTexture(LPDIRECT3DTEXTURE9 pTexture, LPD3DXFILL2D pFunction, LPVOID pData);
