// The lexer: main.fx as tokens, each with its line and column.
// Reads: text. Changes: nothing. Refuses: nothing (a stray byte is a one-character token, which
// the parser refuses later with its place).
#include "tokens.h"

namespace fxcompiler {

namespace {

bool line_end(char c) { return c == '\n' || c == '\r'; }

class Lexer {
public:
    Lexer(std::string_view s, int line, int column, bool directives)
        : s_(s), line_(line), column_base_(column - 1), directives_(directives)
    {
    }

    std::vector<Token> run()
    {
        std::vector<Token> tokens;
        tokens.reserve(s_.size() / 4);
        const char* last_end = nullptr;
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (line_end(c)) {
                newline();
                line_begins_ = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
                ++i_;
                continue;
            }
            if (c == '\\' && i_ + 1 < s_.size() && line_end(s_[i_ + 1])) {  // a joined line
                ++i_;
                newline();
                continue;
            }
            if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '/') {
                while (i_ < s_.size() && !line_end(s_[i_])) ++i_;
                continue;
            }
            if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '*') {
                i_ += 2;
                while (i_ < s_.size() && !(s_[i_] == '*' && i_ + 1 < s_.size() && s_[i_ + 1] == '/')) {
                    if (line_end(s_[i_])) newline();
                    else ++i_;
                }
                i_ = i_ < s_.size() ? i_ + 2 : s_.size();
                continue;
            }
            Token t;
            t.line = line_;
            t.column = int(i_ - line_start_) + 1 + (line_ == first_line_ ? column_base_ : 0);
            t.verbatim = true;
            const std::size_t begin = i_;
            t.kind = scan(c);
            t.text = s_.substr(begin, i_ - begin);
            t.joined = last_end == t.text.data();
            last_end = t.text.data() + t.text.size();
            line_begins_ = false;
            tokens.push_back(t);
        }
        return tokens;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
    std::size_t line_start_ = 0;
    int line_;
    const int first_line_ = line_;
    int column_base_;
    bool directives_;
    bool line_begins_ = true;

    void newline()
    {
        if (s_[i_] == '\r' && i_ + 1 < s_.size() && s_[i_ + 1] == '\n') ++i_;
        ++i_;
        ++line_;
        line_start_ = i_;
    }

    Kind scan(char c)
    {
        const std::size_t n = s_.size();
        if (c == '#' && line_begins_ && directives_) {
            while (i_ < n && !line_end(s_[i_])) {
                if (s_[i_] == '\\' && i_ + 1 < n && line_end(s_[i_ + 1])) {
                    ++i_;
                    newline();
                } else {
                    ++i_;
                }
            }
            return Kind::Directive;
        }
        if (ident_start(c)) {
            while (i_ < n && ident_char(s_[i_])) ++i_;
            return Kind::Ident;
        }
        if (std::isdigit((unsigned char)c) || (c == '.' && i_ + 1 < n && std::isdigit((unsigned char)s_[i_ + 1]))) {
            ++i_;
            while (i_ < n) {
                const char d = s_[i_];
                if (ident_char(d) || d == '.' || ((d == '+' || d == '-') && (s_[i_ - 1] == 'e' || s_[i_ - 1] == 'E'))) {
                    ++i_;
                } else {
                    break;
                }
            }
            return Kind::Number;
        }
        if (c == '"' || c == '\'') {
            ++i_;
            while (i_ < n && s_[i_] != c && !line_end(s_[i_])) {
                if (s_[i_] == '\\' && i_ + 1 < n && !line_end(s_[i_ + 1])) ++i_;
                ++i_;
            }
            if (i_ < n && s_[i_] == c) ++i_;
            return Kind::String;
        }
        ++i_;
        return Kind::Punct;
    }
};

}  // namespace

std::vector<Token> lex(std::string_view text, int line, int column, bool directives)
{
    return Lexer(text, line, column, directives).run();
}

}  // namespace fxcompiler
