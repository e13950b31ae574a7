// tex2Dproj divides by w: GLSL's textureProj on (x, y, w).
//! glsl: textureProj(fx_s0,
//! glsl: .z = 
sampler2D s;
float4 ps_main(float4 uv : TEXCOORD0) : COLOR0 { return tex2Dproj(s, uv); }
