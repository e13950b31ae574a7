#include "wayland_seat.h"

#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace {

void on_global(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    if (std::strcmp(interface, wl_seat_interface.name) == 0) *static_cast<bool*>(data) = true;
}

void on_global_remove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener REGISTRY_LISTENER = {on_global, on_global_remove};

enum class Compositor { UNREACHABLE, WITH_SEAT, WITHOUT_SEAT };

// The compositor SDL would reach (WAYLAND_DISPLAY): its globals arrive in one round trip.
Compositor look_at_compositor()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return Compositor::UNREACHABLE;
    bool seat = false;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, &seat);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) return Compositor::UNREACHABLE;
    return seat ? Compositor::WITH_SEAT : Compositor::WITHOUT_SEAT;
}

bool sdl_survives_seatless_wayland()
{
    SDL_version linked;
    SDL_GetVersion(&linked);
    return SDL_VERSIONNUM(linked.major, linked.minor, linked.patch) >= SDL_VERSIONNUM(2, 30, 0);
}

}  // namespace

bool avoid_seatless_wayland()
{
    // SDL tries Wayland when told to, or, untold, in a Wayland session (after X11).
    const char* drivers = std::getenv("SDL_VIDEODRIVER");
    const bool told = drivers && *drivers;
    const bool wayland_possible =
        told ? std::strstr(drivers, "wayland") != nullptr : std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (!wayland_possible || sdl_survives_seatless_wayland()) return true;
    if (look_at_compositor() != Compositor::WITHOUT_SEAT) return true;
    if (!told && std::getenv("DISPLAY")) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        return true;
    }
    SDL_version linked;
    SDL_GetVersion(&linked);
    const char* name = std::getenv("WAYLAND_DISPLAY");
    report(
        "CreateWindowExA: the Wayland compositor '%s' offers no input seat, and SDL %d.%d.%d crashes on one "
        "without (fixed in SDL 2.30)%s",
        name && *name ? name : "wayland-0", linked.major, linked.minor, linked.patch,
        std::getenv("DISPLAY") ? "; SDL_VIDEODRIVER=x11 opens the window through X11 instead" : "");
    return false;
}

}  // namespace window_service
}  // namespace fxplatform
