#include "harness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

bool wait_until(Millis timeout, const std::function<bool()>& done)
{
    auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(Millis(10));
    }
    return done();
}

std::vector<pid_t> children_of(pid_t pid)
{
    std::vector<pid_t> found;
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; list >> child;) found.push_back(child);
    return found;
}

bool ended(pid_t pid, Millis timeout)
{
    return wait_until(timeout, [&] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) return true;
        size_t end_of_name = line.rfind(')');
        return end_of_name != std::string::npos && line.size() > end_of_name + 2 && line[end_of_name + 2] == 'Z';
    });
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "fxview-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& content) const
{
    // Write then rename, as editors do, so the viewer never reads half a file.
    std::string target = path_ + "/" + name;
    std::string temp = target + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary);
        file << content;
    }
    fs::rename(temp, target);
}

Process::Process(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                 const std::vector<std::string>& env_overrides)
{
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        for (const std::string& kv : env_overrides) {
            auto eq = kv.find('=');
            if (eq == std::string::npos) {
                unsetenv(kv.c_str());
            } else {
                setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
            }
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    fcntl(out_fd_, F_SETFL, O_NONBLOCK);
    fcntl(err_fd_, F_SETFL, O_NONBLOCK);
}

Process::~Process()
{
    kill();
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

void Process::drain()
{
    char buffer[4096];
    for (auto [fd, text] : {std::pair<int, std::string*>{out_fd_, &out_}, {err_fd_, &err_}}) {
        ssize_t n;
        while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) text->append(buffer, (size_t)n);
    }
}

const std::string& Process::out()
{
    drain();
    return out_;
}

const std::string& Process::err()
{
    drain();
    return err_;
}

int Process::count_out(const std::string& text)
{
    drain();
    int count = 0;
    for (size_t at = out_.find(text); at != std::string::npos; at = out_.find(text, at + text.size())) ++count;
    return count;
}

bool Process::wait_for_out(const std::string& text, int occurrences, Millis timeout)
{
    return wait_until(timeout, [&] { return count_out(text) >= occurrences; });
}

bool Process::wait_for_err(const std::string& text, Millis timeout)
{
    return wait_until(timeout, [&] { return err().find(text) != std::string::npos; });
}

std::optional<int> Process::wait_exit(Millis timeout)
{
    wait_until(timeout, [&] {
        if (status_) return true;
        drain();  // a process that writes much must not block on a full pipe
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return status_.has_value();
    });
    drain();
    return status_;
}

void Process::kill()
{
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = 128 + SIGKILL;
    }
}

// Other clients' windows come and go while we look at them (an earlier test's viewer closing, say);
// Xlib's default handler would end the whole test on the first BadWindow. The call that met the
// error simply fails and the caller's wait tries again.
static int ignore_x_error(Display*, XErrorEvent*) { return 0; }

XSession::XSession()
{
    XSetErrorHandler(ignore_x_error);
    // An X server that resets when its last client leaves refuses connections for a moment.
    wait_until(Millis(3000), [&] { return (display_ = XOpenDisplay(nullptr)) != nullptr; });
}

XSession::~XSession()
{
    if (!display_) return;
    if (own_window_) XDestroyWindow(display_, own_window_);
    XCloseDisplay(display_);
}

static bool window_pid_is(Display* display, Window window, pid_t pid)
{
    Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
    if (pid_atom == None) return false;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    bool match = false;
    if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1) {
        match = (pid_t)(*(unsigned long*)data) == pid;
    }
    if (data) XFree(data);
    return match;
}

unsigned long XSession::find_window(const std::string& title, pid_t pid, Millis timeout)
{
    Window found = 0;
    wait_until(timeout, [&] {
        Window root = DefaultRootWindow(display_), parent, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return false;
        for (unsigned int i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(display_, children[i], &name) && name) {
                XWindowAttributes attributes;
                if (title == name && window_pid_is(display_, children[i], pid) &&
                    XGetWindowAttributes(display_, children[i], &attributes) && attributes.map_state == IsViewable) {
                    found = children[i];
                }
                XFree(name);
            }
        }
        if (children) XFree(children);
        return found != 0;
    });
    return found;
}

unsigned long XSession::open_focus_window()
{
    own_window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 1300, 0, 200, 200, 0, 0, 0);
    XStoreName(display_, own_window_, "editor");
    XSelectInput(display_, own_window_, KeyPressMask | KeyReleaseMask | ExposureMask);
    XMapRaised(display_, own_window_);
    XSync(display_, False);
    wait_until(Millis(2000), [&] {
        XWindowAttributes attributes;
        return XGetWindowAttributes(display_, own_window_, &attributes) && attributes.map_state == IsViewable;
    });
    focus(own_window_);
    return own_window_;
}

void XSession::focus(unsigned long window)
{
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
}

void XSession::press(const char* key_name, Millis hold)
{
    KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(key_name));
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(hold);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
}

void XSession::send_close(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display_, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
}

void XSession::move(int x, int y)
{
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(Millis(100));  // the pointer is seen to enter before the next step
}

void XSession::click(int x, int y)
{
    move(x, y);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(Millis(50));
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
}

unsigned long XSession::root() const { return DefaultRootWindow(display_); }

void XSession::destroy(unsigned long window)
{
    XDestroyWindow(display_, window);
    XSync(display_, False);
}

std::vector<std::uint8_t> XSession::capture(unsigned long window, int& width, int& height)
{
    XWindowAttributes attributes;
    std::vector<std::uint8_t> rgb;
    width = height = 0;
    if (!XGetWindowAttributes(display_, window, &attributes)) return rgb;
    XImage* image = XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return rgb;
    width = attributes.width;
    height = attributes.height;
    rgb.resize((size_t)width * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            std::uint8_t* out = &rgb[((size_t)y * width + x) * 3];
            out[0] = (p >> 16) & 0xFF;
            out[1] = (p >> 8) & 0xFF;
            out[2] = p & 0xFF;
        }
    }
    XDestroyImage(image);
    return rgb;
}

Rgb XSession::pixel(unsigned long window, int x, int y)
{
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return {-1, -1, -1};
    unsigned long p = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {(int)((p >> 16) & 0xFF), (int)((p >> 8) & 0xFF), (int)(p & 0xFF)};
}
