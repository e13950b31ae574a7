//! glsl: texture(fx_s0, uv.xyz)
//! glsl: texture(fx_s1, uv.zyx)
samplerCUBE c;
sampler3D v;
float4 ps_main(float4 uv : TEXCOORD0) : COLOR0 { return texCUBE(c, uv.xyz) + tex3D(v, uv.zyx); }
