// log, log2, pow, sqrt and rsqrt take |x| in ps_3_0: sqrt(-4) = 2, log(-e) = 1, log2(-8) = 3,
// pow(-2, 3) = |-2|^3 = 8, rsqrt(-4) = 0.5, log10(-100) = log2(100) * log10(2) = 2.
//! const: c0 -4 -2.718281828 -8 -2
//! pixel: 0 0 2 1 3 8
//! pixel: 1 0 0.5 2 0 1
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    if (uv.x < 0.125) return float4(sqrt(c.x), log(c.y), log2(c.z), pow(c.w, 3));
    return float4(rsqrt(c.x), log10(c.x * 25), 0, 1);
}
