// Every entry point starts its statics at 0, whatever another entry point writes to them:
// ps_main_f reads (0.25, 0.5, 0.75, 1) where Direct3D 9 gives (64, 128, 191, 255) on the window.
//! entry: ps_main_f
//! pixel: 0 0 0.25 0.5 0.75 1
//! pixel: 5 3 0.25 0.5 0.75 1
static float4 k;
static int count;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { k = 7; count = 3; return k; }
float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return k + float4(0.25, 0.5, 0.75, 1) + count; }
