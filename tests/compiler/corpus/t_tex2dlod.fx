//! glsl: textureLod(fx_s0, vec2(uv.xy), uv.w)
sampler2D s;
float4 ps_main(float4 uv : TEXCOORD0) : COLOR0 { return tex2Dlod(s, uv); }
