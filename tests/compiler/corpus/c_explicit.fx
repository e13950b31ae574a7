//! glsl: return fx_c[5];
//! constants: 6
//! const: c5 0.5 1.5 2.5 3.5
//! pixel: 0 0 0.5 1.5 2.5 3.5
float4 a : register(c5);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return a; }
