// A compile with only warnings succeeds and keeps them.
//! message: main.fx(3,1): warning: '#pragma once' : not implemented
#pragma once
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return 1; }
