// row_major float3x4: three rows, three registers; the next global lands in c3.
//! constants: 4
//! glsl: fx_c[3]
//! const: c0 1 2 3 4
//! const: c1 5 6 7 8
//! const: c2 9 10 11 12
//! const: c3 0 1 0 0
//! pixel: 0 0 2 6 10 1
row_major float3x4 m;
float4 v;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(mul(m, v), 1); }
