// ldexp(x, e) = x * 2^e; GLSL 330 has no ldexp of its own.
//! const: c0 3 2 -1 0.5
//! pixel: 0 0 12 -0.5 1.5 1
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(ldexp(c.x, c.y), ldexp(c.z, c.z), ldexp(c.x, c.z), 1);
}
