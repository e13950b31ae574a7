// Compile time per entry point, as the viewer compiles on start-up and F5: the example main.fx
// (examples/main.fx when present) and a 200-line ray marcher, SPIR-V optimiser off and on, and
// with the back end in this process instead of the child the viewer uses (the child's cost).
// The first compile of the process, with glslang's one-time setup, is printed before the runs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "compiler.h"

namespace {

std::string read(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void compile(benchmark::State& state, const char* path, const char* entry, bool optimise, bool isolated)
{
    fxcompiler::set_isolation(isolated);
    std::string source = read(path);
    fxcompiler::TranslateOptions options;
    options.optimise = optimise;
    for (auto _ : state) {
        fxcompiler::CompileOutput out = fxcompiler::compile_source(source, "main.fx", entry, "ps_3_0", {}, options);
        if (out.result != 0) {
            state.SkipWithError(fxcompiler::format_diagnostics(out.diagnostics, "main.fx").c_str());
            break;
        }
        benchmark::DoNotOptimize(out.code.data());
    }
    fxcompiler::set_isolation(true);
}

void register_all()
{
    struct Variant {
        bool optimise, isolated;
        const char* name;
    };
    for (Variant v : {Variant{false, true, "optimiser_off"}, Variant{true, true, "optimiser_on"},
                      Variant{false, false, "optimiser_off/in_process"}}) {
        for (const char* entry : {"ps_main", "ps_main_f"}) {
            std::string suffix = std::string("/") + entry + "/" + v.name;
            benchmark::RegisterBenchmark(("example" + suffix).c_str(), compile, FXCOMPILER_EXAMPLE, entry, v.optimise,
                                         v.isolated)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("raymarch_200_lines" + suffix).c_str(), compile, FXCOMPILER_RAYMARCH,
                                         entry, v.optimise, v.isolated)
                ->Unit(benchmark::kMillisecond);
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
