// Inputs the fuzz run (tests/fuzz) found crashing the compiler, each now a clear error.
#include "compiler_test_util.h"

namespace {

void expect_error(const std::string& source, const std::string& message)
{
    fxcompiler::CompileOutput out = compile_text(source);
    EXPECT_NE(out.result, 0) << source;
    EXPECT_NE(messages_of(out).find(message), std::string::npos) << source << "\n" << messages_of(out);
}

const char* const ENTRY = "\nfloat4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return 0; }\n";

// The back end crashed on a global declared a second time with another type, however the first
// declaration came about.
TEST(FuzzRegressions, GlobalDeclaredTwiceIsARedefinition)
{
    expect_error(std::string("float b;\nint b;") + ENTRY, "main.fx(2,5): error: 'b' : redefinition");
    expect_error(std::string("static float b; float b[2];") + ENTRY, "main.fx(1,23): error: 'b' : redefinition");
    expect_error(std::string("sampler2D b; float b;") + ENTRY, "'b' : redefinition");
    expect_error(std::string("const float b = 1; float4 a, b;") + ENTRY, "main.fx(1,30): error: 'b' : redefinition");
    expect_error(std::string("cbuffer P { float a, b : packoffset(c1); } int b;") + ENTRY, "'b' : redefinition");
    expect_error(std::string("struct S { float x; } s; float s;") + ENTRY, "'s' : redefinition");
}

// The back end took a name after a complete declarator as one more declarator, and so could meet
// the crash above; found as "sampler3D volume;\nfloat4 ler3D volume;" and as a prototype
// "float4 ps_main(...) : CO3D volume;".
TEST(FuzzRegressions, NameAfterADeclaratorIsAnError)
{
    const std::string unexpected = "' : unexpected name; is a ',' or ';' missing before it?";
    expect_error(std::string("sampler3D volume;\nfloat4 ler3D volume;") + ENTRY,
                 "main.fx(2,14): error: 'volume" + unexpected);
    expect_error(std::string("sampler3D volume;\nfloat4 f(float2 uv : TEXCOORD0) : CO3D volume;") + ENTRY,
                 "main.fx(2,40): error: 'volume" + unexpected);
    for (const char* declaration :
         {"float4 a b;", "float4 a[2] b;", "float4 a : register(c0) b;", "float4 a = 1 b;",
          "float4 a = float4(1, 1, 1, 1) b;", "float4 a = {1, 2, 3, 4} b;", "float4 a = (float4)1 b;",
          "float4 f(float x) b;", "struct S { float x; } a b;", "cbuffer P { float a b; }"}) {
        expect_error(std::string(declaration) + ENTRY, "'b" + unexpected);
    }
}

// The back end crashed taking a function with a nameless parameter as the entry point; found as
// "float4 ps_main(sampler2D : TEXCOORD0) : COLOR0 { ... }".
TEST(FuzzRegressions, EntryPointParameterWithoutANameIsAnError)
{
    const std::string helper = "float4 helper(float2 : TEXCOORD1) { return 1; }\n";
    expect_error("float4 ps_main(sampler2D : TEXCOORD0) : COLOR0 { return 0; }",
                 "main.fx(1,16): error: 'ps_main' : parameter 1 has no name; an entry point's parameters need names");
    expect_error(helper + "float4 ps_main(float2 uv : TEXCOORD0, float2) : COLOR0 { return 0; }",
                 "main.fx(2,39): error: 'ps_main' : parameter 2 has no name");
    // A helper may leave names out, and "(void)" has none to give.
    fxcompiler::CompileOutput out =
        compile_text(helper + "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return helper(uv); }\n");
    EXPECT_EQ(out.result, 0) << messages_of(out);
    EXPECT_EQ(compile_text(helper + "float4 ps_main_f(void) : COLOR0 { return 0; }\n", "ps_main_f").result, 0);
}

// The back end crashed fitting a one-component operand of mul to the other; found (minimised) as
// "float2x2 rot(float1 p){mul(rot(5), p)".
TEST(FuzzRegressions, MulWithAOneDimensionOperandIsAnError)
{
    const std::string refused = "' is or holds a one-component vector or a matrix with a dimension of 1";
    expect_error("float2x2 rot(float1 p) { return mul(rot(5), p); }" + std::string(ENTRY),
                 "main.fx(1,33): error: 'mul' : 'p" + refused);
    for (const char* declarations : {"float3x3 m; float1 v, w;", "float2x2 m; half1 w;", "float2x2 m; float1x2 w;",
                                     "float2x1 m; float2x2 w;", "float2x2 m; vector<float, 1> w;"}) {
        expect_error(std::string(declarations) + "\nfloat4 ps_main() : COLOR0 { return mul(m, w).x; }", refused);
    }
    expect_error("float2x2 m;\nfloat4 ps_main() : COLOR0 { return mul(m, (float1)2).x; }", "'float1" + refused);
    // Wider types, scalars and one-component types away from mul are fine.
    fxcompiler::CompileOutput out = compile_text(
        "float2x2 m; float3 v; float1 f;\n"
        "float4 ps_main() : COLOR0 { return float4(mul(m, v.xy) * f, mul(v, 2.0).x, 1); }");
    EXPECT_EQ(out.result, 0) << messages_of(out);
}

// The back end crashed on an array size a ')' or the end of the file closed; found (minimised) as
// "float n(float[".
TEST(FuzzRegressions, UnclosedSquareBracketIsAnError)
{
    expect_error("float n(float[", "main.fx(1,14): error: '[' : not closed with ']'");
    expect_error("float a[", "main.fx(1,8): error: '[' : not closed with ']'");
    expect_error("float4 ps_main(float2 uv[4) : COLOR0 { return 0; }", "main.fx(1,25): error: '[' : not closed");
    expect_error("float n(float a[2}) { return 0; }" + std::string(ENTRY), "main.fx(1,16): error: '[' : not closed");
}

// The back end crashed on a parameter qualifier leading a top-level declaration with no name;
// found as the file "inout".
TEST(FuzzRegressions, ParameterQualifierOutsideParametersIsAnError)
{
    expect_error("inout", "main.fx(1,1): error: 'inout' : in/out qualifiers are only valid on parameters");
    expect_error("static out float;" + std::string(ENTRY), "main.fx(1,8): error: 'out' : in/out qualifiers");
    expect_error(std::string(ENTRY) + "line float", "main.fx(3,1): error: 'line' : in/out qualifiers");
    // In a parameter list they are what they are for.
    fxcompiler::CompileOutput out = compile_text(
        "void f(in float a, out float b, inout float c) { b = a; c += a; }\n"
        "float4 ps_main() : COLOR0 { float b, c = 1; f(1, b, c); return b * c; }");
    EXPECT_EQ(out.result, 0) << messages_of(out);
}

// The back end read names after a function's semantic as a declaration, and crashed when one
// declared a global again.
TEST(FuzzRegressions, NameAfterAFunctionsSemanticIsAnError)
{
    expect_error("float4x3 m;\nfloat4 ps_main(float2 uv : TEXCOORD0) : COLOR0n c3eturn m}l(saturate",
                 "main.fx(2,49): error: 'c3eturn' : unexpected name; is a ',' or ';' missing before it?");
    expect_error("float4 ps_main() : COLOR0 x { return 0; }", "main.fx(1,27): error: 'x' : unexpected name");
}

// The back end crashed on a const array sized by an unknown name in an expression, and threw (and
// leaked) on a negative size; found as "static const float weights[3M-4M-4] = { ... }".
TEST(FuzzRegressions, BadGlobalArraySizeIsAnError)
{
    expect_error("static const float w[M - 4] = {1, 2};" + std::string(ENTRY),
                 "main.fx(1,22): error: 'M' : unknown variable");
    expect_error("const float w[(M)];" + std::string(ENTRY), "main.fx(1,16): error: 'M' : unknown variable");
    expect_error("const float w[-2] = {1, 2};" + std::string(ENTRY),
                 "main.fx(1,14): error: '[' : array size must be a positive integer");
    fxcompiler::CompileOutput out = compile_text(
        "static const int N = 3;\nstatic const float w[N - 1] = {1, 2};\n"
        "float4 ps_main() : COLOR0 { return w[1]; }");
    EXPECT_EQ(out.result, 0) << messages_of(out);
}

// The same inside a function: refused with its place. (A name from a scope already closed still
// crashes the back end; the helper process turns that into a failed compile.)
TEST(FuzzRegressions, BadLocalConstArraySizeIsAnError)
{
    expect_error(pixel_shader("", "const float w[M - 4] = {1, 2}; return w[0];"),
                 "main.fx(4,15): error: 'M' : unknown variable");
    expect_error(pixel_shader("", "static const float w[sin(M)]; return 0;"),
                 "main.fx(4,26): error: 'M' : unknown variable");
    expect_error(pixel_shader("", "const float w[-1]; return 0;"),
                 "main.fx(4,14): error: '[' : array size must be a positive integer");
    fxcompiler::CompileOutput out =
        compile_text("static const int G = 3;\n" +
                     pixel_shader("", "const int n = 2; const float w[n + G - 1] = {1, 2, 3, 4}; return w[3];"));
    EXPECT_EQ(out.result, 0) << messages_of(out);
}

TEST(FuzzRegressions, DistinctGlobalsAndBlocksStillCompile)
{
    const std::string source =
        "struct S { float x; float b; };\n"
        "float a : register(c1), b;\n"
        "static const float k = (float)2 * max(1, 2), m[2] = {k, a.x};\n"
        "float4 f(float x) : COLOR0;\n"
        "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { S s; s.b = a; return s.b + b * k; }\n";
    fxcompiler::CompileOutput out = compile_text(source);
    EXPECT_EQ(out.result, 0) << messages_of(out);
}

}  // namespace
