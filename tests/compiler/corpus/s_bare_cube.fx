// A bare "sampler" read by texCUBE is a cube sampler.
//! sampler: fx_s0 0 CUBE
//! glsl: uniform samplerCube fx_s0;
sampler env;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return texCUBE(env, float3(uv, 1)); }
