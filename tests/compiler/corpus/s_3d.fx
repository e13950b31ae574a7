//! sampler: fx_s0 0 3D
//! glsl: uniform sampler3D fx_s0;
sampler3D volume;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex3D(volume, float3(uv, 0.5)); }
