// The compiler's front half: the preprocessor (C's rules, with the places of what it refuses), the
// way messages find main.fx's place through macros and rewrites, and the tables the passes read.
#include "compiler_test_util.h"
#include "hlsl_words.h"
#include "intrinsics.h"
#include "platform.h"

namespace {

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const char* const ENTRY = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return ";

std::string shader_returning(const std::string& before, const std::string& value)
{
    return before + ENTRY + value + "; }\n";
}

void expect_compiles(const std::string& source)
{
    fxcompiler::CompileOutput out = compile_text(source);
    EXPECT_EQ(out.result, 0) << source << "\n" << messages_of(out);
}

void expect_message(const std::string& source, const std::string& message)
{
    fxcompiler::CompileOutput out = compile_text(source);
    EXPECT_NE(out.result, 0) << source;
    EXPECT_EQ(messages_of(out), message) << source;
}

TEST(Preprocessor, ExpandsAsC)
{
    // Pasting, stringising into an annotation, variadic arguments, arguments expanded first.
    expect_compiles("#define CAT(a, b) a##b\nfloat4 CAT(ti, nt);\n" + shader_returning("", "tint"));
    expect_compiles("#define NAME(x) < string UIName = #x; >\nfloat4 tint NAME(the tint);\n" +
                    shader_returning("", "tint"));
    expect_compiles("#define SUM(first, ...) (first + float4(__VA_ARGS__))\n" +
                    shader_returning("", "SUM(1, 2, 3, 4, 5)"));
    expect_compiles("#define ONE 1\n#define ID(x) x\n#define TWICE(x) ID(x) + ID(x)\n" +
                    shader_returning("", "TWICE(ONE)"));
    // A macro never expands inside itself; the name then stays, as a variable here.
    expect_compiles("float4 x;\n#define x (x + 1)\n" + shader_returning("", "x"));
    // An object-like macro naming a function-like one takes the parentheses after it.
    expect_compiles("#define F(a) (a * 2)\n#define G F\n" + shader_returning("", "G(uv.x)"));
    // The caller's macros (D3DXMACRO) come before the file.
    expect_compiles("#if __LINE__ == 1 && defined(FXVIEW) == 0\n" + shader_returning("", "1") + "#endif\n");
}

TEST(Preprocessor, ChoosesGroupsAsC)
{
    const std::string source =
        "#define A 2\n"
        "#ifdef A\n#if A > 1 && !defined(B) && (A << 2) == 8 && -A < 0 && A % 3 == 2\n"
        "#define VALUE 0.5\n#elif 1\n#error not this one\n#else\n#error nor this\n#endif\n"
        "#else\n#error not this either\n#endif\n"
        "#ifndef VALUE\n#error VALUE is defined\n#endif\n"
        "#if 0\n#if 1\n#error never\n#endif\n#bogus directives in a group not taken\n#endif\n"
        "#undef A\n#ifdef A\n#error A is gone\n#endif\n#line 40\n#pragma pack_matrix(row_major)\n";
    expect_compiles(shader_returning(source, "VALUE"));
}

TEST(Preprocessor, RefusesWithThePlace)
{
    const std::string good = shader_returning("", "1");
    expect_message("float4 a;\n#error stop here, please\n" + good, "main.fx(2,1): error: '#error' : stop here, please");
    expect_message("  #frobnicate\n" + good, "main.fx(1,3): error: '#frobnicate' : unknown preprocessor directive");
    expect_message(good + "#endif\n", "main.fx(2,1): error: '#endif' : there is no #if before it");
    expect_message("#if 1\n#else\n#elif 1\n#endif\n" + good,
                   "main.fx(3,1): error: '#elif' : comes after the #else of its #if");
    expect_message("\n#ifdef X\n" + good, "main.fx(2,1): error: '#ifdef' : no #endif closes it");
    expect_message("#if 1 / (2 - 2)\n#endif\n" + good, "main.fx(1,7): error: '#if' : division by zero");
    expect_message("#if (1\n#endif\n" + good, "main.fx(1,1): error: '#if' : ')' expected");
    expect_message("#define F(a, b) a\n" + shader_returning("", "F(1)"),
                   "main.fx(2,57): error: 'F' : the macro takes 2 arguments, given 1");
    expect_message("#define F(a) a\n" + std::string(ENTRY) + "F(1;\n}\n",
                   "main.fx(2,57): error: 'F' : the macro's argument list is not closed");
    expect_message("#define F(a, a b) a\n" + good, "main.fx(1,16): error: 'b' : not a parameter name");
}

// Names made by ## count in the expansion bound: a chain of pastes doubling 39 times is refused at
// once, at its use, instead of filling memory.
TEST(Preprocessor, PastedNamesCountInTheBound)
{
    std::string chain = "#define X0 1\n";
    for (int i = 1; i <= 39; ++i) {
        const std::string n = std::to_string(i), before = std::to_string(i - 1);
        chain += "#define CAT" + n + "(a, b) a##b\n#define X" + n + " (CAT" + n + "(X, " + before + ") + CAT" + n +
            "(X, " + before + "))\n";
    }
    expect_message(shader_returning(chain, "X39"),
                   "main.fx(80,57): error: 'X39' : macro expansion adds more than 4194304 tokens to the shader, the "
                   "preprocessor's limit");
    // What stands beside the pasted tokens is read again after the paste, and expands.
    std::string around = "#define C(a, b) a##b\n#define X0 x\n";
    for (int i = 1; i <= 39; ++i) {
        const std::string x = "X" + std::to_string(i - 1);
        around += "#define X" + std::to_string(i) + " C(" + x + " " + x + ", " + x + " " + x + ")\n";
    }
    expect_message(shader_returning(around, "X39"),
                   "main.fx(42,57): error: 'X39' : macro expansion adds more than 4194304 tokens to the shader, the "
                   "preprocessor's limit");
    expect_compiles(shader_returning("#define CAT(a, b) a##b\n#define X0 0.5\n", "CAT(X, 0) + CAT(uv., x)"));
    // A ## with nothing after it (found by fuzzing: the bound read past the macro's end).
    expect_compiles(shader_returning("#define TAIL(a) a##\n#define HALF 0.5##\n", "TAIL(uv.x) + HALF"));
}

// Messages name main.fx's place: through a macro (its use), after text a macro made longer or
// shorter, after rewritten lists, and with any line ends.
TEST(Places, MessagesPointIntoTheFile)
{
    expect_message("#define BAD undefined_name\n" + std::string(ENTRY) + "\n  BAD; }\n",
                   "main.fx(3,3): error: 'undefined_name' : unknown variable");
    expect_message("#define LONG_ONE (uv.x + uv.y + uv.x + uv.y)\n#define S 1\n" + std::string(ENTRY) +
                       "\n  LONG_ONE * S + missing; }\n",
                   "main.fx(4,18): error: 'missing' : unknown variable");
    expect_message("static const float2 a[2] = {\n1, 2,\n3, 4};\n" + std::string(ENTRY) + "a[0].x + missing; }\n",
                   "main.fx(4,66): error: 'missing' : unknown variable");
    // Lone carriage returns end lines too; a form feed is white space.
    expect_message("float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\r{\r    return missing;\r}\r",
                   "main.fx(3,12): error: 'missing' : unknown variable");
    expect_compiles("\f" + shader_returning("\f", "1\f"));
}

// Found by fuzzing the preparation: a scan looked past the last token of a file ending in `const`.
TEST(Places, AFileMayEndAnywhere)
{
    for (const char* end : {"const", "static const", "float a[", "cbuffer", "struct S {", "#define F(a) a##"}) {
        fxcompiler::CompileOutput out = compile_text(shader_returning("", "1") + end);
        if (out.result != 0) {
            EXPECT_FALSE(messages_of(out).empty()) << end;
        }
    }
    // Effect initialisers without their braces, one after another (the second overlapped the first).
    for (const char* states : {"sampler vol = sampler_state sampler_state;", "sampler s = sampler_state = 1;",
                               "sampler v = sampler_state lt#e#sa+ gy t sampler_state lt#e#sampler: fx_s0 0 3D\n",
                               "texture t = sampler_state { } sampler_state { };"}) {
        fxcompiler::CompileOutput out = compile_text(states + shader_returning("", "1"));
        if (out.result != 0) {
            EXPECT_FALSE(messages_of(out).empty()) << states;
        }
    }
}

// Braces 30,000 deep where #if leaves them out cost nothing: nothing reads them.
TEST(Places, TextLeftOutIsNeverRead)
{
    expect_compiles("#if 0\n" + std::string(30000, '{') + "\n#endif\n" + shader_returning("", "1"));
}

// Statements nested without braces, or chained with else if, recurse in the front end and in
// SPIRV-Cross as braces do: more than 256 levels are refused with the place, not a crash.
TEST(Limits, StatementsNestAtMost256Deep)
{
    const std::string head = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 {\nfloat x = 0;\n";
    auto fors = [&](int n) { return head + repeat("for (int i = 0; i < 1; i++)\n", n) + "x += 1;\nreturn x; }\n"; };
    auto chain = [&](int n) {
        return head + "if (uv.x < 0) x = 0;\n" + repeat("else if (uv.x < 1) x = 1;\n", n) + "return x; }\n";
    };
    expect_message(fors(600), "main.fx(258,1): error: 'for' : statements nested more than 256 levels deep");
    expect_message(chain(2000), "main.fx(258,1): error: 'else' : statements nested more than 256 levels deep");
    expect_compiles(fors(200));
    expect_compiles(chain(200));
    expect_compiles(head +
                    "do { if (x > 2) x += 1; else x += 2; } while (x < 5);\ndo x++; while (x < 9);\n"
                    "for (;;) { if (x > 20) break; else { x++; } }\nswitch ((int)x) { case 1: x = 2; break; }\n"
                    "return x; }\n");
}

// Array sizes are integer expressions read in 64 bits; a struct or cbuffer counts its members as
// the globals are counted.
TEST(Limits, ArraySizesAndMembersAreBounded)
{
    const std::string entry = shader_returning("", "1");
    expect_message("static float a[65536*65536+2];\n" + entry,
                   "main.fx(1,16): error: '65536*65536+2' : array of 4294967298 elements; arrays hold at most 65536");
    expect_message("float a[70000+0];\n" + entry,
                   "main.fx(1,9): error: '70000+0' : array of 70000 elements; arrays hold at most 65536");
    expect_message("static const int N = 70000;\nfloat a[N];\n" + entry,
                   "main.fx(2,9): error: 'N' : array of 70000 elements; arrays hold at most 65536");
    expect_compiles("static const int N = 3, M = N * 2;\nstatic float a[M - (1)], b[(int)4 % 3];\n" + entry);
    std::string members;
    for (int i = 0; i < 65534; ++i) members += "float m" + std::to_string(i) + ";\n";
    expect_message("struct Big {\n" + members + "};\n" + entry,
                   "main.fx(65535,7): error: 'm65533' : more than 65533 members in one struct or cbuffer, the most a "
                   "shader can declare here");
}

// What lives in temporary registers fits ps_3_0's 32, as Direct3D 9's compiler demands; data
// only initialised and read is constant, and constants have their own 224.
TEST(Limits, TemporariesFitThirtyTwoRegisters)
{
    const std::string body = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { ";
    expect_message("static float4 a[65536];\n" + body + "a[(int)(uv.x * 100)] = 0.25; return a[(int)(uv.y * 100)]; }\n",
                   "main.fx(1,15): error: 'a' : needs 65536 temporary registers; ps_3_0 has 32, r0 to r31");
    expect_message(body + "float4x4 m[9]; m[(int)uv.x][0] = 1; return m[1][0]; }\n",
                   "main.fx(1,59): error: 'm' : needs 36 temporary registers; ps_3_0 has 32, r0 to r31");
    expect_message("struct S { float4 a[20]; float4 b[13]; };\n" + body + "S s; s.b[0] = 1; return s.b[0]; }\n",
                   "main.fx(2,52): error: 's' : needs 33 temporary registers; ps_3_0 has 32, r0 to r31");
    expect_compiles(body + "float4 a[32]; for (int i = 0; i < 32; i++) a[i] = i; return a[(int)uv.y]; }\n");
    std::string list = "1";
    for (int i = 1; i < 40; ++i) list += ", " + std::to_string(i);
    expect_compiles(body + "float w[40] = {" + list + "}; return w[(int)(uv.x * 40)]; }\n");
    expect_compiles("static const float4 k[100] = {" + repeat("1, 2, 3, 4, ", 99) + "1, 2, 3, 4};\n" +
                    shader_returning("", "k[(int)(uv.x * 100)]"));
}

// ps_3_0 has no bitwise operations: Direct3D 9's compiler refuses each, at its place; the logic
// operators stay.
TEST(Refusals, BitwiseOperators)
{
    const std::string head = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { int a = (int)uv.x;\n  ";
    const std::string tail = "\n  return 1; }\n";
    const std::string message =
        " : bitwise operations are not supported on ps_3_0, which has no integer "
        "instructions (Direct3D 9's compiler refuses them too)";
    struct Case {
        const char* code;
        const char* place;
    };
    for (Case c : {Case{"int b = a & 15;", "(2,13): error: '&'"}, Case{"int b = a | 1;", "(2,13): error: '|'"},
                   Case{"a ^= 2;", "(2,5): error: '^='"}, Case{"int b = ~a;", "(2,11): error: '~'"},
                   Case{"int b = a << 2;", "(2,13): error: '<<'"}, Case{"a >>= 1;", "(2,5): error: '>>='"},
                   Case{"a &= 3;", "(2,5): error: '&='"}}) {
        expect_message(head + c.code + tail, "main.fx" + std::string(c.place) + message);
    }
    expect_compiles(head + "bool z = (a > 1) && (a < 3) || !(a >= 2);" + tail);
}

// Code a GL driver would build for minutes: calls nested past 256, more instruction slots than any
// ps_3_0 device has once every function is inlined, statics that together overflow r0-r31.
TEST(Limits, CodeSizeCallsAndStatics)
{
    auto chain = [](int n) {
        std::string s = "float f0(float x) { return x * 0.5; }\n";
        for (int i = 1; i < n; ++i) {
            s += "float f" + std::to_string(i) + "(float x) { return f" + std::to_string(i - 1) + "(x) + 1; }\n";
        }
        return s + "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return f" + std::to_string(n - 1) + "(uv.x); }\n";
    };
    expect_message(chain(300), "main.fx(46,29): error: 'f44' : calls nested more than 256 deep");
    expect_compiles(chain(200));
    auto doubling = [](int n) {
        std::string s = "float d0(float x) { return sin(x); }\n";
        for (int i = 1; i < n; ++i) {
            const std::string before = "d" + std::to_string(i - 1);
            s += "float d" + std::to_string(i) + "(float x) { return " + before + "(x) + " + before + "(x * 2); }\n";
        }
        return s + "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return d" + std::to_string(n - 1) + "(uv.x); }\n";
    };
    expect_message(doubling(14),
                   "main.fx(15,8): error: 'ps_main' : about 81919 instruction slots with its "
                   "functions inlined; ps_3_0 runs at most 32768");
    expect_compiles(doubling(10));
    expect_message("static float4 a[20];\nstatic float4 b[20];\n" +
                       shader_returning("", "a[(int)uv.x] = b[(int)uv.y] = 1, a[1] + b[2]"),
                   "main.fx(2,15): error: 'b' : the statics the code writes need 40 temporary registers together; "
                   "ps_3_0 has 32, r0 to r31");
}

TEST(Tables, SortedForTheirSearch)
{
    EXPECT_TRUE(fxcompiler::word_table_sorted());
    EXPECT_TRUE(fxcompiler::intrinsic_table_sorted());
    EXPECT_TRUE(fxcompiler::has_role("row_major", fxcompiler::MODIFIER));
    EXPECT_TRUE(fxcompiler::has_role("Texture2D", fxcompiler::TEMPLATE));
    EXPECT_FALSE(fxcompiler::has_role("tint", fxcompiler::MODIFIER | fxcompiler::TEMPLATE));
    ASSERT_NE(fxcompiler::find_intrinsic("lit"), nullptr);
    EXPECT_EQ(fxcompiler::find_intrinsic("lit")->treatment, fxcompiler::Treatment::Defined);
    EXPECT_EQ(fxcompiler::find_intrinsic("tint"), nullptr);
}

}  // namespace
