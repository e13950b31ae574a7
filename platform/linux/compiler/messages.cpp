// Message text: parse_glslang_log turns the back end's info log into one diagnostic per problem;
// find_word_column derives columns; format_diagnostics writes "file(LINE,COL): error: text".
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "compiler.h"

namespace fxcompiler {

namespace {

bool word_char(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

// Offset of the first character of 1-based `line`, or npos.
std::size_t line_offset(const std::string& source, int line)
{
    int l = 1;
    std::size_t at = 0, n = source.size();
    while (l < line && at < n) {
        if (source[at] == '\r' && at + 1 < n && source[at + 1] == '\n') ++at;
        if (source[at] == '\n' || source[at] == '\r') ++l;
        ++at;
    }
    return l == line && line >= 1 ? at : std::string::npos;
}

bool starts_with(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string trim(std::string s)
{
    while (!s.empty() && std::isspace((unsigned char)s.back())) s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && std::isspace((unsigned char)s[b])) ++b;
    return s.substr(b);
}

void replace_all(std::string& s, const std::string& from, const std::string& to)
{
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
}

// "'token' : text" -> token
std::string quoted_token(const std::string& text)
{
    if (text.size() < 3 || text[0] != '\'') return std::string();
    std::size_t close = text.find('\'', 1);
    return close == std::string::npos ? std::string() : text.substr(1, close - 1);
}

// The 1-based column of `token` on `line`: as a word when it is one, else as text.
int token_column(const std::string& source, int line, const std::string& token)
{
    if (token.empty()) return 0;
    if (word_char(token[0])) return find_word_column(source, line, token);
    std::size_t at = line_offset(source, line);
    if (at == std::string::npos) return 0;
    std::size_t end = source.find_first_of("\r\n", at);
    std::size_t found = source.substr(at, end == std::string::npos ? std::string::npos : end - at).find(token);
    return found == std::string::npos ? 0 : int(found) + 1;
}

// The start of the word holding `column` on `line`: the parser points at a token's last character.
int word_start(const std::string& source, int line, int column)
{
    std::size_t at = line_offset(source, line);
    if (at == std::string::npos || column < 1) return column;
    std::size_t end = source.find_first_of("\r\n", at);
    if (end == std::string::npos) end = source.size();
    std::size_t p = at + (std::size_t)column - 1;
    if (p >= end || !word_char(source[p])) return column;
    while (p > at && word_char(source[p - 1])) --p;
    return int(p - at) + 1;
}

// The line of the first whole-word `word` followed by '(' in `source`, or 0.
int first_word_line(const std::string& source, const std::string& word)
{
    for (std::size_t p = word.empty() ? std::string::npos : source.find(word); p != std::string::npos;
         p = source.find(word, p + 1)) {
        bool left = p == 0 || !word_char(source[p - 1]);
        std::size_t after = source.find_first_not_of(" \t", p + word.size());
        if (!left || after == std::string::npos || source[after] != '(') continue;
        int line = 1;
        for (std::size_t i = 0; i < p; ++i) {
            if (source[i] == '\n' || (source[i] == '\r' && (i + 1 >= source.size() || source[i + 1] != '\n'))) ++line;
        }
        return line;
    }
    return 0;
}

}  // namespace

int find_word_column(const std::string& source, int line, const std::string& word)
{
    std::size_t n = source.size();
    std::size_t line_start = word.empty() ? std::string::npos : line_offset(source, line);
    if (line_start == std::string::npos) return 0;
    std::size_t at = line_start;
    std::size_t line_end = source.find_first_of("\r\n", at);
    if (line_end == std::string::npos) line_end = n;
    for (std::size_t p = source.find(word, line_start); p != std::string::npos && p + word.size() <= line_end;
         p = source.find(word, p + 1)) {
        bool left = p == line_start || !word_char(source[p - 1]);
        bool right = p + word.size() == n || !word_char(source[p + word.size()]);
        if (left && right) return int(p - line_start) + 1;
    }
    return 0;
}

std::vector<Diagnostic> parse_glslang_log(const std::string& log, const std::string& file_name,
                                          const std::string& source)
{
    std::vector<Diagnostic> out;
    std::istringstream lines(log);
    std::string line;
    const std::string parse_failed = file_name + "(";
    while (std::getline(lines, line)) {
        line = trim(line);
        if (line.empty()) continue;
        // "main.fx(4): error at column 10, HLSL parsing failed." carries the column of the error before it.
        if (starts_with(line, parse_failed) && line.find("HLSL parsing failed") != std::string::npos) {
            int at_line = std::atoi(line.c_str() + parse_failed.size());
            std::size_t col = line.find("column ");
            int column = col == std::string::npos ? 0 : std::atoi(line.c_str() + col + 7);
            for (auto it = out.rbegin(); it != out.rend(); ++it) {
                if (it->line == at_line && it->error && it->column == 0) {
                    it->column = word_start(source, at_line, column);
                    break;
                }
            }
            continue;
        }
        Diagnostic d;
        std::string rest;
        if (starts_with(line, "ERROR: ")) {
            rest = line.substr(7);
        } else if (starts_with(line, "WARNING: ")) {
            d.error = false;
            rest = line.substr(9);
        } else {
            continue;  // totals and notes
        }
        if (starts_with(rest, file_name + ":")) {
            rest = rest.substr(file_name.size() + 1);
            d.line = std::atoi(rest.c_str());
            std::size_t colon = rest.find(':');
            rest = colon == std::string::npos ? rest : trim(rest.substr(colon + 1));
        } else if (std::isdigit((unsigned char)rest[0]) && rest.find(" compilation errors") != std::string::npos) {
            continue;
        } else if (starts_with(rest, "Linking fragment stage: ")) {
            rest = rest.substr(24);
            // "Recursion detected:" and, on the next line, "f(f1; calling g(f1;": placed at g's first
            // appearance, its declaration.
            std::string calls;
            if (starts_with(rest, "Recursion detected") && std::getline(lines, calls)) {
                auto name_at = [&](std::size_t from) {
                    std::size_t b = calls.find_first_not_of(" \t", from), e = calls.find('(', b);
                    return b == std::string::npos || e == std::string::npos ? std::string() : calls.substr(b, e - b);
                };
                std::size_t calling = calls.find(" calling ");
                std::string caller = name_at(0), callee = calling == std::string::npos ? "" : name_at(calling + 9);
                rest = "'" + callee + "' : recursive call from '" + caller + "'; ps_3_0 has no recursion";
                d.line = first_word_line(source, callee);
            }
        }
        const std::string include = "Could not process include directive for header name: ";
        std::size_t inc = rest.find(include);
        if (inc != std::string::npos) {
            rest = "'#include' : cannot include \"" + rest.substr(inc + include.size()) +
                "\": shaders are compiled without an include handler; keep the code in one file";
        }
        // [fastopt] and [allow_uav_condition] are hints the back end does not know: nothing to report.
        if (!d.error && starts_with(rest, "'' : attribute does not apply to")) continue;
        // After a first error the parser adds "'declaration' : Expected" and conversions from the
        // failed expression's void: the same problem again.
        std::string rule = quoted_token(rest);
        bool cascade = d.error &&
            ((!rule.empty() && word_char(rule[0]) && rest == "'" + rule + "' : Expected") ||
             rest.find("' temp void'") != std::string::npos);
        if (cascade && std::any_of(out.begin(), out.end(), [](const Diagnostic& e) { return e.error; })) continue;
        // The rest of a line that already failed follows from that failure.
        if (d.error && d.line > 0 &&
            std::any_of(out.begin(), out.end(), [&](const Diagnostic& e) { return e.error && e.line == d.line; })) {
            continue;
        }
        // Storage words inside quoted types ("' temp float'") mean nothing to a shader author.
        for (const char* storage : {"' temp ", "' in ", "' out ", "' uniform ", "' const ", "' global "}) {
            replace_all(rest, storage, "'");
        }
        replace_all(rest, "  ", " ");
        d.text = rest;
        // Tokens are found on their line, except what the parser expected and did not find: that
        // waits for the parser's column.
        std::string token = quoted_token(rest);
        bool expected = rest.size() >= 8 && rest.compare(rest.size() - 8, 8, "Expected") == 0;
        if (d.line > 0 && !(expected && !token.empty() && !word_char(token[0]))) {
            d.column = token_column(source, d.line, token);
        }
        bool duplicate = false;
        for (const Diagnostic& e : out) {
            duplicate = duplicate || (e.line == d.line && e.text == d.text && e.error == d.error);
        }
        if (!duplicate) out.push_back(d);
    }
    for (Diagnostic& d : out) {
        if (d.line > 0 && d.column == 0) d.column = token_column(source, d.line, quoted_token(d.text));
    }
    return out;
}

std::string format_diagnostics(const std::vector<Diagnostic>& diagnostics, const std::string& file_name)
{
    std::string out;
    for (const Diagnostic& d : diagnostics) {
        if (!out.empty()) out += '\n';
        out += file_name;
        if (d.line > 0) out += "(" + std::to_string(d.line) + "," + std::to_string(d.column > 0 ? d.column : 1) + ")";
        out += d.error ? ": error: " : ": warning: ";
        out += d.text;
    }
    return out;
}

}  // namespace fxcompiler
