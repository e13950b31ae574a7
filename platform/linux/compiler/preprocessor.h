// The preprocessor's parts (preprocessor.cpp, pp_expression.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compiler.h"

namespace fxcompiler {
namespace pp {

struct Failed {
    Diagnostic diagnostic;
};

[[noreturn]] inline void fail(const Token& at, const std::string& text)
{
    throw Failed{{at.line, at.column, true, text}};
}

inline bool punct(const Token& t, char c) { return t.kind == Kind::Punct && t.text[0] == c; }

// The value of an #if or #elif expression, its macros expanded and `defined` read already.
std::int64_t evaluate_condition(const std::vector<Token>& expression, const Token& directive);

}  // namespace pp
}  // namespace fxcompiler
