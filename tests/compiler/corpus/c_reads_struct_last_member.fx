// A struct read by its last member keeps all its registers: it cannot fit below c1, goes to c2 to
// c4, and y takes c0.
//! const: c0 7 0 0 0
//! constants: 5
//! pixel: 0 0 4 7 1 1
struct S { float4 a, b, c; };
float4 k : register(c1);
S s;
float4 y;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(s.c.x, y.x, k.x, 1); }
