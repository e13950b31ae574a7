// Constant arguments fold with the dividend's sign too.
//! glsl: -0.5
//! pixel: 0 0 -0.5 0.5 -1 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(fmod(-1.5, 1.0), fmod(2.5, -2.0), fmod(float2(-3, 1), 2.0).x, 1); }
