// An SV_POSITION input is the pixel position, as VPOS: pixel (3, 5) reads (3, 5).
//! pixel: 3 5 3 5 0.4375 1
//! pixel: 0 0 0 0 0.0625 1
float4 ps_main(float2 uv : TEXCOORD0, float4 pos : SV_POSITION) : COLOR0
{
    return float4(pos.xy, uv.x, 1);
}
