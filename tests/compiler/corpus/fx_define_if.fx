// #define and #if choose the code.
#define SCALE 0.5
#define USE_TINT 0
//! pixel: 0 0 0.25 0.25 0.25 0.5
//! glsl: 0.5
//! constants: 0
float4 tint;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
#if USE_TINT
    return tint;
#elif defined(SCALE)
    return float4(0.5, 0.5, 0.5, 1) * SCALE;
#else
    return 0;
#endif
}
