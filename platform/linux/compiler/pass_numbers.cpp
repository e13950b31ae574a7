// Pass: numbers from the source, against Direct3D 9's ranges, read in 64 bits so that nothing
// wraps (c4294967296 is not c0).
// Reads: the dimensions of declared arrays, anywhere, literals or integer expressions of literals
//   and integer constants; the index of every semantic.
// Changes: nothing.
// Refuses, with the place: an array of more than 65,536 elements (dimensions multiplied), a
//   semantic index past 15 (a declaration's usage index has 4 bits).
#include <algorithm>
#include <iterator>

#include <map>

#include "compile_limits.h"
#include "hlsl_words.h"
#include "passes.h"
#include "ps30.h"

namespace fxcompiler {

namespace {

std::string number(std::uint64_t value) { return value == ~std::uint64_t(0) ? "too large" : std::to_string(value); }

}  // namespace

bool read_integer(std::string_view text, std::uint64_t& value)
{
    while (!text.empty() && (text.back() == 'u' || text.back() == 'U' || text.back() == 'l' || text.back() == 'L')) {
        text.remove_suffix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
    }
    if (text.empty()) return false;
    const std::uint64_t most = ~std::uint64_t(0);
    value = 0;
    for (char c : text) {
        const unsigned digit = std::isdigit((unsigned char)c) ? unsigned(c - '0')
            : std::isxdigit((unsigned char)c)                 ? unsigned(std::tolower((unsigned char)c) - 'a' + 10)
                                                              : 99;
        if (digit >= base) return false;
        value = value > (most - digit) / base ? most : value * base + digit;
    }
    return true;
}

namespace {

// Array sizes written as integer expressions of literals and integer constants, in 64 bits,
// saturating: what 65536 * 65536 + 2 is, not what it wraps to.
class ArraySizes {
public:
    explicit ArraySizes(Unit& unit) : unit_(unit), t_(unit.tokens)
    {
        // "const int N = 3, M = N * 2;", static or not, global or local: the last one of a name counts.
        for (std::size_t i = 0; i < t_.size(); ++i) {
            if (!t_.is(i, "const")) continue;
            std::size_t k = i + 1;
            while (t_.ident(k) && has_role(t_.view(k), MODIFIER)) ++k;
            if (!one_of(t_.view(k), {"int", "uint", "dword"})) continue;
            for (++k; t_.ident(k) && t_.is(k + 1, "=");) {
                std::size_t end = k + 2;
                while (end < t_.size() && !t_.is(end, ",") && !t_.is(end, ";")) {
                    if (t_.is(end, "(")) end = t_.match(end);
                    ++end;
                }
                std::uint64_t value = 0;
                if (evaluate(k + 2, end, value)) constants_[t_.view(k)] = value;
                else constants_.erase(t_.view(k));
                if (!t_.is(end, ",")) break;
                k = end + 1;
            }
        }
    }

    // The dimensions "[4][N]..." of a declarator from `open`: their product is at most 65,536.
    void check(std::size_t open)
    {
        std::uint64_t elements = 1;
        for (std::size_t k = open; t_.is(k, "["); k = t_.match(k) + 1) {
            const std::size_t close = t_.match(k);
            std::uint64_t size = 0;
            if (close == k + 1 || !evaluate(k + 1, close, size)) continue;
            elements = size != 0 && elements > MOST / size ? MOST : elements * size;
            if (elements > limits::MAX_ARRAY_ELEMENTS) {
                std::string text;
                for (std::size_t j = k + 1; j < close; ++j) text += t_.str(j);
                unit_.error(t_[k + 1],
                            "'" + text + "' : array of " + number(elements) + " elements; arrays hold at most " +
                                std::to_string(limits::MAX_ARRAY_ELEMENTS));
                return;
            }
        }
    }

private:
    static constexpr std::uint64_t MOST = ~std::uint64_t(0);
    Unit& unit_;
    const TokenList& t_;
    std::map<std::string_view, std::uint64_t> constants_;

    // [first, end) as a non-negative integer: false for anything it cannot tell or below zero.
    bool evaluate(std::size_t first, std::size_t end, std::uint64_t& value) const
    {
        std::size_t at = first;
        bool ok = sum(at, end, value, 0) && at == end;
        return ok;
    }

    bool sum(std::size_t& at, std::size_t end, std::uint64_t& value, int depth) const
    {
        if (!product(at, end, value, depth)) return false;
        while (at < end && (t_.is(at, "+") || t_.is(at, "-"))) {
            const bool plus = t_.is(at++, "+");
            std::uint64_t right = 0;
            if (!product(at, end, right, depth)) return false;
            if (plus) value = value > MOST - right ? MOST : value + right;
            else if (right > value || value == MOST) return false;  // below zero, or too large to tell
            else value -= right;
        }
        return true;
    }

    bool product(std::size_t& at, std::size_t end, std::uint64_t& value, int depth) const
    {
        if (!atom(at, end, value, depth)) return false;
        while (at < end && (t_.is(at, "*") || t_.is(at, "/") || t_.is(at, "%"))) {
            const char op = t_.punct(at++);
            std::uint64_t right = 0;
            if (!atom(at, end, right, depth)) return false;
            if (op == '*') value = right != 0 && value > MOST / right ? MOST : value * right;
            else if (right == 0 || value == MOST) return false;
            else value = op == '/' ? value / right : value % right;
        }
        return true;
    }

    bool atom(std::size_t& at, std::size_t end, std::uint64_t& value, int depth) const
    {
        if (at >= end || depth > limits::MAX_NESTING) return false;
        if (t_.is(at, "+")) return atom(++at, end, value, depth + 1);
        if (t_.is(at, "(")) {
            // A cast to an integer type, or parentheses.
            if (t_.ident(at + 1) && t_.is(at + 2, ")") && one_of(t_.view(at + 1), {"int", "uint", "dword"})) {
                at += 3;
                return atom(at, end, value, depth + 1);
            }
            const std::size_t close = t_.match(at);
            if (close >= end) return false;
            std::size_t inner = at + 1;
            if (!sum(inner, close, value, depth + 1) || inner != close) return false;
            at = close + 1;
            return true;
        }
        if (t_[at].kind == Kind::Number) return read_integer(t_.view(at++), value);
        if (t_.ident(at)) {
            auto found = constants_.find(t_.view(at++));
            if (found == constants_.end()) return false;
            value = found->second;
            return true;
        }
        return false;
    }
};

}  // namespace

void check_numbers(Unit& unit)
{
    static const char* const semantics[] = {"COLOR",     "TEXCOORD", "NORMAL",      "POSITION",     "POSITIONT",
                                            "TANGENT",   "BINORMAL", "BLENDWEIGHT", "BLENDINDICES", "PSIZE",
                                            "FOG",       "DEPTH",    "VPOS",        "VFACE",        "TESSFACTOR",
                                            "SV_TARGET", "SV_DEPTH", "SV_POSITION"};
    const TokenList& t = unit.tokens;
    ArraySizes sizes(unit);
    int ternaries = 0;         // a ':' of "a ? b : c" is no semantic
    bool declaration = false;  // the statement declares: "float a, b[N]" sizes b too
    int parentheses = 0;
    bool statement_start = true;
    for (std::size_t i = 0; i < t.size() && unit.errors.empty(); ++i) {
        if (statement_start && t.ident(i)) {
            std::size_t k = i;
            while (t.ident(k) && is_qualifier(t.view(k))) ++k;
            declaration = t.ident(k) && t.ident(k + 1) && !has_role(t.view(k), STATEMENT);
            parentheses = 0;
        }
        statement_start = false;
        const char c = t.punct(i);
        if (!c) continue;  // every token looked at below is one
        if (c == '(') ++parentheses;
        if (c == ')') --parentheses;
        if (c == '[' && i >= 2 && t.ident(i - 1) &&
            ((t.ident(i - 2) && !has_role(t.view(i - 2), STATEMENT)) ||
             (declaration && parentheses == 0 && t.is(i - 2, ",")))) {
            sizes.check(i);
        }
        if (c == ';' || c == '{' || c == '}') {
            ternaries = 0;
            statement_start = true;
            declaration = false;
        }
        if (c == '?') ++ternaries;
        if (c != ':') continue;
        if (ternaries > 0) {
            --ternaries;
            continue;
        }
        if (!t.ident(i + 1)) continue;
        const std::string_view word = t.view(i + 1);
        std::size_t digits = word.size();
        while (digits > 0 && std::isdigit((unsigned char)word[digits - 1])) --digits;
        std::string name(word.substr(0, digits));
        for (char& ch : name) ch = (char)std::toupper((unsigned char)ch);
        std::uint64_t index = 0;
        const bool known = std::find_if(std::begin(semantics), std::end(semantics),
                                        [&](const char* s) { return name == s; }) != std::end(semantics);
        if (!known || digits == word.size() || !read_integer(word.substr(digits), index)) continue;
        if (index > fxplatform::ps30::MAX_SEMANTIC_INDEX) {
            unit.error(t[i + 1],
                       "'" + t.str(i + 1) + "' : semantic index " + number(index) +
                           " is out of range; semantics take indices 0 to " +
                           std::to_string(fxplatform::ps30::MAX_SEMANTIC_INDEX));
            return;
        }
    }
}

}  // namespace fxcompiler
