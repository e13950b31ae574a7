// int and bool constants live in registers the program never sets: they read 0 and false, and
// take no c register.
//! constants: 1
//! pixel: 0 0 0 0.25 0.5 0.75
int n;
bool flag;
float4 tint;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return flag ? 1 : tint + n; }
