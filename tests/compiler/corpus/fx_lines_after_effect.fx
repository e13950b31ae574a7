// An error after effect syntax keeps its line and column.
//! result: error
//! message: main.fx(18,12): error: 'missing_name' : unknown variable
texture t;
sampler2D s = sampler_state
{
    Texture = <t>;
};
technique T
{
    pass P
    {
        PixelShader = compile ps_3_0 ps_main();
    }
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return missing_name + tex2D(s, uv);
}
