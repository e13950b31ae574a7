// A column-major float4x4 holds one column per register, c0..c3; v follows in c4.
//! glsl: mat4(fx_c[0], fx_c[1], fx_c[2], fx_c[3])
//! constants: 5
//! const: c0 1 2 3 4
//! const: c1 5 6 7 8
//! const: c2 9 10 11 12
//! const: c3 13 14 15 16
//! const: c4 1 0 0 0
//! pixel: 0 0 1 2 3 4
float4x4 m;
float4 v;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return mul(m, v); }
