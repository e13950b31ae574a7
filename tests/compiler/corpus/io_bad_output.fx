//! result: error
//! message: output semantic 'TEXCOORD0' is not a ps_3_0 output
float4 ps_main(float2 uv : TEXCOORD0) : TEXCOORD0 { return 1; }
