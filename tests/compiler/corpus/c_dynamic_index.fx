// A dynamically indexed array keeps its registers; pixel x reads arr[x / 2].
//! constants: 6
//! pixel: 0 0 2 2.25 2.5 2.75
//! pixel: 7 0 5 5.25 5.5 5.75
float4 arr[4] : register(c2);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return arr[(int)(uv.x * 4.0)]; }
