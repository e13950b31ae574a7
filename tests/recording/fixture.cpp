#include <cstdio>

#include "recording_test.h"

namespace recording {

namespace {
int tests_started = 0;
}

bool RecordingTest::first_test_in_process() { return tests_started == 1; }

void RecordingTest::SetUp()
{
    ++tests_started;
    reset();
    start_stdout_capture();
}

void RecordingTest::TearDown()
{
    std::string printed = captured_stdout();
    stop_stdout_capture();
    if (HasFailure()) {
        std::printf("---- stdout during the test (failure messages included) ----\n%s---- end ----\n", printed.c_str());
    }
    for (const std::string& v : violations()) ADD_FAILURE() << "platform misuse: " << v;
    for (Object* leaked : take_leaked_objects()) {
        ADD_FAILURE() << leaked->name() << " still alive after the test: " << leaked->refs() << " reference(s), "
                      << leaked->bindings() << " binding(s)";
    }
}

}  // namespace recording
