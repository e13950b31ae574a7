// The window service on SDL's off-screen driver (no display): what reaches the procedure when a
// window is created, shown, closed, typed into, and asked about the screensaver.
#include <csignal>
#include <string>

#include "app.h"
#include "recorder.h"

namespace {

class Headless : public testing::Test {
protected:
    void SetUp() override
    {
        fxplatform::set_headless(true);
        delivered().clear();
        class_name = std::string("headless-") + testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // Each test starts from no window, also when the whole suite runs in one process.
    void TearDown() override
    {
        for (HWND window : fxplatform::window_service::window_handles())
            fxplatform::window_service::destroy_window(window);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        }
    }

    HWND create(WNDPROC procedure = recording_proc, DWORD style = WS_OVERLAPPEDWINDOW)
    {
        if (!register_class(class_name.c_str(), procedure)) return NULL;
        return create_window(class_name.c_str(), style);
    }

    std::string class_name;
};

void push_key(HWND window, SDL_Keycode key, SDL_Scancode scancode, bool down, bool repeat = false, Uint16 mod = 0)
{
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = fxplatform::sdl_window_id(window);
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = mod;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void push_window_event(HWND window, Uint8 what)
{
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = fxplatform::sdl_window_id(window);
    event.window.event = what;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

std::vector<Delivered> delivered_of(UINT message)
{
    std::vector<Delivered> found;
    for (const Delivered& d : delivered())
        if (d.message == message) found.push_back(d);
    return found;
}

TEST_F(Headless, CreationAndShowingDeliverWin32sMessagesWithoutADisplay)
{
    unsetenv("DISPLAY");
    const HWND window = create();
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "offscreen");
    SDL_Window* sdl = fxplatform::sdl_window(window);
    ASSERT_NE(sdl, nullptr);
    EXPECT_EQ(SDL_GetWindowFromID(fxplatform::sdl_window_id(window)), sdl) << "the handle is the SDL window id";
    const Uint32 flags = SDL_GetWindowFlags(sdl);
    EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    EXPECT_FALSE(flags & SDL_WINDOW_BORDERLESS);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "test");
    int width = 0, height = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);

    const std::vector<UINT> creation = delivered_messages();
    ASSERT_GE(creation.size(), 4u);
    EXPECT_EQ(creation[0], (UINT)WM_NCCREATE);
    EXPECT_EQ(creation[1], (UINT)WM_CREATE);
    EXPECT_EQ(last_created().cx, 1280);
    EXPECT_EQ(last_created().cy, 720);
    EXPECT_EQ(last_created().name, "test");
    EXPECT_EQ(delivered_of(WM_SIZE).at(0).lParam, (LPARAM)(1280 | (720 << 16)));

    delivered().clear();
    EXPECT_FALSE(ShowWindow(window, SW_SHOW)) << "was hidden";
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
    ASSERT_EQ(delivered_of(WM_SHOWWINDOW).size(), 1u);
    EXPECT_EQ(delivered_of(WM_SHOWWINDOW)[0].wParam, (WPARAM)TRUE);
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_EQ(delivered_of(WM_PAINT).size(), 1u) << "default processing validated the window";
    EXPECT_TRUE(ShowWindow(window, SW_SHOW)) << "was visible";

    ASSERT_TRUE(register_class("headless-popup", recording_proc));
    const HWND popup = create_window("headless-popup", WS_POPUP);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(fxplatform::sdl_window(popup)) & SDL_WINDOW_BORDERLESS);
}

LRESULT CALLBACK refusing_creation_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    recording_proc(window, message, wParam, lParam);
    return message == WM_CREATE ? -1 : DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Headless, ProcedureRefusingCreationFailsIt)
{
    EXPECT_EQ(create(refusing_creation_proc), nullptr);
    const std::vector<UINT> messages = delivered_messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[2], (UINT)WM_DESTROY);
    EXPECT_EQ(messages[3], (UINT)WM_NCDESTROY);
    EXPECT_EQ(SDL_GetWindowFromID(fxplatform::sdl_window_id(delivered()[0].window)), nullptr);
}

TEST_F(Headless, WindowManagerCloseBecomesWmCloseThroughDefaultProcessing)
{
    const HWND window = create();
    ASSERT_NE(window, nullptr);
    delivered().clear();
    push_window_event(window, SDL_WINDOWEVENT_CLOSE);
    drain_messages();
    const std::vector<UINT> messages = delivered_messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0], (UINT)WM_SYSCOMMAND);
    EXPECT_EQ(delivered()[0].wParam, (WPARAM)SC_CLOSE);
    EXPECT_EQ(messages[1], (UINT)WM_CLOSE);
    EXPECT_EQ(messages[2], (UINT)WM_DESTROY) << "default processing of WM_CLOSE destroys";
    EXPECT_EQ(fxplatform::sdl_window(window), nullptr);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
}

TEST_F(Headless, InterruptSignalIsACloseRequest)
{
    const HWND window = create();
    ASSERT_NE(window, nullptr);
    delivered().clear();
    std::raise(SIGINT);
    drain_messages();
    EXPECT_EQ(count_delivered(WM_SYSCOMMAND, SC_CLOSE), 1u);
    EXPECT_EQ(count_delivered(WM_CLOSE, 0), 1u);
}

TEST_F(Headless, KeysArriveAsVirtualKeysWithRepeatAndRelease)
{
    const HWND window = create();
    ASSERT_NE(window, nullptr);
    delivered().clear();
    push_key(window, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, true);
    push_key(window, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, true, true);
    push_key(window, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, false);
    push_key(window, SDLK_F5, SDL_SCANCODE_F5, true);
    drain_messages();

    const std::vector<UINT> messages = delivered_messages();
    const std::vector<UINT> expected = {WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_KEYDOWN};
    ASSERT_EQ(messages, expected);
    EXPECT_EQ(delivered()[0].wParam, (WPARAM)VK_ESCAPE);
    EXPECT_EQ(delivered()[0].lParam, (LPARAM)(1 | (0x01 << 16)));
    EXPECT_EQ(delivered()[2].lParam & (1 << 30), 1 << 30) << "a repeat says the key was down";
    EXPECT_EQ(delivered()[4].lParam, (LPARAM)0xC0010001) << "release: previous state and transition bits";
    EXPECT_EQ(delivered()[5].wParam, (WPARAM)VK_F5);
}

TEST_F(Headless, AltF4ClosesThroughDefaultProcessing)
{
    const HWND window = create();
    ASSERT_NE(window, nullptr);
    delivered().clear();
    push_key(window, SDLK_F4, SDL_SCANCODE_F4, true, false, KMOD_LALT);
    drain_messages();
    const std::vector<UINT> messages = delivered_messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0], (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(delivered()[0].wParam, (WPARAM)VK_F4);
    EXPECT_EQ(messages[1], (UINT)WM_SYSCOMMAND);
    EXPECT_EQ(delivered()[1].wParam, (WPARAM)SC_CLOSE);
    EXPECT_EQ(messages[2], (UINT)WM_CLOSE);
}

TEST_F(Headless, KeyStateFallsBackToTheWindowsKeysAndLatchesTaps)
{
    const HWND window = create();
    ASSERT_NE(window, nullptr);
    drain_messages();
    GetAsyncKeyState(VK_ESCAPE);  // forget presses of earlier tests
    push_key(window, SDLK_F5, SDL_SCANCODE_F5, true);
    push_key(window, SDLK_F5, SDL_SCANCODE_F5, false);
    drain_messages();
    EXPECT_EQ(GetAsyncKeyState(VK_F5), 0x0001) << "pressed since the last query, not down now";
    EXPECT_EQ(GetAsyncKeyState(VK_F5), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
}

TEST_F(Headless, KeyStateSaysOnceThatItSeesOnlyItsOwnWindow)
{
    ASSERT_NE(create(), nullptr);
    fxplatform::window_service::reset_keyboard();  // as if video had just started
    testing::internal::CaptureStderr();
    GetAsyncKeyState(VK_F5);
    GetAsyncKeyState(VK_F5);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no global keyboard state"), std::string::npos) << said;
    EXPECT_EQ(said.find("no global keyboard state"), said.rfind("no global keyboard state")) << "said once";
}

TEST_F(Headless, WindowFilterTakesThatWindowsMessagesOnly)
{
    const HWND first = create();
    ASSERT_TRUE(register_class("headless-second", recording_proc));
    const HWND second = create_window("headless-second");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    fxplatform::post_message(first, WM_USER_TEST_A, 1, 0);
    fxplatform::post_message(second, WM_USER_TEST_A, 2, 0);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, second, WM_USER_TEST_A, WM_USER_TEST_A, PM_REMOVE));
    EXPECT_EQ(message.hwnd, second);
    ASSERT_TRUE(PeekMessageA(&message, NULL, WM_USER_TEST_A, WM_USER_TEST_A, PM_REMOVE));
    EXPECT_EQ(message.hwnd, first);
}

LRESULT CALLBACK screensaver_refusing_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_SCREENSAVE) return 0;
    return recording_proc(window, message, wParam, lParam);
}

TEST_F(Headless, ScreensaverStaysOffWhileAProcedureRefusesIt)
{
    // Returning 0 from default processing is not a refusal.
    const HWND agreeing = create();
    ASSERT_NE(agreeing, nullptr);
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());

    ASSERT_TRUE(register_class("headless-refusing", screensaver_refusing_proc));
    const HWND refusing = create_window("headless-refusing");
    ASSERT_NE(refusing, nullptr);
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());

    fxplatform::post_message(refusing, WM_SYSCOMMAND, SC_CLOSE, 0);
    drain_messages();
    EXPECT_EQ(fxplatform::sdl_window(refusing), nullptr);
    EXPECT_TRUE(SDL_IsScreenSaverEnabled()) << "the refusing window is gone";
}

// The program's own procedure over the real service: Escape and closing end the loop with WM_QUIT.
TEST_F(Headless, ProgramProcedureQuitsOnEscapeAndOnClose)
{
    const HWND window = create(window_proc);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(SDL_IsScreenSaverEnabled()) << "the program refuses the screensaver";
    EXPECT_FALSE(loop_takes_quit());

    push_key(window, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, true);
    EXPECT_TRUE(loop_takes_quit());

    push_window_event(window, SDL_WINDOWEVENT_CLOSE);
    EXPECT_TRUE(loop_takes_quit());
    EXPECT_NE(fxplatform::sdl_window(window), nullptr) << "the program's close only asks to quit";
}

}  // namespace
