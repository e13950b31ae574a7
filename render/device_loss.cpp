#include "device_loss.h"

#include <cstdio>

#include "render.h"

// Frames skipped while the device is lost come this far apart.
static const DWORD LOST_DEVICE_WAIT_MS = 50;

static bool device_lost = false;

void note_present_result(HRESULT hr)
{
    if (hr == D3DERR_DEVICELOST && !device_lost) {
        device_lost = true;
        printf("Error : the device was lost; drawing resumes once it can be reset\n");
    }
}

bool restore_device(D3DPRESENT_PARAMETERS* params)
{
    if (!device_lost) return true;
    HRESULT hr = device->TestCooperativeLevel();
    if (hr == D3DERR_DEVICENOTRESET) {
        // Reset refuses while default-pool resources live; a load makes them all anew anyway.
        release_resources();
        hr = device->Reset(params);
        if (hr == D3D_OK) load_resources();
    }
    if (hr == D3D_OK) {
        device_lost = false;
        return true;
    }
    Sleep(LOST_DEVICE_WAIT_MS);
    return false;
}
