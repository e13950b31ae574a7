// #if expressions: C's integer arithmetic in 64 bits, wrapping, never undefined.
// Refuses, with the place: division by zero, what is not an integer expression, nesting past the
// limit (parentheses and unary operators; the parser recurses once per level).
#include <climits>

#include "compile_limits.h"
#include "preprocessor.h"

namespace fxcompiler {
namespace pp {

namespace {

struct Evaluator {
    const std::vector<Token>& t;
    const Token& directive;
    std::size_t at = 0;
    int depth = 0;

    std::int64_t run()
    {
        std::int64_t v = conditional();
        if (at < t.size()) fail(t[at], "'" + std::string(t[at].text) + "' : unexpected in the #if expression");
        return v;
    }

    const Token& here() const { return at < t.size() ? t[at] : directive; }

    bool is(const char* op) const
    {
        std::size_t n = std::char_traits<char>::length(op);
        if (at + n > t.size()) return false;
        for (std::size_t k = 0; k < n; ++k) {
            if (!punct(t[at + k], op[k]) || (k > 0 && !t[at + k].joined)) return false;
        }
        // "<" is not the start of "<<" or "<=", and so on.
        if (at + n < t.size() && t[at + n].joined && t[at + n].kind == Kind::Punct) {
            const char next = t[at + n].text[0];
            const char last = op[n - 1];
            if (next == '=' || (n == 1 && next == last && (last == '<' || last == '>' || last == '&' || last == '|')))
                return false;
        }
        return true;
    }

    bool take(const char* op)
    {
        if (!is(op)) return false;
        at += std::char_traits<char>::length(op);
        return true;
    }

    void deeper()
    {
        if (++depth > limits::MAX_IF_DEPTH) {
            fail(here(),
                 "'#if' : expression nested more than " + std::to_string(limits::MAX_IF_DEPTH) + " levels deep");
        }
    }

    std::int64_t conditional()
    {
        deeper();
        std::int64_t c = binary(0);
        if (take("?")) {
            std::int64_t a = conditional();
            if (!take(":")) fail(here(), "'#if' : ':' expected");
            std::int64_t b = conditional();
            c = c ? a : b;
        }
        --depth;
        return c;
    }

    // Precedence climbing over C's binary operators, lowest level first.
    std::int64_t binary(int level)
    {
        static const char* const LEVELS[][4] = {
            {"||"},       {"&&"},     {"|"},          {"^"}, {"&"}, {"==", "!="}, {"<=", ">=", "<", ">"},
            {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
        const int count = (int)(sizeof LEVELS / sizeof LEVELS[0]);
        if (level == count) return unary();
        std::int64_t left = binary(level + 1);
        for (;;) {
            const char* op = nullptr;
            for (const char* candidate : LEVELS[level]) {
                if (candidate && is(candidate)) {
                    op = candidate;
                    break;
                }
            }
            if (!op) return left;
            const Token& at_op = t[at];
            at += std::char_traits<char>::length(op);
            std::int64_t right = binary(level + 1);
            left = apply(op, left, right, at_op);
        }
    }

    static std::int64_t apply(const std::string& op, std::int64_t a, std::int64_t b, const Token& at)
    {
        // Wrapping arithmetic, as the unsigned type does it: never undefined.
        const std::uint64_t ua = (std::uint64_t)a, ub = (std::uint64_t)b;
        if (op == "||") return a || b;
        if (op == "&&") return a && b;
        if (op == "|") return (std::int64_t)(ua | ub);
        if (op == "^") return (std::int64_t)(ua ^ ub);
        if (op == "&") return (std::int64_t)(ua & ub);
        if (op == "==") return a == b;
        if (op == "!=") return a != b;
        if (op == "<=") return a <= b;
        if (op == ">=") return a >= b;
        if (op == "<") return a < b;
        if (op == ">") return a > b;
        if (op == "<<") return b < 0 || b > 63 ? 0 : (std::int64_t)(ua << b);
        if (op == ">>") return b < 0 || b > 63 ? (a < 0 ? -1 : 0) : a >> b;
        if (op == "+") return (std::int64_t)(ua + ub);
        if (op == "-") return (std::int64_t)(ua - ub);
        if (op == "*") return (std::int64_t)(ua * ub);
        if (b == 0) fail(at, "'#if' : division by zero");
        if (a == INT64_MIN && b == -1) return op == "/" ? a : 0;
        return op == "/" ? a / b : a % b;
    }

    std::int64_t unary()
    {
        if (take("(")) {
            deeper();
            std::int64_t v = conditional();
            --depth;
            if (!take(")")) fail(here(), "'#if' : ')' expected");
            return v;
        }
        for (const char* op : {"!", "~", "-", "+"}) {
            if (!take(op)) continue;
            deeper();
            std::int64_t v = unary();
            --depth;
            const std::uint64_t u = (std::uint64_t)v;
            return op[0] == '!' ? !v : op[0] == '~' ? (std::int64_t)~u : op[0] == '-' ? (std::int64_t)(0 - u) : v;
        }
        if (at >= t.size()) fail(directive, "'#if' : the expression ends too soon");
        const Token& v = t[at++];
        if (v.kind == Kind::Ident) return 0;  // a name no macro defines
        if (v.kind != Kind::Number) fail(v, "'" + std::string(v.text) + "' : not an integer");
        std::int64_t value = 0;
        if (!integer(v.text, value)) fail(v, "'" + std::string(v.text) + "' : not an integer");
        return value;
    }

    static bool integer(std::string_view s, std::int64_t& value)
    {
        while (!s.empty() && (s.back() == 'u' || s.back() == 'U' || s.back() == 'l' || s.back() == 'L')) {
            s.remove_suffix(1);
        }
        unsigned base = 10;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            base = 16;
            s.remove_prefix(2);
        } else if (s.size() > 1 && s[0] == '0') {
            base = 8;
        }
        if (s.empty()) return false;
        std::uint64_t v = 0;
        for (char c : s) {
            unsigned digit = std::isdigit((unsigned char)c) ? unsigned(c - '0')
                : std::isxdigit((unsigned char)c)           ? unsigned(std::tolower((unsigned char)c) - 'a' + 10)
                                                            : 99;
            if (digit >= base) return false;
            v = v * base + digit;  // wraps, as C's preprocessor arithmetic may
        }
        value = (std::int64_t)v;
        return true;
    }
};

}  // namespace

std::int64_t evaluate_condition(const std::vector<Token>& expression, const Token& directive)
{
    Evaluator evaluate{expression, directive};
    return evaluate.run();
}

}  // namespace pp
}  // namespace fxcompiler
