// D3DXCompileShaderFromFileA as the loader calls it: the file in the current directory, the
// buffers it returns, and every kind of bad input giving a message and a failure code.
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "compiler_test_util.h"
#include "platform.h"

namespace {

const char* const GOOD =
    "#define SCALE 1.0\n"
    "float time : register(c0);\n"
    "sampler2D noise_tex : register(s1);\n"
    "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(noise_tex, uv) * time * SCALE; }\n"
    "float4 ps_main_f(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv, 0, 1); }\n";

struct Call {
    HRESULT hr = 0;
    ID3DXBuffer* code = reinterpret_cast<ID3DXBuffer*>(0x1);  // must be overwritten
    ID3DXBuffer* messages = reinterpret_cast<ID3DXBuffer*>(0x1);
    ID3DXConstantTable* table = reinterpret_cast<ID3DXConstantTable*>(0x1);

    std::string text() const
    {
        return messages && messages != reinterpret_cast<ID3DXBuffer*>(0x1)
            ? std::string((const char*)messages->GetBufferPointer())
            : std::string();
    }
    ~Call()
    {
        ID3DXBuffer* untouched = reinterpret_cast<ID3DXBuffer*>(0x1);
        if (code && code != untouched) code->Release();
        if (messages && messages != untouched) messages->Release();
    }
};

// Runs in `dir` as the current directory, as the viewer does.
class CompileApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir_.path().empty());
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    void compile(Call& call, const char* entry = "ps_main", const char* profile = "ps_3_0",
                 const D3DXMACRO* defines = NULL, const char* file = "main.fx")
    {
        call.hr = D3DXCompileShaderFromFileA(file, defines, NULL, entry, profile, 0x8400, &call.code, &call.messages,
                                             &call.table);
    }

    // A failure: no code, no table, a code and a zero-terminated message containing `expected`.
    void expect_failure(const Call& call, HRESULT hr, const std::string& expected)
    {
        EXPECT_EQ(call.hr, hr);
        EXPECT_EQ(call.code, nullptr);
        EXPECT_EQ(call.table, nullptr);
        ASSERT_NE(call.messages, nullptr);
        const char* text = (const char*)call.messages->GetBufferPointer();
        EXPECT_EQ(call.messages->GetBufferSize(), std::strlen(text) + 1);
        EXPECT_NE(std::string(text).find(expected), std::string::npos) << text;
        EXPECT_EQ(std::string(text).find('\n'), std::string::npos) << "one problem, one line: " << text;
    }

    TempDir dir_;
    std::filesystem::path previous_;
};

TEST_F(CompileApi, CompilesBothEntryPointsOfMainFxInTheCurrentDirectory)
{
    dir_.write("main.fx", GOOD);
    for (const char* entry : {"ps_main", "ps_main_f"}) {
        Call call;
        compile(call, entry);
        ASSERT_EQ(call.hr, D3D_OK) << call.text();
        EXPECT_EQ(call.messages, nullptr);
        EXPECT_EQ(call.table, nullptr);
        ASSERT_NE(call.code, nullptr);
        EXPECT_EQ((std::uintptr_t)call.code->GetBufferPointer() % 4, 0u);
        fxplatform::ShaderBlob blob;
        ASSERT_TRUE(fxplatform::decode_shader_blob((const std::uint32_t*)call.code->GetBufferPointer(),
                                                   call.code->GetBufferSize() / 4, blob));
        EXPECT_EQ(blob.glsl.compare(0, 18, "#version 330 core\n"), 0);
    }
}

// Warnings of a successful compile also go to standard error, once for the two entry points of a
// load, again at the next load.
TEST_F(CompileApi, WarningsGoToStandardErrorOnceALoad)
{
    dir_.write("main.fx", std::string("const float k = 0.5;\n") + GOOD);
    const std::string warning = "main.fx(1,13): warning: 'k' : a global that is not static is a constant register";
    for (int load = 0; load < 2; ++load) {
        testing::internal::CaptureStderr();
        for (const char* entry : {"ps_main", "ps_main_f"}) {
            Call call;
            compile(call, entry);
            EXPECT_EQ(call.hr, D3D_OK);
            EXPECT_NE(call.text().find(warning), std::string::npos) << call.text();
        }
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.find(warning), printed.rfind(warning)) << printed;
        EXPECT_NE(printed.find(warning), std::string::npos) << printed;
    }
}

TEST_F(CompileApi, BuffersCountReferencesAndFreeThemselves)
{
    dir_.write("main.fx", GOOD);
    Call call;
    compile(call);
    ASSERT_NE(call.code, nullptr);
    EXPECT_EQ(call.code->AddRef(), 2u);
    EXPECT_EQ(call.code->Release(), 1u);
    EXPECT_EQ(call.code->Release(), 0u);  // freed: the sanitizers and valgrind would see a misuse
    call.code = nullptr;
}

TEST_F(CompileApi, OutPointersMayBeNull)
{
    dir_.write("main.fx", "float4 ps_main() : COLOR0 { return undefined; }\n");
    EXPECT_EQ(D3DXCompileShaderFromFileA("main.fx", NULL, NULL, "ps_main", "ps_3_0", 0, NULL, NULL, NULL), E_FAIL);
    dir_.write("main.fx", GOOD);
    ID3DXBuffer* code = NULL;
    EXPECT_EQ(D3DXCompileShaderFromFileA("main.fx", NULL, NULL, "ps_main", "ps_3_0", 0, &code, NULL, NULL), D3D_OK);
    ASSERT_NE(code, nullptr);
    code->Release();
}

TEST_F(CompileApi, CompileErrorsComeAsFileLineColumnLines)
{
    dir_.write("main.fx", "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0\n{\n    return uv.x + missing;\n}\n");
    Call call;
    compile(call);
    expect_failure(call, E_FAIL, "main.fx(3,19): error: 'missing' : unknown variable");
}

TEST_F(CompileApi, FileProblemsAreReportedWithoutALine)
{
    {
        Call call;
        compile(call);
        expect_failure(call, E_FAIL, "main.fx: error: cannot open the file: No such file or directory");
    }
    std::filesystem::create_directory("main.fx");
    {
        Call call;
        compile(call);
        expect_failure(call, E_FAIL, "main.fx: error: cannot open the file: it is a directory");
    }
}

// A named pipe would block the viewer in open() until a writer came; a device may never end.
TEST_F(CompileApi, OnlyRegularFilesAreRead)
{
    ASSERT_EQ(mkfifo("main.fx", 0600), 0);
    {
        Call call;
        compile(call);
        expect_failure(call, E_FAIL, "main.fx: error: cannot open the file: it is a named pipe, not a regular file");
    }
    std::filesystem::remove("main.fx");
    std::filesystem::create_symlink("/dev/zero", "main.fx");
    {
        Call call;
        compile(call);
        expect_failure(call, E_FAIL, "main.fx: error: cannot open the file: it is a device, not a regular file");
    }
    std::filesystem::remove("main.fx");
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "main.fx");
    ASSERT_EQ(bind(listener, (const sockaddr*)&address, sizeof address), 0);
    {
        Call call;
        compile(call);
        expect_failure(call, E_FAIL, "main.fx: error: cannot open the file: it is a socket, not a regular file");
    }
    close(listener);
    std::filesystem::remove("main.fx");
    // A symlink to a regular file is read as before.
    dir_.write("shader.fx", GOOD);
    std::filesystem::create_symlink("shader.fx", "main.fx");
    Call call;
    compile(call);
    EXPECT_EQ(call.hr, D3D_OK) << call.text();
}

TEST_F(CompileApi, UnreadableFile)
{
    dir_.write("main.fx", GOOD);
    chmod("main.fx", 0);
    if (geteuid() != 0) {
        Call call;
        compile(call);
        expect_failure(call, E_FAIL, "main.fx: error: cannot open the file: Permission denied");
        return;
    }
    // Root reads any file: the compile runs in a child that has become nobody.
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user nobody to read the file as";
    chmod(dir_.path().c_str(), 0755);
    int result[2];
    ASSERT_EQ(pipe(result), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(result[0]);
        if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(2);
        fxcompiler::set_isolation(false);  // nothing shared with the parent's helper
        Call call;
        compile(call);
        const std::string report = std::to_string(call.hr) + " " + (call.code ? "code" : "-") + " " + call.text();
        _exit(write(result[1], report.data(), report.size()) == (ssize_t)report.size() ? 0 : 3);
    }
    close(result[1]);
    std::string report;
    char buffer[4096];
    ssize_t n;
    while ((n = read(result[0], buffer, sizeof buffer)) > 0) report.append(buffer, (std::size_t)n);
    close(result[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child as nobody failed: " << status;
    EXPECT_EQ(report, std::to_string(E_FAIL) + " - main.fx: error: cannot open the file: Permission denied");
}

TEST_F(CompileApi, EmptyAndBinaryFilesAreInvalidData)
{
    for (const char* empty : {"", "  \r\n\t\n"}) {
        dir_.write("main.fx", empty);
        Call call;
        compile(call);
        expect_failure(call, D3DXERR_INVALIDDATA, "main.fx: error: file is empty");
    }
    dir_.write("main.fx", std::string("float4 a;\nfloa\0t4 b;\n", 21));
    Call call;
    compile(call);
    expect_failure(call, D3DXERR_INVALIDDATA, "main.fx(2,5): error: not a text file");
}

TEST_F(CompileApi, FilesAreLimitedToFourMebibytes)
{
    // Just under the limit compiles: a long comment before a shader.
    std::string comment = "// " + std::string(1000, 'x') + "\n";
    std::string big;
    while (big.size() + comment.size() + std::strlen(GOOD) <= fxcompiler::MAX_SOURCE_BYTES) big += comment;
    dir_.write("main.fx", big + GOOD);
    {
        Call call;
        compile(call);
        EXPECT_EQ(call.hr, D3D_OK) << call.text();
    }
    dir_.write("main.fx", big + GOOD + comment);
    Call call;
    compile(call);
    expect_failure(call, D3DXERR_INVALIDDATA, "shader files are limited to 4 MiB");
}

TEST_F(CompileApi, OnlyPs30IsBuilt)
{
    dir_.write("main.fx", GOOD);
    for (const char* profile : {"ps_2_0", "vs_3_0", "PS_3_0", ""}) {
        Call call;
        compile(call, "ps_main", profile);
        expect_failure(call, E_FAIL, "this compiler builds ps_3_0 only");
    }
}

TEST_F(CompileApi, MissingArgumentsAreInvalidCalls)
{
    dir_.write("main.fx", GOOD);
    Call call;
    call.hr =
        D3DXCompileShaderFromFileA("main.fx", NULL, NULL, NULL, "ps_3_0", 0, &call.code, &call.messages, &call.table);
    expect_failure(call, D3DERR_INVALIDCALL, "no entry point or profile given");
    Call no_file;
    no_file.hr = D3DXCompileShaderFromFileA(NULL, NULL, NULL, "ps_main", "ps_3_0", 0, &no_file.code, &no_file.messages,
                                            &no_file.table);
    expect_failure(no_file, D3DERR_INVALIDCALL, "no shader file name given");
}

TEST_F(CompileApi, MissingEntryPointIsAnError)
{
    dir_.write("main.fx", "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return 1; }\n");
    Call call;
    compile(call, "ps_main_f");
    expect_failure(call, E_FAIL, "main.fx(1,1): error: 'ps_main_f' : entry point not found");
}

TEST_F(CompileApi, WarningsAloneStillCompile)
{
    dir_.write("main.fx", std::string("#pragma once\n") + GOOD);
    Call call;
    compile(call);
    EXPECT_EQ(call.hr, D3D_OK);
    EXPECT_NE(call.code, nullptr);
    ASSERT_NE(call.messages, nullptr);
    EXPECT_EQ(call.text(), "main.fx(1,1): warning: '#pragma once' : not implemented");
    EXPECT_EQ(call.messages->GetBufferSize(), call.text().size() + 1);
}

TEST_F(CompileApi, MacroDefinitionsArePassedOn)
{
    dir_.write("main.fx", "float4 ps_main(float2 uv : TEXCOORD0) : COLOR0 { return SCALE * uv.x; }\n");
    const D3DXMACRO defines[] = {{"SCALE", "0.75"}, {NULL, NULL}};
    Call call;
    compile(call, "ps_main", "ps_3_0", defines);
    ASSERT_EQ(call.hr, D3D_OK) << call.text();
    fxplatform::ShaderBlob blob;
    ASSERT_TRUE(fxplatform::decode_shader_blob((const std::uint32_t*)call.code->GetBufferPointer(),
                                               call.code->GetBufferSize() / 4, blob));
    EXPECT_NE(blob.glsl.find("0.75"), std::string::npos) << blob.glsl;
}

TEST_F(CompileApi, IncludeFailsEvenWhenTheFileExists)
{
    dir_.write("common.fxh", "float4 tint;\n");
    dir_.write("main.fx", std::string("#include \"common.fxh\"\n") + GOOD);
    Call call;
    compile(call);
    expect_failure(call, E_FAIL, "main.fx(1,1): error: '#include' : cannot include \"common.fxh\"");
}

TEST_F(CompileApi, TheSameSourceGivesTheSameByteCode)
{
    dir_.write("main.fx", GOOD);
    Call first, second;
    compile(first);
    compile(second);
    ASSERT_EQ(first.hr, D3D_OK);
    ASSERT_EQ(second.hr, D3D_OK);
    ASSERT_EQ(first.code->GetBufferSize(), second.code->GetBufferSize());
    EXPECT_EQ(std::memcmp(first.code->GetBufferPointer(), second.code->GetBufferPointer(), first.code->GetBufferSize()),
              0);
}

// With the sanitizers or valgrind watching, a leak per compile shows here.
TEST_F(CompileApi, AThousandCompilesAndFailuresReleaseEverything)
{
    dir_.write("good.fx", GOOD);
    dir_.write("bad.fx", "float4 ps_main() : COLOR0 { return missing; }\n");
    for (int i = 0; i < 1000; ++i) {
        Call call;
        compile(call, i % 2 ? "ps_main_f" : "ps_main", "ps_3_0", NULL, i % 4 == 3 ? "bad.fx" : "good.fx");
        ASSERT_EQ(call.hr, i % 4 == 3 ? E_FAIL : D3D_OK) << call.text();
    }
}

}  // namespace
