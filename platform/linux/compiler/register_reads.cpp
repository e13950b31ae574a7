// registers_read: how many registers of each constant the code reads, as Direct3D 9's compiler
// counts them: a constant's registers end at the last one its code reads, so a partly read array,
// matrix or struct takes fewer registers than its type spans, and the constants after it move down.
//
// Read from the SPIR-V of one entry point, after interface.cpp has laid the constants out (the
// ArrayStride and member Offset decorations hold registers x 16). A read is followed from the
// constant block through access chains, loads, component extracts, shuffles and copies; any other
// use of what was read (arithmetic, a store, a call) reads all of it. A dynamic index reads the
// whole array, matrix or vector it indexes. Registers of a matrix are its columns, or its rows
// (SPIR-V's RowMajor): there component k of any column lies in register k.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#define SPV_ENABLE_UTILITY_CODE
#include <spirv_cross/spirv_cross.hpp>
#include <spirv-tools/optimizer.hpp>

#include "compiler.h"

namespace fxcompiler {

namespace {

using spirv_cross::SPIRType;

const std::uint64_t NOWHERE = ~0ull;

// A value or pointer taken from one member of the constant block.
struct Part {
    std::uint32_t member = 0;
    std::uint32_t type = 0;   // the value's type (the pointee's, for a pointer)
    std::uint64_t first = 0;  // its first register, counted from the member's
    bool row_major = false;
    bool spread = false;  // a vector (of `size` components) whose components lie in these registers
    std::uint32_t size = 0;
    std::uint64_t components[4] = {NOWHERE, NOWHERE, NOWHERE, NOWHERE};
};

class Reads {
public:
    Reads(const spirv_cross::Compiler& compiler, std::uint32_t block_type, RegisterReads& out)
        : compiler_(compiler), block_type_(block_type), ends_(out.read_end), loads_(out.load_end)
    {
    }

    void run(const std::vector<std::uint32_t>& words, std::uint32_t block_variable)
    {
        const std::size_t HEADER = 5;
        // Within a function a value is defined before the instructions that step into it, but a
        // loop's phi may name one defined further on: the steps first, the other uses after.
        for (int round = 0; round < 2; ++round) {
            bool in_function = false;
            for (std::size_t at = HEADER; at < words.size();) {
                std::uint32_t count = words[at] >> 16;
                if (count == 0 || at + count > words.size()) {  // not glslang's: every register read
                    std::fill(ends_.begin(), ends_.end(), NOWHERE);
                    return;
                }
                const spv::Op op = spv::Op(words[at] & 0xFFFF);
                if (op == spv::OpFunction) in_function = true;
                if (round == 0) note(op, &words[at], count);
                if (in_function) {
                    if (round == 0) step(op, &words[at], count, block_variable);
                    else other_uses(op, &words[at], count, block_variable);
                }
                at += count;
            }
        }
    }

private:
    const spirv_cross::Compiler& compiler_;
    std::uint32_t block_type_;
    std::vector<std::uint64_t>& ends_;
    std::vector<std::uint64_t>& loads_;
    std::unordered_map<std::uint32_t, Part> parts_;           // what each id holds of a constant
    std::unordered_map<std::uint32_t, std::uint32_t> steps_;  // results of round 0's steps: what they stepped into
    std::unordered_set<std::uint32_t> int_types_;
    std::unordered_map<std::uint32_t, std::uint32_t> vector_types_, vector_sizes_, int_constants_;

    void read(const Part& part, std::uint64_t reg)
    {
        if (reg != NOWHERE) ends_[part.member] = std::max(ends_[part.member], reg + 1);
    }

    std::uint64_t registers_of(std::uint32_t type_id, bool row_major) const
    {
        const SPIRType& type = compiler_.get_type(type_id);
        if (!type.array.empty()) {
            std::uint64_t stride = array_stride(type_id);
            return stride == NOWHERE ? NOWHERE : type.array.back() * stride;
        }
        if (type.basetype == SPIRType::Struct) {
            std::uint64_t end = 0;
            for (std::uint32_t m = 0; m < type.member_types.size(); ++m) {
                bool member_row_major = compiler_.has_member_decoration(type_id, m, spv::DecorationRowMajor);
                std::uint64_t size = registers_of(type.member_types[m], member_row_major);
                if (size == NOWHERE) return NOWHERE;
                end = std::max(end, compiler_.get_member_decoration(type_id, m, spv::DecorationOffset) / 16 + size);
            }
            return end;
        }
        if (type.columns > 1) return row_major ? type.vecsize : type.columns;
        return 1;
    }

    void read_all(const Part& part)
    {
        if (part.spread) {
            for (std::uint64_t reg : part.components) read(part, reg);
            return;
        }
        std::uint64_t count = registers_of(part.type, part.row_major);
        if (count == NOWHERE) ends_[part.member] = NOWHERE;  // too large to lay out: all of it
        else if (count > 0) read(part, part.first + count - 1);
    }

    // The GLSL loads all of what is loaded, read or not.
    void note_load(const Part& part)
    {
        std::uint64_t& end = loads_[part.member];
        if (part.spread) {
            for (std::uint64_t reg : part.components) {
                if (reg != NOWHERE) end = std::max(end, reg + 1);
            }
            return;
        }
        std::uint64_t count = registers_of(part.type, part.row_major);
        end = count == NOWHERE ? NOWHERE : std::max(end, part.first + count);
    }

    std::uint64_t array_stride(std::uint32_t type_id) const
    {
        if (!compiler_.has_decoration(type_id, spv::DecorationArrayStride)) return NOWHERE;
        return compiler_.get_decoration(type_id, spv::DecorationArrayStride) / 16;
    }

    // The part one index further in; false when the index reads all of `part` (a dynamic one).
    bool index(const Part& part, std::uint64_t i, bool constant, Part& out)
    {
        out = part;
        if (part.spread) {  // a component: its own register
            if (!constant || i >= part.size || part.size == 1) return false;
            out.size = 1;
            std::fill(std::begin(out.components), std::end(out.components), NOWHERE);
            out.components[0] = part.components[i];
            return true;
        }
        const SPIRType& type = compiler_.get_type(part.type);
        if (type.array.empty() && type.basetype != SPIRType::Struct && type.columns == 1) {
            // A component of a vector in one register (a scalar has none).
            if (!constant || type.vecsize <= 1 || i >= type.vecsize) return false;
            out.spread = true;
            out.size = 1;
            out.components[0] = part.first;
            return true;
        }
        if (!type.array.empty()) {
            std::uint64_t stride = array_stride(part.type);
            if (!constant || i >= type.array.back() || stride == NOWHERE) return false;
            out.type = type.parent_type;
            out.first = part.first + i * stride;
            return true;
        }
        if (type.basetype == SPIRType::Struct) {
            if (!constant || i >= type.member_types.size()) return false;
            out.type = type.member_types[i];
            out.first =
                part.first + compiler_.get_member_decoration(part.type, (std::uint32_t)i, spv::DecorationOffset) / 16;
            out.row_major = compiler_.has_member_decoration(part.type, (std::uint32_t)i, spv::DecorationRowMajor);
            return true;
        }
        // A matrix's column: one register, or one component in each row's register.
        out.type = type.parent_type;
        out.row_major = false;
        if (part.row_major) {
            out.spread = true;
            out.size = type.vecsize;
            for (std::uint32_t k = 0; k < 4; ++k) out.components[k] = k < type.vecsize ? part.first + k : NOWHERE;
            return true;
        }
        if (!constant || i >= type.columns) return false;
        out.first = part.first + i;
        return true;
    }

    // Module-wide facts read from the words: integer constants (the indices) and every value's
    // vector size (for a shuffle of one that holds no constant).
    void note(spv::Op op, const std::uint32_t* w, std::uint32_t count)
    {
        if (op == spv::OpTypeInt && count >= 2) int_types_.insert(w[1]);
        if (op == spv::OpTypeVector && count >= 4) vector_types_[w[1]] = w[3];
        if (op == spv::OpConstant && count >= 4 && int_types_.count(w[1])) int_constants_[w[2]] = w[3];
        bool has_result = false, has_type = false;
        spv::HasResultAndType(op, &has_result, &has_type);
        if (!has_result || !has_type || count < 3) return;
        auto vector = vector_types_.find(w[1]);
        if (vector != vector_types_.end()) vector_sizes_[w[2]] = vector->second;
    }

    bool constant_value(std::uint32_t id, std::uint64_t& value) const
    {
        auto found = int_constants_.find(id);
        if (found == int_constants_.end()) return false;
        value = found->second;
        return true;
    }

    // Round 0: the instructions that take a part of a constant.
    void step(spv::Op op, const std::uint32_t* w, std::uint32_t count, std::uint32_t block_variable)
    {
        switch (op) {
        case spv::OpAccessChain:
        case spv::OpInBoundsAccessChain: {
            if (count < 4) return;
            std::uint32_t base = w[3];
            Part part;
            std::uint32_t i = 4;
            if (base == block_variable) {
                std::uint64_t m;
                if (count < 5 || !constant_value(w[4], m) || m >= ends_.size()) return;
                const SPIRType& block = compiler_.get_type(block_type_);
                part.member = (std::uint32_t)m;
                part.type = block.member_types[m];
                part.row_major =
                    compiler_.has_member_decoration(block_type_, (std::uint32_t)m, spv::DecorationRowMajor);
                i = 5;
            } else {
                auto found = parts_.find(base);
                if (found == parts_.end()) return;
                part = found->second;
            }
            steps_.emplace(w[2], base);
            for (; i < count; ++i) {
                std::uint64_t value = 0;
                bool constant = constant_value(w[i], value);
                Part next;
                if (!index(part, value, constant, next)) {
                    read_all(part);
                    return;
                }
                part = next;
            }
            parts_[w[2]] = part;
            return;
        }
        case spv::OpLoad:
        case spv::OpCopyObject: {
            auto found = count >= 4 ? parts_.find(w[3]) : parts_.end();
            if (found == parts_.end()) return;
            steps_.emplace(w[2], w[3]);
            const Part& part = found->second;
            if (op == spv::OpLoad) note_load(part);
            parts_[w[2]] = Part(part);
            return;
        }
        case spv::OpCompositeExtract: {
            auto found = count >= 4 ? parts_.find(w[3]) : parts_.end();
            if (found == parts_.end()) return;
            steps_.emplace(w[2], w[3]);
            Part part = found->second;
            for (std::uint32_t i = 4; i < count; ++i) {
                Part next;
                if (!index(part, w[i], true, next)) {
                    read_all(part);
                    return;
                }
                part = next;
            }
            parts_[w[2]] = part;
            return;
        }
        case spv::OpVectorShuffle: {
            if (count < 5) return;
            auto first = parts_.find(w[3]), second = parts_.find(w[4]);
            if (first == parts_.end() && second == parts_.end()) return;
            auto size = vector_sizes_.find(w[3]);
            const std::uint32_t first_size = size == vector_sizes_.end() ? 0 : size->second;
            steps_.emplace(w[2], w[3]);
            if (first_size == 0 || count - 5 > 4) {  // not known: all of both read
                if (first != parts_.end()) read_all(first->second);
                if (second != parts_.end()) read_all(second->second);
                return;
            }
            Part out = first != parts_.end() ? first->second : second->second;
            out.spread = true;
            out.type = w[1];
            out.size = count - 5;
            std::fill(std::begin(out.components), std::end(out.components), NOWHERE);
            bool mixed =
                first != parts_.end() && second != parts_.end() && first->second.member != second->second.member;
            for (std::uint32_t i = 5; i < count; ++i) {
                std::uint32_t c = w[i];
                auto from = c < first_size ? first : second;
                if (c == 0xFFFFFFFF || from == parts_.end()) continue;
                Part component;
                if (!index(from->second, c < first_size ? c : c - first_size, true, component)) {
                    read_all(from->second);
                    continue;
                }
                if (mixed) read_all(component);
                else out.components[i - 5] = component.components[0];
            }
            // Taken from two constants: each read as it is; the shuffle holds no one member.
            if (!mixed) parts_[w[2]] = out;
            return;
        }
        default: return;
        }
    }

    // Round 1: every other use of a part reads all of it.
    void other_uses(spv::Op op, const std::uint32_t* w, std::uint32_t count, std::uint32_t block_variable)
    {
        bool has_result = false, has_type = false;
        spv::HasResultAndType(op, &has_result, &has_type);
        const std::uint32_t first_operand = 1 + (has_type ? 1 : 0) + (has_result ? 1 : 0);
        const std::uint32_t result = has_result ? w[has_type ? 2 : 1] : 0;
        const bool stepped = result != 0 && steps_.count(result) > 0;
        // Literal operands of the steps are indices, not ids.
        std::uint32_t last_operand = count;
        if (op == spv::OpCompositeExtract || op == spv::OpLoad || op == spv::OpCopyObject) last_operand = 4;
        if (op == spv::OpVectorShuffle) last_operand = 5;
        for (std::uint32_t i = first_operand; i < last_operand; ++i) {
            if (w[i] == block_variable && !stepped) {
                for (std::uint32_t m = 0; m < ends_.size(); ++m) {
                    Part all;
                    all.member = m;
                    all.type = compiler_.get_type(block_type_).member_types[m];
                    all.row_major = compiler_.has_member_decoration(block_type_, m, spv::DecorationRowMajor);
                    read_all(all);
                }
                continue;
            }
            auto found = parts_.find(w[i]);
            if (found == parts_.end()) continue;
            // A step reads nothing itself; what it takes is read where it is used.
            if (stepped &&
                (op == spv::OpAccessChain || op == spv::OpInBoundsAccessChain || op == spv::OpLoad ||
                 op == spv::OpCopyObject || op == spv::OpCompositeExtract || op == spv::OpVectorShuffle)) {
                continue;
            }
            read_all(found->second);
        }
    }
};

}  // namespace

namespace {

RegisterReads follow_reads(const std::vector<std::uint32_t>& spirv, const spirv_cross::Compiler& compiler,
                           std::uint32_t block_variable, std::uint32_t block_type)
{
    RegisterReads out;
    out.read_end.assign(compiler.get_type(block_type).member_types.size(), 0);
    out.load_end = out.read_end;
    Reads(compiler, block_type, out).run(spirv, block_variable);
    return out;
}

// glslang's code keeps what Direct3D 9's optimiser drops: a matrix cast into a local and read by
// one element reads the whole cast there. Locals stored once become values and dead code goes, as
// there (a local stored twice still reads all it was given); the ids of the constant block and
// its types stay, so the same layout applies.
bool without_dead_reads(const std::vector<std::uint32_t>& spirv, std::vector<std::uint32_t>& out)
{
    spvtools::Optimizer optimizer(SPV_ENV_UNIVERSAL_1_0);
    optimizer.SetMessageConsumer([](spv_message_level_t, const char*, const spv_position_t&, const char*) {});
    // The fewest passes that do it (each costs about a tenth of a compile of the ray marcher).
    optimizer.RegisterPass(spvtools::CreateLocalAccessChainConvertPass())
        .RegisterPass(spvtools::CreateLocalSingleStoreElimPass())
        .RegisterPass(spvtools::CreateSimplificationPass())
        .RegisterPass(spvtools::CreateAggressiveDCEPass());
    spvtools::OptimizerOptions options;
    options.set_run_validator(false);
    return optimizer.Run(spirv.data(), spirv.size(), &out, options);
}

}  // namespace

RegisterReads registers_read(const std::vector<std::uint32_t>& spirv, const spirv_cross::Compiler& compiler,
                             std::uint32_t block_variable, std::uint32_t block_type)
{
    RegisterReads reads = follow_reads(spirv, compiler, block_variable, block_type);
    // Only a constant of several registers, read, can end sooner; most shaders have none.
    bool may_end_sooner = false;
    for (std::uint64_t end : reads.read_end) may_end_sooner = may_end_sooner || end > 1;
    std::vector<std::uint32_t> optimised;
    if (!may_end_sooner || !without_dead_reads(spirv, optimised)) return reads;
    try {
        RegisterReads live = follow_reads(optimised, compiler, block_variable, block_type);
        for (std::size_t m = 0; m < reads.read_end.size(); ++m) {
            if (live.read_end[m] > 0) reads.read_end[m] = std::min(reads.read_end[m], live.read_end[m]);
        }
    } catch (const spirv_cross::CompilerError&) {
        // A type the optimiser made that the layout does not know: the reads as written stand.
    }
    return reads;
}

}  // namespace fxcompiler
