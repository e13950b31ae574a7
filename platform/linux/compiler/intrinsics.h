// ps_3_0's intrinsic functions, one table row each (intrinsics.cpp): the shape of what each
// returns, and how this compiler gives Direct3D 9's result where the back end's differs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fxcompiler {

// What a call returns, for the passes that need a value's shape (initialiser lists).
enum class Result {
    Unknown,     // void, or several outputs
    Arguments,   // the arguments' shape, component by component (sin, max, lerp, ...)
    Scalar,      // dot, length, ...
    Vector3,     // cross
    Vector4,     // tex2D, lit, ...
    Transposed,  // transpose
    Product,     // mul
};

// How Direct3D 9's result is had.
enum class Treatment {
    Native,    // as written: the back end's result is Direct3D 9's
    Helper,    // the GLSL writer (glsl_writer.cpp) writes the GLSL.std.450 instruction `glsl_op`, of
               // `arguments` arguments, as a call of our GLSL function `replacement`, defined by
               // `definition` for float and vec2 to vec4 ($T: that type; $I: the int type of as many
               // components; $GE0: x >= 0 and $EQ0: x == 0, component-wise); it may call the other
               // helpers and fx_reduce (the argument range reduction of sin and cos)
    Defined,   // the source calls our HLSL function `replacement` instead, defined by `definition`
    Expanded,  // the call becomes the expression `definition`, with a and b its arguments
    Refused,   // an error: `definition` is the message, after the name
};

struct Intrinsic {
    std::string_view name;
    Result result;
    Treatment treatment;
    std::string_view replacement;
    std::string_view definition;
    int glsl_op = -1;
    int arguments = 1;
};

// The row of `name`, or nullptr for a name that is no intrinsic.
const Intrinsic* find_intrinsic(std::string_view name);
// The Helper row for the GLSL.std.450 instruction `op`, or nullptr.
const Intrinsic* helper_for_instruction(int op);
// Every Helper row, in table order.
const std::vector<const Intrinsic*>& helper_rows();

// A message of the back end with our functions named as the intrinsics they stand for.
std::string with_intrinsic_names(std::string text);

bool intrinsic_table_sorted();  // for the tests

}  // namespace fxcompiler
