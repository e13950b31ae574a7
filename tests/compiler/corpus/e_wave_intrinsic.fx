// Wave intrinsics are shader model 6's: without a refusal the GLSL would need extensions GL 3.3
// lacks. Refused where the call stands.
//! result: error
//! message: main.fx(5,57): error: 'WaveIsFirstLane' : wave and quad intrinsics are shader model 6's; ps_3_0 has none
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return WaveIsFirstLane() ? uv.x : 0; }
