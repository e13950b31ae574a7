// An unsharp-mask sharpen with a gamma step, media-player style. Unbound, every tap reads
// (0, 0, 0, 1): the colour stays 0, alpha (1 + 4k) - 4k = 1.
//! entry: main
//! pixel: 2 2 0 0 0 1
sampler s0 : register(s0);
float4 p1 : register(c1);
#define width (p1[0])
#define height (p1[1])
static const float k = 0.6;
float4 main(float2 tex : TEXCOORD0) : COLOR
{
    float dx = 1 / width, dy = 1 / height;
    float4 c = tex2D(s0, tex) * (1 + 4 * k);
    c -= k * (tex2D(s0, tex + float2(dx, 0)) + tex2D(s0, tex - float2(dx, 0)) +
              tex2D(s0, tex + float2(0, dy)) + tex2D(s0, tex - float2(0, dy)));
    c.rgb = pow(saturate(c.rgb), 1 / 2.2);
    return c;
}
