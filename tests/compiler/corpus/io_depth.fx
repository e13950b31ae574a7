//! glsl: #define fx_depth gl_FragDepth
//! not-glsl: out float
//! pixel: 1 1 0 1 0 1
struct PSOut { float4 color : COLOR0; float depth : DEPTH; };
PSOut ps_main(float2 uv : TEXCOORD0)
{
    PSOut o;
    o.color = float4(0, 1, 0, 1);
    o.depth = 0.5;
    return o;
}
