// Annotations after an array, a struct instance, a register, a function's parameters, a technique
// and a pass are effect syntax: accepted and ignored. offsets and light keep their registers (c0-c1
// and c2): offsets[1].x = c1.x = 1, light.power = c2.x = 2, so (0.25, 0.5, 0.5, 1) + 2.
//! constants: 3
//! const: c0 0 0 0 0
//! const: c1 1 0 0 0
//! const: c2 2 0 0 0
//! pixel: 0 0 2.25 2.5 2.5 3
float2 offsets[2] < string UIName = "offsets"; float UIMin = 0; >;
struct Light { float power; } light < string UIName = "light"; >;
float4 tint : register(c4) < string UIWidget = "Color"; >;
float4 lift(float4 c) < string note = "helper"; > { return c * 0.5; }
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return lift(float4(0.5, 1, offsets[1].x, 2)) + light.power;
}
technique T < string group = "demo"; > { pass P < int n = 1; > { PixelShader = compile ps_3_0 ps_main(); } }
