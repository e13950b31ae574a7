// An array input takes one semantic index an element, from the index it names on: tc is
// TEXCOORD0 and TEXCOORD1, w TEXCOORD2 to TEXCOORD4. The quad gives only TEXCOORD0; the other
// registers read 0, as a missing input does. Pixel (1, 2) has uv = (0.1875, 0.3125).
//! inputs: 5
//! input: fx_in_TEXCOORD0 vec2 TEXCOORD 0
//! input: fx_in_TEXCOORD1 vec2 TEXCOORD 1
//! input: fx_in_TEXCOORD2 float TEXCOORD 2
//! input: fx_in_TEXCOORD4 float TEXCOORD 4
//! pixel: 1 2 0.1875 0.3125 0.1875 0
//! pixel: 7 0 0.9375 0.0625 0.9375 0
float4 ps_main(float2 tc[2] : TEXCOORD0, float w[3] : TEXCOORD2) : COLOR0
{
    float2 sum = 0;
    for (int k = 0; k < 2; ++k) sum += tc[k];
    return float4(sum, tc[0].x + tc[1].y, w[0] + w[1] + w[2]);
}
