// ps_3_0 has no recursion: refused at the function called again.
//! result: error
//! message: main.fx(5,7): error: 'f' : recursive call from 'f'; ps_3_0 has no recursion
float g(float x) { return x; }
float f(float x)
{
    return x < 1 ? x : f(x - 1);
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return f(3); }
