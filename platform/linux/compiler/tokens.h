// Tokens, as the lexer (lexer.cpp) makes them and every pass reads them. A token knows where
// main.fx holds it, so that a pass reports a place without counting anything again; a token that
// came out of a macro carries the place of the macro's use.
#pragma once

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fxcompiler {

// Punctuation is one character a token: "+=" is '+' then '=', joined.
enum class Kind : std::uint8_t { Ident, Number, String, Punct, Directive };

struct Token {
    std::string_view text;
    int line = 0;
    int column = 0;
    Kind kind = Kind::Punct;
    bool joined = false;    // written right after the token before it, with no space between
    bool verbatim = false;  // main.fx holds exactly this text at line:column (no macro made it)
    bool painted = false;   // a macro name that must not expand any more (the C rule)
};

inline bool ident_start(char c) { return std::isalpha((unsigned char)c) || c == '_'; }
inline bool ident_char(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

// Line ends are "\r\n", "\n" and a lone "\r"; a backslash before one joins the lines. Comments are
// skipped; a '#' first on its line starts a directive, one token to the end of its (joined) line.
// Positions count from `line`:`column`; the texts point into `text`. Without `directives` a '#'
// is punctuation (for the text of a directive itself).
std::vector<Token> lex(std::string_view text, int line = 1, int column = 1, bool directives = true);

inline bool one_of(std::string_view s, std::initializer_list<std::string_view> words)
{
    for (std::string_view w : words) {
        if (s == w) return true;
    }
    return false;
}

// A token sequence the passes read and edit, with storage for the texts they make.
class TokenList {
public:
    std::vector<Token> list;

    TokenList() = default;
    explicit TokenList(std::vector<Token> tokens) : list(std::move(tokens)) {}
    TokenList(const TokenList&) = delete;  // tokens may point into `made_`
    TokenList& operator=(const TokenList&) = delete;
    TokenList(TokenList&&) = default;
    TokenList& operator=(TokenList&&) = default;

    std::size_t size() const { return list.size(); }
    const Token& operator[](std::size_t i) const { return list[i]; }
    Token& operator[](std::size_t i) { return list[i]; }

    // Past the end, the empty text: a scan may look one token ahead of the last.
    std::string_view view(std::size_t i) const { return i < list.size() ? list[i].text : std::string_view(); }
    std::string str(std::size_t i) const { return std::string(view(i)); }
    // The scans ask this of every token several times: a length compare first.
    bool is(std::size_t i, std::string_view s) const
    {
        return i < list.size() && list[i].kind != Kind::String && list[i].text == s;
    }
    bool ident(std::size_t i) const { return i < list.size() && list[i].kind == Kind::Ident; }
    char punct(std::size_t i) const { return i < list.size() && list[i].kind == Kind::Punct ? list[i].text[0] : '\0'; }

    // Index of the bracket closing the one at `open`, or the last token when unbalanced.
    std::size_t match(std::size_t open) const
    {
        const char o = list[open].text[0];
        const char c = o == '{' ? '}' : o == '(' ? ')' : o == '[' ? ']' : '>';
        int depth = 0;
        for (std::size_t i = open; i < list.size(); ++i) {
            const char t = punct(i);
            if (t == o) ++depth;
            else if (t == c && --depth == 0) return i;
        }
        return list.size() - 1;
    }

    // Keeps `text` for as long as this list lives.
    std::string_view keep(std::string text)
    {
        made_.push_back(std::make_unique<std::string>(std::move(text)));
        return *made_.back();
    }

    // A token the passes write, placed where `at` is.
    Token make(std::string_view text, Kind kind, const Token& at)
    {
        Token t;
        t.text = text;
        t.kind = kind;
        t.line = at.line;
        t.column = at.column;
        return t;
    }

    // Keeps the texts `other` made, for tokens taken from it.
    void adopt(TokenList& other)
    {
        for (auto& s : other.made_) made_.push_back(std::move(s));
        other.made_.clear();
    }

private:
    std::vector<std::unique_ptr<std::string>> made_;  // each string stays where it is
};

}  // namespace fxcompiler
