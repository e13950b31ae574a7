// Leaving when the X server or our window goes away underneath us (display_x11.cpp).
#pragma once

namespace fxplatform {
namespace window_service {
namespace x11_display {

// From now on, losing the X server, or one of our windows destroyed by another client (what
// `xdotool windowclose` does), ends the process with a message and EXIT_DISPLAY_LOST; Xlib's own
// handlers would exit with 1, the program's code for a window class it cannot register. Called
// after SDL's start, whose error handler the others still reach.
void exit_when_lost();

}  // namespace x11_display
}  // namespace window_service
}  // namespace fxplatform
