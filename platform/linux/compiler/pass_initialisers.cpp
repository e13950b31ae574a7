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

class Rewriter : DeclarationWalk {
public:
    explicit Rewriter(Unit& unit) : DeclarationWalk(unit.tokens), tokens_(unit.tokens), errors_(unit.errors) {}

    void run()
    {
        walk();
        replace_tokens(tokens_, std::move(replacements_));
    }

private:
    TokenList& tokens_;  // t_, to write to
    std::vector<Diagnostic>& errors_;
    std::vector<Replacement> replacements_;

    void declared(const Declarator& d) override
    {
        if (d.list) list(d.shape, d.name, d.value_first, d.value_end - 1);
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
