// Only the second sampler is read: it becomes s0.
//! sampler: fx_s0 0 2D
//! samplers: 1
sampler2D first;
sampler2D second;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(second, uv); }
