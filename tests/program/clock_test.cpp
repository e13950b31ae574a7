// The frame clock: elapsed seconds from the millisecond counter, accumulated in c0.x.
#include "program.h"

using namespace recording;

namespace {

class Clock : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        frame_clock = FrameClock();
        shader_constants = ShaderConstants();
    }

    float seconds() const { return shader_constants.registers[0][0]; }
};

TEST_F(Clock, FirstAdvanceAddsOnlyTheTimeBetweenTwoBackToBackReads)
{
    script_time({5000, 5000});
    advance();
    EXPECT_EQ(seconds(), 0.0f);
    EXPECT_EQ(time_reads(), 2);

    frame_clock = FrameClock();
    script_time({7000, 7003});
    advance();
    EXPECT_EQ(seconds(), 0.003f);

    script_time({7019});
    advance();
    EXPECT_EQ(time_reads(), 5);  // started: one read per advance
    EXPECT_NEAR(seconds(), 0.019, 1e-7);
}

TEST_F(Clock, ACounterWrapAddsOnlyTheTimeThatPassed)
{
    script_time({0xFFFFFFF0u, 0xFFFFFFF0u, 0x10});
    advance();
    advance();
    EXPECT_NEAR(seconds(), 0.032, 1e-7);
}

TEST_F(Clock, AnIntervalWithTheTopBitSetCountsForward)
{
    script_time({0, 0, 0x80000000u});
    advance();
    advance();
    EXPECT_NEAR(seconds(), 2147483.648, 0.25);
}

TEST_F(Clock, PastFourAndAHalfHoursA16MillisecondStepAdds15625Microseconds)
{
    shader_constants.registers[0][0] = 16384.0f;
    script_time({0, 0, 16, 32});
    advance();
    advance();
    EXPECT_EQ(seconds(), 16384.015625f);
    advance();
    EXPECT_EQ(seconds(), 16384.03125f);
}

TEST_F(Clock, FramesSeeZeroFirstThenThePreviousFramesTime)
{
    TestDevice d;
    load_resources();
    script_time({100, 100, 117});
    for (int i = 0; i < 3; ++i) render_frame();
    ASSERT_EQ(d.state().uploads.size(), 3u);
    EXPECT_EQ(d.state().uploads[0].values[0], 0.0f);
    EXPECT_EQ(d.state().uploads[1].values[0], 0.0f);
    EXPECT_EQ(d.state().uploads[2].values[0], 0.017f);
}

}  // namespace
