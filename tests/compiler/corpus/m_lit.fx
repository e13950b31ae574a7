// lit(n.l, n.h, m) = (1, max(n.l, 0), n.l < 0 || n.h < 0 ? 0 : n.h^m, 1).
//! const: c0 0.5 0.5 3 -0.25
//! pixel: 0 0 1 0.5 0.125 1
//! pixel: 1 0 1 0 0 1
//! pixel: 2 0 1 0.5 0 1
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    if (uv.x < 0.125) return lit(c.x, c.y, c.z);
    if (uv.x < 0.25) return lit(c.w, c.y, c.z);
    return lit(c.x, c.w, c.z);
}
