// A constant takes its registers up to the last one its code reads: arr, read only at arr[0], takes
// one register, fits at c0 below the explicit c1 and reads the time there; y goes after c1.
//! const: c0 7 0 0 0
//! constants: 3
//! pixel: 0 0 7 2 1 1
float4 k : register(c1);
float4 arr[4];
float4 y;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(arr[0].x, y.x, k.x, 1); }
