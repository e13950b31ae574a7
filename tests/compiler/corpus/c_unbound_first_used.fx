// Only the second global is used: Direct3D 9 gives it c0.
//! glsl: return fx_c[0];
//! constants: 1
//! pixel: 3 3 0 0.25 0.5 0.75
float4 unused;
float4 used;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return used; }
