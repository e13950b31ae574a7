// Explicit b# and i# registers compile, without a warning, and read false and 0.
//! not-message: warning
//! constants: 1
//! pixel: 3 2 0 0.25 0.5 0.75
bool flag : register(b0);
int3 counts[2] : register(i1);
float4 k;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float4 r = k + counts[1].y;
    if (flag) r = -1;
    return r;
}
