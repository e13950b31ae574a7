// Direct3D 9's shader interface on the SPIR-V of one entry point, then its GLSL.
//
// Reads: glslang's SPIR-V and the declarations as written (PreparedSource::globals, for explicit
// registers and places).
// Changes: the SPIR-V's layout and names, so that the writer (glsl_writer.h) writes Direct3D 9's
// registers: constants packed one per register (a matrix one per column, or per row when
// row_major) and assigned as Direct3D 9 assigns them, used only (registers.cpp); samplers on s#;
// inputs named by semantic (fx_in_TEXCOORD0), an array or matrix input one an element or row from
// the semantic it names on; COLORn at location n; VPOS, VFACE and DEPTH as GL built-ins. The blob
// lists what the device must feed the GLSL.
// Refuses, at the declaration or the semantic as written: Direct3D 10 resources and constant
// buffers, system values ps_3_0 lacks, int and bool members of struct constants, constants past
// c223, samplers past s15, sampler arrays and 1D samplers, array or matrix inputs past index 15
// or on VPOS, VFACE or POSITION0, arrays of structs as inputs, outputs other than COLOR0-COLOR3
// and DEPTH, two inputs or outputs on one register; and without a place (the SPIR-V keeps none),
// wave and quad intrinsics.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <unordered_map>

#include "compiler.h"
#include "glsl_writer.h"
#include "ps30.h"

namespace fxcompiler {

namespace {

using spirv_cross::SPIRType;

using fxplatform::ps30::COLOR_OUTPUTS;
using fxplatform::ps30::FLOAT_CONSTANTS;
using fxplatform::ps30::MAX_SEMANTIC_INDEX;
using fxplatform::ps30::SAMPLERS;
const char* const CONSTANTS_NAME = "fx_c";

std::string upper(std::string s)
{
    for (char& c : s) c = (char)std::toupper((unsigned char)c);
    return s;
}

// "TEXCOORD3" -> ("TEXCOORD", 3); "TEXCOORD" -> ("TEXCOORD", 0)
std::pair<std::string, std::uint32_t> split_semantic(const std::string& semantic)
{
    std::string s = upper(semantic);
    std::size_t digits = s.size();
    while (digits > 0 && std::isdigit((unsigned char)s[digits - 1])) --digits;
    std::uint32_t index = digits < s.size() ? (std::uint32_t)std::strtoul(s.c_str() + digits, nullptr, 10) : 0;
    return {s.substr(0, digits), index};
}

struct Failure {
    Diagnostic diagnostic;
};

class Translator {
public:
    Translator(std::vector<std::uint32_t> spirv, const PreparedSource& source)
        : glsl_(std::move(spirv)), source_(source)
    {
        for (std::size_t i = 0; i < source_.globals.size(); ++i) order_.emplace(source_.globals[i].name, i);
    }

    fxplatform::ShaderBlob run()
    {
        active_ = glsl_.get_active_interface_variables();
        spirv_cross::ShaderResources all = glsl_.get_shader_resources();
        reject_unsupported(all);
        for (const spirv_cross::Resource& ubo : all.uniform_buffers) constants(ubo);
        samplers(all.sampled_images);
        inputs(all.stage_inputs);
        outputs(all.stage_outputs);

        blob_.glsl = glsl_.compile();
        return blob_;
    }

private:
    D3D9Glsl glsl_;
    const PreparedSource& source_;
    std::unordered_set<spirv_cross::VariableID> active_;
    fxplatform::ShaderBlob blob_;
    std::unordered_map<std::string, std::size_t> order_;  // a global's name -> its declaration's index

    const GlobalDecl* decl(const std::string& name) const
    {
        auto found = order_.find(name);
        return found == order_.end() ? nullptr : &source_.globals[found->second];
    }

    std::size_t decl_order(const std::string& name) const
    {
        auto found = order_.find(name);
        return found == order_.end() ? source_.globals.size() : found->second;
    }

    [[noreturn]] void fail(const std::string& name, const std::string& text) const
    {
        const GlobalDecl* g = decl(name);
        Diagnostic d;
        d.line = g ? g->line : 0;
        d.column = g ? g->column : 0;
        d.text = (name.empty() ? std::string() : "'" + name + "' : ") + text;
        throw Failure{d};
    }

    // Fails at the first ": semantic" of the source (in any case), where the author wrote it.
    [[noreturn]] void fail_at_semantic(const std::string& semantic, const std::string& text) const
    {
        const std::string& src = source_.text;
        std::string want = upper(semantic);
        Diagnostic d;
        d.text = text;
        // Counted in the text the back end parsed; the message names main.fx's place.
        int line = 1;
        std::size_t line_start = 0;
        for (std::size_t i = 0; i < src.size(); ++i) {
            if (src[i] == '\n') {
                ++line;
                line_start = i + 1;
            } else if (src[i] == ':' && d.line == 0) {
                std::size_t at = i + 1;
                while (at < src.size() && (src[at] == ' ' || src[at] == '\t')) ++at;
                std::size_t end = at;
                while (end < src.size() && (std::isalnum((unsigned char)src[end]) || src[end] == '_')) ++end;
                if (end > at && upper(src.substr(at, end - at)) == want) {
                    Place place = source_.map.to_file(line, int(at - line_start) + 1);
                    d.line = place.line;
                    d.column = place.column;
                }
            }
        }
        throw Failure{d};
    }

    void reject_unsupported(const spirv_cross::ShaderResources& all) const
    {
        // GL 3.3 has them only through extensions, which the writer does not ask for.
        for (spv::Capability c : glsl_.get_declared_capabilities()) {
            if (c >= spv::CapabilityGroupNonUniform && c <= spv::CapabilityGroupNonUniformQuad) {
                fail("", "wave and quad intrinsics are shader model 6's; ps_3_0 has none");
            }
        }
        for (const auto* list :
             {&all.separate_images, &all.separate_samplers, &all.storage_images, &all.storage_buffers}) {
            for (const spirv_cross::Resource& r : *list) {
                fail(glsl_.get_name(r.id),
                     "Direct3D 10 resource objects are not available in ps_3_0; "
                     "use sampler2D/samplerCUBE/sampler3D with tex2D/texCUBE/tex3D");
            }
        }
        // Of the system values, ps_3_0 has only the pixel position, the face and the depth output;
        // GLSL 330 has no other one a shader of that time could mean.
        for (const spirv_cross::BuiltInResource& b : all.builtin_inputs) {
            bool face =
                b.builtin == spv::BuiltInFrontFacing && glsl_.get_type(b.value_type_id).basetype == SPIRType::Boolean;
            if (b.builtin != spv::BuiltInFragCoord && !face) {
                fail_at_semantic(builtin_semantic(b),
                                 "input semantic " + builtin_semantic(b) +
                                     " is not a ps_3_0 input (VPOS, VFACE, TEXCOORDn, COLORn)");
            }
        }
        for (const spirv_cross::BuiltInResource& b : all.builtin_outputs) {
            std::string semantic = upper(builtin_semantic(b));
            if (b.builtin != spv::BuiltInFragDepth || semantic.find("EQUAL") != std::string::npos) {
                fail_at_semantic(
                    builtin_semantic(b),
                    "output semantic " + builtin_semantic(b) + " is not a ps_3_0 output (COLOR0 to COLOR3, DEPTH)");
            }
        }
        for (const spirv_cross::Resource& r : all.uniform_buffers) {
            std::string block = glsl_.get_name(r.base_type_id);
            if (block != "$Global") {
                fail(block, "constant buffers are not available in ps_3_0; declare the constants as globals");
            }
        }
    }

    std::string builtin_semantic(const spirv_cross::BuiltInResource& b) const
    {
        std::string semantic = glsl_.get_decoration_string(b.resource.id, spv::DecorationHlslSemanticGOOGLE);
        return semantic.empty() ? glsl_.get_name(b.resource.id) : semantic;
    }

    // Registers a constant of this type spans in Direct3D 9, setting the SPIR-V layout to match:
    // every member and array element starts a register; matrices take one per column (per row
    // when row-major).
    // Counted in 64 bits, so that no product of sizes wraps past the limit.
    std::uint64_t layout(spirv_cross::TypeID id, bool row_major, const std::string& name)
    {
        const SPIRType& type = glsl_.get_type(id);
        if (!type.array.empty()) {
            if (!type.array_size_literal.back()) fail(name, "array size is not a constant");
            std::uint64_t element = layout(type.parent_type, row_major, name);
            if (element > FLOAT_CONSTANTS) return element;
            glsl_.set_decoration(id, spv::DecorationArrayStride, 16 * (std::uint32_t)element);
            return element * type.array.back();
        }
        if (type.basetype == SPIRType::Struct) {
            std::uint64_t total = 0;
            for (std::uint32_t m = 0; m < type.member_types.size() && total <= FLOAT_CONSTANTS; ++m) {
                glsl_.set_member_decoration(id, m, spv::DecorationOffset, 16 * (std::uint32_t)total);
                bool member_row_major = glsl_.has_member_decoration(id, m, spv::DecorationRowMajor);
                if (glsl_.get_type(type.member_types[m]).columns > 1) {
                    glsl_.set_member_decoration(id, m, spv::DecorationMatrixStride, 16);
                }
                total += layout(type.member_types[m], member_row_major, name);
            }
            return total;
        }
        if (type.basetype != SPIRType::Float) {
            fail(name,
                 "integer and boolean constants are not supported (ps_3_0 constants are float "
                 "registers c#); declare it float");
        }
        // SPIR-V RowMajor stores each vector of a C x R matrix (C columns of R components) in a register.
        if (type.columns > 1) return row_major ? type.vecsize : type.columns;
        return 1;
    }

    void constants(const spirv_cross::Resource& ubo)
    {
        spirv_cross::TypeID block = ubo.base_type_id;
        const SPIRType& type = glsl_.get_type(block);
        std::set<std::uint32_t> used;
        for (const spirv_cross::BufferRange& range : glsl_.get_active_buffer_ranges(ubo.id)) used.insert(range.index);

        std::vector<std::string> names;
        std::vector<std::uint64_t> spans;
        for (std::uint32_t m = 0; m < type.member_types.size(); ++m) {
            names.push_back(glsl_.get_member_name(block, m));
            bool row_major = glsl_.has_member_decoration(block, m, spv::DecorationRowMajor);
            spans.push_back(layout(type.member_types[m], row_major, names[m]));
        }
        // A constant takes its registers up to the last one read, as Direct3D 9 counts them; only
        // one of several registers can take fewer.
        RegisterReads reads;
        if (std::any_of(spans.begin(), spans.end(), [](std::uint64_t n) { return n > 1; })) {
            reads = registers_read(glsl_.words(), glsl_, ubo.id, block);
        } else {
            reads.read_end = reads.load_end = spans;
        }
        std::vector<RegisterRequest> requests;
        for (std::uint32_t m = 0; m < type.member_types.size(); ++m) {
            RegisterRequest request;
            request.used = used.count(m) > 0;
            std::uint64_t count = reads.read_end[m] > 0 ? std::min(spans[m], reads.read_end[m]) : spans[m];
            request.count = (std::uint32_t)std::min<std::uint64_t>(count, FLOAT_CONSTANTS + 1);
            if (request.used && count > FLOAT_CONSTANTS) {
                fail(names[m], "needs " + std::to_string(count) + " constant registers; ps_3_0 has 224, c0 to c223");
            }
            const GlobalDecl* g = decl(names[m]);
            if (g && g->reg_class == 'c') request.explicit_index = g->reg_index;
            requests.push_back(request);
        }
        std::vector<int> registers = assign_registers(requests);
        std::uint32_t count = 0, declared = 0;
        for (std::uint32_t m = 0; m < registers.size(); ++m) {
            std::uint32_t first = registers[m] < 0 ? 0 : (std::uint32_t)registers[m];
            glsl_.set_member_decoration(block, m, spv::DecorationOffset, 16 * first);
            if (registers[m] < 0) continue;
            std::uint32_t end = first + requests[m].count;
            if (end > FLOAT_CONSTANTS) {
                fail(names[m],
                     "needs constant registers c" + std::to_string(first) + " to c" + std::to_string(end - 1) +
                         "; ps_3_0 has c0 to c223");
            }
            count = std::max(count, end);
            // What the GLSL loads but never reads (the other columns of a matrix) is declared
            // too, past the registers the device sets.
            std::uint64_t loaded = std::min(reads.load_end[m], spans[m]);
            declared = std::max<std::uint32_t>(
                declared, first + (std::uint32_t)std::max<std::uint64_t>(loaded, requests[m].count));
        }
        glsl_.set_name(block, CONSTANTS_NAME);
        glsl_.flatten_buffer_block(ubo.id);
        glsl_.declare_constant_registers(ubo.id, std::max(count, declared));
        blob_.constants_name = count > 0 ? CONSTANTS_NAME : "";
        blob_.constant_count = count;
    }

    void samplers(const spirv_cross::SmallVector<spirv_cross::Resource>& images)
    {
        std::vector<spirv_cross::Resource> list(images.begin(), images.end());
        std::stable_sort(list.begin(), list.end(), [&](const spirv_cross::Resource& a, const spirv_cross::Resource& b) {
            return decl_order(glsl_.get_name(a.id)) < decl_order(glsl_.get_name(b.id));
        });
        std::vector<RegisterRequest> requests;
        std::vector<fxplatform::SamplerType> types;
        for (const spirv_cross::Resource& r : list) {
            std::string name = glsl_.get_name(r.id);
            const SPIRType& type = glsl_.get_type(r.type_id);
            if (!type.array.empty()) fail(name, "sampler arrays are not supported; declare one sampler per register");
            switch (type.image.dim) {
            case spv::Dim2D: types.push_back(fxplatform::SamplerType::Tex2D); break;
            case spv::Dim3D: types.push_back(fxplatform::SamplerType::Tex3D); break;
            case spv::DimCube: types.push_back(fxplatform::SamplerType::Cube); break;
            default: fail(name, "only 2D, 3D and cube samplers are supported");
            }
            RegisterRequest request;
            request.used = active_.count(r.id) > 0;
            const GlobalDecl* g = decl(name);
            if (g && g->reg_class == 's') request.explicit_index = g->reg_index;
            requests.push_back(request);
        }
        std::vector<int> units = assign_registers(requests);
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string name = glsl_.get_name(list[i].id);
            if (units[i] < 0) {
                glsl_.set_name(list[i].id, "fx_unused_" + std::to_string(i));
                continue;
            }
            if ((std::uint32_t)units[i] >= SAMPLERS) {
                fail(name, "sampler register s" + std::to_string(units[i]) + " is beyond ps_3_0's s0 to s15");
            }
            std::string glsl_name = "fx_s" + std::to_string(units[i]);
            glsl_.set_name(list[i].id, glsl_name);
            blob_.samplers.push_back({glsl_name, (std::uint32_t)units[i], types[i]});
        }
    }

    // The GLSL type of one of the input's registers: the input's, or its elements' or rows'.
    std::string register_type(const SPIRType& type, const std::string& semantic) const
    {
        const char* scalar = type.basetype == SPIRType::Float ? "float"
            : type.basetype == SPIRType::Int                  ? "int"
            : type.basetype == SPIRType::UInt                 ? "uint"
                                                              : nullptr;
        const char* vector = type.basetype == SPIRType::Float ? "vec"
            : type.basetype == SPIRType::Int                  ? "ivec"
                                                              : "uvec";
        if (!scalar) fail_at_semantic(semantic, "input " + semantic + " has a type a pixel shader cannot take");
        return type.vecsize == 1 ? std::string(scalar) : vector + std::to_string(type.vecsize);
    }

    // Registers an input spans: one an array element, one a matrix row (glslang's column).
    static std::uint64_t registers_of(const spirv_cross::CompilerGLSL& glsl, const SPIRType& type)
    {
        if (type.pointer) return registers_of(glsl, glsl.get_type(type.parent_type));
        if (!type.array.empty()) {
            std::uint64_t size = type.array_size_literal.back() ? type.array.back() : 1;
            return size * registers_of(glsl, glsl.get_type(type.parent_type));
        }
        return type.columns;
    }

    // glslang splits an input struct into a variable a member, and an array member into one an
    // element ("i.t[1][0]"), each with the member's semantic; every element is there. False for
    // an input that is no such element.
    bool struct_element(const std::string& name, const std::string& semantic, std::string& array,
                        std::vector<std::uint64_t>& index) const
    {
        std::size_t open = name.find('[');
        if (open == std::string::npos) return false;
        array = name.substr(0, open);
        index.clear();
        while (open < name.size() && name[open] == '[') {
            std::size_t close = name.find(']', open);
            if (close == std::string::npos) break;
            index.push_back(std::strtoull(name.c_str() + open + 1, nullptr, 10));
            open = close + 1;
        }
        if (open < name.size()) {  // a member of an element: "i.v[1].a"
            fail_at_semantic(semantic,
                             "input " + semantic +
                                 ": arrays of structs are not supported as inputs; "
                                 "declare the members as arrays instead");
        }
        return true;
    }

    // Direct3D 9 gives an array input one semantic index an element and a matrix one a row, from
    // the index written on: float2 tc[2] : TEXCOORD0 reads TEXCOORD0 and TEXCOORD1.
    void inputs(const spirv_cross::SmallVector<spirv_cross::Resource>& list)
    {
        // The extent of each split array, from its elements' indices.
        std::map<std::string, std::vector<std::uint64_t>> extents;
        std::string array;
        std::vector<std::uint64_t> index;
        for (const spirv_cross::Resource& r : list) {
            std::string semantic = glsl_.get_decoration_string(r.id, spv::DecorationHlslSemanticGOOGLE);
            if (!struct_element(glsl_.get_name(r.id), semantic, array, index)) continue;
            std::vector<std::uint64_t>& extent = extents[array];
            extent.resize(std::max(extent.size(), index.size()));
            for (std::size_t k = 0; k < index.size(); ++k) extent[k] = std::max(extent[k], index[k] + 1);
        }
        std::map<std::string, bool> taken;  // register -> by an array or matrix
        for (const spirv_cross::Resource& r : list) {
            std::string semantic = glsl_.get_decoration_string(r.id, spv::DecorationHlslSemanticGOOGLE);
            auto split = split_semantic(semantic);
            if (split.first.empty()) fail("", "every pixel shader input needs a semantic");
            const SPIRType& type = glsl_.get_type(r.type_id);
            std::string type_name = register_type(type, semantic);
            const std::uint64_t count = registers_of(glsl_, type);
            const bool element = struct_element(glsl_.get_name(r.id), semantic, array, index);
            std::uint64_t position_in_array = 0, elements = 1;
            for (std::size_t k = 0; element && k < index.size(); ++k) {
                position_in_array = position_in_array * extents[array][k] + index[k];
                elements *= extents[array][k];
            }
            const std::uint64_t first = split.second + position_in_array * count;
            const bool spread = count > 1 || !type.array.empty() || element;
            // POSITION0 is where a vertex shader's position went: the pixel position, as SV_POSITION.
            bool position = split.first == "POSITION" && split.second == 0;
            if (split.first == "VPOS" || split.first == "VFACE" || position) {
                if (spread) {
                    fail_at_semantic(semantic,
                                     "input " + semantic +
                                         " is one register; it cannot be an array or "
                                         "a matrix");
                }
                std::string name = split.first == "VPOS" ? "fx_vpos" : position ? "fx_position0" : "fx_vface";
                take(taken, name, semantic, false);
                if (split.first == "VFACE") glsl_.read_face(r.id, name, type_name);
                else glsl_.read_pixel_position(r.id, name, type_name, type.vecsize);
                continue;
            }
            const std::uint64_t last = split.second + elements * count - 1;  // of the whole array
            if (last > MAX_SEMANTIC_INDEX) {
                fail_at_semantic(semantic,
                                 "input " + semantic + " spans " + split.first + std::to_string(split.second) + " to " +
                                     split.first + std::to_string(last) +
                                     ", an index an element or row; semantics "
                                     "take indices 0 to " +
                                     std::to_string(MAX_SEMANTIC_INDEX));
            }
            bool flat = glsl_.has_decoration(r.id, spv::DecorationFlat) || type.basetype != SPIRType::Float;
            std::vector<std::string> registers;
            for (std::uint64_t i = first; i < first + count; ++i) {
                registers.push_back("fx_in_" + split.first + std::to_string(i));
                take(taken, registers.back(), semantic, spread);
                blob_.inputs.push_back({registers.back(), type_name, split.first, (std::uint32_t)i, flat});
            }
            if (count == 1 && type.array.empty()) {
                glsl_.set_name(r.id, registers.front());
            } else {
                glsl_.read_spread_input(r.id, registers.front() + "_to_" + std::to_string(first + count - 1), registers,
                                        type_name, flat);
            }
        }
    }

    // Marks the register `name` read, refusing a second input on it.
    void take(std::map<std::string, bool>& taken, const std::string& name, const std::string& semantic,
              bool spread) const
    {
        auto [at, added] = taken.emplace(name, spread);
        if (added) return;
        std::string shared = name.compare(0, 6, "fx_in_") == 0 ? name.substr(6) : upper(semantic);
        fail_at_semantic(semantic,
                         "two inputs share the semantic " + shared +
                             (spread || at->second ? " (an array or matrix input takes one index an "
                                                     "element or row, from the one it names on)"
                                                   : ""));
    }

    void outputs(const spirv_cross::SmallVector<spirv_cross::Resource>& list)
    {
        std::set<std::uint32_t> locations;
        bool depth = false;
        for (const spirv_cross::Resource& r : list) {
            std::string semantic = glsl_.get_decoration_string(r.id, spv::DecorationHlslSemanticGOOGLE);
            auto split = split_semantic(semantic);
            if (split.first == "DEPTH") {
                if (depth) fail_at_semantic(semantic, "two outputs write DEPTH");
                depth = true;
                glsl_.write_depth(r.id, "fx_depth");
                continue;
            }
            if (split.first != "COLOR" && split.first != "SV_TARGET") {
                fail_at_semantic(semantic,
                                 "output semantic '" + semantic + "' is not a ps_3_0 output (COLOR0 to COLOR3, DEPTH)");
            }
            if (split.second >= COLOR_OUTPUTS) {
                fail_at_semantic(semantic, "ps_3_0 writes COLOR0 to COLOR3, not " + semantic);
            }
            if (!locations.insert(split.second).second) {
                fail_at_semantic(semantic, "two outputs write COLOR" + std::to_string(split.second));
            }
            glsl_.set_decoration(r.id, spv::DecorationLocation, split.second);
            glsl_.set_name(r.id, "fx_out" + std::to_string(split.second));
        }
    }
};

}  // namespace

bool write_glsl(std::vector<std::uint32_t> spirv, const PreparedSource& source, fxplatform::ShaderBlob& blob,
                Diagnostic& refused)
{
    try {
        blob = Translator(std::move(spirv), source).run();
        return true;
    } catch (const Failure& f) {
        refused = f.diagnostic;
        return false;
    }
}

}  // namespace fxcompiler
