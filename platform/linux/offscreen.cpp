// A window, presentation parameters and a device for our own tools and tests that render off-screen.
#include "linux_platform.h"

namespace fxplatform {

D3DPRESENT_PARAMETERS offscreen_present_params()
{
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = 1280;
    params.BackBufferHeight = 720;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return params;
}

HWND create_offscreen_window(LPCSTR name)
{
    set_headless(true);
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = name;
    if (!RegisterClassExA(&window_class)) return NULL;
    return CreateWindowExA(0, name, name, WS_POPUP, 0, 0, 1280, 720, NULL, NULL, window_class.hInstance, NULL);
}

IDirect3DDevice9* create_offscreen_device(HWND window, IDirect3D9** direct3d)
{
    *direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!*direct3d) return NULL;
    D3DPRESENT_PARAMETERS present = offscreen_present_params();
    IDirect3DDevice9* device = NULL;
    (*direct3d)->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &present,
                              &device);
    if (!device) {
        (*direct3d)->Release();
        *direct3d = NULL;
    }
    return device;
}

}  // namespace fxplatform
