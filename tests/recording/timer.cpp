#include <deque>

#include "recording.h"
#include "recording_internal.h"

namespace recording {

namespace {

struct Timer {
    std::deque<DWORD> script;
    DWORD now = 0;
    int reads = 0;
};

Timer& timer()
{
    static Timer* state = new Timer;
    return *state;
}

}  // namespace

void reset_timer() { timer() = Timer(); }

void script_time(std::initializer_list<DWORD> readings)
{
    timer().script.insert(timer().script.end(), readings.begin(), readings.end());
}

void set_time(DWORD ms) { timer().now = ms; }
int time_reads() { return timer().reads; }

}  // namespace recording

DWORD WINAPI timeGetTime(void)
{
    recording::Timer& t = recording::timer();
    if (!t.script.empty()) {
        t.now = t.script.front();
        t.script.pop_front();
    }
    ++t.reads;
    // A failure reads 0 once, as a counter that started over would.
    const DWORD now = recording::scripted_result({"timeGetTime"}) != S_OK ? 0 : t.now;
    recording::log_call("timeGetTime() = " + std::to_string(now));
    return now;
}
