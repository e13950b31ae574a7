// Pass: a global without `static` is a constant register, const or not.
// Reads: top-level declarations. Changes: `const` goes from a global that is not static (`const`,
//   `uniform const`, `extern const`): on Direct3D 9 it takes a register in the usual order and reads
//   what the program sets there (here 0, or the time in c0.x); its initialiser is a default the
//   program would have to apply, and the viewer never does. The back end would fold it instead.
//   Only `static const` is folded.
// Warns, at the name, for every global with an initialiser that is not static: the value is not
//   what the shader reads. Refuses: nothing.
#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

void unfold_constant_globals(Unit& unit)
{
    TokenList& t = unit.tokens;
    std::vector<Replacement> gone;
    for_each_global_statement(t, [&](std::size_t i) {
        std::size_t k = i;
        bool is_static = false;
        std::vector<std::size_t> consts;
        for (; t.ident(k) && has_role(t.view(k), MODIFIER); ++k) {
            is_static = is_static || t.is(k, "static");
            if (t.is(k, "const")) consts.push_back(k);
        }
        if (is_static || !t.ident(k) || has_role(t.view(k), BLOCK | STATEMENT | TECHNIQUE | EFFECT_OBJECT)) return i;
        if (has_role(t.view(k), SAMPLER)) return i;
        if (t.is(++k, "<")) k = t.match(k) + 1;         // the type
        if (!t.ident(k) || t.is(k + 1, "(")) return i;  // a function
        for (std::size_t c : consts) gone.push_back({c, c, {}});
        // The declarators: a warning for each initialiser.
        while (t.ident(k)) {
            const std::size_t name = k++;
            while (t.is(k, "[")) k = t.match(k) + 1;
            while (t.is(k, ":")) k = t.is(k + 2, "(") ? t.match(k + 2) + 1 : k + 2;  // semantics, registers
            if (t.is(k, "=")) {
                unit.warn(t[name],
                          "'" + t.str(name) +
                              "' : a global that is not static is a constant register on "
                              "Direct3D 9 and reads what the program sets there (0, or the time in c0.x); "
                              "its initialiser is not applied. Declare it static const to use its value");
                while (k < t.size() && !t.is(k, ",") && !t.is(k, ";")) {
                    if (t.is(k, "(") || t.is(k, "[") || t.is(k, "{")) k = t.match(k);
                    ++k;
                }
            }
            if (!t.is(k, ",")) break;
            ++k;
        }
        while (k < t.size() && !t.is(k, ";")) ++k;
        return k;
    });
    replace_tokens(t, std::move(gone));
}

}  // namespace fxcompiler
