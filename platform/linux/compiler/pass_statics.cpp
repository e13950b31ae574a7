// Pass: statics whose initial values are computed when the shader runs.
// Reads: top-level static declarations and the functions the file defines.
// Changes: a static initialised by a call of a user function, or from such a static, loses its
//   initialiser (and const); a function fx_statics(), added after the file's code, gives the
//   values in declaration order, and the entry point calls it first (PreparedSource::statics_call).
//   That is what ps_3_0 code does anyway: a pixel shader has no place to run them once. The back
//   end cannot take such initialisers where they stand (it crashes, or sees recursion).
// Refuses: nothing.
#include <algorithm>
#include <set>

#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

namespace {

const char* const FUNCTION = "fx_statics";

class Statics {
public:
    explicit Statics(Unit& unit) : unit_(unit), t_(unit.tokens)
    {
        for (std::string_view f : defined_functions(t_)) functions_.insert(f);
    }

    void run()
    {
        if (functions_.empty()) return;
        int depth = 0;
        bool statement_start = true;
        for (std::size_t i = 0; i < t_.size(); ++i) {
            if (t_[i].kind == Kind::Directive || t_.is(i, "{") || t_.is(i, "}")) {
                depth += t_.is(i, "{") ? 1 : t_.is(i, "}") ? -1 : 0;
                statement_start = true;
                continue;
            }
            const bool starts = statement_start && depth == 0;
            statement_start = t_.is(i, ";");
            if (starts && t_.ident(i)) i = declaration(i);
        }
        if (moved_.empty()) return;
        finish();
    }

private:
    struct Moved {
        std::vector<Token> type;  // without qualifiers
        Token name;
        std::vector<Token> dimensions;
        std::vector<Token> value;  // the initialiser, list or expression
    };

    Unit& unit_;
    TokenList& t_;
    std::set<std::string_view> functions_;
    std::set<std::string_view> moved_names_;
    std::vector<Moved> moved_;
    std::vector<Replacement> cuts_;

    // The statement at `first`: a static declaration has its initialisers examined. Returns the
    // index of its last token.
    std::size_t declaration(std::size_t first)
    {
        std::size_t k = first;
        bool is_static = false;
        std::vector<std::size_t> consts;
        for (; t_.ident(k) && is_qualifier(t_.view(k)); ++k) {
            is_static = is_static || t_.is(k, "static");
            if (t_.is(k, "const")) consts.push_back(k);
        }
        if (!is_static || !t_.ident(k)) return first;
        const std::size_t type_first = k++;
        if (t_.is(k, "<")) k = t_.match(k) + 1;
        const std::size_t type_end = k;
        if (!t_.ident(k) || t_.is(k + 1, "(")) return first;  // a function
        bool cut_const = false;
        while (k < t_.size() && t_.ident(k)) {
            const std::size_t name = k++;
            const std::size_t dims_first = k;
            while (t_.is(k, "[")) k = t_.match(k) + 1;
            const std::size_t dims_end = k;
            while (t_.is(k, ":")) k = t_.is(k + 2, "(") ? t_.match(k + 2) + 1 : k + 2;  // semantics, registers
            if (!t_.is(k, "=")) {
                if (!t_.is(k, ",")) break;
                ++k;
                continue;
            }
            const std::size_t eq = k++;
            std::size_t end = k;
            while (end < t_.size() && !t_.is(end, ",") && !t_.is(end, ";")) {
                if (t_.is(end, "(") || t_.is(end, "[") || t_.is(end, "{")) end = t_.match(end);
                ++end;
            }
            if (computed(k, end)) {
                Moved m;
                m.type.assign(t_.list.begin() + (std::ptrdiff_t)type_first, t_.list.begin() + (std::ptrdiff_t)type_end);
                m.name = t_[name];
                m.dimensions.assign(t_.list.begin() + (std::ptrdiff_t)dims_first,
                                    t_.list.begin() + (std::ptrdiff_t)dims_end);
                m.value.assign(t_.list.begin() + (std::ptrdiff_t)k, t_.list.begin() + (std::ptrdiff_t)end);
                moved_.push_back(std::move(m));
                moved_names_.insert(t_.view(name));
                cuts_.push_back({eq, end - 1, {}});
                cut_const = true;
            }
            k = end;
            if (!t_.is(k, ",")) break;
            ++k;
        }
        if (cut_const) {
            for (std::size_t c : consts) cuts_.push_back({c, c, {}});
        }
        return std::max(first, k > 0 ? k - 1 : 0);
    }

    // Whether the initialiser [first, end) calls a function of the file or reads a moved static.
    bool computed(std::size_t first, std::size_t end) const
    {
        for (std::size_t k = first; k < end; ++k) {
            if (!t_.ident(k) || (k > 0 && t_.is(k - 1, "."))) continue;
            if (t_.is(k + 1, "(") && functions_.count(t_.view(k))) return true;
            if (moved_names_.count(t_.view(k))) return true;
        }
        return false;
    }

    void finish()
    {
        std::sort(cuts_.begin(), cuts_.end(),
                  [](const Replacement& a, const Replacement& b) { return a.first < b.first; });
        replace_tokens(t_, std::move(cuts_));
        // After the file's last line: void fx_statics() { { T fx_value[N] = value; name = fx_value; } ... }
        Token end;
        end.line = t_.size() > 0 ? t_[t_.size() - 1].line + 1 : 1;
        end.column = 1;
        auto word = [&](std::string_view s, const Token& at) { return t_.make(s, Kind::Ident, at); };
        auto mark = [&](std::string_view s, const Token& at) { return t_.make(s, Kind::Punct, at); };
        std::vector<Token>& out = t_.list;
        for (std::string_view s : {"void", FUNCTION}) out.push_back(word(s, end));
        for (std::string_view s : {"(", ")", "{"}) out.push_back(mark(s, end));
        for (const Moved& m : moved_) {
            out.push_back(mark("{", m.name));
            out.insert(out.end(), m.type.begin(), m.type.end());
            out.push_back(word("fx_value", m.name));
            out.insert(out.end(), m.dimensions.begin(), m.dimensions.end());
            out.push_back(mark("=", m.name));
            out.insert(out.end(), m.value.begin(), m.value.end());
            out.push_back(mark(";", m.name));
            out.push_back(m.name);
            out.push_back(mark("=", m.name));
            out.push_back(word("fx_value", m.name));
            out.push_back(mark(";", m.name));
            out.push_back(mark("}", m.name));
        }
        out.push_back(mark("}", end));
        unit_.preamble += std::string("void ") + FUNCTION + "();\n";
        unit_.statics_call = std::string(FUNCTION) + "();";
    }
};

}  // namespace

void move_static_initialisers(Unit& unit) { Statics(unit).run(); }

}  // namespace fxcompiler
