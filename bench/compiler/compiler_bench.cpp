// Compile time per entry point, as the viewer compiles on start-up and F5: the example main.fx
// (examples/main.fx when present) and a 200-line ray marcher, SPIR-V optimiser off and on, and
// with the back end in this process instead of the helper process the viewer uses.
// - ENTRY/...: one entry point of a file not compiled before (each iteration changes a comment,
//   so nothing prepared for an earlier compile is reused): what an entry point costs on its own.
// - load/...: both entry points of a file not compiled before, in a row, as the viewer's load
//   compiles them; they share the file's preparation.
// The first compile of the process, with glslang's one-time setup, is printed before the runs.
// FXCOMPILER_BENCH_ITERATIONS=N fixes the iterations (for instruction counts under callgrind: run
// it with two values of N and take the difference).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "compiler.h"

namespace {

std::string read(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void compile(benchmark::State& state, const char* path, const std::vector<const char*>& entries, bool optimise,
             bool isolated)
{
    fxcompiler::set_isolation(isolated);
    const std::string source = read(path);
    fxcompiler::TranslateOptions options;
    options.optimise = optimise;
    long round = 0;
    for (auto _ : state) {
        const std::string text = source + "\n// " + std::to_string(++round) + "\n";
        for (const char* entry : entries) {
            fxcompiler::CompileOutput out = fxcompiler::compile_source(text, "main.fx", entry, "ps_3_0", {}, options);
            if (out.result != 0) {
                state.SkipWithError(fxcompiler::format_diagnostics(out.diagnostics, "main.fx").c_str());
                break;
            }
            benchmark::DoNotOptimize(out.code.data());
        }
    }
    fxcompiler::set_isolation(true);
}

void register_all()
{
    const char* fixed = std::getenv("FXCOMPILER_BENCH_ITERATIONS");
    struct Variant {
        bool optimise, isolated;
        const char* name;
    };
    struct File {
        const char* name;
        const char* path;
    };
    const std::vector<std::vector<const char*>> runs = {{"ps_main"}, {"ps_main_f"}, {"ps_main", "ps_main_f"}};
    for (Variant v : {Variant{false, true, "optimiser_off"}, Variant{true, true, "optimiser_on"},
                      Variant{false, false, "optimiser_off/in_process"}}) {
        for (const std::vector<const char*>& entries : runs) {
            for (File f : {File{"example", FXCOMPILER_EXAMPLE}, File{"raymarch_200_lines", FXCOMPILER_RAYMARCH}}) {
                std::string name =
                    std::string(f.name) + "/" + (entries.size() > 1 ? "load" : entries[0]) + "/" + v.name;
                auto* b = benchmark::RegisterBenchmark(name.c_str(), compile, f.path, entries, v.optimise, v.isolated)
                              ->Unit(benchmark::kMillisecond);
                if (fixed) b->Iterations(std::atol(fixed));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    auto start = std::chrono::steady_clock::now();
    fxcompiler::CompileOutput first = fxcompiler::compile_source(read(FXCOMPILER_EXAMPLE), "main.fx", "ps_main",
                                                                 "ps_3_0", {}, fxcompiler::options_for_flags(0x8400));
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("first compile in this process (with one-time setup): %.1f ms, result 0x%08X\n", ms,
                (unsigned)first.result);
    std::printf("example: %s\n", FXCOMPILER_EXAMPLE);
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
