// Inside the window service: what window.cpp, messages.cpp and keyboard*.cpp share, and the few
// hooks our own tests use. The program never includes this.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "linux_platform.h"

// Win32 values the program's header does not need but the service delivers.
#ifndef WM_NCDESTROY
#define WM_NCDESTROY 0x0082
#endif
#ifndef WM_ACTIVATE
#define WM_ACTIVATE 0x0006
#endif
#define FX_WA_INACTIVE 0
#define FX_WA_ACTIVE 1
#define FX_SIZE_RESTORED 0
#define FX_SIZE_MINIMIZED 1
#define FX_SIZE_MAXIMIZED 2
#define FX_CW_USEDEFAULT ((int)0x80000000)
// ISC_SHOWUIALL: what an input method may show when the window is activated.
#define FX_ISC_SHOWUIALL ((LPARAM)0xC000000F)

namespace fxplatform {

// The record WM_NCCREATE and WM_CREATE point to, in Win32's field order.
struct CreateStructA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

// Appends a message to the thread's queue, as PostMessageA would. Fails for a window that does not exist
// (a null window posts a thread message).
bool post_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The SDL window behind a handle, or null.
SDL_Window* sdl_window(HWND window);

namespace window_service {

// One line on the debugger channel, printf-style.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Win32's SendMessage: calls the window's procedure at once. 0 for a window that does not exist.
LRESULT send_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// DestroyWindow: WM_DESTROY and WM_NCDESTROY to the procedure, then the SDL window and its queued messages go.
void destroy_window(HWND window);

// Drops the queued messages of a window that is gone (messages.cpp).
void discard_messages(HWND window);

bool window_exists(HWND window);
bool any_window();
// A copy of the handles: a procedure may create or destroy windows while the caller walks them.
std::vector<HWND> window_handles();

// Painting: a window is invalid after showing or an expose until default processing of WM_PAINT.
void invalidate(HWND window);
void validate(HWND window);
HWND take_invalid_window(HWND filter, bool remove);

// Screensaver: asks each window whether it refuses SC_SCREENSAVE, and keeps the saver off while one does.
void review_screensaver();
void review_screensaver_when_due();
// Set by DefWindowProcA when the SC_SCREENSAVE question reaches default processing.
void note_screensaver_defaulted(HWND window);

// True once SDL's video is up (driver chosen, checked); false before the first window.
bool video_ready();
bool video_is_x11();

// Signals and the watchdog (quit.cpp); started with video.
void start_quit_service();
bool quit_signalled();

// Keyboard (keyboard.cpp). Virtual keys the program's header does not name:
enum ExtraVirtualKey : UINT {
    VK_LSHIFT = 0xA0,
    VK_RSHIFT = 0xA1,
    VK_LCONTROL = 0xA2,
    VK_RCONTROL = 0xA3,
    VK_LMENU = 0xA4,
    VK_RMENU = 0xA5,
    VK_LWIN = 0x5B,
    VK_RWIN = 0x5C,
    VK_APPS = 0x5D,
    VK_SNAPSHOT = 0x2C,
    VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91,
    VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
    VK_DECIMAL = 0x6E,
    VK_DIVIDE = 0x6F,
    VK_F13 = 0x7C,
    VK_OEM_1 = 0xBA,
    VK_OEM_PLUS = 0xBB,
    VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD,
    VK_OEM_PERIOD = 0xBE,
    VK_OEM_2 = 0xBF,
    VK_OEM_3 = 0xC0,
    VK_OEM_4 = 0xDB,
    VK_OEM_5 = 0xDC,
    VK_OEM_6 = 0xDD,
    VK_OEM_7 = 0xDE,
};
// Messages carry the generic VK_SHIFT, VK_CONTROL and VK_MENU; key-state queries accept both kinds.
UINT generic_vk(UINT vk);
UINT vk_from_sdl(SDL_Keycode key, SDL_Scancode scancode);
// The Win32 scan code (set 1) of a key, with the extended-key flag in bit 8.
UINT scan_code_from_sdl(SDL_Scancode scancode);
void latch_key(UINT vk);
// Takes what the X server reported since the last call, so key presses outside our window are latched.
void drain_global_keyboard();
// Forgets the X connection, the latches and what was said, when SDL's video goes down.
void reset_keyboard();
// Forgets the presses latched so far (a quit drops a pending F5).
void forget_key_presses();

}  // namespace window_service
}  // namespace fxplatform
