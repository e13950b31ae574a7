#define SCALE 2.0
#define SQ(x) ((x) * (x))
#define MIX(a, b, t) lerp(a, b, t)
#define CAT(a, b) a ## b
#define STR(x) #x
#define CALL F
#define F(x) SQ(x) + SQ(x)
#define VA(...) float4(__VA_ARGS__)
#if defined(SCALE) && (SCALE > 1) || !defined(OTHER)
float k : register(c1);
#elif (((1 + 2) * 3) - ~0)
float k2;
#else
#error no
#endif
#undef SCALE
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float CAT(v, 1) = CALL(uv.x) + F(F(uv.y));
    return VA(MIX(uv.x, uv.y, 0.5), SQ(k), 1, 1);
}
