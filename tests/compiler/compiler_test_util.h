// Helpers for the compiler tests: compile text in memory, read the GLSL facts, write files.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "compiler.h"

// Compiles `source` as main.fx with the viewer's settings (ps_3_0, default options).
fxcompiler::CompileOutput compile_text(const std::string& source, const std::string& entry = "ps_main");

// The messages as D3DXCompileShaderFromFileA would return them.
std::string messages_of(const fxcompiler::CompileOutput& out);

// The shader body with `body` as the entry point's statements returning float4, plus declarations.
std::string pixel_shader(const std::string& declarations, const std::string& body,
                         const std::string& parameters = "float2 uv : TEXCOORD0");

// A fresh directory for files; removed with its content on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};
