// Functions: overloads chosen by argument type, default arguments, in / out / inout parameters.
//! pixel: 0 0 3 11 5 3
float pick(float x) { return 1; }
float pick(float2 x) { return 2; }
float add(float a, float b = 10) { return a + b; }
void split(in float4 v, out float first, inout float acc)
{
    first = v.x;
    acc += v.w;
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float first;
    float acc = 1;
    split(float4(5, 0, 0, 2), first, acc);
    return float4(pick(1.0) + pick(uv), add(1), first, acc);
}
