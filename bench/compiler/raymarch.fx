// A ~200-line ray marcher in Direct3D 9 style: signed distance fields, soft shadows,
// ambient occlusion, fog and a tone-mapping final pass.
float time : register(c0);
sampler2D scene : register(s0);
sampler2D noise_tex : register(s1);

static const float PI = 3.14159265;
static const int MAX_STEPS = 96;
static const float MAX_DIST = 40.0;
static const float EPSILON = 0.001;

struct Hit
{
    float dist;
    float material;
};

float2x2 rot(float a)
{
    float c = cos(a);
    float s = sin(a);
    return float2x2(c, -s, s, c);
}

float hash(float2 p)
{
    p = frac(p * float2(123.34, 456.21));
    p += dot(p, p + 45.32);
    return frac(p.x * p.y);
}

float value_noise(float2 p)
{
    float2 i = floor(p);
    float2 f = frac(p);
    float2 u = f * f * (3.0 - 2.0 * f);
    float a = hash(i);
    float b = hash(i + float2(1, 0));
    float c = hash(i + float2(0, 1));
    float d = hash(i + float2(1, 1));
    return lerp(lerp(a, b, u.x), lerp(c, d, u.x), u.y);
}

float fbm(float2 p)
{
    float sum = 0.0;
    float amp = 0.5;
    for (int i = 0; i < 5; i++)
    {
        sum += amp * value_noise(p);
        p = mul(rot(0.5), p) * 2.03;
        amp *= 0.5;
    }
    return sum;
}

float sd_sphere(float3 p, float r)
{
    return length(p) - r;
}

float sd_box(float3 p, float3 b)
{
    float3 q = abs(p) - b;
    return length(max(q, 0.0)) + min(max(q.x, max(q.y, q.z)), 0.0);
}

float sd_torus(float3 p, float2 t)
{
    float2 q = float2(length(p.xz) - t.x, p.y);
    return length(q) - t.y;
}

float smooth_min(float a, float b, float k)
{
    float h = saturate(0.5 + 0.5 * (b - a) / k);
    return lerp(b, a, h) - k * h * (1.0 - h);
}

Hit scene_sdf(float3 p)
{
    Hit h;
    float ground = p.y + 1.0 + 0.1 * fbm(p.xz * 0.5);
    float3 q = p - float3(0, 0.2 * sin(time), 0);
    q.xz = mul(rot(time * 0.3), q.xz);
    float blob = smooth_min(sd_sphere(q, 0.8), sd_box(q - float3(1.2, 0, 0), float3(0.4, 0.4, 0.4)), 0.3);
    float ring = sd_torus(p - float3(0, -0.5, 0), float2(2.0, 0.15));
    h.dist = ground;
    h.material = 0.0;
    if (blob < h.dist) { h.dist = blob; h.material = 1.0; }
    if (ring < h.dist) { h.dist = ring; h.material = 2.0; }
    return h;
}

float3 normal_at(float3 p)
{
    float2 e = float2(EPSILON, 0);
    float d = scene_sdf(p).dist;
    return normalize(float3(scene_sdf(p + e.xyy).dist - d,
                            scene_sdf(p + e.yxy).dist - d,
                            scene_sdf(p + e.yyx).dist - d));
}

Hit march(float3 ro, float3 rd)
{
    Hit result;
    result.dist = 0.0;
    result.material = -1.0;
    for (int i = 0; i < MAX_STEPS; i++)
    {
        Hit h = scene_sdf(ro + rd * result.dist);
        if (h.dist < EPSILON)
        {
            result.material = h.material;
            break;
        }
        result.dist += h.dist;
        if (result.dist > MAX_DIST) break;
    }
    return result;
}

float soft_shadow(float3 ro, float3 rd, float k)
{
    float res = 1.0;
    float t = 0.02;
    for (int i = 0; i < 32; i++)
    {
        float h = scene_sdf(ro + rd * t).dist;
        res = min(res, k * h / t);
        t += clamp(h, 0.02, 0.5);
        if (res < 0.001 || t > 10.0) break;
    }
    return saturate(res);
}

float ambient_occlusion(float3 p, float3 n)
{
    float occ = 0.0;
    float scale = 1.0;
    for (int i = 1; i <= 5; i++)
    {
        float h = 0.03 * i;
        occ += (h - scene_sdf(p + n * h).dist) * scale;
        scale *= 0.7;
    }
    return saturate(1.0 - 3.0 * occ);
}

float3 material_color(float m, float3 p)
{
    if (m < 0.5)
    {
        float checker = fmod(floor(p.x) + floor(p.z), 2.0);
        return lerp(float3(0.2, 0.2, 0.25), float3(0.5, 0.5, 0.55), abs(checker));
    }
    if (m < 1.5) return float3(0.9, 0.3, 0.2);
    return float3(0.2, 0.6, 0.9);
}

float3 shade(float3 ro, float3 rd, Hit h)
{
    float3 sky = lerp(float3(0.6, 0.7, 0.9), float3(0.2, 0.3, 0.6), saturate(rd.y * 2.0));
    if (h.material < 0.0) return sky;
    float3 p = ro + rd * h.dist;
    float3 n = normal_at(p);
    float3 light = normalize(float3(0.6, 0.8, -0.4));
    float diffuse = saturate(dot(n, light)) * soft_shadow(p + n * 0.01, light, 12.0);
    float specular = pow(saturate(dot(reflect(rd, n), light)), 32.0);
    float ao = ambient_occlusion(p, n);
    float3 albedo = material_color(h.material, p);
    float3 color = albedo * (0.15 * ao + diffuse) + specular * 0.4;
    float fog = 1.0 - exp(-0.02 * h.dist * h.dist);
    return lerp(color, sky, fog);
}

float3 camera_ray(float2 uv, float3 ro, float3 target)
{
    float3 forward = normalize(target - ro);
    float3 right = normalize(cross(float3(0, 1, 0), forward));
    float3 up = cross(forward, right);
    float2 p = (uv - 0.5) * float2(16.0 / 9.0, -1.0);
    return normalize(forward * 1.5 + right * p.x + up * p.y);
}

float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float angle = time * 0.2;
    float3 ro = float3(5.0 * sin(angle), 1.5, 5.0 * cos(angle));
    float3 rd = camera_ray(uv, ro, float3(0, 0, 0));
    Hit h = march(ro, rd);
    float3 color = shade(ro, rd, h);
    float grain = tex2D(noise_tex, uv * 8.0).x * 0.02;
    return float4(color + grain, 1.0);
}

float3 tonemap(float3 x)
{
    return saturate((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14));
}

float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0
{
    float3 color = tex2D(scene, uv).rgb;
    float2 d = uv - 0.5;
    float vignette = 1.0 - dot(d, d) * 0.8;
    color = tonemap(color * vignette);
    return float4(pow(color, 1.0 / 2.2), 1.0);
}
