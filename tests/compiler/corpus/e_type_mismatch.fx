//! result: error
//! message: main.fx(5,16): error: '=' : cannot convert from '2-component vector of float' to '3X3 matrix of float'
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float3x3 m = uv;
    return 1;
}
