#include "shader_blob.h"

#include <cstring>

namespace fxplatform {

namespace {

struct Writer {
    std::vector<std::uint32_t> words;

    void word(std::uint32_t value) { words.push_back(value); }

    void text(const std::string& s)
    {
        word((std::uint32_t)s.size());
        std::size_t at = words.size();
        words.resize(at + (s.size() + 3) / 4, 0);
        if (!s.empty()) std::memcpy(&words[at], s.data(), s.size());
    }
};

struct Reader {
    const std::uint32_t* words;
    std::size_t count;
    std::size_t at = 2;
    bool ok = true;

    std::uint32_t word()
    {
        if (at >= count) {
            ok = false;
            return 0;
        }
        return words[at++];
    }

    std::string text()
    {
        std::uint32_t size = word();
        std::size_t needed = (std::size_t(size) + 3) / 4;
        if (!ok || needed > count - at) {
            ok = false;
            return std::string();
        }
        std::string s(reinterpret_cast<const char*>(&words[at]), size);
        at += needed;
        return s;
    }
};

}  // namespace

std::vector<std::uint32_t> encode_shader_blob(const ShaderBlob& blob)
{
    Writer w;
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
    Reader r{words, words[1]};
    ShaderBlob out;
    out.glsl = r.text();
    std::uint32_t inputs = r.word();
    for (std::uint32_t i = 0; r.ok && i < inputs; ++i) {
        ShaderInput in;
        in.glsl_name = r.text();
        in.glsl_type = r.text();
        in.semantic = r.text();
        in.semantic_index = r.word();
        in.flat = r.word() != 0;
        out.inputs.push_back(in);
    }
    std::uint32_t samplers = r.ok ? r.word() : 0;
    for (std::uint32_t i = 0; r.ok && i < samplers; ++i) {
        SamplerBinding s;
        s.glsl_name = r.text();
        s.unit = r.word();
        std::uint32_t type = r.word();
        if (type > (std::uint32_t)SamplerType::Cube) r.ok = false;
        s.type = (SamplerType)type;
        out.samplers.push_back(s);
    }
    out.constants_name = r.text();
    out.constant_count = r.word();
    if (!r.ok) return false;
    blob = out;
    return true;
}

}  // namespace fxplatform
