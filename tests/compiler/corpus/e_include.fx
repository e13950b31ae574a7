//! result: error
//! message: main.fx(3,1): error: '#include' : cannot include "common.fxh": shaders are compiled without an include handler
#include "common.fxh"
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return 1; }
