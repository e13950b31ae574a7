// An explicit register of a global the entry point does not use reserves nothing.
//! glsl: return fx_c[0];
//! constants: 1
float4 a : register(c0);
float4 b;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return b; }
