//! result: error
//! message: main.fx(3,5): error: 'n' : integer and boolean constants are not supported
int n;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return n; }
