// The shape of a value (scalar, vector, matrix, struct, array) and of an expression, from a light
// scan of the declarations in scope: what the passes that fill a type need (shapes.cpp). A shape it
// cannot tell is Unknown, and the pass then leaves the code as it is.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tokens.h"

namespace fxcompiler {

struct Shape {
    enum Kind { Unknown, Scalar, Vector, Matrix, Struct, Array };
    Kind kind = Unknown;
    int rows = 1, cols = 1;  // a vector has `cols` components
    int length = -1;         // of an array; -1 when not known
    std::string name;        // a struct's
    std::vector<std::string> member_names;
    std::vector<Shape> members;  // a struct's members; an array's element
    long nodes = 1;              // shapes in this one, to keep copies small

    static Shape scalar() { return vector(1); }
    static Shape vector(int n)
    {
        Shape s;
        s.kind = n == 1 ? Scalar : Vector;
        s.cols = n;
        return s;
    }
    static Shape matrix(int r, int c)
    {
        Shape s;
        s.kind = Matrix;
        s.rows = r;
        s.cols = c;
        return s;
    }
    static Shape array(const Shape& element, int length)
    {
        Shape s;
        s.kind = Array;
        s.length = length;
        s.members.push_back(element);
        s.nodes = 1 + element.nodes;
        return s;
    }

    bool known() const { return kind != Unknown; }

    // Components it holds, or -1.
    long components() const
    {
        switch (kind) {
        case Unknown: return -1;
        case Scalar:
        case Vector: return cols;
        case Matrix: return rows * cols;
        case Struct: {
            long total = 0;
            for (const Shape& m : members) {
                long c = m.components();
                if (c < 0) return -1;
                total += c;
            }
            return total;
        }
        case Array: {
            long c = members[0].components();
            return c < 0 || length < 0 ? -1 : c * length;
        }
        }
        return -1;
    }
};

const long MAX_SHAPE_NODES = 4096;
const std::size_t MAX_VALUE_WORDS = 65536;

inline bool same_leaf(const Shape& a, const Shape& b)
{
    if (a.kind != b.kind) return false;
    if (a.kind == Shape::Struct) return a.name == b.name;
    return a.kind != Shape::Array && a.rows == b.rows && a.cols == b.cols;
}

// HLSL's component-wise promotion: a scalar widens, two vectors meet at the shorter.
inline Shape combine(const Shape& a, const Shape& b)
{
    if (!a.known() || !b.known()) return Shape();
    if (a.kind == Shape::Scalar) return b.kind == Shape::Struct || b.kind == Shape::Array ? Shape() : b;
    if (b.kind == Shape::Scalar) return a.kind == Shape::Struct || a.kind == Shape::Array ? Shape() : a;
    if (a.kind == Shape::Vector && b.kind == Shape::Vector) return Shape::vector(std::min(a.cols, b.cols));
    if (a.kind == Shape::Matrix && b.kind == Shape::Matrix) {
        return Shape::matrix(std::min(a.rows, b.rows), std::min(a.cols, b.cols));
    }
    return Shape();
}

Shape builtin_type(std::string_view s);

// The names in scope, as a walk over the declarations records them, and the shapes they give.
class Shapes {
public:
    explicit Shapes(const TokenList& t) : t_(t) {}

    // The shape of the expression [b, e) of the tokens, with the names now in scope.
    Shape shape_of(std::size_t b, std::size_t e) const;

protected:
    const TokenList& t_;
    std::vector<std::map<std::string, Shape, std::less<>>> scopes_;
    std::map<std::string, Shape, std::less<>> pending_;  // parameters, for the body that follows
    std::map<std::string, Shape, std::less<>> types_;    // structs and typedefs
    std::map<std::string, Shape, std::less<>> functions_;
    std::map<std::string, long, std::less<>> constants_;  // integer constants, for array sizes

    const Shape* variable(std::string_view name) const;
    // The type at `k` (qualifiers already skipped); `next` is the token after it.
    Shape type_at(std::size_t k, std::size_t& next, int depth = 0) const;
    // Array dimensions from `k` on: "[2][N]".
    Shape with_dimensions(Shape shape, std::size_t& k) const;
    // A constant integer expression over [b, e): literals, macros, integer constants, + - * / ( ).
    long evaluate(std::size_t b, std::size_t e) const;
    long evaluate_words(const std::vector<std::string_view>& w, std::size_t& at, int depth) const;
    // ---- the shape of an expression ----
    static bool binary_operator(std::string_view s);
    // Operands joined by operators: every operator of HLSL combines its operands' shapes the same
    // way, so precedence does not matter here. Stops at a ',' or a closing bracket.
    Shape expression(const std::vector<std::string_view>& w, std::size_t& at, int depth) const;
    Shape operand(const std::vector<std::string_view>& w, std::size_t& at, int depth) const;
    // The arguments of a call, `at` on its '('; false when they do not close.
    std::pair<std::vector<Shape>, bool> arguments(const std::vector<std::string_view>& w, std::size_t& at,
                                                  int depth) const;
    Shape call(std::string_view name, const std::vector<Shape>& args) const;
    Shape postfix(Shape shape, const std::vector<std::string_view>& w, std::size_t& at, int depth) const;
    static Shape member(const Shape& of, std::string_view name);
    // A type spelled in words ("float3", "vector<float, 2>", a struct or typedef name).
    Shape type_of_words(const std::vector<std::string_view>& w, std::size_t& at) const;
};

// A walk over the file's declarations, in order, keeping the names in scope: each declarator is
// told to declared(), with its shape, what qualifies it and where its initial value stands.
class DeclarationWalk : public Shapes {
public:
    explicit DeclarationWalk(const TokenList& t) : Shapes(t) {}
    virtual ~DeclarationWalk() = default;

    void walk();

protected:
    struct Declarator {
        Shape shape;
        std::size_t name = 0;
        bool parameter = false;
        bool global = false;
        bool is_static = false;
        bool is_const = false;
        bool list = false;                           // the initial value is a list in braces
        std::size_t value_first = 0, value_end = 0;  // the initial value's tokens, [first, end)
    };

    virtual void declared(const Declarator&) {}

private:
    struct Qualifiers {
        bool is_static = false;
        bool is_const = false;
    };

    std::size_t skip_semantics(std::size_t k) const;
    // One statement-level step from token `i`; returns where the next one starts.
    std::size_t step(std::size_t i);
    // "T a[2] : S = init, b, c = { ... }" from the first name on; returns the index after it.
    std::size_t declarators(const Shape& type, std::size_t k, bool parameters, Qualifiers q);
    std::size_t function(const Shape& returns, std::size_t name);
    std::size_t structure(std::size_t i);
    std::size_t type_definition(std::size_t i);
};

}  // namespace fxcompiler
