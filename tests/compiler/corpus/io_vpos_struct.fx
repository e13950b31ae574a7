//! glsl: gl_FragCoord
//! input: fx_in_TEXCOORD0 vec2 TEXCOORD 0
//! inputs: 1
//! pixel: 6 1 6 1 0.8125 1
struct PSIn { float2 uv : TEXCOORD0; float2 pos : VPOS; };
float4 ps_main(PSIn i) : COLOR0 { return float4(i.pos, i.uv.x, 1); }
