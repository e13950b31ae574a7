//! result: error
//! message: 'far' : sampler register s16 is beyond ps_3_0's s0 to s15
sampler2D far : register(s16);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(far, uv); }
