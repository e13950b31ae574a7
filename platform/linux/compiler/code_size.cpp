// The size of the code one entry point runs, from its SPIR-V, as Direct3D 9 would run it: every
// function inlined (its compiler inlines them all), loops counted once.
// Reads: the SPIR-V of one entry point. Changes: nothing.
// Refuses, with the entry point's place: more than 32,768 estimated instruction slots (the most
//   any ps_3_0 device offers, D3DCAPS9's MaxPixelShader30InstructionSlots). Past it, a GL driver
//   spends minutes and gigabytes building the shader: a chain of functions each calling the next
//   twice doubles the code at every link. (How deep calls nest is pass_calls.cpp's to bound.)
// The estimate counts the slots of Direct3D 9's instructions for what computes (sin and cos are a
// sincos macro of 8, a division rcp and mul, ...); loads, stores, access chains and the structure
// of blocks are free, as they are registers and jumps there.
#include <algorithm>
#include <map>

#include <spirv_cross/GLSL.std.450.h>
#include <spirv_cross/spirv.hpp>

#include "compiler.h"
#include "ps30.h"

namespace fxcompiler {

namespace {

bool free_op(std::uint32_t op)
{
    switch (op) {
    case spv::OpLabel:
    case spv::OpBranch:
    case spv::OpSelectionMerge:
    case spv::OpLoopMerge:
    case spv::OpVariable:
    case spv::OpLoad:
    case spv::OpStore:
    case spv::OpAccessChain:
    case spv::OpInBoundsAccessChain:
    case spv::OpFunction:
    case spv::OpFunctionParameter:
    case spv::OpFunctionEnd:
    case spv::OpFunctionCall:
    case spv::OpLine:
    case spv::OpNoLine:
    case spv::OpCompositeExtract:
    case spv::OpCopyObject:
    case spv::OpUndef:
    case spv::OpPhi:
    case spv::OpReturn:
    case spv::OpReturnValue:
    case spv::OpUnreachable: return true;
    default: return false;
    }
}

// Slots of one GLSL.std.450 instruction, as ps_3_0 computes it.
std::uint64_t ext_slots(std::uint32_t op)
{
    switch (op) {
    case GLSLstd450Sin:
    case GLSLstd450Cos: return 8;   // sincos
    case GLSLstd450Tan: return 10;  // sincos, rcp, mul
    case GLSLstd450Asin:
    case GLSLstd450Acos: return 10;  // the polynomial
    case GLSLstd450Atan:
    case GLSLstd450Atan2: return 20;
    case GLSLstd450Pow: return 3;  // log, mul, exp
    case GLSLstd450Sqrt:
    case GLSLstd450Length:
    case GLSLstd450Distance: return 2;
    case GLSLstd450Normalize:
    case GLSLstd450Sinh:
    case GLSLstd450Cosh:
    case GLSLstd450Tanh: return 4;
    case GLSLstd450SmoothStep: return 5;
    default: return 1;
    }
}

// Slots of one instruction; the free ones are 0.
std::uint64_t slots_of(const std::vector<std::uint32_t>& words, std::size_t i, std::uint32_t op, std::uint32_t count)
{
    if (free_op(op)) return 0;
    if (op == spv::OpExtInst && count > 4) return ext_slots(words[i + 4]);
    if (op == spv::OpFDiv) return 2;  // rcp, mul
    if (op == spv::OpMatrixTimesVector || op == spv::OpVectorTimesMatrix || op == spv::OpMatrixTimesMatrix) return 4;
    return 1;
}

struct Function {
    std::uint64_t own = 0;             // slots of its own instructions
    std::vector<std::uint32_t> calls;  // every call, so a function called twice counts twice
};

class CodeSize {
public:
    explicit CodeSize(const std::vector<std::uint32_t>& words)
    {
        std::uint32_t current = 0;
        for (std::size_t i = 5; i < words.size();) {
            const std::uint32_t count = words[i] >> 16, op = words[i] & 0xFFFF;
            if (count == 0 || i + count > words.size()) break;
            if (op == spv::OpEntryPoint && count > 2) entry_ = words[i + 2];
            if (op == spv::OpFunction && count > 2) current = words[i + 2];
            if (current && op == spv::OpFunctionCall && count > 3) functions_[current].calls.push_back(words[i + 3]);
            else if (current) functions_[current].own += slots_of(words, i, op, count);
            if (op == spv::OpFunctionEnd) current = 0;
            i += count;
        }
    }

    std::uint32_t entry() const { return entry_; }

    // Slots with every call inlined, saturating past any limit. Calls nest at most 256 deep here.
    std::uint64_t slots(std::uint32_t f)
    {
        auto found = measured_.find(f);
        if (found != measured_.end()) return found->second;
        measured_[f] = 0;  // no recursion reaches here: the front end refuses it
        const Function& fn = functions_[f];
        std::uint64_t total = fn.own;
        const std::uint64_t most = ~std::uint64_t(0) >> 1;
        for (std::uint32_t callee : fn.calls) total = std::min(most, total + slots(callee));
        return measured_[f] = total;
    }

private:
    std::uint32_t entry_ = 0;
    std::map<std::uint32_t, Function> functions_;
    std::map<std::uint32_t, std::uint64_t> measured_;
};

// Where `name` is first declared or called in the text the back end read, in main.fx's places.
Diagnostic at_function(const PreparedSource& source, const std::string& name, const std::string& text)
{
    Diagnostic d;
    d.text = text;
    int line = 1;
    std::size_t line_start = 0;
    for (std::size_t at = source.text.find(name); at != std::string::npos; at = source.text.find(name, at + 1)) {
        const bool left = at == 0 || !ident_char(source.text[at - 1]);
        std::size_t after = at + name.size();
        while (after < source.text.size() && source.text[after] == ' ') ++after;
        const bool call = after < source.text.size() && source.text[after] == '(';
        if (!left || !call || ident_char(source.text[at + name.size()])) continue;
        for (std::size_t k = line_start; k < at; ++k) {
            if (source.text[k] == '\n') {
                ++line;
                line_start = k + 1;
            }
        }
        const Place place = source.map.to_file(line, int(at - line_start) + 1);
        d.line = place.line;
        d.column = place.column;
        break;
    }
    return d;
}

}  // namespace

std::vector<Diagnostic> check_code_size(const std::vector<std::uint32_t>& spirv, const PreparedSource& source,
                                        const std::string& entry)
{
    CodeSize size(spirv);
    const std::uint32_t root = size.entry();
    if (!root) return {};
    const std::uint64_t slots = size.slots(root);
    if (slots > fxplatform::ps30::MAX_INSTRUCTION_SLOTS) {
        return {at_function(source, entry,
                            "'" + entry + "' : about " + std::to_string(slots) +
                                " instruction slots with its functions inlined; ps_3_0 runs at most " +
                                std::to_string(fxplatform::ps30::MAX_INSTRUCTION_SLOTS))};
    }
    return {};
}

}  // namespace fxcompiler
