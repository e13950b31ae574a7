// row_major: one row per register, so mul(m, v) with v = (1,0,0,0) reads the registers' x.
//! constants: 5
//! const: c0 1 2 3 4
//! const: c1 5 6 7 8
//! const: c2 9 10 11 12
//! const: c3 13 14 15 16
//! const: c4 1 0 0 0
//! pixel: 0 0 1 5 9 13
row_major float4x4 m;
float4 v;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return mul(m, v); }
