// Pass: operands the back end mishandles.
// Reads: the arguments of mul(), '%' between literals. Changes: nothing.
// Refuses, with the place:
//   - mul() given a one-component vector or a matrix with a dimension of 1 (float1, float2x1,
//     vector<float, 1>, or a name declared with one): the back end crashes fitting it to the other
//     operand. Operand types are not known here, so a name declared with such a type anywhere counts;
//   - '%' of two float literals: the back end folds it to the left operand.
#include <set>

#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

namespace {

// A vector or matrix type with a dimension of 1 at `i`: float1, int1x3, half2x1, vector<float, 1>, ...
bool one_dimension_type(const TokenList& t, std::size_t i)
{
    const std::string_view s = t.view(i);
    if (s == "vector" || s == "matrix") {
        if (!t.is(i + 1, "<")) return false;
        const std::size_t close = t.match(i + 1);
        for (std::size_t k = i + 2; k < close; ++k) {
            if (t.is(k, "1")) return true;
        }
        return false;
    }
    std::size_t base = 0;
    int rows = 0, columns = 0;
    if (!scalar_type(s, base, rows, columns) || base == s.size()) return false;
    return s.size() - base == 1 ? columns == 1 : (rows == 1 || columns == 1);
}

void check_mul(Unit& unit)
{
    const TokenList& t = unit.tokens;
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!t.ident(i) || !one_dimension_type(t, i)) continue;
        std::size_t k = t.is(i + 1, "<") ? t.match(i + 1) + 1 : i + 1;
        if (!t.ident(k)) continue;
        names.insert(t.view(k));
        // "float1 a, b[2], c;" declares them all; "(float1 a, float2 b)" does not.
        for (++k; k < t.size() && !t.is(k, ";") && !t.is(k, ")") && !t.is(k, "{"); ++k) {
            if (t.is(k, "(") || t.is(k, "[")) {
                k = t.match(k);
            } else if (t.is(k, ",") && t.ident(k + 1) && !t.ident(k + 2)) {
                names.insert(t.view(++k));
            }
        }
    }
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (!t.is(i, "mul") || !t.is(i + 1, "(")) continue;
        const std::size_t close = t.match(i + 1);
        for (std::size_t k = i + 2; k < close; ++k) {
            if (t.ident(k) && (one_dimension_type(t, k) || names.count(t.view(k)))) {
                unit.error(t[i],
                           "'mul' : '" + t.str(k) +
                               "' is or holds a one-component vector or a matrix with a dimension of 1, which "
                               "mul does not take here; use a scalar or a wider type");
                return;
            }
        }
    }
}

// The back end folds '%' of two float constants to the left operand: refuse rather than mislead.
void check_remainders(Unit& unit)
{
    const TokenList& t = unit.tokens;
    for (std::size_t i = 0; i + 2 < t.size(); ++i) {
        if (!t.is(i + 1, "%") || t[i].kind != Kind::Number) continue;
        const std::size_t r = t.is(i + 2, "-") ? i + 3 : i + 2;
        auto floating = [&](std::size_t k) { return t.view(k).find_first_of(".eE") != std::string_view::npos; };
        if (r < t.size() && t[r].kind == Kind::Number && (floating(i) || floating(r))) {
            unit.error(t[i + 1],
                       "'%' : remainder of two float literals is not supported here; write the value, or "
                       "use fmod()");
            return;
        }
    }
}

}  // namespace

void check_operands(Unit& unit)
{
    check_remainders(unit);
    if (unit.errors.empty()) check_mul(unit);
}

}  // namespace fxcompiler
