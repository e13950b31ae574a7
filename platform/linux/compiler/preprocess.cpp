// Source preparation before the back end sees the file: blank_effect_syntax (techniques, passes,
// texture declarations, sampler_state blocks, annotations), prepare_source (declaration scan for
// explicit registers, bare samplers retyped from their use, rejections, the macro preamble).
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>

#include "compiler.h"
#include "tokens.h"

namespace fxcompiler {

// Line counting follows the back end: "\r\n", "\n" and a lone "\r" each end a line.
std::vector<Token> lex(const std::string& s)
{
    std::vector<Token> tokens;
    std::size_t i = 0, n = s.size(), line_start = 0;
    int line = 1;
    bool line_begins = true;
    auto newline = [&](std::size_t& at) {
        if (s[at] == '\r' && at + 1 < n && s[at + 1] == '\n') ++at;
        ++at;
        ++line;
        line_start = at;
    };
    while (i < n) {
        char c = s[i];
        if (c == '\n' || c == '\r') {
            newline(i);
            line_begins = true;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '/') {
            while (i < n && s[i] != '\n' && s[i] != '\r') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            i += 2;
            while (i < n && !(s[i] == '*' && i + 1 < n && s[i + 1] == '/')) {
                if (s[i] == '\n' || s[i] == '\r') newline(i);
                else ++i;
            }
            i = i < n ? i + 2 : n;
            continue;
        }
        Token t{Kind::Punct, i, i + 1, line, int(i - line_start) + 1};
        if (c == '#' && line_begins) {
            t.kind = Kind::Directive;
            int start_line = line;
            while (i < n && s[i] != '\n' && s[i] != '\r') {
                if (s[i] == '\\' && i + 1 < n && (s[i + 1] == '\n' || s[i + 1] == '\r')) {
                    ++i;
                    newline(i);
                } else {
                    ++i;
                }
            }
            t.end = i;
            t.line = start_line;
        } else if (ident_start(c)) {
            t.kind = Kind::Ident;
            while (i < n && ident_char(s[i])) ++i;
            t.end = i;
        } else if (std::isdigit((unsigned char)c) || (c == '.' && i + 1 < n && std::isdigit((unsigned char)s[i + 1]))) {
            t.kind = Kind::Number;
            ++i;
            while (i < n) {
                char d = s[i];
                if (ident_char(d) || d == '.') {
                    ++i;
                } else if ((d == '+' || d == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E')) {
                    ++i;
                } else {
                    break;
                }
            }
            t.end = i;
        } else if (c == '"' || c == '\'') {
            t.kind = Kind::String;
            ++i;
            while (i < n && s[i] != c && s[i] != '\n' && s[i] != '\r') i += (s[i] == '\\' && i + 1 < n) ? 2 : 1;
            if (i < n && s[i] == c) ++i;
            t.end = i;
        } else {
            ++i;
        }
        line_begins = false;
        tokens.push_back(t);
    }
    return tokens;
}

namespace {

bool is_modifier(const std::string& s)
{
    return one_of(s, {"uniform", "extern", "static", "shared", "const", "volatile", "row_major", "column_major",
                      "precise", "nointerpolation", "groupshared", "inline", "snorm", "unorm"});
}

bool is_technique(const std::string& s)
{
    return one_of(s, {"technique", "technique9", "technique10", "technique11", "Technique", "TECHNIQUE", "pass"});
}

// Effect objects the shader itself never reads: the whole declaration goes.
bool is_effect_object(const std::string& s)
{
    return one_of(s, {"texture", "Texture", "TEXTURE", "texture1D", "texture2D", "texture3D", "textureCUBE",
                      "string", "PixelShader", "VertexShader", "pixelshader", "vertexshader", "stateblock"});
}

// Types whose '<' opens template arguments, not an annotation.
bool is_template_type(const std::string& s)
{
    return s == "vector" || s == "matrix" || s.compare(0, 7, "Texture") == 0 || s.compare(0, 2, "RW") == 0 ||
           s.find("Buffer") != std::string::npos;
}

class Blanker {
public:
    explicit Blanker(const std::string& text) : out_(text), t_(text) {}

    std::string run()
    {
        std::size_t i = 0;
        while (i < t_.size()) {
            if (t_[i].kind == Kind::Directive) {
                ++i;
                continue;
            }
            std::size_t k = i;
            while (t_.ident(k) && is_modifier(t_.str(k))) ++k;
            if (t_.ident(k) && is_technique(t_.str(k))) {
                i = blank_block(i, k);
            } else if (t_.ident(k) && is_effect_object(t_.str(k))) {
                i = blank_object(i, k);
            } else {
                i = walk_statement(i);
            }
        }
        return out_;
    }

private:
    std::string out_;
    Tokens t_;

    void blank(std::size_t first, std::size_t last)
    {
        for (std::size_t at = t_[first].begin; at < t_[last].end; ++at) {
            if (out_[at] != '\n' && out_[at] != '\r') out_[at] = ' ';
        }
    }

    // technique NAME <annotations> { ... } with any nesting.
    std::size_t blank_block(std::size_t first, std::size_t from)
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
        blank(first, end);
        return end + 1;
    }

    // texture NAME <annotations> = ... ; where annotations may hold ';'.
    std::size_t blank_object(std::size_t first, std::size_t from)
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
        blank(first, end);
        return end + 1;
    }

    // Any other top-level statement: only sampler_state initialisers and annotations go.
    std::size_t walk_statement(std::size_t first)
    {
        bool block_then_semicolon = t_.ident(first) && one_of(t_.str(first), {"struct", "cbuffer", "tbuffer"});
        bool seen_eq = false;
        std::size_t eq = 0;
        int idents = 0;
        for (std::size_t j = first; j < t_.size(); ++j) {
            const Token& t = t_[j];
            if (t.kind == Kind::Directive) continue;
            if (t.kind == Kind::Ident) {
                if (seen_eq && t_.str(j) == "sampler_state") {
                    std::size_t k = j;
                    while (k < t_.size() && !t_.is(k, "{") && !t_.is(k, ";")) ++k;
                    std::size_t end = t_.is(k, "{") ? t_.match(k) : j;
                    blank(eq, end);
                    j = end;
                    continue;
                }
                ++idents;
                continue;
            }
            if (t.kind != Kind::Punct) continue;
            char c = t_.text[t.begin];
            if (c == ';') return j + 1;
            if (c == '(' || c == '[') {
                j = t_.match(j);
            } else if (c == '{') {
                std::size_t close = t_.match(j);
                if (!seen_eq && !block_then_semicolon) return close + 1;  // a function body
                j = close;
            } else if (c == '=') {
                seen_eq = true;
                eq = j;
            } else if (c == ',') {
                seen_eq = false;
                idents = 1;
            } else if (c == '<' && !seen_eq && j > first) {
                bool after_register = t_.is(j - 1, ")");
                bool after_name = t_.ident(j - 1) && idents >= 2 && !is_template_type(t_.str(j - 1));
                std::size_t k = j;
                if (after_register || after_name) {
                    while (k < t_.size() && !t_.is(k, ">")) ++k;
                    blank(j, std::min(k, t_.size() - 1));
                } else {
                    k = t_.match(j);
                }
                j = k;
            }
        }
        return t_.size();
    }
};

struct Scan {
    std::vector<GlobalDecl> globals;
    std::set<std::string> names;  // every global variable and constant-buffer member
    std::map<std::string, std::set<std::string>> sampler_uses;  // name -> "2D", "3D", "CUBE", "1D"
    std::vector<Diagnostic> errors;
    std::vector<std::pair<std::string, Diagnostic>> unnamed_parameters;
};

// texCUBE, tex2Dlod, tex3Dproj, ... -> "CUBE", "2D", "3D"; empty for anything else.
std::string texture_function_dim(const std::string& s)
{
    if (s.compare(0, 3, "tex") != 0) return std::string();
    for (const char* dim : {"CUBE", "1D", "2D", "3D"}) {
        std::size_t len = std::char_traits<char>::length(dim);
        if (s.compare(3, len, dim) != 0) continue;
        std::string rest = s.substr(3 + len);
        if (one_of(rest, {"", "lod", "bias", "grad", "proj"})) return dim;
    }
    return std::string();
}

// ---- numbers from the source, against Direct3D 9's ranges for ps_3_0 ----
// Read in 64 bits (saturating), so that nothing wraps: c4294967296 is not c0.
const std::uint64_t PS30_CONSTANT_REGISTERS = 224;  // c0-c223
const std::uint64_t PS30_OTHER_REGISTERS = 16;      // s0-s15, i0-i15, b0-b15
const std::uint64_t MAX_SEMANTIC_INDEX = 15;        // a declaration's usage index has 4 bits
// Far beyond ps_3_0's 224 constant and 32 temporary registers, yet what GLSL drivers take.
const std::uint64_t MAX_ARRAY_ELEMENTS = 65536;

// A decimal, hex or octal integer with optional u/l suffixes; false for anything else.
bool integer_value(std::string_view text, std::uint64_t& value)
{
    while (!text.empty() && (text.back() == 'u' || text.back() == 'U' || text.back() == 'l' || text.back() == 'L')) {
        text.remove_suffix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
    }
    if (text.empty()) return false;
    const std::uint64_t most = ~std::uint64_t(0);
    value = 0;
    for (char c : text) {
        unsigned digit = std::isdigit((unsigned char)c) ? unsigned(c - '0')
                       : std::isxdigit((unsigned char)c) ? unsigned(std::tolower((unsigned char)c) - 'a' + 10)
                                                         : 99;
        if (digit >= base) return false;
        value = value > (most - digit) / base ? most : value * base + digit;
    }
    return true;
}

std::string number(std::uint64_t value) { return value == ~std::uint64_t(0) ? "too large" : std::to_string(value); }

// The dimensions "[4][N]..." from `open`: their product is at most MAX_ARRAY_ELEMENTS.
void check_array_dimensions(const Tokens& t, std::size_t open, Scan& scan)
{
    std::uint64_t elements = 1;
    for (std::size_t k = open; t.is(k, "["); k = t.match(k) + 1) {
        std::uint64_t size = 0;
        if (t.match(k) != k + 2 || t[k + 1].kind != Kind::Number || !integer_value(t.view(k + 1), size)) continue;
        elements = size != 0 && elements > ~std::uint64_t(0) / size ? ~std::uint64_t(0) : elements * size;
        if (elements > MAX_ARRAY_ELEMENTS) {
            scan.errors.push_back({t[k + 1].line, (int)(k + 1), true,
                                   "'" + t.str(k + 1) + "' : array of " + number(elements) +
                                       " elements; arrays hold at most " + std::to_string(MAX_ARRAY_ELEMENTS)});
            return;
        }
    }
}

// Declared arrays anywhere ("float a[N]" in a function too) and semantics' indices.
void check_numbers(const Tokens& t, Scan& scan)
{
    static const char* const semantics[] = {"COLOR",    "TEXCOORD", "NORMAL",     "POSITION",     "POSITIONT",
                                            "TANGENT",  "BINORMAL", "BLENDWEIGHT", "BLENDINDICES", "PSIZE",
                                            "FOG",      "DEPTH",    "VPOS",        "VFACE",        "TESSFACTOR",
                                            "SV_TARGET", "SV_DEPTH", "SV_POSITION"};
    int ternaries = 0;  // a ':' of "a ? b : c" is no semantic
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Punct) continue;  // every token looked at below is one
        if (t.is(i, "[") && i >= 2 && t.ident(i - 1) && t.ident(i - 2) &&
            !one_of(t.str(i - 2), {"return", "case", "else", "do"})) {
            check_array_dimensions(t, i, scan);
        }
        if (t.is(i, ";") || t.is(i, "{") || t.is(i, "}")) ternaries = 0;
        if (t.is(i, "?")) ++ternaries;
        if (!t.is(i, ":")) continue;
        if (ternaries > 0) {
            --ternaries;
            continue;
        }
        if (!t.ident(i + 1)) continue;
        std::string_view word = t.view(i + 1);
        std::size_t digits = word.size();
        while (digits > 0 && std::isdigit((unsigned char)word[digits - 1])) --digits;
        std::string name(word.substr(0, digits));
        for (char& c : name) c = (char)std::toupper((unsigned char)c);
        std::uint64_t index = 0;
        bool known = std::find_if(std::begin(semantics), std::end(semantics),
                                  [&](const char* s) { return name == s; }) != std::end(semantics);
        if (!known || digits == word.size() || !integer_value(word.substr(digits), index)) continue;
        if (index > MAX_SEMANTIC_INDEX) {
            scan.errors.push_back({t[i + 1].line, (int)(i + 1), true,
                                   "'" + t.str(i + 1) + "' : semantic index " + number(index) +
                                       " is out of range; semantics take indices 0 to " +
                                       std::to_string(MAX_SEMANTIC_INDEX)});
            return;
        }
    }
}

// Reads "register ( [profile ,] c3 )" starting at `at` (the "register" token).
void read_register(const Tokens& t, std::size_t at, GlobalDecl& decl, Scan& scan)
{
    if (!t.is(at + 1, "(")) return;
    std::size_t close = t.match(at + 1);
    for (std::size_t k = close; k > at + 1; --k) {
        if (!t.ident(k)) continue;
        std::string r = t.str(k);
        std::size_t digits = 1;
        while (digits < r.size() && std::isdigit((unsigned char)r[digits])) ++digits;
        if (r.size() >= 2 && digits == r.size()) {
            decl.reg_class = (char)std::tolower((unsigned char)r[0]);
            std::uint64_t index = 0;
            integer_value(std::string_view(r).substr(1), index);
            decl.reg_line = t[k].line;
            decl.reg_column = (int)k;  // a token index until prepare_source maps it to a column
            // i# and b# are refused whatever their index.
            const bool constant = decl.reg_class == 'c', sampler = decl.reg_class == 's';
            const std::uint64_t count = constant ? PS30_CONSTANT_REGISTERS : PS30_OTHER_REGISTERS;
            if ((constant || sampler) && index >= count) {
                std::string last = std::string(1, decl.reg_class) + std::to_string(count - 1);
                scan.errors.push_back({t[k].line, (int)k, true,
                                       "'" + decl.name + "' : " + (constant ? "constant" : "sampler") + " register " +
                                           r + " is beyond ps_3_0's " + decl.reg_class + "0 to " + last});
                index = 0;
            }
            decl.reg_index = (int)std::min<std::uint64_t>(index, INT_MAX);
        }
        return;
    }
}

// The back end crashes on a global declared again with another type; Direct3D's compiler refuses
// any second declaration, and so do we.
void declare_name(const Tokens& t, std::size_t at, Scan& scan)
{
    if (!scan.names.insert(t.str(at)).second) {
        scan.errors.push_back({t[at].line, (int)at, true, "'" + t.str(at) + "' : redefinition"});
    }
}

// Declarators from `k` to the next ';' (or `stop`): "a, b[2] : packoffset(c0), c = f(1) + 2".
// The back end reads a name right after a complete declarator as one more declarator, as if a
// ',' stood before it, and may so meet the redefinition crash unseen: such a name is an error.
std::size_t scan_declarators(const Tokens& t, std::size_t k, std::size_t stop, bool expect_name, Scan& scan)
{
    bool after_operand = !expect_name;  // a name cannot follow the end of an operand
    for (; k < stop && !t.is(k, ";"); ++k) {
        if (t.ident(k)) {
            if (expect_name) {
                declare_name(t, k, scan);
                expect_name = false;
            } else if (after_operand) {
                scan.errors.push_back({t[k].line, (int)k, true,
                                       "'" + t.str(k) + "' : unexpected name; is a ',' or ';' missing before it?"});
                return stop;
            }
            after_operand = true;
        } else if (t.is(k, "(") || t.is(k, "[") || t.is(k, "{")) {
            // A call or an index ends an operand; a cast's parentheses do not.
            after_operand = !t.is(k, "(") || (k > 0 && (t.ident(k - 1) || t.is(k - 1, "]")));
            k = t.match(k);
        } else {
            after_operand = t[k].kind == Kind::Number;
            if (t.is(k, ",")) expect_name = true;
        }
    }
    return k;
}

// The names a cbuffer's members or a struct's instances ("struct S { ... } a, b;") declare.
void scan_block_names(const Tokens& t, std::size_t first, std::size_t end, bool members, Scan& scan)
{
    std::size_t open = first;
    while (open < end && !t.is(open, "{")) ++open;
    if (open >= end) return;
    std::size_t close = t.match(open);
    if (!members) {
        scan_declarators(t, close + 1, end, true, scan);
        return;
    }
    for (std::size_t k = open + 1; k < close;) {
        while (k < close && t.ident(k) && is_modifier(t.str(k))) ++k;
        if (k >= close || !t.ident(k)) {
            ++k;
            continue;
        }
        ++k;  // the type
        if (t.is(k, "<")) k = t.match(k) + 1;
        k = scan_declarators(t, k, close, true, scan) + 1;
    }
}

// The first parameter without a name in the definition of the function whose name is at `name`.
void scan_parameters(const Tokens& t, std::size_t name, Scan& scan)
{
    std::size_t open = name + 1, close = t.match(open);
    int number = 1;
    for (std::size_t k = open + 1; k < close; ++number) {
        while (k < close && t.ident(k) && (is_modifier(t.str(k)) || one_of(t.str(k), {"in", "out", "inout"}))) ++k;
        if (k >= close || !t.ident(k)) return;  // not a parameter list this scan understands
        std::size_t type = k++;
        if (t.is(k, "<")) k = t.match(k) + 1;
        bool lone_void = t.str(type) == "void" && k == close && number == 1;
        if (!t.ident(k) && !lone_void) {
            scan.unnamed_parameters.push_back(
                {t.str(name), {t[type].line, (int)type, true,
                               "'" + t.str(name) + "' : parameter " + std::to_string(number) +
                                   " has no name; an entry point's parameters need names"}});
            return;
        }
        while (k < close && !t.is(k, ",")) {
            if (t.is(k, "(") || t.is(k, "[") || t.is(k, "{")) k = t.match(k);
            ++k;
        }
        ++k;
    }
}

// The back end crashes on a const array whose size names an unknown variable ("const float
// w[M - 4]") and throws, leaking, on a negative literal size: both are refused first. Inside a
// function `local` holds every name its text has shown so far.
void check_array_size(const Tokens& t, std::size_t open, Scan& scan, const std::set<std::string>* local = nullptr)
{
    std::size_t close = t.match(open);
    if (t.is(open + 1, "-") && open + 2 < close && t[open + 2].kind == Kind::Number) {
        scan.errors.push_back({t[open].line, (int)open, true, "'[' : array size must be a positive integer"});
        return;
    }
    for (std::size_t k = open + 1; k < close; ++k) {
        if (!t.ident(k) || t.is(k + 1, "(") || (k > 0 && t.is(k - 1, "."))) continue;
        bool known = scan.names.count(t.str(k)) || (local && local->count(t.str(k))) ||
                     one_of(t.str(k), {"int", "uint", "float", "half", "bool", "double"});
        if (known) continue;
        scan.errors.push_back({t[k].line, (int)k, true, "'" + t.str(k) + "' : unknown variable"});
        return;
    }
}

// The same crash inside a function body, where it needs a const array. A name that is no global
// and has not appeared in the function's text before cannot be declared; names declared in a scope
// already closed get past this check, and the crash then costs only the compile.
void scan_function_body(const Tokens& t, std::size_t first, std::size_t end, Scan& scan)
{
    std::set<std::string> seen;
    for (std::size_t k = first; k < end; ++k) {
        if (t.is(k, "const") && t.ident(k + 1) && t.ident(k + 2) && t.is(k + 3, "[")) {
            check_array_size(t, k + 3, scan, &seen);
        }
        if (t.ident(k)) seen.insert(t.str(k));
    }
}

// Top-level declarations of the preprocessed text, in order.
void scan_declarations(const Tokens& t, Scan& scan)
{
    std::size_t i = 0;
    while (i < t.size()) {
        if (t[i].kind == Kind::Directive || !t.ident(i)) {
            ++i;
            continue;
        }
        std::size_t first = i;
        std::string head = t.str(first);
        // Find where this statement ends and whether it is a function.
        bool function = false, skip = one_of(head, {"struct", "cbuffer", "tbuffer", "typedef", "namespace"});
        bool buffer = one_of(head, {"cbuffer", "tbuffer"});  // ends at its '}': no ';' needed
        bool decided = false;
        std::size_t j = first;
        for (; j < t.size(); ++j) {
            if (t.is(j, ";")) break;
            if (!decided && (t.is(j, "=") || t.is(j, ":") || t.is(j, "["))) decided = true;
            if (t.is(j, "(")) {
                if (!decided) function = decided = true;
                j = t.match(j);
            } else if (t.is(j, "[")) {
                j = t.match(j);
            } else if (t.is(j, "{")) {
                j = t.match(j);
                if (function || buffer || (!skip && !decided)) break;
            }
        }
        std::size_t end = j;
        i = end + 1;
        // The back end crashes on some top-level declarations led by a parameter qualifier.
        for (std::size_t k = first; k < end && t.ident(k); ++k) {
            bool parameter_only = one_of(t.str(k), {"in", "out", "inout", "point", "line", "triangle", "lineadj",
                                                    "triangleadj"});
            if (parameter_only) {
                scan.errors.push_back({t[k].line, (int)k, true,
                                       "'" + t.str(k) + "' : in/out qualifiers are only valid on parameters"});
                return;
            }
            if (!is_modifier(t.str(k))) break;
        }
        if (buffer || head == "struct") scan_block_names(t, first, end, buffer, scan);
        if (function) {
            std::size_t parameters = first;
            while (parameters < end && !t.is(parameters, "(")) ++parameters;
            // Only a semantic may stand between the parameters and the body or the ';'.
            std::size_t body = t.match(parameters) + 1;
            while (body < end && !t.is(body, "{")) ++body;
            scan_declarators(t, t.match(parameters) + 1, body, false, scan);
            if (!t.is(end, ";")) {
                if (parameters > first && t.ident(parameters - 1)) scan_parameters(t, parameters - 1, scan);
                scan_function_body(t, first, end, scan);
            }
        }
        if (function || skip) continue;

        bool is_static = false;
        std::size_t k = first;
        while (t.ident(k) && is_modifier(t.str(k))) {
            if (t.str(k) == "static") is_static = true;
            ++k;
        }
        if (!t.ident(k)) continue;
        std::string type = t.str(k++);
        if (t.is(k, "<")) k = t.match(k) + 1;
        // "unsigned int" is the back end's to refuse.
        if (type != "unsigned") scan_declarators(t, k, end, true, scan);
        while (k < end && t.ident(k)) {
            GlobalDecl decl;
            decl.name = t.str(k);
            decl.type = type;
            decl.line = t[k].line;
            decl.column = (int)k;  // a token index until prepare_source maps it to a column
            ++k;
            if (t.is(k, "[") && t.is(k - 2, ",")) check_array_dimensions(t, k, scan);  // "float a, b[N]"
            while (t.is(k, "[")) {
                check_array_size(t, k, scan);
                k = t.match(k) + 1;
            }
            while (t.is(k, ":")) {
                ++k;
                if (t.is(k, "register")) read_register(t, k, decl, scan);
                if (t.is(k + 1, "(")) k = t.match(k + 1) + 1;
                else ++k;
            }
            if (t.is(k, "=")) {
                while (k < end && !t.is(k, ",")) {
                    if (t.is(k, "(") || t.is(k, "[") || t.is(k, "{")) k = t.match(k);
                    ++k;
                }
            }
            if (!is_static) scan.globals.push_back(decl);
            if (!t.is(k, ",")) break;
            ++k;
        }
    }
}

// A vector or matrix type with a dimension of 1 at `i`: float1, int1x3, half2x1, vector<float, 1>, ...
bool one_dimension_type(const Tokens& t, std::size_t i)
{
    const std::string s = t.str(i);
    if (s == "vector" || s == "matrix") {
        if (!t.is(i + 1, "<")) return false;
        std::size_t close = t.match(i + 1);
        for (std::size_t k = i + 2; k < close; ++k) {
            if (t.is(k, "1")) return true;
        }
        return false;
    }
    for (const char* base : {"float", "half", "double", "int", "uint", "bool", "dword", "min16float", "min10float",
                             "min16int", "min12int", "min16uint"}) {
        std::size_t n = std::char_traits<char>::length(base);
        if (s.compare(0, n, base) != 0) continue;
        std::string dims = s.substr(n);
        auto dim = [](char c) { return c >= '1' && c <= '4'; };
        if (dims == "1") return true;
        if (dims.size() == 3 && dim(dims[0]) && dims[1] == 'x' && dim(dims[2]) && (dims[0] == '1' || dims[2] == '1'))
            return true;
    }
    return false;
}

// The back end crashes fitting a one-component vector or a matrix with a dimension of 1 to the
// other operand of mul. Operand types are not known here: a mul whose arguments name such a type,
// or a variable or function declared with one, is refused.
void check_mul_operands(const Tokens& t, Scan& scan)
{
    std::set<std::string> names;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!t.ident(i) || !one_dimension_type(t, i)) continue;
        std::size_t k = t.is(i + 1, "<") ? t.match(i + 1) + 1 : i + 1;
        if (!t.ident(k)) continue;
        names.insert(t.str(k));
        // "float1 a, b[2], c;" declares them all; "(float1 a, float2 b)" does not.
        for (++k; k < t.size() && !t.is(k, ";") && !t.is(k, ")") && !t.is(k, "{"); ++k) {
            if (t.is(k, "(") || t.is(k, "[")) {
                k = t.match(k);
            } else if (t.is(k, ",") && t.ident(k + 1) && !t.ident(k + 2)) {
                names.insert(t.str(++k));
            }
        }
    }
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (!t.is(i, "mul") || !t.is(i + 1, "(")) continue;
        std::size_t close = t.match(i + 1);
        for (std::size_t k = i + 2; k < close; ++k) {
            if (t.ident(k) && (one_dimension_type(t, k) || names.count(t.str(k)))) {
                scan.errors.push_back({t[i].line, (int)i, true,
                                       "'mul' : '" + t.str(k) + "' is or holds a one-component vector or a matrix "
                                       "with a dimension of 1, which mul does not take here; use a scalar or a "
                                       "wider type"});
                return;
            }
        }
    }
}

void scan_uses(const Tokens& t, Scan& scan)
{
    for (std::size_t i = 0; i + 2 < t.size(); ++i) {
        if (t.ident(i) && t.is(i + 1, "(") && t.ident(i + 2)) {
            std::string dim = texture_function_dim(t.str(i));
            if (!dim.empty()) scan.sampler_uses[t.str(i + 2)].insert(dim);
        }
        // The back end folds '%' of two float constants to the left operand: refuse rather than mislead.
        if (t.is(i + 1, "%") && t[i].kind == Kind::Number) {
            std::size_t r = t.is(i + 2, "-") ? i + 3 : i + 2;
            bool floating = t.str(i).find_first_of(".eE") != std::string::npos ||
                            (r < t.size() && t.str(r).find_first_of(".eE") != std::string::npos);
            if (r < t.size() && t[r].kind == Kind::Number && floating) {
                scan.errors.push_back({t[i + 1].line, (int)(i + 1), true,
                                       "'%' : remainder of two float literals is not supported here; "
                                       "write the value, or use fmod()"});
            }
        }
    }
}

// Tokens [first, end) of `line`: tokens come in line order.
std::pair<std::size_t, std::size_t> line_tokens(const Tokens& t, int line)
{
    auto before = [](const Token& a, int l) { return a.line < l; };
    auto after = [](int l, const Token& a) { return l < a.line; };
    auto first = std::lower_bound(t.list.begin(), t.list.end(), line, before);
    auto end = std::upper_bound(first, t.list.end(), line, after);
    return {std::size_t(first - t.list.begin()), std::size_t(end - t.list.begin())};
}

// The expanded text keeps lines but not spacing: the n-th same token on a line of the expanded text
// is taken to be the n-th on that line of the file. Each of `columns` holds an index into
// `expanded` and gets the file's column; one pass over each line involved, however many there are.
void map_columns(const Tokens& file, const Tokens& expanded, std::vector<int*> columns)
{
    std::sort(columns.begin(), columns.end(), [](const int* a, const int* b) { return *a < *b; });
    for (std::size_t q = 0; q < columns.size();) {
        const int line = expanded[(std::size_t)*columns[q]].line;
        std::size_t q_end = q;
        while (q_end < columns.size() && expanded[(std::size_t)*columns[q_end]].line == line) ++q_end;
        // The n-th of its kind on the expanded line...
        std::unordered_map<std::string_view, int> seen;
        std::vector<std::pair<std::string_view, int>> wanted;  // per query: text, n
        std::size_t i = line_tokens(expanded, line).first;
        for (std::size_t k = q; k < q_end; ++k) {
            const std::size_t index = (std::size_t)*columns[k];
            for (; i < index; ++i) ++seen[expanded.view(i)];
            wanted.push_back({expanded.view(index), seen[expanded.view(index)]});
        }
        // ...is the n-th on the file's line.
        std::unordered_map<std::string_view, std::vector<int>> found;
        for (const auto& w : wanted) found[w.first];
        auto range = line_tokens(file, line);
        for (std::size_t f = range.first; f < range.second; ++f) {
            auto at = found.find(file.view(f));
            if (at != found.end()) at->second.push_back(file[f].column);
        }
        for (std::size_t k = q; k < q_end; ++k) {
            const auto& w = wanted[k - q];
            const std::vector<int>& list = found[w.first];
            int& column = *columns[k];
            column = (std::size_t)w.second < list.size() ? list[(std::size_t)w.second]
                                                          : expanded[(std::size_t)column].column;
        }
        q = q_end;
    }
}

// The back end recurses once per nesting level and per operator of an expression: past a few
// thousand it overflows the stack. Real shaders stay far below these limits.
const int MAX_NESTING = 256;
const std::size_t MAX_STATEMENT_TOKENS = 8192;
// The global constants share one block, one SPIR-V instruction of at most 65,535 words: two for
// the instruction, one per member. Past that the back end writes a broken module.
const std::size_t MAX_GLOBALS = 65533;

void check_limits(const Tokens& t, Scan& scan)
{
    int depth = 0;
    std::size_t statement_start = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Punct) continue;
        char c = t.text[t[i].begin];
        if (c == '(' || c == '[' || c == '{') {
            if (++depth > MAX_NESTING) {
                scan.errors.push_back({t[i].line, (int)i, true,
                                       "'" + std::string(1, c) + "' : nested more than " +
                                           std::to_string(MAX_NESTING) + " levels deep"});
                return;
            }
        } else if (c == ')' || c == ']' || c == '}') {
            --depth;
        }
        if (c == ';' || c == '{' || c == '}') {
            statement_start = i + 1;
        } else if (i - statement_start > MAX_STATEMENT_TOKENS) {
            scan.errors.push_back({t[statement_start].line, (int)statement_start, true,
                                   "statement longer than " + std::to_string(MAX_STATEMENT_TOKENS) +
                                       " tokens; split it up"});
            return;
        }
    }
}

// The back end crashes on a '[' that a ')' or '}' or the end of the file closes in a declaration
// ("float n(float a[2)", "float a[" at the end): every '[' must meet its ']'.
void check_square_brackets(const Tokens& t, Scan& scan)
{
    std::vector<std::size_t> open;
    auto refuse = [&](std::size_t at) {
        scan.errors.push_back({t[at].line, (int)at, true, "'[' : not closed with ']'"});
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Punct) continue;
        char c = t.text[t[i].begin];
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(i);
        } else if ((c == ')' || c == ']' || c == '}') && !open.empty()) {
            if (t.is(open.back(), "[") && c != ']') return refuse(open.back());
            open.pop_back();
        }
    }
    for (std::size_t at : open) {
        if (t.is(at, "[")) return refuse(at);
    }
}

bool defines_macro(const Tokens& t, const char* name)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Directive) continue;
        std::string directive = t.str(i).substr(1);
        Tokens d(directive);
        if (d.is(0, "define") && d.is(1, name)) return true;
    }
    return false;
}

// A user function or variable named `name` (a type word before it) keeps our macro away.
bool declares_name(const Tokens& t, const char* name)
{
    for (std::size_t i = 1; i < t.size(); ++i) {
        if (t.is(i, name) && t.ident(i - 1) && !one_of(t.str(i - 1), {"return", "else", "case"})) return true;
    }
    return false;
}

// ---- bounds on the preprocessor ----
// The back end's preprocessor expands macros without limit: an argument nested 10,000 deep costs
// it gigabytes, a macro doubling itself 30 times a billion tokens, and an #if expression recurses
// once per parenthesis. Before it runs, the expansion is measured here, as an upper bound computed
// per macro (remembered for each set of argument sizes), without expanding anything.
const std::uint64_t MAX_EXPANDED_TOKENS = 4u << 20;  // beyond the file's own, at most about as many
const int MAX_MACRO_ARGUMENT_NESTING = 256;
const int MAX_MACRO_DEPTH = 256;
const int MAX_IF_DEPTH = 256;

struct PpToken {
    std::string_view text;
    Kind kind;
    int line;
    int column;
};

struct Macro {
    std::string_view name;
    bool function = false;
    std::vector<std::string_view> params;
    std::vector<PpToken> body;
};

// What expanding a run of tokens gives at most.
struct Cost {
    std::uint64_t tokens = 0;
    std::uint64_t opens = 0;             // '(' among them: how much deeper an #if can get
    const Macro* trailing = nullptr;     // a function-like macro name left at the end, unexpanded
};

struct ArgCost {
    std::uint64_t expanded = 0;
    std::uint64_t raw = 0;
    std::uint64_t opens = 0;
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
    // Directive lines of `text` (with `line_offset` added to their lines) and the text between them.
    void scan(const Tokens& t, int line_offset)
    {
        const std::string& text = t.text;
        std::vector<PpToken> run;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind != Kind::Directive) {
                run.push_back(token(text, t[i].begin, t[i].end, t[i].kind, t[i].line + line_offset, t[i].column));
                continue;
            }
            top_level(run);
            run.clear();
            directive(text, t[i], line_offset);
        }
        top_level(run);
    }

private:
    std::map<std::string_view, Macro> macros_;
    std::map<std::pair<const Macro*, std::vector<std::uint64_t>>, Cost> memo_;
    std::vector<const Macro*> active_;
    std::uint64_t total_ = 0;
    PpToken origin_{};  // where the expansion being measured starts in the file

    static PpToken token(const std::string& text, std::size_t begin, std::size_t end, Kind kind, int line, int column)
    {
        return {std::string_view(text).substr(begin, end - begin), kind, line, column};
    }

    [[noreturn]] static void fail(const PpToken& at, const std::string& text)
    {
        throw LimitHit{{at.line, at.line > 0 ? at.column : 0, true, text}};
    }

    static bool punct(const PpToken& t, char c) { return t.kind == Kind::Punct && t.text.size() == 1 && t.text[0] == c; }

    [[noreturn]] void too_long() const
    {
        fail(origin_, "'" + std::string(origin_.text) + "' : macro expansion adds more than " +
                          std::to_string(MAX_EXPANDED_TOKENS) + " tokens to the shader, the preprocessor's limit");
    }

    void top_level(const std::vector<PpToken>& run)
    {
        std::size_t i = 0;
        while (i < run.size()) {
            std::size_t next = i;
            origin_ = run[i];
            Cost c = one(run, i, next, nullptr, nullptr, 0);
            if (c.tokens > next - i) total_ = add(total_, c.tokens - (next - i));  // what macros add
            if (total_ > MAX_EXPANDED_TOKENS) too_long();
            i = next;
        }
    }

    void directive(const std::string& text, const Token& d, int line_offset)
    {
        // The directive's own tokens, placed in the file: "#  define X(a) a" and continued lines.
        std::size_t start = d.begin + 1;
        const std::string own = text.substr(start, d.end - start);
        Tokens t(own);
        std::vector<PpToken> list;
        for (std::size_t i = 0; i < t.size(); ++i) {
            int line = d.line + t[i].line - 1;
            int column = t[i].line == 1 ? d.column + t[i].column : t[i].column;
            list.push_back(token(text, start + t[i].begin, start + t[i].end, t[i].kind, line + line_offset, column));
        }
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
            if (list.size() > 2 && punct(list[2], '(') && list[2].text.data() == list[1].text.data() + list[1].text.size()) {
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
            std::vector<PpToken> expression(list.begin() + 1, list.end());
            check_if(expression);
        }
    }

    // glslang evaluates #if recursively, once per parenthesis and per unary operator.
    void check_if(const std::vector<PpToken>& e)
    {
        int depth = 0, unary = 0;
        std::uint64_t from_macros = 0;
        bool operand_before = false;
        for (std::size_t i = 0; i < e.size(); ++i) {
            const PpToken& t = e[i];
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
            if ((std::uint64_t)std::max(depth, 0) + (std::uint64_t)unary + from_macros > (std::uint64_t)MAX_IF_DEPTH) {
                fail(t, "'#if' : expression nested more than " + std::to_string(MAX_IF_DEPTH) + " levels deep");
            }
            operand_before = t.kind == Kind::Ident || t.kind == Kind::Number || punct(t, ')');
        }
    }

    // The cost of the token at `i` of `seq` (with a macro invocation, up to its ')'); `next` is
    // where the next one starts. Inside a macro body `owner` names the parameters and `args` their
    // arguments' costs.
    Cost one(const std::vector<PpToken>& seq, std::size_t i, std::size_t& next, const Macro* owner,
             const std::vector<ArgCost>* args, int depth)
    {
        const PpToken& t = seq[i];
        next = i + 1;
        Cost c;
        if (owner && t.kind == Kind::Ident) {
            for (std::size_t p = 0; p < owner->params.size() && p < args->size(); ++p) {
                if (owner->params[p] != t.text) continue;
                // Next to '#' or '##' an argument is not expanded.
                bool verbatim = (i > 0 && seq[i - 1].text == "#") ||
                                (i + 1 < seq.size() && seq[i + 1].text == "#");
                c.tokens = verbatim ? (*args)[p].raw : std::max((*args)[p].expanded, (*args)[p].raw);
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
        if (depth >= MAX_MACRO_DEPTH) {
            fail(origin_, "'" + std::string(origin_.text) + "' : macros expand inside each other more than " +
                              std::to_string(MAX_MACRO_DEPTH) + " levels deep");
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
    Cost invoke(const Macro* m, const std::vector<PpToken>& seq, std::size_t open, std::size_t& next,
                const Macro* owner, const std::vector<ArgCost>* args, int depth)
    {
        std::vector<std::pair<std::size_t, std::size_t>> ranges;
        int nesting = 0;
        std::size_t arg_start = open + 1, k = open;
        for (; k < seq.size(); ++k) {
            if (punct(seq[k], '(')) {
                if (++nesting > MAX_MACRO_ARGUMENT_NESTING) {
                    fail(seq[k], "'" + std::string(m->name) + "' : macro arguments nested more than " +
                                     std::to_string(MAX_MACRO_ARGUMENT_NESTING) + " levels deep");
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

    Cost expand(const Macro* m, const std::vector<ArgCost>& costs, int depth)
    {
        std::vector<std::uint64_t> key;
        for (const ArgCost& a : costs) key.insert(key.end(), {a.expanded, a.raw, a.opens});
        auto memo = memo_.find({m, key});
        if (memo != memo_.end()) return memo->second;
        active_.push_back(m);
        Cost c;
        for (std::size_t j = 0; j < m->body.size();) {
            std::size_t after = j;
            Cost part = one(m->body, j, after, m->function ? m : nullptr, &costs, depth + 1);
            c.tokens = add(c.tokens, part.tokens);
            c.opens = add(c.opens, part.opens);
            c.trailing = part.trailing;
            if (c.tokens > MAX_EXPANDED_TOKENS) too_long();
            j = after;
        }
        active_.pop_back();
        memo_[{m, key}] = c;
        return c;
    }
};

bool uses_before(const Tokens& t, const std::string& name, std::size_t end)
{
    for (std::size_t i = 0; i < end; ++i) {
        if (t.ident(i) && t.str(i) == name) return true;
    }
    return false;
}

// Names of the functions the text defines.
std::set<std::string> defined_functions(const Tokens& t)
{
    std::set<std::string> functions;
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t.is(i, "{")) ++depth;
        else if (t.is(i, "}")) --depth;
        else if (depth == 0 && i > 0 && t.ident(i - 1) && t.ident(i) && t.is(i + 1, "(")) {
            std::size_t k = t.match(i + 1) + 1;
            if (t.is(k, ":") && t.ident(k + 1)) k += 2;
            if (t.is(k, "{")) functions.insert(t.str(i));
        }
    }
    return functions;
}

// Whether `name` is assigned or stepped anywhere after token `from`.
bool assigned(const Tokens& t, const std::string& name, std::size_t from)
{
    for (std::size_t i = from; i < t.size(); ++i) {
        if (!t.ident(i) || t.str(i) != name || (i > 0 && t.is(i - 1, "."))) continue;
        if (i > 0 && t[i - 1].kind == Kind::Punct && (t.is(i - 2, "+") || t.is(i - 2, "-")) &&
            t.str(i - 1) == t.str(i - 2)) {
            return true;  // ++name, --name
        }
        std::size_t k = i + 1;
        while (t.is(k, "[")) k = t.match(k) + 1;
        if (t.is(k, ".") && t.ident(k + 1)) k += 2;
        if (t.is(k, "=") && !t.is(k + 1, "=")) return true;
        bool op = t.is(k, "+") || t.is(k, "-") || t.is(k, "*") || t.is(k, "/") || t.is(k, "%");
        if (op && (t.is(k + 1, "=") || t.str(k + 1) == t.str(k))) return true;
    }
    return false;
}

// Same-length rewrites (offset, text) of what the back end cannot take:
// - const on a function's return type means nothing, and the back end crashes on a swizzle of a
//   call of such a function: it goes;
// - a static initialised by a call of a user function crashes it, or gets "Recursion detected"
//   without a place. One declared alone on its line and never assigned becomes a macro of its
//   value, cast to its type, in the same columns; any other is refused with its place.
void rewrite_for_back_end(const Tokens& t, std::vector<std::pair<std::size_t, std::string>>& edits,
                          std::string& preamble, std::vector<Diagnostic>& errors)
{
    const std::string& text = t.text;
    std::optional<std::set<std::string>> functions;  // found when first needed
    int depth = 0;
    bool statement_start = true;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::Directive) {
            statement_start = true;
            continue;
        }
        if (t.is(i, "{") || t.is(i, "}")) {
            depth += t.is(i, "{") ? 1 : -1;
            statement_start = true;
            continue;
        }
        bool starts = statement_start && depth == 0;
        statement_start = t.is(i, ";");
        if (!starts || !t.ident(i)) continue;
        std::size_t k = i;
        bool is_static = false, is_const = false;
        for (; t.ident(k) && is_modifier(t.str(k)); ++k) {
            is_static = is_static || t.str(k) == "static";
            is_const = is_const || t.str(k) == "const";
        }
        if (is_const && t.ident(k) && t.ident(k + 1) && t.is(k + 2, "(")) {
            for (std::size_t m = i; m < k; ++m) {
                if (t.is(m, "const")) edits.push_back({t[m].begin, std::string(t[m].end - t[m].begin, ' ')});
            }
            continue;
        }
        if (!is_static || !t.ident(k) || !t.ident(k + 1) || !t.is(k + 2, "=")) continue;
        std::size_t type = k, name = k + 1, end = k + 3, call = 0;
        bool one_declarator = true;
        for (; end < t.size() && !t.is(end, ";"); ++end) {
            if (!call && t.ident(end) && t.is(end + 1, "(")) {
                if (!functions) functions = defined_functions(t);
                if (functions->count(t.str(end))) call = end;
            }
            if (t.is(end, ",")) one_declarator = false;
            if (t.is(end, "(") || t.is(end, "[") || t.is(end, "{")) end = t.match(end);
        }
        if (!call || end >= t.size()) continue;
        i = end;
        statement_start = true;
        std::size_t first = k;
        while (first > 0 && t.ident(first - 1) && is_modifier(t.str(first - 1))) --first;
        bool own_line = (first == 0 || t[first - 1].line < t[first].line) && t[first].line == t[end].line &&
                        (end + 1 >= t.size() || t[end + 1].line > t[end].line);
        std::size_t begin = t[first].begin, stop = t[end].end;
        std::string value = text.substr(t[k + 3].begin, t[end].begin - t[k + 3].begin);
        std::string macro = "#define " + t.str(name) + " ((" + t.str(type) + ")(" + value + "))";
        bool fits = macro.size() <= stop - begin;
        if ((is_const || !assigned(t, t.str(name), end)) && one_declarator && own_line &&
            (fits || !uses_before(t, t.str(name), first))) {
            // Where the macro is longer than the declaration it goes to the preamble, which sees
            // the same uses as no name before the declaration is the same.
            if (!fits) preamble += macro + "\n";
            edits.push_back({begin, fits ? macro + std::string(stop - begin - macro.size(), ' ')
                                         : std::string(stop - begin, ' ')});
        } else {
            errors.push_back({t[call].line, t[call].column, true,
                              "'" + t.str(name) + "' : a static initialised by a call of '" + t.str(call) +
                                  "' is supported only when declared alone on its line and never assigned"});
        }
    }
}

bool uses_name(const Tokens& t, const char* name)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t.is(i, name) && t.ident(i)) return true;
    }
    return false;
}

// ps_3_0 computes in 32-bit floats: double and fixed (and their vectors and matrices) are float.
// The back end would emit doubles GLSL 330 does not have. Same columns: "double2" becomes "float2 ".
// The back end takes no half in vector<> and matrix<>: there it becomes float.
void float_types(const Tokens& t, std::vector<TextEdit>& edits)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!t.ident(i) || (i > 0 && t.is(i - 1, "."))) continue;
        std::string_view s = t.view(i);
        if (s == "half" && i >= 2 && t.is(i - 1, "<") && (t.is(i - 2, "vector") || t.is(i - 2, "matrix"))) {
            edits.push_back({t[i].begin, t[i].end, "float"});
            continue;
        }
        std::size_t base = s.compare(0, 6, "double") == 0 ? 6 : s.compare(0, 5, "fixed") == 0 ? 5 : 0;
        if (base == 0) continue;
        std::string_view dims = s.substr(base);
        auto dim = [](char c) { return c >= '1' && c <= '4'; };
        bool type = dims.empty() || (dims.size() == 1 && dim(dims[0])) ||
                    (dims.size() == 3 && dim(dims[0]) && dims[1] == 'x' && dim(dims[2]));
        if (type) edits.push_back({t[i].begin, t[i].end, "float" + std::string(dims) + (base == 6 ? " " : "")});
    }
}

// The components of a matrix swizzle ("_m12_11" or "_23_12"), or 0 when `s` is none.
int matrix_swizzle_size(std::string_view s)
{
    int n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) {
        auto digit = [&](std::size_t at, char low) { return at < s.size() && s[at] >= low && s[at] <= low + 3; };
        if (s[i] != '_') return 0;
        if (i + 1 < s.size() && s[i + 1] == 'm' && digit(i + 2, '0') && digit(i + 3, '0')) i += 4;
        else if (digit(i + 1, '1') && digit(i + 2, '1')) i += 3;
        else return 0;
    }
    return n;
}

// The back end reads a matrix swizzle of several components as 0 (and the GLSL does not build):
// "m._m12_11" is read as "float2(m._m12, m._11)". Its writes are right and stay. The matrix is a
// name followed by members, indices and calls; one written otherwise is left as it is.
void matrix_swizzles(const Tokens& t, std::vector<TextEdit>& edits)
{
    std::vector<std::pair<std::size_t, std::size_t>> taken;  // byte ranges other edits replace
    for (const TextEdit& e : edits) taken.push_back({e.begin, e.end});
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
        if (!t.is(i, ".") || !t.ident(i + 1)) continue;
        int size = matrix_swizzle_size(t.view(i + 1));
        if (size < 2 || size > 4) continue;
        bool written = (t.is(i + 2, "=") && !t.is(i + 3, "=")) ||
                       (t.is(i + 3, "=") && t[i + 3].begin == t[i + 2].end &&
                        one_of(t.str(i + 2), {"+", "-", "*", "/", "%"})) ||
                       ((t.is(i + 2, "+") && t.is(i + 3, "+")) || (t.is(i + 2, "-") && t.is(i + 3, "-")));
        if (written) continue;
        // The matrix: back over members, indices and a call or parentheses, to its first name.
        std::size_t first = i;
        while (first > 0) {
            std::size_t k = first - 1;
            if (t.ident(k)) {
                first = k;
                if (first > 0 && t.is(first - 1, ".")) {
                    --first;
                    continue;
                }
                break;
            }
            if (!t.is(k, "]") && !t.is(k, ")")) break;
            char close = t.text[t[k].begin], open = close == ']' ? '[' : '(';
            int depth = 0;
            std::size_t j = k + 1;
            while (j-- > 0) {
                if (t[j].kind != Kind::Punct) continue;
                char c = t.text[t[j].begin];
                if (c == close) ++depth;
                else if (c == open && --depth == 0) break;
            }
            if (j > k) break;  // unbalanced
            first = j;
            if (open == '(' && !(first > 0 && t.ident(first - 1))) break;  // parentheses, not a call
        }
        if (first == i || !(t.ident(first) || t.is(first, "(")) || t[first].line != t[i + 1].line) continue;
        std::size_t begin = t[first].begin, end = t[i + 1].end;
        bool overlaps = false;
        for (const auto& r : taken) overlaps = overlaps || (begin < r.second && r.first < end);
        if (overlaps) continue;
        std::string base = t.text.substr(begin, t[i].begin - begin);
        std::string_view swizzle = t.view(i + 1);
        std::string text = "float" + std::to_string(size) + "(";
        for (std::size_t at = 0; at < swizzle.size();) {
            std::size_t next = swizzle.find('_', at + 1);
            if (next == std::string_view::npos) next = swizzle.size();
            text += (at ? ", " : "") + base + "." + std::string(swizzle.substr(at, next - at));
            at = next;
        }
        edits.push_back({begin, end, text + ")"});
        taken.push_back({begin, end});
    }
}

}  // namespace

std::string blank_effect_syntax(const std::string& text) { return Blanker(text).run(); }

bool prepare_source(const std::string& text, const std::string& file_name, const std::vector<Define>& defines,
                    PreparedSource& prepared, std::vector<Diagnostic>& diagnostics)
{
    std::string blanked = blank_effect_syntax(text);
    std::optional<Tokens> lexed;
    lexed.emplace(blanked);
    // Same-length rewrites for the back end (offset, new text); the text is lexed again after any.
    std::vector<std::pair<std::size_t, std::string>> rewrites;
    std::vector<Diagnostic> refused;
    std::string static_values;
    rewrite_for_back_end(*lexed, rewrites, static_values, refused);
    if (!refused.empty()) {
        diagnostics.insert(diagnostics.end(), refused.begin(), refused.end());
        return false;
    }
    for (const auto& edit : rewrites) blanked.replace(edit.first, edit.second.size(), edit.second);
    if (!rewrites.empty()) lexed.emplace(blanked);
    const Tokens& raw = *lexed;

    std::string preamble;
    for (const Define& d : defines) {
        if (d.name.empty() || !ident_start(d.name[0])) continue;
        std::string value = d.value;
        for (char& c : value) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        preamble += "#define " + d.name + " " + value + "\n";
    }
    // noise() crashes the back end; renamed, a call to the intrinsic becomes an ordinary error while
    // a user function of that name keeps working.
    if (!defines_macro(raw, "noise")) preamble += "#define noise fx_noise_\n";
    // The back end folds fmod of constants with the divisor's sign; this form folds correctly.
    if (!defines_macro(raw, "fmod") && !declares_name(raw, "fmod")) {
        preamble += "#define fmod(a, b) ((a) - (b) * trunc((a) / (b)))\n";
    }
    preamble += static_values;
    // The back end's lit() multiplies where Direct3D 9 raises to the power. The definition joins
    // the preamble after the scan, whose lines it would shift.
    std::string definitions;
    if (blanked.find("lit") != std::string::npos && uses_name(raw, "lit") && !defines_macro(raw, "lit") &&
        !declares_name(raw, "lit") && !declares_name(raw, LIT_HELPER)) {
        preamble += std::string("#define lit ") + LIT_HELPER + "\n";
        definitions += lit_definition();
    }

    try {
        ExpansionBound bound;
        bound.scan(Tokens(preamble), -1000000);  // lines before the file's: reported without a place
        bound.scan(raw, 0);
    } catch (const LimitHit& hit) {
        Diagnostic d = hit.diagnostic;
        if (d.line < 0) d.line = d.column = 0;
        diagnostics.push_back(d);
        return false;
    }

    std::string expanded;
    if (!preprocess_hlsl(blanked, preamble, file_name, expanded, diagnostics)) return false;

    Tokens pp(expanded);
    Scan scan;
    check_limits(pp, scan);
    if (scan.errors.empty()) check_square_brackets(pp, scan);
    if (scan.errors.empty()) {
        scan_declarations(pp, scan);
        if (scan.globals.size() > MAX_GLOBALS) {
            const GlobalDecl& g = scan.globals[MAX_GLOBALS];
            scan.errors.push_back({g.line, g.column, true,
                                   "'" + g.name + "' : more than " + std::to_string(MAX_GLOBALS) +
                                       " global variables, the most a shader can declare here"});
        }
        scan_uses(pp, scan);
        check_mul_operands(pp, scan);
        check_numbers(pp, scan);
    }

    std::vector<int*> columns;  // token indexes of `pp` until mapped
    for (Diagnostic& d : scan.errors) columns.push_back(&d.column);
    for (auto& unnamed : scan.unnamed_parameters) columns.push_back(&unnamed.second.column);
    for (GlobalDecl& g : scan.globals) {
        columns.push_back(&g.column);
        if (g.reg_class) columns.push_back(&g.reg_column);
    }
    map_columns(raw, pp, std::move(columns));

    // A bare "sampler" takes its type from the texture functions that read it.
    std::vector<TextEdit> edits;
    for (const GlobalDecl& g : scan.globals) {
        if (g.type != "sampler") continue;
        auto use = scan.sampler_uses.find(g.name);
        if (use == scan.sampler_uses.end()) continue;
        std::set<std::string> dims = use->second;
        dims.erase("2D");
        if (dims.empty()) continue;
        if (dims.size() > 1 || use->second.count("2D")) {
            scan.errors.push_back({g.line, g.column, true,
                                   "'" + g.name + "' : sampler is read as more than one texture type"});
            continue;
        }
        for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
            if (raw[i].line == g.line && raw.is(i, "sampler") && raw.is(i + 1, g.name.c_str())) {
                edits.push_back({raw[i].end, raw[i].end, *dims.begin()});
                break;
            }
        }
    }
    float_types(raw, edits);
    if (scan.errors.empty()) rewrite_initialiser_lists(raw, edits, scan.errors);
    matrix_swizzles(raw, edits);

    if (!scan.errors.empty()) {
        diagnostics.insert(diagnostics.end(), scan.errors.begin(), scan.errors.end());
        return false;
    }
    if (!edits.empty()) {
        prepared.file_text = blanked;
        std::sort(edits.begin(), edits.end(), [](const TextEdit& a, const TextEdit& b) { return a.begin > b.begin; });
        for (const TextEdit& e : edits) blanked.replace(e.begin, e.end - e.begin, e.text);
    }
    prepared.text = std::move(blanked);
    prepared.preamble = preamble + definitions;
    prepared.globals = std::move(scan.globals);
    prepared.unnamed_parameters = std::move(scan.unnamed_parameters);
    return true;
}

}  // namespace fxcompiler
