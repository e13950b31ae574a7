// The least a raw OpenGL program needs to draw the viewer's frame: the same two fragment shaders
// (as our compiler's byte code carries them) over a float target and a back buffer, one quad, a
// blit to the window. The peer the device is measured against.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include "render.h"
#include "shader_blob.h"

namespace bench {

class RawTwoPass {
public:
    // Its own GL context on `window`, swap interval 0; the noise texture filled once by fill_noise.
    bool set_up(SDL_Window* window, const fxplatform::ShaderBlob& scene, const fxplatform::ShaderBlob& final);
    // What F5 costs a raw GL program: both programs linked again, both textures filled again.
    bool reload(const fxplatform::ShaderBlob& scene, const fxplatform::ShaderBlob& final);
    void make_current();
    // Scene pass, final pass, blit and swap; c0.x moves on by a 60th of a second.
    void frame();
    void tear_down();

private:
    bool link_programs(const fxplatform::ShaderBlob& scene, const fxplatform::ShaderBlob& final);
    void fill_textures();

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    GLuint scene_program_ = 0, final_program_ = 0, scene_target_ = 0, back_buffer_ = 0;
    GLuint textures_[2] = {}, renderbuffers_[2] = {}, samplers_[2] = {}, vertex_array_ = 0, vertex_buffer_ = 0;
    GLint scene_constants_ = -1, final_constants_ = -1;
    GLsizei scene_count_ = 0, final_count_ = 0;
    ShaderConstants constants_ = {};
};

}  // namespace bench
