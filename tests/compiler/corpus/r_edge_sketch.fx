// An edge sketch from a game-SDK sample, with uniform parameters: `invert` reads false, and
// `threshold` takes c0 (0 in this test). Flat unbound input has no edges: white paper.
//! const: c0 0 0 0 0
//! constants: 1
//! pixel: 6 1 1 1 1 1
sampler2D scene : register(s0);
float4 ps_main(float2 uv : TEXCOORD0, uniform bool invert, uniform float threshold) : COLOR0
{
    const float2 px = float2(1.0 / 1280, 1.0 / 720);
    const float3 lum = float3(0.299, 0.587, 0.114);
    float gx = dot(tex2D(scene, uv + float2(px.x, 0)).rgb - tex2D(scene, uv - float2(px.x, 0)).rgb, lum);
    float gy = dot(tex2D(scene, uv + float2(0, px.y)).rgb - tex2D(scene, uv - float2(0, px.y)).rgb, lum);
    float edge = saturate(sqrt(gx * gx + gy * gy) * 4);
    float ink = edge > threshold ? 1 - edge : 1;
    if (invert) ink = 1 - ink;
    return float4(ink.xxx, 1);
}
