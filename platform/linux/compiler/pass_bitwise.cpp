// Pass: ps_3_0 has no bitwise operations.
// Reads: every operator. Changes: nothing.
// Refuses, with the place: &, |, ^, ~, <<, >> and their assignments (&=, <<=, ...), as Direct3D
//   9's compiler refuses them for every ps_3_0 shader; the back end would compile them, and a shader
//   that works here would fail on Windows. && and || are logic, and stay.
#include "passes.h"

namespace fxcompiler {

void refuse_bitwise_operators(Unit& unit)
{
    const TokenList& t = unit.tokens;
    auto joined = [&](std::size_t k, char c) { return k < t.size() && t.punct(k) == c && t[k].joined; };
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t.punct(i);
        if (!c) continue;
        std::string op;
        if (c == '&' || c == '|') {
            if (joined(i + 1, c)) {  // && and ||
                ++i;
                continue;
            }
            op = std::string(1, c);
        } else if (c == '^' || c == '~') {
            op = std::string(1, c);
        } else if ((c == '<' || c == '>') && joined(i + 1, c)) {
            op = std::string(2, c);
        } else {
            continue;
        }
        if (joined(i + op.size(), '=')) op += '=';
        unit.error(t[i],
                   "'" + op +
                       "' : bitwise operations are not supported on ps_3_0, which has no integer "
                       "instructions (Direct3D 9's compiler refuses them too)");
        return;
    }
}

}  // namespace fxcompiler
