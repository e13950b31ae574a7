// Matrices fill row by row, whatever the packing; a vector may run on into the next row.
//! pixel: 0 0 2 3 3 6
static const float2x2 m = { 1, 2, 3, 4 };
static const row_major float3x2 n = { float3(1, 2, 3), float2(4, 5), 6 };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(m[0].y, m._21, n[1].x, n._32);
}
