// Start-up and shutdown: the window class, the window, the device, failures and exit codes.
#include "program.h"

using namespace recording;

namespace {

class Startup : public RecordingTest {};

struct StartupFailure {
    const char* failing_call;
    int exit_code;
    const char* debug_text;  // nullptr: nothing on the debugger channel
    const char* never_called;
};

void PrintTo(const StartupFailure& row, std::ostream* os) { *os << row.failing_call; }

class StartupFailures : public RecordingTest, public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(StartupFailures, ExitWithTheirCodeAndMessageBeforeAnyFrame)
{
    const StartupFailure& f = GetParam();
    fail_call(f.failing_call, 1, ALWAYS);

    EXPECT_EQ(run_program(), f.exit_code);

    if (f.debug_text) {
        EXPECT_EQ(debug_output(), std::vector<std::string>{f.debug_text});
    } else {
        EXPECT_TRUE(debug_output().empty());
    }
    EXPECT_EQ(count_calls(f.never_called), 0);
    EXPECT_EQ(count_calls("PeekMessageA"), 0);
    EXPECT_EQ(count_calls("Present"), 0);
    EXPECT_EQ(count_calls("D3DXCompileShaderFromFileA"), 0);
    EXPECT_EQ(captured_stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Each, StartupFailures,
    ::testing::Values(
        StartupFailure{"RegisterClassExA", EXIT_CLASS_FAILED, nullptr, "CreateWindowExA"},
        StartupFailure{"CreateWindowExA", EXIT_WINDOW_FAILED, "ERROR : Can't Create Window", "Direct3DCreate9"},
        StartupFailure{"Direct3DCreate9", EXIT_DIRECT3D_FAILED, "ERROR : Direct3DCreate9", "CreateDevice"},
        StartupFailure{"CreateDevice", EXIT_DEVICE_FAILED, "ERROR : CreateDevice", "BeginScene"}),
    [](const ::testing::TestParamInfo<StartupFailure>& info) { return std::string(info.param.failing_call); });

TEST_F(Startup, WithoutADeviceTheDirect3DObjectIsStillReleased)
{
    fail_call("CreateDevice", 1, 1, D3DERR_NOTAVAILABLE);
    EXPECT_EQ(run_program(), EXIT_DEVICE_FAILED);
    auto releases = calls_starting_with({"Release("});
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].rfind("Release(direct3d#", 0), 0u);
}

// Filled during static initialisation, before any test ran.
TEST_F(Startup, WindowClassIsCompleteBeforeMain)
{
    EXPECT_EQ(window_class.cbSize, sizeof(WNDCLASSEXA));
    EXPECT_EQ(window_class.style, 0x43u);
    EXPECT_EQ(window_class.lpfnWndProc, &window_proc);
    EXPECT_EQ(window_class.cbClsExtra, 0);
    EXPECT_EQ(window_class.cbWndExtra, 0);
    EXPECT_EQ(window_class.hIcon, icon_handle(IDI_APPLICATION));
    EXPECT_EQ(window_class.hCursor, cursor_handle(IDC_ARROW));
    EXPECT_EQ((HGDIOBJ)window_class.hbrBackground, stock_object_handle(BLACK_BRUSH));
    EXPECT_EQ(window_class.lpszMenuName, nullptr);
    EXPECT_STREQ(window_class.lpszClassName, "test");
    EXPECT_EQ(window_class.hIconSm, nullptr);

    send_on_create(WM_CLOSE);
    EXPECT_EQ(run_program(), 0);
    ASSERT_EQ(registered_classes().size(), 1u);
    EXPECT_EQ(registered_classes()[0].fields.hInstance, module_handle());
    EXPECT_EQ(registered_classes()[0].name, "test");
}

TEST_F(Startup, WindowedModeOpensAnOverlappedWindowAndKeepsTheCursor)
{
    send_on_create(WM_CLOSE);
    EXPECT_EQ(run_program(), 0);

    ASSERT_EQ(windows().size(), 1u);
    const WindowRecord& w = windows()[0];
    EXPECT_EQ(w.ex_style, 0x40100u);
    EXPECT_EQ(w.class_name, "test");
    EXPECT_EQ(w.title, "test");
    EXPECT_EQ(w.style, 0x00CF0000u);
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.y, 0);
    EXPECT_EQ(w.width, 1280);
    EXPECT_EQ(w.height, 720);
    EXPECT_EQ(w.parent, nullptr);
    EXPECT_EQ(w.menu, nullptr);
    EXPECT_EQ(w.instance, module_handle());
    EXPECT_EQ(w.param, nullptr);
    EXPECT_EQ(w.show_command, SW_SHOW);
    EXPECT_EQ(w.updates, 1);
    EXPECT_FALSE(w.destroyed);
    EXPECT_TRUE(show_cursor_calls().empty());
    EXPECT_EQ(calls_starting_with({"ShowWindow", "UpdateWindow", "Direct3DCreate9"}).size(), 3u);
    EXPECT_EQ(calls_starting_with({"ShowWindow", "UpdateWindow", "Direct3DCreate9"})[1].rfind("UpdateWindow", 0), 0u);
}

TEST_F(Startup, PopUpModeCoversTheScreenAndHidesTheCursorOnce)
{
    present_params.Windowed = FALSE;
    send_on_create(WM_CLOSE);
    int code = run_program();
    present_params.Windowed = TRUE;
    EXPECT_EQ(code, 0);

    ASSERT_EQ(windows().size(), 1u);
    EXPECT_EQ(windows()[0].ex_style, 0x40000u);
    EXPECT_EQ(windows()[0].style, 0x80000000u);
    EXPECT_EQ(windows()[0].width, 1280);
    EXPECT_EQ(windows()[0].height, 720);
    EXPECT_EQ(show_cursor_calls(), std::vector<BOOL>{FALSE});
    auto order = calls_starting_with({"UpdateWindow", "ShowCursor", "Direct3DCreate9"});
    EXPECT_EQ(order, (std::vector<std::string>{"UpdateWindow(0x00001000)", "ShowCursor(0)", "Direct3DCreate9(32)"}));
    EXPECT_EQ(device_record()->params.Windowed, FALSE);
}

TEST_F(Startup, DeviceIsCreatedForTheWindowWithThePresentationParameters)
{
    send_on_create(WM_CLOSE);
    EXPECT_EQ(run_program(), 0);

    DeviceRecord* d = device_record();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->adapter, 0u);
    EXPECT_EQ(d->type, D3DDEVTYPE_HAL);
    EXPECT_EQ(d->focus_window, windows()[0].handle);
    EXPECT_EQ(d->behavior, 0x40u);
    const D3DPRESENT_PARAMETERS& p = d->params;
    EXPECT_EQ(p.BackBufferWidth, 1280u);
    EXPECT_EQ(p.BackBufferHeight, 720u);
    EXPECT_EQ(p.BackBufferFormat, 22);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.MultiSampleType, 0);
    EXPECT_EQ(p.MultiSampleQuality, 0u);
    EXPECT_EQ(p.SwapEffect, 1);
    EXPECT_EQ(p.hDeviceWindow, nullptr);
    EXPECT_EQ(p.Windowed, 1);
    EXPECT_EQ(p.EnableAutoDepthStencil, 1);
    EXPECT_EQ(p.AutoDepthStencilFormat, 75);
    EXPECT_EQ(p.Flags, 0u);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.PresentationInterval, 1u);
    EXPECT_TRUE(d->destroyed);
}

TEST_F(Startup, ShutdownReleasesResourcesThenDeviceThenDirect3D)
{
    send_on_create(WM_CLOSE);
    std::vector<std::string> expected;
    on_present([&] {
        for (IUnknown* o : std::initializer_list<IUnknown*>{resources.noise_texture, resources.scene_texture,
                                                            resources.scene_surface, resources.back_buffer,
                                                            resources.scene_shader, resources.final_shader, device}) {
            expected.push_back(name_of(o));
        }
    });
    EXPECT_EQ(run_program(), 0);

    std::vector<std::string> released;
    for (const std::string& call : calls_starting_with({"Release("})) {
        std::string name = call.substr(8, call.find(')') - 8);
        if (name.rfind("code#", 0) != 0) released.push_back(name);
    }
    ASSERT_EQ(released.size(), 8u);  // six resources, the device, the Direct3D object
    expected.push_back(released.back());
    EXPECT_EQ(released, expected);
    EXPECT_EQ(released.back().rfind("direct3d#", 0), 0u);
    EXPECT_EQ(device, nullptr);
}

}  // namespace
