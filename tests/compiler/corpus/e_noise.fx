//! result: error
//! message: main.fx(5,12): error: 'noise' : no matching overloaded function found (the noise() intrinsic is not available in ps_3_0)
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return noise(uv);
}
