// The viewer's scene sampler s0 and noise sampler s1, bound explicitly, in reverse order.
//! sampler: fx_s1 1 2D
//! sampler: fx_s0 0 2D
sampler2D noise_tex : register(s1);
sampler2D scene : register(s0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(noise_tex, uv) + tex2D(scene, uv); }
