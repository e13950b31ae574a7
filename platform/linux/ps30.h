// ps_3_0's numbers, as Direct3D 9 fixes them: the one place the compiler and the device read them.
#pragma once

#include <cstdint>

namespace fxplatform {
namespace ps30 {

const std::uint32_t FLOAT_CONSTANTS = 224;    // c0-c223
const std::uint32_t INT_CONSTANTS = 16;       // i0-i15
const std::uint32_t BOOL_CONSTANTS = 16;      // b0-b15
const std::uint32_t SAMPLERS = 16;            // s0-s15
const std::uint32_t TEMPORARIES = 32;         // r0-r31
const std::uint32_t COLOR_OUTPUTS = 4;        // COLOR0-COLOR3 (oC0-oC3)
const std::uint32_t MAX_SEMANTIC_INDEX = 15;  // a declaration's usage index has 4 bits
// Instruction slots: at least 512, and at most 32,768 on any device (MaxPixelShader30InstructionSlots).
const std::uint64_t MAX_INSTRUCTION_SLOTS = 32768;

}  // namespace ps30
}  // namespace fxplatform
