// Pass: values that live in ps_3_0's 32 temporary registers must fit them.
// Reads: every declaration that is no constant: locals, and statics, that the code writes (a
//   variable only initialised and read is constant data, which Direct3D 9 keeps in constant
//   registers). Changes: nothing.
// Refuses, with the place: one such variable needing more than 32 registers (an array takes one
//   register an element, a matrix one a row, a struct its members'), or the global statics the code
//   writes, which live through the whole shader, needing more than 32 together; as Direct3D 9's
//   compiler does. A GL driver would build `static float4 a[65536]` written at run-time, or 1,024
//   statics of 32 registers each, for minutes and gigabytes.
#include "passes.h"
#include "ps30.h"
#include "shapes.h"

namespace fxcompiler {

namespace {

// Registers a value of this shape takes, or -1 when the scan cannot tell.
long registers(const Shape& s)
{
    switch (s.kind) {
    case Shape::Scalar:
    case Shape::Vector: return 1;
    case Shape::Matrix: return s.rows;
    case Shape::Struct: {
        long total = 0;
        for (const Shape& m : s.members) {
            const long r = registers(m);
            if (r < 0) return -1;
            total += r;
        }
        return total;
    }
    case Shape::Array: {
        const long element = registers(s.members[0]);
        return element < 0 || s.length < 0 ? -1 : element * s.length;
    }
    case Shape::Unknown: break;
    }
    return -1;
}

class Temporaries : DeclarationWalk {
public:
    explicit Temporaries(Unit& unit) : DeclarationWalk(unit.tokens), unit_(unit) {}

    void run() { walk(); }

private:
    Unit& unit_;
    long statics_ = 0;  // registers of the global statics so far

    void declared(const Declarator& d) override
    {
        if (!unit_.errors.empty() || d.parameter || d.is_const || (d.global && !d.is_static)) return;
        const long count = registers(d.shape);
        const long limit = (long)fxplatform::ps30::TEMPORARIES;
        // A local that fits is fine written or not: only then is the rest of the code searched.
        if (count <= 0 || (count <= limit && !d.global)) return;
        if (d.value_end > d.value_first && !written(d.name)) return;
        if (count > limit) {
            unit_.error(t_[d.name],
                        "'" + t_.str(d.name) + "' : needs " + std::to_string(count) +
                            " temporary registers; ps_3_0 has " + std::to_string(limit) + ", r0 to r31");
        } else if (d.global && (statics_ += count) > limit) {
            unit_.error(t_[d.name],
                        "'" + t_.str(d.name) + "' : the statics the code writes need " + std::to_string(statics_) +
                            " temporary registers together; ps_3_0 has " + std::to_string(limit) + ", r0 to r31");
        }
    }

    // Whether the code after the declaration at `name` assigns to the variable or an element of it.
    bool written(std::size_t name) const
    {
        for (std::size_t k = name + 1; k < t_.size(); ++k) {
            if (!t_.is(k, t_.view(name)) || (t_.is(k - 1, "."))) continue;
            if (t_.is(k - 1, "+") && t_.is(k - 2, "+")) return true;
            if (t_.is(k - 1, "-") && t_.is(k - 2, "-")) return true;
            std::size_t after = k + 1;
            while (t_.is(after, "[")) after = t_.match(after) + 1;
            while (t_.is(after, ".") && t_.ident(after + 1)) after += 2;
            const char c = t_.punct(after);
            if (c == '=' && !t_.is(after + 1, "=")) return true;
            if (c && std::string_view("+-*/%").find(c) != std::string_view::npos &&
                (t_.is(after + 1, "=") || t_.punct(after + 1) == c)) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace

void check_temporaries(Unit& unit) { Temporaries(unit).run(); }

}  // namespace fxcompiler
