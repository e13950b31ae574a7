// Effect-file forms: texture declarations with annotations, sampler_state with Texture = <t> and
// Texture = (t), techniques with several passes and render states; none changes a sampler's
// register or what the shader computes.
//! sampler: fx_s0 0 2D
//! sampler: fx_s1 1 2D
//! constants: 1
//! pixel: 0 0 0 1 0 1
texture sceneTex < string UIName = "Scene"; >;
texture2D noiseTex;
float4 tint : COLOR < string UIWidget = "Color"; > = { 1, 1, 1, 1 };
sampler2D scene = sampler_state { Texture = <sceneTex>; MinFilter = LINEAR; MagFilter = LINEAR; };
sampler2D noise = sampler_state { Texture = (noiseTex); AddressU = WRAP; AddressV = WRAP; };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(tint.x, 1, 0, 1) + 0 * (tex2D(scene, uv) + tex2D(noise, uv));
}
technique Post < string Script = "Technique=Post;"; >
{
    pass Blur { VertexShader = null; PixelShader = compile ps_3_0 ps_main(); ZEnable = false; }
    pass Copy { PixelShader = compile ps_3_0 ps_main(); AlphaBlendEnable = true; SrcBlend = ONE; }
}
technique10 Modern { pass P0 { SetPixelShader(CompileShader(ps_4_0, ps_main())); } }
