// Statics computed by chains of user functions, one of them from two others, as colour-space
// shaders write their matrices: no recursion anywhere, the values in declaration order.
// both = diag(0.5) * diag(0.5) = diag(0.25); both * (1, 2, 3) = (0.25, 0.5, 0.75).
//! pixel: 0 0 0.25 0.5 0.75 1
float3x3 scale(float s) { return float3x3(s, 0, 0, 0, s, 0, 0, 0, s); }
float3x3 combine(float3x3 a, float3x3 b) { return mul(a, b); }
static const float3x3 to_xyz = scale(0.5);
static const float3x3 from_xyz = scale(0.5);
static const float3x3 both = combine(to_xyz, from_xyz);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(mul(both, float3(1, 2, 3)), 1);
}
