// Each struct member starts a register of its own.
//! constants: 3
//! pixel: 0 0 0 1 2 1
struct Light { float3 dir; float power; };
Light light;
float4 after;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(light.dir.x, light.power, after.x, 1); }
