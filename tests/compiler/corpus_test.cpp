// Every corpus shader gives the GLSL facts, registers, samplers, inputs and messages it lists.
#include <sstream>

#include "compiler_test_util.h"
#include "corpus.h"

namespace {

const char* type_name(fxplatform::SamplerType type)
{
    switch (type) {
    case fxplatform::SamplerType::Tex2D: return "2D";
    case fxplatform::SamplerType::Tex3D: return "3D";
    case fxplatform::SamplerType::Cube: return "CUBE";
    }
    return "?";
}

class Corpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(Corpus, ProducesWhatItLists)
{
    const CorpusCase& c = GetParam();
    fxcompiler::CompileOutput out = compile_text(c.source, c.entry);
    std::string messages = messages_of(out);
    const fxplatform::ShaderBlob& blob = out.blob;
    ASSERT_EQ(out.result == 0, c.expect_ok) << messages << "\n" << blob.glsl;
    for (const std::string& m : c.messages) {
        EXPECT_NE(messages.find(m), std::string::npos) << m << "\n---\n" << messages;
    }
    for (const std::string& m : c.not_messages) {
        EXPECT_EQ(messages.find(m), std::string::npos) << m << "\n---\n" << messages;
    }
    if (!c.expect_ok) {
        EXPECT_TRUE(out.code.empty());
        return;
    }
    for (const std::string& g : c.glsl) {
        EXPECT_NE(blob.glsl.find(g), std::string::npos) << g << "\n---\n" << blob.glsl;
    }
    for (const std::string& g : c.not_glsl) {
        EXPECT_EQ(blob.glsl.find(g), std::string::npos) << g << "\n---\n" << blob.glsl;
    }
    if (c.constants >= 0) {
        EXPECT_EQ(blob.constant_count, (unsigned)c.constants) << blob.glsl;
        EXPECT_EQ(blob.constants_name, c.constants > 0 ? "fx_c" : "");
    }
    if (c.sampler_count >= 0) {
        EXPECT_EQ(blob.samplers.size(), (std::size_t)c.sampler_count);
    }
    for (const std::string& s : c.samplers) {
        bool found = false;
        for (const fxplatform::SamplerBinding& b : blob.samplers) {
            std::ostringstream text;
            text << b.glsl_name << " " << b.unit << " " << type_name(b.type);
            found = found || text.str() == s;
        }
        EXPECT_TRUE(found) << "no sampler " << s << "\n" << blob.glsl;
    }
    if (c.input_count >= 0) {
        EXPECT_EQ(blob.inputs.size(), (std::size_t)c.input_count);
    }
    for (const std::string& i : c.inputs) {
        bool found = false;
        for (const fxplatform::ShaderInput& in : blob.inputs) {
            std::ostringstream text;
            text << in.glsl_name << " " << in.glsl_type << " " << in.semantic << " " << in.semantic_index;
            found = found || text.str() == i;
        }
        EXPECT_TRUE(found) << "no input " << i << "\n" << blob.glsl;
    }
}

INSTANTIATE_TEST_SUITE_P(Shaders, Corpus, ::testing::ValuesIn(load_corpus()),
                         [](const ::testing::TestParamInfo<CorpusCase>& info) { return info.param.name; });

TEST(CorpusSize, HoldsAtLeastFortyShaders) { EXPECT_GE(load_corpus().size(), 40u); }

}  // namespace
