// D3DX shader compilation: scripted results, byte code the recording device recognises.
#include <cstring>
#include <deque>
#include <map>

#include "recording.h"
#include "recording_internal.h"

namespace recording {

namespace {

struct CompilerService {
    std::map<std::string, std::deque<CompileResult>> scripts;
    std::vector<CompileCall> calls;
    std::vector<FillCall> fills;
};

CompilerService& service()
{
    static CompilerService* state = new CompilerService;
    return *state;
}

class Buffer final : public ID3DXBuffer, public Object {
public:
    Buffer(const char* kind, std::vector<unsigned char> bytes, DWORD size)
        : Object(kind), data(std::move(bytes)), size_(size)
    {
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    LPVOID STDMETHODCALLTYPE GetBufferPointer() override
    {
        usable("GetBufferPointer");
        return data.data();
    }
    DWORD STDMETHODCALLTYPE GetBufferSize() override
    {
        usable("GetBufferSize");
        return size_;
    }

    std::vector<unsigned char> data;

protected:
    // Freed memory as far as anyone reading it can tell.
    void on_destroy() override { std::memset(data.data(), 0xDD, data.size()); }

private:
    DWORD size_;
};

// Version ps_3_0, a comment holding "FXRC" and the entry point, end.
Buffer* byte_code(const std::string& entry)
{
    DWORD words = (DWORD)(entry.size() + 4) / 4 + 1;  // the magic plus the zero-ended name
    std::vector<DWORD> tokens;
    tokens.push_back(0xFFFF0300u);
    tokens.push_back(0xFFFEu | (words << 16));
    tokens.push_back(0x43525846u);
    std::vector<DWORD> name((words - 1), 0);
    std::memcpy(name.data(), entry.data(), entry.size());
    tokens.insert(tokens.end(), name.begin(), name.end());
    tokens.push_back(0x0000FFFFu);
    std::vector<unsigned char> bytes(tokens.size() * sizeof(DWORD));
    std::memcpy(bytes.data(), tokens.data(), bytes.size());
    return new Buffer("code", bytes, (DWORD)bytes.size());
}

// Unterminated text is followed by visible filler, so reading past its size shows in the output.
Buffer* message_buffer(const CompileResult& result)
{
    std::vector<unsigned char> bytes(result.messages.begin(), result.messages.end());
    DWORD size = (DWORD)bytes.size();
    if (result.zero_terminated) {
        bytes.push_back(0);
        ++size;
    } else {
        bytes.insert(bytes.end(), 16, '~');
        bytes.push_back(0);
    }
    return new Buffer("messages", bytes, size);
}

}  // namespace

void reset_compiler() { service() = CompilerService(); }

CompileResult compiled() { return CompileResult(); }

CompileResult compiled_with_warnings(const std::string& text)
{
    CompileResult r;
    r.has_messages = true;
    r.messages = text;
    return r;
}

CompileResult compile_error(const std::string& text, HRESULT hr, bool zero_terminated)
{
    CompileResult r;
    r.hr = hr;
    r.has_messages = true;
    r.messages = text;
    r.zero_terminated = zero_terminated;
    return r;
}

CompileResult compile_error_without_text(HRESULT hr)
{
    CompileResult r;
    r.hr = hr;
    return r;
}

void script_compile(const std::string& entry, std::initializer_list<CompileResult> results)
{
    auto& script = service().scripts[entry];
    script.insert(script.end(), results.begin(), results.end());
}

const std::vector<CompileCall>& compile_calls() { return service().calls; }
const std::vector<FillCall>& fill_calls() { return service().fills; }

std::vector<FillCall>& fill_calls_for_update() { return service().fills; }

}  // namespace recording

HRESULT WINAPI D3DXCompileShaderFromFileA(LPCSTR file, const D3DXMACRO* defines, LPD3DXINCLUDE include,
                                          LPCSTR entry_point, LPCSTR profile, DWORD flags, LPD3DXBUFFER* code,
                                          LPD3DXBUFFER* messages, LPD3DXCONSTANTTABLE* constants)
{
    using namespace recording;
    std::string entry = entry_point ? entry_point : "";
    log_call("D3DXCompileShaderFromFileA(" + std::string(file ? file : "NULL") + ", " + entry + ", " +
             (profile ? profile : "NULL") + ", " + hex(flags) + ")");
    service().calls.push_back({file ? file : "", entry, profile ? profile : "", flags, defines != nullptr,
                               include != nullptr, code != nullptr, messages != nullptr, constants != nullptr});
    if (code) *code = NULL;
    if (messages) *messages = NULL;
    if (constants) *constants = NULL;

    CompileResult result;
    auto& script = service().scripts[entry];
    if (!script.empty()) {
        result = script.front();
        script.pop_front();
    }
    HRESULT failed = scripted_result({"D3DXCompileShaderFromFileA", "D3DXCompileShaderFromFileA:" + entry});
    if (failed != S_OK) result = compile_error_without_text(failed);
    if (!file || !entry_point || !profile) result = compile_error_without_text(D3DERR_INVALIDCALL);

    if (result.hr == D3D_OK && code) *code = byte_code(entry);
    if (result.has_messages && messages) *messages = message_buffer(result);
    log_call("D3DXCompileShaderFromFileA(" + entry + ") = " + hex((unsigned long)result.hr));
    return result.hr;
}
