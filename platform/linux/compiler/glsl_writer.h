// The GLSL writer (glsl_writer.cpp): SPIRV-Cross's CompilerGLSL, made to write the fragment shader
// the device compiles, GLSL 330 core, with ps_3_0's meaning. Used by interface.cpp only.
//
// Reads: the SPIR-V of one entry point, and what interface.cpp tells it: how many constant
// registers the shader uses, which inputs and outputs are Direct3D 9's special registers.
// Changes: only what it writes, through SPIRV-Cross's hooks, never by editing the text afterwards:
// - the header: #version 330 core, extensions, Direct3D 9's pixel centres on gl_FragCoord, a macro
//   for each special register (VPOS, VFACE, DEPTH: not declared as inputs or outputs), the inputs
//   an array or matrix input spreads over, with a macro that builds it from them, and the helper
//   functions the shader calls;
// - statics (SPIR-V's Private variables) without an initialiser start at 0, as Direct3D 9's do;
//   locals keep no initialiser;
// - the constant block, declared as the register file `uniform vec4 fx_c[N]` (c0 to cN-1);
// - sin, cos, tan, asin, acos, log, log2, pow, sqrt, rsqrt, ldexp, frexp and division with ps_3_0's
//   results, and texCUBEproj, which GLSL lacks.
// Refuses nothing itself: interface.cpp refuses what ps_3_0 lacks before the writer runs.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <spirv_cross/spirv_glsl.hpp>

#include "intrinsics.h"

namespace fxcompiler {

class D3D9Glsl : public spirv_cross::CompilerGLSL {
public:
    explicit D3D9Glsl(std::vector<std::uint32_t> spirv);

    // The constant block is Direct3D 9's register file: `registers` float4 registers from c0, no
    // declaration when 0. The block must be flattened.
    void declare_constant_registers(spirv_cross::VariableID block, std::uint32_t registers);
    // Inputs and outputs in Direct3D 9's special registers are GL built-ins: each becomes a macro
    // `name` for the built-in, in `type` (the input's GLSL type, of `components` components).
    void read_pixel_position(spirv_cross::VariableID input, const std::string& name, const std::string& type,
                             std::uint32_t components);  // VPOS: the integer pixel index
    void read_face(spirv_cross::VariableID input, const std::string& name, const std::string& type);  // VFACE: +-1
    void write_depth(spirv_cross::VariableID output, const std::string& name);                        // DEPTH
    // An array or matrix input over consecutive registers: each of `registers` (one an element, a
    // row) is declared as an input of `type`, and `name` is a macro building the value from them.
    void read_spread_input(spirv_cross::VariableID input, const std::string& name,
                           const std::vector<std::string>& registers, const std::string& type, bool flat);

    std::string compile() override;
    // The SPIR-V as glslang wrote it: SPIRV-Cross keeps the words it parsed.
    const std::vector<std::uint32_t>& words() const { return ir.spirv; }

protected:
    void emit_header() override;
    void emit_buffer_block(const spirv_cross::SPIRVariable& var) override;
    void emit_glsl_op(std::uint32_t result_type, std::uint32_t id, std::uint32_t op, const std::uint32_t* args,
                      std::uint32_t count) override;
    void emit_instruction(const spirv_cross::Instruction& instruction) override;
    void replace_illegal_names() override;
    std::string variable_decl(const spirv_cross::SPIRVariable& variable) override;

private:
    struct Macro {
        std::string name, value;
    };
    struct SpreadInput {
        spirv_cross::VariableID id;
        std::string name;
        std::vector<std::string> registers;
        std::string type;
        bool flat;
    };

    spirv_cross::VariableID constants_ = 0;
    std::uint32_t constant_registers_ = 0;
    std::vector<Macro> macros_;
    std::vector<SpreadInput> spread_inputs_;
    std::unordered_map<std::uint32_t, std::string> zeros_;  // a type's zero, as the statics' initialiser
    bool pixel_position_ = false;
    std::set<std::string> helpers_;  // the helpers the header defines, with those they call

    void special_register(spirv_cross::VariableID id, const std::string& name, const std::string& value);
    std::string gather(const spirv_cross::SPIRType& type, const std::vector<std::string>& registers, std::size_t& next);
    bool holds_values(const spirv_cross::SPIRType& type) const;
    const Intrinsic* helper_for(std::uint32_t result_type, std::uint32_t op, std::uint32_t count) const;
    void find_helpers();
    bool add_helper(const Intrinsic& row);  // false when the header has it already
    void emit_extension(const std::string& extension);
    void emit_helpers();
};

}  // namespace fxcompiler
