// An initialiser that indexes an array of structs, then a member array (found by fuzzing: the
// element was taken from inside the shape being replaced).
//! pixel: 0 0 8 9 1 2
struct L { float2 p[2]; float k; };
static const L lights[2] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 };
static const float4 v[1] = { lights[1].p[1], lights[0].p[0] };
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return v[0]; }
