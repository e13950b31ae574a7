// The global keyboard on X11: XQueryKeymap for what is down now, and the X Input extension's raw key
// presses (delivered whichever window has the focus) so that a tap between two polls is latched.
// Uses its own connection to SDL's X display, so SDL's event loop never sees (or eats) these events.
#include <SDL_syswm.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>

#include "keyboard_x11.h"

namespace fxplatform {
namespace window_service {
namespace x11_keyboard {
namespace {

struct Connection {
    Display* display = nullptr;
    bool failed = false;
    int xi_opcode = -1;
    bool raw_events = false;
    UINT vk_of_keycode[256][2] = {};  // unshifted and shifted meaning (the keypad has two)
    char keymap[32] = {};
    DWORD last_keymap_ms = 0;
} x;

// Without raw events, taps are latched from keymap changes: look often, but not at every message.
const DWORD KEYMAP_POLL_MS = 5;

UINT vk_from_keysym(KeySym keysym)
{
    if (keysym >= XK_a && keysym <= XK_z) return 'A' + (UINT)(keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z) return 'A' + (UINT)(keysym - XK_A);
    if (keysym >= XK_0 && keysym <= XK_9) return '0' + (UINT)(keysym - XK_0);
    if (keysym >= XK_F1 && keysym <= XK_F24) return VK_F1 + (UINT)(keysym - XK_F1);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return VK_NUMPAD0 + (UINT)(keysym - XK_KP_0);
    switch (keysym) {
    case XK_Escape: return VK_ESCAPE;
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_BackSpace: return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab: return VK_TAB;
    case XK_space: return VK_SPACE;
    case XK_Pause: return VK_PAUSE;
    case XK_Caps_Lock: return VK_CAPITAL;
    case XK_Prior:
    case XK_KP_Prior: return VK_PRIOR;
    case XK_Next:
    case XK_KP_Next: return VK_NEXT;
    case XK_End:
    case XK_KP_End: return VK_END;
    case XK_Home:
    case XK_KP_Home: return VK_HOME;
    case XK_Left:
    case XK_KP_Left: return VK_LEFT;
    case XK_Up:
    case XK_KP_Up: return VK_UP;
    case XK_Right:
    case XK_KP_Right: return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down: return VK_DOWN;
    case XK_Insert:
    case XK_KP_Insert: return VK_INSERT;
    case XK_Delete:
    case XK_KP_Delete: return VK_DELETE;
    case XK_Print: return VK_SNAPSHOT;
    case XK_Scroll_Lock: return VK_SCROLL;
    case XK_Num_Lock: return VK_NUMLOCK;
    case XK_Shift_L: return VK_LSHIFT;
    case XK_Shift_R: return VK_RSHIFT;
    case XK_Control_L: return VK_LCONTROL;
    case XK_Control_R: return VK_RCONTROL;
    case XK_Alt_L:
    case XK_Meta_L: return VK_LMENU;
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
    case XK_Mode_switch: return VK_RMENU;
    case XK_Super_L: return VK_LWIN;
    case XK_Super_R: return VK_RWIN;
    case XK_Menu: return VK_APPS;
    case XK_KP_Multiply: return VK_MULTIPLY;
    case XK_KP_Add: return VK_ADD;
    case XK_KP_Subtract: return VK_SUBTRACT;
    case XK_KP_Decimal: return VK_DECIMAL;
    case XK_KP_Divide: return VK_DIVIDE;
    case XK_semicolon: return VK_OEM_1;
    case XK_equal: return VK_OEM_PLUS;
    case XK_comma: return VK_OEM_COMMA;
    case XK_minus: return VK_OEM_MINUS;
    case XK_period: return VK_OEM_PERIOD;
    case XK_slash: return VK_OEM_2;
    case XK_grave: return VK_OEM_3;
    case XK_bracketleft: return VK_OEM_4;
    case XK_backslash: return VK_OEM_5;
    case XK_bracketright: return VK_OEM_6;
    case XK_apostrophe: return VK_OEM_7;
    }
    return 0;
}

void build_key_table()
{
    int min_keycode = 0, max_keycode = 0;
    XDisplayKeycodes(x.display, &min_keycode, &max_keycode);
    std::memset(x.vk_of_keycode, 0, sizeof x.vk_of_keycode);
    for (int keycode = min_keycode; keycode <= max_keycode && keycode < 256; ++keycode) {
        x.vk_of_keycode[keycode][0] = vk_from_keysym(XkbKeycodeToKeysym(x.display, (KeyCode)keycode, 0, 0));
        x.vk_of_keycode[keycode][1] = vk_from_keysym(XkbKeycodeToKeysym(x.display, (KeyCode)keycode, 0, 1));
    }
}

void latch_keycode(int keycode)
{
    if (keycode < 0 || keycode >= 256) return;
    for (UINT vk : x.vk_of_keycode[keycode]) {
        if (vk) latch_key(vk);
    }
}

// Raw key presses reach a client listening on the root window whichever window has the focus,
// even under another client's grab.
void listen_for_raw_keys()
{
    int event_base = 0, error_base = 0;
    if (!XQueryExtension(x.display, "XInputExtension", &x.xi_opcode, &event_base, &error_base)) return;
    int major = 2, minor = 2;
    if (XIQueryVersion(x.display, &major, &minor) != Success) return;
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XIEventMask event_mask;
    event_mask.deviceid = XIAllMasterDevices;
    event_mask.mask_len = sizeof mask;
    event_mask.mask = mask;
    XISelectEvents(x.display, DefaultRootWindow(x.display), &event_mask, 1);
    x.raw_events = true;
}

bool open()
{
    if (x.display) return true;
    if (x.failed || turned_off()) return false;
    SDL_Window* window = nullptr;
    for (HWND handle : window_handles()) {
        if ((window = sdl_window(handle))) break;
    }
    if (!window) return false;  // nothing to ask SDL about yet: try again with the first window

    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        x.failed = true;
        return false;
    }
    x.display = XOpenDisplay(DisplayString(info.info.x11.display));
    if (!x.display) {
        x.failed = true;
        report("GetAsyncKeyState: cannot reach the X server; only keys pressed in this program's windows are seen");
        return false;
    }
    build_key_table();
    listen_for_raw_keys();
    XQueryKeymap(x.display, x.keymap);  // what is already down is no news
    x.last_keymap_ms = timeGetTime();
    return true;
}

void read_keymap()
{
    char keymap[32];
    XQueryKeymap(x.display, keymap);
    for (int keycode = 0; keycode < 256; ++keycode) {
        const char bit = (char)(1 << (keycode & 7));
        if ((keymap[keycode >> 3] & bit) && !(x.keymap[keycode >> 3] & bit)) latch_keycode(keycode);
    }
    std::memcpy(x.keymap, keymap, sizeof keymap);
    x.last_keymap_ms = timeGetTime();
}

void take_events()
{
    while (XPending(x.display)) {
        XEvent event;
        XNextEvent(x.display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            build_key_table();
            continue;
        }
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != x.xi_opcode) continue;
        if (!XGetEventData(x.display, cookie)) continue;
        if (cookie->evtype == XI_RawKeyPress) latch_keycode(((XIRawEvent*)cookie->data)->detail);
        XFreeEventData(x.display, cookie);
    }
}

}  // namespace

bool query()
{
    if (!open()) return false;
    // The keymap's reply comes after every event the server sent before it, so the drain that
    // follows sees every press up to now.
    read_keymap();
    take_events();
    return true;
}

bool is_down(UINT vk)
{
    if (!x.display) return false;
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (!(x.keymap[keycode >> 3] & (1 << (keycode & 7)))) continue;
        for (UINT key : x.vk_of_keycode[keycode]) {
            if (key && (key == vk || generic_vk(key) == vk)) return true;
        }
    }
    return false;
}

void drain()
{
    if (!open()) return;
    take_events();
    if (!x.raw_events && timeGetTime() - x.last_keymap_ms >= KEYMAP_POLL_MS) read_keymap();
}

bool turned_off()
{
    const char* setting = std::getenv("FXVIEW_GLOBAL_KEYBOARD");
    return setting && std::strcmp(setting, "0") == 0;
}

void close()
{
    if (x.display) XCloseDisplay(x.display);
    x = Connection();
}

}  // namespace x11_keyboard
}  // namespace window_service
}  // namespace fxplatform
