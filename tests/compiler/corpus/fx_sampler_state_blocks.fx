// A sampler's block of effect states, with or without "= sampler_state", with Texture = <t> or
// (t), is effect syntax: accepted and ignored. Nothing is bound to s0 or s1 here: both read
// (0, 0, 0, 1).
//! samplers: 2
//! sampler: fx_s0 0 2D
//! sampler: fx_s1 1 2D
//! pixel: 0 0 0 0 0 2
texture tex;
sampler2D scene { MinFilter = Linear; AddressU = Clamp; Texture = <tex>; };
sampler2D other = sampler_state { Texture = (tex); MagFilter = Point; };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv) + tex2D(other, uv); }
