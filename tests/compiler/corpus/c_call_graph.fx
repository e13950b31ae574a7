// A global read only inside a helper function still counts as used; one read only by an
// uncalled function does not.
//! glsl: fx_c[0]
//! constants: 2
//! pixel: 0 0 1 1.25 1.5 1.75
float4 only_uncalled;
float4 via_helper;
float4 direct;
float4 uncalled() { return only_uncalled; }
float4 helper() { return via_helper; }
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return helper() * 0 + direct; }
