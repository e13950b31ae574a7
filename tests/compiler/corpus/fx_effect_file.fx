// A whole effect file: texture declarations, sampler_state blocks, annotations, a technique.
//! sampler: fx_s0 0 2D
//! glsl: texture(fx_s0, uv) * fx_c[1]
//! constants: 2
texture noise_map < string ResourceName = "noise.png"; >;
texture2D other;
string Description = "with; semicolons";
float4 tint : register(c1) < string UIName = "Tint"; float UIMin = 0; > = {1, 1, 1, 1};
sampler2D noise_sampler = sampler_state
{
    Texture = <noise_map>;
    MinFilter = Linear;
    AddressU = Wrap;
};

float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(noise_sampler, uv) * tint;
}

technique Main < string group = "demo"; >
{
    pass P0
    {
        PixelShader = compile ps_3_0 ps_main();
        ZEnable = false;
    }
}
