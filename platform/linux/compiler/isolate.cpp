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
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "compiler.h"
#include "platform.h"

extern char** environ;

namespace fxcompiler {

namespace {

using Clock = std::chrono::steady_clock;

bool isolation = true;
int time_limit_ms = 30000;
std::string helper_override;

const std::uint32_t END_MARK = 0x444E4546;         // "FEND": the sender got to the end
const std::uint32_t MAX_FRAME = 256u << 20;         // far beyond any 4 MiB shader's result
const char* const HELPER_NAME = "fxview-hlsl";
const int HELPER_FD = 3;

// ---- the wire: 32-bit words and length-prefixed text ----
class Writer {
public:
    void word(std::uint32_t value) { data.append((const char*)&value, sizeof value); }
    void text(const std::string& value)
    {
        word((std::uint32_t)value.size());
        data += value;
    }
    std::string data;
};

class Reader {
public:
    explicit Reader(const std::string& data) : data_(data) {}

    bool word(std::uint32_t& value)
    {
        if (data_.size() - at_ < sizeof value) return false;
        std::memcpy(&value, data_.data() + at_, sizeof value);
        at_ += sizeof value;
        return true;
    }

    bool text(std::string& value)
    {
        std::uint32_t size = 0;
        if (!word(size) || data_.size() - at_ < size) return false;
        value.assign(data_, at_, size);
        at_ += size;
        return true;
    }

    bool words(std::vector<std::uint32_t>& values, std::uint32_t count)
    {
        if ((data_.size() - at_) / sizeof(std::uint32_t) < count) return false;
        values.resize(count);
        if (count == 0) return true;
        std::memcpy(values.data(), data_.data() + at_, (std::size_t)count * sizeof(std::uint32_t));
        at_ += (std::size_t)count * sizeof(std::uint32_t);
        return true;
    }

    bool finished()
    {
        std::uint32_t end = 0;
        return word(end) && end == END_MARK && at_ == data_.size();
    }

private:
    const std::string& data_;
    std::size_t at_ = 0;
};

std::string serialise(const CompileOutput& output)
{
    Writer out;
    out.word((std::uint32_t)output.result);
    out.word((std::uint32_t)output.code.size());
    for (std::uint32_t w : output.code) out.word(w);
    out.word((std::uint32_t)output.diagnostics.size());
    for (const Diagnostic& d : output.diagnostics) {
        out.word((std::uint32_t)d.line);
        out.word((std::uint32_t)d.column);
        out.word(d.error ? 1u : 0u);
        out.text(d.text);
    }
    out.word(END_MARK);
    return out.data;
}

bool deserialise(const std::string& data, CompileOutput& output)
{
    Reader in(data);
    std::uint32_t result = 0, code_words = 0, count = 0;
    if (!in.word(result) || !in.word(code_words) || !in.words(output.code, code_words) || !in.word(count)) return false;
    output.result = (std::int32_t)result;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t line = 0, column = 0, error = 0;
        Diagnostic d;
        if (!in.word(line) || !in.word(column) || !in.word(error) || !in.text(d.text)) return false;
        d.line = (int)line;
        d.column = (int)column;
        d.error = error != 0;
        output.diagnostics.push_back(std::move(d));
    }
    if (!in.finished()) return false;
    return output.result != D3D_OK ||
           fxplatform::decode_shader_blob(output.code.data(), output.code.size(), output.blob);
}

std::string serialise(const CompileRequest& request)
{
    Writer out;
    out.text(request.text);
    out.text(request.file_name);
    out.text(request.entry);
    out.word((std::uint32_t)request.defines.size());
    for (const Define& d : request.defines) {
        out.text(d.name);
        out.text(d.value);
    }
    out.word(request.options.optimise ? 1u : 0u);
    out.word(END_MARK);
    return out.data;
}

bool deserialise(const std::string& data, CompileRequest& request)
{
    Reader in(data);
    std::uint32_t count = 0, optimise = 0;
    if (!in.text(request.text) || !in.text(request.file_name) || !in.text(request.entry) || !in.word(count)) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        Define d;
        if (!in.text(d.name) || !in.text(d.value)) return false;
        request.defines.push_back(std::move(d));
    }
    if (!in.word(optimise)) return false;
    request.options.optimise = optimise != 0;
    return in.finished();
}

std::string framed(const std::string& payload)
{
    Writer out;
    out.word((std::uint32_t)payload.size());
    return out.data + payload;
}

// ---- moving bytes, with a deadline on the caller's side ----
enum class Io { Done, Closed, TimedOut, Failed };

// Waits for `events` on `fd` until the deadline; no deadline means forever.
Io wait_for(int fd, short events, const Clock::time_point* deadline)
{
    for (;;) {
        int timeout = -1;
        if (deadline) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) return Io::TimedOut;
            timeout = (int)std::min<long long>(left, INT_MAX);
        }
        pollfd p{fd, events, 0};
        int ready = poll(&p, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Io::Failed;
        if (ready == 0) return Io::TimedOut;
        return Io::Done;
    }
}

Io send_all(int fd, const std::string& data, const Clock::time_point* deadline)
{
    std::size_t done = 0;
    while (done < data.size()) {
        Io ready = wait_for(fd, POLLOUT, deadline);
        if (ready != Io::Done) return ready;
        // A socket, so a vanished peer is EPIPE here rather than SIGPIPE for the whole program.
        ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return errno == EPIPE || errno == ECONNRESET ? Io::Closed : Io::Failed;
        done += (std::size_t)n;
    }
    return Io::Done;
}

Io receive_exactly(int fd, std::size_t size, std::string& data, const Clock::time_point* deadline)
{
    data.resize(size);
    std::size_t done = 0;
    while (done < size) {
        Io ready = wait_for(fd, POLLIN, deadline);
        if (ready != Io::Done) return ready;
        ssize_t n = recv(fd, &data[done], size - done, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return errno == ECONNRESET ? Io::Closed : Io::Failed;
        if (n == 0) return Io::Closed;
        done += (std::size_t)n;
    }
    return Io::Done;
}

Io receive_frame(int fd, std::string& payload, const Clock::time_point* deadline)
{
    std::string header;
    Io got = receive_exactly(fd, sizeof(std::uint32_t), header, deadline);
    if (got != Io::Done) return got;
    std::uint32_t size = 0;
    std::memcpy(&size, header.data(), sizeof size);
    if (size > MAX_FRAME) return Io::Failed;
    return receive_exactly(fd, size, payload, deadline);
}

CompileOutput timed_out()
{
    return failure(E_FAIL, 0, 0,
                   "the compiler did not finish within " + std::to_string(time_limit_ms / 1000) +
                       " s on this shader and was stopped");
}

// What became of a process that gave no result; -1 when its status is unknown.
CompileOutput died(int status)
{
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
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
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
    const std::string frame = framed(serialise(request));
    // A helper that died between compiles (killed from outside, say) is replaced once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (helper.pid < 0 && !start_helper()) break;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
        Io sent = send_all(helper.fd, frame, &deadline);
        if (sent == Io::TimedOut) {
            stop_helper(true);
            return timed_out();
        }
        if (sent != Io::Done) {
            stop_helper(true);
            continue;
        }
        std::string payload;
        Io got = receive_frame(helper.fd, payload, &deadline);
        if (got == Io::TimedOut) {
            stop_helper(true);
            return timed_out();
        }
        CompileOutput out;
        if (got == Io::Done && deserialise(payload, out)) return out;
        return died(stop_helper(got != Io::Closed));
    }
    return run_isolated([&] { return compile_request(request); });
}

CompileOutput run_isolated(const std::function<CompileOutput()>& work)
{
    if (!isolation) return work();
    prepare_back_end();  // once, here, so no child pays for it

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return work();  // unprotected
    pid_t child = fork();
    if (child < 0) {
        close(pair[0]);
        close(pair[1]);
        return work();
    }
    if (child == 0) {
        // The child only computes: no atexit handlers, no flushing of the parent's stdio buffers.
        close(pair[0]);
        std::string data;
        try {
            data = serialise(work());
        } catch (...) {
            _exit(3);
        }
        _exit(send_all(pair[1], framed(data), nullptr) == Io::Done ? 0 : 4);
    }
    close(pair[1]);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
    std::string payload;
    Io got = receive_frame(pair[0], payload, &deadline);
    close(pair[0]);
    if (got == Io::TimedOut) kill(child, SIGKILL);
    int status = reap(child);
    if (got == Io::TimedOut) return timed_out();
    CompileOutput out;
    if (got == Io::Done && deserialise(payload, out)) return out;
    return died(status);
}

int serve_compiles(int fd)
{
    if (fcntl(fd, F_GETFD) < 0) {
        const char text[] = "fxview-hlsl: the viewer's shader compiler helper; the viewer starts it\n";
        ssize_t ignored = write(2, text, sizeof text - 1);
        (void)ignored;
        return 2;
    }
    signal(SIGINT, SIG_IGN);  // Ctrl+C in the viewer's terminal is the viewer's to handle
    prepare_back_end();
    for (;;) {
        std::string payload;
        Io got = receive_frame(fd, payload, nullptr);
        if (got == Io::Closed) return 0;
        CompileRequest request;
        if (got != Io::Done || !deserialise(payload, request)) return 2;
        std::string answer;
        try {
            answer = framed(serialise(compile_request(request)));
        } catch (...) {
            return 3;
        }
        if (send_all(fd, answer, nullptr) != Io::Done) return 4;
    }
}

}  // namespace fxcompiler
