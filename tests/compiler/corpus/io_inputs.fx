// Inputs come back with their semantics; lower-case semantics are the same semantics.
//! input: fx_in_TEXCOORD0 vec4 TEXCOORD 0
//! input: fx_in_TEXCOORD3 vec2 TEXCOORD 3
//! input: fx_in_COLOR0 vec4 COLOR 0
//! input: fx_in_COLOR1 float COLOR 1
//! inputs: 4
//! pixel: 0 0 0.0625 0 1 0
struct PSIn
{
    float4 uv : TEXCOORD0;
    float2 extra : texcoord3;
    float4 diffuse : COLOR0;
    float specular : COLOR1;
};
float4 ps_main(PSIn i) : COLOR0 { return float4(i.uv.x, i.extra.x, i.diffuse.x, i.specular); }
