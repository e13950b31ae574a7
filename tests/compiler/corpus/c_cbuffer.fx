// A cbuffer's members are ordinary constants, registered as globals are: a packoffset is a register,
// the others take the lowest free ones in declaration order. scale = c3 (packoffset), tint = c0,
// p = c1; the cbuffer's own register(b0) means nothing for ps_3_0.
//! constants: 4
//! const: c0 0.25 0 0 0
//! const: c1 0.5 0 0 0
//! const: c3 2 0 0 0
//! pixel: 0 0 0.5 1 0 0
cbuffer Params : register(b0)
{
    float4 scale : packoffset(c3);
    float4 tint;
    float4 p;
};
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(tint.x, p.x, 0, 0) * scale.x; }
