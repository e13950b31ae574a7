// The compiler's parts on their own: effect-syntax blanking, register assignment, message parsing.
#include "compiler_test_util.h"
#include "platform.h"

namespace {

using fxcompiler::Diagnostic;
using fxcompiler::RegisterRequest;

int count(const std::string& s, char c) { return (int)std::count(s.begin(), s.end(), c); }

TEST(Blanking, KeepsEveryLineAndColumn)
{
    const std::string source =
        "texture t < string name = \"a;b\"; >;\r\n"
        "sampler2D s = sampler_state\n{\n  Texture = <t>;\r\n};\n"
        "float4 c : register(c2) < float min = 0; > = {1, 2, 3, 4};\n"
        "technique T < int x = 1; > { pass P { PixelShader = compile ps_3_0 ps_main(); } }\n"
        "float4 ps_main(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv) * c; }\n";
    std::string blanked = fxcompiler::blank_effect_syntax(source);
    ASSERT_EQ(blanked.size(), source.size());
    EXPECT_EQ(count(blanked, '\n'), count(source, '\n'));
    EXPECT_EQ(count(blanked, '\r'), count(source, '\r'));
    for (const char* gone : {"texture", "sampler_state", "Texture", "technique", "pass", "compile", "min"}) {
        EXPECT_EQ(blanked.find(gone), std::string::npos) << gone << "\n" << blanked;
    }
    for (const char* kept : {"sampler2D s ", "float4 c : register(c2)", "= {1, 2, 3, 4};",
                             "float4 ps_main(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv) * c; }"}) {
        std::size_t at = blanked.find(kept);
        ASSERT_NE(at, std::string::npos) << kept << "\n" << blanked;
        EXPECT_EQ(at, source.find(kept)) << kept;
    }
}

TEST(Blanking, LeavesCommentsStringsTemplatesAndFunctionBodiesAlone)
{
    const std::string source =
        "// technique in a comment { }\n"
        "/* texture t; */ vector<float, 4> v; matrix<float, 2, 2> m;\n"
        "float4 f(float a) { float4 texture_like = a < 1 ? 1 : 0; return texture_like; }\n"
        "#define PASS pass\n";
    EXPECT_EQ(fxcompiler::blank_effect_syntax(source), source);
}

TEST(Registers, ExplicitStayOthersTakeTheLowestFreeRunInOrder)
{
    std::vector<RegisterRequest> requests = {
        {-1, 1, false},  // unused: nothing
        {2, 1, true},    // explicit c2
        {-1, 4, true},   // a matrix: c2 is taken, so c3..c6
        {-1, 1, true},   // fills the gap: c0
        {-1, 1, true},   // c1
        {0, 1, false},   // explicit but unused: reserves nothing
        {-1, 1, true},   // c7
    };
    EXPECT_EQ(fxcompiler::assign_registers(requests), (std::vector<int>{-1, 2, 3, 0, 1, -1, 7}));
}

TEST(Messages, OneLinePerProblemWithTheParsersColumn)
{
    const std::string source = "float4 x = 1\nfloat4 ps_main() : COLOR { return x; }\n";
    const std::string log =
        "ERROR: main.fx:2: ';' : Expected \n"
        "ERROR: main.fx:2: 'declaration' : Expected \n"
        "main.fx(2): error at column 6, HLSL parsing failed.\n"
        "ERROR: 3 compilation errors.  No code generated.\n";
    std::vector<Diagnostic> d = fxcompiler::parse_glslang_log(log, "main.fx", source);
    ASSERT_EQ(d.size(), 1u);
    // The parser points at the end of "float4"; the message points at its start.
    EXPECT_EQ(fxcompiler::format_diagnostics(d, "main.fx"), "main.fx(2,1): error: ';' : Expected");
}

TEST(Messages, ColumnsOfNamedTokensAndCleanTypes)
{
    const std::string source = "void f()\n{\n  float3x3 m = uv + dist;\n}\n";
    const std::string log =
        "ERROR: main.fx:3: 'dist' : unknown variable \n"
        "WARNING: main.fx:3: '=' :  cannot convert from ' temp 2-component vector of float'"
        " to ' temp 3X3 matrix of float'\n"
        "ERROR: Linking fragment stage: Missing entry point\n";
    std::vector<Diagnostic> d = fxcompiler::parse_glslang_log(log, "main.fx", source);
    EXPECT_EQ(fxcompiler::format_diagnostics(d, "main.fx"),
              "main.fx(3,21): error: 'dist' : unknown variable\n"
              "main.fx(3,14): warning: '=' : cannot convert from '2-component vector of float' to "
              "'3X3 matrix of float'\n"
              "main.fx: error: Missing entry point");
}

TEST(Messages, WholeWordColumns)
{
    const std::string source = "a\r\nfloat time2, time;\rx";
    EXPECT_EQ(fxcompiler::find_word_column(source, 2, "time"), 14);
    EXPECT_EQ(fxcompiler::find_word_column(source, 3, "x"), 1);
    EXPECT_EQ(fxcompiler::find_word_column(source, 2, "tim"), 0);
    EXPECT_EQ(fxcompiler::find_word_column(source, 9, "a"), 0);
}

TEST(Blob, IntegerInputsAreFlatAndSpecialInputsAreNotInputs)
{
    fxcompiler::CompileOutput out = compile_text(
        "float4 ps_main(float2 uv : TEXCOORD0, int2 id : TEXCOORD1, float2 p : VPOS, float f : VFACE) : COLOR0\n"
        "{ return float4(uv + id + p, f, 1); }\n");
    ASSERT_EQ(out.result, 0) << messages_of(out);
    ASSERT_EQ(out.blob.inputs.size(), 2u);
    EXPECT_FALSE(out.blob.inputs[0].flat);
    EXPECT_EQ(out.blob.inputs[1].glsl_type, "ivec2");
    EXPECT_EQ(out.blob.inputs[1].semantic_index, 1u);
    EXPECT_TRUE(out.blob.inputs[1].flat);
    EXPECT_NE(out.blob.glsl.find("flat in ivec2 fx_in_TEXCOORD1;"), std::string::npos) << out.blob.glsl;
}

// Each is a macro of one name in the GLSL.
TEST(Blob, VfaceIsReadAndDepthWrittenOnce)
{
    fxcompiler::CompileOutput out = compile_text(
        "float4 ps_main(float2 uv : TEXCOORD0, float a : VFACE, float b : vface) : COLOR0 { return a; }\n");
    EXPECT_EQ(messages_of(out), "main.fx(1,49): error: two inputs share the semantic VFACE");
    out = compile_text(
        "struct O { float4 c : COLOR0; float d : DEPTH; float e : DEPTH0; };\n"
        "O ps_main(float2 uv : TEXCOORD0) { O o; o.c = 1; o.d = 0.5; o.e = 0.2; return o; }\n");
    EXPECT_EQ(messages_of(out), "main.fx(1,58): error: two outputs write DEPTH");
}

// An array or matrix input spans one index an element or row; each message names what the
// shader has.
TEST(Blob, ArrayAndMatrixInputsSpanConsecutiveIndices)
{
    struct Case {
        std::string source;
        std::string message;
    };
    const std::string body = " : COLOR0 { return 1; }\n";
    const Case cases[] = {
        {"float4 ps_main(float2 tc[3] : TEXCOORD14)" + body,
         "main.fx(1,31): error: input TEXCOORD14 spans TEXCOORD14 to TEXCOORD16, an index an element or row; "
         "semantics take indices 0 to 15"},
        {"float4 ps_main(float4x4 m : texcoord13)" + body,
         "main.fx(1,29): error: input TEXCOORD13 spans TEXCOORD13 to TEXCOORD16, an index an element or row; "
         "semantics take indices 0 to 15"},
        // Every element of a struct's array counts, read or not.
        {"struct In { float4 c[4] : COLOR0; float2 t[2][7] : TEXCOORD3; };\nfloat4 ps_main(In i)" + body,
         "main.fx(1,52): error: input TEXCOORD3 spans TEXCOORD3 to TEXCOORD16, an index an element or row; "
         "semantics take indices 0 to 15"},
        {"float4 ps_main(float2 a[2] : TEXCOORD1, float2 b : TEXCOORD2)" + body,
         "main.fx(1,52): error: two inputs share the semantic TEXCOORD2 (an array or matrix input takes one index "
         "an element or row, from the one it names on)"},
        {"struct In { float2 p[2] : VPOS; };\nfloat4 ps_main(In i)" + body,
         "main.fx(1,27): error: input VPOS is one register; it cannot be an array or a matrix"},
        {"float4 ps_main(float4 p[2] : POSITION)" + body,
         "main.fx(1,30): error: input POSITION is one register; it cannot be an array or a matrix"},
        {"struct V { float2 a : TEXCOORD0; };\nstruct In { V v[2]; };\nfloat4 ps_main(In i)" + body,
         "main.fx(1,23): error: input TEXCOORD0: arrays of structs are not supported as inputs; declare the "
         "members as arrays instead"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(messages_of(compile_text(c.source)), c.message);
    }
    // Elements in order, the last index fastest, up to TEXCOORD15; integers stay flat.
    fxcompiler::CompileOutput out = compile_text(
        "struct In { float2 t[2][3] : TEXCOORD3; float2x2 m[2] : TEXCOORD9; int3 id[3] : TEXCOORD13; };\n"
        "float4 ps_main(In i) : COLOR0 { return i.t[1][0].xyxy + i.m[1][0].x + i.id[1].x; }\n");
    ASSERT_EQ(out.result, 0) << messages_of(out);
    ASSERT_EQ(out.blob.inputs.size(), 13u);
    for (std::uint32_t k = 0; k < 13; ++k) EXPECT_EQ(out.blob.inputs[k].semantic_index, 3 + k);
    EXPECT_NE(out.blob.glsl.find("i.t[1][0] = fx_in_TEXCOORD6;"), std::string::npos) << out.blob.glsl;
    EXPECT_NE(out.blob.glsl.find("i.m[1] = fx_in_TEXCOORD11_to_12;"), std::string::npos) << out.blob.glsl;
    EXPECT_TRUE(out.blob.inputs[12].flat);
    EXPECT_EQ(out.blob.inputs[12].glsl_type, "ivec3");
}

TEST(Blob, UnusedGlobalsAndSamplersLeaveNoConstantsOrBindings)
{
    fxcompiler::CompileOutput out =
        compile_text("float4 a; sampler2D s;\nfloat4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return 1; }\n");
    ASSERT_EQ(out.result, 0) << messages_of(out);
    EXPECT_EQ(out.blob.constant_count, 0u);
    EXPECT_EQ(out.blob.constants_name, "");
    EXPECT_TRUE(out.blob.samplers.empty());
    EXPECT_EQ(out.blob.glsl.find("fx_c"), std::string::npos) << out.blob.glsl;
}

}  // namespace

namespace {

// Deep nesting and endless expressions overflow the back end's stack: refused before it runs.
TEST(Limits, DeepNestingAndHugeStatementsAreRefusedNotCrashed)
{
    const std::string head = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return ";
    fxcompiler::CompileOutput nested =
        compile_text(head + std::string(5000, '(') + "uv.x" + std::string(5000, ')') + "; }\n");
    EXPECT_EQ(nested.result, E_FAIL);
    EXPECT_NE(messages_of(nested).find("main.fx(1,312): error: '(' : nested more than 256 levels deep"),
              std::string::npos)
        << messages_of(nested);

    std::string chain = head + "uv.x";
    for (int i = 0; i < 20000; ++i) chain += " + uv.x";
    fxcompiler::CompileOutput long_statement = compile_text(chain + "; }\n");
    EXPECT_EQ(long_statement.result, E_FAIL);
    EXPECT_NE(messages_of(long_statement).find("main.fx(1,50): error: statement longer than 8192 tokens"),
              std::string::npos)
        << messages_of(long_statement);

    // 200 levels, as deep as any real shader and more, still compile.
    EXPECT_EQ(compile_text(head + std::string(200, '(') + "uv.x" + std::string(200, ')') + "; }\n").result, 0);
}

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Macro expansion is measured before the back end's preprocessor runs: each of these cost it
// gigabytes, minutes or its stack, and now fails at once with the limit and the place.
TEST(Limits, MacroExpansionAndIfExpressionsAreBounded)
{
    const std::string entry = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return ";
    std::string doubling = "#define A0 1\n", doubling_calls = "#define D0(x) x\n";
    for (int i = 1; i <= 30; ++i) {
        doubling +=
            "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + "+A" + std::to_string(i - 1) + "\n";
        doubling_calls += "#define D" + std::to_string(i) + "(x) D" + std::to_string(i - 1) + "(x)+D" +
            std::to_string(i - 1) + "(x)\n";
    }
    struct Case {
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {"#define F(x) x\n" + entry + repeat("F(", 10000) + "1" + repeat(")", 10000) + "; }\n",
         "main.fx(2,570): error: 'F' : macro arguments nested more than 256 levels deep"},
        // An object-like macro naming the function-like one takes the parentheses too.
        {"#define F(x) x\n#define G F\n" + entry + repeat("G(", 10000) + "1" + repeat(")", 10000) + "; }\n",
         "main.fx(3,570): error: 'F' : macro arguments nested more than 256 levels deep"},
        {doubling + entry + "A30; }\n",
         "main.fx(32,57): error: 'A30' : macro expansion adds more than 4194304 tokens to the shader, "
         "the preprocessor's limit"},
        {doubling_calls + entry + "D30(uv.x); }\n",
         "main.fx(32,57): error: 'D30' : macro expansion adds more than 4194304 tokens to the shader, "
         "the preprocessor's limit"},
        {"#if " + repeat("(", 100000) + "1" + repeat(")", 100000) + "\n#endif\n" + entry + "1; }\n",
         "main.fx(1,261): error: '#if' : expression nested more than 256 levels deep"},
        {"#define P "
         "(((((((((((((((((((((((((((((((((((((((((((((((((1)))))))))))))))))))))))))))))))))))))))))))))))))\n"
         "#if P && P && P && P && P && P\n#endif\n" +
             entry + "1; }\n",
         "main.fx(2,30): error: '#if' : expression nested more than 256 levels deep"},
        {"#if " + repeat("!", 100000) + "1\n#endif\n" + entry + "1; }\n",
         "main.fx(1,261): error: '#if' : expression nested more than 256 levels deep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 200));
        fxcompiler::CompileOutput out = compile_text(c.source);
        EXPECT_EQ(out.result, E_FAIL);
        EXPECT_EQ(messages_of(out), c.message);
    }

    // Below the limits macros work as before.
    std::string fine = "#define F(x) (x)\n#define TWICE(x) x + x\n" + doubling.substr(0, doubling.find("#define A11")) +
        "#if " + repeat("(", 100) + "1" + repeat(")", 100) + "\n#endif\n" + entry + "TWICE(" + repeat("F(", 200) +
        "uv.x" + repeat(")", 200) + ") + A10 + fmod(fmod(uv.x, 2), 3); }\n";
    fxcompiler::CompileOutput out = compile_text(fine);
    EXPECT_EQ(out.result, D3D_OK) << messages_of(out);
}

// Numbers are read in 64 bits against Direct3D 9's ranges: nothing wraps to a small value.
TEST(Limits, NumbersFromTheSourceAreRangeChecked)
{
    const std::string entry = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return ";
    struct Case {
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {"float4 k : register(c4294967296);\n" + entry + "k; }\n",
         "main.fx(1,21): error: 'k' : constant register c4294967296 is beyond ps_3_0's c0 to c223"},
        {"float4 k : register(c224);\n" + entry + "1; }\n",  // unused, still out of range
         "main.fx(1,21): error: 'k' : constant register c224 is beyond ps_3_0's c0 to c223"},
        {"sampler2D t : register(s18446744073709551617);\n" + entry + "tex2D(t, uv); }\n",
         "main.fx(1,24): error: 't' : sampler register s18446744073709551617 is beyond ps_3_0's s0 to s15"},
        {"float4 ps_main(float2 uv : TEXCOORD0) : COLOR4294967296 { return 1; }\n",
         "main.fx(1,41): error: 'COLOR4294967296' : semantic index 4294967296 is out of range; semantics take "
         "indices 0 to 15"},
        {"float4 ps_main(float2 uv : texcoord16) : COLOR0 { return 1; }\n",
         "main.fx(1,28): error: 'texcoord16' : semantic index 16 is out of range; semantics take indices 0 to 15"},
        {"float4x4 k[1073741825];\n" + entry + "k[1][0]; }\n",
         "main.fx(1,12): error: '1073741825' : array of 1073741825 elements; arrays hold at most 65536"},
        {"float4 a, k[0x40000000];\n" + entry + "k[1]; }\n",
         "main.fx(1,13): error: '0x40000000' : array of 1073741824 elements; arrays hold at most 65536"},
        {entry + "0; }\nfloat4 f() { float a[256][257]; return a[0][0]; }\n",
         "main.fx(2,27): error: '257' : array of 65792 elements; arrays hold at most 65536"},
        // Within the array limit, the product with the registers per element is the register file's.
        {"float4x4 k[57];\n" + entry + "k[56][3]; }\n",
         "main.fx(1,10): error: 'k' : needs 228 constant registers; ps_3_0 has 224, c0 to c223"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        fxcompiler::CompileOutput out = compile_text(c.source);
        EXPECT_EQ(out.result, E_FAIL);
        EXPECT_EQ(messages_of(out), c.message);
    }
    // The largest in range still compile; a ternary's ':' is no semantic.
    const std::string fine =
        "float4x4 k[56] : register(c0);\nsampler2D t : register(s15);\n"
        "float4 ps_main(float2 uv : TEXCOORD15) : COLOR3 { float color16 = 2; float a[32];\n"
        "a[1] = 1; return tex2D(t, uv) * k[55][3] * (uv.x > 0 ? a[1] : color16); }\n";
    fxcompiler::CompileOutput out = compile_text(fine);
    EXPECT_EQ(out.result, D3D_OK) << messages_of(out);
}

// The back end writes a broken module past 65,533 globals (all in one instruction): refused first.
TEST(Limits, MoreGlobalsThanTheBackEndTakesAreRefused)
{
    std::string globals;
    for (int i = 0; i < 65534; ++i) globals += "float4 g" + std::to_string(i) + ";\n";
    fxcompiler::CompileOutput out = compile_text(globals + "float4 ps_main() : COLOR0 { return g1; }\n");
    EXPECT_EQ(out.result, E_FAIL);
    EXPECT_EQ(messages_of(out),
              "main.fx(65534,8): error: 'g65533' : more than 65533 global variables, the most a shader can declare "
              "here");
}

}  // namespace

std::string prepared_text(const std::string& source)
{
    fxcompiler::PreparedSource prepared;
    std::vector<Diagnostic> diagnostics;
    EXPECT_TRUE(fxcompiler::prepare_source(source, "main.fx", {}, prepared, diagnostics))
        << source << fxcompiler::format_diagnostics(diagnostics, "main.fx");
    return prepared.text;
}

std::string without_spaces(std::string s)
{
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\n'; }), s.end());
    return s;
}

// Lists are rewritten only where the back end would read them otherwise, every value on its own
// line; a value whose type the scan cannot tell leaves the list as written. Macros have expanded
// before the scan, so a list made by one is read like any other.
TEST(Initialisers, RewrittenOnlyWhereNeededKeepingLines)
{
    const std::string nested = "static const float2 a[2] = { {1, 2}, {3, 4} };\nfloat4 v = {1, 2, 3, 4};\n";
    EXPECT_EQ(prepared_text(nested), nested);
    const std::string flat = "static const float2 a[2] = {\n  1, 2, // first\n  3,\n  4 };\nfloat x;\n";
    std::string text = prepared_text(flat);
    EXPECT_EQ(count(text, '\n'), count(flat, '\n')) << text;
    EXPECT_NE(without_spaces(text).find("{{1,2},{3,4}};"), std::string::npos) << text;
    for (const char* line : {"\n  {1", "\n  {3", "\n  4}"}) EXPECT_NE(text.find(line), std::string::npos) << text;
    const std::string unknown = "static const float2 a[2] = { g(1), 2, 3 };\n";
    EXPECT_EQ(prepared_text(unknown), unknown);
    const std::string macro = "#define PAIR(a) a, a\nstatic const float2 a[2] = { PAIR(1), 2, 3 };\n";
    EXPECT_NE(without_spaces(prepared_text(macro)).find("{{1,1},{2,3}};"), std::string::npos) << prepared_text(macro);
}

// Struct types that double at every level stay unknown past a size instead of filling memory.
TEST(Initialisers, TypesNestedDeepStayCheap)
{
    std::string source = "struct S0 { float a; };\n";
    for (int i = 1; i < 64; ++i) {
        source += "struct S" + std::to_string(i) + " { S" + std::to_string(i - 1) + " a, b; };\n";
    }
    source += "static const S63 big = { 1, 2 };\n";
    EXPECT_EQ(prepared_text(source), source);
}
