//! result: error
//! message: main.fx(3,9): error: 's' : sampler is read as more than one texture type
sampler s;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv) + texCUBE(s, uv.xyx); }
