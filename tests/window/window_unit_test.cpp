// The window service without a display: classes, the queue's order and filters, the cursor counter,
// the timer, the debugger channel, and what happens when there is no display at all.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "recorder.h"

namespace {

TEST(WindowClass, RegistersOnceAndRefusesIncompleteClasses)
{
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = recording_proc;
    window_class.lpszClassName = "unit-class";

    WNDCLASSEXA no_size = window_class;
    no_size.cbSize = 0;
    EXPECT_EQ(RegisterClassExA(&no_size), 0);
    WNDCLASSEXA wrong_size = window_class;
    wrong_size.cbSize = sizeof window_class + 4;
    EXPECT_EQ(RegisterClassExA(&wrong_size), 0);
    WNDCLASSEXA no_procedure = window_class;
    no_procedure.lpfnWndProc = NULL;
    EXPECT_EQ(RegisterClassExA(&no_procedure), 0);
    WNDCLASSEXA no_name = window_class;
    no_name.lpszClassName = NULL;
    EXPECT_EQ(RegisterClassExA(&no_name), 0);
    EXPECT_EQ(RegisterClassExA(NULL), 0);

    EXPECT_NE(RegisterClassExA(&window_class), 0);
    EXPECT_EQ(RegisterClassExA(&window_class), 0) << "a second class of the same name";
    window_class.lpszClassName = "UNIT-Class";
    EXPECT_EQ(RegisterClassExA(&window_class), 0) << "class names ignore case";
}

TEST(Cursor, CountsShowsAndHides)
{
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(ShowCursor(TRUE), 1);
    EXPECT_EQ(ShowCursor(FALSE), 0);
}

TEST(Queue, PostedMessagesComeInOrderAndQuitComesLast)
{
    ASSERT_TRUE(fxplatform::post_message(NULL, WM_USER_TEST_A, 1, 10));
    PostQuitMessage(7);
    ASSERT_TRUE(fxplatform::post_message(NULL, WM_USER_TEST_B, 2, 20));
    ASSERT_TRUE(fxplatform::post_message(NULL, WM_USER_TEST_A, 3, 30));

    MSG message;
    // As in Win32, WM_QUIT waits until the queue holds nothing else.
    const UINT expected[] = {WM_USER_TEST_A, WM_USER_TEST_B, WM_USER_TEST_A, WM_QUIT};
    const WPARAM expected_w[] = {1, 2, 3, 7};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) << i;
        EXPECT_EQ(message.message, expected[i]);
        EXPECT_EQ(message.wParam, expected_w[i]);
    }
    EXPECT_FALSE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
}

TEST(Queue, FiltersByMessageRangeAndKeepsWhatItOnlyPeeks)
{
    fxplatform::post_message(NULL, WM_USER_TEST_A, 1, 0);
    fxplatform::post_message(NULL, WM_USER_TEST_B, 2, 0);
    MSG message;

    ASSERT_TRUE(PeekMessageA(&message, NULL, WM_USER_TEST_B, WM_USER_TEST_B, PM_NOREMOVE));
    EXPECT_EQ(message.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&message, NULL, WM_USER_TEST_B, WM_USER_TEST_B, PM_REMOVE));
    EXPECT_EQ(message.wParam, 2u);
    EXPECT_FALSE(PeekMessageA(&message, NULL, WM_USER_TEST_B, WM_USER_TEST_B, PM_REMOVE));

    // Thread messages are not any window's: a window filter passes them by; (HWND)-1 takes only them.
    EXPECT_FALSE(PeekMessageA(&message, (HWND)(std::uintptr_t)12345, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&message, (HWND)-1, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, (UINT)WM_USER_TEST_A);
    EXPECT_FALSE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));

    EXPECT_FALSE(fxplatform::post_message((HWND)(std::uintptr_t)12345, WM_USER_TEST_A, 0, 0))
        << "posting to a window that does not exist";
    MSG unknown = {};
    unknown.hwnd = (HWND)(std::uintptr_t)12345;
    unknown.message = WM_KEYDOWN;
    EXPECT_EQ(DispatchMessageA(&unknown), 0);
}

TEST(Queue, TranslateTypesCharactersAfterTheirKey)
{
    MSG key = {};
    key.message = WM_KEYDOWN;
    key.wParam = VK_ESCAPE;
    key.lParam = 1;
    EXPECT_TRUE(TranslateMessage(&key));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, (UINT)WM_CHAR);
    EXPECT_EQ(message.wParam, 0x1Bu);

    key.wParam = VK_F5;  // types nothing
    EXPECT_TRUE(TranslateMessage(&key));
    EXPECT_FALSE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    key.message = WM_USER_TEST_A;
    EXPECT_FALSE(TranslateMessage(&key));
}

TEST(Timer, IsMonotonicInMilliseconds)
{
    const DWORD start = timeGetTime();
    DWORD previous = start;
    while (timeGetTime() - start < 30) {
        const DWORD now = timeGetTime();
        ASSERT_LE(now - previous, 30u) << "went backwards (unsigned difference wrapped)";
        previous = now;
    }
}

TEST(DebugOutput, GoesToStandardErrorOnly)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    OutputDebugStringA("ERROR : Can't Create Window");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "ERROR : Can't Create Window\n");
}

// Runs a shell command with no display at all, as on a machine without X or Wayland.
struct Unset {
    const char* name;
    std::string saved;
    bool was_set;
    explicit Unset(const char* n) : name(n), was_set(std::getenv(n) != nullptr)
    {
        if (was_set) saved = std::getenv(n);
        unsetenv(n);
    }
    ~Unset()
    {
        if (was_set) setenv(name, saved.c_str(), 1);
    }
};

TEST(NoDisplay, WindowCreationFailsInsteadOfGoingOffScreen)
{
    Unset display("DISPLAY"), wayland("WAYLAND_DISPLAY"), driver("SDL_VIDEODRIVER");
    fxplatform::set_headless(false);
    ASSERT_NE(register_class("unit-no-display", recording_proc), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(create_window("unit-no-display"), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no display"), std::string::npos);
    EXPECT_TRUE(delivered().empty()) << "no procedure call for a window that never was";
}

std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(NoDisplay, TheProgramReportsItsWindowErrorAndExitCode)
{
    char directory[] = "/tmp/fxview-nodisplay-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string dir = directory;
    const std::string command = "cd " + dir + " && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" +
        FXVIEW_BINARY + "' >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(read_file(dir + "/out.txt"), "") << "the debugger channel is not standard output";
    EXPECT_NE(read_file(dir + "/err.txt").find("ERROR : Can't Create Window"), std::string::npos)
        << read_file(dir + "/err.txt");
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
