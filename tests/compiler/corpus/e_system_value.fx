// Direct3D 10 system values that ps_3_0 does not have are refused where they are written.
//! result: error
//! message: main.fx(6,22): error: input semantic SV_PRIMITIVEID is not a ps_3_0 input
float4 ps_main(
    float2 uv : TEXCOORD0,
    uint primitive : SV_PrimitiveID) : COLOR0
{
    return uv.x + primitive;
}
