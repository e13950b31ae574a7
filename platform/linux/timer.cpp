// Multimedia timer: milliseconds from a monotonic clock, wrapping at 2^32 like the original; and
// the kernel's Sleep.
#include <cerrno>
#include <ctime>

#include "platform.h"

DWORD WINAPI timeGetTime(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long ms = (unsigned long long)now.tv_sec * 1000ull + (unsigned long long)now.tv_nsec / 1000000ull;
    return (DWORD)ms;
}

VOID WINAPI Sleep(DWORD dwMilliseconds)
{
    timespec left = {(time_t)(dwMilliseconds / 1000), (long)(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
