// Rendering the passes' tokens for the back end, and mapping its places back (see source_map.h).
#include "source_map.h"

#include <algorithm>

namespace fxcompiler {

namespace {

bool word(char c) { return ident_char(c) || c == '.'; }

// Whether `b` written right after `a` could read as something else ("+" "+" as "++", "/" "*" as a
// comment, "1" ".x" as "1.", two names as one).
bool needs_space(const Token& a, const Token& b)
{
    if (a.text.data() + a.text.size() == b.text.data()) return false;  // so they were written
    if (a.kind == Kind::Number) return b.kind != Kind::Punct || b.text[0] == '.';
    const bool a_punct = a.kind == Kind::Punct, b_punct = b.kind == Kind::Punct;
    if (a_punct && b_punct) {
        const char x = a.text[0], y = b.text[0];
        return (y == '=' && std::string_view("+-*/%&|^<>=!").find(x) != std::string_view::npos) ||
            (x == y && std::string_view("+-<>&|=/:#").find(x) != std::string_view::npos) || (x == '/' && y == '*') ||
            (x == '*' && y == '/');
    }
    if (a_punct || b_punct) return false;
    return word(a.text.back()) || word(b.text[0]) || a.kind == Kind::String || b.kind == Kind::String;
}

}  // namespace

std::string SourceMap::render(const std::vector<Token>& tokens, SourceMap& map)
{
    std::string out;
    out.reserve(tokens.size() * 4);
    map.spans_.clear();
    map.spans_.reserve(tokens.size());
    map.line_first_.assign(2, 0);  // line 0 unused; line 1 starts at span 0
    int line = 1, column = 1;
    const Token* previous = nullptr;
    auto new_line = [&]() {
        out += '\n';
        ++line;
        column = 1;
        map.line_first_.push_back(map.spans_.size());
        previous = nullptr;
    };
    for (const Token& t : tokens) {
        while (line < t.line) new_line();
        if (t.kind == Kind::Directive && column > 1) new_line();  // a directive is a line of its own
        int at = column;
        if (previous && needs_space(*previous, t)) ++at;
        if (t.line == line && t.column > at) at = t.column;
        out.append((std::size_t)(at - column), ' ');
        map.spans_.push_back({at, (int)t.text.size(), t.line, t.column, t.verbatim});
        if (t.kind == Kind::Directive) {
            // A directive continued over lines keeps them.
            for (char c : t.text) {
                if (c == '\n' || c == '\r') {
                    out += '\n';
                    ++line;
                    map.line_first_.push_back(map.spans_.size());
                } else {
                    out += c;
                }
            }
            new_line();
            continue;
        }
        out.append(t.text.data(), t.text.size());
        column = at + (int)t.text.size();
        previous = &t;
    }
    out += '\n';
    map.line_first_.push_back(map.spans_.size());
    return out;
}

std::pair<std::size_t, std::size_t> SourceMap::line_spans(int line) const
{
    if (line < 1 || line + 1 >= (int)line_first_.size()) return {0, 0};
    return {line_first_[(std::size_t)line], line_first_[(std::size_t)line + 1]};
}

Place SourceMap::to_file(int line, int column) const
{
    auto range = line_spans(line);
    if (range.first == range.second) return {line, column};
    if (column <= 0) return {spans_[range.first].file_line, 0};
    const Span* chosen = nullptr;
    for (std::size_t i = range.first; i < range.second; ++i) {
        const Span& s = spans_[i];
        if (column < s.column) {
            chosen = &s;  // in the space before a token: that token
            break;
        }
        chosen = &s;
        if (column < s.column + s.length) break;
    }
    const Span& s = *chosen;
    const int inside = column - s.column;
    if (s.verbatim && inside > 0 && inside < s.length) return {s.file_line, s.file_column + inside};
    return {s.file_line, s.file_column};
}

Place SourceMap::rendered(std::size_t index) const
{
    if (index >= spans_.size()) return {};
    // The last line whose first span is at or before `index`.
    auto after = std::upper_bound(line_first_.begin() + 1, line_first_.end(), index);
    return {(int)(after - line_first_.begin()) - 1, spans_[index].column};
}

void SourceMap::inserted(int line, int column, int length)
{
    auto range = line_spans(line);
    for (std::size_t i = range.first; i < range.second; ++i) {
        if (spans_[i].column >= column) spans_[i].column += length;
    }
}

}  // namespace fxcompiler
