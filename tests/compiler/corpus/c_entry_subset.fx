// Registers are assigned per entry point: ps_main_f uses only "tint", which gets c0.
//! entry: ps_main_f
//! glsl: fx_c[0]
//! constants: 1
//! pixel: 0 0 0 0.25 0.5 0.75
float time;
float4 tint;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return time; }
float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tint; }
