// fxview example: five orbs and a sprinkle of stars rendered in floating point, then
// tone-mapped to the screen. Edit, save, press F5.

float time : register(c0);        // seconds since the first frame (c0.x)
sampler2D scene : register(s0);   // the float scene target, read by the final pass
sampler2D noise : register(s1);   // 32 x 32 random vectors, length 0 to 0.1

static const float2 SCREEN = float2(1280, 720);

// Light from a point: far above 1 near the centre, which the float target keeps.
float3 orb(float2 p, float2 centre, float3 colour)
{
    float2 d = p - centre;
    float r2 = dot(d, d);
    return colour * 0.004 / (r2 + 0.0004) * exp(-12.0 * r2);
}

float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float2 p = (uv - 0.5) * float2(SCREEN.x / SCREEN.y, 1.0);

    float3 c = float3(0.015, 0.02, 0.05) * (1.5 - uv.y);
    for (int i = 0; i < 5; i++) {
        float k = i;
        float2 centre = float2(0.55 * sin(time * (0.31 + 0.07 * k) + 1.7 * k),
                               0.32 * cos(time * (0.23 + 0.05 * k) + 2.3 * k));
        float3 colour = 0.55 + 0.45 * cos(1.3 * k + float3(0.0, 2.1, 4.2));
        c += orb(p, centre, colour);
    }

    // Stars: two noise tiles of different sizes, so the pattern repeats only every 928 pixels;
    // a star shines where both vectors are nearly as long as they get.
    float a = length(tex2D(noise, uv * SCREEN / 32.0).xyz) / 0.1;
    float b = length(tex2D(noise, uv * SCREEN / 29.0 + 0.37).xyz) / 0.1;
    float star = pow(saturate(a * b), 60.0);
    float twinkle = 0.5 + 0.5 * sin(time * 3.0 + a * 40.0);
    c += star * twinkle * 8.0;

    return float4(c, 1.0);
}

float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0
{
    // A soft glow from a few wider taps of the float scene.
    float3 hdr = tex2D(scene, uv).rgb;
    float3 glow = 0;
    for (int i = 0; i < 8; i++) {
        float a = i * 0.785398;
        float2 offset = float2(cos(a), sin(a)) * float2(12.0 / SCREEN.x, 12.0 / SCREEN.y);
        glow += tex2D(scene, uv + offset).rgb;
    }
    hdr += glow * 0.03;

    float3 mapped = hdr / (1.0 + hdr);            // Reinhard: any brightness fits
    mapped = pow(mapped, 1.0 / 2.2);
    float2 q = uv - 0.5;
    mapped *= 1.0 - 0.6 * dot(q, q);              // vignette
    return float4(mapped, 1.0);
}
