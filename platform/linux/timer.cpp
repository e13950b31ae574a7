// Multimedia timer: milliseconds from a monotonic clock, wrapping at 2^32 like the original.
#include <ctime>

#include "platform.h"

DWORD WINAPI timeGetTime(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long ms = (unsigned long long)now.tv_sec * 1000ull + (unsigned long long)now.tv_nsec / 1000000ull;
    return (DWORD)ms;
}
