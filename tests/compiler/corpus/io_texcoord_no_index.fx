// TEXCOORD without an index is TEXCOORD0.
//! input: fx_in_TEXCOORD0 vec2 TEXCOORD 0
//! inputs: 1
//! pixel: 1 0 0.1875 0.0625 0 1
float4 ps_main(float2 uv : TEXCOORD) : COLOR { return float4(uv, 0, 1); }
