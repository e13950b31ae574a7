// Arrays of structs holding arrays: braces anywhere, or none, the components go in order.
//! pixel: 0 0 8 9 5 10
struct L { float2 p[2]; float k; };
static const L lights[2] = { 1, 2, 3, 4, 5, { 6, 7, 8, 9 }, 10 };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(lights[1].p[1], lights[0].k, lights[1].k);
}
