//! glsl: fx_c[0] + fx_c[1]
//! constants: 2
//! pixel: 0 0 1 1.5 2 2.5
float4 t : register(c0);
float4 u;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return t + u; }
