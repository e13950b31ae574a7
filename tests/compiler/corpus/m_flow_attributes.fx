// Flow-control attributes and static constant tables compile as written.
//! pixel: 0 0 2 2 2 2
//! pixel: 7 7 7 7 7 7
static const float weights[3] = { 0.25, 0.5, 0.25 };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float4 c = 0;
    [unroll] for (int i = 0; i < 3; i++) c += weights[i];
    [loop] for (int j = 0; j < 2; j++) { [branch] if (uv.x > 0.5) c += 1; }
    [flatten] if (uv.y > 0.5) c *= 2;
    return c + 1;
}
