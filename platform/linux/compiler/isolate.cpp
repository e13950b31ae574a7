// The back end outside the caller's process. glslang still crashes on some malformed shaders and
// cannot be interrupted; a shader author's typo must not take the viewer down with it.
//
// A helper process (fxview-hlsl) is started at the first compile and kept: it pays glslang's
// set-up once and shares no memory with the viewer, so a compile costs a round trip through a
// socket. If it crashes or overruns the time limit, that compile fails with a message and the next
// one starts a fresh helper. Without a helper executable each compile runs in a forked child,
// which is slower (every page of the viewer becomes copy-on-write for a while).
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "compiler.h"
#include "platform.h"
#include "wire.h"

namespace fxcompiler {

namespace {

using Clock = std::chrono::steady_clock;

bool isolation = true;
int time_limit_ms = 30000;
std::uint64_t memory_limit = 0;  // 0: the default
std::string helper_override;
bool (*quit_requested)() = nullptr;
const int QUIT_CHECK_MS = 100;

const std::uint32_t END_MARK = 0x444E4546;  // "FEND": the sender got to the end
// Far beyond any 4 MiB shader's request or result; checked before a byte of it is stored.
const std::uint32_t MAX_FRAME = 64u << 20;
const std::size_t RECEIVE_CHUNK = 64u << 10;
const char* const HELPER_NAME = "fxview-hlsl";
const int HELPER_FD = 3;

// ---- the messages, in wire.h's words ----
// A frame is the size in bytes of the message that follows, then the message, which ends in
// END_MARK. Requests and answers are built as frames, so they go out as they are.
using Words = std::vector<std::uint32_t>;

fxplatform::WireWriter new_frame()
{
    fxplatform::WireWriter out;
    out.word(0);  // the size, set by framed()
    return out;
}

Words framed(fxplatform::WireWriter& out)
{
    out.word(END_MARK);
    out.words[0] = (std::uint32_t)((out.words.size() - 1) * sizeof(std::uint32_t));
    return std::move(out.words);
}

bool finished(fxplatform::WireReader& in) { return in.word() == END_MARK && in.ok() && in.at_end(); }

Words serialise(const CompileOutput& output)
{
    fxplatform::WireWriter out = new_frame();
    out.word((std::uint32_t)output.result);
    out.word(output.limit_hit ? 1u : 0u);
    out.word_list(output.code);
    out.word((std::uint32_t)output.diagnostics.size());
    for (const Diagnostic& d : output.diagnostics) {
        out.word((std::uint32_t)d.line);
        out.word((std::uint32_t)d.column);
        out.word(d.error ? 1u : 0u);
        out.text(d.text);
    }
    return framed(out);
}

bool deserialise(const Words& message, CompileOutput& output)
{
    fxplatform::WireReader in(message.data(), message.size());
    output.result = (std::int32_t)in.word();
    output.limit_hit = in.word() != 0;
    output.code = in.word_list();
    std::uint32_t count = in.word();
    for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
        Diagnostic d;
        d.line = (int)in.word();
        d.column = (int)in.word();
        d.error = in.word() != 0;
        d.text = in.text();
        output.diagnostics.push_back(std::move(d));
    }
    if (!finished(in)) return false;
    return output.result != D3D_OK ||
        fxplatform::decode_shader_blob(output.code.data(), output.code.size(), output.blob);
}

// What the worker may use: its address space and its CPU time for one compile.
struct Limits {
    std::uint64_t memory_bytes = 0;
    std::uint32_t cpu_seconds = 0;
};

// min(2 GiB, half the machine's memory) unless a test set another.
Limits current_limits()
{
    Limits limits;
    limits.memory_bytes = memory_limit;
    if (limits.memory_bytes == 0) {
        long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
        std::uint64_t half = pages > 0 && page > 0 ? (std::uint64_t)pages * (std::uint64_t)page / 2 : 0;
        limits.memory_bytes = half > 0 ? std::min<std::uint64_t>(half, 2ull << 30) : 2ull << 30;
    }
    limits.cpu_seconds = (std::uint32_t)std::max(1, (time_limit_ms + 999) / 1000);
    return limits;
}

Words serialise(const CompileRequest& request, const Limits& limits)
{
    fxplatform::WireWriter out = new_frame();
    out.word((std::uint32_t)limits.memory_bytes);
    out.word((std::uint32_t)(limits.memory_bytes >> 32));
    out.word(limits.cpu_seconds);
    out.text(request.text);
    out.text(request.file_name);
    out.text(request.entry);
    out.word((std::uint32_t)request.defines.size());
    for (const Define& d : request.defines) {
        out.text(d.name);
        out.text(d.value);
    }
    out.word(request.options.optimise ? 1u : 0u);
    return framed(out);
}

bool deserialise(const Words& message, CompileRequest& request, Limits& limits)
{
    fxplatform::WireReader in(message.data(), message.size());
    std::uint32_t memory_low = in.word(), memory_high = in.word();
    limits.memory_bytes = (std::uint64_t)memory_high << 32 | memory_low;
    limits.cpu_seconds = in.word();
    request.text = in.text();
    request.file_name = in.text();
    request.entry = in.text();
    std::uint32_t count = in.word();
    for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
        Define d;
        d.name = in.text();
        d.value = in.text();
        request.defines.push_back(std::move(d));
    }
    request.options.optimise = in.word() != 0;
    return finished(in);
}

// ---- moving bytes, with a deadline on the caller's side ----
enum class Io { Done, Closed, TimedOut, Failed, TooLarge, Quit };

// Waits for `events` on `fd` until the deadline; no deadline means forever. A caller with a
// deadline is the one compiling, and gives way to a quit request between short waits.
Io wait_for(int fd, short events, const Clock::time_point* deadline)
{
    for (;;) {
        int timeout = -1;
        if (deadline) {
            if (quit_requested && quit_requested()) return Io::Quit;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) return Io::TimedOut;
            timeout = (int)std::min<long long>(left, quit_requested ? QUIT_CHECK_MS : INT_MAX);
        }
        pollfd p{fd, events, 0};
        int ready = poll(&p, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Io::Failed;
        if (ready == 0) continue;
        return Io::Done;
    }
}

Io send_all(int fd, const Words& frame, const Clock::time_point* deadline)
{
    const char* data = reinterpret_cast<const char*>(frame.data());
    const std::size_t size = frame.size() * sizeof(std::uint32_t);
    std::size_t done = 0;
    while (done < size) {
        Io ready = wait_for(fd, POLLOUT, deadline);
        if (ready != Io::Done) return ready;
        // A socket, so a vanished peer is EPIPE here rather than SIGPIPE for the whole program.
        ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return errno == EPIPE || errno == ECONNRESET ? Io::Closed : Io::Failed;
        done += (std::size_t)n;
    }
    return Io::Done;
}

// `size` bytes, the last word padded with zeros. Storage grows with what arrives, so a size that
// was announced and never sent costs nothing.
Io receive_exactly(int fd, std::size_t size, Words& words, const Clock::time_point* deadline)
{
    words.clear();
    std::size_t done = 0;
    while (done < size) {
        Io ready = wait_for(fd, POLLIN, deadline);
        if (ready != Io::Done) return ready;
        std::size_t want = std::min(RECEIVE_CHUNK, size - done);
        words.resize((done + want + sizeof(std::uint32_t) - 1) / sizeof(std::uint32_t));
        ssize_t n = recv(fd, reinterpret_cast<char*>(words.data()) + done, want, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return errno == ECONNRESET ? Io::Closed : Io::Failed;
        if (n == 0) return Io::Closed;
        done += (std::size_t)n;
    }
    return Io::Done;
}

Io receive_frame(int fd, Words& message, const Clock::time_point* deadline)
{
    Words size;
    Io got = receive_exactly(fd, sizeof(std::uint32_t), size, deadline);
    if (got != Io::Done) return got;
    if (size[0] > MAX_FRAME) return Io::TooLarge;
    // Not whole words: the padded last word cannot be END_MARK, and the message is refused.
    return receive_exactly(fd, size[0], message, deadline);
}

CompileOutput abandoned() { return failure(E_FAIL, 0, 0, "the compile was abandoned: the program is quitting"); }

CompileOutput timed_out()
{
    return failure(E_FAIL, 0, 0,
                   "the compiler did not finish within " + std::to_string(time_limit_ms / 1000) +
                       " s on this shader and was stopped");
}

CompileOutput too_large()
{
    return failure(
        E_FAIL, 0, 0,
        "internal compiler error: the compiler's reply was larger than " + std::to_string(MAX_FRAME >> 20) + " MiB");
}

CompileOutput out_of_memory(const Limits& limits)
{
    CompileOutput out = failure(E_FAIL, 0, 0,
                                "the compiler needed more than its memory limit of " +
                                    std::to_string(limits.memory_bytes >> 20) + " MiB on this shader and was stopped");
    out.limit_hit = true;
    return out;
}

// What became of a process that gave no result; -1 when its status is unknown.
CompileOutput died(int status)
{
    if (status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
        return failure(E_FAIL, 0, 0,
                       "the compiler used more than its " + std::to_string(current_limits().cpu_seconds) +
                           " s of CPU time on this shader and was stopped");
    }
    if (status != -1 && WIFSIGNALED(status)) {
        return failure(E_FAIL, 0, 0,
                       std::string("internal compiler error: the compiler crashed on this shader (") +
                           strsignal(WTERMSIG(status)) + ")");
    }
    std::string how =
        status != -1 && WIFEXITED(status) ? " (exit code " + std::to_string(WEXITSTATUS(status)) + ")" : "";
    return failure(E_FAIL, 0, 0, "internal compiler error: the compiler stopped without a result" + how);
}

int reap(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;  // SIGCHLD ignored elsewhere in the process: status unknown
    }
    return status;
}

// ---- the worker's own limits ----
#if defined(__SANITIZE_ADDRESS__)
#define FXCOMPILER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FXCOMPILER_ADDRESS_SANITIZER 1
#endif
#endif

// Dies with its parent, however that ends: SIGKILL, a closed terminal's SIGHUP, a crash. False
// when the parent is gone already. The signal comes when the thread that started the worker ends.
bool follow_parent(pid_t parent) { return prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent; }

// The address space (so runaway expansion ends in bad_alloc, not in the machine swapping) and
// CPU time counted from now (SIGXCPU ends the process). Soft limits only: a long-lived helper
// raises them again for its next compile.
void apply_limits(const Limits& limits)
{
#ifndef FXCOMPILER_ADDRESS_SANITIZER  // the sanitizer's shadow memory needs terabytes of address space
    rlimit memory{(rlim_t)limits.memory_bytes, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &memory);
#endif
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    long long spent_us =
        (used.ru_utime.tv_sec + used.ru_stime.tv_sec) * 1000000LL + used.ru_utime.tv_usec + used.ru_stime.tv_usec;
    rlimit cpu{(rlim_t)((spent_us + 500000) / 1000000 + limits.cpu_seconds), RLIM_INFINITY};  // to the second
    setrlimit(RLIMIT_CPU, &cpu);
}

// Past the memory limit operator new calls report_exhaustion instead of throwing (glslang is
// built without exceptions: a bad_alloc thrown through it ends in std::terminate), and SPIRV-Cross
// aborts when malloc fails. The answer is framed before the compile, as nothing can be allocated
// then; the process is not used again.
int exhausted_fd = -1;
Words exhausted_answer;
std::uint64_t exhausted_limit = 0;

void report_exhaustion()
{
    if (exhausted_fd >= 0) send_all(exhausted_fd, exhausted_answer, nullptr);
    _exit(6);
}

#ifndef FXCOMPILER_ADDRESS_SANITIZER  // which reports and handles crashes itself
// This process's address space in bytes, from /proc without allocating (in a signal handler).
std::uint64_t address_space()
{
    int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[64];
    ssize_t n = read(fd, text, sizeof text);
    close(fd);
    std::uint64_t pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        pages = pages * 10 + (std::uint64_t)(text[i] - '0');
    }
    return pages * (std::uint64_t)sysconf(_SC_PAGESIZE);
}

// An abort or a fault with more than half the limit in use: the allocation that failed was as
// large as what the process already had, so it was the limit.
void on_crash(int signal)
{
    if (address_space() > exhausted_limit / 2) report_exhaustion();
    ::signal(signal, SIG_DFL);
    raise(signal);
}
#endif

void on_exhaustion(int fd, const Limits& limits)
{
    exhausted_fd = fd;
    exhausted_answer = serialise(out_of_memory(limits));
    exhausted_limit = limits.memory_bytes;
    std::set_new_handler(report_exhaustion);
#ifndef FXCOMPILER_ADDRESS_SANITIZER
    for (int crash : {SIGABRT, SIGSEGV, SIGBUS}) signal(crash, on_crash);
#endif
}

// ---- the helper process ----
struct Helper {
    pid_t pid = -1;
    int fd = -1;
};
Helper helper;

bool executable(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

std::string running_program()
{
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, (std::size_t)n) : std::string();
}

std::string helper_path() { return helper_override.empty() ? helper_for(running_program()) : helper_override; }

int stop_helper(bool kill_now);

bool start_helper()
{
    std::string path = helper_path();
    if (path.empty()) return false;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    int theirs = pair[1];
    if (theirs == HELPER_FD) {  // dup2 onto itself would keep close-on-exec
        theirs = fcntl(pair[1], F_DUPFD_CLOEXEC, HELPER_FD + 1);
        close(pair[1]);
        if (theirs < 0) {
            close(pair[0]);
            return false;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, HELPER_FD);
    posix_spawn_file_actions_addclosefrom_np(&actions, HELPER_FD + 1);
    // The viewer's standard output is the user's to read; the helper's errors still reach stderr.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // Our pid, so that it can tell whether we died before it asked to follow us.
    std::string parent = std::to_string(getpid());
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(parent.c_str()), nullptr};
    pid_t pid = -1;
    int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(theirs);
    if (error != 0) {
        close(pair[0]);
        return false;
    }
    helper.pid = pid;
    helper.fd = pair[0];
    // At exit too, so that it neither outlives the program nor writes to its terminal afterwards.
    static const bool registered = std::atexit([] { stop_helper(false); }) == 0;
    (void)registered;
    return true;
}

// Closing our end is the helper's cue to exit; one that overran, or does not go within a second,
// is killed. Returns how it ended, -1 when unknown.
int stop_helper(bool kill_now)
{
    if (helper.pid < 0) return -1;
    const pid_t pid = helper.pid;
    close(helper.fd);
    helper = Helper();
    int status = -1;
    for (int i = 0; i < 100 && !kill_now; ++i) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return status;
        if (done < 0 && errno != EINTR) return -1;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    return reap(pid);
}

}  // namespace

void set_isolation(bool on) { isolation = on; }

void set_isolation_time_limit(int milliseconds) { time_limit_ms = milliseconds; }

void set_isolation_memory_limit(std::uint64_t bytes) { memory_limit = bytes; }

void set_quit_check(bool (*check)()) { quit_requested = check; }

void set_helper_path(const std::string& path)
{
    stop_helper(false);
    helper_override = path;
}

// Only relative to the program: a path fixed at build time outlives the build folder, and whoever
// creates that path later would choose the program the viewer runs.
std::string helper_for(const std::string& program)
{
    const std::size_t slash = program.find_last_of('/');
    if (slash == std::string::npos) return "";
    const std::string dir = program.substr(0, slash + 1);
    for (const std::string& path : {dir + HELPER_NAME, dir + FXCOMPILER_HELPER_FROM_BIN "/" + HELPER_NAME}) {
        if (executable(path)) return path;
    }
    return "";
}

CompileOutput compile_isolated(const CompileRequest& request)
{
    if (!isolation) return compile_request(request);
    const Words frame = serialise(request, current_limits());
    // A helper that died between compiles (killed from outside, say) is replaced once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (helper.pid < 0 && !start_helper()) break;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
        Io sent = send_all(helper.fd, frame, &deadline);
        if (sent == Io::TimedOut || sent == Io::Quit) {
            stop_helper(true);
            return sent == Io::Quit ? abandoned() : timed_out();
        }
        if (sent != Io::Done) {
            stop_helper(true);
            continue;
        }
        Words answer;
        Io got = receive_frame(helper.fd, answer, &deadline);
        if (got == Io::TimedOut || got == Io::Quit) {
            stop_helper(true);
            return got == Io::Quit ? abandoned() : timed_out();
        }
        if (got == Io::TooLarge) {
            stop_helper(true);
            return too_large();
        }
        CompileOutput out;
        if (got == Io::Done && deserialise(answer, out)) {
            if (out.limit_hit) stop_helper(false);  // it exits after such a reply: the next compile starts another
            return out;
        }
        const int status = stop_helper(got != Io::Closed);
        const CompileOutput lost = died(status);
        // Out of time is no crash; a sanitizer build exits where others die by the signal.
        const bool crashed = !(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU);
        return crashed ? probe_crash(request, lost) : lost;
    }
    return run_isolated([&] { return compile_request(request); });
}

CompileOutput run_isolated(const std::function<CompileOutput()>& work)
{
    if (!isolation) return work();
    prepare_back_end();  // once, here, so no child pays for it

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return work();  // unprotected
    const pid_t parent = getpid();
    const Limits limits = current_limits();
    pid_t child = fork();
    if (child < 0) {
        close(pair[0]);
        close(pair[1]);
        return work();
    }
    if (child == 0) {
        // The child only computes: no atexit handlers, no flushing of the parent's stdio buffers.
        close(pair[0]);
        if (!follow_parent(parent)) _exit(5);
        on_exhaustion(pair[1], limits);
        apply_limits(limits);
        Words answer;
        try {
            answer = serialise(work());
        } catch (...) {
            _exit(3);
        }
        _exit(send_all(pair[1], answer, nullptr) == Io::Done ? 0 : 4);
    }
    close(pair[1]);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
    Words answer;
    Io got = receive_frame(pair[0], answer, &deadline);
    close(pair[0]);
    if (got == Io::TimedOut || got == Io::TooLarge || got == Io::Quit) kill(child, SIGKILL);
    int status = reap(child);
    if (got == Io::TimedOut) return timed_out();
    if (got == Io::TooLarge) return too_large();
    if (got == Io::Quit) return abandoned();
    CompileOutput out;
    if (got == Io::Done && deserialise(answer, out)) return out;
    return died(status);
}

int serve_compiles(int fd, int parent)
{
    if (fcntl(fd, F_GETFD) < 0) {
        const char text[] = "fxview-hlsl: the viewer's shader compiler helper; the viewer starts it\n";
        ssize_t ignored = write(2, text, sizeof text - 1);
        (void)ignored;
        return 2;
    }
    if (!follow_parent(parent)) return 5;
    signal(SIGINT, SIG_IGN);  // Ctrl+C in the viewer's terminal is the viewer's to handle
    prepare_back_end();
    for (;;) {
        Words message;
        Io got = receive_frame(fd, message, nullptr);
        if (got == Io::Closed) return 0;
        CompileRequest request;
        Limits limits;
        if (got != Io::Done || !deserialise(message, request, limits)) return 2;
        on_exhaustion(fd, limits);
        apply_limits(limits);
        Words answer;
        try {
            answer = serialise(compile_request(request));
        } catch (...) {
            return 3;
        }
        if (send_all(fd, answer, nullptr) != Io::Done) return 4;
    }
}

}  // namespace fxcompiler
