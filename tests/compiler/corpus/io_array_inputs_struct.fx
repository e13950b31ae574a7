// Inside an input struct too: m's rows take TEXCOORD0 and TEXCOORD1, tc's elements TEXCOORD2
// and TEXCOORD3. Each reads its register: m[0] = uv, m[1] = 0 (no vertex gives TEXCOORD1).
// Pixel (6, 1) has uv = (0.8125, 0.1875).
//! inputs: 4
//! input: fx_in_TEXCOORD0 vec2 TEXCOORD 0
//! input: fx_in_TEXCOORD1 vec2 TEXCOORD 1
//! input: fx_in_TEXCOORD2 vec4 TEXCOORD 2
//! input: fx_in_TEXCOORD3 vec4 TEXCOORD 3
//! pixel: 6 1 0.8125 0.1875 0 0
struct In { float2x2 m : TEXCOORD0; float4 tc[2] : TEXCOORD2; };
float4 ps_main(In i) : COLOR0 { return float4(i.m._11, i.m._12, i.m[1].x + i.tc[0].x, i.m._22 + i.tc[1].w); }
