// libFuzzer target: every input is a main.fx, written in a private folder and compiled there the
// way the loader compiles it, both entry points. The working directory is the private folder only
// during the compile: libFuzzer's corpus and crash files are relative to the one it started in. A success must come
// with byte code the device can decode; the messages are read to their last byte, so a short or unterminated buffer
// shows under ASan.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "compiler.h"
#include "platform.h"
#include "shader_blob.h"

namespace {

const DWORD LOADER_FLAGS = D3DXSHADER_OPTIMIZATION_LEVEL3 | D3DXSHADER_PREFER_FLOW_CONTROL;
std::string folder, start_folder;

void remove_folder()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void compile(const char* entry)
{
    ID3DXBuffer* code = NULL;
    ID3DXBuffer* messages = NULL;
    HRESULT hr =
        D3DXCompileShaderFromFileA("main.fx", NULL, NULL, entry, "ps_3_0", LOADER_FLAGS, &code, &messages, NULL);
    if (hr == D3D_OK) {
        fxplatform::ShaderBlob blob;
        if (!code ||
            !fxplatform::decode_shader_blob((const std::uint32_t*)code->GetBufferPointer(), code->GetBufferSize() / 4,
                                            blob)) {
            std::fprintf(stderr, "compiled %s but the byte code does not decode\n", entry);
            std::abort();
        }
    } else if (code) {
        std::fprintf(stderr, "failed to compile %s (0x%08X) yet returned byte code\n", entry, (unsigned)hr);
        std::abort();
    }
    if (messages) {
        const volatile char* text = (const char*)messages->GetBufferPointer();
        unsigned sum = 0;
        for (DWORD i = 0; i < messages->GetBufferSize(); ++i) sum += (unsigned char)text[i];
        (void)sum;
        messages->Release();
    }
    if (code) code->Release();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/fxview-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("compiler_fuzz: private folder");
        std::exit(1);
    }
    folder = pattern;
    start_folder = std::filesystem::current_path().string();
    std::atexit(remove_folder);
    // The viewer runs the back end in a child process; the fuzzer must see its crashes and coverage.
    fxcompiler::set_isolation(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (chdir(folder.c_str()) != 0) std::abort();
    std::FILE* file = std::fopen("main.fx", "wb");
    if (file) {
        if (size > 0) std::fwrite(data, 1, size, file);
        std::fclose(file);
        compile("ps_main");
        compile("ps_main_f");
    }
    if (chdir(start_folder.c_str()) != 0) std::abort();
    return 0;
}
