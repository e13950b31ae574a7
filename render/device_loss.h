// A lost device (Present's D3DERR_DEVICELOST after a lock screen, a display mode change or a
// driver reset), recovered the way Direct3D 9 asks.
#pragma once

#include "platform.h"

// Takes Present's result; a lost device is reported once.
void note_present_result(HRESULT hr);
// True when frames may be drawn. While the device is lost it waits a little (the loop must not
// spin), and once the device can be reset it releases the resources, resets the device with
// `params` and loads everything anew.
bool restore_device(D3DPRESENT_PARAMETERS* params);
