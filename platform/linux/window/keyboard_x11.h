// The X server's view of the keyboard, for GetAsyncKeyState (keyboard_x11.cpp).
#pragma once

#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace x11_keyboard {

// Reads the whole keymap from the X server our windows are on, latching what was pressed since the
// last look. False when there is no X connection (no window yet, or not on X11).
bool query();
// Whether a virtual key was down at the last query.
bool is_down(UINT vk);
// Latches key presses the server reported since the last call, without a round trip.
void drain();
void close();
// FXVIEW_GLOBAL_KEYBOARD=0: the user does not want the viewer to read keys meant for other programs.
bool turned_off();

}  // namespace x11_keyboard
}  // namespace window_service
}  // namespace fxplatform
