// The main loop: one frame per pass, one last frame after the quit request, nothing dispatched
// behind WM_QUIT.
#include "program.h"

using namespace recording;

namespace {

class MainLoop : public RecordingTest {};

const LPARAM REPEATED = 0x40000001;  // previous key state down, repeat count 1

TEST_F(MainLoop, RendersOneLastFrameAfterTheQuitRequest)
{
    post_on_pass(2, WM_CLOSE);
    EXPECT_EQ(run_program(), 0);

    EXPECT_EQ(device_record()->presents, 3);
    EXPECT_EQ(quit_requests(), 1);
    EXPECT_EQ(count_calls("D3DXCompileShaderFromFileA(main.fx"), 2);  // loaded once, before the loop
    // Nothing looks at the queue again after the last frame.
    const std::vector<std::string>& log = calls();
    size_t last_present = 0, last_peek = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].rfind("Present(", 0) == 0) last_present = i;
        if (log[i].rfind("PeekMessageA(", 0) == 0) last_peek = i;
    }
    EXPECT_LT(last_peek, last_present);
    EXPECT_EQ(calls_starting_with({"PeekMessageA"})[0], "PeekMessageA(0x00000000, 0, 0, 1)");
}

TEST_F(MainLoop, AQuitPostedDuringCreationStillGetsOneFrame)
{
    send_on_create(WM_CLOSE);
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(device_record()->presents, 1);
    EXPECT_EQ(device_record()->draws.size(), 2u);
}

TEST_F(MainLoop, MessagesBehindWMQuitAreNeverDispatched)
{
    post_on_pass(1, WM_KEYDOWN, 'A');
    post_on_pass(1, WM_QUIT, 7);
    post_on_pass(1, WM_KEYDOWN, 'B');
    post_on_pass(1, WM_CLOSE);
    EXPECT_EQ(run_program(), 0);  // the quit message's own code is not the exit code

    std::vector<WPARAM> keys;
    for (const MSG& m : dispatched()) {
        EXPECT_NE(m.message, (UINT)WM_QUIT);
        if (m.message == WM_KEYDOWN) keys.push_back(m.wParam);
    }
    EXPECT_EQ(keys, std::vector<WPARAM>{'A'});
    EXPECT_EQ(queued_messages().size(), 2u);
    EXPECT_EQ(quit_requests(), 0);
    EXPECT_EQ(device_record()->presents, 2);
    // Each dispatched message was translated first.
    auto a = calls_starting_with({"TranslateMessage(0x0100)", "DispatchMessageA(0x0100)"});
    EXPECT_EQ(a, (std::vector<std::string>{"TranslateMessage(0x0100)", "DispatchMessageA(0x0100)"}));
}

TEST_F(MainLoop, HeldEscapePostsAQuitPerKeyDownAndStopsAtTheFirst)
{
    post_on_pass(1, WM_KEYDOWN, VK_ESCAPE, 1);
    post_on_pass(1, WM_KEYDOWN, VK_ESCAPE, REPEATED);
    post_on_pass(1, WM_KEYDOWN, VK_ESCAPE, REPEATED);
    EXPECT_EQ(run_program(), 0);

    EXPECT_EQ(quit_requests(), 3);
    EXPECT_EQ(device_record()->presents, 2);
    EXPECT_EQ(queued_messages().size(), 2u);  // the later two quits
}

TEST_F(MainLoop, SystemCloseQuitsAndLeavesTheWindowOnScreen)
{
    post_on_pass(3, WM_SYSCOMMAND, SC_CLOSE | 2);
    EXPECT_EQ(run_program(), 0);

    EXPECT_EQ(quit_requests(), 1);
    EXPECT_EQ(device_record()->presents, 4);
    EXPECT_FALSE(windows()[0].destroyed);
    EXPECT_EQ(count_calls("DestroyWindow"), 0);
}

TEST_F(MainLoop, FailedLoadsKeepTheLoopRunningUntilQuit)
{
    script_compile("ps_main", {compile_error("main.fx(1,1): error X3000: syntax error")});
    post_on_pass(4, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(device_record()->presents, 5);
}

}  // namespace
