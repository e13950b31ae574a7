//! result: error
//! message: main.fx(5,15): error: floating-point constant is infinite or NaN
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float a = 1e39;
    return a * uv.x;
}
