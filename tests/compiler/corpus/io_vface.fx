// VFACE is positive on front faces: the viewer's quad faces the viewer.
//! glsl: #define fx_vface float(gl_FrontFacing ? 1.0 : -1.0)
//! inputs: 1
//! pixel: 2 2 1 0 0 1
float4 ps_main(float2 uv : TEXCOORD0, float face : VFACE) : COLOR0 { return float4(face, 0, 0, 1); }
