// Pass: matrix swizzles of several components, read.
// Reads: `m._m12_11` and `m._23_12` after a name (with members, indices and calls).
// Changes: a read becomes `float2(m._m12, m._11)`: the back end reads a matrix swizzle of several
//   components as 0, and its GLSL does not build. Writes are right as they are and stay; a matrix
//   written otherwise (in parentheses, say) is left as it is.
// Refuses: nothing.
#include "passes.h"

namespace fxcompiler {

namespace {

// The components of a matrix swizzle ("_m12_11" or "_23_12"), or 0 when `s` is none.
int matrix_swizzle_size(std::string_view s)
{
    int n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) {
        auto digit = [&](std::size_t at, char low) { return at < s.size() && s[at] >= low && s[at] <= low + 3; };
        if (s[i] != '_') return 0;
        if (i + 1 < s.size() && s[i + 1] == 'm' && digit(i + 2, '0') && digit(i + 3, '0')) i += 4;
        else if (digit(i + 1, '1') && digit(i + 2, '1')) i += 3;
        else return 0;
    }
    return n;
}

// The first token of the matrix before the '.' at `dot`: back over members, indices and a call to
// its first name; `dot` itself when there is none.
std::size_t matrix_start(const TokenList& t, std::size_t dot)
{
    std::size_t first = dot;
    while (first > 0) {
        const std::size_t k = first - 1;
        if (t.ident(k)) {
            first = k;
            if (first > 0 && t.is(first - 1, ".")) {
                --first;
                continue;
            }
            break;
        }
        if (!t.is(k, "]") && !t.is(k, ")")) break;
        const char close = t.punct(k), open = close == ']' ? '[' : '(';
        int depth = 0;
        std::size_t j = k + 1;
        while (j-- > 0) {
            const char c = t.punct(j);
            if (c == close) ++depth;
            else if (c == open && --depth == 0) break;
        }
        if (j > k) break;  // unbalanced
        first = j;
        if (open == '(' && !(first > 0 && t.ident(first - 1))) break;  // parentheses, not a call
    }
    return first;
}

}  // namespace

void split_matrix_swizzles(Unit& unit)
{
    TokenList& t = unit.tokens;
    std::vector<Replacement> replacements;
    std::size_t done = 0;  // no replacement may overlap the one before
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
        if (!t.is(i, ".") || !t.ident(i + 1)) continue;
        const int size = matrix_swizzle_size(t.view(i + 1));
        if (size < 2 || size > 4) continue;
        const bool written = (t.is(i + 2, "=") && !t.is(i + 3, "=")) ||
            (t.is(i + 3, "=") && t[i + 3].joined && one_of(t.view(i + 2), {"+", "-", "*", "/", "%"})) ||
            (t.is(i + 2, "+") && t.is(i + 3, "+")) || (t.is(i + 2, "-") && t.is(i + 3, "-"));
        if (written) continue;
        const std::size_t first = matrix_start(t, i);
        if (first == i || !(t.ident(first) || t.is(first, "(")) || t[first].line != t[i + 1].line) continue;
        if (first < done) continue;
        // float2(m._m12, m._11)
        const Token& at = t[first];
        std::vector<Token> made;
        made.push_back(t.make(t.keep("float" + std::to_string(size)), Kind::Ident, at));
        made.push_back(t.make("(", Kind::Punct, at));
        const std::string_view swizzle = t.view(i + 1);
        for (std::size_t from = 0; from < swizzle.size();) {
            std::size_t next = swizzle.find('_', from + 1);
            if (next == std::string_view::npos) next = swizzle.size();
            if (from) made.push_back(t.make(",", Kind::Punct, at));
            made.insert(made.end(), t.list.begin() + (std::ptrdiff_t)first, t.list.begin() + (std::ptrdiff_t)i + 1);
            made.push_back(t.make(swizzle.substr(from, next - from), Kind::Ident, t[i + 1]));
            from = next;
        }
        made.push_back(t.make(")", Kind::Punct, at));
        replacements.push_back({first, i + 1, std::move(made)});
        done = i + 2;
    }
    replace_tokens(t, std::move(replacements));
}

}  // namespace fxcompiler
