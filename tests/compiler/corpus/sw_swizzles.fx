// Swizzles: .xyzw and .rgba in any order, as write masks too; matrices by ._mRC (from 0) and
// ._RC (from 1), several components at once.
//! pixel: 0 0 7 2 1 20
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float4 v = float4(1, 2, 3, 4);
    float4x4 m = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 };
    float4 r = v.bgra;
    r.xz = m._m12_11;
    return float4(r.x, r.y, r.z, m._44 + v.a);
}
