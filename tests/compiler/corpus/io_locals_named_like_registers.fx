// Locals named like the macros the translated GLSL reads VPOS, VFACE and DEPTH through are renamed,
// not expanded.
//! glsl: #define fx_vpos vec2(gl_FragCoord.xy)
//! not-glsl: vec2 fx_vpos
//! not-glsl: float fx_depth
//! pixel: 3 5 6 10 1 1
struct PSOut { float4 color : COLOR0; float depth : DEPTH; };
PSOut ps_main(float2 p : VPOS, float face : VFACE)
{
    float2 fx_vpos = p * 2;
    float fx_vface = face;
    float fx_depth = 0.5;
    PSOut o;
    o.color = float4(fx_vpos, fx_vface, 1);
    o.depth = fx_depth;
    return o;
}
