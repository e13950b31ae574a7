// Folders are watched rather than files: an editor that saves by writing a copy and renaming it
// over the original replaces the file, and a watch on the old file would see nothing after that.
#include "source_watch.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
// How often a watched folder is checked for its deletion.
const Clock::duration FOLDER_CHECK = std::chrono::seconds(1);

struct Source {
    std::string folder;
    std::string name;
    int watch = -1;
    // A deleted folder that is still someone's working folder (the viewer's, usually) never ends its
    // watch: the kernel waits for the last user. Its link count, read through this, drops to 0 at once.
    int folder_fd = -1;
};

struct Watch {
    std::vector<Source> sources;
    int fd = -1;
    bool changed = false;
    Clock::time_point last_change;
    Clock::time_point last_folder_check;
    std::vector<std::string> lost;  // folders not yet reported
} w;

void note_lost(const std::string& folder)
{
    if (std::find(w.lost.begin(), w.lost.end(), folder) == w.lost.end()) w.lost.push_back(folder);
}

void add_watch(Source& source)
{
    source.watch = inotify_add_watch(w.fd, source.folder.c_str(), CHANGES | IN_ONLYDIR);
    if (source.watch < 0) {
        note_lost(source.folder);
        return;
    }
    source.folder_fd = open(source.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

void end_watch(Source& source)
{
    if (source.folder_fd >= 0) close(source.folder_fd);
    source.folder_fd = -1;
    source.watch = -1;
    note_lost(source.folder);
}

void check_folders()
{
    for (Source& source : w.sources) {
        struct stat status;
        if (source.folder_fd >= 0 && fstat(source.folder_fd, &status) == 0 && status.st_nlink == 0) {
            inotify_rm_watch(w.fd, source.watch);
            end_watch(source);
        }
    }
    w.last_folder_check = Clock::now();
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
            if (event->mask & IN_IGNORED) {                 // the folder was deleted or unmounted: its watch has ended
                for (Source& source : w.sources) {
                    if (source.watch == event->wd) end_watch(source);
                }
            }
            if (event->len == 0) continue;
            for (const Source& source : w.sources) {
                if (source.watch == event->wd && source.name == event->name) fresh = true;
            }
        }
    }
    const Clock::time_point now = Clock::now();
    if (now - w.last_folder_check >= FOLDER_CHECK) check_folders();
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

std::string names(const std::string& folder)
{
    std::string text;
    for (const Source& source : w.sources) {
        if (folder.empty() || source.folder == folder) text += (text.empty() ? "" : ", ") + source.name;
    }
    return text;
}

std::vector<std::string> take_lost_folders()
{
    std::vector<std::string> lost;
    lost.swap(w.lost);
    return lost;
}

void stop()
{
    for (Source& source : w.sources) {
        if (source.folder_fd >= 0) close(source.folder_fd);
    }
    if (w.fd >= 0) close(w.fd);
    w = Watch();
}

}  // namespace source_watch
}  // namespace fxplatform
