// The source as tokens, for the scans that run before the back end (preprocess.cpp,
// initialisers.cpp). Comments are skipped; a directive is one token to the end of its line.
#pragma once

#include <cctype>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace fxcompiler {

enum class Kind { Ident, Number, String, Punct, Directive };

struct Token {
    Kind kind;
    std::size_t begin;
    std::size_t end;
    int line;
    int column;
};

inline bool ident_start(char c) { return std::isalpha((unsigned char)c) || c == '_'; }
inline bool ident_char(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

std::vector<Token> lex(const std::string& s);

inline bool one_of(std::string_view s, std::initializer_list<std::string_view> words)
{
    for (std::string_view w : words) {
        if (s == w) return true;
    }
    return false;
}

struct Tokens {
    const std::string& text;
    std::vector<Token> list;

    explicit Tokens(const std::string& s) : text(s), list(lex(s)) {}
    explicit Tokens(std::string&&) = delete;  // holds a reference to the text

    std::size_t size() const { return list.size(); }
    const Token& operator[](std::size_t i) const { return list[i]; }
    std::string str(std::size_t i) const { return text.substr(list[i].begin, list[i].end - list[i].begin); }
    std::string_view view(std::size_t i) const
    {
        return std::string_view(text).substr(list[i].begin, list[i].end - list[i].begin);
    }
    // The scans ask this of every token several times: lengths first, no strlen per call.
    bool is(std::size_t i, std::string_view s) const
    {
        if (i >= list.size()) return false;
        const Token& t = list[i];
        return t.kind != Kind::String && t.end - t.begin == s.size() && text.compare(t.begin, s.size(), s) == 0;
    }
    bool ident(std::size_t i) const { return i < list.size() && list[i].kind == Kind::Ident; }

    // Index of the bracket closing the one at `open`, or the last token when unbalanced.
    std::size_t match(std::size_t open) const
    {
        char o = text[list[open].begin];
        char c = o == '{' ? '}' : o == '(' ? ')' : o == '[' ? ']' : '>';
        int depth = 0;
        for (std::size_t i = open; i < list.size(); ++i) {
            if (list[i].kind != Kind::Punct) continue;
            char t = text[list[i].begin];
            if (t == o) ++depth;
            else if (t == c && --depth == 0) return i;
        }
        return list.size() - 1;
    }
};

}  // namespace fxcompiler
