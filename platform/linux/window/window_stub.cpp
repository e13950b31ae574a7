// Placeholder until the SDL window service lands: every call fails cleanly.
#include "linux_platform.h"

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA*) { return 0; }
HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID)
{
    return NULL;
}
BOOL WINAPI ShowWindow(HWND, int) { return FALSE; }
BOOL WINAPI UpdateWindow(HWND) { return FALSE; }
int WINAPI ShowCursor(BOOL) { return 0; }
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) { return NULL; }
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) { return NULL; }
BOOL WINAPI PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) { return FALSE; }
BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }
LRESULT WINAPI DispatchMessageA(const MSG*) { return 0; }
LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
VOID WINAPI PostQuitMessage(int) {}
SHORT WINAPI GetAsyncKeyState(int) { return 0; }
HGDIOBJ WINAPI GetStockObject(int) { return NULL; }
HMODULE WINAPI GetModuleHandleA(LPCSTR) { return NULL; }

namespace fxplatform {
void set_headless(bool) {}
}
