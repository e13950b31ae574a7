//! result: error
//! message: main.fx(6,5): error: ';' : Expected
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float a = 1
    return a;
}
