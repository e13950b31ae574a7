#include "raw_two_pass.h"

#include <cstdio>
#include <string>
#include <vector>

#include "noise.h"

namespace bench {

namespace {

// Each fragment input gets the quad's texture coordinate (TEXCOORD0) or zero, as the device feeds it.
std::string vertex_stage(const fxplatform::ShaderBlob& blob)
{
    std::string source =
        "#version 330 core\nlayout(location = 0) in vec2 position;\n"
        "layout(location = 1) in vec2 texcoord;\n";
    std::string body;
    for (const fxplatform::ShaderInput& input : blob.inputs) {
        source += (input.flat ? "flat out " : "out ") + input.glsl_type + " " + input.glsl_name + ";\n";
        bool uv = input.semantic == "TEXCOORD" && input.semantic_index == 0;
        body += "    " + input.glsl_name + " = " + input.glsl_type + "(" +
            (uv ? "vec4(texcoord, 0.0, 1.0)" : "vec4(0.0)") + ");\n";
    }
    return source + "void main()\n{\n    gl_Position = vec4(position, 0.0, 1.0);\n" + body + "}\n";
}

GLuint link(const fxplatform::ShaderBlob& blob)
{
    std::string vertex = vertex_stage(blob);
    const char* sources[2] = {vertex.c_str(), blob.glsl.c_str()};
    GLenum stages[2] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
    GLuint program = glCreateProgram();
    for (int i = 0; i < 2; ++i) {
        GLuint shader = glCreateShader(stages[i]);
        glShaderSource(shader, 1, &sources[i], NULL);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetProgramInfoLog(program, sizeof log, NULL, log);
        std::fprintf(stderr, "raw GL: the shader does not link: %s\n", log);
        glDeleteProgram(program);
        return 0;
    }
    glUseProgram(program);
    for (const fxplatform::SamplerBinding& sampler : blob.samplers) {
        glUniform1i(glGetUniformLocation(program, sampler.glsl_name.c_str()), (GLint)sampler.unit);
    }
    return program;
}

GLuint framebuffer_with(GLuint color_texture, GLuint color_renderbuffer, GLuint depth)
{
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    if (color_texture) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_texture, 0);
    } else {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_renderbuffer);
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    return framebuffer;
}

}  // namespace

bool RawTwoPass::link_programs(const fxplatform::ShaderBlob& scene, const fxplatform::ShaderBlob& final)
{
    glDeleteProgram(scene_program_);
    glDeleteProgram(final_program_);
    scene_program_ = link(scene);
    final_program_ = link(final);
    if (!scene_program_ || !final_program_) return false;
    scene_constants_ = final_constants_ = -1;
    if (scene.constant_count > 0) scene_constants_ = glGetUniformLocation(scene_program_, scene.constants_name.c_str());
    if (final.constant_count > 0) final_constants_ = glGetUniformLocation(final_program_, final.constants_name.c_str());
    scene_count_ = (GLsizei)scene.constant_count;
    final_count_ = (GLsizei) final.constant_count;
    return true;
}

void RawTwoPass::fill_textures()
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, textures_[0]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, SCREEN_WIDTH, SCREEN_HEIGHT, 0, GL_RGBA, GL_FLOAT, NULL);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    std::vector<float> noise(32 * 32 * 4);
    for (std::size_t i = 0; i < noise.size(); i += 4) fill_noise((D3DXVECTOR4*)&noise[i], NULL, NULL, NULL);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, textures_[1]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 32, 32, 0, GL_RGBA, GL_FLOAT, noise.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glActiveTexture(GL_TEXTURE0);
}

bool RawTwoPass::reload(const fxplatform::ShaderBlob& scene, const fxplatform::ShaderBlob& final)
{
    if (!link_programs(scene, final)) return false;
    fill_textures();
    return true;
}

bool RawTwoPass::set_up(SDL_Window* window, const fxplatform::ShaderBlob& scene, const fxplatform::ShaderBlob& final)
{
    window_ = window;
    context_ = SDL_GL_CreateContext(window);
    if (!context_) return false;
    SDL_GL_MakeCurrent(window, context_);
    SDL_GL_SetSwapInterval(0);
    const GLsizei width = SCREEN_WIDTH, height = SCREEN_HEIGHT;

    if (!link_programs(scene, final)) return false;
    glGenTextures(2, textures_);
    fill_textures();
    glGenRenderbuffers(2, renderbuffers_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    scene_target_ = framebuffer_with(textures_[0], 0, renderbuffers_[1]);
    back_buffer_ = framebuffer_with(0, renderbuffers_[0], renderbuffers_[1]);
    // Sampler 0 as the loader sets it; sampler 1 keeps Direct3D's defaults (point, wrap).
    glGenSamplers(2, samplers_);
    glSamplerParameteri(samplers_[0], GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(samplers_[0], GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(samplers_[0], GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(samplers_[0], GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(samplers_[1], GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(samplers_[1], GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindSampler(0, samplers_[0]);
    glBindSampler(1, samplers_[1]);

    const float quad[16] = {-1, -1, 0, 0, 1, -1, 1, 0, -1, 1, 0, 1, 1, 1, 1, 1};
    glGenVertexArrays(1, &vertex_array_);
    glBindVertexArray(vertex_array_);
    glGenBuffers(1, &vertex_buffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, (const void*)0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, (const void*)8);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 0);
    return true;
}

void RawTwoPass::make_current() { SDL_GL_MakeCurrent(window_, context_); }

void RawTwoPass::frame()
{
    const GLsizei width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, scene_target_);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(scene_program_);
    if (scene_constants_ >= 0) glUniform4fv(scene_constants_, scene_count_, &constants_.registers[0][0]);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, back_buffer_);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(final_program_);
    if (final_constants_ >= 0) glUniform4fv(final_constants_, final_count_, &constants_.registers[0][0]);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, back_buffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, width, height, 0, height, width, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    SDL_GL_SwapWindow(window_);
    constants_.registers[0][0] += 0.016f;
}

void RawTwoPass::tear_down()
{
    if (!context_) return;
    make_current();
    glDeleteProgram(scene_program_);
    glDeleteProgram(final_program_);
    glDeleteTextures(2, textures_);
    glDeleteRenderbuffers(2, renderbuffers_);
    glDeleteSamplers(2, samplers_);
    glDeleteFramebuffers(1, &scene_target_);
    glDeleteFramebuffers(1, &back_buffer_);
    glDeleteBuffers(1, &vertex_buffer_);
    glDeleteVertexArrays(1, &vertex_array_);
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
}

}  // namespace bench
