//! result: error
//! message: main.fx(5,12): error: 'frobnicate' : no matching overloaded function found
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return frobnicate(uv);
}
