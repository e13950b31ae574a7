// The bias is the coordinate's w.
//! glsl: texture(fx_s0, vec3(uv.xyz).xy, uv.w)
sampler2D s;
float4 ps_main(float4 uv : TEXCOORD0) : COLOR0 { return tex2Dbias(s, uv); }
