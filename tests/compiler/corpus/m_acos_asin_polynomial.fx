// acos and asin are the compiler's polynomial: a = |x|, r = sqrt(1 - a) * (((-0.0187293 a +
// 0.0742610) a - 0.2121144) a + 1.5707288), acos = x >= 0 ? r : pi - r, asin = pi/2 - acos; its
// sqrt takes |1 - a|, so |x| > 1 gives a number. Expected: that formula in float (acos(0.5) is
// 1.0471976 exactly; the polynomial gives 1.0471513).
//! const: c0 0.5 -0.5 1.5 -1.5
//! tolerance: 0.000005
//! pixel: 0 0 1.0471513 2.0944414 0.9591430 2.1824498
//! pixel: 1 0 0.5236450 -0.5236450 0.6116534 -0.6116534
float4 c : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return uv.x < 0.125 ? acos(c) : asin(c);
}
