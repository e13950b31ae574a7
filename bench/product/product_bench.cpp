// The viewer as a whole, off-screen, against its peers measured in the same run:
// - a steady frame of render_frame() against a raw-GL program drawing the same two passes with
//   the same GLSL (the example main.fx and a trivial shader), wall time and this thread's CPU time;
// - F5 to the next presented frame (load_resources + render_frame) against compiling both entry
//   points alone, and against a raw-GL program that compiles with our compiler, links and draws;
// - heap allocations per steady frame;
// - resident memory after 1,000 reloads against after 10.
// Every frame ends with glFinish, so a frame counts once it is drawn. Program and peer take turns
// in short blocks; the table gives medians over the blocks and the median of the back-to-back
// pairs' ratios, so a burst of load from elsewhere on the machine spoils a pair, not the figure.
// (The viewer's loop in a real window is viewer_loop's.)
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "allocations.h"
#include "raw_two_pass.h"
#include "viewer.h"

namespace {

const char* const TRIVIAL_FX = R"(sampler2D scene : register(s0);
float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv, 0.5, 1.0); }
float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }
)";

std::string example_fx;
SDL_GLContext device_context = nullptr;
std::map<std::string, double> figures;  // the table's numbers, by name

double thread_cpu_seconds()
{
    timespec t = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void use_device() { SDL_GL_MakeCurrent(product::viewer_window(), device_context); }

// Per block, milliseconds per frame; allocations summed over all blocks.
struct Tally {
    std::vector<double> wall, cpu;
    long long frames = 0, cxx = 0, c = 0;
};

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// The median of a[i] / b[i]: each pair ran back to back, so a burst of load from elsewhere
// spoils a pair or two, not the figure.
double median_ratio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] > 0) ratios.push_back(a[i] / b[i]);
    }
    return median(ratios);
}

template <typename Frame>
void run_block(Frame&& frame, int count, Tally& tally)
{
    glFinish();
    long long cxx0 = bench::cxx_allocations, c0 = bench::c_allocations;
    bench::counting = true;
    double wall0 = now_seconds(), cpu0 = thread_cpu_seconds();
    for (int i = 0; i < count; ++i) {
        frame();
        glFinish();
    }
    double cpu1 = thread_cpu_seconds(), wall1 = now_seconds();
    bench::counting = false;
    tally.wall.push_back(1e3 * (wall1 - wall0) / count);
    tally.cpu.push_back(1e3 * (cpu1 - cpu0) / count);
    tally.frames += count;
    tally.cxx += bench::cxx_allocations - cxx0;
    tally.c += bench::c_allocations - c0;
}

// Program and raw GL alternate in short blocks, so load from elsewhere hits both alike.
void BM_SteadyFrame(benchmark::State& state, const std::string& name, const std::string& source)
{
    fxplatform::ShaderBlob scene, final;
    use_device();
    product::write_main_fx(source);
    load_resources();
    if (!resources.scene_shader || !resources.final_shader || !product::compile_blob("ps_main", scene) ||
        !product::compile_blob("ps_main_f", final)) {
        state.SkipWithError("the shader does not load");
        return;
    }
    bench::RawTwoPass raw;
    if (!raw.set_up(product::viewer_window(), scene, final)) {
        state.SkipWithError("no raw GL context");
        raw.tear_down();
        use_device();
        return;
    }
    auto program_frame = [] { render_frame(); };
    auto raw_frame = [&raw] { raw.frame(); };
    Tally program, peer, warm_up;
    use_device();
    run_block(program_frame, 5, warm_up);  // the driver's shader variants built, buffers settled
    raw.make_current();
    run_block(raw_frame, 5, warm_up);
    const int block = (int)state.range(0);
    for (auto _ : state) {
        use_device();
        run_block(program_frame, block, program);
        raw.make_current();
        run_block(raw_frame, block, peer);
    }
    double program_ms = median(program.wall), peer_ms = median(peer.wall);
    double program_cpu = median(program.cpu), peer_cpu = median(peer.cpu);
    state.counters["program_ms"] = program_ms;
    state.counters["raw_gl_ms"] = peer_ms;
    state.counters["program_cpu_ms"] = program_cpu;
    state.counters["raw_gl_cpu_ms"] = peer_cpu;
    figures[name + ".program_ms"] = program_ms;
    figures[name + ".raw_ms"] = peer_ms;
    figures[name + ".program_cpu"] = program_cpu;
    figures[name + ".raw_cpu"] = peer_cpu;
    figures[name + ".wall_ratio"] = median_ratio(program.wall, peer.wall);
    figures[name + ".cpu_ratio"] = median_ratio(program.cpu, peer.cpu);
    figures[name + ".new"] = (double)program.cxx / (double)program.frames;
    figures[name + ".malloc"] = (double)program.c / (double)program.frames;
    figures[name + ".raw_new"] = (double)peer.cxx / (double)peer.frames;
    figures[name + ".raw_malloc"] = (double)peer.c / (double)peer.frames;
    raw.tear_down();
    use_device();
}

void compile_both()
{
    for (const char* entry : {"ps_main", "ps_main_f"}) {
        ID3DXBuffer* code = NULL;
        ID3DXBuffer* messages = NULL;
        D3DXCompileShaderFromFileA("main.fx", NULL, NULL, entry, "ps_3_0", product::LOADER_FLAGS, &code, &messages,
                                   NULL);
        if (code) code->Release();
        if (messages) messages->Release();
    }
}

// F5: the loader and the frame that follows, until that frame is drawn; against a raw GL program
// doing the same (our compiler, then link, fill, draw) and against the two compiles alone.
void BM_ReloadToFrame(benchmark::State& state)
{
    use_device();
    product::write_main_fx(example_fx);
    fxplatform::ShaderBlob scene, final;
    bench::RawTwoPass raw;
    if (!product::compile_blob("ps_main", scene) || !product::compile_blob("ps_main_f", final) ||
        !raw.set_up(product::viewer_window(), scene, final)) {
        state.SkipWithError("the example does not load in raw GL");
        raw.tear_down();
        use_device();
        return;
    }
    std::vector<double> program, peer, compile;
    for (auto _ : state) {
        use_device();
        glFinish();
        double t0 = now_seconds();
        load_resources();
        render_frame();
        glFinish();
        double t1 = now_seconds();
        raw.make_current();
        product::compile_blob("ps_main", scene);
        product::compile_blob("ps_main_f", final);
        raw.reload(scene, final);
        raw.frame();
        glFinish();
        double t2 = now_seconds();
        compile_both();
        double t3 = now_seconds();
        program.push_back(1e3 * (t1 - t0));
        peer.push_back(1e3 * (t2 - t1));
        compile.push_back(1e3 * (t3 - t2));
    }
    raw.tear_down();
    use_device();
    if (!resources.scene_shader) state.SkipWithError("the example does not load");
    state.counters["program_ms"] = figures["reload_ms"] = median(program);
    state.counters["raw_gl_ms"] = figures["raw_reload_ms"] = median(peer);
    state.counters["compile_ms"] = figures["compile_ms"] = median(compile);
    figures["reload_ratio"] = median_ratio(program, peer);
    figures["reload_compile_ratio"] = median_ratio(program, compile);
}

// Resident memory after 10 reloads and after 1,000, each with its frame, the compiler's helper
// included. Each figure is the median over the next 20 reloads: the resident size swings by whole
// float render targets (14.7 MB) as they are freed and allocated again, so one sample says little.
// (glibc's own count of the heap in use swings the same way and is left out: the reload soak
// under ASan gives the live heap.)
void measure_memory()
{
    product::write_main_fx(example_fx);
    use_device();
    std::vector<double> samples;
    for (int i = 1; i < 1020; ++i) {
        load_resources();
        render_frame();
        bool early = i >= 10 && i < 30, late = i >= 1000;
        if (!early && !late) continue;
        glFinish();
        samples.push_back((double)product::resident_kb());
        if (samples.size() == 20) {
            std::nth_element(samples.begin(), samples.begin() + 10, samples.end());
            figures[early ? "rss_kb.10" : "rss_kb.1000"] = samples[10];
            samples.clear();
        }
    }
}

void print_table(const char* renderer)
{
    auto f = [](const std::string& name) { return figures.count(name) ? figures[name] : 0.0; };
    auto ratio = [&](const std::string& a, const std::string& b) { return f(b) > 0 ? f(a) / f(b) : 0.0; };
    std::printf("\nfxview on %s, 1280x720, off-screen, vsync off\n", renderer);
    std::printf("(times: medians over blocks that alternate with the peer's; ratios: medians of the pairs)\n");
    std::printf("%-44s %12s %12s %8s  %s\n", "figure", "program", "peer", "ratio", "peer is");
    for (const char* shader : {"example", "trivial"}) {
        std::string s = shader;
        std::printf("%-44s %12.3f %12.3f %8.3f  %s\n", ("steady frame, " + s + ", wall ms").c_str(),
                    f(s + ".program_ms"), f(s + ".raw_ms"), f(s + ".wall_ratio"), "raw GL, same two passes");
        std::printf("%-44s %12.3f %12.3f %8.3f  %s\n", ("steady frame, " + s + ", main-thread CPU ms").c_str(),
                    f(s + ".program_cpu"), f(s + ".raw_cpu"), f(s + ".cpu_ratio"), "raw GL, same two passes");
    }
    std::printf("%-44s %12.3f %12.3f %8.3f  %s\n", "F5 -> next presented frame, example, ms", f("reload_ms"),
                f("compile_ms"), f("reload_compile_ratio"), "compiling both entry points");
    std::printf("%-44s %12.3f %12.3f %8.3f  %s\n", "F5 -> next presented frame, example, ms", f("reload_ms"),
                f("raw_reload_ms"), f("reload_ratio"), "the compiles, then raw GL link+fill+frame");
    for (const char* shader : {"example", "trivial"}) {
        std::string s = shader;
        std::printf("%-44s %12.2f %12.2f %8s  %s\n", ("heap allocations per frame, " + s + ", C++").c_str(),
                    f(s + ".new"), f(s + ".raw_new"), "-", "raw GL");
        std::printf("%-44s %12.2f %12.2f %8.3f  %s\n", ("heap allocations per frame, " + s + ", malloc").c_str(),
                    f(s + ".malloc"), f(s + ".raw_malloc"), ratio(s + ".malloc", s + ".raw_malloc"),
                    "raw GL (the driver's own)");
    }
    std::printf("%-44s %12.1f %12.1f %8.3f  %s\n", "resident memory, MB, 1000 reloads (median)",
                f("rss_kb.1000") / 1024.0, f("rss_kb.10") / 1024.0, ratio("rss_kb.1000", "rss_kb.10"),
                "after 10 reloads (median)");
}

}  // namespace

int main(int argc, char** argv)
{
    if (!product::read_file(FXVIEW_EXAMPLE, example_fx)) {
        std::fprintf(stderr, "product_bench: cannot read %s\n", FXVIEW_EXAMPLE);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    // Off-screen the viewer reloads when main.fx is saved, 150 ms later: the measurement's own
    // writes of main.fx would put a reload among the frames it times.
    setenv("FXVIEW_RELOAD_ON_SAVE", "0", 1);
    if (!product::enter_private_folder() || !product::open_viewer()) {
        product::leave_private_folder();
        return 1;
    }
    device_context = SDL_GL_GetCurrentContext();
    std::string renderer = (const char*)glGetString(GL_RENDERER);
    // The loader's "Load Shader." lines would drown the table: stdout is muted until the end.
    std::fflush(stdout);
    int table_out = dup(1), null = open("/dev/null", O_WRONLY);
    if (table_out < 0 || null < 0 || dup2(null, 1) < 0) return 1;
    close(null);

    measure_memory();
    benchmark::RegisterBenchmark("steady_frame/example", BM_SteadyFrame, "example", example_fx)
        ->Arg(4)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(3.0)
        ->UseRealTime();
    benchmark::RegisterBenchmark("steady_frame/trivial", BM_SteadyFrame, "trivial", std::string(TRIVIAL_FX))
        ->Arg(4)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(3.0)
        ->UseRealTime();
    benchmark::RegisterBenchmark("reload_to_frame/example", BM_ReloadToFrame)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(3.0)
        ->UseRealTime();
    // Google Benchmark's own report goes to stderr; the table to the real stdout.
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    product::close_viewer();
    product::leave_private_folder();
    std::fflush(stdout);
    dup2(table_out, 1);
    close(table_out);
    print_table(renderer.c_str());
    return 0;
}
