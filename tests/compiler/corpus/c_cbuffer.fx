//! result: error
//! message: constant buffers are not available in ps_3_0
cbuffer Params { float4 p; };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return p; }
