#include "frame_clock.h"

#include "render.h"

ShaderConstants shader_constants;
FrameClock frame_clock;

void advance()
{
    if (!frame_clock.started) {
        frame_clock.started = true;
        frame_clock.last_ms = timeGetTime();
    }
    DWORD now = timeGetTime();
    DWORD delta_ms = now - frame_clock.last_ms;  // unsigned: a counter wrap still gives the true interval
    frame_clock.last_ms = now;
    float& seconds = shader_constants.registers[0][0];
    seconds = (float)(seconds + delta_ms / 1000.0);
}
