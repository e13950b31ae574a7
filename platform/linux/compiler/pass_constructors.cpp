// Pass: a constructor holds what its type holds.
// Reads: calls of vector and matrix types (float4(...), half2x2(...)) whose arguments' shapes the
//   scan can tell without knowing any variable: literals, constructors, intrinsics of them.
// Refuses, with the type's place: more components than the type holds, as Direct3D 9's compiler
//   does; the back end folds such a constructor of literals, dropping the extra ones. (Arguments
//   the scan cannot tell are the tree rules' to check, in arithmetic.cpp.)
#include "passes.h"
#include "shapes.h"

namespace fxcompiler {

void check_constructors(Unit& unit)
{
    const TokenList& t = unit.tokens;
    const Shapes shapes(t);  // no variables in scope: only what literals show
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (!t.ident(i) || !t.is(i + 1, "(") || (i > 0 && t.is(i - 1, "."))) continue;
        const Shape type = builtin_type(t.view(i));
        if (type.kind != Shape::Vector && type.kind != Shape::Matrix) continue;
        const std::size_t close = t.match(i + 1);
        long given = 0;
        bool known = true;
        for (std::size_t from = i + 2, k = from; k <= close && known; ++k) {
            if (k == close || t.is(k, ",")) {
                const long c = k > from ? shapes.shape_of(from, k).components() : -1;
                known = c >= 0;
                given += c;
                from = k + 1;
            } else if (t.is(k, "(") || t.is(k, "[") || t.is(k, "{")) {
                k = t.match(k);
            }
        }
        const long holds = type.components();
        if (!known || given <= holds) continue;
        unit.error(t[i],
                   "'" + t.str(i) + "' : constructor given " + std::to_string(given) +
                       " components; the type "
                       "holds " +
                       std::to_string(holds));
        return;
    }
}

}  // namespace fxcompiler
