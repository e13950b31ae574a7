//! result: error
//! message: main.fx(3,27): error: two inputs share the semantic VPOS
float4 ps_main(float2 a : VPOS, float2 b : VPOS) : COLOR0 { return float4(a, b); }
