// A constructor given more components than its type holds is refused whatever its arguments are,
// literals too, as Direct3D 9's compiler refuses it (the back end would drop the fifth).
//! result: error
//! message: main.fx(5,57): error: 'float4' : constructor given 5 components; the type holds 4
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(1, 2, float3(3, 4, 5)); }
