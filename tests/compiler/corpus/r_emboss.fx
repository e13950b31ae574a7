// Emboss: grey plus the difference of two diagonal taps. Unbound taps cancel: 0.5 grey.
//! pixel: 4 4 0.5 0.5 0.5 1
sampler2D scene : register(s0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    const float2 d = float2(1.0 / 1280, 1.0 / 720);
    float4 c = 0.5 + (tex2D(scene, uv - d) - tex2D(scene, uv + d)) * 2.0;
    float grey = dot(c.rgb, float3(0.3, 0.59, 0.11));
    return float4(grey.xxx, 1);
}
