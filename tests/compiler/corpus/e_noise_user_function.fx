// A function of the shader's own called noise is fine.
//! pixel: 0 0 0.25 0.25 0.25 0.25
float noise(float2 p) { return 0.25; }
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return noise(uv); }
