#define A0 1
#define A1 A0+A0
#define A2 A1+A1
#define A3 A2+A2
#define D0(x) x
#define D1(x) D0(x)+D0(x)
#define D2(x) D1(x)+D1(x)
#define G D2
#if ((((A3)))) > 4
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return G(G(G(uv.x))) + A3; }
#endif
