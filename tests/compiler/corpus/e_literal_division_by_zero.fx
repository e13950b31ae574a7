// Dividing by a literal zero is an error (the first error of a shader is the one reported).
//! result: error
//! message: main.fx(6,20): error: division by zero
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float a = uv.x / 0.0;
    return a + uv.y * (1.0 / 0);
}
