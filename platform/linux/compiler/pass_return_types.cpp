// Pass: const on a function's return type goes.
// Reads: top-level function declarations. Changes: `const float3 f()` becomes `float3 f()`: the
//   qualifier means nothing there, and the back end crashes on a swizzle of a call of such a
//   function. Refuses: nothing.
#include "hlsl_words.h"
#include "passes.h"

namespace fxcompiler {

void drop_const_return_types(Unit& unit)
{
    TokenList& t = unit.tokens;
    std::vector<Replacement> gone;
    for_each_global_statement(t, [&](std::size_t i) {
        std::size_t k = i;
        bool is_const = false;
        for (; t.ident(k) && has_role(t.view(k), MODIFIER); ++k) is_const = is_const || t.is(k, "const");
        if (!is_const || !t.ident(k) || !t.ident(k + 1) || !t.is(k + 2, "(")) return i;
        for (std::size_t m = i; m < k; ++m) {
            if (t.is(m, "const")) gone.push_back({m, m, {}});
        }
        return i;
    });
    replace_tokens(t, std::move(gone));
}

}  // namespace fxcompiler
