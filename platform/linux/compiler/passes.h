// The passes between the preprocessor and the back end (prepare.cpp runs them in order). Each
// reads the preprocessed tokens of the whole file, may change them, and may refuse what the back
// end cannot take or Direct3D 9 does not allow, with the place in main.fx. One pass a file; each
// file opens with what it reads, changes and refuses.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "compiler.h"
#include "tokens.h"

namespace fxcompiler {

// What the passes share.
struct Unit {
    TokenList tokens;                 // the code, preprocessed
    std::vector<Diagnostic> errors;   // a pass that adds one stops the compile after it
    std::vector<GlobalDecl> globals;  // the declarations pass's
    std::vector<std::pair<std::string, Diagnostic>> unnamed_parameters;
    std::string preamble;                // HLSL for before the text: our definitions of intrinsics
    std::string statics_call;            // the statics pass's: runs the moved initialisers
    std::vector<CallDepth> call_depths;  // the calls pass's

    std::vector<Diagnostic> warnings;  // what the compile says and goes on

    void error(const Token& at, std::string text) { errors.push_back({at.line, at.column, true, std::move(text)}); }
    void warn(const Token& at, std::string text) { warnings.push_back({at.line, at.column, false, std::move(text)}); }
};

// ---- the passes, in the order they run ----
void remove_effect_syntax(Unit& unit);       // pass_effect_syntax.cpp
void unwrap_constant_buffers(Unit& unit);    // pass_constant_buffers.cpp
void check_nesting(Unit& unit);              // pass_nesting.cpp
void scan_declarations(Unit& unit);          // pass_declarations.cpp
void unfold_constant_globals(Unit& unit);    // pass_constant_globals.cpp
void check_numbers(Unit& unit);              // pass_numbers.cpp
void check_operands(Unit& unit);             // pass_operands.cpp
void refuse_bitwise_operators(Unit& unit);   // pass_bitwise.cpp
void check_constructors(Unit& unit);         // pass_constructors.cpp
void check_temporaries(Unit& unit);          // pass_temporaries.cpp
void type_bare_samplers(Unit& unit);         // pass_samplers.cpp
void float_types(Unit& unit);                // pass_float_types.cpp
void drop_const_return_types(Unit& unit);    // pass_return_types.cpp
void move_static_initialisers(Unit& unit);   // pass_statics.cpp
void rewrite_initialiser_lists(Unit& unit);  // pass_initialisers.cpp
void split_matrix_swizzles(Unit& unit);      // pass_matrix_swizzles.cpp
void measure_calls(Unit& unit);              // pass_calls.cpp
void apply_intrinsic_rules(Unit& unit);      // pass_intrinsics.cpp

// ---- what several passes ask ----
// A decimal, hex or octal integer with optional u/l suffixes, read in 64 bits, saturating.
bool read_integer(std::string_view text, std::uint64_t& value);

// The tokens [first, last] of every technique, pass, effect object, sampler_state block and
// annotation (the effect-syntax pass's finding, also used on raw text by blank_effect_syntax).
std::vector<std::pair<std::size_t, std::size_t>> find_effect_syntax(const TokenList& t);

// Each top-level function definition: its name and the index of the '{' that opens its body.
std::vector<std::pair<std::string_view, std::size_t>> function_bodies(const TokenList& t);

// Names of the functions the code defines (with a body).
std::vector<std::string_view> defined_functions(const TokenList& t);

// Calls `statement(i)` at the first token of each statement at file scope: an identifier after
// `;`, a brace or a directive. It returns the index of the statement's last token (its `;`) where
// it read the statement to its end, or `i` to go on token by token.
void for_each_global_statement(const TokenList& t, const std::function<std::size_t(std::size_t)>& statement);

// The tokens with `replaced` ranges [first, last] swapped for the given tokens, in one sweep;
// the ranges are sorted and do not overlap.
struct Replacement {
    std::size_t first, last;
    std::vector<Token> tokens;
};
void replace_tokens(TokenList& t, std::vector<Replacement> replacements);

}  // namespace fxcompiler
