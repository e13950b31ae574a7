//! result: error
//! message: Direct3D 10 resource objects are not available in ps_3_0
Texture2D t;
SamplerState ss;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return t.Sample(ss, uv); }
