// The window service on a real X server (the test script's Xvfb): keys typed through XTEST, the
// window manager's close, F5 seen while another window has the focus. (The real program under X is
// tests/e2e's.)
#include <cstdlib>
#include <functional>
#include <string>

#include "app.h"
#include "recorder.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

class X11 : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server: DISPLAY is unset";
        fxplatform::set_headless(false);
        delivered().clear();
        x = XOpenDisplay(nullptr);
        ASSERT_NE(x, nullptr) << "cannot open the X display " << std::getenv("DISPLAY");
        int event_base, error_base, major, minor;
        ASSERT_TRUE(XTestQueryExtension(x, &event_base, &error_base, &major, &minor));
        class_name = std::string("x11-") + testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    void TearDown() override
    {
        // Each test starts from no window, also when the whole suite runs in one process.
        for (HWND window : fxplatform::window_service::window_handles())
            fxplatform::window_service::destroy_window(window);
        drain_messages();
        if (!x) return;
        // A failed assertion must not leave a key held for the next test.
        for (KeySym key : {XK_Escape, XK_F5}) XTestFakeKeyEvent(x, XKeysymToKeycode(x, key), False, CurrentTime);
        XSync(x, False);
        XCloseDisplay(x);
    }

    HWND create_shown(WNDPROC procedure = recording_proc)
    {
        if (!register_class(class_name.c_str(), procedure)) return NULL;
        HWND window = create_window(class_name.c_str());
        if (!window) return NULL;
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        return window;
    }

    ::Window x_window(HWND window)
    {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(fxplatform::sdl_window(window), &info) || info.subsystem != SDL_SYSWM_X11) return 0;
        return info.info.x11.window;
    }

    // No window manager runs under the test server: the test gives the focus itself.
    void focus(::Window window)
    {
        XSetInputFocus(x, window, RevertToPointerRoot, CurrentTime);
        XSync(x, False);
    }

    void key(KeySym keysym, bool down)
    {
        XTestFakeKeyEvent(x, XKeysymToKeycode(x, keysym), down ? True : False, CurrentTime);
        XSync(x, False);
    }

    // What a window manager sends when the user clicks the close button.
    void send_delete_window(::Window window)
    {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)XInternAtom(x, "WM_DELETE_WINDOW", False);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x, window, False, NoEventMask, &event);
        XSync(x, False);
    }

    // Runs the message loop until the condition holds; false after a few seconds without it.
    static bool pump_until(const std::function<bool()>& condition, Uint32 timeout_ms = 5000)
    {
        const Uint32 start = SDL_GetTicks();
        while (SDL_GetTicks() - start < timeout_ms) {
            drain_messages();
            if (condition()) return true;
            SDL_Delay(5);
        }
        return false;
    }

    Display* x = nullptr;
    std::string class_name;
};

TEST_F(X11, UsesTheDisplayNotAnOffScreenDriver)
{
    ASSERT_NE(create_shown(), nullptr);
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
}

TEST_F(X11, EscapeTypedReachesTheProcedureAsVkEscape)
{
    const HWND window = create_shown();
    ASSERT_NE(window, nullptr);
    focus(x_window(window));
    ASSERT_TRUE(pump_until([] { return count_delivered(WM_SETFOCUS, 0) > 0; })) << "focus never arrived";
    ASSERT_GE(count_delivered(WM_IME_SETCONTEXT, TRUE), 1u) << "activation offers the input method its windows";

    key(XK_Escape, true);
    key(XK_Escape, false);
    ASSERT_TRUE(pump_until([] { return count_delivered(WM_KEYUP, VK_ESCAPE) > 0; }));
    EXPECT_EQ(count_delivered(WM_KEYDOWN, VK_ESCAPE), 1u);
}

TEST_F(X11, HoldingEscapeRepeatsKeyDown)
{
    const HWND window = create_shown();
    ASSERT_NE(window, nullptr);
    focus(x_window(window));
    ASSERT_TRUE(pump_until([] { return count_delivered(WM_SETFOCUS, 0) > 0; }));

    key(XK_Escape, true);
    const bool repeated = pump_until([] { return count_delivered(WM_KEYDOWN, VK_ESCAPE) >= 3; });
    key(XK_Escape, false);
    ASSERT_TRUE(repeated) << "the server's auto-repeat gave " << count_delivered(WM_KEYDOWN, VK_ESCAPE)
                          << " key-down message(s)";
    ASSERT_TRUE(pump_until([] { return count_delivered(WM_KEYUP, VK_ESCAPE) > 0; }));
    int first = 0;
    for (const Delivered& d : delivered()) {
        if (d.message != WM_KEYDOWN) continue;
        EXPECT_EQ((d.lParam >> 30) & 1, first++ ? 1 : 0) << "only repeats say the key was already down";
    }
}

TEST_F(X11, WindowManagersCloseComesAsScCloseThenWmClose)
{
    const HWND window = create_shown();
    ASSERT_NE(window, nullptr);
    delivered().clear();
    send_delete_window(x_window(window));
    ASSERT_TRUE(pump_until([] { return count_delivered(WM_CLOSE, 0) > 0; }));
    std::vector<UINT> order;
    for (const Delivered& d : delivered())
        if ((d.message == WM_SYSCOMMAND && d.wParam == SC_CLOSE) || d.message == WM_CLOSE) order.push_back(d.message);
    EXPECT_EQ(order, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE}));
}

TEST_F(X11, ProgramProcedureQuitsOnTypedEscapeAndOnClose)
{
    const HWND window = create_shown(window_proc);
    ASSERT_NE(window, nullptr);
    focus(x_window(window));
    auto quits = [&] {
        const Uint32 start = SDL_GetTicks();
        while (SDL_GetTicks() - start < 5000) {
            if (loop_takes_quit()) return true;
            SDL_Delay(5);
        }
        return false;
    };
    SDL_Delay(100);
    EXPECT_FALSE(loop_takes_quit());
    key(XK_Escape, true);
    key(XK_Escape, false);
    EXPECT_TRUE(quits()) << "Escape";
    send_delete_window(x_window(window));
    EXPECT_TRUE(quits()) << "the window manager's close";
}

TEST_F(X11, F5IsSeenWhileAnotherWindowHasTheFocus)
{
    const HWND window = create_shown();
    ASSERT_NE(window, nullptr);
    // An editor's window, say: the keyboard focus is there, not on ours.
    const ::Window editor = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(x, editor, StructureNotifyMask | KeyPressMask);
    XMapWindow(x, editor);
    XEvent event;
    do XWindowEvent(x, editor, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    focus(editor);
    drain_messages();
    GetAsyncKeyState(VK_F5);  // forget anything earlier

    key(XK_F5, true);
    EXPECT_TRUE(GetAsyncKeyState(VK_F5) & 0x8000) << "held down now";
    key(XK_F5, false);
    EXPECT_EQ(GetAsyncKeyState(VK_F5), 0) << "released, no press since the last query";

    // A tap that falls between two polls is still reported, once.
    key(XK_F5, true);
    key(XK_F5, false);
    EXPECT_EQ(GetAsyncKeyState(VK_F5), 0x0001);
    EXPECT_EQ(GetAsyncKeyState(VK_F5), 0);

    drain_messages();
    EXPECT_EQ(count_delivered(WM_KEYDOWN, VK_F5), 0u) << "the keys went to the other window";
    EXPECT_TRUE(XCheckTypedWindowEvent(x, editor, KeyPress, &event)) << "the other window had the focus";
    XDestroyWindow(x, editor);
}

}  // namespace
