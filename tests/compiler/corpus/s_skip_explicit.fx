//! sampler: fx_s0 0 2D
//! sampler: fx_s1 1 2D
//! sampler: fx_s2 2 2D
//! glsl: texture(fx_s1, uv) + texture(fx_s0, uv)
sampler2D bound_s1 : register(s1);
sampler2D a;
sampler2D b;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(bound_s1, uv) + tex2D(a, uv) + tex2D(b, uv); }
