// The preprocessor: main.fx's tokens in, the code the compiler sees out, once per file.
// Reads: the file's tokens (with directives), the caller's macros (D3DXMACRO).
// Changes: conditional groups not taken go; macros expand (C's rules: arguments expanded first,
//   # and ##, a macro never expands inside itself); every directive goes except #pragma, which the
//   back end reads. What a macro makes carries the place of the macro's use; what came from an
//   argument keeps its own place.
// Refuses, with the place: #include (there is no include handler, as on Windows), #error, unknown
//   directives, unbalanced #if/#else/#endif, a macro called with the wrong number of arguments or
//   an argument list that is not closed, a bad #if expression. The sizes are bounded before this
//   runs (expansion_bound.cpp); the same limits hold here too, as a last guard.
#include <cstdint>
#include <unordered_map>

#include "compiler.h"
#include "compile_limits.h"
#include "preprocessor.h"

namespace fxcompiler {

namespace {

struct Macro {
    std::string_view name;
    bool function = false;
    bool variadic = false;
    std::vector<std::string_view> params;
    std::vector<Token> body;
    bool disabled = false;  // while its own expansion is read
};

using pp::fail;
using pp::Failed;
using pp::punct;

// '#' '#' written together.
bool paste_at(const std::vector<Token>& body, std::size_t i)
{
    return i + 1 < body.size() && punct(body[i], '#') && punct(body[i + 1], '#') && body[i + 1].joined;
}

class Preprocessor {
public:
    explicit Preprocessor(TokenList& out) : out_(out) {}

    void define(std::string_view directive_text, const Token& at)
    {
        std::vector<Token> t = lex(directive_text, at.line, at.column, false);
        define_from(t, 0, at);
    }

    void run(const std::vector<Token>& file)
    {
        std::size_t i = 0;
        while (i < file.size()) {
            if (file[i].kind == Kind::Directive) {
                directive(file[i]);
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < file.size() && file[end].kind != Kind::Directive) ++end;
            if (active()) {
                Reader reader(&file, i, end, open_frames_);
                expand(reader, out_.list, true);
            }
            i = end;
        }
        if (!conditions_.empty()) {
            fail(conditions_.back().at, "'#" + std::string(conditions_.back().at.text) + "' : no #endif closes it");
        }
    }

private:
    // Where expansion reads: the frames of macros being expanded, innermost last, then a run of
    // tokens (the file's between two directives, or one argument's).
    struct Frame {
        std::vector<Token> tokens;
        std::size_t at = 0;
        Macro* macro = nullptr;
    };

    class Reader {
    public:
        Reader(const std::vector<Token>* base, std::size_t at, std::size_t end, int& open)
            : base_(base), at_(at), end_(end), open_(open)
        {
        }

        std::vector<Frame> frames;

        void push(Frame frame)
        {
            frame.macro->disabled = true;
            frames.push_back(std::move(frame));
            ++open_;
        }

        bool from_base() const { return frames.empty(); }

        bool next(Token& t)
        {
            for (;;) {
                if (frames.empty()) {
                    if (at_ >= end_) return false;
                    t = (*base_)[at_++];
                    return true;
                }
                Frame& f = frames.back();
                if (f.at < f.tokens.size()) {
                    t = f.tokens[f.at++];
                    return true;
                }
                if (f.macro) f.macro->disabled = false;
                frames.pop_back();
                --open_;
            }
        }

        // The next token is '(' (a function-like macro's name is a call only then).
        bool next_is_open()
        {
            for (std::size_t k = frames.size(); k-- > 0;) {
                const Frame& f = frames[k];
                if (f.at < f.tokens.size()) return punct(f.tokens[f.at], '(');
            }
            return at_ < end_ && punct((*base_)[at_], '(');
        }

        void end_frames()  // on a failure: the macros are free again
        {
            for (Frame& f : frames) {
                if (f.macro) f.macro->disabled = false;
            }
            open_ -= (int)frames.size();
            frames.clear();
        }

    private:
        const std::vector<Token>* base_;
        std::size_t at_, end_;
        int& open_;  // frames open in every reader
    };

    struct Condition {
        Token at;
        bool parent_active;
        bool taken;   // a group of this #if was chosen already
        bool active;  // the group being read is
        bool seen_else = false;
    };

    TokenList& out_;
    std::unordered_map<std::string_view, Macro> macros_;
    std::vector<Condition> conditions_;
    Token origin_;            // the file's token a top-level expansion started from
    std::uint64_t made_ = 0;  // tokens macros made, all told
    int open_frames_ = 0;     // macros being expanded inside each other

    bool active() const { return conditions_.empty() || conditions_.back().active; }

    // ---- directives ----

    void directive(const Token& d)
    {
        std::vector<Token> t = lex(d.text.substr(1), d.line, d.column + 1, false);
        if (t.empty()) return;  // "#" alone
        const std::string_view name = t[0].text;
        if (name == "if" || name == "ifdef" || name == "ifndef") {
            bool parent = active();
            bool value = parent && condition(name, t, d);
            conditions_.push_back({d, parent, value, value});
            conditions_.back().at.text = name;
            return;
        }
        if (name == "elif" || name == "else" || name == "endif") {
            if (conditions_.empty()) fail(d, "'#" + std::string(name) + "' : there is no #if before it");
            Condition& c = conditions_.back();
            if (name == "endif") {
                conditions_.pop_back();
                return;
            }
            if (c.seen_else) fail(d, "'#" + std::string(name) + "' : comes after the #else of its #if");
            if (name == "else") {
                c.seen_else = true;
                c.active = c.parent_active && !c.taken;
            } else {
                c.active = c.parent_active && !c.taken && condition(name, t, d);
            }
            c.taken = c.taken || c.active;
            return;
        }
        if (!active()) return;
        if (name == "define") {
            define_from(t, 1, d);
        } else if (name == "undef") {
            if (t.size() < 2 || t[1].kind != Kind::Ident) fail(d, "'#undef' : a macro name must follow");
            macros_.erase(t[1].text);
        } else if (name == "pragma") {
            Token pragma = d;
            out_.list.push_back(pragma);
        } else if (name == "include") {
            std::string header = t.size() > 1 ? directive_rest(t, 1) : std::string();
            if (header.size() >= 2 && (header[0] == '"' || header[0] == '<'))
                header = header.substr(1, header.size() - 2);
            fail(d,
                 "'#include' : cannot include \"" + header +
                     "\": shaders are compiled without an include handler; keep the code in one file");
        } else if (name == "error") {
            fail(d, "'#error' : " + directive_rest(t, 1));
        } else if (name == "line") {
            // Messages count main.fx's own lines: the viewer shows that file.
        } else {
            fail(d, "'#" + std::string(name) + "' : unknown preprocessor directive");
        }
    }

    static std::string directive_rest(const std::vector<Token>& t, std::size_t from)
    {
        std::string s;
        for (std::size_t k = from; k < t.size(); ++k) {
            if (k > from && !t[k].joined) s += ' ';
            s += t[k].text;
        }
        return s;
    }

    void define_from(const std::vector<Token>& t, std::size_t k, const Token& d)
    {
        if (k >= t.size() || t[k].kind != Kind::Ident) fail(d, "'#define' : a macro name must follow");
        Macro m;
        m.name = t[k].text;
        if (m.name == "defined") fail(t[k], "'defined' : cannot be defined as a macro");
        ++k;
        if (k < t.size() && punct(t[k], '(') && t[k].joined) {  // function-like only with '(' right after
            m.function = true;
            ++k;
            bool expect_name = true;
            for (;; ++k) {
                if (k >= t.size()) fail(d, "'" + std::string(m.name) + "' : the parameter list is not closed");
                if (punct(t[k], ')') && (!expect_name || m.params.empty())) break;
                if (expect_name && k + 2 < t.size() && punct(t[k], '.') && punct(t[k + 1], '.') &&
                    punct(t[k + 2], '.')) {
                    m.variadic = true;
                    m.params.push_back("__VA_ARGS__");
                    k += 3;
                    if (k >= t.size() || !punct(t[k], ')')) fail(t[k - 1], "'...' : must be the last parameter");
                    break;
                }
                if (expect_name && t[k].kind == Kind::Ident) {
                    m.params.push_back(t[k].text);
                    expect_name = false;
                } else if (!expect_name && punct(t[k], ',')) {
                    expect_name = true;
                } else {
                    fail(t[k], "'" + std::string(t[k].text) + "' : not a parameter name");
                }
            }
            ++k;
        }
        m.body.assign(t.begin() + (std::ptrdiff_t)std::min(k, t.size()), t.end());
        macros_[m.name] = std::move(m);
    }

    // ---- #if ----

    bool condition(std::string_view name, const std::vector<Token>& t, const Token& d)
    {
        if (name != "if" && name != "elif") {
            if (t.size() < 2 || t[1].kind != Kind::Ident)
                fail(d, "'#" + std::string(name) + "' : a macro name must follow");
            return (macros_.count(t[1].text) > 0) == (name == "ifdef");
        }
        // defined X and defined(X) first, then the macros.
        std::vector<Token> e;
        for (std::size_t k = 1; k < t.size(); ++k) {
            if (t[k].kind == Kind::Ident && t[k].text == "defined") {
                std::size_t n = k + 1;
                bool open = n < t.size() && punct(t[n], '(');
                if (open) ++n;
                if (n >= t.size() || t[n].kind != Kind::Ident) fail(t[k], "'defined' : a macro name must follow");
                if (open && (n + 1 >= t.size() || !punct(t[n + 1], ')'))) fail(t[k], "'defined' : ')' expected");
                Token v = t[k];
                v.kind = Kind::Number;
                v.text = macros_.count(t[n].text) ? "1" : "0";
                e.push_back(v);
                k = open ? n + 1 : n;
                continue;
            }
            e.push_back(t[k]);
        }
        if (e.empty()) fail(d, "'#" + std::string(name) + "' : an expression must follow");
        std::vector<Token> expanded;
        Reader reader(&e, 0, e.size(), open_frames_);
        origin_ = e[0];
        expand(reader, expanded, false);
        return pp::evaluate_condition(expanded, d) != 0;
    }

    // ---- expansion ----

    void expand(Reader& in, std::vector<Token>& result, bool top_level)
    {
        Token t;
        try {
            while (in.next(t)) {
                if (top_level && in.from_base()) {
                    origin_ = t;
                    check_size();
                }
                if (t.kind != Kind::Ident || t.painted) {
                    result.push_back(t);
                    continue;
                }
                auto found = macros_.find(t.text);
                if (found == macros_.end()) {
                    if (t.text == "__LINE__") {
                        t.kind = Kind::Number;
                        t.text = out_.keep(std::to_string(t.line));
                        t.verbatim = false;
                    }
                    result.push_back(t);
                    continue;
                }
                Macro& m = found->second;
                if (m.disabled) {
                    t.painted = true;
                    result.push_back(t);
                    continue;
                }
                if (m.function && !in.next_is_open()) {
                    result.push_back(t);
                    continue;
                }
                std::vector<std::vector<Token>> args;
                if (m.function) args = arguments(m, t, in);
                if (open_frames_ >= limits::MAX_MACRO_DEPTH) {
                    fail(origin_,
                         "'" + std::string(origin_.text) + "' : macros expand inside each other more than " +
                             std::to_string(limits::MAX_MACRO_DEPTH) + " levels deep");
                }
                Frame frame;
                frame.tokens = substitute(m, args, t);
                frame.macro = &m;
                in.push(std::move(frame));
            }
        } catch (...) {
            in.end_frames();
            throw;
        }
        if (top_level) check_size();
    }

    void check_size()
    {
        if (made_ > limits::MAX_EXPANDED_TOKENS * 4 || out_.list.size() > file_tokens_ + limits::MAX_EXPANDED_TOKENS) {
            fail(origin_,
                 "'" + std::string(origin_.text) + "' : macro expansion adds more than " +
                     std::to_string(limits::MAX_EXPANDED_TOKENS) +
                     " tokens to the shader, the "
                     "preprocessor's limit");
        }
    }

public:
    std::size_t file_tokens_ = 0;  // every file token: the output holds at most these and the limit

private:
    // The arguments of a call of `m` at `name`, read up to the ')' (the '(' is next in `in`).
    std::vector<std::vector<Token>> arguments(const Macro& m, const Token& name, Reader& in)
    {
        std::vector<std::vector<Token>> args(1);
        Token t;
        in.next(t);  // '('
        int nesting = 1;
        for (;;) {
            if (!in.next(t)) fail(name, "'" + std::string(m.name) + "' : the macro's argument list is not closed");
            if (punct(t, '(')) {
                if (++nesting > limits::MAX_MACRO_ARGUMENT_NESTING) {
                    fail(t,
                         "'" + std::string(m.name) + "' : macro arguments nested more than " +
                             std::to_string(limits::MAX_MACRO_ARGUMENT_NESTING) + " levels deep");
                }
            } else if (punct(t, ')')) {
                if (--nesting == 0) break;
            } else if (punct(t, ',') && nesting == 1 && !(m.variadic && args.size() == m.params.size())) {
                args.emplace_back();
                continue;
            }
            args.back().push_back(t);
        }
        if (args.size() == 1 && args[0].empty() && m.params.empty()) args.clear();
        if (m.variadic && args.size() + 1 == m.params.size()) args.emplace_back();  // F(a) for F(a, ...)
        if (args.size() != m.params.size()) {
            fail(name,
                 "'" + std::string(m.name) + "' : the macro takes " + std::to_string(m.params.size()) + " argument" +
                     (m.params.size() == 1 ? "" : "s") + ", given " + std::to_string(args.size()));
        }
        return args;
    }

    int parameter(const Macro& m, const Token& t) const
    {
        if (!m.function || t.kind != Kind::Ident) return -1;
        for (std::size_t p = 0; p < m.params.size(); ++p) {
            if (m.params[p] == t.text) return (int)p;
        }
        return -1;
    }

    // The macro's body with the arguments in, at the place of `use`.
    std::vector<Token> substitute(const Macro& m, const std::vector<std::vector<Token>>& args, const Token& use)
    {
        std::vector<std::vector<Token>> expanded(args.size());
        std::vector<bool> expanded_done(args.size(), false);
        std::vector<Token> out;
        bool paste = false;       // the next tokens join the last one
        bool left_empty = false;  // what stands left of a ## was an empty argument
        auto place = [&](Token t) {
            t.line = use.line;
            t.column = use.column;
            t.verbatim = false;
            return t;
        };
        auto append = [&](const std::vector<Token>& tokens, bool from_body) {
            std::size_t k = 0;
            if (paste && !tokens.empty() && !left_empty && !out.empty()) {
                Token joined = out.back();
                out.pop_back();
                std::string text = std::string(joined.text) + std::string(tokens[0].text);
                std::vector<Token> made = lex(out_.keep(text), use.line, use.column, false);
                for (Token& p : made) out.push_back(place(p));
                if (!out.empty() && !made.empty()) out[out.size() - made.size()].joined = joined.joined;
                k = 1;
            }
            for (; k < tokens.size(); ++k) out.push_back(from_body ? place(tokens[k]) : tokens[k]);
            if (!tokens.empty() || !paste) left_empty = tokens.empty();
            paste = false;
        };
        const std::vector<Token>& body = m.body;
        for (std::size_t i = 0; i < body.size(); ++i) {
            if (paste_at(body, i)) {
                paste = true;
                ++i;
                continue;
            }
            if (m.function && punct(body[i], '#') && i + 1 < body.size() && parameter(m, body[i + 1]) >= 0) {
                const std::vector<Token>& arg = args[(std::size_t)parameter(m, body[++i])];
                std::string text = "\"";
                for (std::size_t k = 0; k < arg.size(); ++k) {
                    if (k > 0 && !arg[k].joined) text += ' ';
                    for (char c : arg[k].text) {
                        if ((c == '"' || c == '\\') && arg[k].kind == Kind::String) text += '\\';
                        text += c;
                    }
                }
                Token s = body[i - 1];
                s.kind = Kind::String;
                s.text = out_.keep(text + "\"");
                append({s}, true);
                continue;
            }
            const int p = parameter(m, body[i]);
            if (p < 0) {
                append({body[i]}, true);
                continue;
            }
            const bool raw = paste || paste_at(body, i + 1);
            if (raw) {
                append(args[(std::size_t)p], false);
                continue;
            }
            if (!expanded_done[(std::size_t)p]) {
                const std::vector<Token>& arg = args[(std::size_t)p];
                Reader reader(&arg, 0, arg.size(), open_frames_);
                expand(reader, expanded[(std::size_t)p], false);
                expanded_done[(std::size_t)p] = true;
            }
            std::vector<Token> copy = expanded[(std::size_t)p];
            if (!copy.empty()) copy[0].joined = body[i].joined;
            append(copy, false);
        }
        made_ += out.size();
        if (made_ > limits::MAX_EXPANDED_TOKENS * 4) check_size();
        return out;
    }
};

}  // namespace

bool preprocess(const std::vector<Token>& file, const std::vector<Define>& defines, TokenList& out,
                std::vector<Diagnostic>& diagnostics)
{
    Preprocessor pp(out);
    try {
        Token caller;  // the caller's macros have no place in the file
        for (const Define& d : defines) {
            if (d.name.empty() || !ident_start(d.name[0])) continue;
            std::string text = d.name + " " + d.value;
            for (char& c : text) {
                if (c == '\n' || c == '\r') c = ' ';
            }
            pp.define(out.keep(text), caller);
        }
        pp.file_tokens_ = file.size();
        pp.run(file);
    } catch (const Failed& f) {
        diagnostics.push_back(f.diagnostic);
        return false;
    }
    return true;
}

}  // namespace fxcompiler
