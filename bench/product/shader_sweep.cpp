// shader_sweep: the largest shapes the compiler accepts, each compiled, built by the real device and
// drawn off-screen (Mesa's llvmpipe without a GPU), with the time of each step and the peak memory of
// the viewer and of the compiler helper. The budget for a build is 1 GiB and 10 s; a shape past it is
// marked OVER. Each case runs in a child process that is stopped at a memory or CPU-time cap (4 GiB,
// 60 s), so a shape that would take the machine down is reported as past the cap, with the step it
// was in.
//   shader_sweep --list
//   shader_sweep [--cap-mib N] [--cap-cpu-seconds S] CASE...   (or --all, or --file PATH for any main.fx)
//   shader_sweep --source CASE   (prints the case's main.fx; --glsl CASE, the GLSL its scene pass becomes)
// "build" is what the device does with the compiled shader: linking the GL program (CreatePixelShader)
// and the driver's code generation, which llvmpipe does at the first draw: a draw of one pixel
// ("pixel"). "frame" is a whole frame after that, drawing only. The budget holds for the build; a
// frame may take long (the viewer waits for it in slices).
#include <epoxy/gl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "compiler.h"
#include "viewer.h"

namespace {

const long BUDGET_MIB = 1024;
const double BUDGET_SECONDS = 10;

const std::string FINAL_PASS =
    "sampler2D scene : register(s0);\n"
    "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }\n";

std::string scene(const std::string& declarations, const std::string& body)
{
    return declarations + "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n{\n" + body + "}\n" + FINAL_PASS;
}

std::string n(long value) { return std::to_string(value); }

// A run-time array written and read at places only known per pixel, as a hostile author writes it.
std::string runtime_array(const std::string& type, long size, bool local, bool filled)
{
    const std::string declaration = (local ? "    " : "static ") + type + " a[" + n(size) + "];\n";
    std::string body = local ? declaration : "";
    if (filled) body += "    for (int i = 0; i < " + n(size) + "; ++i) a[i] = i * uv.x;\n";
    body +=
        "    a[(int)(uv.x * 100)] = 0.25;\n"
        "    return (float4)a[(int)(uv.y * 100)];\n";
    return scene(local ? "" : declaration, body);
}

// `count` run-time arrays, each within the temporary registers on its own, all written and read at
// places only known per pixel.
std::string many_runtime_arrays(const std::string& type, long size, int count, bool local)
{
    std::string declarations, body;
    for (int i = 0; i < count; ++i) {
        const std::string name = "a" + n(i);
        (local ? body : declarations) +=
            std::string(local ? "    " : "static ") + type + " " + name + "[" + n(size) + "];\n";
    }
    body += "    float4 sum = 0;\n";
    for (int i = 0; i < count; ++i) {
        const std::string name = "a" + n(i);
        body += "    " + name + "[(int)(uv.x * " + n(size - 1) + ")] = " + n(i) +
            ".5;\n"
            "    sum += (float4)" +
            name + "[(int)(uv.y * " + n(size - 1) + ")];\n";
    }
    return scene(declarations, body + "    return sum;\n");
}

// A static array the code never writes (zeros, as HLSL has them), read at a place known per pixel.
std::string read_only_array(const std::string& type, long size)
{
    return scene("static " + type + " a[" + n(size) + "];\n",
                 "    return (float4)a[(int)(uv.x * " + n(size - 1) + ")];\n");
}

// A constant array with every value given, read at a place known per pixel.
std::string constant_array(const std::string& type, int components, long size)
{
    std::string values;
    values.reserve((std::size_t)(size * components * 5));
    for (long i = 0; i < size * components; ++i) values += (i ? "," : "") + n(i % 97) + ".5";
    return scene("static const " + type + " k[" + n(size) + "] = {" + values + "};\n",
                 "    return (float4)k[(int)(uv.x * " + n(size - 1) + ")];\n");
}

std::string unrolled_loops(int depth, long iterations, const std::string& attribute)
{
    std::string body = "    float s = uv.x;\n";
    for (int d = 0; d < depth; ++d)
        body += std::string(4 + 4 * d, ' ') + attribute + " for (int i" + n(d) + " = 0; i" + n(d) + " < " +
            n(iterations) + "; ++i" + n(d) + ")\n";
    body += std::string(4 + 4 * depth, ' ') + "s = s * 1.0001 + sin(s + uv.y);\n";
    return scene("", body + "    return float4(s, uv, 1);\n");
}

// f0 calls f1 ... f(depth): `calls` times each, so the fully inlined shader holds calls^depth copies.
std::string call_chain(int depth, int calls)
{
    std::string functions = "float f" + n(depth) + "(float x) { return x * 1.0001 + 0.5; }\n";
    for (int i = depth - 1; i >= 0; --i) {
        functions += "float f" + n(i) + "(float x) { return ";
        for (int c = 0; c < calls; ++c) functions += (c ? " + f" : "f") + n(i + 1) + "(x + " + n(c) + ")";
        functions += "; }\n";
    }
    return scene(functions, "    return float4(f0(uv.x), uv, 1);\n");
}

// One statement of about `tokens` tokens (the limit is 8,192).
std::string long_statement(long tokens)
{
    std::string expression = "uv.x";
    for (long t = 3; t + 6 <= tokens; t += 6) expression += " + uv.y * " + n(t % 89) + ".5";
    return scene("", "    float s = " + expression + ";\n    return float4(s, uv, 1);\n");
}

// Parentheses `depth` deep (the limit is 256 brackets).
std::string deep_expression(int depth)
{
    std::string expression = "uv.x";
    for (int d = 0; d < depth; ++d) expression = "(" + expression + " * 1.0001 + uv.y)";
    return scene("", "    float s = " + expression + ";\n    return float4(s, uv, 1);\n");
}

// Straight-line statements filling the file up to about `bytes` (the limit is 4 MiB).
std::string many_statements(long bytes)
{
    std::string body = "    float s = uv.x;\n";
    for (long i = 0; (long)body.size() < bytes - 200; ++i)
        body += "    s = s * 1.0001 + sin(s + " + n(i % 1000) + ");\n";
    return scene("", body + "    return float4(s, uv, 1);\n");
}

// ---- shapes the limits do not see yet, each as it is accepted or fails today ----

std::string nested_loops_without_braces(int depth)
{
    std::string body = "    float s = 0;\n";
    for (int d = 0; d < depth; ++d) body += "    for (int i" + n(d) + " = 0; i" + n(d) + " < 1; ++i" + n(d) + ")\n";
    return scene("", body + "        s += uv.x;\n    return float4(s, uv, 1);\n");
}

std::string else_if_chain(int count)
{
    std::string body = "    float s = 0;\n    if (uv.x < 0.0) s = 0;\n";
    for (int i = 1; i <= count; ++i)
        body += "    else if (uv.x < " + n(i) + ".0 / " + n(count) + ".0) s = " + n(i) + ";\n";
    return scene("", body + "    return float4(s / " + n(count) + ".0, uv, 1);\n");
}

std::string many_members(const std::string& opening, const std::string& closing, const std::string& read, int count)
{
    std::string members;
    for (int i = 0; i < count; ++i) members += "    float m" + n(i) + ";\n";
    return scene(opening + "\n{\n" + members + closing + "\n", "    return " + read + ";\n");
}

// Each step pastes two copies of the one before into three: the outer two are expanded again on the
// rescan, so the tokens double per step while the paste itself looks like one token.
std::string token_pasting_chain(int steps)
{
    std::string text = "#define C(a, b) a##b\n#define X0 x\n";
    for (int i = 1; i <= steps; ++i) {
        const std::string before = "X" + n(i - 1);
        text += "#define X" + n(i) + " C(" + before + " " + before + ", " + before + " " + before + ")\n";
    }
    return text + scene("", "    float X" + n(steps) + "_ = 1;\n    return X" + n(steps) + ";\n");
}

// Values all live at once, more than ps_3_0's 32 temporary registers hold.
std::string live_temporaries(int count)
{
    std::string body, total = "0";
    for (int i = 0; i < count; ++i) {
        body += "    float4 t" + n(i) + " = sin(uv.xyxy * " + n(i + 1) + ");\n";
        total += " + t" + n(i) + " * t" + n(count - 1 - i);
    }
    return scene("", body + "    return " + total + ";\n");
}

struct Case {
    std::string name;
    std::function<std::string()> source;
};

// Shapes past what the limits measure today (the large run-time arrays are in the sweep below): how
// each fails or builds, so the compiler's refusals can be checked against them.
std::vector<Case> hostile_cases()
{
    const std::string dynamic_read = "    return a[(int)(uv.x * 100)];\n";
    return {
        {"temporaries-40-live-float4", [] { return live_temporaries(40); }},
        {"size-static-float[65536*65536+2]",
         [=] { return scene("static float a[65536*65536+2];\n", "    a[(int)(uv.x * 100)] = 1;\n" + dynamic_read); }},
        {"size-static-float[70000+0]", [=] { return scene("static float a[70000+0];\n", dynamic_read); }},
        {"size-static-float[N]-const-int-N-70000",
         [=] { return scene("static const int N = 70000;\nstatic float a[N];\n", dynamic_read); }},
        {"size-float[70000+0]-constant", [=] { return scene("float a[70000+0];\n", dynamic_read); }},
        {"nesting-600-for-without-braces", [] { return nested_loops_without_braces(600); }},
        {"nesting-2000-else-if", [] { return else_if_chain(2000); }},
        {"members-struct-70000", [] { return many_members("struct S", "};\nstatic S s;", "s.m0 + uv.x", 70000); }},
        {"members-cbuffer-70000", [] { return many_members("cbuffer B", "};", "m0 + uv.x", 70000); }},
        {"token-pasting-39-steps", [] { return token_pasting_chain(39); }},
        {"function-named-main",
         [] { return scene("float main(float x) { return x * 2; }\n", "    return main(uv.x);\n"); }},
    };
}

std::vector<Case> cases()
{
    std::vector<Case> list = hostile_cases();
    for (long size : {32L, 256L, 512L, 1024L, 2048L, 4096L, 65536L})
        list.push_back(
            {"runtime-static-float4[" + n(size) + "]", [=] { return runtime_array("float4", size, false, false); }});
    list.push_back({"runtime-static-float[65536]", [] { return runtime_array("float", 65536, false, false); }});
    list.push_back({"runtime-static-float4x4[65536]", [] { return runtime_array("float4x4", 65536, false, false); }});
    for (long size : {256L, 1024L, 65536L})
        list.push_back(
            {"runtime-local-float4[" + n(size) + "]", [=] { return runtime_array("float4", size, true, false); }});
    for (int count : {16, 256, 1024})
        list.push_back({"runtime-static-float4[32]-times-" + n(count),
                        [=] { return many_runtime_arrays("float4", 32, count, false); }});
    list.push_back({"runtime-local-float4[32]-times-64", [] { return many_runtime_arrays("float4", 32, 64, true); }});
    list.push_back({"runtime-static-float[32]-times-256", [] { return many_runtime_arrays("float", 32, 256, false); }});
    list.push_back({"static-float4[65536]-never-written", [] { return read_only_array("float4", 65536); }});
    for (long size : {1024L, 65536L})
        list.push_back({"runtime-local-float4[" + n(size) + "]-filled-in-a-loop",
                        [=] { return runtime_array("float4", size, true, true); }});
    list.push_back(
        {"uniform-float4[224]", [] { return scene("float4 k[224];\n", "    return k[(int)(uv.x * 223)];\n"); }});
    // An initialiser is one statement: 8,192 tokens hold about 4,090 values.
    for (long size : {256L, 1020L})
        list.push_back({"static-const-float4[" + n(size) + "]", [=] { return constant_array("float4", 4, size); }});
    list.push_back({"static-const-float[4080]", [] { return constant_array("float", 1, 4080); }});
    for (long iterations : {1024L, 65536L})
        list.push_back({"[unroll]-loop-" + n(iterations), [=] { return unrolled_loops(1, iterations, "[unroll]"); }});
    list.push_back({"[unroll(65536)]-loop-65536", [] { return unrolled_loops(1, 65536, "[unroll(65536)]"); }});
    for (int depth : {2, 3, 4, 6})
        list.push_back({"[unroll]-loops-32-nested-" + n(depth), [=] { return unrolled_loops(depth, 32, "[unroll]"); }});
    list.push_back({"[unroll]-loops-256-nested-3", [] { return unrolled_loops(3, 256, "[unroll]"); }});
    for (int depth : {250, 1000, 4000, 20000})
        list.push_back({"call-chain-" + n(depth), [=] { return call_chain(depth, 1); }});
    for (int depth : {10, 12, 14, 16, 20})
        list.push_back({"call-chain-doubling-" + n(depth), [=] { return call_chain(depth, 2); }});
    list.push_back({"statement-8190-tokens", [] { return long_statement(8190); }});
    list.push_back({"parentheses-255-deep", [] { return deep_expression(255); }});
    for (long kib : {64L, 256L, 1024L, 4096L})
        list.push_back({"statements-" + n(kib) + "KiB", [=] { return many_statements(kib * 1024 - 4096); }});
    return list;
}

// ---- the child: one case in a fresh viewer ----

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The viewer's CPU time, its rasteriser threads included: the machine may be shared, so wall time alone
// can mislead.
double cpu_seconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

long status_kb(const std::string& pid, const char* field)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::strtol(line.c_str() + length, nullptr, 10);
    }
    return 0;
}

std::vector<std::string> children_of(const std::string& pid)
{
    std::vector<std::string> found;
    std::ifstream list("/proc/" + pid + "/task/" + pid + "/children");
    for (std::string child; list >> child;) found.push_back(child);
    return found;
}

// A helper that crashed or crossed a limit is gone: the parent's look every 20 ms has its figure.
// (The children's rusage would count the copy of the viewer a helper is forked from.)
long helper_peak_kb()
{
    long peak = 0;
    for (const std::string& child : children_of(std::to_string(getpid())))
        peak = std::max(peak, status_kb(child, "VmHWM:"));
    return peak;
}

// Steps go to the parent as "STEP SECONDS CPU_SECONDS VIEWER_PEAK_KB HELPER_PEAK_KB" lines, or "error TEXT".
void tell(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
}

struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = cpu_seconds();
};

void step(int fd, const char* name, const Timer& timer)
{
    char line[200];
    std::snprintf(line, sizeof line, "%s %.3f %.3f %ld %ld", name, since(timer.wall), cpu_seconds() - timer.cpu,
                  status_kb("self", "VmHWM:"), helper_peak_kb());
    tell(fd, line);
}

bool compile(const char* entry, ID3DXBuffer** code, std::string& error)
{
    ID3DXBuffer* messages = NULL;
    HRESULT hr = D3DXCompileShaderFromFileA("main.fx", NULL, NULL, entry, "ps_3_0", product::LOADER_FLAGS, code,
                                            &messages, NULL);
    if (hr != D3D_OK && messages) error.assign((const char*)messages->GetBufferPointer(), messages->GetBufferSize());
    else if (hr != D3D_OK) error = std::string("compiling ") + entry + " failed with no message";
    if (messages) messages->Release();
    return hr == D3D_OK;
}

int run_child(const std::string& source, int fd)
{
    // Every run builds afresh, as a new shader does: no shader cache.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    setenv("FXVIEW_RELOAD_ON_SAVE", "0", 1);
    fxcompiler::set_helper_path(FXVIEW_HELPER);
    if (!product::enter_private_folder() || !product::write_main_fx(source) || !product::open_viewer()) {
        tell(fd, "error the off-screen viewer cannot start");
        return 1;
    }
    // The loader's lines go nowhere.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);

    ID3DXBuffer* code[2] = {NULL, NULL};
    std::string error;
    Timer timer;
    const bool compiled = compile("ps_main", &code[0], error) && compile("ps_main_f", &code[1], error);
    step(fd, "compile", timer);
    if (!compiled) {
        std::string first_line = error.substr(0, error.find('\n'));
        tell(fd, "error " + first_line.substr(0, 200));
        return 0;
    }

    // The loader's resources with a trivial shader first, then the case's shaders in their place.
    product::write_main_fx(scene("", "    return 1;\n"));
    load_resources();
    timer = Timer();
    IDirect3DPixelShader9* shaders[2] = {NULL, NULL};
    for (int i = 0; i < 2; ++i) {
        HRESULT hr = device->CreatePixelShader((const DWORD*)code[i]->GetBufferPointer(), &shaders[i]);
        code[i]->Release();
        if (hr != D3D_OK) {
            tell(
                fd,
                "error CreatePixelShader failed (0x" +
                    [&] {
                        char hex[16];
                        std::snprintf(hex, sizeof hex, "%08X", (unsigned)hr);
                        return std::string(hex);
                    }() +
                    ")");
            return 0;
        }
    }
    step(fd, "link", timer);
    if (!resources.scene_shader || !resources.final_shader || !resources.scene_surface) {
        tell(fd, "error the loader failed on a trivial shader");
        return 1;
    }
    resources.scene_shader->Release();
    resources.final_shader->Release();
    resources.scene_shader = shaders[0];
    resources.final_shader = shaders[1];

    // One pixel in the scene pass's state: llvmpipe generates the shader's code at its first draw, and
    // a pixel costs nothing to draw, so this is the build; the frames after it are drawing.
    static const ScreenVertex PIXEL[4] = {{-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f},
                                          {0.5f, -0.5f, 0.0f, 1.0f, 1.0f, 0.0f},
                                          {-0.5f, 0.5f, 0.0f, 1.0f, 0.0f, 1.0f},
                                          {0.5f, 0.5f, 0.0f, 1.0f, 1.0f, 1.0f}};
    timer = Timer();
    device->BeginScene();
    device->SetPixelShader(resources.scene_shader);
    device->SetTexture(1, resources.noise_texture);
    device->SetRenderTarget(0, resources.scene_surface);
    device->SetFVF(SCREEN_VERTEX_FVF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, PIXEL, sizeof(ScreenVertex));
    device->EndScene();
    glFinish();
    step(fd, "pixel", timer);

    for (const char* frame : {"frame1", "frame2"}) {
        timer = Timer();
        render_frame();
        glFinish();
        step(fd, frame, timer);
    }
    product::close_viewer();
    product::leave_private_folder();
    tell(fd, "done");
    return 0;
}

// ---- the parent: watches the child, stops it at a cap, prints one line ----

struct Limits {
    long cap_mib = 4096;
    double cap_cpu_seconds = 60;  // the viewer's CPU time: a shared machine stretches wall time
    double cap_wall_seconds = 600;
};

struct Step {
    double seconds = 0, cpu = 0;
    long viewer_kb = 0, helper_kb = 0;
};

const char* const STEP_NAMES[] = {"compile", "link", "pixel", "frame1", "frame2"};

std::string describe_stop(const std::map<std::string, Step>& steps)
{
    for (const char* name : STEP_NAMES) {
        if (!steps.count(name)) {
            if (std::strcmp(name, "compile") == 0) return "compiling";
            if (std::strcmp(name, "link") == 0) return "linking";
            if (std::strcmp(name, "pixel") == 0) return "the first pixel (the driver's code generation)";
            return std::strcmp(name, "frame1") == 0 ? "the first frame (drawing)" : "the second frame (drawing)";
        }
    }
    return "closing";
}

// User and system time of a running process, its threads included.
double process_cpu_seconds(const std::string& pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {  // utime and stime are fields 14 and 15
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

// The last line the child wrote on standard error (LLVM's "out of memory", say), if any.
std::string last_words(FILE* log)
{
    if (!log) return "";
    std::rewind(log);
    std::string line, last;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, log)) {
        line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!line.empty() && line.compare(0, 17, "GetAsyncKeyState:") != 0) last = line;
    }
    return last.empty() ? "" : ": " + last;
}

void print_header()
{
    std::printf("%-44s %7s %7s %7s %7s %7s %7s %7s %7s %7s  %s\n", "shape (seconds, MiB)", "compile", "link", "pixel",
                "build", "build", "build", "frame", "viewer", "helper", "verdict (budget of a build: 1 GiB, 10 s CPU)");
    std::printf("%-44s %7s %7s %7s %7s %7s %7s %7s %7s %7s\n", "", "", "", "", "wall", "CPU", "peak", "", "peak",
                "peak");
}

int run_case(const std::string& name, const std::string& source, const Limits& limits)
{
    int fds[2];
    if (pipe(fds) != 0) return 1;
    FILE* log = std::tmpfile();  // the child's standard error, for the last words of a crash
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // uncapped without its parent
        close(fds[0]);
        if (log) dup2(fileno(log), 2);
        _exit(run_child(source, fds[1]));
    }
    close(fds[1]);
    const std::string pid = std::to_string(child);
    const Clock::time_point start = Clock::now();
    std::map<std::string, Step> steps;
    std::string error, pending;
    bool done = false, stopped = false;
    long peak_kb = 0, helper_kb = 0;
    std::string stop_reason;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buffer[512];
            ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0) break;
            pending.append(buffer, (std::size_t)got);
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                std::istringstream line(pending.substr(0, end));
                std::string word;
                line >> word;
                if (word == "error") {
                    std::getline(line >> std::ws, error);
                } else if (word == "done") {
                    done = true;
                } else {
                    Step s;
                    line >> s.seconds >> s.cpu >> s.viewer_kb >> s.helper_kb;
                    steps[word] = s;
                }
            }
            continue;
        }
        // Between the child's reports: its memory now, and the helper's.
        const long viewer_kb = status_kb(pid, "VmRSS:");
        peak_kb = std::max(peak_kb, viewer_kb);
        for (const std::string& helper : children_of(pid)) helper_kb = std::max(helper_kb, status_kb(helper, "VmRSS:"));
        char reason[200] = "";
        const double cpu = process_cpu_seconds(pid);
        if (viewer_kb / 1024 > limits.cap_mib)
            std::snprintf(reason, sizeof reason, "stopped at the %ld MiB cap after %.1f s (%.1f s CPU)", limits.cap_mib,
                          since(start), cpu);
        else if (cpu > limits.cap_cpu_seconds || since(start) > limits.cap_wall_seconds)
            std::snprintf(reason, sizeof reason, "stopped after %.1f s CPU (%.1f s) at %ld MiB", cpu, since(start),
                          viewer_kb / 1024);
        if (*reason) {
            stop_reason = std::string(reason) + " in " + describe_stop(steps);
            kill(child, SIGKILL);  // the helper dies with it
            stopped = true;
            break;
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (stopped && !last_words(log).empty()) stop_reason += last_words(log);

    for (const auto& entry : steps) {
        peak_kb = std::max(peak_kb, entry.second.viewer_kb);
        helper_kb = std::max(helper_kb, entry.second.helper_kb);
    }
    Step none;
    auto get = [&](const char* step) -> const Step& { return steps.count(step) ? steps[step] : none; };
    const Step &compile = get("compile"), &link = get("link"), &pixel = get("pixel"), &frame2 = get("frame2");
    const bool built = steps.count("pixel") != 0;
    const double build = link.seconds + pixel.seconds, build_cpu = link.cpu + pixel.cpu;
    // The build's peak: when it ended, or now if it did not.
    const long build_kb = built ? pixel.viewer_kb : peak_kb;
    const std::string crash = std::string(WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "exit") + ") in " +
        describe_stop(steps) + last_words(log);
    std::string verdict;
    bool finding = true;
    if (!error.empty()) {
        verdict = "refused: " + error, finding = false;
    } else if (!built) {
        verdict = stopped ? "OVER  " + stop_reason : "CRASHED (" + crash;
    } else {
        finding = build_kb / 1024 > BUDGET_MIB || build_cpu > BUDGET_SECONDS;
        verdict = finding ? "OVER  the 1 GiB / 10 s budget" : "ok";
        // A frame past the cap is the shader's own cost, which the viewer bears.
        if (stopped) verdict += "; drawing " + stop_reason;
        else if (!done) verdict += "; CRASHED (" + crash, finding = true;
    }
    if (log) std::fclose(log);
    char frame[16] = "-";
    if (steps.count("frame2")) std::snprintf(frame, sizeof frame, "%.2f", frame2.seconds);
    std::printf("%-44s %7.2f %7.2f %7.2f %7.2f %7.2f %7ld %7s %7ld %7ld  %s\n", name.c_str(), compile.seconds,
                link.seconds, pixel.seconds, build, build_cpu, build_kb / 1024, frame, peak_kb / 1024, helper_kb / 1024,
                verdict.c_str());
    std::fflush(stdout);
    return finding ? 1 : 0;
}

int print_source(const std::string& source)
{
    std::fputs(source.c_str(), stdout);
    return 0;
}

// What the device is given to build for the scene pass.
int print_glsl(const std::string& source)
{
    fxcompiler::set_helper_path(FXVIEW_HELPER);
    fxplatform::ShaderBlob blob;
    const bool ok =
        product::enter_private_folder() && product::write_main_fx(source) && product::compile_blob("ps_main", blob);
    product::leave_private_folder();
    if (ok) std::fputs(blob.glsl.c_str(), stdout);
    return ok ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: shader_sweep [--cap-mib N] [--cap-cpu-seconds S] (--list | --all | --file PATH | "
                 "--source CASE | --glsl CASE | CASE...)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Limits limits;
    std::vector<std::string> wanted;
    std::string file;
    const std::vector<Case> all = cases();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list") {
            for (const Case& c : all) std::printf("%s\n", c.name.c_str());
            return 0;
        }
        if ((arg == "--source" || arg == "--glsl") && i + 1 < argc) {
            for (const Case& c : all) {
                if (c.name == argv[i + 1]) return arg == "--source" ? print_source(c.source()) : print_glsl(c.source());
            }
            return usage();
        }
        if (arg == "--cap-mib" && i + 1 < argc) limits.cap_mib = std::atol(argv[++i]);
        else if (arg == "--cap-cpu-seconds" && i + 1 < argc) limits.cap_cpu_seconds = std::atof(argv[++i]);
        else if (arg == "--file" && i + 1 < argc) file = argv[++i];
        else if (arg == "--all")
            for (const Case& c : all) wanted.push_back(c.name);
        else if (!arg.empty() && arg[0] != '-') wanted.push_back(arg);
        else return usage();
    }
    if (wanted.empty() && file.empty()) return usage();
    print_header();
    int status = 0;
    if (!file.empty()) {
        std::string source;
        if (!product::read_file(file, source)) return usage();
        status |= run_case(file, source, limits);
    }
    for (const std::string& name : wanted) {
        const Case* found = nullptr;
        for (const Case& c : all) {
            if (c.name == name) found = &c;
        }
        if (!found) {
            std::fprintf(stderr, "no case named %s (shader_sweep --list)\n", name.c_str());
            status = 2;
            continue;
        }
        status |= run_case(found->name, found->source(), limits);
    }
    return status;
}
