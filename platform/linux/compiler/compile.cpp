// D3DXCompileShaderFromFileA and the ID3DXBuffer it returns; compile_file and compile_source:
// the checks on the file (missing, unreadable, not a regular file, empty, binary, too large) and the path through
// preparation and translation, which run in the helper process.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>

#include "compiler.h"
#include "platform.h"
#include "source_watch.h"

namespace fxcompiler {

namespace {

class Buffer final : public ID3DXBuffer {
public:
    Buffer(const void* data, std::size_t size) : words_((size + 3) / 4 + 1, 0), size_((DWORD)size)
    {
        if (size > 0) std::memcpy(words_.data(), data, size);
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }

    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return words_.data(); }
    DWORD STDMETHODCALLTYPE GetBufferSize() override { return size_; }

private:
    ~Buffer() = default;

    std::vector<std::uint32_t> words_;  // word storage keeps byte code DWORD-aligned
    DWORD size_;
    ULONG refs_ = 1;
};

bool only_whitespace(const std::string& s)
{
    for (char c : s) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') return false;
    }
    return true;
}

// A NUL or another control character outside whitespace means this is not shader text.
// Other bytes (UTF-8 or a legacy code page in comments) are left to the compiler.
bool find_binary(const std::string& s, int& line, int& column)
{
    line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = (unsigned char)s[i];
        if (c == '\n' || (c == '\r' && (i + 1 == s.size() || s[i + 1] != '\n'))) {
            ++line;
            line_start = i + 1;
        } else if (c < 0x20 && c != '\t' && c != '\r' && c != '\f' && c != '\v') {
            column = int(i - line_start) + 1;
            return true;
        } else if (c == 0x7F) {
            column = int(i - line_start) + 1;
            return true;
        }
    }
    return false;
}

}  // namespace

CompileOutput failure(std::int32_t result, int line, int column, const std::string& text)
{
    CompileOutput out;
    out.result = result;
    out.diagnostics.push_back({line, column, true, text});
    return out;
}

TranslateOptions options_for_flags(std::uint32_t flags)
{
    TranslateOptions options;
    // The SPIR-V optimiser costs several times the rest of a compile and changes no pixel: off,
    // whatever optimisation level is asked for.
    (void)flags;
    options.optimise = false;
    return options;
}

namespace {

// The preparation of the last file compiled: the viewer compiles both entry points of one main.fx
// in a row, and they share it.
struct Preparation {
    bool valid = false;
    std::string text, file_name;
    std::vector<Define> defines;
    bool ok = false;
    PreparedSource source;
    std::vector<Diagnostic> diagnostics;

    bool same(const CompileRequest& r) const
    {
        if (!valid || text != r.text || file_name != r.file_name || defines.size() != r.defines.size()) return false;
        for (std::size_t i = 0; i < defines.size(); ++i) {
            if (defines[i].name != r.defines[i].name || defines[i].value != r.defines[i].value) return false;
        }
        return true;
    }
};

const Preparation& prepared_for(const CompileRequest& request)
{
    static Preparation last;
    if (last.same(request)) return last;
    last = Preparation();
    last.ok = prepare_source(request.text, request.file_name, request.defines, last.source, last.diagnostics);
    last.text = request.text;
    last.file_name = request.file_name;
    last.defines = request.defines;
    last.valid = true;
    return last;
}

}  // namespace

CompileOutput compile_request(const CompileRequest& request)
{
    CompileOutput out;
    const Preparation& prepared = prepared_for(request);
    if (!prepared.ok) {
        out.diagnostics = prepared.diagnostics;
        out.result = E_FAIL;
        return out;
    }
    for (const CallDepth& calls : prepared.source.call_depths) {
        if (calls.name == request.entry && !calls.too_deep.text.empty()) {
            out.diagnostics.push_back(calls.too_deep);
            out.result = E_FAIL;
            return out;
        }
    }
    for (const auto& unnamed : prepared.source.unnamed_parameters) {
        if (unnamed.first == request.entry) {
            out.diagnostics.push_back(unnamed.second);
            out.result = E_FAIL;
            return out;
        }
    }
    const bool own_text = !prepared.source.statics_call.empty();
    const PreparedSource entry_source = own_text ? for_entry(prepared.source, request.entry) : PreparedSource();
    TranslateResult translated =
        translate_hlsl(own_text ? entry_source : prepared.source, request.file_name, request.entry, request.options);
    out.diagnostics = prepared.source.warnings;
    out.diagnostics.insert(out.diagnostics.end(), translated.diagnostics.begin(), translated.diagnostics.end());
    if (!translated.ok) {
        out.result = E_FAIL;
        return out;
    }
    out.blob = std::move(translated.blob);
    out.code = fxplatform::encode_shader_blob(out.blob);
    out.result = D3D_OK;
    return out;
}

CompileOutput compile_source(const std::string& source, const std::string& file_name, const std::string& entry,
                             const std::string& profile, const std::vector<Define>& defines,
                             const TranslateOptions& options)
{
    if (profile != "ps_3_0") {
        return failure(E_FAIL, 0, 0, "profile '" + profile + "' is not supported; this compiler builds ps_3_0 only");
    }
    if (entry.empty()) return failure(D3DERR_INVALIDCALL, 0, 0, "no entry point name given");
    if (source.size() > MAX_SOURCE_BYTES) {
        return failure(D3DXERR_INVALIDDATA, 0, 0,
                       "file is " + std::to_string(source.size()) + " bytes; shader files are limited to 4 MiB");
    }
    int line = 0, column = 0;
    if (find_binary(source, line, column)) {
        return failure(D3DXERR_INVALIDDATA, line, column, "not a text file (control character or NUL byte)");
    }
    std::string text = source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? source.substr(3) : source;
    if (only_whitespace(text)) return failure(D3DXERR_INVALIDDATA, 0, 0, "file is empty");

    return compile_isolated({text, file_name, entry, defines, options});
}

// Anything but a regular file is refused, with what it is.
static CompileOutput not_a_file(mode_t mode)
{
    const char* kind = S_ISDIR(mode)     ? "a directory"
        : S_ISFIFO(mode)                 ? "a named pipe, not a regular file"
        : S_ISSOCK(mode)                 ? "a socket, not a regular file"
        : S_ISCHR(mode) || S_ISBLK(mode) ? "a device, not a regular file"
                                         : "not a regular file";
    return failure(E_FAIL, 0, 0, std::string("cannot open the file: it is ") + kind);
}

CompileOutput compile_file(const std::string& path, const std::string& entry, const std::string& profile,
                           const std::vector<Define>& defines, const TranslateOptions& options)
{
    // Only a regular file is read. A named pipe would block open() and read() until a writer
    // comes, and a device may never end: neither may hold up the viewer. O_NONBLOCK makes the
    // open of a pipe return at once; fstat then tells what was opened.
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return not_a_file(info.st_mode);
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return failure(E_FAIL, 0, 0, std::string("cannot open the file: ") + std::strerror(errno));
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        CompileOutput out = not_a_file(info.st_mode);  // replaced since the stat()
        close(fd);
        return out;
    }
    if ((std::size_t)info.st_size > MAX_SOURCE_BYTES) {
        close(fd);
        return failure(
            D3DXERR_INVALIDDATA, 0, 0,
            "file is " + std::to_string((long long)info.st_size) + " bytes; shader files are limited to 4 MiB");
    }
    std::string text;
    char chunk[65536];
    int read_error = 0;
    // Read to the cap and one byte past it: a file may grow while it is read.
    while (text.size() <= MAX_SOURCE_BYTES) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) read_error = errno;
        if (got <= 0) break;
        text.append(chunk, (std::size_t)got);
    }
    close(fd);
    if (read_error) return failure(E_FAIL, 0, 0, std::string("cannot read the file: ") + std::strerror(read_error));
    return compile_source(text, path, entry, profile, defines, options);
}

// A successful compile's warnings go to standard error, once a load: the viewer compiles the two
// entry points of one file in a row, and most warnings are the file's, not an entry point's. A
// load ends when an entry point is compiled again.
void print_warnings(const std::vector<Diagnostic>& diagnostics, const std::string& file_name, const std::string& entry)
{
    static std::set<std::string> entries, printed;
    if (!entries.insert(entry).second) {
        entries = {entry};
        printed.clear();
    }
    for (const Diagnostic& d : diagnostics) {
        if (d.error) continue;
        const std::string line = format_diagnostics({d}, file_name);
        if (printed.insert(line).second) std::fprintf(stderr, "%s\n", line.c_str());
    }
}

}  // namespace fxcompiler

HRESULT WINAPI D3DXCompileShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE /*pInclude*/,
                                          LPCSTR pFunctionName, LPCSTR pProfile, DWORD Flags, LPD3DXBUFFER* ppShader,
                                          LPD3DXBUFFER* ppErrorMsgs, LPD3DXCONSTANTTABLE* ppConstantTable)
{
    using namespace fxcompiler;
    if (ppShader) *ppShader = NULL;
    if (ppErrorMsgs) *ppErrorMsgs = NULL;
    if (ppConstantTable) *ppConstantTable = NULL;  // no constant table: registers are fixed by the source
    try {
        CompileOutput out;
        std::string file_name = pSrcFile ? pSrcFile : "";
        if (!pSrcFile || !*pSrcFile) {
            out.result = D3DERR_INVALIDCALL;
            out.diagnostics.push_back({0, 0, true, "no shader file name given"});
            file_name = "(no file)";
        } else if (!pFunctionName || !pProfile) {
            out.result = D3DERR_INVALIDCALL;
            out.diagnostics.push_back({0, 0, true, "no entry point or profile given"});
        } else {
            std::vector<Define> defines;
            for (const D3DXMACRO* d = pDefines; d && d->Name; ++d) {
                defines.push_back({d->Name, d->Definition ? d->Definition : ""});
            }
            fxplatform::source_watch::note(pSrcFile);
            // An include handler is never called: #include fails with its own message.
            out = compile_file(pSrcFile, pFunctionName, pProfile, defines, options_for_flags(Flags));
            if (out.result == D3D_OK) print_warnings(out.diagnostics, file_name, pFunctionName);
        }
        if (ppErrorMsgs && !out.diagnostics.empty()) {
            std::string text = format_diagnostics(out.diagnostics, file_name);
            *ppErrorMsgs = new Buffer(text.c_str(), text.size() + 1);
        }
        if (out.result == D3D_OK && ppShader) {
            *ppShader = new Buffer(out.code.data(), out.code.size() * sizeof(std::uint32_t));
        }
        return out.result;
    } catch (const std::bad_alloc&) {
        if (ppErrorMsgs && *ppErrorMsgs) (*ppErrorMsgs)->Release();
        if (ppErrorMsgs) *ppErrorMsgs = NULL;
        return E_OUTOFMEMORY;
    } catch (...) {
        if (ppErrorMsgs && *ppErrorMsgs) (*ppErrorMsgs)->Release();
        if (ppErrorMsgs) *ppErrorMsgs = NULL;
        return E_FAIL;
    }
}
