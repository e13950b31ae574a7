// The message queue over SDL's events: PeekMessageA, TranslateMessage, DispatchMessageA,
// DefWindowProcA, PostQuitMessage, fxplatform::post_message; inside the service: turning SDL's
// events into Win32 messages and dropping the messages of destroyed windows.
#include <algorithm>
#include <deque>

#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace {

// Win32 keeps posted messages ahead of input, and hands out WM_QUIT and WM_PAINT only when both are
// empty; two queues keep that order (TranslateMessage's WM_CHAR comes before the next key's message).
struct Queue {
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quit = false;
    int quit_code = 0;
    bool quit_taken = false;  // by the last PeekMessageA: the program is in its last frame
    bool unfinished_frame = false;
    bool signal_seen = false;
} queue;

POINT cursor = {0, 0};  // screen position of the last mouse event, for MSG::pt

const LPARAM KEY_ALT_DOWN = 1 << 29;
const LPARAM KEY_WAS_DOWN = 1 << 30;
const LPARAM KEY_RELEASED = (LPARAM)1 << 31;

MSG make_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg;
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = timeGetTime();
    msg.pt = cursor;
    return msg;
}

LPARAM point_lparam(int x, int y) { return (LPARAM)(DWORD)((WORD)x | ((DWORD)(WORD)y << 16)); }

bool matches(HWND hwnd, UINT message, HWND filter, UINT min, UINT max)
{
    if (filter == (HWND)-1) {
        if (hwnd) return false;
    } else if (filter && hwnd != filter) {
        return false;
    }
    return (min == 0 && max == 0) || (min <= message && message <= max);
}

bool take(std::deque<MSG>& messages, MSG* out, HWND filter, UINT min, UINT max, bool remove)
{
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (!matches(it->hwnd, it->message, filter, min, max)) continue;
        *out = *it;
        if (remove) messages.erase(it);
        return true;
    }
    return false;
}

WPARAM mouse_buttons(Uint32 buttons)
{
    enum { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10 };
    WPARAM flags = 0;
    if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
    SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_SHIFT) flags |= MK_SHIFT;
    if (mod & KMOD_CTRL) flags |= MK_CONTROL;
    return flags;
}

void note_cursor(Uint32 window_id, int x, int y)
{
    int window_x = 0, window_y = 0;
    if (SDL_Window* window = SDL_GetWindowFromID(window_id)) SDL_GetWindowPosition(window, &window_x, &window_y);
    cursor = {window_x + x, window_y + y};
}

void post_input(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    queue.input.push_back(make_message(window, message, wParam, lParam));
}

void translate_key(const SDL_KeyboardEvent& key)
{
    const UINT vk = vk_from_sdl(key.keysym.sym, key.keysym.scancode);
    if (!vk) return;
    const bool down = key.type == SDL_KEYDOWN;
    if (down) latch_key(vk);
    const HWND window = window_handle(key.windowID);
    if (!window_exists(window)) return;

    const bool alt = (key.keysym.mod & KMOD_ALT) != 0;
    const bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
    // As in Win32: Alt combinations (not AltGr, which is Ctrl+Alt), F10, and Alt itself are system keys.
    const bool system = (alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl);
    LPARAM lParam = 1 | (LPARAM)(scan_code_from_sdl(key.keysym.scancode) << 16);
    if (alt) lParam |= KEY_ALT_DOWN;
    if (!down) lParam |= KEY_WAS_DOWN | KEY_RELEASED;
    else if (key.repeat) lParam |= KEY_WAS_DOWN;
    const UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    post_input(window, message, vk, (LPARAM)(DWORD)lParam);
}

void translate_window_event(const SDL_WindowEvent& event)
{
    const HWND window = window_handle(event.windowID);
    if (!window_exists(window)) return;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        // The window manager's close is the system menu's Close: the procedure decides.
        post_message(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case SDL_WINDOWEVENT_EXPOSED: invalidate(window); break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        send_message(window, WM_SIZE, FX_SIZE_RESTORED, point_lparam(event.data1, event.data2));
        break;
    case SDL_WINDOWEVENT_MINIMIZED: send_message(window, WM_SIZE, FX_SIZE_MINIMIZED, 0); break;
    case SDL_WINDOWEVENT_MAXIMIZED: {
        int width = 0, height = 0;
        if (SDL_Window* sdl = sdl_window(window)) SDL_GetWindowSize(sdl, &width, &height);
        send_message(window, WM_SIZE, FX_SIZE_MAXIMIZED, point_lparam(width, height));
        break;
    }
    case SDL_WINDOWEVENT_MOVED: send_message(window, WM_MOVE, 0, point_lparam(event.data1, event.data2)); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        // Activation is when Win32 offers the input method its windows (WM_IME_SETCONTEXT).
        send_message(window, WM_ACTIVATE, FX_WA_ACTIVE, 0);
        send_message(window, WM_IME_SETCONTEXT, TRUE, FX_ISC_SHOWUIALL);
        send_message(window, WM_SETFOCUS, 0, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        send_message(window, WM_ACTIVATE, FX_WA_INACTIVE, 0);
        send_message(window, WM_IME_SETCONTEXT, FALSE, FX_ISC_SHOWUIALL);
        send_message(window, WM_KILLFOCUS, 0, 0);
        break;
    }
}

// A signal or SDL's quit: ask every window to close, as a session ending would.
void close_all_windows()
{
    std::vector<HWND> windows = window_handles();
    if (windows.empty()) PostQuitMessage(0);
    for (HWND window : windows) post_message(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void translate(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: translate_key(event.key); break;
    case SDL_WINDOWEVENT: translate_window_event(event.window); break;
    case SDL_QUIT: close_all_windows(); break;
    case SDL_MOUSEMOTION: {
        note_cursor(event.motion.windowID, event.motion.x, event.motion.y);
        const HWND window = window_handle(event.motion.windowID);
        if (window_exists(window))
            post_input(window, WM_MOUSEMOVE, mouse_buttons(event.motion.state),
                       point_lparam(event.motion.x, event.motion.y));
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        note_cursor(event.button.windowID, event.button.x, event.button.y);
        const HWND window = window_handle(event.button.windowID);
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        UINT message = 0;
        switch (event.button.button) {
        case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        }
        if (message && window_exists(window))
            post_input(window, message, mouse_buttons(SDL_GetMouseState(nullptr, nullptr)),
                       point_lparam(event.button.x, event.button.y));
        break;
    }
    case SDL_MOUSEWHEEL: {
        const HWND window = window_handle(event.wheel.windowID);
        const int delta = (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1) * event.wheel.y * 120;
        if (delta && window_exists(window))
            post_input(window, WM_MOUSEWHEEL,
                       ((WPARAM)(WORD)(short)delta << 16) | mouse_buttons(SDL_GetMouseState(nullptr, nullptr)),
                       point_lparam(cursor.x, cursor.y));
        break;
    }
    }
}

void pump()
{
    if (quit_signalled() && !queue.signal_seen) {
        queue.signal_seen = true;
        close_all_windows();
    }
    if (!video_ready()) return;
    SDL_PumpEvents();
    SDL_Event events[32];
    int count;
    while ((count = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0) {
        for (int i = 0; i < count; ++i) translate(events[i]);
    }
    drain_global_keyboard();
    review_screensaver_when_due();
}

// The character a key types, for the keys whose character does not depend on the layout's punctuation.
CHAR character_for(UINT vk)
{
    const SDL_Keymod mod = video_ready() ? SDL_GetModState() : KMOD_NONE;
    const bool shift = (mod & KMOD_SHIFT) != 0;
    const bool caps = (mod & KMOD_CAPS) != 0;
    const bool ctrl = (mod & KMOD_CTRL) != 0;
    if (vk >= 'A' && vk <= 'Z') {
        if (ctrl) return (CHAR)(vk - 'A' + 1);
        return (CHAR)(shift != caps ? vk : vk - 'A' + 'a');
    }
    if (vk >= '0' && vk <= '9') return shift || ctrl ? 0 : (CHAR)vk;
    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 0x1B;
    }
    return 0;
}

}  // namespace

void discard_messages(HWND window)
{
    auto gone = [&](const MSG& msg) { return msg.hwnd == window; };
    queue.posted.erase(std::remove_if(queue.posted.begin(), queue.posted.end(), gone), queue.posted.end());
    queue.input.erase(std::remove_if(queue.input.begin(), queue.input.end(), gone), queue.input.end());
}

}  // namespace window_service

bool quit_decided()
{
    return window_service::quit_signalled() || window_service::queue.quit || window_service::queue.quit_taken;
}

bool quit_pending()
{
    using namespace window_service;
    if (quit_decided()) return true;
    if (!video_ready()) return false;
    // Peeked, not taken: the program still gets every event in order once it drains its queue.
    SDL_PumpEvents();
    SDL_Event events[16];
    int count;
    count = SDL_PeepEvents(events, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT);
    if (count > 0) return true;
    count = SDL_PeepEvents(events, 16, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < count; ++i) {
        if (events[i].window.event == SDL_WINDOWEVENT_CLOSE && window_exists(window_handle(events[i].window.windowID)))
            return true;
    }
    // Escape is the viewer's quit key; the key-down events are few, so 16 reach the latest.
    count = SDL_PeepEvents(events, 16, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
    for (int i = 0; i < count; ++i) {
        if (events[i].key.keysym.sym == SDLK_ESCAPE && window_exists(window_handle(events[i].key.windowID)))
            return true;
    }
    return false;
}

void note_unfinished_frame(bool unfinished) { window_service::queue.unfinished_frame = unfinished; }

bool post_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !window_service::window_exists(window)) return false;
    window_service::queue.posted.push_back(window_service::make_message(window, message, wParam, lParam));
    return true;
}

}  // namespace fxplatform

using namespace fxplatform::window_service;

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (!lpMsg) return FALSE;
    queue.quit_taken = false;
    pump();
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    if (take(queue.posted, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, remove)) return TRUE;
    if (take(queue.input, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, remove)) return TRUE;
    if (queue.quit && matches(NULL, WM_QUIT, hWnd, wMsgFilterMin, wMsgFilterMax)) {
        *lpMsg = make_message(NULL, WM_QUIT, (WPARAM)queue.quit_code, 0);
        if (remove) {
            queue.quit = false;
            queue.quit_taken = true;
            if (queue.unfinished_frame) fxplatform::arm_quit_watchdog();
        }
        return TRUE;
    }
    if (hWnd != (HWND)-1 && matches(NULL, WM_PAINT, NULL, wMsgFilterMin, wMsgFilterMax)) {
        if (HWND window = take_invalid_window(hWnd, remove)) {
            *lpMsg = make_message(window, WM_PAINT, 0, 0);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    if (!lpMsg) return FALSE;
    switch (lpMsg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (CHAR c = character_for((UINT)lpMsg->wParam))
            fxplatform::post_message(lpMsg->hwnd, lpMsg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, (BYTE)c,
                                     lpMsg->lParam);
        return TRUE;
    case WM_KEYUP:
    case WM_SYSKEYUP: return TRUE;
    }
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    if (!lpMsg || !window_exists(lpMsg->hwnd)) return 0;
    return send_message(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: destroy_window(hWnd); return 0;
    case WM_PAINT: validate(hWnd); return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & KEY_ALT_DOWN)) fxplatform::post_message(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND: {
        SDL_Window* sdl = fxplatform::sdl_window(hWnd);
        switch (wParam & 0xFFF0) {
        case SC_CLOSE: send_message(hWnd, WM_CLOSE, 0, 0); break;
        case SC_SCREENSAVE: note_screensaver_defaulted(hWnd); break;
        case SC_MINIMIZE:
            if (sdl) SDL_MinimizeWindow(sdl);
            break;
        case SC_MAXIMIZE:
            if (sdl) SDL_MaximizeWindow(sdl);
            break;
        case SC_RESTORE:
            if (sdl) SDL_RestoreWindow(sdl);
            break;
        }
        return 0;
    }
    }
    return 0;
}

VOID WINAPI PostQuitMessage(int nExitCode)
{
    forget_key_presses();  // an F5 pressed before the quit must not start a compile in the last frame
    queue.quit = true;
    queue.quit_code = nExitCode;
}
