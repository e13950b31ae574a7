// ps_3_0's arithmetic, where it differs from GLSL's. Shaders tuned on Direct3D 9 rely on these
// results, so the GLSL computes them the same way:
// - sin, cos, tan: the compiler reduces the argument to [-pi, pi] in float first,
//   r = frac(x * 0.159154937 + 0.5) * 6.28318548 - 3.14159274; large arguments (hash functions)
//   depend on it. The multiply-add is kept unfused where GLSL can say so (precise).
// - log, log2, pow, sqrt, rsqrt: the log, pow and rsq instructions take |x|.
// - acos, asin: no instruction; the compiler's polynomial (error up to 6.7e-5 rad) is the curve.
// - a / b is rcp(b) * a, so x / 0 is +-infinity.
// - lit() and fmod() are given before the back end sees them (intrinsics.cpp).
// - ldexp(x, e) is x * exp2(e), frexp(x, e) gives e = floor(log2|x|) + 1 (0 for 0) and x * 2^-e;
//   GLSL 330 has neither. texCUBEproj looks up xyz / w; GLSL has no projective cube lookup.
// - Refused like Direct3D 9's compiler refuses them: literal infinities and NaNs (a literal
//   division by zero folds to one), division by a literal zero, constructors given more
//   components than their type holds (GLSL drops the extra ones).
// - int and bool constants (globals, uniform parameters of the entry point, registers i# and b#)
//   read 0 and false: they live in registers the program never sets.
#include "arithmetic.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <unordered_set>

#include <glslang/Include/intermediate.h>
#include <glslang/MachineIndependent/localintermediate.h>
#include <spirv_cross/GLSL.std.450.h>

namespace fxcompiler {

namespace {

struct Helper {
    const char* name;
    const char* needs;  // another helper it calls, or nullptr
    const char* body;   // $T: the float type; $I: the int type of as many components; $GE0: x >= 0; $EQ0: x == 0
};

// In dependency order.
const Helper HELPERS[] = {
    {"fx_reduce", nullptr,
     "$T fx_reduce($T x) { FX_PRECISE $T t = x * 0.159154937 + 0.5; "
     "FX_PRECISE $T r = fract(t) * 6.28318548 - 3.14159274; return r; }"},
    {"fx_sin", "fx_reduce", "$T fx_sin($T x) { return sin(fx_reduce(x)); }"},
    {"fx_cos", "fx_reduce", "$T fx_cos($T x) { return cos(fx_reduce(x)); }"},
    {"fx_tan", "fx_reduce", "$T fx_tan($T x) { $T r = fx_reduce(x); return sin(r) * (1.0 / cos(r)); }"},
    {"fx_acos", nullptr,
     "$T fx_acos($T x) { $T a = abs(x); $T r = sqrt(abs(1.0 - a)) * "
     "(((-0.0187293 * a + 0.0742610) * a - 0.2121144) * a + 1.5707288); "
     "return mix(3.14159265 - r, r, $GE0); }"},
    {"fx_asin", "fx_acos", "$T fx_asin($T x) { return 1.57079633 - fx_acos(x); }"},
    {"fx_log", nullptr, "$T fx_log($T x) { return log2(abs(x)) * 0.693147181; }"},
    {"fx_log2", nullptr, "$T fx_log2($T x) { return log2(abs(x)); }"},
    {"fx_pow", nullptr, "$T fx_pow($T x, $T y) { return pow(abs(x), y); }"},
    {"fx_sqrt", nullptr, "$T fx_sqrt($T x) { return sqrt(abs(x)); }"},
    {"fx_rsqrt", nullptr, "$T fx_rsqrt($T x) { return inversesqrt(abs(x)); }"},
    {"fx_frexp", nullptr,
     "$T fx_frexp($T x, out $T e) { e = mix(floor(log2(abs(x))) + 1.0, $T(0.0), $EQ0); return x * exp2(-e); }\n"
     "$T fx_frexp($T x, out $I e) { $T f; $T m = fx_frexp(x, f); e = $I(f); return m; }"},
    {"fx_ldexp", nullptr,
     "$T fx_ldexp($T x, $T e) { return x * exp2(e); }\n$T fx_ldexp($T x, $I e) { return x * exp2($T(e)); }"},
};

const char* helper_for(std::uint32_t op, bool& binary)
{
    binary = false;
    switch (op) {
    case GLSLstd450Sin: return "fx_sin";
    case GLSLstd450Cos: return "fx_cos";
    case GLSLstd450Tan: return "fx_tan";
    case GLSLstd450Acos: return "fx_acos";
    case GLSLstd450Asin: return "fx_asin";
    case GLSLstd450Log: return "fx_log";
    case GLSLstd450Log2: return "fx_log2";
    case GLSLstd450Sqrt: return "fx_sqrt";
    case GLSLstd450InverseSqrt: return "fx_rsqrt";
    case GLSLstd450Pow: binary = true; return "fx_pow";
    case GLSLstd450Ldexp: binary = true; return "fx_ldexp";
    case GLSLstd450Frexp: binary = true; return "fx_frexp";
    default: return nullptr;
    }
}

std::string replace_all(std::string s, const std::string& from, const std::string& to)
{
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

}  // namespace

void D3D9Glsl::emit_glsl_op(std::uint32_t result_type, std::uint32_t id, std::uint32_t op, const std::uint32_t* args,
                            std::uint32_t count)
{
    if (op == GLSLstd450FrexpStruct && count >= 1) {  // the back end's form of frexp: {mantissa, exponent}
        const spirv_cross::SPIRType& type = get<spirv_cross::SPIRType>(result_type);
        used_.insert("fx_frexp");
        emit_uninitialized_temporary_expression(result_type, id);
        statement(to_expression(id), ".", to_member_name(type, 0), " = fx_frexp(", to_expression(args[0]), ", ",
                  to_expression(id), ".", to_member_name(type, 1), ");");
        return;
    }
    bool binary = false;
    const char* helper = helper_for(op, binary);
    if (!helper || get<spirv_cross::SPIRType>(result_type).basetype != spirv_cross::SPIRType::Float ||
        count < (binary ? 2u : 1u)) {
        CompilerGLSL::emit_glsl_op(result_type, id, op, args, count);
        return;
    }
    used_.insert(helper);
    if (binary) emit_binary_func_op(result_type, id, args[0], args[1], helper);
    else emit_unary_func_op(result_type, id, args[0], helper);
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

// A user's own variable or function named like a helper is renamed instead.
void D3D9Glsl::replace_illegal_names()
{
    CompilerGLSL::replace_illegal_names();
    std::unordered_set<std::string> ours = {"FX_PRECISE"};
    for (const Helper& h : HELPERS) ours.insert(h.name);
    CompilerGLSL::replace_illegal_names(ours);
}

std::set<std::string> D3D9Glsl::needed() const
{
    std::set<std::string> needed = used_;
    for (auto it = std::rbegin(HELPERS); it != std::rend(HELPERS); ++it) {
        if (needed.count(it->name) && it->needs) needed.insert(it->needs);
    }
    return needed;
}

std::string D3D9Glsl::head_directives() const
{
    if (!needed().count("fx_reduce")) return std::string();
    return "#extension GL_ARB_gpu_shader5 : enable\n#ifdef GL_ARB_gpu_shader5\n#define FX_PRECISE precise\n"
           "#else\n#define FX_PRECISE\n#endif\n";
}

std::string D3D9Glsl::helper_definitions() const
{
    std::set<std::string> needed = this->needed();
    std::string out;
    for (const Helper& h : HELPERS) {
        if (!needed.count(h.name)) continue;
        for (int n = 1; n <= 4; ++n) {
            std::string t = n == 1 ? "float" : "vec" + std::to_string(n);
            std::string i = n == 1 ? "int" : "ivec" + std::to_string(n);
            std::string ge = n == 1 ? "x >= 0.0" : "greaterThanEqual(x, " + t + "(0.0))";
            std::string eq = n == 1 ? "x == 0.0" : "equal(x, " + t + "(0.0))";
            out += replace_all(replace_all(replace_all(replace_all(h.body, "$GE0", ge), "$EQ0", eq), "$T", t), "$I", i) +
                   "\n";
        }
    }
    return out;
}

namespace {

using namespace glslang;

bool integer_or_bool(TBasicType t) { return t == EbtInt || t == EbtUint || t == EbtBool; }

class TreeRules : public TIntermTraverser {
public:
    explicit TreeRules(const std::string& source) : source_(source) {}

    std::vector<Diagnostic> errors;
    const TTypeList* block = nullptr;  // the constant block's members

    void visitConstantUnion(TIntermConstantUnion* node) override
    {
        if (!node->getType().isFloatingDomain()) return;
        const TConstUnionArray& values = node->getConstArray();
        for (int i = 0; i < values.size(); ++i) {
            double value = values[i].getDConst();
            bool single = node->getBasicType() != EbtDouble;
            if (!std::isfinite(value) || (single && std::fabs(value) > FLT_MAX)) {
                error(node->getLoc(), "floating-point constant is infinite or NaN (a division by zero, or a value "
                                      "beyond float range)");
                return;
            }
        }
    }

    void visitSymbol(TIntermSymbol* node) override
    {
        if (constant_block(node->getType())) block = node->getType().getStruct();
    }

    bool visitBinary(TVisit, TIntermBinary* node) override
    {
        if (int_or_bool_read(node)) {
            error(node->getLoc(), "integer and boolean constants cannot be read here; copy it to a local first");
            return false;
        }
        TOperator op = node->getOp();
        if (op == EOpDiv || op == EOpDivAssign || op == EOpMod || op == EOpModAssign) {
            TIntermConstantUnion* divisor = node->getRight()->getAsConstantUnion();
            if (divisor && has_zero(divisor)) error(node->getLoc(), "division by zero");
        }
        if (TIntermTyped* zero = zero_for(node->getLeft())) node->setLeft(zero);
        if (TIntermTyped* zero = zero_for(node->getRight())) node->setRight(zero);
        return true;
    }

    bool visitUnary(TVisit, TIntermUnary* node) override
    {
        if (TIntermTyped* zero = zero_for(node->getOperand())) node->setOperand(zero);
        return true;
    }

    bool visitSelection(TVisit, TIntermSelection* node) override
    {
        if (TIntermTyped* zero = zero_for(node->getCondition())) node->setCondition(zero);
        return true;
    }

    bool visitBranch(TVisit, TIntermBranch* node) override
    {
        if (TIntermTyped* zero = zero_for(node->getExpression())) node->setExpression(zero);
        return true;
    }

    bool visitAggregate(TVisit, TIntermAggregate* node) override
    {
        for (TIntermNode*& child : node->getSequence()) {
            if (TIntermTyped* zero = zero_for(child ? child->getAsTyped() : nullptr)) child = zero;
        }
        check_constructor(node);
        return true;
    }

private:
    const std::string& source_;

    void error(const TSourceLoc& loc, const std::string& text)
    {
        errors.push_back({loc.line, loc.column, true, text});
    }

    std::size_t line_start(int line) const
    {
        std::size_t start = 0;
        for (int l = 1; l < line && start < source_.size(); ++l) {
            std::size_t end = source_.find_first_of("\r\n", start);
            if (end == std::string::npos) return source_.size();
            start = end + (source_.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
        return start;
    }

    bool followed_by_parenthesis(int line, int column) const
    {
        std::size_t at = line_start(line) + (std::size_t)column - 1;
        while (at < source_.size() && (source_[at] == ' ' || source_[at] == '\t')) ++at;
        return at < source_.size() && source_[at] == '(';
    }

    // 1-based column of the last whole-word `word` on `line` that starts before `column`.
    int last_word_before(int line, int column, const std::string& word, int otherwise) const
    {
        std::size_t start = line_start(line);
        if (start >= source_.size()) return otherwise;
        std::size_t end = std::min(source_.find_first_of("\r\n", start), start + (std::size_t)std::max(column, 1) - 1);
        auto word_char = [](char c) { return std::isalnum((unsigned char)c) || c == '_'; };
        for (std::size_t at = source_.rfind(word, end); at != std::string::npos && at >= start;
             at = at == 0 ? std::string::npos : source_.rfind(word, at - 1)) {
            bool whole = (at == start || !word_char(source_[at - 1])) &&
                         (at + word.size() >= source_.size() || !word_char(source_[at + word.size()]));
            if (whole && at + word.size() <= end) return int(at - start) + 1;
        }
        return otherwise;
    }

    static bool has_zero(TIntermConstantUnion* c)
    {
        const TConstUnionArray& values = c->getConstArray();
        for (int i = 0; i < values.size(); ++i) {
            switch (values[i].getType()) {
            case EbtFloat:
            case EbtDouble:
            case EbtFloat16: if (values[i].getDConst() == 0) return true; break;
            case EbtInt: if (values[i].getIConst() == 0) return true; break;
            case EbtUint: if (values[i].getUConst() == 0) return true; break;
            default: break;
            }
        }
        return false;
    }

    static bool constant_block(const TType& type)
    {
        return type.getBasicType() == EbtBlock && type.getQualifier().storage == EvqUniform &&
               type.getTypeName() == "$Global";
    }

    // The int or bool member of the constant block that `node` reads, or nullptr.
    static const TType* int_or_bool_read(TIntermTyped* node)
    {
        TIntermBinary* index = node ? node->getAsBinaryNode() : nullptr;
        if (!index || index->getOp() != EOpIndexDirectStruct || !constant_block(index->getLeft()->getType())) {
            return nullptr;
        }
        TIntermConstantUnion* member_index = index->getRight()->getAsConstantUnion();
        if (!member_index) return nullptr;
        const TType* member = (*index->getLeft()->getType().getStruct())[member_index->getConstArray()[0].getIConst()].type;
        return integer_or_bool(member->getBasicType()) ? member : nullptr;
    }

    // A read of an int or bool member of the constant block becomes a constant 0 / false.
    TIntermTyped* zero_for(TIntermTyped* node)
    {
        const TType* member = int_or_bool_read(node);
        if (!member) return nullptr;
        TConstUnionArray values(node->getType().computeNumComponents());
        for (int i = 0; i < values.size(); ++i) {
            if (member->getBasicType() == EbtBool) values[i].setBConst(false);
            else if (member->getBasicType() == EbtUint) values[i].setUConst(0);
            else values[i].setIConst(0);
        }
        TType type;
        type.shallowCopy(node->getType());
        type.getQualifier().makeTemporary();
        type.getQualifier().storage = EvqConst;
        auto* zero = new TIntermConstantUnion(values, type);
        zero->setLoc(node->getLoc());
        return zero;
    }

    void check_constructor(TIntermAggregate* node)
    {
        const TType& type = node->getType();
        bool numeric = type.isFloatingDomain() || type.isIntegerDomain() || type.getBasicType() == EbtBool;
        if (!node->isConstructor() || !numeric || type.isArray() || node->getSequence().size() < 2) return;
        int given = 0;
        for (TIntermNode* arg : node->getSequence()) {
            if (arg && arg->getAsTyped()) given += arg->getAsTyped()->getType().computeNumComponents();
        }
        int holds = type.computeNumComponents();
        if (given <= holds) return;
        std::string name = type.getBasicTypeString().c_str();
        if (type.isMatrix()) name += std::to_string(type.getMatrixRows()) + "x" + std::to_string(type.getMatrixCols());
        else if (type.isVector()) name += std::to_string(type.getVectorSize());
        // The tree places a constructor at its closing parenthesis; messages point at the name.
        // Initialiser lists become constructors too, and are not this rule's: only a constructor
        // written as one counts.
        TSourceLoc loc = node->getLoc();
        loc.column = last_word_before(loc.line, loc.column, name, 0);
        if (loc.column == 0 || !followed_by_parenthesis(loc.line, loc.column + (int)name.size())) return;
        error(loc, "'" + name + "' : constructor given " + std::to_string(given) + " components; the type holds " +
                       std::to_string(holds));
    }
};

}  // namespace

std::vector<Diagnostic> apply_tree_rules(TIntermediate& tree, const std::string& source)
{
    TreeRules rules(source);
    if (tree.getTreeRoot()) tree.getTreeRoot()->traverse(&rules);
    // Unread now, int and bool members must not keep the block from being the float register file.
    if (rules.block && rules.errors.empty()) {
        for (const TTypeLoc& member : *rules.block) {
            if (integer_or_bool(member.type->getBasicType())) member.type->setBasicType(EbtFloat);
        }
    }
    return rules.errors;
}

}  // namespace fxcompiler
