// COLORn is render target n, whatever order the members are declared in.
//! glsl: layout(location = 0) out vec4 fx_out0;
//! glsl: layout(location = 1) out vec4 fx_out1;
//! glsl: fx_out1 = 
//! pixel: 0 0 0.25 0.5 0.75 1
struct PSOut { float4 second : COLOR1; float4 first : COLOR0; };
PSOut ps_main(float2 uv : TEXCOORD0)
{
    PSOut o;
    o.second = float4(1, 0, 0, 1);
    o.first = float4(0.25, 0.5, 0.75, 1);
    return o;
}
