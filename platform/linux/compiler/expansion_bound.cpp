// The expansion bound: what the preprocessor would make, measured before it runs.
// Reads: the file's tokens and the caller's macros. Changes: nothing.
// Refuses, with the place of the macro's use (or of the '(' / the #if): macro arguments nested
//   more than 256 levels, macros expanding inside each other more than 256 levels, expansion adding
//   more than 4,194,304 tokens, #if expressions nested more than 256 levels.
// An argument nested 10,000 deep, a macro doubling itself 30 times (a billion tokens) or an #if of
// a million parentheses would cost the preprocessor gigabytes or its stack. The measure is an upper
// bound computed per macro (remembered for each set of argument sizes), without expanding
// anything; every conditional group counts, taken or not.
#include <algorithm>
#include <deque>
#include <map>

#include "compile_limits.h"
#include "compiler.h"

namespace fxcompiler {

namespace {

struct Macro {
    std::string_view name;
    bool function = false;
    std::vector<std::string_view> params;
    std::vector<Token> body;
};

// What expanding a run of tokens gives at most.
struct Cost {
    std::uint64_t tokens = 0;
    std::uint64_t opens = 0;          // '(' among them: how much deeper an #if can get
    const Macro* trailing = nullptr;  // a function-like macro name left at the end, unexpanded
};

struct ArgCost {
    std::uint64_t expanded = 0;
    std::uint64_t raw = 0;
    std::uint64_t opens = 0;
    std::string_view single;  // the argument's text when it is one token: what ## pastes
};

// Saturating: costs are compared with the limits, never wrapped.
std::uint64_t add(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t most = ~std::uint64_t(0) >> 1;
    return a + b < a ? most : std::min<std::uint64_t>(a + b, most);
}

struct LimitHit {
    Diagnostic diagnostic;
};

class ExpansionBound {
public:
    // Directive lines and the text between them.
    void scan(const std::vector<Token>& t)
    {
        std::vector<Token> run;
        for (const Token& token : t) {
            if (token.kind != Kind::Directive) {
                run.push_back(token);
                continue;
            }
            top_level(run);
            run.clear();
            directive(token);
        }
        top_level(run);
    }

private:
    std::map<std::string_view, Macro> macros_;
    std::map<std::pair<const Macro*, std::string>, Cost> memo_;
    std::deque<std::string> pasted_;  // names made by ##, which the costs point into
    std::vector<const Macro*> active_;
    std::uint64_t total_ = 0;
    Token origin_{};  // where the expansion being measured starts in the file

    [[noreturn]] static void fail(const Token& at, const std::string& text)
    {
        throw LimitHit{{at.line, at.line > 0 ? at.column : 0, true, text}};
    }

    static bool punct(const Token& t, char c) { return t.kind == Kind::Punct && t.text.size() == 1 && t.text[0] == c; }

    [[noreturn]] void too_long() const
    {
        fail(origin_,
             "'" + std::string(origin_.text) + "' : macro expansion adds more than " +
                 std::to_string(limits::MAX_EXPANDED_TOKENS) + " tokens to the shader, the preprocessor's limit");
    }

    void top_level(const std::vector<Token>& run)
    {
        std::size_t i = 0;
        while (i < run.size()) {
            std::size_t next = i;
            origin_ = run[i];
            Cost c = one(run, i, next, nullptr, nullptr, 0);
            if (c.tokens > next - i) total_ = add(total_, c.tokens - (next - i));  // what macros add
            if (total_ > limits::MAX_EXPANDED_TOKENS) too_long();
            i = next;
        }
    }

    void directive(const Token& d)
    {
        // The directive's own tokens, placed in the file: "#  define X(a) a" and continued lines.
        std::vector<Token> list = lex(d.text.substr(1), d.line, d.column + 1, false);
        if (list.empty()) return;
        std::string_view name = list[0].text;
        if ((name == "define" || name == "undef") && list.size() > 1 && list[1].kind == Kind::Ident) {
            memo_.clear();
            macros_.erase(list[1].text);
            if (name == "undef") return;
            Macro m;
            m.name = list[1].text;
            std::size_t k = 2;
            // Function-like only with the '(' right after the name.
            if (list.size() > 2 && punct(list[2], '(') && list[2].joined) {
                m.function = true;
                for (k = 3; k < list.size() && !punct(list[k], ')'); ++k) {
                    if (list[k].kind == Kind::Ident) m.params.push_back(list[k].text);
                    else if (punct(list[k], '.')) m.params.push_back("__VA_ARGS__"), k += 2;
                }
                ++k;
            }
            if (k < list.size()) m.body.assign(list.begin() + (std::ptrdiff_t)k, list.end());
            macros_[m.name] = std::move(m);
        } else if (name == "if" || name == "elif") {
            std::vector<Token> expression(list.begin() + 1, list.end());
            check_if(expression);
        }
    }

    // glslang evaluates #if recursively, once per parenthesis and per unary operator.
    void check_if(const std::vector<Token>& e)
    {
        int depth = 0, unary = 0;
        std::uint64_t from_macros = 0;
        bool operand_before = false;
        for (std::size_t i = 0; i < e.size(); ++i) {
            const Token& t = e[i];
            bool is_unary = !operand_before && t.kind == Kind::Punct &&
                (t.text == "!" || t.text == "~" || t.text == "-" || t.text == "+");
            unary = is_unary ? unary + 1 : 0;
            if (punct(t, '(')) ++depth;
            if (punct(t, ')')) --depth;
            if (t.kind == Kind::Ident && macros_.count(t.text)) {
                std::size_t next = i;
                origin_ = t;
                Cost c = one(e, i, next, nullptr, nullptr, 0);
                from_macros = add(from_macros, c.opens);
                if (c.tokens > next - i) total_ = add(total_, c.tokens - (next - i));
                i = next - 1;
            }
            if ((std::uint64_t)std::max(depth, 0) + (std::uint64_t)unary + from_macros >
                (std::uint64_t)limits::MAX_IF_DEPTH) {
                fail(t, "'#if' : expression nested more than " + std::to_string(limits::MAX_IF_DEPTH) + " levels deep");
            }
            operand_before = t.kind == Kind::Ident || t.kind == Kind::Number || punct(t, ')');
        }
    }

    // The cost of the token at `i` of `seq` (with a macro invocation, up to its ')'); `next` is
    // where the next one starts. Inside a macro body `owner` names the parameters and `args` their
    // arguments' costs.
    Cost one(const std::vector<Token>& seq, std::size_t i, std::size_t& next, const Macro* owner,
             const std::vector<ArgCost>* args, int depth)
    {
        const Token& t = seq[i];
        next = i + 1;
        Cost c;
        if (owner && t.kind == Kind::Ident) {
            for (std::size_t p = 0; p < owner->params.size() && p < args->size(); ++p) {
                if (owner->params[p] != t.text) continue;
                // After a lone '#' an argument becomes one string. Next to '##' it is pasted as written,
                // but what the paste gives is read again, so its other tokens expand then.
                const bool pasted = (i > 1 && seq[i - 1].text == "#" && seq[i - 2].text == "#" && seq[i - 1].joined) ||
                    (i + 2 < seq.size() && seq[i + 1].text == "#" && seq[i + 2].text == "#");
                const bool stringised = !pasted && i > 0 && seq[i - 1].text == "#";
                c.tokens = stringised ? 1 : std::max((*args)[p].expanded, (*args)[p].raw);
                c.opens = (*args)[p].opens;
                return c;
            }
        }
        auto found = t.kind == Kind::Ident ? macros_.find(t.text) : macros_.end();
        const Macro* m = found == macros_.end() ? nullptr : &found->second;
        if (m && std::find(active_.begin(), active_.end(), m) != active_.end()) m = nullptr;  // no recursion
        if (!m) {
            c.tokens = 1;
            c.opens = punct(t, '(') ? 1 : 0;
            return c;
        }
        if (depth >= limits::MAX_MACRO_DEPTH) {
            fail(origin_,
                 "'" + std::string(origin_.text) + "' : macros expand inside each other more than " +
                     std::to_string(limits::MAX_MACRO_DEPTH) + " levels deep");
        }
        if (!m->function) {
            c = expand(m, {}, depth);
        } else if (next < seq.size() && punct(seq[next], '(')) {
            c = invoke(m, seq, next, next, owner, args, depth);
        } else {
            c.tokens = 1;
            c.trailing = m;
            return c;
        }
        // An object-like macro naming a function-like one takes the parentheses that follow it.
        if (c.trailing && next < seq.size() && punct(seq[next], '(')) {
            const Macro* f = c.trailing;
            Cost called = invoke(f, seq, next, next, owner, args, depth);
            c.tokens = add(c.tokens - 1, called.tokens);
            c.opens = add(c.opens, called.opens);
            c.trailing = called.trailing;
        }
        return c;
    }

    // The arguments from the '(' at `open`, measured; `next` is past the ')'.
    Cost invoke(const Macro* m, const std::vector<Token>& seq, std::size_t open, std::size_t& next, const Macro* owner,
                const std::vector<ArgCost>* args, int depth)
    {
        std::vector<std::pair<std::size_t, std::size_t>> ranges;
        int nesting = 0;
        std::size_t arg_start = open + 1, k = open;
        for (; k < seq.size(); ++k) {
            if (punct(seq[k], '(')) {
                if (++nesting > limits::MAX_MACRO_ARGUMENT_NESTING) {
                    fail(seq[k],
                         "'" + std::string(m->name) + "' : macro arguments nested more than " +
                             std::to_string(limits::MAX_MACRO_ARGUMENT_NESTING) + " levels deep");
                }
            } else if (punct(seq[k], ')')) {
                if (--nesting == 0) break;
            } else if (punct(seq[k], ',') && nesting == 1) {
                ranges.push_back({arg_start, k});
                arg_start = k + 1;
            }
        }
        ranges.push_back({arg_start, std::min(k, seq.size())});
        next = std::min(k + 1, seq.size());
        std::vector<ArgCost> costs;
        for (const auto& r : ranges) {
            ArgCost a;
            if (r.second == r.first + 1) a.single = single(seq[r.first], owner, args);
            for (std::size_t j = r.first; j < r.second;) {
                std::size_t after = j;
                Cost c = one(seq, j, after, owner, args, depth + 1);
                a.expanded = add(a.expanded, c.tokens);
                a.opens = add(a.opens, c.opens);
                a.raw = add(a.raw, owner && c.tokens > 1 ? c.tokens : after - j);
                j = after;
            }
            costs.push_back(a);
        }
        return expand(m, costs, depth);
    }

    // The text `t` stands for: an argument's single token for a parameter, else its own.
    static std::string_view single(const Token& t, const Macro* owner, const std::vector<ArgCost>* args)
    {
        if (owner && t.kind == Kind::Ident) {
            for (std::size_t p = 0; p < owner->params.size() && p < args->size(); ++p) {
                if (owner->params[p] == t.text) return (*args)[p].single;
            }
        }
        return t.text;
    }

    // "x ## y" at `j`, with a y.
    static bool paste_follows(const std::vector<Token>& body, std::size_t j)
    {
        return j + 3 < body.size() && punct(body[j + 1], '#') && punct(body[j + 2], '#') && body[j + 2].joined;
    }

    // A name that "a ## b" makes in `m`'s body at `j`, when every operand is one known token: it
    // is measured as the macro it may name, with what follows it in the body. False otherwise (the
    // operands then count as they are).
    bool pasted(const Macro* m, const std::vector<ArgCost>& costs, std::size_t& j, Cost& part, int depth)
    {
        const Macro* owner = m->function ? m : nullptr;
        std::string name;
        std::size_t k = j;
        for (;; k += 3) {
            std::string_view operand = single(m->body[k], owner, &costs);
            if (operand.empty()) return false;
            name += operand;
            if (!paste_follows(m->body, k)) break;
        }
        pasted_.push_back(name);
        Token made = m->body[j];
        made.text = pasted_.back();
        made.kind = ident_start(name[0]) ? Kind::Ident : Kind::Number;
        std::vector<Token> rest{made};
        rest.insert(rest.end(), m->body.begin() + (std::ptrdiff_t)k + 1, m->body.end());
        std::size_t after = 0;
        part = one(rest, 0, after, owner, &costs, depth + 1);
        j = k + after;
        return true;
    }

    Cost expand(const Macro* m, const std::vector<ArgCost>& costs, int depth)
    {
        std::string key;
        for (const ArgCost& a : costs) {
            key += std::to_string(a.expanded) + ',' + std::to_string(a.raw) + ',' + std::to_string(a.opens) + ',';
            key.append(a.single.data(), a.single.size());
            key += '\x1f';
        }
        auto memo = memo_.find({m, key});
        if (memo != memo_.end()) return memo->second;
        active_.push_back(m);
        Cost c;
        for (std::size_t j = 0; j < m->body.size();) {
            std::size_t after = j;
            Cost part;
            if (paste_follows(m->body, j) && pasted(m, costs, after, part, depth)) {
                // measured as what the pasted name expands to
            } else {
                part = one(m->body, j, after, m->function ? m : nullptr, &costs, depth + 1);
            }
            c.tokens = add(c.tokens, part.tokens);
            c.opens = add(c.opens, part.opens);
            c.trailing = part.trailing;
            if (c.tokens > limits::MAX_EXPANDED_TOKENS) too_long();
            j = after;
        }
        active_.pop_back();
        memo_[{m, key}] = c;
        return c;
    }
};

}  // namespace

bool check_expansion_bound(const std::vector<Token>& file, const std::vector<Define>& defines,
                           std::vector<Diagnostic>& diagnostics)
{
    try {
        ExpansionBound bound;
        // The caller's macros first; they have no place in the file (line 0).
        std::deque<std::string> texts;  // the macros point into them
        for (const Define& d : defines) {
            if (d.name.empty() || !ident_start(d.name[0])) continue;
            texts.push_back("#define " + d.name + " " + d.value);
            std::replace(texts.back().begin(), texts.back().end(), '\n', ' ');
            std::replace(texts.back().begin(), texts.back().end(), '\r', ' ');
            bound.scan(lex(texts.back(), 0, 0));
        }
        bound.scan(file);
    } catch (const LimitHit& hit) {
        Diagnostic d = hit.diagnostic;
        if (d.line <= 0) d.line = d.column = 0;
        diagnostics.push_back(d);
        return false;
    }
    return true;
}

}  // namespace fxcompiler
