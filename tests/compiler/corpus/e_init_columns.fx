// Lines and columns after a rewritten list stay those of the file.
//! result: error
//! message: main.fx(8,27): error: 'unknown' :
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float2 fine[2] = {
        1, 2,
        3, 4 }; float x = unknown;
    return fine[0].xyxy;
}
