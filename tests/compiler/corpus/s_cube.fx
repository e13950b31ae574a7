//! sampler: fx_s0 0 CUBE
//! glsl: uniform samplerCube fx_s0;
//! glsl: texture(fx_s0, vec3(
samplerCUBE env;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return texCUBE(env, float3(uv, 1)); }
