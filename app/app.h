// The application shell: window class, presentation parameters and window procedure.
#pragma once

#include "platform.h"

extern WNDCLASSEXA window_class;
extern D3DPRESENT_PARAMETERS present_params;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Exit codes besides 0 for a normal quit.
enum ExitCode {
    EXIT_CLASS_FAILED = 1,
    EXIT_WINDOW_FAILED = 2,
    EXIT_DIRECT3D_FAILED = 3,
    EXIT_DEVICE_FAILED = 4,
};
