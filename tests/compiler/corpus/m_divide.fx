// a / b is rcp(b) * a: x / 0 is +-infinity and 0 / 0 is NaN, never 0.
//! const: c0 3 -3 0 0
//! glsl: (1.0 /
//! pixel: 0 0 inf -inf nan 1.5
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(c.x / c.z, c.y / c.w, c.z / c.w, c.x / 2);
}
