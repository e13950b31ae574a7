// An array takes a register per element: s follows in c3.
//! glsl: fx_c[2] + vec4(fx_c[3].x)
//! constants: 4
//! pixel: 0 0 5 5.25 5.5 5.75
float4 arr[3];
float s;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return arr[2] + s; }
