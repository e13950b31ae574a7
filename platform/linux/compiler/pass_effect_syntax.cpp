// Pass: effect-file syntax goes.
// Reads: top-level statements. Changes: techniques and passes, effect objects (texture, string,
//   PixelShader, ... declarations), `= sampler_state { ... }` initialisers and annotations
//   (`< string UIName = "x"; >` after a declaration's name or register) are removed: the viewer never
//   applies effect state, and Direct3D 9 ignores it when compiling an entry point.
// Refuses: nothing.
#include <algorithm>

#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

namespace {

class Finder {
public:
    explicit Finder(const TokenList& t) : t_(t) {}

    std::vector<std::pair<std::size_t, std::size_t>> run()
    {
        std::size_t i = 0;
        while (i < t_.size()) {
            if (t_[i].kind == Kind::Directive) {
                ++i;
                continue;
            }
            std::size_t k = i;
            while (t_.ident(k) && has_role(t_.view(k), MODIFIER)) ++k;
            if (t_.ident(k) && has_role(t_.view(k), TECHNIQUE)) {
                i = block(i, k);
            } else if (t_.ident(k) && has_role(t_.view(k), EFFECT_OBJECT)) {
                i = object(i, k);
            } else {
                i = statement(i);
            }
        }
        return std::move(found_);
    }

private:
    const TokenList& t_;
    std::vector<std::pair<std::size_t, std::size_t>> found_;

    void take(std::size_t first, std::size_t last) { found_.push_back({first, last}); }

    // technique NAME <annotations> { ... } with any nesting.
    std::size_t block(std::size_t first, std::size_t from)
    {
        std::size_t j = from;
        while (j < t_.size() && !t_.is(j, "{") && !t_.is(j, ";")) {
            if (t_.is(j, "<")) {
                while (j < t_.size() && !t_.is(j, ">")) ++j;
            }
            ++j;
        }
        std::size_t end = j < t_.size() && t_.is(j, "{") ? t_.match(j) : std::min(j, t_.size() - 1);
        if (t_.is(end + 1, ";")) ++end;
        take(first, end);
        return end + 1;
    }

    // texture NAME <annotations> = ... ; where annotations may hold ';'.
    std::size_t object(std::size_t first, std::size_t from)
    {
        std::size_t j = from;
        while (j < t_.size() && !t_.is(j, ";")) {
            if (t_.is(j, "<")) {
                while (j < t_.size() && !t_.is(j, ">")) ++j;
            } else if (t_.is(j, "{") || t_.is(j, "(") || t_.is(j, "[")) {
                j = t_.match(j);
            }
            if (j < t_.size()) ++j;
        }
        std::size_t end = std::min(j, t_.size() - 1);
        take(first, end);
        return end + 1;
    }

    // Any other top-level statement: only sampler_state initialisers and annotations go.
    std::size_t statement(std::size_t first)
    {
        const bool block_then_semicolon = t_.ident(first) && one_of(t_.view(first), {"struct", "cbuffer", "tbuffer"});
        std::size_t type = first;
        while (t_.ident(type) && has_role(t_.view(type), MODIFIER)) ++type;
        const bool sampler = t_.ident(type) && has_role(t_.view(type), SAMPLER);
        bool seen_eq = false;
        std::size_t eq = 0;
        int idents = 0;
        for (std::size_t j = first; j < t_.size(); ++j) {
            const Token& t = t_[j];
            if (t.kind == Kind::Directive) continue;
            if (t.kind == Kind::Ident) {
                if (seen_eq && t.text == "sampler_state") {
                    std::size_t k = j;
                    while (k < t_.size() && !t_.is(k, "{") && !t_.is(k, ";")) ++k;
                    std::size_t end = t_.is(k, "{") ? t_.match(k) : j;
                    take(eq, end);
                    j = end;
                    seen_eq = false;  // that initialiser is gone
                    continue;
                }
                ++idents;
                continue;
            }
            const char c = t_.punct(j);
            if (c == ';') return j + 1;
            if (c == '(' || c == '[') {
                j = t_.match(j);
            } else if (c == '{') {
                std::size_t close = t_.match(j);
                if (sampler && !seen_eq) {  // sampler2D s { MinFilter = Linear; };
                    take(j, close);
                    j = close;
                    continue;
                }
                if (!seen_eq && !block_then_semicolon) return close + 1;  // a function body
                j = close;
            } else if (c == '=') {
                seen_eq = true;
                eq = j;
            } else if (c == ',') {
                seen_eq = false;
                idents = 1;
            } else if (c == '<' && !seen_eq && j > first) {
                const bool after_register = t_.is(j - 1, ")") || t_.is(j - 1, "]");  // or parameters, or a size
                const bool after_name = t_.ident(j - 1) && idents >= 2 && !has_role(t_.view(j - 1), TEMPLATE);
                std::size_t k = j;
                if (after_register || after_name) {
                    while (k < t_.size() && !t_.is(k, ">")) ++k;
                    take(j, std::min(k, t_.size() - 1));
                } else {
                    k = t_.match(j);
                }
                j = k;
            }
        }
        return t_.size();
    }
};

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> find_effect_syntax(const TokenList& t) { return Finder(t).run(); }

void remove_effect_syntax(Unit& unit)
{
    std::vector<Replacement> gone;
    for (const auto& range : find_effect_syntax(unit.tokens)) gone.push_back({range.first, range.second, {}});
    replace_tokens(unit.tokens, std::move(gone));
}

std::string blank_effect_syntax(const std::string& text)
{
    TokenList t(lex(text));
    std::string out = text;
    for (const auto& range : find_effect_syntax(t)) {
        const std::size_t begin = (std::size_t)(t[range.first].text.data() - text.data());
        const std::size_t end = (std::size_t)(t[range.second].text.data() + t[range.second].text.size() - text.data());
        for (std::size_t at = begin; at < end; ++at) {
            if (out[at] != '\n' && out[at] != '\r') out[at] = ' ';
        }
    }
    return out;
}

}  // namespace fxcompiler
