// The words the compiler helper and the device read: what is written reads back, and a reader
// never goes past the words it was given, whatever sizes they claim.
#include <gtest/gtest.h>

#include "shader_blob.h"
#include "wire.h"

namespace {

TEST(Wire, ReadsBackWhatWasWrittenWithTextPaddedToWholeWords)
{
    fxplatform::WireWriter out;
    out.word(7);
    for (const char* text : {"", "a", "ab", "abc", "abcd", "abcde"}) out.text(text);
    out.word_list({1, 2, 3});
    out.word(0xFFFFFFFF);
    EXPECT_EQ(out.words.size(), 1 + 6 + (0 + 1 + 1 + 1 + 1 + 2) + 4 + 1u);

    fxplatform::WireReader in(out.words.data(), out.words.size());
    EXPECT_EQ(in.word(), 7u);
    for (const char* text : {"", "a", "ab", "abc", "abcd", "abcde"}) EXPECT_EQ(in.text(), text);
    EXPECT_EQ(in.word_list(), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(in.word(), 0xFFFFFFFFu);
    EXPECT_TRUE(in.ok());
    EXPECT_TRUE(in.at_end());
}

TEST(Wire, AReadPastTheEndFailsAndEveryReadAfterIt)
{
    // Sizes and counts that claim more than there is, up to 4 GiB: nothing is read or allocated.
    for (std::uint32_t claim : {2u, 5u, 0xFFFFFFFFu}) {
        const std::uint32_t text[] = {claim, 0x41414141};
        fxplatform::WireReader a(text, 2);
        EXPECT_EQ(a.text(), claim == 2 ? "AA" : "") << claim;
        EXPECT_EQ(a.ok(), claim == 2);

        const std::uint32_t list[] = {claim, 1, 2};
        fxplatform::WireReader b(list, 3);
        EXPECT_EQ(b.word_list().size(), claim == 2 ? 2u : 0u) << claim;
        EXPECT_EQ(b.ok(), claim == 2);
        if (claim == 2) continue;
        EXPECT_EQ(b.word(), 0u);  // the words are there, but the reader has failed
        EXPECT_FALSE(b.ok());
    }
    const std::uint32_t one[] = {9};
    fxplatform::WireReader c(one, 1);
    EXPECT_EQ(c.word(), 9u);
    EXPECT_EQ(c.word(), 0u);
    EXPECT_FALSE(c.ok());
}

TEST(Wire, AShaderBlobIsReadWithinItsOwnCountAndTheWordsGiven)
{
    fxplatform::ShaderBlob blob;
    blob.glsl = "#version 330 core\nvoid main() {}\n";
    blob.inputs = {{"fx_in_TEXCOORD0", "vec2", "TEXCOORD", 0, false}};
    blob.samplers = {{"fx_s1", 1, fxplatform::SamplerType::Cube}};
    blob.constants_name = "fx_c";
    blob.constant_count = 3;
    std::vector<std::uint32_t> code = fxplatform::encode_shader_blob(blob);

    fxplatform::ShaderBlob back;
    ASSERT_TRUE(fxplatform::decode_shader_blob(code.data(), code.size(), back));
    EXPECT_EQ(back.glsl, blob.glsl);
    EXPECT_EQ(back.inputs[0].glsl_type, "vec2");
    EXPECT_EQ(back.samplers[0].type, fxplatform::SamplerType::Cube);
    EXPECT_EQ(back.constant_count, 3u);

    EXPECT_FALSE(fxplatform::decode_shader_blob(code.data(), code.size() - 1, back));  // its count claims more
    std::vector<std::uint32_t> cut = code;
    cut[1] = (std::uint32_t)code.size() - 1;  // its count is honest, its last field missing
    EXPECT_FALSE(fxplatform::decode_shader_blob(cut.data(), cut.size(), back));
    std::vector<std::uint32_t> bad_type = code;
    bad_type[code.size() - 4] = 3;  // the sampler's type, before the constants' name and count
    EXPECT_FALSE(fxplatform::decode_shader_blob(bad_type.data(), bad_type.size(), back));
}

}  // namespace
