//! result: error
//! message: main.fx(5,12): error: 'float4' : constructor given 5 components; the type holds 4
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(uv.x, uv.y, float3(uv, 1));
}
