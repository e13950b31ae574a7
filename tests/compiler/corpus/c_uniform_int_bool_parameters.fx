// Uniform parameters of the entry point: bool and int ones read false and 0, float ones take c
// registers like globals.
//! constants: 1
//! pixel: 1 1 0 0.25 0.5 0.75
float4 ps_main(float2 uv : TEXCOORD0, uniform bool invert, uniform int count, uniform float4 tint) : COLOR0
{
    return invert ? 1 - tint : tint * (count + 1);
}
