// lit() is our own definition underneath; messages still call it lit.
//! result: error
//! message: main.fx(6,12): error: 'lit' : no matching overloaded function found
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return lit(uv.x, uv.y);
}
