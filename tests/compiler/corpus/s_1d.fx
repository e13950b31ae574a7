//! result: error
//! message: main.fx(3,11): error: 'ramp' : only 2D, 3D and cube samplers are supported
sampler1D ramp;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex1D(ramp, uv.x); }
