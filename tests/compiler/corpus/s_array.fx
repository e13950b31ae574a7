//! result: error
//! message: 'layers' : sampler arrays are not supported
sampler2D layers[2];
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(layers[0], uv) + tex2D(layers[1], uv); }
