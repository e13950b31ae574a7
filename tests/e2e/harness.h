// Drives the real viewer as a user would: a process in a folder of its own, keys through the
// X server, the window's pixels read back from the screen.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// A temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

// A child process whose standard output and error are collected as it runs.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
            const std::vector<std::string>& env_overrides = {});
    ~Process();

    pid_t pid() const { return pid_; }
    // Both streams so far; reading drains the pipes first.
    const std::string& out();
    const std::string& err();
    int count_out(const std::string& text);
    bool wait_for_out(const std::string& text, int occurrences, Millis timeout);
    bool wait_for_err(const std::string& text, Millis timeout);
    // The exit code once the process has ended, or nothing after the timeout.
    std::optional<int> wait_exit(Millis timeout);
    void kill();

private:
    void drain();

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_, err_;
    std::optional<int> status_;
};

struct Rgb {
    int r, g, b;
};

// One connection to the X server named by DISPLAY.
class XSession {
public:
    XSession();
    ~XSession();
    bool ok() const { return display_ != nullptr; }

    // The top-level window titled `title` that belongs to `pid`, or 0.
    unsigned long find_window(const std::string& title, pid_t pid, Millis timeout);
    // A plain window of our own that takes the keyboard focus (an editor, say).
    unsigned long open_focus_window();
    void focus(unsigned long window);
    void press(const char* key_name, Millis hold = Millis(0));
    void send_close(unsigned long window);  // as a window manager does
    void destroy(unsigned long window);     // as another client can (xdotool windowclose)
    // The pointer moved to a point of the screen; then a left click there.
    void move(int x, int y);
    void click(int x, int y);
    unsigned long root() const;
    Rgb pixel(unsigned long window, int x, int y);
    std::vector<std::uint8_t> capture(unsigned long window, int& width, int& height);

private:
    struct _XDisplay* display_ = nullptr;
    unsigned long own_window_ = 0;
};

bool wait_until(Millis timeout, const std::function<bool()>& done);

// The direct children of a running process.
std::vector<pid_t> children_of(pid_t pid);
// Whether a process has ended (a zombie counts) within the timeout.
bool ended(pid_t pid, Millis timeout);
