// The back end runs in a helper process (or a forked child): what comes back must equal an
// in-process compile, and a crash, a hang or a silent exit must come back as a failed compile.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "compiler_test_util.h"
#include "platform.h"

namespace {

// Isolation is process-wide: each test leaves it as it found it.
class Isolation : public ::testing::Test {
protected:
    void TearDown() override
    {
        fxcompiler::set_isolation(true);
        fxcompiler::set_isolation_time_limit(30000);
        fxcompiler::set_isolation_memory_limit(0);
        fxcompiler::set_helper_path("");
        fxcompiler::set_quit_check(nullptr);
    }
};

// This process's children that run the helper executable.
std::vector<pid_t> helpers()
{
    std::vector<pid_t> found;
    std::ifstream children("/proc/self/task/" + std::to_string(getpid()) + "/children");
    pid_t pid;
    while (children >> pid) {
        char exe[4096];
        ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe - 1);
        if (n > 0 && std::string(exe, n).find("fxview-hlsl") != std::string::npos) found.push_back(pid);
    }
    return found;
}

const char* const CRASHES_THE_BACK_END = "float4 ps_main() : COLOR0 { { int M = 1; } const float w[(M)]; return 0; }\n";

void expect_same(const fxcompiler::CompileOutput& a, const fxcompiler::CompileOutput& b)
{
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.code, b.code);
    EXPECT_EQ(a.blob.glsl, b.blob.glsl);
    ASSERT_EQ(a.diagnostics.size(), b.diagnostics.size());
    for (std::size_t i = 0; i < a.diagnostics.size(); ++i) {
        EXPECT_EQ(a.diagnostics[i].line, b.diagnostics[i].line);
        EXPECT_EQ(a.diagnostics[i].column, b.diagnostics[i].column);
        EXPECT_EQ(a.diagnostics[i].error, b.diagnostics[i].error);
        EXPECT_EQ(a.diagnostics[i].text, b.diagnostics[i].text);
    }
}

TEST_F(Isolation, TheHelperGivesWhatACompileInThisProcessGives)
{
    struct Case {
        std::string source;
        bool compiles;
        bool has_messages;
    };
    const Case cases[] = {
        {pixel_shader("sampler2D t : register(s1);\nfloat4 k;", "return tex2D(t, uv) * k;"), true, false},
        {"#pragma once\n" + pixel_shader("", "return 1;"), true, true},  // a warning only
        {pixel_shader("", "return undeclared + 1;"), false, true},
        {"#include \"other.fx\"\n", false, true},  // refused before the back end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        fxcompiler::CompileOutput isolated = compile_text(c.source);
        EXPECT_EQ(isolated.result == D3D_OK, c.compiles) << messages_of(isolated);
        EXPECT_EQ(!isolated.diagnostics.empty(), c.has_messages) << messages_of(isolated);
        fxcompiler::set_isolation(false);
        fxcompiler::CompileOutput here = compile_text(c.source);
        fxcompiler::set_isolation(true);
        expect_same(isolated, here);
    }
}

TEST_F(Isolation, OneHelperServesEveryCompileAndIsReplacedAfterACrash)
{
    const std::string good = pixel_shader("", "return 1;");
    ASSERT_EQ(compile_text(good).result, D3D_OK);
    std::vector<pid_t> first = helpers();
    ASSERT_EQ(first.size(), 1u) << "no helper process beside the compiling program";
    ASSERT_EQ(compile_text(good).result, D3D_OK);
    EXPECT_EQ(helpers(), first);

    fxcompiler::CompileOutput crashed = compile_text(CRASHES_THE_BACK_END);
    EXPECT_EQ(crashed.result, E_FAIL);
    // A sanitizer build reports the crash itself and exits instead of dying by the signal.
    EXPECT_NE(messages_of(crashed).find("main.fx: error: internal compiler error: the compiler "), std::string::npos)
        << messages_of(crashed);
    EXPECT_TRUE(helpers().empty());

    fxcompiler::CompileOutput after = compile_text(good);
    EXPECT_EQ(after.result, D3D_OK) << messages_of(after);
    std::vector<pid_t> second = helpers();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second, first);

    // Killed from outside between compiles: replaced without a failed compile.
    kill(second[0], SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    after = compile_text(good);
    EXPECT_EQ(after.result, D3D_OK) << messages_of(after);
}

// glslang's HLSL front end dies on this typo where it would name it anywhere else: the message is
// found again, with its place.
TEST_F(Isolation, ANameTheBackEndCrashesOnIsNamedAtItsPlace)
{
    const std::string typo =
        "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n{\n    return uv.x < 0.5 ? 1 : missing;\n}\n";
    EXPECT_EQ(messages_of(compile_text(typo)), "main.fx(3,29): error: 'missing' : unknown variable");
    // What the second look finds otherwise leaves the crash's own message.
    EXPECT_NE(messages_of(compile_text(CRASHES_THE_BACK_END)).find("internal compiler error"), std::string::npos);
}

TEST_F(Isolation, AHelperPastTheTimeLimitIsStoppedAndReplaced)
{
    fxcompiler::set_isolation_time_limit(0);
    fxcompiler::CompileOutput out = compile_text(pixel_shader("", "return 1;"));
    EXPECT_EQ(out.result, E_FAIL);
    EXPECT_EQ(messages_of(out),
              "main.fx: error: the compiler did not finish within 0 s on this shader and was stopped");
    EXPECT_TRUE(helpers().empty());
    fxcompiler::set_isolation_time_limit(30000);
    EXPECT_EQ(compile_text(pixel_shader("", "return 1;")).result, D3D_OK);
}

TEST_F(Isolation, WithoutTheHelperEachCompileRunsInAForkedChild)
{
    fxcompiler::set_helper_path("/nonexistent/fxview-hlsl");
    const std::string good = pixel_shader("sampler2D t : register(s1);", "return tex2D(t, uv);");
    fxcompiler::CompileOutput forked = compile_text(good);
    EXPECT_TRUE(helpers().empty());
    fxcompiler::set_isolation(false);
    expect_same(forked, compile_text(good));
    fxcompiler::set_isolation(true);

    fxcompiler::CompileOutput crashed = compile_text(CRASHES_THE_BACK_END);
    EXPECT_EQ(crashed.result, E_FAIL);
    EXPECT_NE(messages_of(crashed).find("internal compiler error"), std::string::npos) << messages_of(crashed);
}

TEST_F(Isolation, TheHelperIsLookedForBesideTheProgramThenInTheInstalledLibexecFolder)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() + "/bin");
    std::filesystem::create_directories(dir.path() + "/libexec/fxview");
    const std::string program = dir.path() + "/bin/fxview";
    EXPECT_EQ(fxcompiler::helper_for(program), "");

    const std::string installed = dir.write("libexec/fxview/fxview-hlsl", "#!/bin/sh\n");
    const std::string beside = dir.write("bin/fxview-hlsl", "#!/bin/sh\n");
    EXPECT_EQ(fxcompiler::helper_for(program), "");  // neither is executable yet
    chmod(installed.c_str(), 0755);
    EXPECT_EQ(fxcompiler::helper_for(program), dir.path() + "/bin/../libexec/fxview/fxview-hlsl");
    chmod(beside.c_str(), 0755);
    EXPECT_EQ(fxcompiler::helper_for(program), beside);
    EXPECT_EQ(fxcompiler::helper_for("fxview"), "");
}

TEST_F(Isolation, ACrashOrASilentExitOfAForkedChildIsAFailedCompile)
{
    fxcompiler::CompileOutput crashed = fxcompiler::run_isolated([]() -> fxcompiler::CompileOutput { std::abort(); });
    EXPECT_EQ(crashed.result, E_FAIL);
    ASSERT_EQ(crashed.diagnostics.size(), 1u);
    EXPECT_NE(crashed.diagnostics[0].text.find("internal compiler error: the compiler crashed on this shader"),
              std::string::npos)
        << crashed.diagnostics[0].text;

    fxcompiler::CompileOutput vanished = fxcompiler::run_isolated([]() -> fxcompiler::CompileOutput { _exit(0); });
    EXPECT_EQ(vanished.result, E_FAIL);
    ASSERT_EQ(vanished.diagnostics.size(), 1u);
    EXPECT_EQ(vanished.diagnostics[0].text,
              "internal compiler error: the compiler stopped without a result (exit code 0)");

    // The parent carries on compiling afterwards.
    EXPECT_EQ(compile_text(pixel_shader("", "return 1;")).result, D3D_OK);
}

TEST_F(Isolation, AForkedChildThatHangsIsStoppedAtTheTimeLimit)
{
    fxcompiler::set_isolation_time_limit(300);
    auto start = std::chrono::steady_clock::now();
    fxcompiler::CompileOutput out = fxcompiler::run_isolated([]() -> fxcompiler::CompileOutput {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(out.result, E_FAIL);
    ASSERT_EQ(out.diagnostics.size(), 1u);
    EXPECT_NE(out.diagnostics[0].text.find("did not finish within"), std::string::npos) << out.diagnostics[0].text;
}

#if defined(__SANITIZE_ADDRESS__)
#define ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ADDRESS_SANITIZER 1
#endif
#endif

// Gone, or a zombie nobody reaps (a container's init may not).
bool ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

bool ends_within(pid_t pid, std::chrono::milliseconds limit)
{
    auto until = std::chrono::steady_clock::now() + limit;
    while (!ended(pid)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// However the viewer ends, its helper ends with it, even one too busy to notice the closed socket
// (stopped here, as a long compile would be); so does a forked child in the middle of a compile.
TEST_F(Isolation, TheWorkerDoesNotOutliveTheViewer)
{
    for (bool forked : {false, true}) {
        for (int signal : {SIGHUP, SIGKILL}) {
            SCOPED_TRACE(std::string(forked ? "forked child, " : "helper, ") + strsignal(signal));
            int report[2];
            ASSERT_EQ(pipe(report), 0);
            pid_t viewer = fork();
            ASSERT_GE(viewer, 0);
            if (viewer == 0) {
                close(report[0]);
                pid_t worker = -1;
                if (forked) {
                    fxcompiler::set_helper_path("/nonexistent/fxview-hlsl");
                    fxcompiler::run_isolated([&]() -> fxcompiler::CompileOutput {
                        worker = getpid();
                        if (write(report[1], &worker, sizeof worker) != sizeof worker) _exit(1);
                        for (;;) pause();
                    });
                } else if (compile_text(pixel_shader("", "return 1;")).result == D3D_OK && helpers().size() == 1) {
                    worker = helpers()[0];
                }
                if (write(report[1], &worker, sizeof worker) != sizeof worker) _exit(1);
                for (;;) pause();
            }
            close(report[1]);
            pid_t worker = -1;
            ASSERT_EQ(read(report[0], &worker, sizeof worker), (ssize_t)sizeof worker);
            close(report[0]);
            ASSERT_GT(worker, 0);
            kill(worker, SIGSTOP);
            kill(viewer, signal);
            int status = 0;
            waitpid(viewer, &status, 0);
            EXPECT_TRUE(ends_within(worker, std::chrono::seconds(2)));
            kill(worker, SIGKILL);
        }
    }
}

TEST_F(Isolation, AShaderPastTheMemoryLimitIsAFailedCompileAndTheNextGetsAFreshHelper)
{
#ifdef ADDRESS_SANITIZER
    GTEST_SKIP() << "no address-space limit under the address sanitizer";
#endif
    const std::string good = pixel_shader("", "return 1;");
    ASSERT_EQ(compile_text(good).result, D3D_OK);
    std::vector<pid_t> first = helpers();
    std::string globals;
    for (int i = 0; i < 3000; ++i) globals += "float4 g" + std::to_string(i) + ";\n";
    fxcompiler::set_isolation_memory_limit(1u << 20);  // far below what it has already
    fxcompiler::CompileOutput out = compile_text(pixel_shader(globals, "return g1;"));
    EXPECT_EQ(out.result, E_FAIL);
    EXPECT_EQ(messages_of(out),
              "main.fx: error: the compiler needed more than its memory limit of 1 MiB on this shader and was stopped");
    fxcompiler::set_isolation_memory_limit(0);
    EXPECT_EQ(compile_text(good).result, D3D_OK);
    EXPECT_NE(helpers(), first);

    // The same in a forked child.
    fxcompiler::set_isolation_memory_limit(256u << 20);
    out = fxcompiler::run_isolated([] {
        std::vector<char> huge(1u << 30, 1);
        return fxcompiler::failure(huge[12345], 0, 0, "allocated");
    });
    EXPECT_EQ(messages_of(out),
              "main.fx: error: the compiler needed more than its memory limit of 256 MiB on this shader and was "
              "stopped");
}

// The CPU-time cap follows the wall-clock limit; running past it ends the worker with SIGXCPU.
TEST_F(Isolation, TheWorkerHasACpuTimeCap)
{
    fxcompiler::set_isolation_time_limit(7000);
    fxcompiler::CompileOutput limit = fxcompiler::run_isolated([] {
        rlimit cpu{};
        getrlimit(RLIMIT_CPU, &cpu);
        return fxcompiler::failure(E_FAIL, 0, 0, std::to_string(cpu.rlim_cur));
    });
    EXPECT_EQ(messages_of(limit), "main.fx: error: 7");
    fxcompiler::CompileOutput out = fxcompiler::run_isolated([]() -> fxcompiler::CompileOutput {
        raise(SIGXCPU);
        return fxcompiler::failure(E_FAIL, 0, 0, "not stopped");
    });
    EXPECT_EQ(messages_of(out),
              "main.fx: error: the compiler used more than its 7 s of CPU time on this shader and "
              "was stopped");
}

// Peak resident memory of this process while `run` runs, beyond what it had before.
long peak_growth_kib(const std::function<void()>& run)
{
    auto status = [](const char* key) {
        std::ifstream in("/proc/self/status");
        std::string line;
        while (std::getline(in, line)) {
            if (line.compare(0, std::strlen(key), key) == 0) return std::atol(line.c_str() + std::strlen(key));
        }
        return 0L;
    };
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak
    long before = status("VmRSS:");
    run();
    return status("VmHWM:") - before;
}

// A reply's announced size is checked before anything is stored, and storage follows the bytes
// that arrive.
TEST_F(Isolation, ARepliesAnnouncedSizeIsNotAllocatedUpFront)
{
    TempDir dir;
    for (const char* header : {"\\000\\000\\240\\017", "\\000\\000\\300\\003"}) {  // 250 MiB, 60 MiB
        // Answers once the request has come, then leaves without the reply's body.
        std::string helper =
            dir.write("fake-helper", std::string("#!/bin/sh\nhead -c 4 <&3 >/dev/null\nprintf '") + header + "' >&3\n");
        chmod(helper.c_str(), 0755);
        fxcompiler::set_helper_path(helper);
        fxcompiler::CompileOutput out;
        long growth = peak_growth_kib([&] { out = compile_text(pixel_shader("", "return 1;")); });
        EXPECT_LT(growth, 32 * 1024);
        EXPECT_EQ(out.result, E_FAIL);
        if (std::string(header).find("240") != std::string::npos) {
            EXPECT_EQ(messages_of(out),
                      "main.fx: error: internal compiler error: the compiler's reply was larger than 64 MiB");
        } else {
            EXPECT_NE(messages_of(out).find("stopped without a result"), std::string::npos) << messages_of(out);
        }
    }
}

// Replies that end inside a word, or hold less than their words claim, are failed compiles.
TEST_F(Isolation, AReplyThatIsNotAWholeMessageIsAFailedCompile)
{
    TempDir dir;
    // 5 bytes; then a diagnostic count of 2^32 - 1 and no diagnostics; then code of 2^32 - 1 words.
    for (const char* reply : {"\\005\\000\\000\\000FEND!",
                              "\\020\\000\\000\\000\\005\\100\\000\\200"
                              "\\000\\000\\000\\000\\000\\000\\000\\000"
                              "\\377\\377\\377\\377",
                              "\\014\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000"
                              "\\377\\377\\377\\377"}) {
        std::string helper = dir.write(
            "fake-helper", std::string("#!/bin/sh\nhead -c 4 <&3 >/dev/null\nprintf '") + reply + "' >&3\nsleep 1\n");
        chmod(helper.c_str(), 0755);
        fxcompiler::set_helper_path(helper);
        fxcompiler::CompileOutput out = compile_text(pixel_shader("", "return 1;"));
        EXPECT_EQ(out.result, E_FAIL) << reply;
        EXPECT_NE(messages_of(out).find("internal compiler error: the compiler"), std::string::npos)
            << messages_of(out);
    }
}

// A quit asked for while a compile waits (say two seconds in) ends the compile there, in the
// helper or in a forked child, and stops the process that was compiling.
int quit_checks = 0;
bool quit_on_the_20th_check() { return ++quit_checks >= 20; }

TEST_F(Isolation, AQuitRequestAbandonsAStuckCompileAndStopsItsProcess)
{
    const std::string stuck_helper = testing::TempDir() + "stuck-fxview-hlsl";
    {
        std::ofstream script(stuck_helper);
        script << "#!/bin/sh\nexec sleep 60\n";
    }
    ASSERT_EQ(chmod(stuck_helper.c_str(), 0755), 0);
    fxcompiler::set_helper_path(stuck_helper);
    fxcompiler::set_quit_check(quit_on_the_20th_check);

    quit_checks = 0;
    fxcompiler::CompileOutput helper_out = compile_text(pixel_shader("", "return 1;"));
    quit_checks = 0;
    fxcompiler::CompileOutput child_out = fxcompiler::run_isolated([]() -> fxcompiler::CompileOutput {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    for (const fxcompiler::CompileOutput* out : {&helper_out, &child_out}) {
        EXPECT_EQ(out->result, E_FAIL);
        ASSERT_EQ(out->diagnostics.size(), 1u);
        EXPECT_EQ(out->diagnostics[0].text, "the compile was abandoned: the program is quitting");
    }
    std::ifstream children("/proc/self/task/" + std::to_string(getpid()) + "/children");
    std::string left;
    std::getline(children, left);
    EXPECT_EQ(left, "") << "processes still running";
    std::remove(stuck_helper.c_str());
}

}  // namespace
