// An array indexed by a value known only when the shader runs keeps every element: c2 to c5, and y
// takes c0. Pixel x reads arr[x / 2].
//! const: c0 7 0 0 0
//! constants: 6
//! pixel: 0 0 2 7 1 1
//! pixel: 7 0 5 7 1 1
float4 k : register(c1);
float4 arr[4];
float4 y;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(arr[(int)(uv.x * 4.0)].x, y.x, k.x, 1); }
