// What the tests reach of the program besides its headers.
#pragma once

#include "app.h"
#include "frame_clock.h"
#include "noise.h"
#include "recording_test.h"
#include "render.h"

// app/main.cpp's main, renamed for the test build.
int fxview_main(int argc, char* argv[]);

inline int run_program()
{
    char name[] = "fxview";
    char* argv[] = {name, nullptr};
    return fxview_main(1, argv);
}

// A device of our own for driving the loader and the renderer without main; released by the
// fixture's owner at the end of the test.
struct TestDevice {
    IDirect3D9* direct3d = nullptr;

    TestDevice()
    {
        static WNDCLASSEXA test_class;
        test_class = window_class;
        test_class.lpszClassName = "device test";
        RegisterClassExA(&test_class);
        HWND window = CreateWindowExA(0, "device test", "test", WS_OVERLAPPEDWINDOW, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT,
                                      NULL, NULL, NULL, NULL);
        direct3d = Direct3DCreate9(D3D_SDK_VERSION);
        direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                               &present_params, &device);
    }

    ~TestDevice()
    {
        release_resources();
        if (device) device->Release();
        device = nullptr;
        direct3d->Release();
    }

    recording::DeviceRecord& state() { return *recording::device_record(); }
};
