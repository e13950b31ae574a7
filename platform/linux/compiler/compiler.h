// The HLSL compiler's internal interface, shared by its files, its tests and its benchmark.
// The way through it, in order:
//   compile.cpp       D3DXCompileShaderFromFileA: the file's checks, then the helper process
//   isolate.cpp       the helper process (fxview-hlsl) the rest runs in
//   prepare.cpp       once per file: lexer.cpp, expansion_bound.cpp, preprocessor.cpp, then the
//                     passes it lists in order (pass_*.cpp), rendered by source_map.cpp
//   translate.cpp     per entry point: glslang's HLSL front end, the tree rules (arithmetic.cpp),
//                     SPIR-V, then interface.cpp: Direct3D 9's registers (registers.cpp) and
//                     semantics, and the GLSL writer (glsl_writer.cpp)
//   messages.cpp      the back end's messages as "main.fx(LINE,COL): error: text"
// What Direct3D 9 fixes is in ps30.h (numbers), hlsl_words.cpp (words), intrinsics.cpp (intrinsics);
// this compiler's own limits are in compile_limits.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "shader_blob.h"
#include "source_map.h"
#include "tokens.h"

namespace spirv_cross {
class Compiler;
}

namespace fxcompiler {

// line 0 means the whole file; column 0 means no column is known.
struct Diagnostic {
    int line = 0;
    int column = 0;
    bool error = true;
    std::string text;
};

struct Define {
    std::string name;
    std::string value;
};

// A global declarator as written, so the back end can tell explicit registers from assigned ones.
struct GlobalDecl {
    std::string name;
    std::string type;  // the type keyword, e.g. "float4", "sampler"
    int line = 0;
    int column = 0;
    char reg_class = 0;  // 'c', 's', ... from register(xN); 0 when unbound
    int reg_index = -1;
    int reg_line = 0;
    int reg_column = 0;
};

// How deep the calls of a function go: 1 for one that calls none. An entry point's calls past the
// limit are refused at `too_deep` (see pass_calls.cpp).
struct CallDepth {
    std::string name;
    int depth = 1;
    Diagnostic too_deep;
};

// A function of the file the back end may take as the entry point: where its body opens.
struct FunctionBody {
    std::string name;
    int line = 0;  // of the rendered text, just after the '{'
    int column = 0;
};

// Source ready for the back end: main.fx's lines, preprocessed and rewritten, once for both
// entry points.
struct PreparedSource {
    std::string text;                 // what the back end parses
    std::string preamble;             // HLSL it reads before the text (our definitions of intrinsics)
    SourceMap map;                    // from the text's places to main.fx's
    std::vector<GlobalDecl> globals;  // declaration order
    // Function definitions with a parameter that has no name, which the back end cannot take as
    // the entry point: the function's name and the error to give then.
    std::vector<std::pair<std::string, Diagnostic>> unnamed_parameters;
    std::vector<Diagnostic> warnings;  // the passes', for every entry point
    std::vector<CallDepth> call_depths;
    // Statics whose initialisers run at the start of the entry point (see pass_statics.cpp): the
    // call that runs them, and where each function's body opens.
    std::string statics_call;
    std::vector<FunctionBody> bodies;
};

struct TranslateOptions {
    bool optimise = false;  // run the SPIR-V optimiser
};

struct TranslateResult {
    bool ok = false;
    fxplatform::ShaderBlob blob;
    std::vector<Diagnostic> diagnostics;
};

// ---- back end (translate.cpp): replace it to swap the compiler ----
// The process-wide setup, done at most once; the first translation does it otherwise.
void prepare_back_end();
// One ps_3_0 entry point to GLSL 330 with Direct3D 9 registers, inputs and outputs; `source` as
// for_entry() gives it.
TranslateResult translate_hlsl(const PreparedSource& source, const std::string& file_name, const std::string& entry,
                               const TranslateOptions& options);

// ---- interface.cpp (translate_hlsl's second half) ----
// The SPIR-V of one entry point as the blob: GLSL with Direct3D 9's constant registers, samplers,
// inputs and outputs. False with the error, at its place, for what ps_3_0 lacks.
bool write_glsl(std::vector<std::uint32_t> spirv, const PreparedSource& source, fxplatform::ShaderBlob& blob,
                Diagnostic& refused);

// ---- code_size.cpp ----
// The code the entry point runs, all inlined, against ps_3_0's instruction slots; calls nested too
// deep. Refusals at their place, or none.
std::vector<Diagnostic> check_code_size(const std::vector<std::uint32_t>& spirv, const PreparedSource& source,
                                        const std::string& entry);

// ---- prepare.cpp ----
// Lexes, bounds, preprocesses and runs the passes; false with diagnostics.
bool prepare_source(const std::string& text, const std::string& file_name, const std::vector<Define>& defines,
                    PreparedSource& prepared, std::vector<Diagnostic>& diagnostics);
// The prepared source as the entry point `entry` compiles it (its statics' initialisers run first).
PreparedSource for_entry(const PreparedSource& prepared, const std::string& entry);
// Techniques, passes, texture declarations, sampler_state blocks and annotations become spaces;
// every newline stays, so lines and columns are unchanged (the effect-syntax pass on its own).
std::string blank_effect_syntax(const std::string& text);

// ---- preprocessor.cpp, expansion_bound.cpp ----
bool check_expansion_bound(const std::vector<Token>& file, const std::vector<Define>& defines,
                           std::vector<Diagnostic>& diagnostics);
bool preprocess(const std::vector<Token>& file, const std::vector<Define>& defines, TokenList& out,
                std::vector<Diagnostic>& diagnostics);

// ---- registers.cpp ----
struct RegisterRequest {
    int explicit_index = -1;  // register(xN), or -1
    std::uint32_t count = 1;  // registers the variable spans
    bool used = false;        // by the entry point being compiled
};
// Direct3D 9's allocation: explicit registers of used variables stay; the other used ones take the
// lowest free run, in declaration order. Unused variables get -1.
std::vector<int> assign_registers(const std::vector<RegisterRequest>& requests);

// ---- register_reads.cpp ----
// Per member of the constant block (laid out in registers), counted from the member's first
// register: one past the last register the entry point's code reads (read_end: 0 for none, all
// ones when the member is too large to follow), and one past the last its GLSL loads, read or not
// (load_end: a matrix read by one column is loaded whole).
struct RegisterReads {
    std::vector<std::uint64_t> read_end, load_end;
};
RegisterReads registers_read(const std::vector<std::uint32_t>& spirv, const spirv_cross::Compiler& compiler,
                             std::uint32_t block_variable, std::uint32_t block_type);

// ---- messages.cpp ----
// glslang's info log as one diagnostic per problem, with a column wherever one can be derived.
std::vector<Diagnostic> parse_glslang_log(const std::string& log, const std::string& file_name,
                                          const std::string& source);
// 1-based column of the first whole-word `word` on `line` of `source`, or 0.
int find_word_column(const std::string& source, int line, const std::string& word);
// "file(LINE,COL): error: text" lines, joined by '\n', no trailing newline.
std::string format_diagnostics(const std::vector<Diagnostic>& diagnostics, const std::string& file_name);

// ---- compile.cpp ----
const std::size_t MAX_SOURCE_BYTES = 4u << 20;

struct CompileOutput {
    std::int32_t result = 0;          // an HRESULT
    std::vector<std::uint32_t> code;  // the encoded blob on success
    fxplatform::ShaderBlob blob;
    std::vector<Diagnostic> diagnostics;  // errors, or warnings of a successful compile
    bool limit_hit = false;               // the worker ran out of memory: it is not used again
};

// What the helper process compiles: the file's text, already checked and read.
struct CompileRequest {
    std::string text;
    std::string file_name;
    std::string entry;
    std::vector<Define> defines;
    TranslateOptions options;
};

// A failed compile with one error.
CompileOutput failure(std::int32_t result, int line, int column, const std::string& text);
// Preparation and the back end, in whichever process runs them.
CompileOutput compile_request(const CompileRequest& request);
CompileOutput compile_source(const std::string& source, const std::string& file_name, const std::string& entry,
                             const std::string& profile, const std::vector<Define>& defines,
                             const TranslateOptions& options);
CompileOutput compile_file(const std::string& path, const std::string& entry, const std::string& profile,
                           const std::vector<Define>& defines, const TranslateOptions& options);
// The options D3DXCompileShaderFromFileA uses for its flags.
TranslateOptions options_for_flags(std::uint32_t flags);

// ---- isolate.cpp ----
// The back end runs outside the caller's process, so that a crash or a hang of it is a failed
// compile: in a long-lived helper process (fxview-hlsl, found by helper_for), or where none can
// be started in a child forked for the one compile, or as a last resort here.
CompileOutput compile_isolated(const CompileRequest& request);
// A message for a shader the back end crashed on, found by compiling it again with every `return`
// blanked (crash_probe.cpp); `crashed` when there is none.
CompileOutput probe_crash(const CompileRequest& request, const CompileOutput& crashed);
// Runs `work` in a forked child, with the same protection.
CompileOutput run_isolated(const std::function<CompileOutput()>& work);
// The helper's side: answers requests on `fd` until it is closed, and dies with `parent`.
// Returns the exit code.
int serve_compiles(int fd, int parent);
// On by default; off runs the back end in this process (fuzzing wants to see its crashes).
void set_isolation(bool on);
void set_isolation_time_limit(int milliseconds);
// The worker's address-space cap in bytes; 0 means min(2 GiB, half the machine's memory).
void set_isolation_memory_limit(std::uint64_t bytes);
// Asked every 100 ms while a compile waits; true abandons the compile (a quit must not wait for it).
void set_quit_check(bool (*check)());
// The helper executable to start; empty means the one found for the running program.
void set_helper_path(const std::string& path);
// The helper a program at `program` starts: the one beside it, else the one in the installed
// layout's libexec folder; "" when neither is there (compiles then run in forked children).
std::string helper_for(const std::string& program);

}  // namespace fxcompiler
