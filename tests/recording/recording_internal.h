// What the recording services share among themselves; tests use recording.h.
#pragma once

#include <cstdio>
#include <string>

namespace recording {

void reset_window();
void reset_timer();
void reset_device();
void reset_compiler();

// "0x" and eight hex digits, as the call log shows flags and colours.
inline std::string hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value & 0xFFFFFFFFul);
    return text;
}

}  // namespace recording
