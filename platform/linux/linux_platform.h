// What the Linux services share among themselves and offer to our own tests and tools.
// The program never includes this: it sees only platform.h.
#pragma once

#include <cstdint>

#include "platform.h"

struct SDL_Window;

namespace fxplatform {

// A window handle is the SDL window's id, so every service can find the window without a registry.
inline HWND window_handle(std::uint32_t sdl_window_id) { return (HWND)(std::uintptr_t)sdl_window_id; }
inline std::uint32_t sdl_window_id(HWND window) { return (std::uint32_t)(std::uintptr_t)window; }

// Tests and tools that ask for it get windows off-screen (no display needed); the viewer never does.
void set_headless(bool headless);

// Tools that render without a user (the capture tool) have no keyboard: GetAsyncKeyState then
// reports no key and says nothing, and saving a shader is no key press (no reload on save).
void set_keyboard_absent(bool absent);

// The viewer's presentation parameters without vsync, for tools and tests that render
// off-screen as fast as they can.
D3DPRESENT_PARAMETERS offscreen_present_params();

// A hidden 1280 x 720 window with default processing, for such tools and tests; NULL on failure.
HWND create_offscreen_window(LPCSTR name);

// The Direct3D object and a device on such a window with those parameters. NULL, with nothing
// left behind, when either fails; otherwise the caller releases both.
IDirect3DDevice9* create_offscreen_device(HWND window, IDirect3D9** direct3d);

// For tests: makes a device act as if its GL context had been reset (a GPU reset): Present reports
// the loss, and TestCooperativeLevel says D3DERR_DEVICELOST `checks` times before it can be reset.
void simulate_context_reset(IDirect3DDevice9* device, int checks);

// ---- Quitting on time, whatever the shader or the compiler does (window service) ----

// The exit code when the X server goes away, beside the program's own 1 to 4.
const int EXIT_DISPLAY_LOST = 5;

// A quit is on its way: SIGTERM, SIGINT or SIGHUP, WM_QUIT posted or just taken, or a close, a
// quit or an Escape press waiting in SDL's queue. Long waits ask, so the program never goes deaf.
bool quit_pending();
// The quit is decided: a signal, or WM_QUIT posted or taken.
bool quit_decided();
// A decided quit will wait for a frame still drawing: the process ends with exit code 0 a quarter
// of a second from now, unless it ends by itself first.
void arm_quit_watchdog();
// The device gave up waiting for a frame: shutting down may wait for it, so a WM_QUIT taken while
// this holds arms the watchdog.
void note_unfinished_frame(bool unfinished);

}  // namespace fxplatform
