/* A comment holding effect-like words: technique T { pass P { } }
   texture t; sampler_state { } */
// technique Fake { }
//! pixel: 0 0 1 0 0 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(1, 0, 0, 1); /* technique */ }
