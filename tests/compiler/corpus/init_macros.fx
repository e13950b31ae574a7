// Sizes and values written with macros.
//! pixel: 0 0 -0.5 0.5 1 1.5
#define COUNT 2
#define HALF 0.5
static const float2 offsets[COUNT] = { -HALF, HALF, HALF * 2, 1 + HALF };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(offsets[0], offsets[1]);
}
