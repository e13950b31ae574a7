// The limits of this compiler, past which a shader is refused with its place. They are not
// ps_3_0's (see ps30.h): far beyond what real shaders reach, they keep the HLSL front end, the
// SPIR-V writer and the GL drivers, which recurse or allocate without bound, alive and quick.
#pragma once

#include <cstdint>

namespace fxcompiler {
namespace limits {

// Macro expansion: the preprocessor's own recursion and output.
const std::uint64_t MAX_EXPANDED_TOKENS = 4u << 20;  // beyond the file's own tokens
const int MAX_MACRO_ARGUMENT_NESTING = 256;
const int MAX_MACRO_DEPTH = 256;
const int MAX_IF_DEPTH = 256;  // parentheses and unary operators of an #if expression

// The parser recurses once per bracket and per operator of a statement.
const int MAX_NESTING = 256;
// Calls inside calls: GL drivers inline them all, in time and memory that grow with the square.
const int MAX_CALL_DEPTH = 256;
const std::size_t MAX_STATEMENT_TOKENS = 8192;

// Arrays: the elements of one array, all dimensions multiplied.
const std::uint64_t MAX_ARRAY_ELEMENTS = 65536;
// The global constants share one block, one SPIR-V instruction of at most 65,535 words: two for
// the instruction, one per member.
const std::size_t MAX_GLOBALS = 65533;

}  // namespace limits
}  // namespace fxcompiler
