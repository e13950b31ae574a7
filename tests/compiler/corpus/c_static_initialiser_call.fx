// Statics initialised by calls of user functions, and a function returning const.
//! pixel: 0 0 0.5 1.5 0.25 1
float f(float x) { return x * 2; }
const float3 g(float x) { return float3(x, x + 1, x / 2); }
static const float K = f(0.25);
static float3 V = g(K);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(K, V.y, V.z, 1); }
