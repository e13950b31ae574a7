// Pass: initialiser lists as Direct3D 9 reads them.
// Reads: declarations with an initialiser list, and the declarations in scope that give its types.
// Changes: braces are ignored and the components of the values (scalars, vectors, matrices row by
//   row) fill the declared type in order: arrays element by element, structs member by member,
//   matrices row by row. The back end reads a list the GLSL way, one value per element or member,
//   and refuses or silently misreads a flat one; such lists are rewritten nested as the type is.
//   A list holding a value whose type this light scan cannot tell is left as written.
// Refuses, with the declared name's place: a list holding the wrong number of components.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string_view>

#include "hlsl_words.h"
#include "intrinsics.h"
#include "passes.h"

namespace fxcompiler {

namespace {

struct Shape {
    enum Kind { Unknown, Scalar, Vector, Matrix, Struct, Array };
    Kind kind = Unknown;
    int rows = 1, cols = 1;          // a vector has `cols` components
    int length = -1;                 // of an array; -1 when not known
    std::string name;                // a struct's
    std::vector<std::string> member_names;
    std::vector<Shape> members;      // a struct's members; an array's element
    long nodes = 1;                  // shapes in this one, to keep copies small

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

bool same_leaf(const Shape& a, const Shape& b)
{
    if (a.kind != b.kind) return false;
    if (a.kind == Shape::Struct) return a.name == b.name;
    return a.kind != Shape::Array && a.rows == b.rows && a.cols == b.cols;
}

// HLSL's component-wise promotion: a scalar widens, two vectors meet at the shorter.
Shape combine(const Shape& a, const Shape& b)
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

// Words that stand before a name without being its type.
bool is_keyword(std::string_view s) { return has_role(s, STATEMENT) || s == "typedef" || s == "struct"; }

// float, half3, int4x4, ... ; Unknown for anything else.
Shape builtin_type(std::string_view s)
{
    std::size_t base = 0;
    int rows = 0, columns = 0;
    if (!scalar_type(s, base, rows, columns)) return Shape();
    if (base == s.size()) return Shape::scalar();
    if (s.size() - base == 1) return Shape::vector(columns);
    return Shape::matrix(rows, columns);
}

class Rewriter {
public:
    explicit Rewriter(Unit& unit) : t_(unit.tokens), errors_(unit.errors) {}

    void run()
    {
        scopes_.emplace_back();
        for (std::size_t i = 0; i < t_.size();) i = step(i);
        replace_tokens(t_, std::move(replacements_));
    }

private:
    TokenList& t_;
    std::vector<Diagnostic>& errors_;
    std::vector<Replacement> replacements_;
    std::vector<std::map<std::string, Shape, std::less<>>> scopes_;
    std::map<std::string, Shape, std::less<>> pending_;  // parameters, for the body that follows
    std::map<std::string, Shape, std::less<>> types_;    // structs and typedefs
    std::map<std::string, Shape, std::less<>> functions_;
    std::map<std::string, long, std::less<>> constants_;  // integer constants, for array sizes

    // ---- what the names mean ----

    const Shape* variable(std::string_view name) const
    {
        for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
            auto found = it->find(name);
            if (found != it->end()) return &found->second;
        }
        return nullptr;
    }

    // The type at `k` (qualifiers already skipped); `next` is the token after it.
    Shape type_at(std::size_t k, std::size_t& next, int depth = 0) const
    {
        next = k + 1;
        if (!t_.ident(k) || depth > 8) return Shape();
        std::string_view s = t_.view(k);
        if (s == "struct" && t_.ident(k + 1)) {
            ++next;
            s = t_.view(k + 1);
        }
        if (s == "vector" || s == "matrix") {
            if (!t_.is(k + 1, "<")) return s == "vector" ? Shape::vector(4) : Shape::matrix(4, 4);
            std::size_t close = t_.match(k + 1);
            next = close + 1;
            std::vector<long> dims;
            for (std::size_t a = k + 2; a < close; ++a) {
                if (!t_.is(a, ",")) continue;
                std::size_t end = a + 1;
                while (end < close && !t_.is(end, ",")) ++end;
                dims.push_back(evaluate(a + 1, end));
            }
            for (long d : dims) {
                if (d < 1 || d > 4) return Shape();
            }
            if (s == "vector" && dims.size() == 1) return Shape::vector((int)dims[0]);
            if (s == "matrix" && dims.size() == 2) return Shape::matrix((int)dims[0], (int)dims[1]);
            return Shape();
        }
        Shape builtin = builtin_type(s);
        if (builtin.known()) return builtin;
        auto named = types_.find(s);
        if (named != types_.end()) return named->second;
        return Shape();
    }

    // Array dimensions from `k` on: "[2][N]".
    Shape with_dimensions(Shape shape, std::size_t& k) const
    {
        std::vector<long> dims;
        while (t_.is(k, "[")) {
            std::size_t close = t_.match(k);
            dims.push_back(close == k + 1 ? -1 : evaluate(k + 1, close));
            k = close + 1;
        }
        for (auto d = dims.rbegin(); d != dims.rend(); ++d) shape = Shape::array(shape, *d < 0 ? -1 : (int)*d);
        return shape;
    }

    // A constant integer expression over [b, e): literals, macros, integer constants, + - * / ( ).
    long evaluate(std::size_t b, std::size_t e) const
    {
        std::vector<std::string_view> words;
        for (std::size_t k = b; k < e; ++k) words.push_back(t_.view(k));
        std::size_t at = 0;
        long value = evaluate_words(words, at, 0);
        return at == words.size() ? value : -1;
    }

    long evaluate_words(const std::vector<std::string_view>& w, std::size_t& at, int depth) const
    {
        // sum := product (('+'|'-') product)*; product := atom (('*'|'/') atom)*
        auto atom = [&](std::size_t& a) -> long {
            if (a >= w.size() || depth > 16) return -1;
            const std::string_view s = w[a++];
            if (s == "(") {
                long v = evaluate_words(w, a, depth + 1);
                if (a < w.size() && w[a] == ")") ++a;
                else return -1;
                return v;
            }
            if (std::isdigit((unsigned char)s[0])) {
                std::uint64_t v = 0;
                return read_integer(s, v) && v <= 1000000000 ? (long)v : -1;
            }
            auto c = constants_.find(s);
            if (c != constants_.end()) return c->second;
            return -1;
        };
        auto product = [&](std::size_t& a) -> long {
            long v = atom(a);
            while (v >= 0 && a < w.size() && (w[a] == "*" || w[a] == "/")) {
                bool times = w[a++] == "*";
                long r = atom(a);
                if (r < 0 || (!times && r == 0) || v > 1000000 || r > 1000000) return -1;
                v = times ? v * r : v / r;
            }
            return v;
        };
        long v = product(at);
        while (v >= 0 && at < w.size() && (w[at] == "+" || w[at] == "-")) {
            bool plus = w[at++] == "+";
            long r = product(at);
            if (r < 0) return -1;
            v = plus ? v + r : v - r;
        }
        return v;
    }

    // ---- the shape of an expression ----

    Shape shape_of(std::size_t b, std::size_t e) const
    {
        if (e - b > MAX_VALUE_WORDS) return Shape();
        std::vector<std::string_view> words;
        for (std::size_t k = b; k < e; ++k) {
            if (t_[k].kind == Kind::Directive || t_[k].kind == Kind::String) return Shape();
            words.push_back(t_.view(k));
        }
        std::size_t at = 0;
        Shape s = expression(words, at, 0);
        return at == words.size() ? s : Shape();
    }

    static bool binary_operator(std::string_view s)
    {
        return one_of(s, {"+", "-", "*", "/", "%", "<", ">", "=", "!", "&", "|", "^", "?", ":"});
    }

    // Operands joined by operators: every operator of HLSL combines its operands' shapes the same
    // way, so precedence does not matter here. Stops at a ',' or a closing bracket.
    Shape expression(const std::vector<std::string_view>& w, std::size_t& at, int depth) const
    {
        if (depth > 32) return Shape();
        Shape result = operand(w, at, depth);
        while (at < w.size() && binary_operator(w[at])) {
            while (at < w.size() && binary_operator(w[at])) ++at;  // "<=", "&&", ...
            result = combine(result, operand(w, at, depth));
        }
        return result;
    }

    Shape operand(const std::vector<std::string_view>& w, std::size_t& at, int depth) const
    {
        while (at < w.size() && one_of(w[at], {"-", "+", "!", "~"})) ++at;
        if (at >= w.size()) return Shape();
        const std::string_view s = w[at++];
        Shape shape;
        if (s == "(") {
            // A cast "(float3)x" or a parenthesised expression.
            Shape cast = type_of_words(w, at);
            if (cast.known() && at < w.size() && w[at] == ")") {
                ++at;
                operand(w, at, depth + 1);
                shape = cast;
            } else {
                shape = expression(w, at, depth + 1);
                if (at >= w.size() || w[at] != ")") return Shape();
                ++at;
            }
        } else if (std::isdigit((unsigned char)s[0]) || (s[0] == '.' && s.size() > 1) || s == "true" ||
                   s == "false") {
            shape = Shape::scalar();
        } else if (ident_start(s[0]) && at < w.size() && w[at] == "(") {
            --at;
            std::size_t type_start = at;
            Shape constructed = type_of_words(w, at);
            if (constructed.known() && at < w.size() && w[at] == "(") {
                shape = constructed;
                if (!arguments(w, at, depth).second) return Shape();
            } else {
                at = type_start + 1;
                auto args = arguments(w, at, depth);
                if (!args.second) return Shape();
                shape = call(s, args.first);
            }
        } else if (ident_start(s[0]) && (s == "vector" || s == "matrix")) {
            --at;
            shape = type_of_words(w, at);
            if (!shape.known() || at >= w.size() || w[at] != "(" || !arguments(w, at, depth).second) return Shape();
        } else if (ident_start(s[0])) {
            const Shape* v = variable(s);
            if (!v) return Shape();
            shape = *v;
        } else {
            return Shape();
        }
        return postfix(shape, w, at, depth);
    }

    // The arguments of a call, `at` on its '('; false when they do not close.
    std::pair<std::vector<Shape>, bool> arguments(const std::vector<std::string_view>& w, std::size_t& at,
                                                  int depth) const
    {
        std::vector<Shape> args;
        ++at;
        if (at < w.size() && w[at] == ")") {
            ++at;
            return {args, true};
        }
        while (at < w.size()) {
            args.push_back(expression(w, at, depth + 1));
            if (at < w.size() && w[at] == ",") {
                ++at;
                continue;
            }
            if (at < w.size() && w[at] == ")") {
                ++at;
                return {args, true};
            }
            break;
        }
        return {args, false};
    }

    Shape call(std::string_view name, const std::vector<Shape>& args) const
    {
        auto user = functions_.find(name);
        if (user != functions_.end()) return user->second;
        const Intrinsic* intrinsic = find_intrinsic(name);
        const Result result = intrinsic ? intrinsic->result : Result::Unknown;
        if (result == Result::Scalar) return Shape::scalar();
        if (result == Result::Vector3) return Shape::vector(3);
        if (result == Result::Vector4) return Shape::vector(4);
        for (const Shape& a : args) {
            if (!a.known()) return Shape();
        }
        if (result == Result::Transposed && args.size() == 1 && args[0].kind == Shape::Matrix) {
            return Shape::matrix(args[0].cols, args[0].rows);
        }
        if (result == Result::Product && args.size() == 2) {
            const Shape &a = args[0], &b = args[1];
            if (a.kind == Shape::Scalar) return b;
            if (b.kind == Shape::Scalar) return a;
            if (a.kind == Shape::Vector && b.kind == Shape::Vector) return Shape::scalar();
            if (a.kind == Shape::Vector && b.kind == Shape::Matrix) return Shape::vector(b.cols);
            if (a.kind == Shape::Matrix && b.kind == Shape::Vector) return Shape::vector(a.rows);
            if (a.kind == Shape::Matrix && b.kind == Shape::Matrix) return Shape::matrix(a.rows, b.cols);
            return Shape();
        }
        if (result == Result::Arguments && !args.empty()) {
            Shape s = args[0];
            for (std::size_t i = 1; i < args.size(); ++i) s = combine(s, args[i]);
            return s;
        }
        return Shape();
    }

    Shape postfix(Shape shape, const std::vector<std::string_view>& w, std::size_t& at, int depth) const
    {
        while (at < w.size()) {
            if (w[at] == "[") {
                ++at;
                expression(w, at, depth + 1);
                if (at >= w.size() || w[at] != "]") return Shape();
                ++at;
                if (shape.kind == Shape::Array) shape = shape.members[0];
                else if (shape.kind == Shape::Vector) shape = Shape::scalar();
                else if (shape.kind == Shape::Matrix) shape = Shape::vector(shape.cols);
                else return Shape();
            } else if (w[at] == "." && at + 1 < w.size()) {
                shape = member(shape, w[at + 1]);
                at += 2;
                if (!shape.known()) return shape;
            } else if (w[at] == "++" || w[at] == "--") {
                ++at;
            } else {
                break;
            }
        }
        return shape;
    }

    static Shape member(const Shape& of, std::string_view name)
    {
        if (of.kind == Shape::Struct) {
            for (std::size_t m = 0; m < of.members.size(); ++m) {
                if (of.member_names[m] == name) return of.members[m];
            }
            return Shape();
        }
        if (of.kind == Shape::Matrix && name[0] == '_') {
            int n = 0;
            for (std::size_t i = 0; i < name.size(); ++i) n += name[i] == '_';
            return n <= 4 ? Shape::vector(n) : Shape();
        }
        if ((of.kind == Shape::Vector || of.kind == Shape::Scalar) && name.size() <= 4 &&
            (name.find_first_not_of("xyzw") == std::string_view::npos ||
             name.find_first_not_of("rgba") == std::string_view::npos)) {
            return Shape::vector((int)name.size());
        }
        return Shape();
    }

    // A type spelled in words ("float3", "vector<float, 2>", a struct or typedef name).
    Shape type_of_words(const std::vector<std::string_view>& w, std::size_t& at) const
    {
        if (at >= w.size()) return Shape();
        const std::string_view s = w[at];
        Shape builtin = builtin_type(s);
        if (builtin.known()) {
            ++at;
            return builtin;
        }
        auto named = types_.find(s);
        if (named != types_.end()) {
            ++at;
            return named->second;
        }
        if ((s == "vector" || s == "matrix") && at + 1 < w.size() && w[at + 1] == "<") {
            std::vector<long> dims;
            std::size_t k = at + 2;
            while (k < w.size() && w[k] != ">") {
                if (w[k] == ",") {
                    std::size_t a = k + 1;
                    dims.push_back(evaluate_words(w, a, 0));
                    k = a;
                } else {
                    ++k;
                }
            }
            if (k >= w.size()) return Shape();
            at = k + 1;
            for (long d : dims) {
                if (d < 1 || d > 4) return Shape();
            }
            if (s == "vector" && dims.size() == 1) return Shape::vector((int)dims[0]);
            if (s == "matrix" && dims.size() == 2) return Shape::matrix((int)dims[0], (int)dims[1]);
        }
        return Shape();
    }

    // ---- declarations ----

    std::size_t skip_semantics(std::size_t k) const
    {
        while (t_.is(k, ":")) {
            ++k;
            if (t_.is(k + 1, "(")) k = t_.match(k + 1) + 1;
            else ++k;
        }
        return k;
    }

    // One statement-level step from token `i`; returns where the next one starts.
    std::size_t step(std::size_t i)
    {
        if (t_[i].kind == Kind::Directive) return i + 1;
        if (t_[i].kind == Kind::Punct) {
            const char c = t_.punct(i);
            if (c == '{') {
                scopes_.push_back(std::move(pending_));
                pending_.clear();
            } else if (c == '}') {
                if (scopes_.size() > 1) scopes_.pop_back();
            } else if (c == ';') {
                pending_.clear();
            }
            return i + 1;
        }
        // A declaration starts with two names in a row (a type after qualifiers, or "vector<...> v").
        if (!t_.ident(i) || !(t_.ident(i + 1) || t_.is(i + 1, "<"))) return i + 1;
        if (t_.is(i, "struct") && t_.is(i + 2, "{")) return structure(i);
        if (t_.is(i, "typedef")) return type_definition(i);
        if (is_keyword(t_.view(i)) || (i > 0 && t_.is(i - 1, "."))) return i + 1;
        std::size_t k = i;
        while (t_.ident(k) && is_qualifier(t_.view(k))) ++k;
        if (!t_.ident(k) || is_keyword(t_.view(k))) return std::max(k, i + 1);
        std::size_t name = k + 1;
        if (t_.is(name, "<") && has_role(t_.view(k), TEMPLATE)) name = t_.match(name) + 1;
        if (t_.is(k, "struct")) ++name;
        if (!t_.ident(name) || is_keyword(t_.view(name))) return k + 1;
        std::size_t after;
        Shape type = type_at(k, after);
        if (t_.is(name + 1, "(")) return function(type, name);
        return declarators(type, name, false);
    }

    // "T a[2] : S = init, b, c = { ... }" from the first name on; returns the index after it.
    std::size_t declarators(const Shape& type, std::size_t k, bool parameters)
    {
        auto& scope = parameters ? pending_ : scopes_.back();
        while (t_.ident(k)) {
            std::size_t name = k++;
            Shape shape = with_dimensions(type, k);
            k = skip_semantics(k);
            if (t_.is(k, "=")) {
                ++k;
                if (t_.is(k, "{")) {
                    std::size_t close = t_.match(k);
                    list(shape, name, k, close);
                    k = close + 1;
                } else {
                    std::size_t end = k;
                    while (end < t_.size() && !t_.is(end, ",") && !t_.is(end, ";") && !t_.is(end, ")")) {
                        if (t_.is(end, "(") || t_.is(end, "[") || t_.is(end, "{")) end = t_.match(end);
                        ++end;
                    }
                    if (shape.kind == Shape::Scalar && end - k <= 8) {  // "const int N = 2 * M;"
                        long value = evaluate(k, end);
                        if (value >= 0) constants_[t_.str(name)] = value;
                    }
                    k = end;
                }
            }
            scope[t_.str(name)] = shape;
            if (!t_.is(k, ",")) break;
            ++k;
            if (parameters) return k;  // the next parameter has its own type
        }
        return k;
    }

    std::size_t function(const Shape& returns, std::size_t name)
    {
        functions_[t_.str(name)] = returns;
        std::size_t open = name + 1, close = t_.match(open);
        pending_.clear();
        for (std::size_t k = open + 1; k < close;) {
            while (t_.ident(k) && is_qualifier(t_.view(k))) ++k;
            std::size_t after;
            Shape type = type_at(k, after);
            if (!t_.ident(k) || !t_.ident(after)) {
                while (k < close && !t_.is(k, ",")) {
                    if (t_.is(k, "(") || t_.is(k, "[") || t_.is(k, "{")) k = t_.match(k);
                    ++k;
                }
                ++k;
                continue;
            }
            std::size_t next = declarators(type, after, true);
            k = next > k ? next : k + 1;
            while (k < close && !t_.is(k - 1, ",")) ++k;
        }
        return close + 1;  // the parameters wait in pending_ for the body
    }

    std::size_t structure(std::size_t i)
    {
        Shape s;
        s.kind = Shape::Struct;
        s.name = t_.str(i + 1);
        std::size_t open = i + 2, close = t_.match(open);
        for (std::size_t k = open + 1; k < close;) {
            while (t_.ident(k) && is_qualifier(t_.view(k))) ++k;
            std::size_t after;
            Shape type = type_at(k, after);
            if (k >= close) break;
            k = after;
            while (t_.ident(k) && k < close) {
                std::string member_name = t_.str(k++);
                Shape member = with_dimensions(type, k);
                s.members.push_back(member);
                s.member_names.push_back(member_name);
                s.nodes += member.nodes;
                k = skip_semantics(k);
                if (!t_.is(k, ",")) break;
                ++k;
            }
            while (k < close && !t_.is(k, ";")) ++k;
            ++k;
        }
        // Structs nested thousands deep would cost memory squared; such a type stays unknown.
        if (s.nodes > MAX_SHAPE_NODES) s = Shape();
        types_[t_.str(i + 1)] = s;
        // "struct S { ... } a, b;" declares instances too.
        return t_.ident(close + 1) ? declarators(s, close + 1, false) : close + 1;
    }

    std::size_t type_definition(std::size_t i)
    {
        std::size_t k = i + 1;
        while (t_.ident(k) && is_qualifier(t_.view(k))) ++k;
        std::size_t after;
        Shape type = type_at(k, after);
        k = after;
        while (t_.ident(k)) {
            std::string name = t_.str(k++);
            types_[name] = with_dimensions(type, k);
            if (!t_.is(k, ",")) break;
            ++k;
        }
        return k;
    }

    // ---- the list ----

    struct Value {
        std::size_t first, last;  // tokens
        Shape shape;
        long components;
    };

    // The values of the list at `open`, braces flattened; false when one's shape is not known.
    bool values(std::size_t open, std::size_t close, std::vector<Value>& out) const
    {
        std::size_t k = open + 1;
        while (k < close) {
            if (t_.is(k, ",")) {
                ++k;
                continue;
            }
            if (t_.is(k, "{")) {
                std::size_t inner = t_.match(k);
                if (!values(k, inner, out)) return false;
                k = inner + 1;
                continue;
            }
            std::size_t end = k;
            while (end < close && !t_.is(end, ",")) {
                if (t_.is(end, "(") || t_.is(end, "[") || t_.is(end, "{")) end = t_.match(end);
                ++end;
            }
            Shape shape = shape_of(k, end);
            long components = shape.components();
            if (components < 0) return false;
            out.push_back({k, end - 1, shape, components});
            k = end;
        }
        return true;
    }

    // Writes the list again, nested as the type is: the values' own tokens, braces around.
    struct Filler {
        TokenList& t;
        const std::vector<Value>& values;
        std::size_t index = 0;  // the value being read
        long offset = 0;        // components of it already used
        bool failed = false;
        std::vector<Token> out;

        void mark(std::string_view s, const Token& at) { out.push_back(t.make(s, Kind::Punct, at)); }
        // Opening marks stand before the value that follows, the others after the one before.
        const Token& here() const { return t[values[std::min(index, values.size() - 1)].first]; }
        const Token& last() const { return out.empty() ? here() : out.back(); }

        void value(std::size_t v)
        {
            out.insert(out.end(), t.list.begin() + (std::ptrdiff_t)values[v].first,
                       t.list.begin() + (std::ptrdiff_t)values[v].last + 1);
        }

        // `count` components of value v from `from`, as a swizzle.
        void piece(std::size_t v, long from, long count)
        {
            const Shape& s = values[v].shape;
            std::string swizzle;
            for (long c = from; c < from + count; ++c) {
                if (s.kind == Shape::Vector) {
                    swizzle += "xyzw"[c];
                } else if (s.kind == Shape::Matrix) {
                    swizzle += "_m" + std::to_string(c / s.cols) + std::to_string(c % s.cols);
                } else {
                    failed = true;  // a struct or an array split across elements
                }
            }
            const Token& at = t[values[v].first];
            mark("(", at);
            value(v);
            mark(")", at);
            mark(".", at);
            out.push_back(t.make(t.keep(swizzle), Kind::Ident, at));
        }

        void fill(const Shape& shape)
        {
            if (failed || index >= values.size()) {
                failed = true;
                return;
            }
            const Value& v = values[index];
            if (offset == 0 && same_leaf(shape, v.shape)) {
                value(index++);
                return;
            }
            switch (shape.kind) {
            case Shape::Array:
            case Shape::Struct: {
                mark("{", here());
                const std::size_t count = shape.kind == Shape::Array ? (std::size_t)shape.length : shape.members.size();
                for (std::size_t m = 0; m < count && !failed; ++m) {
                    if (m) mark(",", last());
                    fill(shape.kind == Shape::Array ? shape.members[0] : shape.members[m]);
                }
                mark("}", last());
                return;
            }
            case Shape::Matrix: {
                mark("{", here());
                for (int r = 0; r < shape.rows && !failed; ++r) {
                    if (r) mark(",", last());
                    fill(Shape::vector(shape.cols));
                }
                mark("}", last());
                return;
            }
            case Shape::Scalar:
            case Shape::Vector: {
                const std::size_t start = out.size();
                int parts = 0;
                mark("{", here());
                for (long need = shape.cols; need > 0 && !failed;) {
                    if (index >= values.size()) {
                        failed = true;
                        break;
                    }
                    const Value& from = values[index];
                    const long take = std::min(need, from.components - offset);
                    const bool whole = offset == 0 && take == from.components &&
                                       (from.shape.kind == Shape::Scalar || from.shape.kind == Shape::Vector);
                    if (parts) mark(",", last());
                    if (whole) {
                        value(index);
                        ++parts;
                    } else if (from.shape.kind == Shape::Matrix) {
                        // One component at a time: the back end misreads a matrix swizzle of several.
                        for (long c = 0; c < take; ++c) {
                            if (c) mark(",", last());
                            piece(index, offset + c, 1);
                            ++parts;
                        }
                    } else {
                        piece(index, offset, take);
                        ++parts;
                    }
                    need -= take;
                    offset += take;
                    if (offset == from.components) {
                        ++index;
                        offset = 0;
                    }
                }
                mark("}", last());
                // One part is the value itself: the back end misreads "{v}" next to other elements.
                if (parts == 1) {
                    out.erase(out.begin() + (std::ptrdiff_t)start);
                    out.pop_back();
                }
                return;
            }
            case Shape::Unknown: break;
            }
            failed = true;
        }
    };

    void list(Shape shape, std::size_t name, std::size_t open, std::size_t close)
    {
        if (!shape.known()) return;
        std::vector<Value> found;
        if (!values(open, close, found) || found.empty()) return;
        long total = 0;
        for (const Value& v : found) total += v.components;
        // An unsized array takes its length from the list.
        if (shape.kind == Shape::Array && shape.length < 0) {
            const long element = shape.members[0].components();
            if (element <= 0) return;
            shape.length = (int)std::max(1L, (total + element - 1) / element);
        }
        const long wanted = shape.components();
        if (wanted < 0) return;
        if (total != wanted) {
            errors_.push_back({t_[name].line, t_[name].column, true,
                               "'" + t_.str(name) + "' : the initialiser list holds " + std::to_string(total) +
                                   " component" + (total == 1 ? "" : "s") + " where the type takes " +
                                   std::to_string(wanted)});
            return;
        }
        Filler filler{t_, found, 0, 0, false, {}};
        filler.fill(shape);
        if (filler.failed || filler.index != found.size()) return;
        std::vector<Token>& made = filler.out;
        // A braced group is the whole of what fill() wrote; anything else is one value.
        if (made.empty() || made[0].kind != Kind::Punct || made[0].text != "{") {
            made.insert(made.begin(), t_[open]);
            made.push_back(t_[close]);
        }
        made.front() = t_[open];  // the list's own braces, where they stand
        made.back() = t_[close];
        // Unchanged: the back end reads it as it is.
        bool same = made.size() == close + 1 - open;
        for (std::size_t k = 0; same && k < made.size(); ++k) same = made[k].text == t_[open + k].text;
        if (!same) replacements_.push_back({open, close, std::move(made)});
    }
};

}  // namespace

void rewrite_initialiser_lists(Unit& unit) { Rewriter(unit).run(); }

}  // namespace fxcompiler
