// Matrices fill row by row, whatever the packing, and are read row by row in a list; a vector may
// run on into the next row.
//! pixel: 0 0 2 3 3 10
static const float2x2 m = { 1, 2, 3, 4 };
static const row_major float3x2 n = { float3(1, 2, 3), float2(4, 5), 6 };
static const float2 rows[2] = { m };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(m[0].y, m._21, n[1].x, n._32 + rows[1].y);
}
