// Pass: ps_3_0 computes in 32-bit floats.
// Reads: type names. Changes: double and fixed (and their vectors and matrices) become float, as
//   the back end would emit doubles GLSL 330 does not have; half inside vector<> and matrix<>
//   becomes float, as the back end takes no half there.
// Refuses: nothing.
#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

void float_types(Unit& unit)
{
    TokenList& t = unit.tokens;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!t.ident(i) || (i > 0 && t.is(i - 1, "."))) continue;
        const std::string_view s = t.view(i);
        if (s == "half" && i >= 2 && t.is(i - 1, "<") && (t.is(i - 2, "vector") || t.is(i - 2, "matrix"))) {
            t[i].text = "float";
            t[i].verbatim = false;
            continue;
        }
        if (s[0] != 'd' && s[0] != 'f') continue;
        std::size_t base = 0;
        int rows = 0, columns = 0;
        if (!scalar_type(s, base, rows, columns)) continue;
        const std::string_view scalar = s.substr(0, base);
        if (scalar != "double" && scalar != "fixed") continue;
        t[i].text = t.keep("float" + std::string(s.substr(base)));
        t[i].verbatim = false;
    }
}

}  // namespace fxcompiler
