//! sampler: fx_s0 0 2D
sampler s;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv); }
