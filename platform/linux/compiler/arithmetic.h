// Direct3D 9's rules on the parsed tree (arithmetic.cpp): the checks and rewrites glslang's tree
// gets before SPIR-V. Included by translate.cpp only; the GLSL writer is glsl_writer.h.
#pragma once

#include <string>
#include <vector>

#include "compiler.h"

namespace glslang {
class TIntermediate;
}

namespace fxcompiler {

// Direct3D 9's rules on the parsed tree: errors for what its compiler refuses (literal infinities
// and divisions by zero, constructors given too many components), and int/bool constants, which
// the program never sets, read as 0/false. `source` is the text the tree came from. Returns the errors.
std::vector<Diagnostic> apply_tree_rules(glslang::TIntermediate& tree, const std::string& source);

}  // namespace fxcompiler
