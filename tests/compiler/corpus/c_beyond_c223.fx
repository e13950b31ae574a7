//! result: error
//! message: main.fx(3,8): error: 'far' : needs constant registers c222 to c225; ps_3_0 has c0 to c223
float4 far[4] : register(c222);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return far[3]; }
