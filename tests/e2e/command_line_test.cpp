// The command lines of fxview and fxshot, as a Linux user types them: no display needed, as none of
// these gets as far as a window.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"

namespace {

const Millis RUN_TIMEOUT(60000);

struct Outcome {
    std::optional<int> code;
    std::string out, err;
};

Outcome run(const char* program, const std::vector<std::string>& args, const std::string& cwd)
{
    Process process(program, args, cwd, {"DISPLAY", "WAYLAND_DISPLAY"});
    Outcome result;
    result.code = process.wait_exit(RUN_TIMEOUT);
    result.out = process.out();
    result.err = process.err();
    return result;
}

// A program on a terminal of its own: what it printed there and its exit code.
Outcome run_on_terminal(const char* program, const std::vector<std::string>& args, const std::string& cwd)
{
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    Outcome result;
    if (pid < 0) return result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(terminal, buffer, sizeof buffer)) > 0) result.out.append(buffer, (size_t)n);  // EIO at the end
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

const char* const SHADER =
    "sampler2D scene : register(s0);\n"
    "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv, 0.5, 1); }\n"
    "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(scene, uv); }\n";

TEST(CommandLine, BothToolsAnswerHelpAndVersionAndExit0)
{
    TempDir dir;
    for (const char* program : {FXVIEW_PATH, FXSHOT_PATH}) {
        const std::string name = std::string(program).substr(std::string(program).rfind('/') + 1);
        for (const char* help : {"--help", "-h"}) {
            Outcome shown = run(program, {help}, dir.path());
            EXPECT_EQ(shown.code, 0) << name << " " << help << ": " << shown.err;
            EXPECT_EQ(shown.out.rfind("usage: " + name + " ", 0), 0u) << shown.out;
            EXPECT_NE(shown.out.find("DIR/main.fx"), std::string::npos) << shown.out;
        }
        Outcome version = run(program, {"--version"}, dir.path());
        EXPECT_EQ(version.code, 0) << name;
        EXPECT_EQ(version.out, name + " " FXVIEW_VERSION "\n") << "the version the package carries";
    }
}

TEST(CommandLine, UnknownOptionsAndWrongShadersExit2WithAMessage)
{
    TempDir dir;
    dir.write("other.fx", SHADER);
    for (const char* program : {FXVIEW_PATH, FXSHOT_PATH}) {
        const std::string name = std::string(program).substr(std::string(program).rfind('/') + 1);
        Outcome unknown = run(program, {"--frobnicate"}, dir.path());
        EXPECT_EQ(unknown.code, 2) << name;
        EXPECT_NE(unknown.err.find(name + ": unknown option '--frobnicate'"), std::string::npos) << unknown.err;
        EXPECT_NE(unknown.err.find("usage: " + name), std::string::npos) << unknown.err;

        Outcome missing = run(program, {"no-such-folder"}, dir.path());
        EXPECT_EQ(missing.code, 2) << name;
        EXPECT_NE(missing.err.find("cannot open 'no-such-folder': No such file or directory"), std::string::npos)
            << missing.err;

        Outcome other = run(program, {"other.fx"}, dir.path());
        EXPECT_EQ(other.code, 2) << name;
        EXPECT_NE(other.err.find("'other.fx' is not a folder or a main.fx"), std::string::npos) << other.err;

        Outcome two = run(program, {".", "."}, dir.path());
        EXPECT_EQ(two.code, 2) << name;
        EXPECT_NE(two.err.find("one shader at a time"), std::string::npos) << two.err;
    }
}

TEST(CommandLine, FxshotShowsProgressOnATerminalAndKeepsVideoOffIt)
{
    TempDir dir;
    dir.write("main.fx", SHADER);
    Outcome sequence = run_on_terminal(FXSHOT_PATH, {"--frames", "3", "-o", "shot_%d.png"}, dir.path());
    EXPECT_EQ(sequence.code, 0) << sequence.out;
    EXPECT_NE(sequence.out.find("fxshot: frame 3 of 3, "), std::string::npos) << sequence.out;

    Outcome one = run_on_terminal(FXSHOT_PATH, {"-o", "one.png"}, dir.path());
    EXPECT_EQ(one.code, 0) << one.out;
    EXPECT_EQ(one.out.find("frame"), std::string::npos) << "no progress for a single picture: " << one.out;

    Outcome video = run_on_terminal(FXSHOT_PATH, {"--frames", "3", "-o", "-"}, dir.path());
    EXPECT_EQ(video.code, 2) << video.out;
    EXPECT_NE(video.out.find("standard output, which is a terminal"), std::string::npos) << video.out;
}

}  // namespace
