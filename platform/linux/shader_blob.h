// The byte code our shader compiler hands to CreatePixelShader: the translated GLSL and what
// the device needs to feed it. Opaque to the program, which only passes the pointer along.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fxplatform {

enum class SamplerType : std::uint32_t { Tex2D = 0, Tex3D = 1, Cube = 2 };

// A fragment input the generated vertex stage must write, matched by GLSL name.
struct ShaderInput {
    std::string glsl_name;
    std::string glsl_type;         // "float", "vec2", ... as declared in the fragment shader
    std::string semantic;          // "TEXCOORD", "COLOR", ... without the index
    std::uint32_t semantic_index;  // TEXCOORD1 -> 1
    bool flat;                     // integer inputs are not interpolated
};

struct SamplerBinding {
    std::string glsl_name;
    std::uint32_t unit;  // the Direct3D sampler register sN
    SamplerType type;
};

struct ShaderBlob {
    std::string glsl;  // a complete "#version 330 core" fragment shader
    std::vector<ShaderInput> inputs;
    std::vector<SamplerBinding> samplers;
    std::string constants_name;  // "uniform vec4 NAME[constant_count]" holds c0.. ; empty when unused
    std::uint32_t constant_count = 0;
};

const std::uint32_t SHADER_BLOB_MAGIC = 0x31535846;  // "FXS1"

// Words (wire.h): magic, total word count, then the fields; the count lets a reader stay in bounds.
std::vector<std::uint32_t> encode_shader_blob(const ShaderBlob& blob);

// False for anything that is not a well-formed blob; reads at most max_words words.
bool decode_shader_blob(const std::uint32_t* words, std::size_t max_words, ShaderBlob& blob);

}  // namespace fxplatform
