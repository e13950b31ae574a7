// Preparing main.fx for the back end, once for both entry points: the table of contents.
#include <algorithm>

#include "compiler.h"
#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

namespace {

// The passes, in the order they run. A pass that refuses something stops the compile after it.
const struct {
    const char* name;
    void (*run)(Unit&);
} PASSES[] = {
    {"effect syntax", remove_effect_syntax},            // techniques, sampler_state, annotations go
    {"constant buffers", unwrap_constant_buffers},      // a cbuffer's members are globals
    {"nesting", check_nesting},                         // brackets and statements the parser survives
    {"declarations", scan_declarations},                // globals and their registers; names declared twice
    {"constant globals", unfold_constant_globals},      // a const global is a register, as any global
    {"numbers", check_numbers},                         // array sizes, semantic indices
    {"operands", check_operands},                       // mul() of one-component types, '%' of literals
    {"bitwise operators", refuse_bitwise_operators},    // ps_3_0 has none
    {"constructors", check_constructors},               // float4(1, 2, 3, 4, 5) holds too much
    {"temporaries", check_temporaries},                 // what lives in r0-r31 fits them
    {"samplers", type_bare_samplers},                   // `sampler s` typed by the tex*() that reads it
    {"float types", float_types},                       // double, fixed -> float
    {"return types", drop_const_return_types},          // const on a return type goes
    {"static initialisers", move_static_initialisers},  // computed ones run at the entry point's start
    {"initialiser lists", rewrite_initialiser_lists},   // flat lists nested as the type is
    {"matrix swizzles", split_matrix_swizzles},         // m._m00_m11 read as float2(m._m00, m._m11)
    {"intrinsics", apply_intrinsic_rules},              // lit, fmod, noise as Direct3D 9 has them
    {"calls", measure_calls},                           // how deep each function's calls go
};

}  // namespace

// Where each top-level function definition's body opens: the index of its '{'.
std::vector<std::pair<std::string_view, std::size_t>> function_bodies(const TokenList& t)
{
    std::vector<std::pair<std::string_view, std::size_t>> bodies;
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t.is(i, "{")) ++depth;
        else if (t.is(i, "}")) --depth;
        else if (depth == 0 && i > 0 && t.ident(i - 1) && t.ident(i) && t.is(i + 1, "(")) {
            std::size_t k = t.match(i + 1) + 1;
            while (t.is(k, ":") && t.ident(k + 1)) k = t.is(k + 2, "(") ? t.match(k + 2) + 1 : k + 2;
            if (t.is(k, "{")) {
                bodies.push_back({t.view(i), k});
                i = t.match(k);
            }
        }
    }
    return bodies;
}

std::vector<std::string_view> defined_functions(const TokenList& t)
{
    std::vector<std::string_view> names;
    for (const auto& body : function_bodies(t)) names.push_back(body.first);
    return names;
}

void for_each_global_statement(const TokenList& t, const std::function<std::size_t(std::size_t)>& statement)
{
    int depth = 0;
    bool statement_start = true;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::Directive || t.is(i, "{") || t.is(i, "}")) {
            depth += t.is(i, "{") ? 1 : t.is(i, "}") ? -1 : 0;
            statement_start = true;
            continue;
        }
        const bool starts = statement_start && depth == 0;
        statement_start = t.is(i, ";");
        if (!starts || !t.ident(i)) continue;
        const std::size_t end = statement(i);
        if (end != i) {
            i = end;
            statement_start = true;
        }
    }
}

void replace_tokens(TokenList& t, std::vector<Replacement> replacements)
{
    if (replacements.empty()) return;
    std::vector<Token> out;
    out.reserve(t.size());
    std::size_t at = 0;
    for (Replacement& r : replacements) {
        if (r.first < at || r.last >= t.size() || r.last < r.first) continue;  // overlapping: the first one holds
        out.insert(out.end(), t.list.begin() + (std::ptrdiff_t)at, t.list.begin() + (std::ptrdiff_t)r.first);
        out.insert(out.end(), r.tokens.begin(), r.tokens.end());
        at = r.last + 1;
    }
    out.insert(out.end(), t.list.begin() + (std::ptrdiff_t)std::min(at, t.size()), t.list.end());
    t.list = std::move(out);
}

bool prepare_source(const std::string& text, const std::string& /*file_name*/, const std::vector<Define>& defines,
                    PreparedSource& prepared, std::vector<Diagnostic>& diagnostics)
{
    const std::vector<Token> file = lex(text);
    if (!check_expansion_bound(file, defines, diagnostics)) return false;
    Unit unit;
    if (!preprocess(file, defines, unit.tokens, diagnostics)) return false;
    for (const auto& pass : PASSES) {
        pass.run(unit);
        if (!unit.errors.empty()) {
            diagnostics.insert(diagnostics.end(), unit.errors.begin(), unit.errors.end());
            return false;
        }
    }
    prepared.text = SourceMap::render(unit.tokens.list, prepared.map);
    prepared.preamble = std::move(unit.preamble);
    prepared.globals = std::move(unit.globals);
    prepared.unnamed_parameters = std::move(unit.unnamed_parameters);
    prepared.warnings = std::move(unit.warnings);
    prepared.call_depths = std::move(unit.call_depths);
    prepared.statics_call = std::move(unit.statics_call);
    prepared.bodies.clear();
    if (!prepared.statics_call.empty()) {
        for (const auto& body : function_bodies(unit.tokens)) {
            Place open = prepared.map.rendered(body.second);
            prepared.bodies.push_back({std::string(body.first), open.line, open.column + 1});
        }
    }
    return true;
}

PreparedSource for_entry(const PreparedSource& prepared, const std::string& entry)
{
    PreparedSource source = prepared;
    if (source.statics_call.empty()) return source;
    // Last first, so that earlier places stay where they are.
    std::vector<const FunctionBody*> bodies;
    for (const FunctionBody& b : prepared.bodies) {
        if (b.name == entry) bodies.push_back(&b);
    }
    std::sort(bodies.begin(), bodies.end(), [](const FunctionBody* a, const FunctionBody* b) {
        return a->line != b->line ? a->line > b->line : a->column > b->column;
    });
    for (const FunctionBody* b : bodies) {
        std::size_t at = 0;
        for (int line = 1; line < b->line && at != std::string::npos; ++line) {
            at = source.text.find('\n', at);
            if (at != std::string::npos) ++at;
        }
        if (at == std::string::npos) continue;
        source.text.insert(at + (std::size_t)b->column - 1, source.statics_call);
        source.map.inserted(b->line, b->column, (int)source.statics_call.size());
    }
    return source;
}

}  // namespace fxcompiler
