// A helper (the range-reduced sine) and a flow-control hint in one shader: the hint's extension and
// macros come with the helpers in the header, the extension first, where GLSL takes #extension.
//! glsl: #define SPIRV_CROSS_UNROLL
//! pixel: 0 0 1.75076841 0.841470957 1 1
//! pixel: 7 7 1.75076841 0.841470957 1 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float s = 0;
    [unroll] for (int i = 0; i < 3; i++) s += sin(i);
    return float4(s, sin(1), 1, 1);
}
