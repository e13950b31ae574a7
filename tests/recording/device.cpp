// Direct3D 9: the Direct3D object, the device with its state, textures, surfaces and shaders.
#include <cstring>

#include "recording.h"
#include "recording_internal.h"

namespace recording {

namespace {

struct DeviceService {
    DeviceRecord* last = nullptr;
    std::function<void()> present_hook;
    int loss_checks = -1;  // >= 0: a loss is injected, with this many "still lost" answers to come
};

DeviceService& service()
{
    static DeviceService* state = new DeviceService;
    return *state;
}

// A failure scripted with fail_call for a call that has no other way to fail here.
HRESULT injected(const char* call)
{
    HRESULT hr = scripted_result({call});
    if (hr != S_OK) log_call(std::string(call) + " failed " + hex((unsigned long)hr));
    return hr;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

class Surface final : public IDirect3DSurface9, public Object {
public:
    explicit Surface(Object* container) : Object("surface", container) {}
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++held;
        return add_ref();
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (held > 0) --held;
        return release();
    }
    // The references counted with the container that were taken through this surface.
    ULONG held = 0;
};

class Texture final : public IDirect3DTexture9, public Object {
public:
    explicit Texture(const TextureRecord& r) : Object("texture"), record(r)
    {
        record.texels.assign((size_t)r.width * r.height, D3DXVECTOR4{0, 0, 0, 0});
        levels.assign(r.levels, nullptr);
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override
    {
        log_call("GetSurfaceLevel(" + name() + ", " + std::to_string(level) + ")");
        if (!usable("GetSurfaceLevel")) return D3DERR_INVALIDCALL;
        if (!surface || level >= record.levels) {
            violation("GetSurfaceLevel(" + std::to_string(level) + ") of " + name() + " with no level or no slot");
            return D3DERR_INVALIDCALL;
        }
        *surface = NULL;
        if (HRESULT hr = injected("GetSurfaceLevel")) return hr;
        if (!levels[level]) levels[level] = new Surface(this);
        levels[level]->add_ref();
        *surface = levels[level];
        return D3D_OK;
    }

    TextureRecord record;
    std::vector<Surface*> levels;
};

class PixelShader final : public IDirect3DPixelShader9, public Object {
public:
    explicit PixelShader(const std::string& e) : Object("shader"), entry(e) {}
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    std::string entry;
};

// The byte code our compiler hands out: version, one comment naming the entry point, end.
bool parse_byte_code(const DWORD* tokens, std::string& entry)
{
    if (!tokens || tokens[0] != 0xFFFF0300u || (tokens[1] & 0xFFFFu) != 0xFFFEu) return false;
    DWORD length = (tokens[1] >> 16) & 0x7FFFu;
    if (length < 2 || tokens[2] != 0x43525846u) return false;  // "FXRC"
    if (tokens[2 + length] != 0x0000FFFFu) return false;
    const char* text = (const char*)(tokens + 3);
    entry.assign(text, strnlen(text, (length - 1) * sizeof(DWORD)));
    return true;
}

class Direct3D;

class Device final : public IDirect3DDevice9, public Object {
public:
    Device(Object* parent, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
           const D3DPRESENT_PARAMETERS& params)
        : Object("device"), parent_(parent)
    {
        parent_->bind();
        record = DeviceRecord();
        record.name = name();
        record.adapter = adapter;
        record.type = type;
        record.focus_window = focus;
        record.behavior = behavior;
        record.params = params;
        back_buffer_ = new Surface(this);
        record.back_buffer = back_buffer_;
        record.render_target = back_buffer_;  // the device's own: no binding reference
        for (auto& states : record.sampler_states) {
            for (int t = 0; t < SAMPLER_STATES; ++t) states[t] = sampler_state_default((D3DSAMPLERSTATETYPE)t);
        }
        service().last = &record;
    }

    DeviceRecord record;

    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override
    {
        if (!usable("TestCooperativeLevel")) return D3DERR_INVALIDCALL;
        HRESULT hr = scripted_result({"TestCooperativeLevel"});
        if (hr == S_OK && record.lost) {
            if (service().loss_checks > 0) {
                --service().loss_checks;
                hr = D3DERR_DEVICELOST;
            } else {
                hr = D3DERR_DEVICENOTRESET;
            }
        }
        log_call("TestCooperativeLevel() = " + hex((unsigned long)hr));
        return hr;
    }

    // As Direct3D: refused while the program still holds a default-pool resource or the back
    // buffer; otherwise the bindings go and every state is back to its default.
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* params) override
    {
        if (!usable("Reset")) return D3DERR_INVALIDCALL;
        if (!params) {
            violation("Reset without parameters");
            return D3DERR_INVALIDCALL;
        }
        HRESULT hr = scripted_result({"Reset"});
        if (hr == S_OK && record.lost && service().loss_checks > 0) hr = D3DERR_DEVICELOST;
        if (hr == S_OK) {
            for (Object* held : default_pool_objects()) {
                violation("Reset while the program holds " + held->name());
                hr = D3DERR_INVALIDCALL;
            }
        }
        if (hr != S_OK) {
            log_call("Reset() failed " + hex((unsigned long)hr));
            return hr;
        }
        log_call("Reset()");
        drop_bindings(back_buffer_);
        for (auto& states : record.sampler_states) {
            for (int t = 0; t < SAMPLER_STATES; ++t) states[t] = sampler_state_default((D3DSAMPLERSTATETYPE)t);
        }
        std::memset(record.constants, 0, sizeof record.constants);
        record.in_scene = false;
        record.lost = false;
        ++record.resets;
        service().loss_checks = -1;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type,
                                            IDirect3DSurface9** surface) override
    {
        log_call("GetBackBuffer(" + std::to_string(swap_chain) + ", " + std::to_string(index) + ", " +
                 std::to_string(type) + ")");
        if (!usable("GetBackBuffer")) return D3DERR_INVALIDCALL;
        if (!surface) {
            violation("GetBackBuffer without a slot");
            return D3DERR_INVALIDCALL;
        }
        *surface = NULL;
        if (HRESULT hr = injected("GetBackBuffer")) return hr;
        if (swap_chain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
        back_buffer_->AddRef();
        *surface = back_buffer_;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override
    {
        std::string call = "CreateTexture(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
            std::to_string(levels) + ", " + hex(usage) + ", " + std::to_string(format) + ", " + std::to_string(pool) +
            ")";
        if (!usable("CreateTexture")) return D3DERR_INVALIDCALL;
        if (!texture) {
            violation("CreateTexture without a slot");
            return D3DERR_INVALIDCALL;
        }
        *texture = NULL;
        HRESULT hr =
            scripted_result({"CreateTexture", "CreateTexture:" + std::to_string(width) + "x" + std::to_string(height)});
        if (hr == S_OK &&
            (shared || width == 0 || height == 0 || ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT))) {
            hr = D3DERR_INVALIDCALL;
        }
        if (hr != S_OK) {
            log_call(call + " failed " + hex((unsigned long)hr));
            return hr;
        }
        if (levels == 0) {
            for (UINT size = width > height ? width : height; size; size >>= 1) ++levels;
        }
        Texture* made = new Texture({width, height, levels, usage, format, pool, {}, 0});
        log_call(call + " = " + made->name());
        *texture = made;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD index, IDirect3DSurface9* target) override
    {
        log_call("SetRenderTarget(" + std::to_string(index) + ", " + name_of(target) + ")");
        if (!usable("SetRenderTarget")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("SetRenderTarget")) return hr;
        if (index != 0 || !target) return D3DERR_INVALIDCALL;  // target 0 cannot be unset
        if (!valid(target, "SetRenderTarget")) return D3DERR_INVALIDCALL;
        rebind(record.render_target, target);
        record.render_target = target;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE BeginScene() override
    {
        log_call("BeginScene()");
        if (!usable("BeginScene")) return D3DERR_INVALIDCALL;
        HRESULT hr = scripted_result({"BeginScene"});
        if (hr != S_OK) return hr;
        if (record.in_scene) {
            violation("BeginScene inside a scene");
            return D3DERR_INVALIDCALL;
        }
        record.in_scene = true;
        ++record.scenes;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE EndScene() override
    {
        log_call("EndScene()");
        if (!usable("EndScene")) return D3DERR_INVALIDCALL;
        if (!record.in_scene) {
            violation("EndScene outside a scene");
            return D3DERR_INVALIDCALL;
        }
        record.in_scene = false;  // a driver's failure still ends the scene
        return injected("EndScene");
    }

    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override
    {
        log_call("Clear(" + std::to_string(count) + ", " + (rects ? "rects" : "NULL") + ", " + hex(flags) + ", " +
                 hex(color) + ", " + number(z) + ", " + std::to_string(stencil) + ")");
        if (!usable("Clear")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("Clear")) return hr;
        if (count && !rects) return D3DERR_INVALIDCALL;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override
    {
        log_call("SetTexture(" + std::to_string(stage) + ", " + name_of(texture) + ")");
        if (!usable("SetTexture")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("SetTexture")) return hr;
        if (stage >= SAMPLERS) {
            violation("SetTexture on stage " + std::to_string(stage));
            return D3DERR_INVALIDCALL;
        }
        if (texture && !valid(texture, "SetTexture")) return D3DERR_INVALIDCALL;
        rebind(record.textures[stage], texture);
        record.textures[stage] = texture;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override
    {
        log_call("SetSamplerState(" + std::to_string(sampler) + ", " + std::to_string(type) + ", " +
                 std::to_string(value) + ")");
        if (!usable("SetSamplerState")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("SetSamplerState")) return hr;
        if (sampler >= SAMPLERS || type < 1 || type >= SAMPLER_STATES) {
            violation("SetSamplerState(" + std::to_string(sampler) + ", " + std::to_string(type) + ")");
            return D3DERR_INVALIDCALL;
        }
        record.sampler_states[sampler][type] = value;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitives, const void* data,
                                              UINT stride) override
    {
        log_call("DrawPrimitiveUP(" + std::to_string(type) + ", " + std::to_string(primitives) + ", " +
                 std::to_string(stride) + ")");
        if (!usable("DrawPrimitiveUP")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("DrawPrimitiveUP")) return hr;
        if (!record.in_scene) {
            violation("DrawPrimitiveUP outside a scene");
            return D3DERR_INVALIDCALL;
        }
        UINT vertices = 0;
        switch (type) {
        case D3DPT_POINTLIST: vertices = primitives; break;
        case D3DPT_LINELIST: vertices = 2 * primitives; break;
        case D3DPT_LINESTRIP: vertices = primitives + 1; break;
        case D3DPT_TRIANGLELIST: vertices = 3 * primitives; break;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: vertices = primitives + 2; break;
        }
        if (!data || !vertices || !stride) return D3DERR_INVALIDCALL;
        DrawRecord draw;
        draw.type = type;
        draw.primitives = primitives;
        draw.stride = stride;
        const unsigned char* bytes = (const unsigned char*)data;
        draw.vertices.assign(bytes, bytes + (size_t)vertices * stride);
        draw.fvf = record.fvf;
        draw.render_target = name_of(record.render_target);
        draw.textures[0] = name_of(record.textures[0]);
        draw.textures[1] = name_of(record.textures[1]);
        draw.pixel_shader = name_of(record.pixel_shader);
        std::memcpy(draw.c0, record.constants[0], sizeof draw.c0);
        record.draws.push_back(draw);
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override
    {
        log_call("SetFVF(0x" + hex(fvf).substr(7) + ")");
        if (!usable("SetFVF")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("SetFVF")) return hr;
        record.fvf = fvf;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override
    {
        std::string entry;
        bool is_code = usable("CreatePixelShader") && parse_byte_code(function, entry);
        std::string call = "CreatePixelShader(" + entry + ")";
        if (!shader) {
            violation("CreatePixelShader without a slot");
            return D3DERR_INVALIDCALL;
        }
        *shader = NULL;
        if (!is_code) {
            violation("CreatePixelShader given no live byte code");
            return D3DERR_INVALIDCALL;
        }
        HRESULT hr = scripted_result({"CreatePixelShader", "CreatePixelShader:" + entry});
        if (hr != S_OK) {
            log_call(call + " failed " + hex((unsigned long)hr));
            return hr;
        }
        PixelShader* made = new PixelShader(entry);
        log_call(call + " = " + made->name());
        *shader = made;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override
    {
        log_call("SetPixelShader(" + name_of(shader) + ")");
        if (!usable("SetPixelShader")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("SetPixelShader")) return hr;
        if (shader && !valid(shader, "SetPixelShader")) return D3DERR_INVALIDCALL;
        rebind(record.pixel_shader, shader);
        record.pixel_shader = shader;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT start, const float* data, UINT count) override
    {
        log_call("SetPixelShaderConstantF(" + std::to_string(start) + ", " + std::to_string(count) + ")");
        if (!usable("SetPixelShaderConstantF")) return D3DERR_INVALIDCALL;
        if (HRESULT hr = injected("SetPixelShaderConstantF")) return hr;
        if (!data || start + count > (UINT)CONSTANT_REGISTERS) {
            violation("SetPixelShaderConstantF out of range or without data");
            return D3DERR_INVALIDCALL;
        }
        std::memcpy(record.constants[start], data, count * 4 * sizeof(float));
        record.uploads.push_back({start, count, std::vector<float>(data, data + 4 * count)});
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) override
    {
        log_call(std::string("Present(") + (source ? "rect" : "NULL") + ", " + (dest ? "rect" : "NULL") + ", " +
                 (window ? "window" : "NULL") + ", " + (dirty ? "region" : "NULL") + ")");
        if (!usable("Present")) return D3DERR_INVALIDCALL;
        if (record.in_scene) violation("Present inside a scene");
        if (HRESULT hr = injected("Present")) return hr;
        if (service().present_hook) service().present_hook();
        if (service().loss_checks >= 0) record.lost = true;
        if (record.lost) return D3DERR_DEVICELOST;
        ++record.presents;
        return D3D_OK;
    }

protected:
    // As Direct3D does, the device lets go of its bindings when it goes.
    void on_destroy() override
    {
        drop_bindings(nullptr);
        record.destroyed = true;
        parent_->unbind();
    }

private:
    bool valid(IUnknown* object, const char* call)
    {
        Object* o = object_of(object);
        if (!o) {
            violation(std::string(call) + " given something that is not ours");
            return false;
        }
        return o->usable(call);
    }

    // Bind the new object before letting go of the old, which may be the same.
    // Textures and the shader unbound, render target 0 set to `target` (the back buffer after a
    // Reset, nothing once the device goes).
    void drop_bindings(IDirect3DSurface9* target)
    {
        rebind(record.render_target, target);
        record.render_target = target;
        for (auto& texture : record.textures) {
            rebind(texture, nullptr);
            texture = nullptr;
        }
        rebind(record.pixel_shader, nullptr);
        record.pixel_shader = nullptr;
    }

    void rebind(IUnknown* old_object, IUnknown* new_object)
    {
        Object* now = object_of(new_object);
        Object* before = object_of(old_object);
        if (now && now->container() != this) now->bind();
        if (before && before->container() != this) before->unbind();
    }

    // Objects of the default pool the program still holds: render-target textures and the back buffer.
    std::vector<Object*> default_pool_objects();

    Object* parent_;
    Surface* back_buffer_;
};

std::vector<Object*> Device::default_pool_objects()
{
    std::vector<Object*> held;
    if (back_buffer_->held > 0) held.push_back(back_buffer_);
    for (Object* o : live_objects()) {
        Texture* texture = dynamic_cast<Texture*>(o);
        if (texture && texture->record.pool == D3DPOOL_DEFAULT && texture->refs() > 0) held.push_back(texture);
    }
    return held;
}

class Direct3D final : public IDirect3D9, public Object {
public:
    Direct3D() : Object("direct3d") {}
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                           D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override
    {
        std::string call = "CreateDevice(" + std::to_string(adapter) + ", " + std::to_string(type) + ", " +
            hex((unsigned long)(std::uintptr_t)focus) + ", " + hex(behavior) + ")";
        if (!usable("CreateDevice")) return D3DERR_INVALIDCALL;
        if (!device || !params) {
            violation("CreateDevice without parameters or slot");
            return D3DERR_INVALIDCALL;
        }
        *device = NULL;
        HRESULT hr = scripted_result({"CreateDevice"});
        const WindowRecord* window = window_record(focus);
        if (hr == S_OK && (adapter != D3DADAPTER_DEFAULT || !window || window->destroyed)) hr = D3DERR_INVALIDCALL;
        if (hr != S_OK) {
            log_call(call + " failed " + hex((unsigned long)hr));
            return hr;
        }
        Device* made = new Device(this, adapter, type, focus, behavior, *params);
        log_call(call + " = " + made->name());
        *device = made;
        return D3D_OK;
    }
};

}  // namespace

void reset_device() { service() = DeviceService(); }

DeviceRecord* device_record() { return service().last; }

TextureRecord* texture_record(IDirect3DBaseTexture9* texture)
{
    Texture* t = dynamic_cast<Texture*>(object_of(texture));
    return t ? &t->record : nullptr;
}

std::string shader_entry(IDirect3DPixelShader9* shader)
{
    PixelShader* s = dynamic_cast<PixelShader*>(object_of(shader));
    return s ? s->entry : "";
}

DWORD sampler_state_default(D3DSAMPLERSTATETYPE type)
{
    switch (type) {
    case D3DSAMP_ADDRESSU:
    case D3DSAMP_ADDRESSV:
    case D3DSAMP_ADDRESSW: return D3DTADDRESS_WRAP;
    case D3DSAMP_MAGFILTER:
    case D3DSAMP_MINFILTER: return D3DTEXF_POINT;
    case D3DSAMP_MAXANISOTROPY: return 1;
    default: return 0;
    }
}

void on_present(std::function<void()> hook) { service().present_hook = std::move(hook); }

void inject_device_loss(int lost_checks) { service().loss_checks = lost_checks; }

}  // namespace recording

IDirect3D9* WINAPI Direct3DCreate9(UINT sdk_version)
{
    recording::log_call("Direct3DCreate9(" + std::to_string(sdk_version) + ")");
    if (recording::scripted_result({"Direct3DCreate9"}) != S_OK || sdk_version != D3D_SDK_VERSION) return NULL;
    return new recording::Direct3D;
}
