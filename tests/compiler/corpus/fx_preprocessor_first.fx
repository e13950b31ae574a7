// The preprocessor runs before anything reads the code: what #if leaves out is never read (a wrong
// count, a static by call, unbalanced braces), and macros may give sizes and whole lists.
// w = {1, 2, 3}, a = {(1, 2), (3, 4)}: (w[2], a[1].x, a[1].y, w[0]) * 0.25.
//! pixel: 0 0 0.75 0.75 1 0.25
#if 1
#define N 3
#else
#define N 2
#endif
#define LIST {1, 2, 3, 4}
static const float w[N] = {1, 2, 3};
static const float2 a[2] = LIST;
#if 0
static const float bad[2] = {1, 2, 3};
float g() { return 1; }
float h; static float s = g(), t = g() h;
{{{{ ((( [[[
#endif
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(w[2], a[1].x, a[1].y, w[0]) * 0.25;
}
