// Debug output: the debugger channel on Linux is standard error, never standard output.
// This file also sets up standard output, as the one piece every program links.
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace {

// The program's messages reach a pipe line by line, as they would a console.
struct LineBufferedStdout {
    LineBufferedStdout() { std::setvbuf(stdout, nullptr, _IOLBF, 0); }
};

const LineBufferedStdout line_buffered_stdout;

}  // namespace

VOID WINAPI OutputDebugStringA(LPCSTR lpOutputString)
{
    if (!lpOutputString) return;
    std::size_t length = std::strlen(lpOutputString);
    std::fwrite(lpOutputString, 1, length, stderr);
    // A debugger shows each string as its own line; texts without a line end would run together.
    if (length == 0 || lpOutputString[length - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}
