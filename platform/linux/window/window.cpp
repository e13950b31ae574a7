// Windows over SDL2: RegisterClassExA, CreateWindowExA, ShowWindow, UpdateWindow, ShowCursor,
// LoadIconA, LoadCursorA, GetStockObject, GetModuleHandleA, fxplatform::set_headless; inside the
// service: the window table, sending, destruction, painting state, the screensaver and SDL's start.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

#include "display_x11.h"
#include "wayland_seat.h"
#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace {

struct WindowClass {
    std::string name;
    ATOM atom;
    WNDPROC procedure;
};

struct Window {
    HWND handle;
    SDL_Window* sdl;
    WNDPROC procedure;
    DWORD style;
    int outer_width;
    int outer_height;
    bool visible = false;
    bool invalid = false;
    bool borders_subtracted = false;
};

// Function-local so nothing depends on static initialisation order: the program's window class is
// filled (LoadIconA and friends) before main, possibly before this file's globals.
std::vector<WindowClass>& classes()
{
    static std::vector<WindowClass> list;
    return list;
}

std::vector<std::unique_ptr<Window>>& windows()
{
    static std::vector<std::unique_ptr<Window>> list;
    return list;
}

Window* find(HWND handle)
{
    if (!handle) return nullptr;
    for (auto& window : windows()) {
        if (window->handle == handle) return window.get();
    }
    return nullptr;
}

bool is_atom(LPCSTR name) { return ((std::uintptr_t)name >> 16) == 0; }

const WindowClass* find_class(LPCSTR name)
{
    for (const WindowClass& window_class : classes()) {
        if (is_atom(name) ? window_class.atom == (ATOM)(std::uintptr_t)name
                          : strcasecmp(window_class.name.c_str(), name) == 0)
            return &window_class;
    }
    return nullptr;
}

bool headless_requested = false;

struct Video {
    bool up = false;
    bool headless = false;
} video;

int cursor_count = 0;

// Win32 asks the window before the saver would start; we ask again every few seconds instead.
Uint32 last_screensaver_review = 0;
const Uint32 SCREENSAVER_REVIEW_MS = 10000;

struct ScreensaverQuestion {
    HWND window = NULL;
    bool defaulted = false;
} screensaver_question;

void apply_cursor()
{
    if (video.up) SDL_ShowCursor(cursor_count >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

void stop_video()
{
    reset_keyboard();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video.up = false;
}

bool video_is_x11_driver(const char* driver) { return driver && std::strcmp(driver, "x11") == 0; }

bool is_offscreen_driver(const char* driver)
{
    return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

// Video starts with the first window, never earlier: a missing display must fail CreateWindowExA,
// not class registration or static initialisation.
bool start_video()
{
    if (video.up) {
        if (video.headless == headless_requested) return true;
        if (any_window()) {
            report("CreateWindowExA: windows are open %s; close them before switching",
                   video.headless ? "off-screen" : "on the display");
            return false;
        }
        stop_video();
    }
    // Closing the last window is a WM_SYSCOMMAND for the procedure to judge, not a quit of its own.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // On a display our own handlers also take SIGHUP and are heard inside a compile and a frame
    // (quit.cpp); off-screen tools and tests keep SDL's.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, headless_requested ? "0" : "1");
    if (!headless_requested) start_quit_service();
    if (headless_requested)
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);  // over the environment too
    else if (!std::getenv("SDL_VIDEODRIVER") && !std::getenv("WAYLAND_DISPLAY"))
        // Without a Wayland session SDL's attempt only prints libwayland's complaint.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,kmsdrm");
    else SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    if (!headless_requested && !avoid_seatless_wayland()) return false;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        report("CreateWindowExA: no display (%s)", SDL_GetError());
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    // SDL falls back to an invisible off-screen window when it finds no display; a viewer must not.
    if (!headless_requested && is_offscreen_driver(driver)) {
        report("CreateWindowExA: no display (only SDL's %s video driver is available)", driver ? driver : "null");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    // After SDL's start, which sets a handler of its own.
    if (!headless_requested && video_is_x11_driver(driver)) x11_display::exit_when_lost();
    video.up = true;
    video.headless = headless_requested;
    apply_cursor();
    return true;
}

// Win32 sizes the outer window; SDL sizes the client area. Once the window manager reports its
// frame, shrink the client so the outer size is what was asked for.
void subtract_borders(Window& window)
{
    if (window.borders_subtracted || (window.style & WS_POPUP)) return;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window.sdl, &top, &left, &bottom, &right) != 0) return;
    if (top + left + bottom + right == 0) return;
    SDL_SetWindowSize(window.sdl, std::max(1, window.outer_width - left - right),
                      std::max(1, window.outer_height - top - bottom));
    window.borders_subtracted = true;
}

LPARAM size_lparam(int width, int height) { return (LPARAM)(DWORD)((WORD)width | ((DWORD)(WORD)height << 16)); }

void send_size_and_position(HWND handle)
{
    Window* window = find(handle);
    if (!window) return;
    int width = 0, height = 0, x = 0, y = 0;
    SDL_GetWindowSize(window->sdl, &width, &height);
    SDL_GetWindowPosition(window->sdl, &x, &y);
    send_message(handle, WM_SIZE, FX_SIZE_RESTORED, size_lparam(width, height));
    send_message(handle, WM_MOVE, 0, size_lparam(x, y));
}

// Fails the creation the way Win32 does once the procedure has seen the window.
HWND fail_creation(HWND handle)
{
    destroy_window(handle);
    return NULL;
}

}  // namespace

void report(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    OutputDebugStringA(text);
}

bool video_ready() { return video.up; }

bool video_is_x11() { return video.up && video_is_x11_driver(SDL_GetCurrentVideoDriver()); }

bool window_exists(HWND handle) { return find(handle) != nullptr; }
bool any_window() { return !windows().empty(); }

std::vector<HWND> window_handles()
{
    std::vector<HWND> handles;
    for (auto& window : windows()) handles.push_back(window->handle);
    return handles;
}

LRESULT send_message(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = find(handle);
    if (!window) return 0;
    WNDPROC procedure = window->procedure;  // the window may be gone when the procedure returns
    return procedure(handle, message, wParam, lParam);
}

void destroy_window(HWND handle)
{
    if (!find(handle)) return;
    send_message(handle, WM_DESTROY, 0, 0);
    send_message(handle, WM_NCDESTROY, 0, 0);
    auto& list = windows();
    auto it =
        std::find_if(list.begin(), list.end(), [&](const std::unique_ptr<Window>& w) { return w->handle == handle; });
    if (it == list.end()) return;  // a procedure destroyed it meanwhile
    SDL_Window* sdl = (*it)->sdl;
    list.erase(it);
    SDL_DestroyWindow(sdl);
    discard_messages(handle);
    review_screensaver();
}

void invalidate(HWND handle)
{
    if (Window* window = find(handle)) window->invalid = window->visible;
}

void validate(HWND handle)
{
    if (Window* window = find(handle)) window->invalid = false;
}

HWND take_invalid_window(HWND filter, bool remove)
{
    for (auto& window : windows()) {
        if (!window->invalid || (filter && filter != window->handle)) continue;
        // Win32 repeats WM_PAINT until the procedure validates; once per invalidation is enough
        // here and spares a procedure that ignores WM_PAINT an endless loop.
        if (remove) window->invalid = false;
        return window->handle;
    }
    return NULL;
}

void review_screensaver_when_due()
{
    if (SDL_GetTicks() - last_screensaver_review >= SCREENSAVER_REVIEW_MS) review_screensaver();
}

void note_screensaver_defaulted(HWND handle)
{
    if (screensaver_question.window == handle) screensaver_question.defaulted = true;
}

void review_screensaver()
{
    last_screensaver_review = SDL_GetTicks();
    bool refused = false;
    for (HWND handle : window_handles()) {
        screensaver_question = {handle, false};
        LRESULT result = send_message(handle, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
        if (result == 0 && !screensaver_question.defaulted) refused = true;
        screensaver_question = {};
    }
    if (!video.up) return;
    if (refused) SDL_DisableScreenSaver();
    else SDL_EnableScreenSaver();
}

}  // namespace window_service

SDL_Window* sdl_window(HWND handle)
{
    window_service::Window* window = window_service::find(handle);
    return window ? window->sdl : nullptr;
}

void set_headless(bool headless) { window_service::headless_requested = headless; }

}  // namespace fxplatform

using namespace fxplatform::window_service;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx)
{
    static ATOM next_atom = 0xC000;  // where Win32 numbers registered classes from
    if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXA) || !lpwcx->lpfnWndProc || !lpwcx->lpszClassName ||
        is_atom(lpwcx->lpszClassName) || !lpwcx->lpszClassName[0])
        return 0;
    if (find_class(lpwcx->lpszClassName)) return 0;
    if (next_atom == 0xFFFF) return 0;
    classes().push_back({lpwcx->lpszClassName, next_atom, lpwcx->lpfnWndProc});
    return next_atom++;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    if (!lpClassName) return NULL;
    const WindowClass* window_class = find_class(lpClassName);
    if (!window_class) {
        if (is_atom(lpClassName))
            report("CreateWindowExA: no window class with atom %u", (unsigned)(std::uintptr_t)lpClassName);
        else report("CreateWindowExA: no window class named \"%s\"", lpClassName);
        return NULL;
    }
    WNDPROC procedure = window_class->procedure;
    if (!start_video()) return NULL;

    // The device renders off-screen and presents into this window: colour only, 8 bits a channel
    // (EGL would otherwise offer 10-10-10-2 first).
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (dwStyle & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
    else if (dwStyle & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    const int width = nWidth == FX_CW_USEDEFAULT || nWidth <= 0 ? 640 : nWidth;
    const int height = nHeight == FX_CW_USEDEFAULT || nHeight <= 0 ? 480 : nHeight;
    const int x = X == FX_CW_USEDEFAULT ? (int)SDL_WINDOWPOS_UNDEFINED : X;
    const int y = X == FX_CW_USEDEFAULT ? (int)SDL_WINDOWPOS_UNDEFINED : Y;
    SDL_Window* sdl = SDL_CreateWindow(lpWindowName ? lpWindowName : "", x, y, width, height, flags);
    if (!sdl) {
        report("CreateWindowExA: SDL could not create the window (%s)", SDL_GetError());
        return NULL;
    }
    const HWND handle = fxplatform::window_handle(SDL_GetWindowID(sdl));
    auto window = std::make_unique<Window>(Window{handle, sdl, procedure, dwStyle, width, height});
    subtract_borders(*window);
    windows().push_back(std::move(window));

    fxplatform::CreateStructA create = {lpParam, hInstance, hMenu,         hWndParent,   height,      width,
                                        Y,       X,         (LONG)dwStyle, lpWindowName, lpClassName, dwExStyle};
    if (!send_message(handle, WM_NCCREATE, 0, (LPARAM)&create) || !window_exists(handle)) {
        send_message(handle, WM_NCDESTROY, 0, 0);
        auto& list = windows();
        list.erase(std::remove_if(list.begin(), list.end(), [&](auto& w) { return w->handle == handle; }), list.end());
        SDL_DestroyWindow(sdl);
        return NULL;
    }
    if (send_message(handle, WM_CREATE, 0, (LPARAM)&create) == -1 || !window_exists(handle))
        return fail_creation(handle);
    send_size_and_position(handle);
    if ((dwStyle & WS_VISIBLE) && window_exists(handle)) ShowWindow(handle, SW_SHOW);
    review_screensaver();
    drain_global_keyboard();  // starts watching the keyboard from the first window on
    return window_exists(handle) ? handle : NULL;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    enum { SHOW_MINIMIZED = 2, SHOW_MAXIMIZED = 3, MINIMIZE = 6, SHOW_MIN_NO_ACTIVE = 7, RESTORE = 9 };
    Window* window = find(hWnd);
    if (!window) return FALSE;
    const bool was_visible = window->visible;
    const bool show = nCmdShow != SW_HIDE;
    if (show != was_visible) {
        send_message(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        window = find(hWnd);
        if (!window) return was_visible;
    }
    if (!show) {
        SDL_HideWindow(window->sdl);
        window->visible = false;
        window->invalid = false;
        return was_visible;
    }
    SDL_ShowWindow(window->sdl);
    switch (nCmdShow) {
    case SHOW_MINIMIZED:
    case MINIMIZE:
    case SHOW_MIN_NO_ACTIVE: SDL_MinimizeWindow(window->sdl); break;
    case SHOW_MAXIMIZED: SDL_MaximizeWindow(window->sdl); break;
    case RESTORE: SDL_RestoreWindow(window->sdl); break;
    }
    window->visible = true;
    window->invalid = true;
    subtract_borders(*window);
    return was_visible;
}

BOOL WINAPI UpdateWindow(HWND hWnd)
{
    Window* window = find(hWnd);
    if (!window) return FALSE;
    if (window->invalid) send_message(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

int WINAPI ShowCursor(BOOL bShow)
{
    cursor_count += bShow ? 1 : -1;
    apply_cursor();
    return cursor_count;
}

// Icons, cursors and brushes are never drawn by this service: the system ones are harmless
// stand-ins (callable during static initialisation), everything else does not exist here.
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    const std::uintptr_t id = (std::uintptr_t)lpIconName;
    if (hInstance || !is_atom(lpIconName) || id < 32512 || id > 32518) return NULL;
    return (HICON)(0x10000 + id);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    const std::uintptr_t id = (std::uintptr_t)lpCursorName;
    if (hInstance || !is_atom(lpCursorName) || id < 32512 || id > 32651) return NULL;
    return (HCURSOR)(0x20000 + id);
}

HGDIOBJ WINAPI GetStockObject(int i)
{
    if (i < 0 || i > 19 || i == 9) return NULL;  // 9 was never a stock object
    return (HGDIOBJ)(std::uintptr_t)(0x30000 + i);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    // Only the program itself is a module here; 0x400000 is where Win32 loads one.
    return lpModuleName ? NULL : (HMODULE)(std::uintptr_t)0x400000;
}
