#include "viewer.h"

#include <malloc.h>
#include <unistd.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "linux_platform.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PRODUCT_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PRODUCT_ASAN 1
#endif
#ifdef PRODUCT_ASAN
// The sanitizer runtime's count (gcc ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace product {

namespace {

HWND window = NULL;
IDirect3D9* direct3d = NULL;
std::string folder, previous_folder;

}  // namespace

bool open_viewer()
{
    window = fxplatform::create_offscreen_window("fxview-bench");
    if (!window) {
        std::fprintf(stderr, "cannot create an off-screen window\n");
        return false;
    }
    // The frame's cost, not the display's pace: no vsync.
    device = fxplatform::create_offscreen_device(window, &direct3d);
    if (!device) {
        std::fprintf(stderr, "cannot create the graphics device\n");
        close_viewer();
        return false;
    }
    return true;
}

void close_viewer()
{
    release_resources();
    if (device) {
        device->Release();
        device = NULL;
    }
    if (direct3d) {
        direct3d->Release();
        direct3d = NULL;
    }
    if (window) {
        DefWindowProcA(window, WM_CLOSE, 0, 0);  // closes it, as the viewer's own close does
        window = NULL;
    }
}

SDL_Window* viewer_window() { return window ? SDL_GetWindowFromID(fxplatform::sdl_window_id(window)) : nullptr; }

bool enter_private_folder()
{
    char pattern[] = "/tmp/fxview-bench-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    folder = pattern;
    previous_folder = std::filesystem::current_path().string();
    return chdir(pattern) == 0;
}

void leave_private_folder()
{
    if (folder.empty()) return;
    if (chdir(previous_folder.c_str()) != 0) std::perror("chdir");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    folder.clear();
}

bool write_main_fx(const std::string& text)
{
    std::ofstream file("main.fx", std::ios::binary | std::ios::trunc);
    file << text;
    return bool(file.flush());
}

bool read_file(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::stringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return true;
}

bool compile_blob(const char* entry, fxplatform::ShaderBlob& blob)
{
    ID3DXBuffer* code = NULL;
    ID3DXBuffer* messages = NULL;
    HRESULT hr =
        D3DXCompileShaderFromFileA("main.fx", NULL, NULL, entry, "ps_3_0", LOADER_FLAGS, &code, &messages, NULL);
    bool ok = hr == D3D_OK && code &&
        fxplatform::decode_shader_blob((const std::uint32_t*)code->GetBufferPointer(), code->GetBufferSize() / 4, blob);
    if (!ok && messages) {
        std::fprintf(stderr, "%.*s\n", (int)messages->GetBufferSize(), (const char*)messages->GetBufferPointer());
    }
    if (code) code->Release();
    if (messages) messages->Release();
    return ok;
}

namespace {

long resident_kb_of(const std::string& pid)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

}  // namespace

long resident_kb()
{
    // The compiler's helper process is part of what the viewer costs.
    std::string self = std::to_string(getpid());
    long total = resident_kb_of(self);
    std::ifstream children("/proc/self/task/" + self + "/children");
    std::string child;
    while (children >> child) total += resident_kb_of(child);
    return total;
}

long long heap_in_use()
{
#ifdef PRODUCT_ASAN
    return (long long)__sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 info = mallinfo2();
    return (long long)info.uordblks + (long long)info.hblkhd;
#endif
}

}  // namespace product
