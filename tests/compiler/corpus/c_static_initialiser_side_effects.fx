// A static's initialiser runs once, before the entry point's code, in declaration order; a use
// reads the value, it does not call again. A swizzle .x and a parameter named x stay ordinary.
// counter 0.25 -> bump: 0.5 (x) -> bump: 0.75 (pair.y); x = 0.5 * 0.25; twice(0.75) = 1.5.
//! pixel: 0 0 0.125 0.5 1.5 0.75
static float counter = 0.25;
float bump() { counter += 0.25; return counter; }
static float x = bump();
static float2 pair = float2(x, bump());
float twice(float x) { return x * 2; }
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    x = x * 0.25;
    return float4(x, pair.x, twice(pair.y), counter);
}
