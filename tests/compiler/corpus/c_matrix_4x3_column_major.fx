// column_major float4x3: three columns, three registers; the next global lands in c3.
//! constants: 4
//! glsl: fx_c[3]
//! const: c0 1 2 3 4
//! const: c1 5 6 7 8
//! const: c2 9 10 11 12
//! const: c3 0 1 0 0
//! pixel: 0 0 5 6 7 8
float4x3 m;
float3 v;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return mul(m, v); }
