// A static initialised by a call and assigned later: its value is computed once, at the start of
// the entry point, and the assignment changes it (K = 1 + 0.5, then K += uv.x with uv.x = 1/16).
//! pixel: 0 0 1.5625 1.5625 1.5625 1.5625
float f(float x) { return x * 2; }
static float K = 1 + f(0.25);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { K += uv.x; return K; }
