// Folders are watched rather than files: an editor that saves by writing a copy and renaming it
// over the original replaces the file, and a watch on the old file would see nothing after that.
#include "source_watch.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace fxplatform {
namespace source_watch {
namespace {

using Clock = std::chrono::steady_clock;

// Spans the steps of one save (truncate, write, close; or write a copy, rename it) yet feels immediate.
const Clock::duration QUIET = std::chrono::milliseconds(150);
// Reading the file (our own reload) is none of these.
const std::uint32_t CHANGES = IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_CREATE;

struct Source {
    std::string folder;
    std::string name;
    int watch = -1;
};

struct Watch {
    std::vector<Source> sources;
    int fd = -1;
    bool changed = false;
    Clock::time_point last_change;
} w;

void add_watch(Source& source)
{
    source.watch = inotify_add_watch(w.fd, source.folder.c_str(), CHANGES | IN_ONLYDIR);
}

}  // namespace

void note(const char* path)
{
    if (!path || !*path) return;
    const std::string text(path);
    const std::size_t slash = text.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : text.substr(0, slash);
    const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
    if (name.empty()) return;
    // Resolved now: the program may change its working folder later.
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved)) return;
    for (const Source& source : w.sources) {
        if (source.folder == resolved && source.name == name) return;
    }
    w.sources.push_back({resolved, name});
    if (w.fd >= 0) add_watch(w.sources.back());
}

bool start()
{
    if (w.fd >= 0) return true;
    w.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (w.fd < 0) return false;
    for (Source& source : w.sources) add_watch(source);
    w.changed = false;
    return true;
}

bool running() { return w.fd >= 0; }

bool saved()
{
    if (w.fd < 0) return false;
    bool fresh = false;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = read(w.fd, buffer, sizeof buffer)) > 0) {
        for (char* at = buffer; at < buffer + n;) {
            const inotify_event* event = (const inotify_event*)at;
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) fresh = true;  // events were lost: one may have been ours
            if (event->len == 0) continue;
            for (const Source& source : w.sources) {
                if (source.watch == event->wd && source.name == event->name) fresh = true;
            }
        }
    }
    const Clock::time_point now = Clock::now();
    if (fresh) {
        w.changed = true;
        w.last_change = now;
        return false;
    }
    if (w.changed && now - w.last_change >= QUIET) {
        w.changed = false;
        return true;
    }
    return false;
}

std::string names()
{
    std::string text;
    for (const Source& source : w.sources) text += (text.empty() ? "" : ", ") + source.name;
    return text;
}

void stop()
{
    if (w.fd >= 0) close(w.fd);
    w = Watch();
}

}  // namespace source_watch
}  // namespace fxplatform
