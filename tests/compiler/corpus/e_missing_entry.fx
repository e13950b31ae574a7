//! entry: ps_main_f
//! result: error
//! message: main.fx(1,1): error: 'ps_main_f' : entry point not found
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return 1; }
