// The window procedure's table, row by row.
#include "program.h"

using namespace recording;

namespace {

const LRESULT DEFAULT_RESULT = 0x0DEF;

struct Row {
    const char* name;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    int quits;
    bool default_processing;
    LPARAM lparam_passed;  // as default processing receives it
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

HWND open_window()
{
    RegisterClassExA(&window_class);
    return CreateWindowExA(0, "test", "test", WS_OVERLAPPEDWINDOW, 0, 0, 1280, 720, NULL, NULL, NULL, NULL);
}

class WindowProcedure : public RecordingTest, public ::testing::WithParamInterface<Row> {};
class SystemClose : public RecordingTest {};

TEST_P(WindowProcedure, FollowsItsRow)
{
    const Row& row = GetParam();
    HWND window = open_window();
    size_t defaults_before = default_processing().size();

    LRESULT result = window_proc(window, row.message, row.wparam, row.lparam);

    EXPECT_EQ(quit_requests(), row.quits);
    std::vector<DefaultCall> defaults(default_processing().begin() + defaults_before, default_processing().end());
    if (row.default_processing) {
        EXPECT_EQ(result, DEFAULT_RESULT);
        ASSERT_EQ(defaults.size(), 1u);
        EXPECT_EQ(defaults[0].window, window);
        EXPECT_EQ(defaults[0].message, row.message);
        EXPECT_EQ(defaults[0].wparam, row.wparam);
        EXPECT_EQ(defaults[0].lparam, row.lparam_passed);
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(defaults.empty());
    }
    EXPECT_FALSE(window_record(window)->destroyed);
    for (const MSG& m : queued_messages()) EXPECT_EQ(m.message, (UINT)WM_QUIT);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowProcedure,
    ::testing::Values(Row{"Destroy", WM_DESTROY, 0, 0, 1, false, 0}, Row{"Close", WM_CLOSE, 0, 0, 1, false, 0},
                      Row{"Escape", WM_KEYDOWN, VK_ESCAPE, 0x00010001, 1, true, 0x00010001},
                      Row{"EscapeRepeat", WM_KEYDOWN, VK_ESCAPE, 0x40010001, 1, true, 0x40010001},
                      Row{"F5", WM_KEYDOWN, VK_F5, 0x003F0001, 0, true, 0x003F0001},
                      Row{"LetterA", WM_KEYDOWN, 'A', 0x001E0001, 0, true, 0x001E0001},
                      Row{"EscapeKeyUp", WM_KEYUP, VK_ESCAPE, (LPARAM)0xC0010001u, 0, true, (LPARAM)0xC0010001u},
                      Row{"MonitorPower", WM_SYSCOMMAND, SC_MONITORPOWER, 2, 0, false, 0},
                      Row{"MonitorPowerLowBits", WM_SYSCOMMAND, SC_MONITORPOWER | 0xF, 2, 0, false, 0},
                      Row{"ScreenSave", WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, false, 0},
                      Row{"ScreenSaveLowBits", WM_SYSCOMMAND, SC_SCREENSAVE | 0x3, 0, 0, false, 0},
                      Row{"Minimize", WM_SYSCOMMAND, SC_MINIMIZE, 0, 0, true, 0},
                      Row{"KeyMenu", WM_SYSCOMMAND, SC_KEYMENU, ' ', 0, true, ' '},
                      Row{"NextToScreenSave", WM_SYSCOMMAND, SC_SCREENSAVE + 0x10, 0, 0, true, 0},
                      Row{"ImeAllBits", WM_IME_SETCONTEXT, 1, (LPARAM)0xFFFFFFFFu, 0, true, 0x3FFFFFF0},
                      Row{"ImeShownParts", WM_IME_SETCONTEXT, 1, (LPARAM)0xC000000Fu, 0, true, 0},
                      Row{"ImeOtherBits", WM_IME_SETCONTEXT, 0, 0x12345678, 0, true, 0x12345670},
                      Row{"Paint", WM_PAINT, 0, 0, 0, true, 0},
                      Row{"MouseMove", WM_MOUSEMOVE, 1, 0x00200010, 0, true, 0x00200010},
                      Row{"Char", WM_CHAR, 'a', 1, 0, true, 1}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// Default processing turns the system close command into WM_CLOSE, which only asks to quit.
TEST_F(SystemClose, BecomesAQuitRequestAndTheWindowStays)
{
    HWND window = open_window();
    window_proc(window, WM_SYSCOMMAND, SC_CLOSE | 1, 0);

    EXPECT_EQ(quit_requests(), 1);
    ASSERT_EQ(default_processing().back().message, (UINT)WM_SYSCOMMAND);
    EXPECT_EQ(default_processing().back().wparam, (WPARAM)(SC_CLOSE | 1));
    EXPECT_FALSE(window_record(window)->destroyed);
    EXPECT_EQ(count_calls("sent(0x0010)"), 1);
}

}  // namespace
