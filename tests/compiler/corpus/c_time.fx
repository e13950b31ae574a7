// The viewer's time in c0.x.
//! glsl: fx_c[0].x
//! constants: 1
//! const: c0 12.5 0 0 0
//! pixel: 2 2 12.5 12.5 12.5 12.5
float time : register(c0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return time; }
