#include "app.h"

// Clears ISC_SHOWUICOMPOSITIONWINDOW, ISC_SHOWUIGUIDELINE and ISC_SHOWUIALLCANDIDATEWINDOW:
// the input method draws none of its own windows over ours.
static const LPARAM IME_HIDE_UI_MASK = 0x3FFFFFF0;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
    case WM_CLOSE:
        // Closing only asks to quit; the window stays until the process ends.
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            PostQuitMessage(0);
        }
        break;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MONITORPOWER:
        case SC_SCREENSAVE: return 0;
        }
        break;
    case WM_IME_SETCONTEXT: lParam &= IME_HIDE_UI_MASK; break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
