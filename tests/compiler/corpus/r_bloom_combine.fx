// Bloom combine in the style of game samples: scene and bloom, saturation, intensity, gamma. The
// test sets c2 = 2 and c3 = 3; unbound textures read (0, 0, 0, 1): bloom is lerp(0, 1, 1.3) * 2 = 2.6
// in alpha, base becomes (0, 0, 0, 0), and the gamma step gives 2.6^(1/3) = 1.3750688 in alpha.
//! const: c2 2 0 0 0
//! const: c3 3 0 0 0
//! pixel: 3 5 0 0 0 1.3750688
sampler2D Scene : register(s0);
sampler2D Bloom : register(s1);
float BloomIntensity : register(c2);
float Gamma : register(c3);
float4 AdjustSaturation(float4 color, float saturation)
{
    float grey = dot(color.rgb, float3(0.3, 0.59, 0.11));
    return lerp(grey, color, saturation);
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float4 base = AdjustSaturation(tex2D(Scene, uv), 1.0);
    float4 bloom = AdjustSaturation(tex2D(Bloom, uv), 1.3) * BloomIntensity;
    base *= 1 - saturate(bloom);
    return pow(base + bloom, 1 / Gamma);
}
