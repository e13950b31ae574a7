// A vector value is split across the elements it reaches; unsized arrays take the list's length.
//! pixel: 0 0 3 4 7 8
//! pixel: 1 0 5 6 1 2
static const float2 offsets[] = { 1, 2, 3, 4, 5, 6 };
float4 ps_main(float2 uv : TEXCOORD0, float2 pos : VPOS) : COLOR0
{
    float3 a = float3(1, 2, 3);
    float2 pairs[4] = { a, float4(4, 5, 6, 7), 8 };
    return pos.x < 0.5 ? float4(pairs[1], pairs[3]) : float4(offsets[2], offsets[0]);
}
