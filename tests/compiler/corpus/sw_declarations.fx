// Declaration forms: several declarators with a register and an array, a struct type declared with
// its instance, a typedef of an array, casts that truncate a matrix and widen a scalar, a static local.
//! constants: 6
//! pixel: 0 0 7.75 4 4 8.5
float4 a, b : register(c5), c[2];
struct Light { float3 dir; float power; } light;
typedef float2 pair[2];
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    static float k = 1;
    pair p = { 1, 2, 3, 4 };
    float4x4 m4 = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 };
    float3x3 m3 = (float3x3)m4;
    float3 v = (float3)0.5;
    return float4(a.x + b.y + c[1].z, light.power, p[1].y, m3[1].z + v.x + k);
}
