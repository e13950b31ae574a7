// typedef, vector<> and matrix<> types take flat lists too.
//! pixel: 0 0 5 4 5 6
typedef float2 pair;
static const pair ps[2] = { 1, 2, 3, 4 };
static const vector<float, 3> v3 = { ps[1], 5 };
static const matrix<float, 2, 2> mm = { v3, 6 };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(v3.z, mm._12, mm._21, mm._22);
}
