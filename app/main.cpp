// fxview: a live viewer for the pixel shaders in main.fx.
#include "app.h"
#include "device_loss.h"
#include "render.h"

WNDCLASSEXA window_class = {
    sizeof(WNDCLASSEXA),
    CS_VREDRAW | CS_HREDRAW | CS_CLASSDC,
    window_proc,
    0,
    0,
    NULL,  // hInstance: set by main
    LoadIconA(NULL, IDI_APPLICATION),
    LoadCursorA(NULL, IDC_ARROW),
    (HBRUSH)GetStockObject(BLACK_BRUSH),
    NULL,
    "test",
    NULL,
};

D3DPRESENT_PARAMETERS present_params = {
    SCREEN_WIDTH,
    SCREEN_HEIGHT,
    D3DFMT_X8R8G8B8,
    1,
    D3DMULTISAMPLE_NONE,
    0,
    D3DSWAPEFFECT_DISCARD,
    NULL,  // the focus window is the device window
    TRUE,  // windowed
    TRUE,
    D3DFMT_D24S8,
    0,
    0,
    D3DPRESENT_INTERVAL_ONE,
};

static HWND window = NULL;
static IDirect3D9* direct3d = NULL;

int main(int, char*[])
{
    const BOOL windowed = present_params.Windowed;

    window_class.hInstance = GetModuleHandleA(NULL);
    if (!RegisterClassExA(&window_class)) {
        return EXIT_CLASS_FAILED;
    }

    window = CreateWindowExA(windowed ? WS_EX_APPWINDOW | WS_EX_WINDOWEDGE : WS_EX_APPWINDOW, "test", "test",
                             windowed ? WS_OVERLAPPEDWINDOW : WS_POPUP, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, NULL, NULL,
                             window_class.hInstance, NULL);
    if (!window) {
        OutputDebugStringA("ERROR : Can't Create Window");
        return EXIT_WINDOW_FAILED;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (!windowed) {
        ShowCursor(FALSE);
    }

    direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!direct3d) {
        OutputDebugStringA("ERROR : Direct3DCreate9");
        return EXIT_DIRECT3D_FAILED;
    }
    direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                           &present_params, &device);

    int exit_code = 0;
    if (device) {
        load_resources();

        bool quit = false;
        while (!quit) {
            MSG message;
            while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    quit = true;  // leave the rest queued
                    break;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            // Also after WM_QUIT: one last frame follows the request. A lost device skips frames
            // until it can be reset.
            if (restore_device(&present_params)) render_frame();
        }
    } else {
        OutputDebugStringA("ERROR : CreateDevice");
        exit_code = EXIT_DEVICE_FAILED;
    }

    release_resources();
    if (device) {
        device->Release();
        device = NULL;
    }
    if (direct3d) {
        direct3d->Release();
        direct3d = NULL;
    }
    return exit_code;
}
