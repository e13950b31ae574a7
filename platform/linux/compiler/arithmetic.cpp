// ps_3_0's arithmetic on the parsed tree, where it differs from GLSL's (the rest is the GLSL
// writer's, glsl_writer.cpp; lit() and fmod() are given before the back end sees them,
// intrinsics.cpp):
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

#include <glslang/Include/intermediate.h>
#include <glslang/MachineIndependent/localintermediate.h>

namespace fxcompiler {

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
                error(node->getLoc(),
                      "floating-point constant is infinite or NaN (a division by zero, or a value "
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

    void error(const TSourceLoc& loc, const std::string& text) { errors.push_back({loc.line, loc.column, true, text}); }

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
            case EbtFloat16:
                if (values[i].getDConst() == 0) return true;
                break;
            case EbtInt:
                if (values[i].getIConst() == 0) return true;
                break;
            case EbtUint:
                if (values[i].getUConst() == 0) return true;
                break;
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
        const TType* member =
            (*index->getLeft()->getType().getStruct())[member_index->getConstArray()[0].getIConst()].type;
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
        const auto basic = type.getBasicTypeString();
        std::string name(basic.begin(), basic.end());
        if (type.isMatrix()) name += std::to_string(type.getMatrixRows()) + "x" + std::to_string(type.getMatrixCols());
        else if (type.isVector()) name += std::to_string(type.getVectorSize());
        // The tree places a constructor at its closing parenthesis; messages point at the name.
        // Initialiser lists become constructors too, and are not this rule's: only a constructor
        // written as one counts.
        TSourceLoc loc = node->getLoc();
        loc.column = last_word_before(loc.line, loc.column, name, 0);
        if (loc.column == 0 || !followed_by_parenthesis(loc.line, loc.column + (int)name.size())) return;
        error(loc,
              "'" + name + "' : constructor given " + std::to_string(given) + " components; the type holds " +
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
