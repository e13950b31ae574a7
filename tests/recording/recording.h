// The recording test platform: an in-memory stand-in for the Win32 / Direct3D 9 / D3DX 9 /
// timer subset the program calls. It keeps the state a real platform would (reference counts,
// device bindings, a message queue) and records every call, so tests can check both what the
// program asked for and what it left behind.
//
// Everything here lives in function-local statics: the program calls some of it while static
// initialisation is still running.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform.h"

namespace recording {

// ---- Calls, scripted failures and misuse (core.cpp) ----

// Forgets everything scripted and recorded since the last reset. Objects still alive stay tracked.
void reset();

// One entry per platform call, e.g. "SetTexture(1, texture#7)"; program output to stdout appears
// in order as "stdout: <text>" while stdout is captured.
const std::vector<std::string>& calls();
void log_call(const std::string& entry);
// The entries whose text starts with one of the prefixes, in order.
std::vector<std::string> calls_starting_with(std::initializer_list<const char*> prefixes);
int count_calls(const char* prefix);

// The occurrences first..last (1-based, counted since reset) of calls matching `key` fail with `hr`.
// Keys are a function name ("CreateTexture", "BeginScene") or a qualified one where the service
// offers it ("D3DXCompileShaderFromFileA:ps_main_f", "CreatePixelShader:ps_main", "CreateTexture:32x32").
// Every call the program makes that can fail can be made to: HRESULT calls return `hr` and change
// nothing (EndScene still ends the scene), handle calls return NULL, ShowWindow shows nothing,
// UpdateWindow paints nothing, PeekMessageA finds nothing, DispatchMessageA loses the message,
// DefWindowProcA does nothing, GetAsyncKeyState reads 0 and timeGetTime reads 0 once. Calls Win32
// gives no failure (PostQuitMessage, TranslateMessage, Sleep, OutputDebugStringA) cannot fail.
void fail_call(const std::string& key, int first = 1, int last = -1, HRESULT hr = E_FAIL);
const int ALWAYS = 0x7FFFFFFF;
// For the services: counts one call under each key and returns the scripted failure, or S_OK.
HRESULT scripted_result(std::initializer_list<std::string> keys);
// How many calls were counted under `key` since the reset.
int counted_calls(const std::string& key);

// Misuse the platform noticed (calls on released objects, over-release, invalid arguments).
void violation(const std::string& what);
const std::vector<std::string>& violations();

// ---- Reference-counted objects (core.cpp) ----

// Every COM object the platform hands out. References the program holds are `refs` (what AddRef
// and Release return); references the device holds for its bindings are separate, as in Direct3D:
// a texture still bound stays alive after the program's last Release. An object is destroyed
// when both reach zero. Surfaces forward both counts to their container. Objects are never freed,
// so a stale pointer stays inspectable and calls through it are reported, not undefined.
class Object {
public:
    Object(const char* kind, Object* container = nullptr);
    virtual ~Object() = default;

    const std::string& name() const { return name_; }
    const std::string& kind() const { return kind_; }
    Object* container() const { return container_; }
    ULONG refs() const;
    ULONG bindings() const;
    bool destroyed() const;

    ULONG add_ref();
    ULONG release();
    void bind();
    void unbind();
    // False, with a violation, when the object is already destroyed.
    bool usable(const char* call) const;

protected:
    virtual void on_destroy() {}

private:
    void destroy_if_unused();

    std::string kind_;
    std::string name_;
    Object* container_;
    ULONG refs_ = 1;
    ULONG bindings_ = 0;
    bool destroyed_ = false;
    bool reported_ = false;
    friend std::vector<Object*> take_leaked_objects();
};

Object* object_of(IUnknown* object);
// Every object made since the process started that is not yet destroyed.
std::vector<Object*> live_objects();
std::string name_of(IUnknown* object);  // "NULL" for none
// Objects whose references never came back since the last call, each reported once.
std::vector<Object*> take_leaked_objects();

// ---- stdout and debugger output (capture.cpp, window.cpp) ----

void start_stdout_capture();
void stop_stdout_capture();
std::string captured_stdout();  // everything the process printed since the capture started
// What was printed since the last poll; the call log uses it to keep output in order with calls.
std::string poll_stdout();

const std::vector<std::string>& debug_output();  // one entry per OutputDebugStringA
int sleeps();                                    // Sleep calls since the reset (they return at once)

// ---- Window, input, GDI, kernel (window.cpp) ----

struct WindowRecord {
    HWND handle;
    DWORD ex_style;
    std::string class_name;
    std::string title;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    LPVOID param;
    WNDPROC procedure;
    int show_command;  // -1 until ShowWindow
    int updates;
    bool destroyed;
};

struct DefaultCall {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

struct RegisteredClass {
    WNDCLASSEXA fields;
    std::string name;
};

HINSTANCE module_handle();
HICON icon_handle(LPCSTR id);        // what LoadIconA(NULL, id) returns
HCURSOR cursor_handle(LPCSTR id);    // what LoadCursorA(NULL, id) returns
HGDIOBJ stock_object_handle(int i);  // what GetStockObject(i) returns

const std::vector<RegisteredClass>& registered_classes();
const std::vector<WindowRecord>& windows();
HWND last_window();
const WindowRecord* window_record(HWND window);

// Messages the platform sends to a new window's procedure inside CreateWindowExA, after
// WM_NCCREATE and WM_CREATE.
void send_on_create(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

// Posts to the queue now; `window` NULL makes a thread message.
void post_message(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
// Posts to the last created window (WM_QUIT: to the thread) when the loop starts draining for
// pass `pass` (0 = first). A pass ends when PeekMessageA finds the queue empty.
void post_on_pass(int pass, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
int passes();  // drains finished so far
// A program that never quits gets WM_QUIT at this pass, and a violation.
void set_pass_limit(int passes);
std::vector<MSG> queued_messages();

const std::vector<MSG>& dispatched();                  // DispatchMessageA, in order
const std::vector<DefaultCall>& default_processing();  // DefWindowProcA, in order
void set_default_result(LRESULT result);               // what DefWindowProcA returns (default 0x0DEF)
int quit_requests();                                   // PostQuitMessage calls
const std::vector<BOOL>& show_cursor_calls();

// GetAsyncKeyState: each read of `vk` takes the next scripted value; afterwards the held state.
void script_key(int vk, std::initializer_list<SHORT> reads);
void hold_key(int vk, SHORT state);
const SHORT KEY_DOWN = (SHORT)0x8000;

// ---- Timer (timer.cpp) ----

// Each timeGetTime takes the next scripted value; once they run out it returns the last one
// returned (or the value set).
void script_time(std::initializer_list<DWORD> readings);
void set_time(DWORD ms);
int time_reads();

// ---- Direct3D (device.cpp) ----

const int SAMPLERS = 16;
const int SAMPLER_STATES = 14;  // indexed by D3DSAMPLERSTATETYPE, 1..13
const int CONSTANT_REGISTERS = 224;

struct DrawRecord {
    D3DPRIMITIVETYPE type;
    UINT primitives;
    UINT stride;
    std::vector<unsigned char> vertices;  // copied at the call
    DWORD fvf;
    std::string render_target;
    std::string textures[2];
    std::string pixel_shader;
    float c0[4];
};

struct ConstantUpload {
    UINT start;
    UINT count;
    std::vector<float> values;
};

struct DeviceRecord {
    std::string name;
    UINT adapter;
    D3DDEVTYPE type;
    HWND focus_window;
    DWORD behavior;
    D3DPRESENT_PARAMETERS params;  // as CreateDevice received them
    IDirect3DSurface9* back_buffer;
    // Bindings, each holding a reference until replaced or the device is destroyed.
    IDirect3DSurface9* render_target;
    IDirect3DBaseTexture9* textures[SAMPLERS];
    IDirect3DPixelShader9* pixel_shader;
    DWORD sampler_states[SAMPLERS][SAMPLER_STATES];
    float constants[CONSTANT_REGISTERS][4];
    DWORD fvf;
    bool in_scene;
    int scenes;    // successful BeginScene calls
    int presents;  // successful ones
    bool lost;
    int resets;
    std::vector<DrawRecord> draws;
    std::vector<ConstantUpload> uploads;
    bool destroyed;
};

struct TextureRecord {
    UINT width, height, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    std::vector<D3DXVECTOR4> texels;  // level 0, row by row, as the last fill wrote them
    int fills;
};

// The device created last (its record outlives it), or null.
DeviceRecord* device_record();
TextureRecord* texture_record(IDirect3DBaseTexture9* texture);
std::string shader_entry(IDirect3DPixelShader9* shader);  // the entry point its byte code came from
DWORD sampler_state_default(D3DSAMPLERSTATETYPE type);
// Called inside every Present, before it counts; tests inspect the frame from here.
void on_present(std::function<void()> hook);
// Loses the device: from the next Present on, Present says D3DERR_DEVICELOST;
// TestCooperativeLevel says D3DERR_DEVICELOST `lost_checks` times (Reset fails meanwhile), then
// D3DERR_DEVICENOTRESET until a Reset succeeds.
void inject_device_loss(int lost_checks = 0);

// ---- D3DX (compiler.cpp, texture_fill.cpp) ----

struct CompileResult {
    HRESULT hr = D3D_OK;
    bool has_messages = false;
    std::string messages;
    bool zero_terminated = true;  // otherwise the buffer's size excludes the text's end
};
CompileResult compiled();
CompileResult compiled_with_warnings(const std::string& text);
CompileResult compile_error(const std::string& text, HRESULT hr = E_FAIL, bool zero_terminated = true);
CompileResult compile_error_without_text(HRESULT hr = E_FAIL);
// Results for the next compiles of `entry`, in order; unscripted compiles succeed.
void script_compile(const std::string& entry, std::initializer_list<CompileResult> results);

struct CompileCall {
    std::string file, entry, profile;
    DWORD flags;
    bool has_defines, has_include, wants_code, wants_messages, wants_constants;
};
const std::vector<CompileCall>& compile_calls();

struct FillCall {
    std::string texture;
    LPD3DXFILL2D function;
    LPVOID data;
};
const std::vector<FillCall>& fill_calls();

}  // namespace recording
