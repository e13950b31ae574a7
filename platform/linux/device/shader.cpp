// Pixel shaders: CreatePixelShader decodes our compiler's byte code, generates the vertex stage
// that feeds the fragment shader's inputs, links them and binds samplers; also the program used
// when no pixel shader is set.
#include <cstring>

#include "device_internal.h"

namespace fxplatform {
namespace gl_device {

namespace {

bool is_identifier(const std::string& name)
{
    if (name.empty() || name.compare(0, 3, "gl_") == 0) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

bool is_varying_type(const std::string& type)
{
    static const char* const TYPES[] = {"float", "vec2",  "vec3", "vec4",  "int",   "ivec2",
                                        "ivec3", "ivec4", "uint", "uvec2", "uvec3", "uvec4"};
    for (const char* t : TYPES) {
        if (type == t) return true;
    }
    return false;
}

bool valid_blob(const ShaderBlob& blob)
{
    for (const ShaderInput& input : blob.inputs) {
        if (!is_identifier(input.glsl_name) || !is_varying_type(input.glsl_type)) return false;
    }
    std::uint32_t units = 0;
    for (const SamplerBinding& sampler : blob.samplers) {
        if (!is_identifier(sampler.glsl_name) || sampler.unit >= MAX_SAMPLERS) return false;
        if (units & (1u << sampler.unit)) return false;  // GL allows one sampler type per unit
        units |= 1u << sampler.unit;
    }
    if (blob.constant_count > MAX_FLOAT_CONSTANTS) return false;
    if (blob.constant_count > 0 && !is_identifier(blob.constants_name)) return false;
    return !blob.glsl.empty();
}

std::string info_log(GLuint object, bool program)
{
    GLint length = 0;
    if (program) {
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    } else {
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    }
    std::string log(length > 0 ? (std::size_t)length : 0, '\0');
    if (length > 0) {
        if (program) {
            glGetProgramInfoLog(object, length, NULL, &log[0]);
        } else {
            glGetShaderInfoLog(object, length, NULL, &log[0]);
        }
        log.resize(std::strlen(log.c_str()));
    }
    return log;
}

GLuint compile(GLenum stage, const char* source, std::string& log)
{
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, NULL);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        log += (stage == GL_VERTEX_SHADER ? "vertex stage: " : "fragment stage: ") + info_log(shader, false);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// Active size of the register array: the linker may drop registers beyond the last one read.
GLsizei active_array_size(GLuint program, const std::string& name, GLsizei declared)
{
    GLint count = 0, max_length = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    glGetProgramiv(program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &max_length);
    std::string buffer((std::size_t)(max_length > 0 ? max_length : 1), '\0');
    for (GLint i = 0; i < count; ++i) {
        GLint size = 0;
        GLenum type = 0;
        GLsizei length = 0;
        glGetActiveUniform(program, (GLuint)i, max_length, &length, &size, &type, &buffer[0]);
        std::string active(buffer.c_str(), (std::size_t)length);
        if (active == name || active == name + "[0]") return size < declared ? size : declared;
    }
    return declared;
}

const char* const FIXED_FUNCTION_FRAGMENT = R"(#version 330 core
uniform sampler2D fx_stage0;
uniform int fx_has_texture;
in vec4 fx_uv;
in vec4 fx_diffuse;
layout(location = 0) out vec4 fx_color;
void main()
{
    if (fx_has_texture != 0) {
        vec4 texel = texture(fx_stage0, fx_uv.xy);
        fx_color = vec4(texel.rgb * fx_diffuse.rgb, texel.a);
    } else {
        fx_color = fx_diffuse;
    }
}
)";

}  // namespace

GLuint link_program(const char* vertex_source, const char* fragment_source)
{
    std::string log;
    GLuint vertex = compile(GL_VERTEX_SHADER, vertex_source, log);
    GLuint fragment = compile(GL_FRAGMENT_SHADER, fragment_source, log);
    GLuint program = 0;
    if (vertex && fragment) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        glDetachShader(program, vertex);
        glDetachShader(program, fragment);
        if (!ok) {
            log += "link: " + info_log(program, true);
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vertex) glDeleteShader(vertex);
    if (fragment) glDeleteShader(fragment);
    if (!program) OutputDebugStringA(("Direct3D 9 device: the pixel shader does not build on OpenGL:\n" + log).c_str());
    return program;
}

std::string vertex_stage_for(const std::vector<ShaderInput>& inputs)
{
    std::string source =
        "#version 330 core\nlayout(location = 0) in vec4 fx_position;\n"
        "layout(location = 1) in vec4 fx_color0;\nlayout(location = 2) in vec4 fx_color1;\n";
    for (UINT t = 0; t < MAX_TEXCOORDS; ++t) {
        source += "layout(location = " + std::to_string(3 + t) + ") in vec4 fx_texcoord" + std::to_string(t) + ";\n";
    }
    std::string body;
    for (const ShaderInput& input : inputs) {
        source += (input.flat ? "flat out " : "out ") + input.glsl_type + " " + input.glsl_name + ";\n";
        std::string value = "vec4(0.0)";  // inputs no vertex supplies read 0
        if (input.semantic == "TEXCOORD" && input.semantic_index < MAX_TEXCOORDS) {
            value = "fx_texcoord" + std::to_string(input.semantic_index);
        } else if (input.semantic == "COLOR" && input.semantic_index < 2) {
            value = "fx_color" + std::to_string(input.semantic_index);
        }
        body += "    " + input.glsl_name + " = " + input.glsl_type + "(" + value + ");\n";
    }
    return source + "void main()\n{\n    gl_Position = fx_position;\n" + body + "}\n";
}

bool Device::create_fixed_function()
{
    std::vector<ShaderInput> inputs = {{"fx_uv", "vec4", "TEXCOORD", 0, false},
                                       {"fx_diffuse", "vec4", "COLOR", 0, false}};
    fixed_function_ = link_program(vertex_stage_for(inputs).c_str(), FIXED_FUNCTION_FRAGMENT);
    if (!fixed_function_) return false;
    glUseProgram(fixed_function_);
    bound_program_ = fixed_function_;
    glUniform1i(glGetUniformLocation(fixed_function_, "fx_stage0"), 0);
    fixed_function_has_texture_ = glGetUniformLocation(fixed_function_, "fx_has_texture");
    glUniform1i(fixed_function_has_texture_, 0);
    fixed_function_texture_bound_ = 0;
    return true;
}

// ---- PixelShader ------------------------------------------------------------------------

PixelShader::PixelShader(Device* device, GLuint program_name) : program(program_name), device_(device)
{
    device_->AddRef();
    device_->child_created();
    ++live_objects;
}

PixelShader::~PixelShader() { --live_objects; }

ULONG PixelShader::AddRef()
{
    if (refs_++ == 0) device_->AddRef();
    return refs_;
}

ULONG PixelShader::Release()
{
    ULONG refs = --refs_;
    if (refs == 0) {
        Device* device = device_;
        if (binds_ == 0) destroy();
        device->Release();
    }
    return refs;
}

void PixelShader::unbind()
{
    if (--binds_ == 0 && refs_ == 0) destroy();
}

void PixelShader::destroy()
{
    Device* device = device_;
    if (device->make_current()) {
        device->forget_program(program);
        glDeleteProgram(program);
    }
    delete this;
    device->child_destroyed();
}

HRESULT Device::CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader)
{
    if (!ppShader) return D3DERR_INVALIDCALL;
    *ppShader = NULL;
    // The size is not passed: the blob carries it in its second word, read once the magic matches.
    if (!pFunction || pFunction[0] != SHADER_BLOB_MAGIC) return D3DERR_INVALIDCALL;
    ShaderBlob blob;
    if (!decode_shader_blob(pFunction, pFunction[1], blob) || !valid_blob(blob)) return D3DERR_INVALIDCALL;
    if (!make_current()) return D3DERR_DEVICELOST;

    GLuint program = link_program(vertex_stage_for(blob.inputs).c_str(), blob.glsl.c_str());
    if (!program) return E_FAIL;

    PixelShader* shader = new PixelShader(this, program);
    cost_changed();
    glUseProgram(program);
    bound_program_ = program;
    if (blob.constant_count > 0) {
        shader->constants_location = glGetUniformLocation(program, blob.constants_name.c_str());
        if (shader->constants_location >= 0) {
            shader->constant_count =
                (UINT)active_array_size(program, blob.constants_name, (GLsizei)blob.constant_count);
        }
    }
    for (const SamplerBinding& sampler : blob.samplers) {
        GLint location = glGetUniformLocation(program, sampler.glsl_name.c_str());
        if (location < 0) continue;  // declared but never read
        glUniform1i(location, (GLint)sampler.unit);
        shader->samplers.push_back({sampler.unit, sampler.type});
    }
    *ppShader = shader;
    return D3D_OK;
}

}  // namespace gl_device
}  // namespace fxplatform
