// Statements: do-while, switch with fall-through and default, continue, break, the ternary, and
// several declarators in one declaration.
//! pixel: 0 0 4 7 2 1
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float a = 0, b[2] = { 1, 2 }, c;
    do { a += 1; } while (a < 4);
    c = 0;
    switch ((int)b[1]) {
    case 1: c = 100; break;
    case 2: c += 3;
    case 3: c += 4; break;
    default: c = 50;
    }
    float n = 0;
    for (int i = 0; i < 10; i++) {
        if (i == 1) continue;
        if (i == 3) break;
        n += 1;
    }
    return float4(a, c, n, a > 3 ? 1 : 0);
}
