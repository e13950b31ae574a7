// VPOS and POSITION0 in one shader both read the pixel position, each in its own type.
//! glsl: #define fx_vpos vec2(gl_FragCoord.xy)
//! inputs: 0
//! pixel: 3 5 3 5 3 5
//! pixel: 7 0 7 0 7 0
float4 ps_main(float2 a : VPOS, float4 b : POSITION0) : COLOR0 { return float4(a, b.xy); }
