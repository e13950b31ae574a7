//! glsl: textureGrad(fx_s0, uv.xy, uv.zw, uv.wz)
sampler2D s;
float4 ps_main(float4 uv : TEXCOORD0) : COLOR0 { return tex2Dgrad(s, uv.xy, uv.zw, uv.wz); }
