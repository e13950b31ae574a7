// A row_major matrix keeps a row per register: read by its first row, it takes one, at c0.
//! const: c0 7 0 0 0
//! constants: 3
//! pixel: 0 0 7 2 1 1
float4 k : register(c1);
row_major float4x4 m;
float4 y;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(m[0].x, y.x, k.x, 1); }
