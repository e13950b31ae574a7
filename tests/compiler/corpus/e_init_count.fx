// A list with too few or too many components is an error at the declared name.
//! result: error
//! message: main.fx(5,21): error: 'samples' : the initialiser list holds 3 components where the type takes 4
//! message: main.fx(6,12): error: 'v' : the initialiser list holds 5 components where the type takes 4
static const float2 samples[2] = { 1, 2, 3 };
    float4 v = { 1, 2, 3, 4, 5 };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return samples[0].xyxy; }
