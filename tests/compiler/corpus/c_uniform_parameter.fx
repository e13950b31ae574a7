// A uniform parameter of the entry point is a constant like a global.
//! glsl: fx_c[0]
//! constants: 1
//! pixel: 0 0 0 0.25 0.5 0.75
float4 ps_main(float2 uv : TEXCOORD0, uniform float4 tint) : COLOR0 { return tint; }
