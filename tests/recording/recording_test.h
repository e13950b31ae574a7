// The fixture every program test derives from: a fresh recording platform with stdout captured,
// and after the test, every object handed out must have come back and nothing misused.
#pragma once

#include <gtest/gtest.h>

#include "recording.h"

namespace recording {

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The program's process-wide state (the generator, the clock) never resets, so a test that
    // needs it untouched checks this and is skipped otherwise: run such tests through ctest,
    // which starts one process per test.
    static bool first_test_in_process();
};

#define REQUIRE_FRESH_PROCESS()                                                                      \
    do {                                                                                             \
        if (!first_test_in_process()) GTEST_SKIP() << "needs a fresh process: run it through ctest"; \
    } while (0)

}  // namespace recording
