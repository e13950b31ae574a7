// half, double and fixed compute as float; vector<>, matrix<> and typedef name the usual types.
//! pixel: 0 0 0.75 4 6 3
typedef vector<half, 3> half3_t;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    half2 h = half2(0.5, 0.25);
    double d = 2;
    fixed f = 0.25;
    dword w = 3;
    vector<float, 2> v = { 1, 2 };
    half3_t t = half3_t(1, 2, 3);
    matrix<float, 2, 2> m = { 1, 2, 3, 4 };
    return float4(h.x + f, d * v.y, t.z + w, m._m10);
}
