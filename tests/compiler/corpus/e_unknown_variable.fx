// The parser stops at the first error of a statement; what follows from it is not repeated.
//! result: error
//! message: main.fx(7,15): error: 'first_unknown' : unknown variable
//! not-message: temp void
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float a = first_unknown;
    return a;
}
