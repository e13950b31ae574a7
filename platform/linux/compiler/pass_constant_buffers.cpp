// Pass: a cbuffer's members are ordinary constants.
// Reads: cbuffer and tbuffer blocks at the top level.
// Changes: `cbuffer NAME : register(b0) { float4 a : packoffset(c2); float b; };` becomes its
//   members, `float4 a : register(c2); float b;`: Direct3D 9's compiler takes a cbuffer for ps_3_0
//   and registers its members as it registers globals; the back end would make a buffer of it.
// Refuses, with the place: tbuffer (texture buffers are Direct3D 10's), and a packoffset to a
//   component (c2.y): ps_3_0's registers are whole.
#include "passes.h"

namespace fxcompiler {

void unwrap_constant_buffers(Unit& unit)
{
    TokenList& t = unit.tokens;
    std::vector<Replacement> replacements;
    int depth = 0;
    for (std::size_t i = 0; i < t.size() && unit.errors.empty(); ++i) {
        if (t.is(i, "{")) ++depth;
        if (t.is(i, "}")) --depth;
        if (depth != 0 || !t.ident(i) || !(t.is(i, "cbuffer") || t.is(i, "tbuffer"))) continue;
        if (i > 0 && !t.is(i - 1, ";") && !t.is(i - 1, "}") && t[i - 1].kind != Kind::Directive) continue;
        if (t.is(i, "tbuffer")) {
            unit.error(t[i],
                       "'tbuffer' : texture buffers are not available in ps_3_0; declare the constants as "
                       "globals");
            return;
        }
        std::size_t open = i + 1;
        while (open < t.size() && !t.is(open, "{") && !t.is(open, ";")) ++open;
        if (!t.is(open, "{")) continue;  // not a block: the back end says what is wrong
        const std::size_t close = t.match(open);
        std::vector<Token> members;
        for (std::size_t k = open + 1; k < close; ++k) {
            if (t.is(k, "packoffset") && t.is(k + 1, "(")) {
                const std::size_t end = t.match(k + 1);
                if (end != k + 3 || !t.ident(k + 2)) {
                    unit.error(t[k],
                               "'packoffset' : ps_3_0's registers are whole; give a register (c2), not a "
                               "component of one");
                    return;
                }
                Token reg = t[k];
                reg.text = "register";
                reg.verbatim = false;
                members.push_back(reg);
                members.insert(members.end(), t.list.begin() + (std::ptrdiff_t)k + 1,
                               t.list.begin() + (std::ptrdiff_t)end + 1);
                k = end;
                continue;
            }
            members.push_back(t[k]);
        }
        const std::size_t last = t.is(close + 1, ";") ? close + 1 : close;
        replacements.push_back({i, last, std::move(members)});
        i = last;
    }
    replace_tokens(t, std::move(replacements));
}

}  // namespace fxcompiler
