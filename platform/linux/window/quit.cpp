// Quitting on time whatever the shader does. SIGTERM, SIGINT and SIGHUP become a close request
// like the window manager's; a compile or a frame that waits gives way to a pending quit; and a
// process that still cannot finish its shutdown (a draw of minutes that Mesa waits for when the
// context goes) is ended by a watchdog thread a moment after the quit was decided.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "compiler.h"
#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace {

volatile sig_atomic_t signalled = 0;
int watchdog_pipe[2] = {-1, -1};

// A quit decided normally has this long to end the process: well within the 2 s a quit may take.
const char ORDINARY_QUIT = 1;
const int ORDINARY_GRACE_MS = 1000;
// A quit with a frame still drawing will wait for that frame when the context goes: shorter.
const char STUCK_QUIT = 2;
const int STUCK_GRACE_MS = 250;

void wake_watchdog(char kind)
{
    if (watchdog_pipe[1] >= 0) {
        ssize_t ignored = write(watchdog_pipe[1], &kind, 1);
        (void)ignored;
    }
}

void on_signal(int)
{
    signalled = 1;
    wake_watchdog(ORDINARY_QUIT);
}

using Clock = std::chrono::steady_clock;

void* watchdog(void*)
{
    Clock::time_point deadline = Clock::time_point::max();
    for (;;) {
        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            timeout = (int)left;
        }
        pollfd p{watchdog_pipe[0], POLLIN, 0};
        if (poll(&p, 1, timeout) <= 0) continue;
        char kind = 0;
        if (read(watchdog_pipe[0], &kind, 1) != 1) continue;
        auto grace = std::chrono::milliseconds(kind == STUCK_QUIT ? STUCK_GRACE_MS : ORDINARY_GRACE_MS);
        deadline = std::min(deadline, Clock::now() + grace);
    }
    // What the program printed still reaches its reader, unless the stuck thread holds stdout.
    if (ftrylockfile(stdout) == 0) {
        fflush(stdout);
        funlockfile(stdout);
    }
    // The compiler helper is idle (compiles give way to a quit) and leaves when its socket closes.
    _exit(0);
}

}  // namespace

void start_quit_service()
{
    static bool started = false;
    if (started) return;
    started = true;
    fxcompiler::set_quit_check(&quit_pending);
    if (pipe2(watchdog_pipe, O_CLOEXEC) == 0) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_attr_setstacksize(&attributes, 64 * 1024);
        pthread_t thread;
        // The thread must not take a signal meant for the main thread's waits.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
        if (pthread_create(&thread, &attributes, watchdog, nullptr) != 0) {
            close(watchdog_pipe[0]);
            close(watchdog_pipe[1]);
            watchdog_pipe[0] = watchdog_pipe[1] = -1;
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        pthread_attr_destroy(&attributes);
    }
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

bool quit_signalled() { return signalled != 0; }

}  // namespace window_service

void arm_quit_watchdog() { window_service::wake_watchdog(window_service::STUCK_QUIT); }

}  // namespace fxplatform
