// Unbound globals take the lowest free registers around an explicit one.
//! glsl: (fx_c[1] + fx_c[0]) + fx_c[2]
//! constants: 3
//! pixel: 0 0 3 3.75 4.5 5.25
float4 x : register(c1);
float4 y;
float4 z;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return x + y + z; }
