// The X server or our window gone: a message and EXIT_DISPLAY_LOST instead of Xlib's exit(1).
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <unistd.h>

#include <cstdlib>

#include "display_x11.h"
#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace x11_display {
namespace {

XErrorHandler earlier_error_handler = nullptr;

// exit() still stops the compiler helper. Xlib comes back here if an exit handler touches the dead
// connection or window, and then we leave at once.
[[noreturn]] void leave(const char* what)
{
    static bool leaving = false;
    if (leaving) _exit(EXIT_DISPLAY_LOST);
    leaving = true;
    report("%s; exiting with code %d", what, EXIT_DISPLAY_LOST);
    std::exit(EXIT_DISPLAY_LOST);
}

int server_lost(Display*) { leave("the connection to the X server was lost"); }

bool is_our_window(XID resource)
{
    for (HWND handle : window_handles()) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(sdl_window(handle), &info) && info.subsystem == SDL_SYSWM_X11 &&
            info.info.x11.window == resource)
            return true;
    }
    return false;
}

// Another client destroyed our window: the next request that draws to it or asks its size (the GL
// driver's, usually) fails with one of these, or with an extension's own code (GLX's) for it.
int request_failed(Display* display, XErrorEvent* error)
{
    const bool about_a_window =
        error->error_code == BadWindow || error->error_code == BadDrawable || error->error_code >= FirstExtensionError;
    if (about_a_window && is_our_window(error->resourceid)) leave("the window was destroyed by another program");
    // SDL's handler passes errors on to the one it found, which is ours again after a restart of the
    // video: go round once only.
    static bool passing_on = false;
    if (passing_on || !earlier_error_handler) return 0;
    passing_on = true;
    const int result = earlier_error_handler(display, error);
    passing_on = false;
    return result;
}

}  // namespace

void exit_when_lost()
{
    XSetIOErrorHandler(server_lost);
    XErrorHandler earlier = XSetErrorHandler(request_failed);
    if (earlier != request_failed) earlier_error_handler = earlier;
}

}  // namespace x11_display
}  // namespace window_service
}  // namespace fxplatform
