// ps_3_0's intrinsic functions, one table row each (intrinsics.cpp): the shape of what each
// returns, and how this compiler gives Direct3D 9's result where the back end's differs.
#pragma once

#include <string>
#include <string_view>

namespace fxcompiler {

// What a call returns, for the passes that need a value's shape (initialiser lists).
enum class Result {
    Unknown,      // void, or several outputs
    Arguments,    // the arguments' shape, component by component (sin, max, lerp, ...)
    Scalar,       // dot, length, ...
    Vector3,      // cross
    Vector4,      // tex2D, lit, ...
    Transposed,   // transpose
    Product,      // mul
};

// How the source reaches the back end.
enum class Treatment {
    Native,      // as written: the back end's result is Direct3D 9's, or the GLSL writer fixes it
                 // (arithmetic.cpp: sin, cos, tan, asin, acos, log, log2, pow, sqrt, rsqrt, ldexp, frexp)
    Defined,     // `replacement` names our HLSL function, whose definition is `definition`
    Expanded,    // the call becomes `definition`, with a and b its arguments
    Refused,     // an error: `definition` is the message's last words
};

struct Intrinsic {
    std::string_view name;
    Result result;
    Treatment treatment;
    std::string_view replacement;
    std::string_view definition;
};

// The row of `name`, or nullptr for a name that is no intrinsic.
const Intrinsic* find_intrinsic(std::string_view name);

// A message of the back end with our functions named as the intrinsics they stand for.
std::string with_intrinsic_names(std::string text);

bool intrinsic_table_sorted();  // for the tests

}  // namespace fxcompiler
