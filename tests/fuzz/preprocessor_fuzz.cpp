// libFuzzer target: every input is a main.fx for the preparation alone (the lexer, the expansion
// bound, the preprocessor and every pass before the back end), in this process. The bounds must keep every input fast
// and small: libFuzzer's -timeout and -rss_limit_mb report any that is not.
#include <cstdint>
#include <string>
#include <vector>

#include "compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    fxcompiler::PreparedSource prepared;
    std::vector<fxcompiler::Diagnostic> diagnostics;
    bool ok = fxcompiler::prepare_source(text, "main.fx", {{"FXVIEW", "1"}}, prepared, diagnostics);
    if (!ok && diagnostics.empty()) __builtin_trap();  // a failure always says why
    return 0;
}
