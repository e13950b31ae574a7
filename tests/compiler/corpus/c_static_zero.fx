// Statics without an initialiser start at 0, as on Direct3D 9: scalars, vectors, matrices,
// arrays and structs, global or a function's own, and beside a static the entry point computes
// first (computed = 1). The function's static counts its calls within the pixel: 2 after two.
// A local gets no initialiser. Pixel (1, 0) has uv.x = 0.1875.
//! not-glsl: t = vec4(0.0)
//! pixel: 1 0 0.25 0.1875 2 1
//! pixel: 7 7 0.25 0.9375 2 1
struct S { float2 p; float q; };
static float s;
static float4 k;
static float3x3 m;
static float a[3];
static S st;
float twice(float x) { return x * 2; }
static float computed = twice(0.5), after;
float calls()
{
    static float n;
    n += 1;
    return n;
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float4 t;
    if (uv.x > 2) t = 1;  // never
    a[1] += uv.x;
    calls();
    float4 value = float4(0.25 + s + m[2].z + a[2] + st.q + st.p.y + after, a[1], calls(), computed);
    return k + value + (uv.x > 2 ? t : 0);
}
