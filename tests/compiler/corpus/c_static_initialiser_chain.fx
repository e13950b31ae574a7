// Statics computed by chains of user functions, as colour-space shaders write their matrices: one
// function gives two of them, a third is computed from those two. No recursion anywhere.
// a = rows (1, 0, 1), (0, 1, 1), (0, 0, 1); b = rows (0.5, 0, 1), (0, 0.5, 1), (0, 0, 1);
// c = a * b = rows (0.5, 0, 2), (0, 0.5, 2), (0, 0, 1); c * (1, 0.5, 0.25) = (1, 0.75, 0.25).
//! pixel: 0 0 1 0.75 0.25 1
float3 point_of(float2 xy) { return float3(xy.x, xy.y, 1); }
float3x3 gamut(float2 r, float2 g, float2 b) { return float3x3(point_of(r), point_of(g), point_of(b)); }
static const float3x3 a = gamut(float2(1, 0), float2(0, 1), float2(0, 0));
static const float3x3 b = gamut(float2(0.5, 0), float2(0, 0.5), float2(0, 0));
static const float3x3 c = mul(a, b);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(mul(c, float3(1, 0.5, 0.25)), 1);
}
