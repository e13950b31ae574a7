// Even an array of floats takes a whole register per element, up to the last element read.
//! glsl: fx_c[1].x
//! glsl: fx_c[2].x
//! constants: 3
//! pixel: 0 0 1 2 0 1
float f[4];
float g;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(f[1], g, 0, 1); }
