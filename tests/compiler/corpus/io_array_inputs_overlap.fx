// An array input's elements take the indices after the one it names: "more" is on TEXCOORD1,
// which tc's second element reads already. The message names that register.
//! result: error
//! message: main.fx(6,53): error: two inputs share the semantic TEXCOORD1
//! not-message: TEXCOORD0
struct In { float2 tc[2] : TEXCOORD0; float2 more : TEXCOORD1; };
float4 ps_main(In i) : COLOR0 { return float4(i.tc[0] + i.tc[1], i.more); }
