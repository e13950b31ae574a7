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
#include "passes.h"
#include "shapes.h"

namespace fxcompiler {

namespace {

// Words that stand before a name without being its type.
bool is_keyword(std::string_view s) { return has_role(s, STATEMENT) || s == "typedef" || s == "struct"; }

class Rewriter : Shapes {
public:
    explicit Rewriter(Unit& unit) : Shapes(unit.tokens), tokens_(unit.tokens), errors_(unit.errors) {}

    void run()
    {
        scopes_.emplace_back();
        for (std::size_t i = 0; i < t_.size();) i = step(i);
        replace_tokens(tokens_, std::move(replacements_));
    }

private:
    TokenList& tokens_;  // t_, to write to
    std::vector<Diagnostic>& errors_;
    std::vector<Replacement> replacements_;

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
        Filler filler{tokens_, found, 0, 0, false, {}};
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
