//! result: error
//! message: main.fx(5,5): error: 'nothing' : unknown variable
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    nothing = 1;
    return 0;
}
