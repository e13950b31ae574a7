// Every platform call the program makes fails once, in a run that starts, reloads on F5, loses and
// resets its device, and quits on Escape: no crash, no leak, no misuse (the fixture checks those),
// the program's message where it gives one, and the next F5 brings everything back where it can.
#include <cmath>

#include "program.h"

using namespace recording;

namespace {

struct Fault {
    const char* call;
    int occurrence;  // which call of that name fails, counted from the start
    int exit_code;
    const char* message;  // on standard output or the debugger channel; null where the program gives none
    bool recovers;        // the last reload brings every resource back
};

const Fault FAULTS[] = {
    // Start-up: the program's own exits.
    {"GetModuleHandleA", 1, 0, nullptr, true},
    {"RegisterClassExA", 1, EXIT_CLASS_FAILED, nullptr, false},
    {"CreateWindowExA", 1, EXIT_WINDOW_FAILED, "ERROR : Can't Create Window", false},
    {"DefWindowProcA", 1, EXIT_WINDOW_FAILED, "ERROR : Can't Create Window", false},  // WM_NCCREATE refused
    {"ShowWindow", 1, 0, nullptr, true},
    {"UpdateWindow", 1, 0, nullptr, true},
    {"Direct3DCreate9", 1, EXIT_DIRECT3D_FAILED, "ERROR : Direct3DCreate9", false},
    {"CreateDevice", 1, EXIT_DEVICE_FAILED, "ERROR : CreateDevice", false},
    // The first load.
    {"D3DXCompileShaderFromFileA", 1, 0, "Error : main.fx: compiling \"ps_main\" failed (0x80004005)", true},
    {"D3DXCompileShaderFromFileA", 2, 0, "Error : main.fx: compiling \"ps_main_f\" failed (0x80004005)", true},
    {"CreatePixelShader", 1, 0, "Error : main.fx: creating the pixel shader for \"ps_main\" failed", true},
    {"CreatePixelShader", 2, 0, "Error : main.fx: creating the pixel shader for \"ps_main_f\" failed", true},
    {"GetBackBuffer", 1, 0, nullptr, true},
    {"CreateTexture", 1, 0, "Error : cannot create the 1280x720 float scene target (0x80004005)", true},
    {"CreateTexture", 2, 0, "Error : cannot create the 32x32 noise texture (0x80004005)", true},
    {"GetSurfaceLevel", 1, 0, nullptr, true},
    {"SetSamplerState", 1, 0, nullptr, true},
    {"D3DXFillTexture", 1, 0, nullptr, true},
    // The loop and the frame.
    {"PeekMessageA", 1, 0, nullptr, true},
    {"DispatchMessageA", 1, 0, nullptr, true},  // the first Escape is lost; the second quits
    {"GetAsyncKeyState", 3, 0, nullptr, true},  // the first F5 reads as up; the second reloads
    {"timeGetTime", 2, 0, nullptr, true},
    {"BeginScene", 1, 0, nullptr, true},
    {"SetPixelShaderConstantF", 1, 0, nullptr, true},
    {"SetPixelShader", 1, 0, nullptr, true},
    {"SetTexture", 1, 0, nullptr, true},
    {"SetRenderTarget", 1, 0, nullptr, true},
    {"Clear", 1, 0, nullptr, true},
    {"SetFVF", 1, 0, nullptr, true},
    {"DrawPrimitiveUP", 1, 0, nullptr, true},
    {"EndScene", 1, 0, nullptr, true},
    {"Present", 1, 0, nullptr, true},
    // The lost device.
    {"TestCooperativeLevel", 1, 0, "Error : the device was lost", true},
    {"Reset", 1, 0, "Error : the device was lost", true},
};

class FaultInjection : public RecordingTest, public ::testing::WithParamInterface<Fault> {};

std::string describe(const ::testing::TestParamInfo<Fault>& info)
{
    return std::string(info.param.call) + "_" + std::to_string(info.param.occurrence);
}

// F5 at the 3rd and 7th frame read, the device lost at the 5th Present for one check, Escape twice.
void script_the_run()
{
    set_time(5000);
    script_key(VK_F5, {0, 0, KEY_DOWN, 0, 0, 0, KEY_DOWN});
    on_present([] {
        if (count_calls("Present(") == 5) inject_device_loss(1);
    });
    post_on_pass(11, WM_KEYDOWN, VK_ESCAPE);
    post_on_pass(12, WM_KEYDOWN, VK_ESCAPE);
}

TEST_P(FaultInjection, FailsOnceWithoutCrashOrLeakAndRecovers)
{
    const Fault& fault = GetParam();
    script_the_run();
    fail_call(fault.call, fault.occurrence);

    EXPECT_EQ(run_program(), fault.exit_code);
    EXPECT_GE(counted_calls(fault.call), fault.occurrence) << "the failing call never came";

    if (fault.message) {
        std::string said = captured_stdout();
        for (const std::string& line : debug_output()) said += line + "\n";
        EXPECT_NE(said.find(fault.message), std::string::npos) << said;
    }
    if (!fault.recovers) return;

    DeviceRecord& d = *device_record();
    EXPECT_EQ(d.resets, 1);
    EXPECT_TRUE(std::isfinite(d.constants[0][0]));
    ASSERT_GE(d.draws.size(), 2u);
    const DrawRecord& scene = d.draws[d.draws.size() - 2];
    const DrawRecord& final_pass = d.draws.back();
    EXPECT_NE(scene.pixel_shader, "NULL");
    EXPECT_NE(scene.render_target, "NULL");
    EXPECT_NE(scene.render_target, name_of(d.back_buffer));
    EXPECT_NE(scene.textures[1], "NULL") << "the noise texture";
    EXPECT_NE(final_pass.pixel_shader, "NULL");
    EXPECT_EQ(final_pass.render_target, name_of(d.back_buffer));
    EXPECT_NE(final_pass.textures[0], "NULL") << "the scene target";
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultInjection, ::testing::ValuesIn(FAULTS), describe);

}  // namespace
