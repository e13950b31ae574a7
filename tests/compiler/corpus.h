// The conformance corpus: small shaders under corpus/, each carrying what it must produce in
// "//! key: value" comment lines (see corpus.cpp for the keys).
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

struct PixelExpectation {
    int x, y;
    std::array<float, 4> rgba;
};

struct ConstantSetting {
    int reg;
    std::array<float, 4> value;
};

struct CorpusCase {
    std::string name;  // file name without ".fx"
    std::string source;
    std::string entry = "ps_main";
    bool expect_ok = true;
    std::vector<std::string> glsl, not_glsl, messages, not_messages, samplers, inputs;
    int constants = -1, sampler_count = -1, input_count = -1;
    std::vector<ConstantSetting> constant_settings;
    std::vector<PixelExpectation> pixels;
    float tolerance = 1e-4f;
};

std::vector<CorpusCase> load_corpus();

// For test names and failure output: the file name, not the bytes.
void PrintTo(const CorpusCase& c, std::ostream* out);
