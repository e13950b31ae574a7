// Pass: intrinsics whose Direct3D 9 result the back end does not give, as the intrinsic table
// (intrinsics.cpp) says.
// Reads: calls of intrinsics the file does not define itself.
// Changes: a call of a `Defined` intrinsic calls our HLSL function instead (lit -> fx_lit, defined
//   in the preamble); a call of an `Expanded` one becomes its expression (fmod).
// Refuses, with the place: a call of a `Refused` intrinsic (noise, the wave and quad operations).
#include <set>

#include "intrinsics.h"
#include "passes.h"

namespace fxcompiler {

namespace {

class Intrinsics {
public:
    explicit Intrinsics(Unit& unit) : unit_(unit), t_(unit.tokens)
    {
        for (std::string_view f : defined_functions(t_)) user_.insert(f);
    }

    void run()
    {
        bool any = false;
        for (std::size_t k = 0; k + 1 < t_.size() && !any; ++k) any = special(k) != nullptr;
        if (!any) return;
        std::vector<Token> out = rewrite(0, t_.size());
        if (unit_.errors.empty()) t_.list = std::move(out);
    }

private:
    Unit& unit_;
    TokenList& t_;
    std::set<std::string_view> user_;
    std::set<std::string_view> defined_;  // definitions in the preamble already

    const Intrinsic* special(std::size_t k) const
    {
        if (!t_.ident(k) || !t_.is(k + 1, "(") || (k > 0 && t_.is(k - 1, "."))) return nullptr;
        const Intrinsic* row = find_intrinsic(t_.view(k));
        if (!row || row->treatment == Treatment::Native || row->treatment == Treatment::Helper ||
            user_.count(row->name)) {
            return nullptr;
        }
        return row;
    }

    std::vector<Token> rewrite(std::size_t first, std::size_t end)
    {
        std::vector<Token> out;
        for (std::size_t k = first; k < end && unit_.errors.empty(); ++k) {
            const Intrinsic* row = special(k);
            if (!row) {
                out.push_back(t_[k]);
                continue;
            }
            switch (row->treatment) {
            case Treatment::Refused: unit_.error(t_[k], "'" + t_.str(k) + "' : " + std::string(row->definition)); break;
            case Treatment::Defined: {
                Token call = t_[k];
                call.text = row->replacement;
                call.verbatim = false;
                out.push_back(call);
                if (defined_.insert(row->name).second) unit_.preamble += std::string(row->definition);
                break;
            }
            case Treatment::Expanded: k = expand(*row, k, out); break;
            case Treatment::Native:
            case Treatment::Helper: break;
            }
        }
        return out;
    }

    // The call at `k` as the row's expression, its arguments a and b rewritten too; returns the
    // index of the call's ')'. A call with another number of arguments stays, for the back end
    // to refuse.
    std::size_t expand(const Intrinsic& row, std::size_t k, std::vector<Token>& out)
    {
        const std::size_t close = t_.match(k + 1);
        std::vector<std::pair<std::size_t, std::size_t>> args;
        std::size_t from = k + 2;
        for (std::size_t j = k + 2; j <= close; ++j) {
            if (j == close || t_.is(j, ",")) {
                args.push_back({from, j});
                from = j + 1;
            } else if (t_.is(j, "(") || t_.is(j, "[") || t_.is(j, "{")) {
                j = t_.match(j);
            }
        }
        if (args.size() != 2 || !t_.is(close, ")")) {
            out.push_back(t_[k]);
            return k;
        }
        const std::vector<Token> a = rewrite(args[0].first, args[0].second);
        const std::vector<Token> b = rewrite(args[1].first, args[1].second);
        for (Token part : lex(row.definition, 0, 0, false)) {
            if (part.kind == Kind::Ident && (part.text == "a" || part.text == "b")) {
                const std::vector<Token>& arg = part.text == "a" ? a : b;
                out.insert(out.end(), arg.begin(), arg.end());
                continue;
            }
            part.line = t_[k].line;
            part.column = t_[k].column;
            part.verbatim = false;
            out.push_back(part);
        }
        return close;
    }
};

}  // namespace

void apply_intrinsic_rules(Unit& unit) { Intrinsics(unit).run(); }

}  // namespace fxcompiler
