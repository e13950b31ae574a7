// Direct3DCreate9 and IDirect3D9: the entry object, and device creation on the SDL window behind
// an HWND: an OpenGL 3.3 core context, vsync from the presentation interval, and the settled
// presentation parameters written back as Direct3D does.
#include <SDL.h>

#include <string>

#include "device_internal.h"

namespace fxplatform {
namespace gl_device {

int live_objects = 0;

namespace {

const DWORD VERTEX_PROCESSING_FLAGS = 0x20 | 0x40 | 0x80;  // software, hardware, mixed
const int D3DFMT_D24X8_VALUE = 77;
const int D3DFMT_D16_VALUE = 80;

void report(const char* what, const char* detail = "")
{
    std::string text = std::string("Direct3D 9 device: ") + what + detail;
    OutputDebugStringA(text.c_str());
}

bool depth_format(D3DFORMAT format, GLenum& internal_format, GLenum& attachment)
{
    switch ((int)format) {
    case D3DFMT_D24S8:
        internal_format = GL_DEPTH24_STENCIL8;
        attachment = GL_DEPTH_STENCIL_ATTACHMENT;
        return true;
    case D3DFMT_D24X8_VALUE:
        internal_format = GL_DEPTH_COMPONENT24;
        attachment = GL_DEPTH_ATTACHMENT;
        return true;
    case D3DFMT_D16_VALUE:
        internal_format = GL_DEPTH_COMPONENT16;
        attachment = GL_DEPTH_ATTACHMENT;
        return true;
    default: return false;
    }
}

// Direct3D's interval flags as a swap interval; -1 for values Direct3D rejects too.
int swap_interval(UINT interval)
{
    switch (interval) {
    case D3DPRESENT_INTERVAL_DEFAULT:
    case D3DPRESENT_INTERVAL_ONE: return 1;
    case 2: return 2;  // D3DPRESENT_INTERVAL_TWO
    case 4: return 3;  // THREE
    case 8: return 4;  // FOUR
    case D3DPRESENT_INTERVAL_IMMEDIATE: return 0;
    default: return -1;
    }
}

// The current context's reset status, where it reports resets by losing itself; else null.
GLenum (*reset_status_query())()
{
    if (!epoxy_is_desktop_gl()) return nullptr;
    GLint strategy = 0;
    if (epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_KHR_robustness")) {
        glGetIntegerv(GL_RESET_NOTIFICATION_STRATEGY, &strategy);
        if (strategy == GL_LOSE_CONTEXT_ON_RESET) return [] { return glGetGraphicsResetStatus(); };
    } else if (epoxy_has_gl_extension("GL_ARB_robustness")) {
        glGetIntegerv(GL_RESET_NOTIFICATION_STRATEGY_ARB, &strategy);
        if (strategy == GL_LOSE_CONTEXT_ON_RESET_ARB) return [] { return glGetGraphicsResetStatusARB(); };
    }
    return nullptr;
}

}  // namespace

bool create_context(SDL_Window* window, DeviceSetup& setup)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // A context that reports its own loss (a GPU reset) where the driver offers one, so Present can
    // say D3DERR_DEVICELOST as Direct3D does. Robust access is wanted only for that: where resets
    // go unreported (Mesa's software renderers), a plain context.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_ROBUST_ACCESS_FLAG);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_LOSE_CONTEXT);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
    setup.reset_status = context ? reset_status_query() : nullptr;
    if (context && !setup.reset_status) {
        SDL_GL_DeleteContext(context);
        context = nullptr;
    }
    if (!context) context = SDL_GL_CreateContext(window);
    if (!context) {
        report("cannot create an OpenGL 3.3 core context: ", SDL_GetError());
        return false;
    }
    if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
        report("OpenGL 3.3 core is not available");
        SDL_GL_DeleteContext(context);
        return false;
    }
    // Some servers cannot pace frames; Direct3D would still present, so this is not fatal.
    SDL_GL_SetSwapInterval(setup.swap_interval);
    setup.context = context;
    return true;
}

Direct3D::Direct3D() { ++live_objects; }

Direct3D::~Direct3D() { --live_objects; }

ULONG Direct3D::AddRef() { return ++refs_; }

ULONG Direct3D::Release()
{
    ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
}

HRESULT Direct3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                               D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** ppReturnedDeviceInterface)
{
    if (!ppReturnedDeviceInterface) return D3DERR_INVALIDCALL;
    *ppReturnedDeviceInterface = NULL;
    if (!pp || Adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (DeviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    DWORD processing = BehaviorFlags & VERTEX_PROCESSING_FLAGS;
    if (processing == 0 || (processing & (processing - 1)) != 0) return D3DERR_INVALIDCALL;

    D3DFORMAT format = pp->BackBufferFormat;
    if (format == D3DFMT_UNKNOWN && pp->Windowed) format = D3DFMT_X8R8G8B8;
    if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    if (pp->BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (pp->SwapEffect < D3DSWAPEFFECT_DISCARD || pp->SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (pp->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    int interval = swap_interval(pp->PresentationInterval);
    if (interval < 0) return D3DERR_INVALIDCALL;

    DeviceSetup setup = {};
    setup.back_buffer_format = format;
    if (pp->EnableAutoDepthStencil &&
        !depth_format(pp->AutoDepthStencilFormat, setup.depth_format, setup.depth_attachment)) {
        return D3DERR_INVALIDCALL;
    }

    HWND target = pp->hDeviceWindow ? pp->hDeviceWindow : hFocusWindow;
    SDL_Window* window = target ? SDL_GetWindowFromID(sdl_window_id(target)) : NULL;
    if (!window) {
        report("no window to draw into");
        return D3DERR_INVALIDCALL;
    }
    setup.window_id = SDL_GetWindowID(window);

    // Windowed devices with no size take the window's, as Direct3D does.
    setup.width = pp->BackBufferWidth;
    setup.height = pp->BackBufferHeight;
    if (setup.width == 0 || setup.height == 0) {
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        if (setup.width == 0) setup.width = w > 0 ? (UINT)w : 1;
        if (setup.height == 0) setup.height = h > 0 ? (UINT)h : 1;
    }

    setup.swap_interval = interval;
    if (!create_context(window, setup)) return D3DERR_NOTAVAILABLE;

    Device* device = new Device(this, setup);
    if (!device->initialise()) {
        report("the OpenGL implementation cannot hold the back buffer and depth buffer");
        device->Release();
        return D3DERR_NOTAVAILABLE;
    }

    pp->BackBufferWidth = setup.width;
    pp->BackBufferHeight = setup.height;
    pp->BackBufferFormat = format;
    if (pp->BackBufferCount == 0) pp->BackBufferCount = 1;
    *ppReturnedDeviceInterface = device;
    return D3D_OK;
}

}  // namespace gl_device
}  // namespace fxplatform

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion)
{
    if (SDKVersion != D3D_SDK_VERSION) return NULL;
    return new fxplatform::gl_device::Direct3D();
}
