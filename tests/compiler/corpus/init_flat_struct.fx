// A flat list fills a struct member by member; values can be any expression.
//! pixel: 1 2 0.1875 0.3125 0.5 1
struct S { float3 c; float w; };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    S s = { uv.x, uv.y, 0.5, 1 };
    return float4(s.c, s.w);
}
