// A lost device: frames are skipped without spinning until the device can be reset, then the
// resources are released, the device reset with the presentation parameters and everything loaded
// anew; one message however long the loss lasts.
#include "program.h"

using namespace recording;

namespace {

class DeviceLoss : public RecordingTest {};

// Loses the device at the second Present, for `lost_checks` answers of "still lost".
void lose_at_second_present(int lost_checks)
{
    on_present([lost_checks] {
        if (count_calls("Present(") == 2) inject_device_loss(lost_checks);
    });
}

TEST_F(DeviceLoss, SkipsFramesUntilResettableThenResetsAndReloads)
{
    lose_at_second_present(3);
    post_on_pass(8, WM_CLOSE);
    EXPECT_EQ(run_program(), 0);

    DeviceRecord& d = *device_record();
    EXPECT_EQ(d.resets, 1);
    EXPECT_FALSE(d.lost);
    EXPECT_EQ(sleeps(), 3) << "one short wait per frame while not yet resettable";
    EXPECT_EQ(count_calls("TestCooperativeLevel() = 0x88760868"), 3);  // D3DERR_DEVICELOST
    EXPECT_EQ(count_calls("TestCooperativeLevel() = 0x88760869"), 1);  // D3DERR_DEVICENOTRESET
    // Frames 1 and 2 drew; 3 to 5 were skipped; 6 reset and drew; 7 to 9 drew (9 is the last).
    EXPECT_EQ(d.scenes, 2 + 4);
    EXPECT_EQ(d.presents, 1 + 4);

    // Everything was let go before the Reset and built anew after it, sampler states included.
    std::vector<std::string> order =
        calls_starting_with({"Reset(", "D3DXCompileShaderFromFileA(main.fx", "SetSamplerState(0, 5", "stdout:"});
    std::vector<std::string> expected = {
        "D3DXCompileShaderFromFileA(main.fx, ps_main, ps_3_0, 0x00008400)",
        "D3DXCompileShaderFromFileA(main.fx, ps_main_f, ps_3_0, 0x00008400)",
        "stdout: Load Shader.\n",
        "SetSamplerState(0, 5, 2)",
        "stdout: Error : the device was lost; drawing resumes once it can be reset\n",
        "Reset()",
        "D3DXCompileShaderFromFileA(main.fx, ps_main, ps_3_0, 0x00008400)",
        "D3DXCompileShaderFromFileA(main.fx, ps_main_f, ps_3_0, 0x00008400)",
        "stdout: Load Shader.\n",
        "SetSamplerState(0, 5, 2)",
    };
    EXPECT_EQ(order, expected);
    EXPECT_EQ(d.sampler_states[0][D3DSAMP_MAGFILTER], (DWORD)D3DTEXF_LINEAR);
    EXPECT_NE(d.draws.back().pixel_shader, "NULL") << "the final pass runs the reloaded shader";
}

TEST_F(DeviceLoss, AFailedResetWaitsAndTriesAgainOnTheNextFrame)
{
    lose_at_second_present(0);
    fail_call("Reset", 1, 1, D3DERR_DEVICELOST);
    post_on_pass(5, WM_CLOSE);
    EXPECT_EQ(run_program(), 0);

    EXPECT_EQ(device_record()->resets, 1);
    EXPECT_EQ(count_calls("Reset() failed"), 1);
    EXPECT_EQ(sleeps(), 1);
    // The failed attempt left nothing loaded; the successful one loaded once.
    EXPECT_EQ(count_calls("stdout: Load Shader."), 2);
    EXPECT_EQ(count_calls("stdout: Error : the device was lost"), 1);
}

TEST_F(DeviceLoss, AFinalShaderThatNoLongerCompilesAfterTheResetLeavesTheLoopRunning)
{
    lose_at_second_present(0);
    script_compile("ps_main_f", {compiled(), compile_error("main.fx(3,1): error X3000: syntax error")});
    post_on_pass(6, WM_CLOSE);
    EXPECT_EQ(run_program(), 0);

    EXPECT_EQ(device_record()->resets, 1);
    EXPECT_EQ(count_calls("stdout: Error : main.fx(3,1)"), 1);
    EXPECT_EQ(device_record()->presents, 1 + 5);  // the scene shader still draws
}

}  // namespace
