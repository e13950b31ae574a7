// A float4x4 read through (float3x3) and one component reads one column: one register, at c0.
//! const: c0 7 0 0 0
//! constants: 3
//! pixel: 0 0 7 2 1 1
float4 k : register(c1);
float4x4 m;
float4 y;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float3x3 r = (float3x3)m;
    return float4(r[0].x, y.x, k.x, 1);
}
