//! sampler: fx_s0 0 3D
sampler vol = sampler_state { MinFilter = Linear; };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex3Dlod(vol, float4(uv, 0.5, 0)); }
