// A struct read only by its first member takes that member's register, at c0.
//! const: c0 7 0 0 0
//! constants: 3
//! pixel: 0 0 7 2 1 1
struct S { float4 a, b, c; };
float4 k : register(c1);
S s;
float4 y;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(s.a.x, y.x, k.x, 1); }
