// 32-bit words and length-prefixed text: the one format of the shader blob (shader_blob.cpp) and
// of the compiler helper's requests and answers (compiler/isolate.cpp).
//
// Text is its size in bytes, then its bytes padded with zeros to whole words. A reader stays
// within the words it was given: a read past them fails, and every read after it, however large
// the sizes the words claim; nothing is allocated for a size before its words are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fxplatform {

struct WireWriter {
    std::vector<std::uint32_t> words;

    void word(std::uint32_t value) { words.push_back(value); }
    void text(const std::string& value);
    void word_list(const std::vector<std::uint32_t>& values);  // the count, then the words
};

class WireReader {
public:
    WireReader(const std::uint32_t* words, std::size_t count) : words_(words), count_(count) {}

    // Each gives 0, "" or {} once a read has failed.
    std::uint32_t word();
    std::string text();
    std::vector<std::uint32_t> word_list();

    bool ok() const { return ok_; }  // every read so far was there in full
    bool at_end() const { return at_ == count_; }

private:
    const std::uint32_t* words_;
    std::size_t count_;
    std::size_t at_ = 0;
    bool ok_ = true;

    bool has(std::size_t words);  // fails the reader when fewer are left
};

}  // namespace fxplatform
