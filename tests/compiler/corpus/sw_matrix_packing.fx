// #pragma pack_matrix(row_major) makes matrices without a packing word row-major: a register per
// row; column_major still keeps a register per column.
//! constants: 4
//! pixel: 0 0 1 1.25 2 3
#pragma pack_matrix(row_major)
float2x2 m;
column_major float2x2 n;
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(m[1], n[0]);
}
