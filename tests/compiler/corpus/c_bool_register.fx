//! result: error
//! message: main.fx(3,22): error: 'flag' : integer and boolean constant registers (i#, b#) are not supported
bool flag : register(b0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return flag ? 1 : 0; }
