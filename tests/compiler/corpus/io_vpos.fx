// VPOS is the pixel's integer position from the top-left.
//! glsl: layout(pixel_center_integer) in vec4 gl_FragCoord;
//! glsl: #define fx_vpos vec2(gl_FragCoord.xy)
//! inputs: 1
//! pixel: 0 0 0 0 0 1
//! pixel: 3 5 3 5 0 1
//! pixel: 7 7 7 7 0 1
float4 ps_main(float2 uv : TEXCOORD0, float2 vpos : VPOS) : COLOR0 { return float4(vpos, 0, 1); }
