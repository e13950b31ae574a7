// Pass: numbers from the source, against Direct3D 9's ranges, read in 64 bits so that nothing
// wraps (c4294967296 is not c0).
// Reads: the dimensions of declared arrays, anywhere; the index of every semantic.
// Changes: nothing.
// Refuses, with the place: an array of more than 65,536 elements (dimensions multiplied), a
//   semantic index past 15 (a declaration's usage index has 4 bits).
#include <algorithm>
#include <iterator>

#include "compile_limits.h"
#include "passes.h"
#include "ps30.h"

namespace fxcompiler {

namespace {

std::string number(std::uint64_t value) { return value == ~std::uint64_t(0) ? "too large" : std::to_string(value); }

}  // namespace

bool read_integer(std::string_view text, std::uint64_t& value)
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
        const unsigned digit = std::isdigit((unsigned char)c)    ? unsigned(c - '0')
                               : std::isxdigit((unsigned char)c) ? unsigned(std::tolower((unsigned char)c) - 'a' + 10)
                                                                 : 99;
        if (digit >= base) return false;
        value = value > (most - digit) / base ? most : value * base + digit;
    }
    return true;
}

void check_array_dimensions(Unit& unit, std::size_t open)
{
    const TokenList& t = unit.tokens;
    std::uint64_t elements = 1;
    for (std::size_t k = open; t.is(k, "["); k = t.match(k) + 1) {
        std::uint64_t size = 0;
        if (t.match(k) != k + 2 || t[k + 1].kind != Kind::Number || !read_integer(t.view(k + 1), size)) continue;
        elements = size != 0 && elements > ~std::uint64_t(0) / size ? ~std::uint64_t(0) : elements * size;
        if (elements > limits::MAX_ARRAY_ELEMENTS) {
            unit.error(t[k + 1], "'" + t.str(k + 1) + "' : array of " + number(elements) +
                                     " elements; arrays hold at most " + std::to_string(limits::MAX_ARRAY_ELEMENTS));
            return;
        }
    }
}

void check_numbers(Unit& unit)
{
    static const char* const semantics[] = {"COLOR",     "TEXCOORD", "NORMAL",      "POSITION",     "POSITIONT",
                                            "TANGENT",   "BINORMAL", "BLENDWEIGHT", "BLENDINDICES", "PSIZE",
                                            "FOG",       "DEPTH",    "VPOS",        "VFACE",        "TESSFACTOR",
                                            "SV_TARGET", "SV_DEPTH", "SV_POSITION"};
    const TokenList& t = unit.tokens;
    int ternaries = 0;  // a ':' of "a ? b : c" is no semantic
    for (std::size_t i = 0; i < t.size() && unit.errors.empty(); ++i) {
        const char c = t.punct(i);
        if (!c) continue;  // every token looked at below is one
        if (c == '[' && i >= 2 && t.ident(i - 1) && t.ident(i - 2) &&
            !one_of(t.view(i - 2), {"return", "case", "else", "do"})) {
            check_array_dimensions(unit, i);
        }
        if (c == ';' || c == '{' || c == '}') ternaries = 0;
        if (c == '?') ++ternaries;
        if (c != ':') continue;
        if (ternaries > 0) {
            --ternaries;
            continue;
        }
        if (!t.ident(i + 1)) continue;
        const std::string_view word = t.view(i + 1);
        std::size_t digits = word.size();
        while (digits > 0 && std::isdigit((unsigned char)word[digits - 1])) --digits;
        std::string name(word.substr(0, digits));
        for (char& ch : name) ch = (char)std::toupper((unsigned char)ch);
        std::uint64_t index = 0;
        const bool known = std::find_if(std::begin(semantics), std::end(semantics),
                                        [&](const char* s) { return name == s; }) != std::end(semantics);
        if (!known || digits == word.size() || !read_integer(word.substr(digits), index)) continue;
        if (index > fxplatform::ps30::MAX_SEMANTIC_INDEX) {
            unit.error(t[i + 1], "'" + t.str(i + 1) + "' : semantic index " + number(index) +
                                     " is out of range; semantics take indices 0 to " +
                                     std::to_string(fxplatform::ps30::MAX_SEMANTIC_INDEX));
            return;
        }
    }
}

}  // namespace fxcompiler
