// Keys: GetAsyncKeyState; inside the service: SDL keys to Win32 virtual-key codes and scan codes,
// and the "pressed since the last query" latch. The X server's global state is in keyboard_x11.cpp.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "keyboard_x11.h"
#include "source_watch.h"
#include "window_service.h"

namespace fxplatform {
namespace window_service {
namespace {

bool latched[256];
bool keyboard_absent = false;
bool fallback_announced = false;
bool reload_on_save_decided = false;

// The virtual key of an SDL key, left and right modifiers kept apart.
UINT specific_vk(SDL_Keycode key, SDL_Scancode scancode)
{
    if (key >= 'a' && key <= 'z') return (UINT)(key - 'a' + 'A');
    if (key >= '0' && key <= '9') return (UINT)key;
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (UINT)(key - SDLK_F1);
    if (key >= SDLK_F13 && key <= SDLK_F24) return VK_F13 + (UINT)(key - SDLK_F13);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (UINT)(key - SDLK_KP_1);
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
    case SDLK_SCROLLLOCK: return VK_SCROLL;
    case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDLK_LSHIFT: return VK_LSHIFT;
    case SDLK_RSHIFT: return VK_RSHIFT;
    case SDLK_LCTRL: return VK_LCONTROL;
    case SDLK_RCTRL: return VK_RCONTROL;
    case SDLK_LALT: return VK_LMENU;
    case SDLK_RALT: return VK_RMENU;
    case SDLK_MODE: return VK_RMENU;
    case SDLK_LGUI: return VK_LWIN;
    case SDLK_RGUI: return VK_RWIN;
    case SDLK_APPLICATION: return VK_APPS;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_SEMICOLON: return VK_OEM_1;
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_BACKQUOTE: return VK_OEM_3;
    case SDLK_LEFTBRACKET: return VK_OEM_4;
    case SDLK_BACKSLASH: return VK_OEM_5;
    case SDLK_RIGHTBRACKET: return VK_OEM_6;
    case SDLK_QUOTE: return VK_OEM_7;
    }
    // A layout whose letters are not Latin: fall back to the key's place on a US keyboard, as Win32 does.
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) return 'A' + (UINT)(scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) return '1' + (UINT)(scancode - SDL_SCANCODE_1);
    if (scancode == SDL_SCANCODE_0) return '0';
    return 0;
}

bool sdl_key_down(UINT vk)
{
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int scancode = 0; state && scancode < count; ++scancode) {
        if (!state[scancode]) continue;
        UINT key = specific_vk(SDL_GetKeyFromScancode((SDL_Scancode)scancode), (SDL_Scancode)scancode);
        if (key == vk || generic_vk(key) == vk) return true;
    }
    return false;
}

struct ScanCode {
    SDL_Scancode key;
    UINT code;  // set 1; 0x100 marks an extended key
};

const ScanCode SCAN_CODES[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},       {SDL_SCANCODE_MINUS, 0x0C},      {SDL_SCANCODE_EQUALS, 0x0D},
    {SDL_SCANCODE_BACKSPACE, 0x0E},    {SDL_SCANCODE_TAB, 0x0F},        {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C},     {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_SEMICOLON, 0x27},    {SDL_SCANCODE_APOSTROPHE, 0x28}, {SDL_SCANCODE_GRAVE, 0x29},
    {SDL_SCANCODE_LSHIFT, 0x2A},       {SDL_SCANCODE_BACKSLASH, 0x2B},  {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},       {SDL_SCANCODE_SLASH, 0x35},      {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37},  {SDL_SCANCODE_LALT, 0x38},       {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},     {SDL_SCANCODE_F11, 0x57},        {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_KP_ENTER, 0x11C},    {SDL_SCANCODE_RCTRL, 0x11D},     {SDL_SCANCODE_KP_DIVIDE, 0x135},
    {SDL_SCANCODE_RALT, 0x138},        {SDL_SCANCODE_HOME, 0x147},      {SDL_SCANCODE_UP, 0x148},
    {SDL_SCANCODE_PAGEUP, 0x149},      {SDL_SCANCODE_LEFT, 0x14B},      {SDL_SCANCODE_RIGHT, 0x14D},
    {SDL_SCANCODE_END, 0x14F},         {SDL_SCANCODE_DOWN, 0x150},      {SDL_SCANCODE_PAGEDOWN, 0x151},
    {SDL_SCANCODE_INSERT, 0x152},      {SDL_SCANCODE_DELETE, 0x153},
};

// Set-1 codes of the letters in alphabetical order.
const unsigned char LETTER_SCAN_CODES[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                             0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                             0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

// Reload on save: where F5 pressed in another program cannot reach us, saving a source file the
// program compiles counts as an F5 press. In a Wayland session that holds even on X11: XWayland sees
// no keys sent to the native programs (the editor). FXVIEW_RELOAD_ON_SAVE=1 or 0 decides it either way.
void decide_reload_on_save(bool global_keyboard)
{
    reload_on_save_decided = true;
    const char* setting = std::getenv("FXVIEW_RELOAD_ON_SAVE");
    const bool wayland_session = std::getenv("WAYLAND_DISPLAY") != nullptr;
    const bool wanted = setting && *setting ? std::strcmp(setting, "0") != 0 : !global_keyboard || wayland_session;
    if (!wanted || source_watch::running()) return;
    if (source_watch::start())
        report(
            "GetAsyncKeyState: saving %s counts as pressing F5 (reload on save; FXVIEW_RELOAD_ON_SAVE=0 turns it "
            "off)",
            source_watch::names().empty() ? "a compiled shader file" : source_watch::names().c_str());
    else report("GetAsyncKeyState: cannot watch files for reload on save (%s)", std::strerror(errno));
}

}  // namespace

UINT generic_vk(UINT vk)
{
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU: return VK_MENU;
    }
    return vk;
}

UINT vk_from_sdl(SDL_Keycode key, SDL_Scancode scancode) { return generic_vk(specific_vk(key, scancode)); }

UINT scan_code_from_sdl(SDL_Scancode scancode)
{
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) return LETTER_SCAN_CODES[scancode - SDL_SCANCODE_A];
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_0) return 0x02 + (UINT)(scancode - SDL_SCANCODE_1);
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F10) return 0x3B + (UINT)(scancode - SDL_SCANCODE_F1);
    for (const ScanCode& entry : SCAN_CODES) {
        if (entry.key == scancode) return entry.code;
    }
    return 0;
}

void latch_key(UINT vk)
{
    if (vk >= 256) return;
    latched[vk] = true;
    latched[generic_vk(vk)] = true;
}

void drain_global_keyboard()
{
    if (video_is_x11()) x11_keyboard::drain();
}

void forget_key_presses()
{
    drain_global_keyboard();
    for (bool& key : latched) key = false;
}

void reset_keyboard()
{
    x11_keyboard::close();
    for (bool& key : latched) key = false;
    fallback_announced = false;
    reload_on_save_decided = false;  // the watch itself outlives the video: it is about files
}

}  // namespace window_service

void set_keyboard_absent(bool absent) { window_service::keyboard_absent = absent; }

}  // namespace fxplatform

using namespace fxplatform::window_service;

SHORT WINAPI GetAsyncKeyState(int vKey)
{
    if (keyboard_absent || vKey <= 0 || vKey >= 256) return 0;
    const UINT vk = (UINT)vKey;
    bool down = false;
    bool saved = false;
    if (video_ready()) {
        // The X server knows the whole keyboard, whichever window has the focus.
        const bool global_keyboard = video_is_x11() && x11_keyboard::query();
        if (global_keyboard) {
            down = x11_keyboard::is_down(vk);
        } else if (!fallback_announced && video_is_x11() && x11_keyboard::turned_off()) {
            fallback_announced = true;
            report(
                "GetAsyncKeyState: the global keyboard is off (FXVIEW_GLOBAL_KEYBOARD=0); only keys pressed in this "
                "program's windows are seen");
        } else if (!fallback_announced) {
            fallback_announced = true;
            report(
                "GetAsyncKeyState: the %s display has no global keyboard state; only keys pressed in this "
                "program's windows are seen",
                SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "current");
        }
        // SDL also sees keys sent to our window alone (synthetic events the X keymap never shows).
        down = down || sdl_key_down(vk);
        if (!reload_on_save_decided) decide_reload_on_save(global_keyboard);
        if (vk == VK_F5) {
            saved = fxplatform::source_watch::saved();
            for (const std::string& folder : fxplatform::source_watch::take_lost_folders())
                report("GetAsyncKeyState: reload on save has stopped: the folder of %s (%s) is gone",
                       fxplatform::source_watch::names(folder).c_str(), folder.c_str());
        }
    }
    const bool pressed = latched[vk] || saved;
    latched[vk] = false;
    return (SHORT)((down ? 0x8000 : 0) | (pressed ? 0x0001 : 0));
}
