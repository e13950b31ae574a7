// Direct3D 9's arithmetic for the back end (arithmetic.cpp): the GLSL writer that gives intrinsics
// ps_3_0's results, and the checks and rewrites of the parsed tree. Included by translate.cpp only.
#pragma once

#include <set>
#include <string>
#include <vector>

#include <spirv_cross/spirv_glsl.hpp>

#include "compiler.h"

namespace glslang {
class TIntermediate;
}

namespace fxcompiler {

// CompilerGLSL that writes sin, cos, tan, asin, acos, log, log2, pow, sqrt, rsqrt, ldexp, frexp and
// division the way ps_3_0 computes them, as calls of helpers that helper_definitions() defines,
// and texCUBEproj, which GLSL lacks.
class D3D9Glsl : public spirv_cross::CompilerGLSL {
public:
    explicit D3D9Glsl(std::vector<std::uint32_t> spirv) : CompilerGLSL(std::move(spirv)) {}

    // Directives for the top of the GLSL (after #version); the helpers the shader calls.
    std::string head_directives() const;
    std::string helper_definitions() const;

protected:
    void emit_glsl_op(std::uint32_t result_type, std::uint32_t id, std::uint32_t op, const std::uint32_t* args,
                      std::uint32_t count) override;
    void emit_instruction(const spirv_cross::Instruction& instruction) override;
    void replace_illegal_names() override;

private:
    std::set<std::string> used_;
    std::set<std::string> needed() const;
};

// Direct3D 9's rules on the parsed tree: errors for what its compiler refuses (literal infinities
// and divisions by zero, constructors given too many components), and int/bool constants, which
// the program never sets, read as 0/false. `source` is the text the tree came from. Returns the errors.
std::vector<Diagnostic> apply_tree_rules(glslang::TIntermediate& tree, const std::string& source);

}  // namespace fxcompiler
