// SDL before 2.30 crashes while starting its Wayland driver on a compositor that offers no input
// seat (a headless compositor, say). We look at the compositor first, with a registry of our own.
#pragma once

namespace fxplatform {
namespace window_service {

// Keeps SDL's video start off a seatless compositor: where SDL would pick X11 anyway, it is told to;
// where only Wayland is wanted, this says why the window cannot be made and returns false.
bool avoid_seatless_wayland();

}  // namespace window_service
}  // namespace fxplatform
