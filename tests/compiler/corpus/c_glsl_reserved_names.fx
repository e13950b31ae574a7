// Names GLSL keeps for itself are ordinary names in HLSL: a function called main, variables called
// input, output, filter, gl_count and a__b, all renamed on the way to GLSL.
// main(0.25) = 0.5; 0.5 + 0.125 + 0.25 + 0.0625 = 0.9375 in green.
//! pixel: 0 0 0.5 0.9375 0 1
float main(float x) { return x * 2; }
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    float input = main(0.25), output = 0.125, filter = 0.25, gl_count = 0.0625, a__b = 0;
    return float4(input, input + output + filter + gl_count, a__b, 1);
}
