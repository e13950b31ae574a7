// stdout goes to a temporary file while captured, so printf output from the program can be
// read back in order with the calls around it.
#include <unistd.h>

#include <cstdio>

#include "recording.h"

namespace recording {

namespace {

struct Capture {
    int saved_stdout = -1;
    std::FILE* file = nullptr;
    long polled = 0;
};

Capture& capture()
{
    static Capture* state = new Capture;
    return *state;
}

std::string read_from(long offset)
{
    Capture& c = capture();
    std::string text;
    if (!c.file) return text;
    std::fflush(stdout);
    char chunk[4096];
    for (;;) {
        ssize_t n = pread(fileno(c.file), chunk, sizeof chunk, offset + (long)text.size());
        if (n <= 0) break;
        text.append(chunk, (size_t)n);
    }
    return text;
}

}  // namespace

void start_stdout_capture()
{
    Capture& c = capture();
    if (c.file) return;
    std::fflush(stdout);
    c.file = std::tmpfile();
    if (!c.file) return;
    c.saved_stdout = dup(1);
    dup2(fileno(c.file), 1);
    c.polled = 0;
}

void stop_stdout_capture()
{
    Capture& c = capture();
    if (!c.file) return;
    std::fflush(stdout);
    dup2(c.saved_stdout, 1);
    close(c.saved_stdout);
    std::fclose(c.file);
    c.file = nullptr;
    c.saved_stdout = -1;
}

std::string captured_stdout() { return read_from(0); }

std::string poll_stdout()
{
    std::string text = read_from(capture().polled);
    capture().polled += (long)text.size();
    return text;
}

}  // namespace recording
