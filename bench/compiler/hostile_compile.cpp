// Hostile main.fx files, one per run: how the compiler fails on each, how long it takes and the
// peak memory of the helper process that compiles it. scripts/robustness.sh runs every case.
//   hostile_compile CASE   (hostile_compile lists the cases)
//   hostile_compile --file PATH   (any main.fx)
//   hostile_compile --list
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "compiler.h"

namespace {

const std::string ENTRY = "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return ";

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string globals(int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) out += "float4 g" + std::to_string(i) + ";\n";
    return out + ENTRY + "uv.xyxy; }\n";
}

// Writes main.fx in `dir` (a file, or a special file) and returns its path.
const std::map<std::string, std::function<void(const std::string&)>> CASES = {
    {"nested-macro-arguments",
     [](const std::string& f) {
         std::ofstream(f) << "#define F(x) x\n" << ENTRY << repeat("F(", 10000) << "1" << repeat(")", 10000) << "; }\n";
     }},
    {"exponential-macro",
     [](const std::string& f) {
         std::ofstream out(f);
         out << "#define A0 1\n";
         for (int i = 1; i <= 30; ++i) out << "#define A" << i << " A" << i - 1 << "+A" << i - 1 << "\n";
         out << ENTRY << "A30; }\n";
     }},
    {"exponential-macro-within-limit",  // 2,097,151 tokens: half of what the limit lets through
     [](const std::string& f) {
         std::ofstream out(f);
         out << "#define A0 1\n";
         for (int i = 1; i <= 20; ++i) out << "#define A" << i << " A" << i - 1 << "+A" << i - 1 << "\n";
         out << ENTRY << "A20; }\n";
     }},
    {"deep-if",
     [](const std::string& f) {
         std::ofstream(f) << "#if " << repeat("(", 100000) << "1" << repeat(")", 100000) << "\n#endif\n"
                          << ENTRY << "1; }\n";
     }},
    {"named-pipe", [](const std::string& f) { mkfifo(f.c_str(), 0600); }},
    {"symlink-to-dev-zero", [](const std::string& f) { std::filesystem::create_symlink("/dev/zero", f); }},
    {"globals-40000", [](const std::string& f) { std::ofstream(f) << globals(40000); }},
    {"globals-65534", [](const std::string& f) { std::ofstream(f) << globals(65534); }},
    {"register-c4294967296",
     [](const std::string& f) { std::ofstream(f) << "float4 k : register(c4294967296);\n"
                                                 << ENTRY << "k; }\n"; }},
    {"semantic-COLOR4294967296",
     [](const std::string& f) {
         std::ofstream(f) << "float4 ps_main(float2 uv : TEXCOORD0) : COLOR4294967296 { return 1; }\n";
     }},
    {"array-float4x4-k[1073741825]",
     [](const std::string& f) { std::ofstream(f) << "float4x4 k[1073741825];\n"
                                                 << ENTRY << "k[1][0]; }\n"; }},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (const auto& c : CASES) std::printf("%s\n", c.first.c_str());
        return 0;
    }
    const bool own_file = argc == 3 && std::string(argv[1]) == "--file";
    if (!own_file && (argc != 2 || !CASES.count(argv[1]))) {
        std::fprintf(stderr, "usage: hostile_compile CASE; cases:\n");
        for (const auto& c : CASES) std::fprintf(stderr, "  %s\n", c.first.c_str());
        return 2;
    }
    char pattern[] = "/tmp/fxview-hostile-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string file = own_file ? argv[2] : std::string(pattern) + "/main.fx";
    if (!own_file) CASES.at(argv[1])(file);
    fxcompiler::prepare_back_end();  // as the helper does before its first request
    auto start = std::chrono::steady_clock::now();
    fxcompiler::CompileOutput out =
        fxcompiler::compile_file(file, "ps_main", "ps_3_0", {}, fxcompiler::options_for_flags(0));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fxcompiler::set_helper_path("");  // stops the helper, so that its peak is counted below
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::string message = fxcompiler::format_diagnostics(out.diagnostics, "main.fx");
    message = message.substr(0, message.find('\n'));
    if (message.size() > 160) message = message.substr(0, 160) + "...";
    std::printf("%-30s %s in %6.2f s, helper peak %5ld MiB: %s\n", argv[argc - 1],
                out.result == 0 ? "compiled" : "failed  ", seconds, children.ru_maxrss / 1024, message.c_str());
    std::filesystem::remove_all(pattern);
    return 0;
}
