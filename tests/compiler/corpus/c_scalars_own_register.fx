// Every scalar and vector takes a register of its own, unlike cbuffer packing.
//! glsl: vec4(fx_c[0].x, fx_c[1].x, fx_c[2].x, fx_c[2].z)
//! constants: 3
//! pixel: 0 0 0 1 2 2.5
float f;
float2 g;
float3 h;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(f, g.x, h.x, h.z); }
