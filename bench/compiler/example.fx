// A viewer-sized main.fx: an animated pattern over the noise texture, then a soft final pass.
float time : register(c0);
sampler2D scene : register(s0);
sampler2D noise_tex : register(s1);

float3 palette(float t)
{
    return 0.5 + 0.5 * cos(6.28318 * (t + float3(0.0, 0.33, 0.67)));
}

float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float2 p = (uv - 0.5) * float2(16.0 / 9.0, 1.0) * 4.0;
    float d = length(p);
    float a = atan2(p.y, p.x);
    float rings = sin(d * 6.0 - time * 2.0);
    float spokes = sin(a * 8.0 + time);
    float4 n = tex2D(noise_tex, uv * 4.0 + time * 0.05);
    float v = rings * spokes + n.x * 0.3;
    float3 color = palette(v * 0.5 + time * 0.1) * smoothstep(3.5, 0.5, d);
    return float4(color, 1.0);
}

float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0
{
    float2 texel = float2(1.0 / 1280.0, 1.0 / 720.0);
    float4 sum = 0;
    for (int y = -1; y <= 1; y++)
    {
        for (int x = -1; x <= 1; x++)
        {
            sum += tex2D(scene, uv + float2(x, y) * texel);
        }
    }
    float4 centre = tex2D(scene, uv);
    float4 color = lerp(sum / 9.0, centre, 0.6);
    float2 d = uv - 0.5;
    color.rgb *= 1.0 - dot(d, d);
    return float4(saturate(color.rgb), 1.0);
}
