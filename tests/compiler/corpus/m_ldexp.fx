// ldexp(x, e) = x * 2^e, and frexp(x, e) = x * 2^-e with e = floor(log2 |x|) + 1 (0 for 0); GLSL
// 330 has neither.
//! const: c0 3 2 -1 0.5
//! pixel: 0 0 12 -0.5 1.5 1
//! pixel: 1 0 0.75 4 -0.5 0
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    if (uv.x < 0.125) return float4(ldexp(c.x, c.y), ldexp(c.z, c.z), ldexp(c.x, c.z), 1);
    float e, z;
    float m = frexp(c.x * 4, e);
    float n = frexp(c.z, z);
    return float4(m, e, n, z - 1);
}
