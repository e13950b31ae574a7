// mul with a local matrix both ways, and float3x3 built row by row.
//! pixel: 0 0 14 32 50 1
//! pixel: 1 0 30 36 42 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float3x3 m = float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);
    float3 v = float3(1, 2, 3);
    float3 r = uv.x < 0.125 ? mul(m, v) : mul(v, m);
    return float4(r, 1);
}
