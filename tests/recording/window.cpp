// Window, input, GDI and kernel services: classes, windows, one thread's message queue,
// default processing, key state and debugger output.
#include <deque>
#include <map>

#include "recording.h"
#include "recording_internal.h"

namespace recording {

namespace {

struct ScriptedMessage {
    int pass;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

struct WindowService {
    std::vector<RegisteredClass> classes;
    std::vector<WindowRecord> windows;
    std::vector<ScriptedMessage> on_create;
    std::deque<MSG> queue;
    std::vector<ScriptedMessage> scripted;
    int passes = 0;
    int pass_limit = 1000;
    std::vector<MSG> dispatched;
    std::vector<DefaultCall> defaults;
    LRESULT default_result = 0x0DEF;
    int quit_requests = 0;
    int cursor_count = 0;
    std::vector<BOOL> show_cursor;
    std::map<int, std::deque<SHORT>> key_script;
    std::map<int, SHORT> held;
    std::vector<std::string> debug_output;
    int sleeps = 0;
};

WindowService& service()
{
    static WindowService* state = new WindowService;  // LoadIconA & co. run before main
    return *state;
}

WindowRecord* find_window(HWND window)
{
    for (WindowRecord& record : service().windows) {
        if (record.handle == window) return &record;
    }
    return nullptr;
}

// SendMessage: straight into the window's procedure.
LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    WindowRecord* record = find_window(window);
    if (!record || record->destroyed) return 0;
    log_call("sent(0x" + hex(message).substr(6) + ")");
    return record->procedure(window, message, wparam, lparam);
}

void destroy_window(HWND window)
{
    WindowRecord* record = find_window(window);
    if (!record || record->destroyed) return;
    send(window, WM_DESTROY, 0, 0);
    find_window(window)->destroyed = true;
    log_call("DestroyWindow(" + hex((unsigned long)(std::uintptr_t)window) + ")");
}

}  // namespace

void reset_window() { service() = WindowService(); }

HINSTANCE module_handle() { return (HINSTANCE)(std::uintptr_t)0x400000; }
HICON icon_handle(LPCSTR id) { return (HICON)(0x10000 + (std::uintptr_t)id); }
HCURSOR cursor_handle(LPCSTR id) { return (HCURSOR)(0x30000 + (std::uintptr_t)id); }
HGDIOBJ stock_object_handle(int i) { return (HGDIOBJ)(std::uintptr_t)(0x50000 + i); }

const std::vector<RegisteredClass>& registered_classes() { return service().classes; }
const std::vector<WindowRecord>& windows() { return service().windows; }
HWND last_window() { return service().windows.empty() ? NULL : service().windows.back().handle; }
const WindowRecord* window_record(HWND window) { return find_window(window); }

void send_on_create(UINT message, WPARAM wparam, LPARAM lparam)
{
    service().on_create.push_back({0, message, wparam, lparam});
}

void post_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    MSG m = {};
    m.hwnd = window;
    m.message = message;
    m.wParam = wparam;
    m.lParam = lparam;
    service().queue.push_back(m);
}

void post_on_pass(int pass, UINT message, WPARAM wparam, LPARAM lparam)
{
    service().scripted.push_back({pass, message, wparam, lparam});
}

int passes() { return service().passes; }
void set_pass_limit(int passes) { service().pass_limit = passes; }
std::vector<MSG> queued_messages() { return {service().queue.begin(), service().queue.end()}; }
const std::vector<MSG>& dispatched() { return service().dispatched; }
const std::vector<DefaultCall>& default_processing() { return service().defaults; }
void set_default_result(LRESULT result) { service().default_result = result; }
int quit_requests() { return service().quit_requests; }
const std::vector<BOOL>& show_cursor_calls() { return service().show_cursor; }
const std::vector<std::string>& debug_output() { return service().debug_output; }
int sleeps() { return service().sleeps; }

void script_key(int vk, std::initializer_list<SHORT> reads)
{
    auto& script = service().key_script[vk];
    script.insert(script.end(), reads.begin(), reads.end());
}

void hold_key(int vk, SHORT state) { service().held[vk] = state; }

}  // namespace recording

using recording::hex;
using recording::log_call;
using recording::service;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc)
{
    log_call(std::string("RegisterClassExA(") + (wc && wc->lpszClassName ? wc->lpszClassName : "NULL") + ")");
    if (recording::scripted_result({"RegisterClassExA"}) != S_OK) return 0;
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    for (const recording::RegisteredClass& c : service().classes) {
        if (c.name == wc->lpszClassName) return 0;  // already registered
    }
    service().classes.push_back({*wc, wc->lpszClassName});
    return (ATOM)(0xC000 + service().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    std::string cls = class_name ? class_name : "NULL";
    log_call("CreateWindowExA(" + hex(ex_style) + ", " + cls + ", " + (title ? title : "NULL") + ", " + hex(style) +
             ", " + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(width) + ", " +
             std::to_string(height) + ")");
    if (recording::scripted_result({"CreateWindowExA"}) != S_OK) return NULL;
    WNDPROC procedure = nullptr;
    for (const recording::RegisteredClass& c : service().classes) {
        if (c.name == cls) procedure = c.fields.lpfnWndProc;
    }
    if (!procedure) return NULL;

    recording::WindowRecord record = {};
    record.handle = (HWND)(std::uintptr_t)(0x1000 + 0x10 * service().windows.size());
    record.ex_style = ex_style;
    record.class_name = cls;
    record.title = title ? title : "";
    record.style = style;
    record.x = x;
    record.y = y;
    record.width = width;
    record.height = height;
    record.parent = parent;
    record.menu = menu;
    record.instance = instance;
    record.param = param;
    record.procedure = procedure;
    record.show_command = -1;
    service().windows.push_back(record);

    HWND window = record.handle;
    if (!recording::send(window, WM_NCCREATE, 0, 0) || recording::send(window, WM_CREATE, 0, 0) == -1) {
        recording::find_window(window)->destroyed = true;
        return NULL;
    }
    std::vector<recording::ScriptedMessage> on_create = service().on_create;
    for (const recording::ScriptedMessage& m : on_create) recording::send(window, m.message, m.wparam, m.lparam);
    return window;
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    log_call("ShowWindow(" + hex((unsigned long)(std::uintptr_t)window) + ", " + std::to_string(command) + ")");
    recording::WindowRecord* record = recording::find_window(window);
    if (!record) return FALSE;
    BOOL was_visible = record->show_command > 0;
    if (recording::scripted_result({"ShowWindow"}) != S_OK) return was_visible;  // not shown
    record->show_command = command;
    if (!was_visible && command != SW_HIDE) recording::send(window, WM_SHOWWINDOW, TRUE, 0);
    return was_visible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    log_call("UpdateWindow(" + hex((unsigned long)(std::uintptr_t)window) + ")");
    if (recording::scripted_result({"UpdateWindow"}) != S_OK) return FALSE;
    recording::WindowRecord* record = recording::find_window(window);
    if (!record) return FALSE;
    ++record->updates;
    recording::send(window, WM_PAINT, 0, 0);
    return TRUE;
}

int WINAPI ShowCursor(BOOL show)
{
    log_call("ShowCursor(" + std::to_string(show) + ")");
    service().show_cursor.push_back(show);
    return service().cursor_count += show ? 1 : -1;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR id)
{
    log_call("LoadIconA");
    return instance ? (HICON)0x20000 : recording::icon_handle(id);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR id)
{
    log_call("LoadCursorA");
    return instance ? (HCURSOR)0x40000 : recording::cursor_handle(id);
}

HGDIOBJ WINAPI GetStockObject(int i)
{
    log_call("GetStockObject(" + std::to_string(i) + ")");
    return recording::stock_object_handle(i);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    log_call("GetModuleHandleA");
    if (recording::scripted_result({"GetModuleHandleA"}) != S_OK) return NULL;
    return name ? NULL : recording::module_handle();
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove)
{
    recording::WindowService& s = service();
    log_call("PeekMessageA(" + hex((unsigned long)(std::uintptr_t)window) + ", " + std::to_string(first) + ", " +
             std::to_string(last) + ", " + std::to_string(remove) + ")");
    if (!msg) {
        recording::violation("PeekMessageA without a message record");
        return FALSE;
    }
    if (recording::scripted_result({"PeekMessageA"}) != S_OK) return FALSE;  // the queue stays as it is
    for (auto it = s.scripted.begin(); it != s.scripted.end();) {
        if (it->pass <= s.passes) {
            HWND to = it->message == WM_QUIT ? NULL : recording::last_window();  // as PostQuitMessage posts it
            recording::post_message(to, it->message, it->wparam, it->lparam);
            it = s.scripted.erase(it);
        } else {
            ++it;
        }
    }
    if (s.passes == s.pass_limit) {
        recording::violation("the loop was still running at pass " + std::to_string(s.passes));
        recording::post_message(NULL, WM_QUIT);
        ++s.pass_limit;
    }
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        bool window_matches = !window || it->hwnd == window;
        bool range_matches = (first == 0 && last == 0) || (it->message >= first && it->message <= last);
        if (window_matches && range_matches) {
            *msg = *it;
            if (remove & PM_REMOVE) s.queue.erase(it);
            return TRUE;
        }
    }
    ++s.passes;
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg)
{
    log_call("TranslateMessage(0x" + hex(msg ? msg->message : 0).substr(6) + ")");
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg)
{
    if (!msg) {
        recording::violation("DispatchMessageA without a message");
        return 0;
    }
    log_call("DispatchMessageA(0x" + hex(msg->message).substr(6) + ")");
    if (recording::scripted_result({"DispatchMessageA"}) != S_OK) return 0;  // the message is lost
    service().dispatched.push_back(*msg);
    recording::WindowRecord* record = recording::find_window(msg->hwnd);
    if (!record || record->destroyed) return 0;
    return record->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    log_call("DefWindowProcA(0x" + hex(message).substr(6) + ", " + hex(wparam) + ", " + hex((unsigned long)lparam) +
             ")");
    service().defaults.push_back({window, message, wparam, lparam});
    if (recording::scripted_result({"DefWindowProcA"}) != S_OK) return 0;  // nothing processed
    switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CREATE: return 0;
    case WM_CLOSE: recording::destroy_window(window); return 0;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE) {
            recording::send(window, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    }
    return service().default_result;
}

VOID WINAPI PostQuitMessage(int exit_code)
{
    log_call("PostQuitMessage(" + std::to_string(exit_code) + ")");
    ++service().quit_requests;
    recording::post_message(NULL, WM_QUIT, (WPARAM)exit_code, 0);
}

SHORT WINAPI GetAsyncKeyState(int vk)
{
    SHORT state = service().held[vk];
    auto& script = service().key_script[vk];
    if (!script.empty()) {
        state = script.front();
        script.pop_front();
    }
    if (recording::scripted_result({"GetAsyncKeyState"}) != S_OK) state = 0;  // the key reads as up
    log_call("GetAsyncKeyState(0x" + hex((unsigned long)vk).substr(8) + ") = " + std::to_string(state));
    return state;
}

VOID WINAPI OutputDebugStringA(LPCSTR text)
{
    if (!text) {
        recording::violation("OutputDebugStringA(NULL)");
        return;
    }
    log_call(std::string("OutputDebugStringA(") + text + ")");
    service().debug_output.push_back(text);
}

VOID WINAPI Sleep(DWORD ms)
{
    log_call("Sleep(" + std::to_string(ms) + ")");
    ++service().sleeps;
}
