// sin, cos and tan of the reduced argument r = frac(x * 0.159154937 + 0.5) * 6.28318548 - 3.14159274,
// each step in float. Expected: that formula in float for x = 100000 and -54321 (the exact sines
// are 0.035749 and -0.274984).
//! const: c0 100000 -54321 0 0
//! tolerance: 0.00002
//! pixel: 0 0 0.0368072 -0.2785197 -0.9993224 -0.9604305
//! pixel: 1 0 -0.0368322 0 0 1
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    if (uv.x < 0.125) return float4(sin(c.x), sin(c.y), cos(c.x), cos(c.y));
    float s, k;
    sincos(c.x, s, k);
    return float4(tan(c.x), s - sin(c.x), k - cos(c.x), 1);
}
