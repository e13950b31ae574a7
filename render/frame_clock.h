// Elapsed time for the shaders, accumulated from the millisecond counter.
#pragma once

#include "platform.h"

struct FrameClock {
    bool started;
    DWORD last_ms;
};

extern FrameClock frame_clock;

void advance();
