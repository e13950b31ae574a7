#include "compiler_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

fxcompiler::CompileOutput compile_text(const std::string& source, const std::string& entry)
{
    return fxcompiler::compile_source(source, "main.fx", entry, "ps_3_0", {}, fxcompiler::options_for_flags(0x8400));
}

std::string messages_of(const fxcompiler::CompileOutput& out)
{
    return fxcompiler::format_diagnostics(out.diagnostics, "main.fx");
}

std::string pixel_shader(const std::string& declarations, const std::string& body, const std::string& parameters)
{
    return declarations + "\nfloat4 ps_main(" + parameters + ") : COLOR0\n{\n" + body + "\n}\n";
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "fxcompiler-XXXXXX").string();
    if (char* made = mkdtemp(pattern.data())) path_ = made;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const
{
    std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
}
