// Pass: brackets and statement lengths the back end survives.
// Reads: every bracket and statement. Changes: nothing.
// Refuses: brackets nested more than 256 deep, statements of more than 8,192 tokens (the HLSL front
//   end recurses once per level and per operator and overflows its stack a few thousand deep); a
//   '[' that a ')', '}' or the end of the file closes ("float n(float a[2)"), on which it crashes.
#include "compile_limits.h"
#include "passes.h"

namespace fxcompiler {

void check_nesting(Unit& unit)
{
    const TokenList& t = unit.tokens;
    int depth = 0;
    std::size_t statement_start = 0;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t.punct(i);
        if (!c) continue;
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(i);
            if (++depth > limits::MAX_NESTING) {
                unit.error(t[i], "'" + std::string(1, c) + "' : nested more than " +
                                     std::to_string(limits::MAX_NESTING) + " levels deep");
                return;
            }
        } else if (c == ')' || c == ']' || c == '}') {
            --depth;
            if (!open.empty()) {
                if (t.is(open.back(), "[") && c != ']') {
                    unit.error(t[open.back()], "'[' : not closed with ']'");
                    return;
                }
                open.pop_back();
            }
        }
        if (c == ';' || c == '{' || c == '}') {
            statement_start = i + 1;
        } else if (i - statement_start > limits::MAX_STATEMENT_TOKENS) {
            unit.error(t[statement_start], "statement longer than " + std::to_string(limits::MAX_STATEMENT_TOKENS) +
                                               " tokens; split it up");
            return;
        }
    }
    for (std::size_t at : open) {
        if (t.is(at, "[")) {
            unit.error(t[at], "'[' : not closed with ']'");
            return;
        }
    }
}

}  // namespace fxcompiler
