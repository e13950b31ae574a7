// Texture buffers are Direct3D 10's: refused where the tbuffer stands.
//! result: error
//! message: main.fx(4,1): error: 'tbuffer' : texture buffers are not available in ps_3_0; declare the constants as globals
tbuffer Params { float4 p; };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return p; }
