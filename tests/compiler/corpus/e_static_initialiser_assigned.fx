//! result: error
//! message: main.fx(4,22): error: 'K' : a static initialised by a call of 'f' is supported only when declared alone on its line and never assigned
float f(float x) { return x * 2; }
static float K = 1 + f(0.25);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { K += uv.x; return K; }
