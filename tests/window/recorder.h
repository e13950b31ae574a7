// A window procedure that records what reaches it, for the window service's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window_service.h"

#define WM_USER_TEST_A 0x0401
#define WM_USER_TEST_B 0x0402

struct Delivered {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Delivered>& delivered()
{
    static std::vector<Delivered> list;
    return list;
}

// What WM_CREATE pointed to, kept: the record itself lives only during creation.
struct Created {
    int cx = 0, cy = 0;
    std::string name;
};

inline Created& last_created()
{
    static Created created;
    return created;
}

// Records, then leaves everything to default processing.
inline LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    delivered().push_back({window, message, wParam, lParam});
    if (message == WM_CREATE) {
        const auto* create = (const fxplatform::CreateStructA*)lParam;
        last_created() = {create->cx, create->cy, create->lpszName ? create->lpszName : ""};
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

inline std::vector<UINT> delivered_messages()
{
    std::vector<UINT> messages;
    for (const Delivered& d : delivered()) messages.push_back(d.message);
    return messages;
}

inline std::size_t count_delivered(UINT message, WPARAM wParam)
{
    std::size_t count = 0;
    for (const Delivered& d : delivered()) count += d.message == message && d.wParam == wParam;
    return count;
}

// A class of its own per test, since a name can be registered once per process.
inline ATOM register_class(const char* name, WNDPROC procedure)
{
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.lpszClassName = name;
    return RegisterClassExA(&window_class);
}

inline HWND create_window(const char* class_name, DWORD style = WS_OVERLAPPEDWINDOW)
{
    return CreateWindowExA(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, class_name, "test", style, 0, 0, 1280, 720, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

// The program's loop over what is queued now: true once it takes WM_QUIT.
inline bool loop_takes_quit()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return false;
}

// Takes and dispatches messages as the program's loop does, until none is left.
inline void drain_messages()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
