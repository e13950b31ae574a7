// Shapes of values and expressions (see shapes.h).
#include "shapes.h"

#include <algorithm>

#include "hlsl_words.h"
#include "intrinsics.h"
#include "passes.h"

namespace fxcompiler {

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

const Shape* Shapes::variable(std::string_view name) const
{
    for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
        auto found = it->find(name);
        if (found != it->end()) return &found->second;
    }
    return nullptr;
}

// The type at `k` (qualifiers already skipped); `next` is the token after it.
Shape Shapes::type_at(std::size_t k, std::size_t& next, int depth) const
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
Shape Shapes::with_dimensions(Shape shape, std::size_t& k) const
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
long Shapes::evaluate(std::size_t b, std::size_t e) const
{
    std::vector<std::string_view> words;
    for (std::size_t k = b; k < e; ++k) words.push_back(t_.view(k));
    std::size_t at = 0;
    long value = evaluate_words(words, at, 0);
    return at == words.size() ? value : -1;
}

long Shapes::evaluate_words(const std::vector<std::string_view>& w, std::size_t& at, int depth) const
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
Shape Shapes::shape_of(std::size_t b, std::size_t e) const
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

bool Shapes::binary_operator(std::string_view s)
{
    return one_of(s, {"+", "-", "*", "/", "%", "<", ">", "=", "!", "&", "|", "^", "?", ":"});
}

// Operands joined by operators: every operator of HLSL combines its operands' shapes the same
// way, so precedence does not matter here. Stops at a ',' or a closing bracket.
Shape Shapes::expression(const std::vector<std::string_view>& w, std::size_t& at, int depth) const
{
    if (depth > 32) return Shape();
    Shape result = operand(w, at, depth);
    while (at < w.size() && binary_operator(w[at])) {
        while (at < w.size() && binary_operator(w[at])) ++at;  // "<=", "&&", ...
        result = combine(result, operand(w, at, depth));
    }
    return result;
}

Shape Shapes::operand(const std::vector<std::string_view>& w, std::size_t& at, int depth) const
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
    } else if (std::isdigit((unsigned char)s[0]) || (s[0] == '.' && s.size() > 1) || s == "true" || s == "false") {
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
std::pair<std::vector<Shape>, bool> Shapes::arguments(const std::vector<std::string_view>& w, std::size_t& at,
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

Shape Shapes::call(std::string_view name, const std::vector<Shape>& args) const
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

Shape Shapes::postfix(Shape shape, const std::vector<std::string_view>& w, std::size_t& at, int depth) const
{
    while (at < w.size()) {
        if (w[at] == "[") {
            ++at;
            expression(w, at, depth + 1);
            if (at >= w.size() || w[at] != "]") return Shape();
            ++at;
            if (shape.kind == Shape::Array && !shape.members.empty()) {
                Shape element = shape.members[0];  // assigned from a copy: it lives inside `shape`
                shape = std::move(element);
            } else if (shape.kind == Shape::Vector) shape = Shape::scalar();
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

Shape Shapes::member(const Shape& of, std::string_view name)
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
Shape Shapes::type_of_words(const std::vector<std::string_view>& w, std::size_t& at) const
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

// Words that stand before a name without being its type.
static bool is_keyword(std::string_view s) { return has_role(s, STATEMENT) || s == "typedef" || s == "struct"; }

void DeclarationWalk::walk()
{
    scopes_.emplace_back();
    for (std::size_t i = 0; i < t_.size();) i = step(i);
}

std::size_t DeclarationWalk::skip_semantics(std::size_t k) const
{
    while (t_.is(k, ":")) {
        ++k;
        if (t_.is(k + 1, "(")) k = t_.match(k + 1) + 1;
        else ++k;
    }
    return k;
}

// One statement-level step from token `i`; returns where the next one starts.
std::size_t DeclarationWalk::step(std::size_t i)
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
    Qualifiers q;
    for (; t_.ident(k) && is_qualifier(t_.view(k)); ++k) {
        q.is_static = q.is_static || t_.is(k, "static");
        q.is_const = q.is_const || t_.is(k, "const");
    }
    if (!t_.ident(k) || is_keyword(t_.view(k))) return std::max(k, i + 1);
    std::size_t name = k + 1;
    if (t_.is(name, "<") && has_role(t_.view(k), TEMPLATE)) name = t_.match(name) + 1;
    if (t_.is(k, "struct")) ++name;
    if (!t_.ident(name) || is_keyword(t_.view(name))) return k + 1;
    std::size_t after;
    Shape type = type_at(k, after);
    if (t_.is(name + 1, "(")) return function(type, name);
    return declarators(type, name, false, q);
}

// "T a[2] : S = init, b, c = { ... }" from the first name on; returns the index after it.
std::size_t DeclarationWalk::declarators(const Shape& type, std::size_t k, bool parameters, Qualifiers q)
{
    auto& scope = parameters ? pending_ : scopes_.back();
    while (t_.ident(k)) {
        Declarator d;
        d.name = k++;
        d.parameter = parameters;
        d.global = scopes_.size() == 1 && !parameters;
        d.is_static = q.is_static;
        d.is_const = q.is_const;
        const std::size_t name = d.name;
        Shape shape = with_dimensions(type, k);
        d.shape = shape;
        k = skip_semantics(k);
        if (t_.is(k, "=")) {
            ++k;
            if (t_.is(k, "{")) {
                std::size_t close = t_.match(k);
                d.list = true;
                d.value_first = k;
                d.value_end = close + 1;
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
                d.value_first = k;
                d.value_end = end;
                k = end;
            }
        }
        declared(d);
        scope[t_.str(name)] = shape;
        if (!t_.is(k, ",")) break;
        ++k;
        if (parameters) return k;  // the next parameter has its own type
    }
    return k;
}

std::size_t DeclarationWalk::function(const Shape& returns, std::size_t name)
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
        std::size_t next = declarators(type, after, true, Qualifiers());
        k = next > k ? next : k + 1;
        while (k < close && !t_.is(k - 1, ",")) ++k;
    }
    return close + 1;  // the parameters wait in pending_ for the body
}

std::size_t DeclarationWalk::structure(std::size_t i)
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
    return t_.ident(close + 1) ? declarators(s, close + 1, false, Qualifiers()) : close + 1;
}

std::size_t DeclarationWalk::type_definition(std::size_t i)
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

}  // namespace fxcompiler
