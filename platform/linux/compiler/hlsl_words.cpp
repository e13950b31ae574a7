// The table of HLSL words (see hlsl_words.h). Adding a word means one row.
#include "hlsl_words.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace fxcompiler {

namespace {

struct Word {
    std::string_view text;
    unsigned roles;
};

// Sorted by text, for a binary search (a test checks the order).
// clang-format off
const Word WORDS[] = {
    {"AppendStructuredBuffer", TEMPLATE},
    {"Buffer", TEMPLATE},
    {"ConsumeStructuredBuffer", TEMPLATE},
    {"InputPatch", TEMPLATE},
    {"LineStream", TEMPLATE},
    {"OutputPatch", TEMPLATE},
    {"PixelShader", EFFECT_OBJECT},
    {"PointStream", TEMPLATE},
    {"RWBuffer", TEMPLATE},
    {"RWByteAddressBuffer", TEMPLATE},
    {"RWStructuredBuffer", TEMPLATE},
    {"RWTexture1D", TEMPLATE},
    {"RWTexture1DArray", TEMPLATE},
    {"RWTexture2D", TEMPLATE},
    {"RWTexture2DArray", TEMPLATE},
    {"RWTexture3D", TEMPLATE},
    {"SamplerComparisonState", SAMPLER},
    {"SamplerState", SAMPLER},
    {"StructuredBuffer", TEMPLATE},
    {"TECHNIQUE", TECHNIQUE},
    {"TEXTURE", EFFECT_OBJECT},
    {"Technique", TECHNIQUE},
    {"Texture", EFFECT_OBJECT | TEMPLATE},
    {"Texture1D", TEMPLATE},
    {"Texture1DArray", TEMPLATE},
    {"Texture2D", TEMPLATE},
    {"Texture2DArray", TEMPLATE},
    {"Texture2DMS", TEMPLATE},
    {"Texture2DMSArray", TEMPLATE},
    {"Texture3D", TEMPLATE},
    {"TextureCube", TEMPLATE},
    {"TextureCubeArray", TEMPLATE},
    {"TriangleStream", TEMPLATE},
    {"VertexShader", EFFECT_OBJECT},
    {"bool", SCALAR},
    {"break", STATEMENT},
    {"case", STATEMENT},
    {"cbuffer", BLOCK},
    {"centroid", INTERPOLATION},
    {"column_major", MODIFIER},
    {"const", MODIFIER},
    {"continue", STATEMENT},
    {"default", STATEMENT},
    {"discard", STATEMENT},
    {"do", STATEMENT},
    {"double", SCALAR},
    {"dword", SCALAR},
    {"else", STATEMENT},
    {"extern", MODIFIER},
    {"false", STATEMENT},
    {"fixed", SCALAR},
    {"float", SCALAR},
    {"for", STATEMENT},
    {"groupshared", MODIFIER},
    {"half", SCALAR},
    {"if", STATEMENT},
    {"in", PARAMETER_ONLY},
    {"inline", MODIFIER},
    {"inout", PARAMETER_ONLY},
    {"int", SCALAR},
    {"line", PARAMETER_ONLY},
    {"lineadj", PARAMETER_ONLY},
    {"linear", INTERPOLATION},
    {"matrix", TEMPLATE},
    {"min10float", SCALAR},
    {"min12int", SCALAR},
    {"min16float", SCALAR},
    {"min16int", SCALAR},
    {"min16uint", SCALAR},
    {"namespace", BLOCK},
    {"nointerpolation", MODIFIER},
    {"noperspective", INTERPOLATION},
    {"out", PARAMETER_ONLY},
    {"packoffset", STATEMENT},
    {"pass", TECHNIQUE},
    {"pixelshader", EFFECT_OBJECT},
    {"point", PARAMETER_ONLY},
    {"precise", MODIFIER},
    {"register", STATEMENT},
    {"return", STATEMENT},
    {"row_major", MODIFIER},
    {"sample", INTERPOLATION},
    {"sampler", SAMPLER},
    {"sampler1D", SAMPLER},
    {"sampler2D", SAMPLER},
    {"sampler3D", SAMPLER},
    {"samplerCUBE", SAMPLER},
    {"shared", MODIFIER},
    {"snorm", MODIFIER},
    {"stateblock", EFFECT_OBJECT},
    {"static", MODIFIER},
    {"string", EFFECT_OBJECT},
    {"struct", BLOCK},
    {"switch", STATEMENT},
    {"tbuffer", BLOCK},
    {"technique", TECHNIQUE},
    {"technique10", TECHNIQUE},
    {"technique11", TECHNIQUE},
    {"technique9", TECHNIQUE},
    {"texture", EFFECT_OBJECT},
    {"texture1D", EFFECT_OBJECT},
    {"texture2D", EFFECT_OBJECT},
    {"texture3D", EFFECT_OBJECT},
    {"textureCUBE", EFFECT_OBJECT},
    {"triangle", PARAMETER_ONLY},
    {"triangleadj", PARAMETER_ONLY},
    {"true", STATEMENT},
    {"typedef", BLOCK},
    {"uint", SCALAR},
    {"uniform", MODIFIER},
    {"unorm", MODIFIER},
    {"vector", TEMPLATE},
    {"vertexshader", EFFECT_OBJECT},
    {"volatile", MODIFIER},
    {"while", STATEMENT},
};
// clang-format on

bool less(const Word& a, const Word& b) { return a.text < b.text; }

}  // namespace

bool word_table_sorted() { return std::is_sorted(std::begin(WORDS), std::end(WORDS), less); }

unsigned word_roles(std::string_view word)
{
    // Asked of nearly every token: a hash, not a search of the table.
    static const std::unordered_map<std::string_view, unsigned> roles = [] {
        std::unordered_map<std::string_view, unsigned> m;
        for (const Word& w : WORDS) m.emplace(w.text, w.roles);
        return m;
    }();
    auto found = roles.find(word);
    return found != roles.end() ? found->second : 0;
}

bool scalar_type(std::string_view word, std::size_t& base_length, int& rows, int& columns)
{
    std::size_t n = word.size();
    auto dim = [](char c) { return c >= '1' && c <= '4'; };
    rows = columns = 1;
    if (n >= 4 && dim(word[n - 3]) && word[n - 2] == 'x' && dim(word[n - 1])) {
        rows = word[n - 3] - '0';
        columns = word[n - 1] - '0';
        n -= 3;
    } else if (n >= 2 && dim(word[n - 1])) {
        columns = word[n - 1] - '0';
        n -= 1;
    }
    if (!(word_roles(word.substr(0, n)) & SCALAR)) return false;
    base_length = n;
    return true;
}

}  // namespace fxcompiler
