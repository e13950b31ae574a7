// Debug output: the debugger channel on Linux is standard error, never standard output.
#include <cstdio>
#include <cstring>

#include "platform.h"

VOID WINAPI OutputDebugStringA(LPCSTR lpOutputString)
{
    if (!lpOutputString) return;
    std::size_t length = std::strlen(lpOutputString);
    std::fwrite(lpOutputString, 1, length, stderr);
    // A debugger shows each string as its own line; texts without a line end would run together.
    if (length == 0 || lpOutputString[length - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}
