// Pass: a bare `sampler` takes its type from the texture functions that read it.
// Reads: global `sampler` declarations, the sampler argument of tex2D, texCUBE, tex3Dlod, ...
// Changes: `sampler s;` read by texCUBE becomes `samplerCUBE s;` (by tex3D: sampler3D, by tex1D:
//   sampler1D, which the back end then refuses). The back end would compile it as 2D, silently.
// Refuses, with the place: a sampler read as more than one type.
#include <map>
#include <set>

#include "passes.h"

namespace fxcompiler {

namespace {

// texCUBE, tex2Dlod, tex3Dproj, ... -> "CUBE", "2D", "3D"; empty for anything else.
std::string_view texture_function_dim(std::string_view s)
{
    if (s.compare(0, 3, "tex") != 0) return {};
    for (std::string_view dim : {"CUBE", "1D", "2D", "3D"}) {
        if (s.compare(3, dim.size(), dim) != 0) continue;
        if (one_of(s.substr(3 + dim.size()), {"", "lod", "bias", "grad", "proj"})) return dim;
    }
    return {};
}

}  // namespace

void type_bare_samplers(Unit& unit)
{
    TokenList& t = unit.tokens;
    std::map<std::string_view, std::set<std::string_view>> uses;  // sampler -> "2D", "3D", "CUBE", "1D"
    for (std::size_t i = 0; i + 2 < t.size(); ++i) {
        if (!t.ident(i) || !t.is(i + 1, "(") || !t.ident(i + 2)) continue;
        const std::string_view dim = texture_function_dim(t.view(i));
        if (!dim.empty()) uses[t.view(i + 2)].insert(dim);
    }
    if (uses.empty()) return;
    for (const GlobalDecl& g : unit.globals) {
        if (g.type != "sampler") continue;
        auto use = uses.find(g.name);
        if (use == uses.end()) continue;
        std::set<std::string_view> dims = use->second;
        dims.erase("2D");
        if (dims.empty()) continue;
        if (dims.size() > 1 || use->second.count("2D")) {
            unit.errors.push_back(
                {g.line, g.column, true, "'" + g.name + "' : sampler is read as more than one texture type"});
            continue;
        }
        for (std::size_t i = 0; i + 1 < t.size(); ++i) {
            if (t[i].line == g.line && t.is(i, "sampler") && t.is(i + 1, g.name)) {
                t[i].text = t.keep("sampler" + std::string(*dims.begin()));
                t[i].verbatim = false;
                break;
            }
        }
    }
}

}  // namespace fxcompiler
