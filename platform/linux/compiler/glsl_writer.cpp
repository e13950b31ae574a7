// The GLSL writer (contract in glsl_writer.h). ps_3_0's arithmetic, where it differs from GLSL's:
// shaders tuned on Direct3D 9 rely on these results, so the GLSL computes them the same way.
// - the intrinsics the table gives a helper (intrinsics.cpp: sin, cos, tan, asin, acos, log, log2,
//   pow, sqrt, rsqrt, ldexp, frexp) are calls of it; sin, cos and tan reduce the argument to
//   [-pi, pi] in float first, r = frac(x * 0.159154937 + 0.5) * 6.28318548 - 3.14159274, with the
//   multiply-add kept unfused where GLSL can say so (precise);
// - a / b is rcp(b) * a, so x / 0 is +-infinity;
// - texCUBEproj looks up xyz / w; GLSL has no projective cube lookup.
#include "glsl_writer.h"

#include <functional>
#include <iterator>
#include <unordered_set>

#include <spirv_cross/GLSL.std.450.h>

namespace fxcompiler {

namespace {

using spirv_cross::SPIRType;

// The argument range reduction of sin, cos and tan, which helpers call (intrinsics.cpp).
const char* const REDUCE_NAME = "fx_reduce";
const char* const REDUCE =
    "$T fx_reduce($T x) { FX_PRECISE $T t = x * 0.159154937 + 0.5; "
    "FX_PRECISE $T r = fract(t) * 6.28318548 - 3.14159274; return r; }";

bool calls(const Intrinsic& row, const std::string& function)
{
    return row.definition.find(function + "(") != std::string_view::npos;
}

// The helpers' bodies are ours: filling in their types edits nothing SPIRV-Cross wrote.
std::string replace_all(std::string s, const std::string& from, const std::string& to)
{
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

// A helper's definition for float and vec2 to vec4.
std::string definition(std::string_view body)
{
    std::string text;
    for (int n = 1; n <= 4; ++n) {
        std::string t = n == 1 ? "float" : "vec" + std::to_string(n);
        std::string i = n == 1 ? "int" : "ivec" + std::to_string(n);
        std::string ge = n == 1 ? "x >= 0.0" : "greaterThanEqual(x, " + t + "(0.0))";
        std::string eq = n == 1 ? "x == 0.0" : "equal(x, " + t + "(0.0))";
        if (n > 1) text += "\n";
        text += replace_all(replace_all(replace_all(replace_all(std::string(body), "$GE0", ge), "$EQ0", eq), "$T", t),
                            "$I", i);
    }
    return text;
}

}  // namespace

D3D9Glsl::D3D9Glsl(std::vector<std::uint32_t> spirv) : CompilerGLSL(std::move(spirv))
{
    Options options = get_common_options();
    options.version = 330;
    options.es = false;
    options.enable_420pack_extension = false;
    options.vulkan_semantics = false;
    set_common_options(options);
}

void D3D9Glsl::declare_constant_registers(spirv_cross::VariableID block, std::uint32_t registers)
{
    constants_ = block;
    constant_registers_ = registers;
}

void D3D9Glsl::special_register(spirv_cross::VariableID id, const std::string& name, const std::string& value)
{
    set_name(id, name);
    set_remapped_variable_state(id, true);  // SPIRV-Cross declares no remapped variable
    macros_.push_back({name, value});
}

// VPOS is the integer pixel index. The device keeps Direct3D's top row as GL row 0, so GL's own
// lower-left origin already counts rows from Direct3D's top.
void D3D9Glsl::read_pixel_position(spirv_cross::VariableID input, const std::string& name, const std::string& type,
                                   std::uint32_t components)
{
    static const char* const swizzle[] = {"", ".x", ".xy", ".xyz", ""};
    special_register(input, name, type + "(gl_FragCoord" + swizzle[components < 5 ? components : 4] + ")");
    pixel_position_ = true;
}

void D3D9Glsl::read_face(spirv_cross::VariableID input, const std::string& name, const std::string& type)
{
    special_register(input, name, type + "(gl_FrontFacing ? 1.0 : -1.0)");
}

void D3D9Glsl::write_depth(spirv_cross::VariableID output, const std::string& name)
{
    special_register(output, name, "gl_FragDepth");
}

void D3D9Glsl::read_spread_input(spirv_cross::VariableID input, const std::string& name,
                                 const std::vector<std::string>& registers, const std::string& type, bool flat)
{
    set_name(input, name);
    set_remapped_variable_state(input, true);
    spread_inputs_.push_back({input, name, registers, type, flat});
}

// A spread input's value from its registers in order: an array's elements, a matrix's columns
// (glslang's columns are HLSL's rows).
std::string D3D9Glsl::gather(const SPIRType& type, const std::vector<std::string>& registers, std::size_t& next)
{
    auto take = [&]() { return next < registers.size() ? registers[next++] : std::string("0"); };
    std::string value;
    if (!type.array.empty()) {
        const SPIRType& element = get<SPIRType>(type.parent_type);
        for (std::uint32_t i = 0; i < to_array_size_literal(type); ++i) {
            value += (i ? ", " : "") + gather(element, registers, next);
        }
        return type_to_glsl_constructor(type) + "(" + value + ")";
    }
    if (type.columns > 1) {
        for (std::uint32_t c = 0; c < type.columns; ++c) value += (c ? ", " : "") + take();
        return type_to_glsl(type) + "(" + value + ")";
    }
    return take();
}

// Direct3D 9 starts a static at 0; glslang makes statics, global or local, Private variables,
// which GLSL leaves undefined. Locals (Function variables) are undefined on both and stay so.
std::string D3D9Glsl::variable_decl(const spirv_cross::SPIRVariable& variable)
{
    std::string declaration = CompilerGLSL::variable_decl(variable);
    if (variable.storage != spv::StorageClassPrivate || variable.initializer || variable.static_expression) {
        return declaration;
    }
    const SPIRType& type = get_variable_data_type(variable);
    if (!holds_values(type) || !type_can_zero_initialize(type)) return declaration;
    // Written once a type: SPIRV-Cross may write the declarations several times.
    std::string& zero = zeros_[get_variable_data_type_id(variable)];
    if (zero.empty()) zero = to_zero_initialized_expression(get_variable_data_type_id(variable));
    return declaration + " = " + zero;
}

// Numbers and booleans, in structs and arrays; no samplers.
bool D3D9Glsl::holds_values(const SPIRType& type) const
{
    if (type.basetype == SPIRType::Struct) {
        for (spirv_cross::TypeID member : type.member_types) {
            if (!holds_values(get<SPIRType>(member))) return false;
        }
        return true;
    }
    return type.basetype == SPIRType::Boolean || type.basetype == SPIRType::Int || type.basetype == SPIRType::UInt ||
        type.basetype == SPIRType::Float || type.basetype == SPIRType::Half || type.basetype == SPIRType::Double;
}

std::string D3D9Glsl::compile()
{
    // [earlydepthstencil]: GLSL 330 takes the header's layout line with this extension.
    if (get_entry_point().flags.get(spv::ExecutionModeEarlyFragmentTests)) {
        require_extension("GL_ARB_shader_image_load_store");
    }
    find_helpers();
    return CompilerGLSL::compile();
}

// The header comes before the code that calls the helpers: they are found beforehand, in the
// SPIR-V of the functions the entry point calls, by the test emit_glsl_op makes.
void D3D9Glsl::find_helpers()
{
    std::vector<std::uint32_t> functions{ir.default_entry_point};
    std::unordered_set<std::uint32_t> seen{ir.default_entry_point};
    while (!functions.empty()) {
        const spirv_cross::SPIRFunction& function = get<spirv_cross::SPIRFunction>(functions.back());
        functions.pop_back();
        for (spirv_cross::BlockID block : function.blocks) {
            for (const spirv_cross::Instruction& instruction : get<spirv_cross::SPIRBlock>(block).ops) {
                const std::uint32_t* ops = stream(instruction);
                if (instruction.op == spv::OpFunctionCall && seen.insert(ops[2]).second) functions.push_back(ops[2]);
                if (instruction.op == spv::OpExtInst && instruction.length >= 4 &&
                    get<spirv_cross::SPIRExtension>(ops[2]).ext == spirv_cross::SPIRExtension::GLSL) {
                    if (const Intrinsic* row = helper_for(ops[0], ops[3], instruction.length - 4)) add_helper(*row);
                }
            }
        }
    }
}

bool D3D9Glsl::add_helper(const Intrinsic& row)
{
    if (!helpers_.insert(std::string(row.replacement)).second) return false;
    if (calls(row, REDUCE_NAME)) helpers_.insert(REDUCE_NAME);
    for (const Intrinsic* other : helper_rows()) {
        if (other != &row && calls(row, std::string(other->replacement))) add_helper(*other);
    }
    return true;
}

const Intrinsic* D3D9Glsl::helper_for(std::uint32_t result_type, std::uint32_t op, std::uint32_t count) const
{
    // frexp's form in the back end's SPIR-V: a struct of mantissa and exponent.
    const bool frexp_struct = op == GLSLstd450FrexpStruct;
    const Intrinsic* row = helper_for_instruction(frexp_struct ? (int)GLSLstd450Frexp : (int)op);
    if (!row || count < (frexp_struct ? 1u : (std::uint32_t)row->arguments)) return nullptr;
    if (!frexp_struct && get<SPIRType>(result_type).basetype != SPIRType::Float) return nullptr;
    return row;
}

void D3D9Glsl::emit_header()
{
    statement("#version 330 core");
    if (helpers_.count(REDUCE_NAME)) {
        statement("#extension GL_ARB_gpu_shader5 : enable");
        statement("#ifdef GL_ARB_gpu_shader5");
        statement("#define FX_PRECISE precise");
        statement("#else");
        statement("#define FX_PRECISE");
        statement("#endif");
    }
    for (const std::string& extension : forced_extensions) emit_extension(extension);
    for (const std::string& line : header_lines) statement(line);
    if (get_entry_point().flags.get(spv::ExecutionModeEarlyFragmentTests)) {
        statement("layout(early_fragment_tests) in;");
    }
    if (pixel_position_ || active_input_builtins.get(spv::BuiltInFragCoord)) {
        statement("layout(pixel_center_integer) in vec4 gl_FragCoord;");
    }
    for (const Macro& macro : macros_) statement("#define ", macro.name, " ", macro.value);
    for (const SpreadInput& input : spread_inputs_) {
        for (const std::string& r : input.registers)
            statement(input.flat ? "flat in " : "in ", input.type, " ", r, ";");
        std::size_t next = 0;
        statement("#define ", input.name, " (",
                  gather(get_variable_data_type(get<spirv_cross::SPIRVariable>(input.id)), input.registers, next), ")");
    }
    emit_helpers();
    statement("");
}

// As SPIRV-Cross writes them for desktop GL. Flow-control hints are Vulkan GLSL's: without the
// extension the hints are left out.
void D3D9Glsl::emit_extension(const std::string& extension)
{
    if (extension != "GL_EXT_control_flow_attributes") {
        statement("#extension ", extension, " : require");
        return;
    }
    statement("#if defined(GL_EXT_control_flow_attributes)");
    statement("#extension GL_EXT_control_flow_attributes : require");
    statement("#define SPIRV_CROSS_FLATTEN [[flatten]]");
    statement("#define SPIRV_CROSS_BRANCH [[dont_flatten]]");
    statement("#define SPIRV_CROSS_UNROLL [[unroll]]");
    statement("#define SPIRV_CROSS_LOOP [[dont_unroll]]");
    statement("#else");
    statement("#define SPIRV_CROSS_FLATTEN");
    statement("#define SPIRV_CROSS_BRANCH");
    statement("#define SPIRV_CROSS_UNROLL");
    statement("#define SPIRV_CROSS_LOOP");
    statement("#endif");
}

// Each helper after the ones it calls; the texts are made once for the process.
void D3D9Glsl::emit_helpers()
{
    static const std::vector<std::string> definitions = [] {
        std::vector<std::string> all;
        for (const Intrinsic* row : helper_rows()) all.push_back(definition(row->definition));
        return all;
    }();
    static const std::string reduce = definition(REDUCE);
    if (helpers_.count(REDUCE_NAME)) statement(reduce);
    std::set<const Intrinsic*> written;
    std::function<void(std::size_t)> write = [&](std::size_t h) {
        const Intrinsic& row = *helper_rows()[h];
        if (!helpers_.count(std::string(row.replacement)) || !written.insert(&row).second) return;
        for (std::size_t other = 0; other < helper_rows().size(); ++other) {
            if (other != h && calls(row, std::string(helper_rows()[other]->replacement))) write(other);
        }
        statement(definitions[h]);
    };
    for (std::size_t h = 0; h < helper_rows().size(); ++h) write(h);
}

void D3D9Glsl::emit_buffer_block(const spirv_cross::SPIRVariable& var)
{
    if (var.self != constants_) {
        CompilerGLSL::emit_buffer_block(var);
        return;
    }
    // SPIRV-Cross would size it by the last member, which need not be the highest register.
    if (constant_registers_ > 0) {
        statement("uniform vec4 ", to_name(get<SPIRType>(var.basetype).self, false), "[", constant_registers_, "];");
    }
}

void D3D9Glsl::emit_glsl_op(std::uint32_t result_type, std::uint32_t id, std::uint32_t op, const std::uint32_t* args,
                            std::uint32_t count)
{
    const Intrinsic* row = helper_for(result_type, op, count);
    if (!row) {
        CompilerGLSL::emit_glsl_op(result_type, id, op, args, count);
        return;
    }
    // A helper found only now (find_helpers should leave none) costs SPIRV-Cross another pass.
    if (add_helper(*row)) force_recompile();
    const std::string helper(row->replacement);
    if (op == GLSLstd450FrexpStruct) {  // the back end's form of frexp: {mantissa, exponent}
        const SPIRType& type = get<SPIRType>(result_type);
        emit_uninitialized_temporary_expression(result_type, id);
        statement(to_expression(id), ".", to_member_name(type, 0), " = ", helper, "(", to_expression(args[0]), ", ",
                  to_expression(id), ".", to_member_name(type, 1), ");");
        return;
    }
    if (row->arguments == 2) emit_binary_func_op(result_type, id, args[0], args[1], helper.c_str());
    else emit_unary_func_op(result_type, id, args[0], helper.c_str());
    if (op == GLSLstd450Frexp) register_write(args[1]);  // the exponent's out parameter
}

void D3D9Glsl::emit_instruction(const spirv_cross::Instruction& instruction)
{
    const std::uint32_t* ops = stream(instruction);
    // texCUBEproj: the direction divided by w (GLSL has no projective cube lookup).
    if (instruction.op == spv::OpImageSampleProjImplicitLod && instruction.length == 4 &&
        expression_type(ops[2]).image.dim == spv::DimCube) {
        std::string coord = to_enclosed_expression(ops[3]);
        emit_op(ops[0], ops[1], "texture(" + to_expression(ops[2]) + ", " + coord + ".xyz / " + coord + ".w)",
                should_forward(ops[2]) && should_forward(ops[3]));
        inherit_expression_dependencies(ops[1], ops[2]);
        inherit_expression_dependencies(ops[1], ops[3]);
        return;
    }
    if (instruction.op != spv::OpFDiv) {
        CompilerGLSL::emit_instruction(instruction);
        return;
    }
    std::uint32_t a = ops[2], b = ops[3];
    emit_op(ops[0], ops[1], "((1.0 / " + to_enclosed_expression(b) + ") * " + to_enclosed_expression(a) + ")",
            should_forward(a) && should_forward(b));
    inherit_expression_dependencies(ops[1], a);
    inherit_expression_dependencies(ops[1], b);
}

// A user's own variable, function or type named like a helper or a macro of ours is renamed
// instead. The special registers' own variables keep their names: SPIRV-Cross skips remapped ones.
void D3D9Glsl::replace_illegal_names()
{
    CompilerGLSL::replace_illegal_names();
    // GLSL's own main() is the entry point's wrapper: a function of the shader named main is renamed.
    std::unordered_set<std::string> ours = {"FX_PRECISE", "main"};
    ours.insert(REDUCE_NAME);
    for (const Intrinsic* row : helper_rows()) ours.insert(std::string(row->replacement));
    for (const Macro& m : macros_) ours.insert(m.name);
    for (const SpreadInput& input : spread_inputs_) {
        ours.insert(input.name);
        ours.insert(input.registers.begin(), input.registers.end());
    }
    CompilerGLSL::replace_illegal_names(ours);
}

}  // namespace fxcompiler
