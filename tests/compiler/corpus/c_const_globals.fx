// A global const that is not static is a constant register like any global: k takes c0 (the time,
// 0.125 here), tint c1 (0), after c2 (0.5); their initialisers are not applied, and a warning says
// so. Only static const folds (0.25).
//! const: c0 0.125 0 0 0
//! const: c1 0 0 0 0
//! const: c2 0.5 0 0 0
//! constants: 3
//! message: main.fx(14,13): warning: 'k' : a global that is not static is a constant register on Direct3D 9 and reads what the program sets there (0, or the time in c0.x); its initialiser is not applied. Declare it static const to use its value
//! message: main.fx(15,22): warning: 'tint'
//! not-message: 'half_value'
//! not-message: 'after'
//! pixel: 0 0 0.125 0.25 0.5 1
//! glsl: fx_c[2]
const float k = 0.5;
uniform const float3 tint = {0.25, 0.5, 0.75};
static const float half_value = 0.25;
float4 after;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(k, tint.x + half_value, after.x + tint.y, 1); }
