// The words of HLSL the passes need to tell apart, one table (hlsl_words.cpp): modifiers,
// statement keywords, types, effect-file words. A word's row says every role it has.
#pragma once

#include <string_view>

namespace fxcompiler {

enum WordRole : unsigned {
    MODIFIER = 1u << 0,        // storage classes and type modifiers: static, const, row_major, ...
    PARAMETER_ONLY = 1u << 1,  // in, out, inout and the geometry-input words: parameters only
    INTERPOLATION = 1u << 2,   // linear, centroid, noperspective, sample (nointerpolation is a modifier)
    STATEMENT = 1u << 3,       // return, if, for, ...: never a type or a name
    SCALAR = 1u << 4,          // float, half, int, ... (and their vectors and matrices: see scalar_type)
    TEMPLATE = 1u << 5,        // vector<>, matrix<>, Texture2D<>, ...: its '<' opens arguments
    TECHNIQUE = 1u << 6,       // technique, pass: an effect block
    EFFECT_OBJECT = 1u << 7,   // texture, string, PixelShader, ...: effect state the shader never reads
    BLOCK = 1u << 8,           // struct, cbuffer, tbuffer, typedef, namespace
    SAMPLER = 1u << 9,         // sampler, sampler2D, ...: may carry a block of effect states
};

// The roles of `word`, 0 for an ordinary name.
unsigned word_roles(std::string_view word);
bool word_table_sorted();  // for the tests

inline bool has_role(std::string_view word, unsigned roles) { return (word_roles(word) & roles) != 0; }

// A modifier, or a word that qualifies a parameter: what stands before a declaration's type.
inline bool is_qualifier(std::string_view word) { return has_role(word, MODIFIER | PARAMETER_ONLY | INTERPOLATION); }

// float, half3, int2x4, double, fixed4, min16float2, ...: the scalar's length in `base_length`,
// rows and columns (1 for a scalar, rows 1 for a vector). False for anything else.
bool scalar_type(std::string_view word, std::size_t& base_length, int& rows, int& columns);

}  // namespace fxcompiler
