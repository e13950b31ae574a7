//! sampler: fx_s3 3 2D
//! samplers: 1
//! glsl: uniform sampler2D fx_s3;
sampler2D a : register(s3);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(a, uv); }
