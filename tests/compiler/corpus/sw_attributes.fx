// Loop and branch attributes change no result: [unroll(n)], [unroll], [loop], [fastopt], [branch],
// [flatten].
//! not-message: warning
//! pixel: 0 0 12 0 0 1
//! pixel: 5 6 1112 0 0 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float s = 0;
    [unroll(4)] for (int i = 0; i < 4; i++) s += i;
    [loop] for (int j = 0; j < 3; j++) s += 1;
    [fastopt] for (int k = 0; k < 2; k++) s += 0.5;
    [unroll] while (s < 12) s += 1;
    [branch] if (uv.x > 0.5) s += 100;
    [flatten] if (uv.y > 0.5) s += 1000;
    return float4(s, 0, 0, 1);
}
