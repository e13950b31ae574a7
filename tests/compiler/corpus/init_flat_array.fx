// A flat list fills an array of vectors element by element, global or local.
//! pixel: 0 0 3 4 5 6
static const float2 samples[2] = { 1, 2, 3, 4 };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float2 local[2] = { 5, 6, 7, 8 };
    return float4(samples[1], local[0]);
}
