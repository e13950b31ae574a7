// Storage classes: uniform, extern, shared and volatile globals are constants, in registers in
// declaration order; static globals are the shader's own values and take no register.
//! constants: 4
//! pixel: 0 0 0 1.25 3 8.75
uniform float4 a;
extern float4 b;
shared float4 c;
volatile float4 d;
static float4 e = 5;
static const float f = 0.5;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(a.x, b.y, c.z + f, d.w + e.x);
}
