// Registers named through macros and conditional code.
#define TIME_REG c7
#if 1
float4 t : register(TIME_REG);
#else
float4 t : register(c0);
#endif
//! glsl: fx_c[7]
//! constants: 8
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return t; }
