// POSITION0, where a vertex shader's position went, reads as the pixel position too; an input
// struct shared with a vertex shader compiles whether or not the pixel shader reads it.
//! pixel: 3 5 3 5 0.4375 1
//! input: fx_in_TEXCOORD0 vec2 TEXCOORD 0
//! inputs: 1
struct VS_OUTPUT
{
    float4 Position : POSITION;
    float2 uv : TEXCOORD0;
};
float4 ps_main(VS_OUTPUT i) : COLOR0
{
    return float4(i.Position.xy, i.uv.x, 1);
}
