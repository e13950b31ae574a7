// A sphere warp as media-player post-processing shaders write it. Nothing is bound to s0 here, so
// the sample reads (0, 0, 0, 1) and the pixel shows the lookup. Expected: the steps in float with
// asin as the compiler's polynomial and the division as rcp(b) * a (the exact asin gives
// a = 0.2587081 at this pixel).
//! entry: main
//! tolerance: 0.000005
//! pixel: 5 3 0.6227291 0.4590903 0.2587357 1
//! pixel: 7 1 0 0 0 1
sampler2D s0 : register(s0);
float4 main(float2 tex : TEXCOORD0) : COLOR
{
    float2 d = tex * 2 - 1;
    float r = length(d);
    float a = asin(saturate(r)) / 1.57079633;   // 0 at the centre, 1 at the rim
    float2 uv = 0.5 + d * (a / max(r, 0.0001)) * 0.5;
    float4 c = tex2D(s0, uv);
    return r < 1 ? float4(uv, a, c.a) : float4(0, 0, 0, 1);
}
