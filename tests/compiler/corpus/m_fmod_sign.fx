// fmod and float % keep the dividend's sign: at pixel 1, a = -2.75.
//! glsl: trunc(
//! not-glsl: mod(
//! pixel: 1 0 -0.75 -0.75 -0.75 1
//! pixel: 6 0 0.25 0.25 0.25 1
//! pixel: 7 0 1.25 1.25 1.25 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float a = uv.x * 8.0 - 4.25;
    return float4(fmod(a, 2.0), a % 2.0, fmod(a, -2.0), 1);
}
