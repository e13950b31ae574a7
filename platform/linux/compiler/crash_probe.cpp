// probe_crash: a message for a shader the back end crashed on, where one can be found.
// glslang's HLSL front end dies on `return c ? x : name;` when `name` is declared nowhere, where
// the same expression anywhere else gives "'name' : unknown variable". The file is compiled again
// with every `return` blanked (lines and columns kept): if that names an unknown variable, that
// message stands for the crash. Anything else keeps the crash's own message.
#include <cctype>

#include "compiler.h"

namespace fxcompiler {

namespace {

bool name_char(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

// `return` blanked wherever it stands as a word (in a comment or a string it changes nothing).
bool blank_returns(std::string& text)
{
    static const std::string RETURN = "return";
    bool any = false;
    for (std::size_t at = text.find(RETURN); at != std::string::npos; at = text.find(RETURN, at + RETURN.size())) {
        const bool starts = at == 0 || !name_char(text[at - 1]);
        const bool ends = at + RETURN.size() == text.size() || !name_char(text[at + RETURN.size()]);
        if (!starts || !ends) continue;
        text.replace(at, RETURN.size(), RETURN.size(), ' ');
        any = true;
    }
    return any;
}

}  // namespace

CompileOutput probe_crash(const CompileRequest& request, const CompileOutput& crashed)
{
    CompileRequest probe = request;
    if (!blank_returns(probe.text)) return crashed;
    const CompileOutput out = compile_isolated(probe);
    for (const Diagnostic& d : out.diagnostics) {
        if (!d.error) continue;
        const std::string UNKNOWN = "' : unknown variable";
        const bool unknown = d.text.size() > UNKNOWN.size() &&
            d.text.compare(d.text.size() - UNKNOWN.size(), UNKNOWN.size(), UNKNOWN) == 0;
        if (!unknown) return crashed;
        CompileOutput found = crashed;
        found.diagnostics = {d};
        return found;
    }
    return crashed;
}

}  // namespace fxcompiler
