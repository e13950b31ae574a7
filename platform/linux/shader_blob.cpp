#include "shader_blob.h"

#include "wire.h"

namespace fxplatform {

std::vector<std::uint32_t> encode_shader_blob(const ShaderBlob& blob)
{
    WireWriter w;
    w.word(SHADER_BLOB_MAGIC);
    w.word(0);  // total, patched below
    w.text(blob.glsl);
    w.word((std::uint32_t)blob.inputs.size());
    for (const ShaderInput& in : blob.inputs) {
        w.text(in.glsl_name);
        w.text(in.glsl_type);
        w.text(in.semantic);
        w.word(in.semantic_index);
        w.word(in.flat ? 1 : 0);
    }
    w.word((std::uint32_t)blob.samplers.size());
    for (const SamplerBinding& s : blob.samplers) {
        w.text(s.glsl_name);
        w.word(s.unit);
        w.word((std::uint32_t)s.type);
    }
    w.text(blob.constants_name);
    w.word(blob.constant_count);
    w.words[1] = (std::uint32_t)w.words.size();
    return w.words;
}

bool decode_shader_blob(const std::uint32_t* words, std::size_t max_words, ShaderBlob& blob)
{
    if (!words || max_words < 2 || words[0] != SHADER_BLOB_MAGIC || words[1] < 2 || words[1] > max_words) {
        return false;
    }
    WireReader r(words + 2, words[1] - 2);
    ShaderBlob out;
    out.glsl = r.text();
    std::uint32_t inputs = r.word();
    for (std::uint32_t i = 0; r.ok() && i < inputs; ++i) {
        ShaderInput in;
        in.glsl_name = r.text();
        in.glsl_type = r.text();
        in.semantic = r.text();
        in.semantic_index = r.word();
        in.flat = r.word() != 0;
        out.inputs.push_back(in);
    }
    std::uint32_t samplers = r.word();
    for (std::uint32_t i = 0; r.ok() && i < samplers; ++i) {
        SamplerBinding s;
        s.glsl_name = r.text();
        s.unit = r.word();
        std::uint32_t type = r.word();
        if (type > (std::uint32_t)SamplerType::Cube) return false;
        s.type = (SamplerType)type;
        out.samplers.push_back(s);
    }
    out.constants_name = r.text();
    out.constant_count = r.word();
    if (!r.ok()) return false;
    blob = out;
    return true;
}

}  // namespace fxplatform
