// The back end in a child process. glslang still crashes on some malformed shaders and has no
// way to be stopped; a shader author's typo must not take the viewer down with it. The child
// inherits the parsed-once process setup, does the work and sends the result through a pipe; a
// crash, a hang or garbage becomes a failed compile with a message.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "compiler.h"
#include "platform.h"

namespace fxcompiler {

namespace {

bool isolation = true;
int time_limit_ms = 30000;

const std::uint32_t END_MARK = 0x444E4546;  // "FEND": the child got to the end

// ---- the result on the wire: 32-bit words and length-prefixed text ----
void put(std::string& out, std::uint32_t word) { out.append((const char*)&word, sizeof word); }

void put(std::string& out, const std::string& text)
{
    put(out, (std::uint32_t)text.size());
    out += text;
}

std::string serialise(const CompileOutput& output)
{
    std::string out;
    put(out, (std::uint32_t)output.result);
    put(out, (std::uint32_t)output.code.size());
    if (!output.code.empty()) {
        out.append((const char*)output.code.data(), output.code.size() * sizeof(std::uint32_t));
    }
    put(out, (std::uint32_t)output.diagnostics.size());
    for (const Diagnostic& d : output.diagnostics) {
        put(out, (std::uint32_t)d.line);
        put(out, (std::uint32_t)d.column);
        put(out, d.error ? 1u : 0u);
        put(out, d.text);
    }
    put(out, END_MARK);
    return out;
}

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

    bool at_end() const { return at_ == data_.size(); }

private:
    const std::string& data_;
    std::size_t at_ = 0;
};

bool deserialise(const std::string& data, CompileOutput& output)
{
    Reader in(data);
    std::uint32_t result = 0, code_words = 0, count = 0, end = 0;
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
    if (!in.word(end) || end != END_MARK || !in.at_end()) return false;
    if (output.result == D3D_OK &&
        !fxplatform::decode_shader_blob(output.code.data(), output.code.size(), output.blob)) {
        return false;
    }
    return true;
}

bool write_all(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += (std::size_t)n;
    }
    return true;
}

[[noreturn]] void run_child(int fd, const std::function<CompileOutput()>& work)
{
    // The child only computes: no atexit handlers, no flushing of the parent's stdio buffers.
    std::string data;
    try {
        data = serialise(work());
    } catch (...) {
        _exit(3);
    }
    _exit(write_all(fd, data) ? 0 : 4);
}

// Reads until end of file or the deadline; false on timeout or a read error.
bool read_until_closed(int fd, std::string& data, std::chrono::steady_clock::time_point deadline)
{
    char chunk[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, (int)left.count());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        data.append(chunk, (std::size_t)n);
    }
}

int wait_for(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;  // SIGCHLD ignored elsewhere in the process: status unknown
    }
    return status;
}

CompileOutput failed(const std::string& text)
{
    CompileOutput out;
    out.result = E_FAIL;
    out.diagnostics.push_back({0, 0, true, text});
    return out;
}

}  // namespace

void set_isolation(bool on) { isolation = on; }

void set_isolation_time_limit(int milliseconds) { time_limit_ms = milliseconds; }

CompileOutput run_isolated(const std::function<CompileOutput()>& work)
{
    if (!isolation) return work();
    prepare_back_end();  // once, here, so no child pays for it

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return work();  // no process to spare: compile here, unprotected
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return work();
    }
    if (child == 0) {
        close(fds[0]);
        run_child(fds[1], work);
    }
    close(fds[1]);
    std::string data;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(time_limit_ms);
    bool complete = read_until_closed(fds[0], data, deadline);
    close(fds[0]);
    if (!complete) kill(child, SIGKILL);
    int status = wait_for(child);

    if (!complete) {
        return failed("the compiler did not finish within " + std::to_string(time_limit_ms / 1000) +
                      " s on this shader and was stopped");
    }
    if (status != -1 && WIFSIGNALED(status)) {
        return failed(std::string("internal compiler error: the compiler crashed on this shader (") +
                      strsignal(WTERMSIG(status)) + ")");
    }
    CompileOutput out;
    if (!deserialise(data, out)) {
        std::string how = status != -1 && WIFEXITED(status) ? " (exit code " + std::to_string(WEXITSTATUS(status)) + ")"
                                                            : "";
        return failed("internal compiler error: the compiler stopped without a result" + how);
    }
    return out;
}

}  // namespace fxcompiler
