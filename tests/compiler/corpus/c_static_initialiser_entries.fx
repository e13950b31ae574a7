// Both entry points run the statics' initialisers, several declarators on one line and arrays too.
// w = {0.25, 0.5}; k = 0.75.
//! entry: ps_main_f
//! pixel: 0 0 0.25 0.5 0.75 1
float half_of(float v) { return v * 0.5; }
static float w[2] = { half_of(0.5), half_of(1) }, k = half_of(1.5);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return w[0]; }
float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return float4(w[0], w[1], k, 1); }
