//! result: error
//! message: main.fx(3,69): error: '%' : remainder of two float literals is not supported
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(-1.5 % 1.0, 0, 0, 1); }
