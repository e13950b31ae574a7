// Pass: the file's declarations.
// Reads: top-level declarations, struct and cbuffer members, function parameters.
// Changes: nothing; finds the globals in declaration order, with their explicit registers
//   (register(c3), register(ps_3_0, s1)), for the register assignment of the back end.
// Refuses, with the place (the back end crashes on each, or Direct3D 9 refuses it too):
//   - a global declared twice: "'b' : redefinition";
//   - a name right after a complete declarator ("float4 a b;"): the back end reads it as one more
//     declarator;
//   - in/out qualifiers outside a parameter list;
//   - constant and sampler registers beyond ps_3_0's c0-c223 and s0-s15;
//   - a const array sized by a name that is no variable, or by a negative number;
//   - more than 65,533 globals.
// Notes, for the entry point only: a parameter without a name (the back end cannot take such a
//   function as the entry point).
#include <climits>
#include <set>

#include "compile_limits.h"
#include "hlsl_words.h"
#include "passes.h"
#include "ps30.h"

namespace fxcompiler {

namespace {

namespace ps30 = fxplatform::ps30;

class Declarations {
public:
    explicit Declarations(Unit& unit) : unit_(unit), t_(unit.tokens) {}

    void run()
    {
        std::size_t i = 0;
        while (i < t_.size() && unit_.errors.empty()) i = statement(i);
        if (unit_.errors.empty() && unit_.globals.size() > limits::MAX_GLOBALS) {
            const GlobalDecl& g = unit_.globals[limits::MAX_GLOBALS];
            unit_.errors.push_back({g.line, g.column, true,
                                    "'" + g.name + "' : more than " + std::to_string(limits::MAX_GLOBALS) +
                                        " global variables, the most a shader can declare here"});
        }
    }

private:
    Unit& unit_;
    const TokenList& t_;
    std::set<std::string_view> names_;  // every global variable and constant-buffer member

    static std::string name_of(const Token& t) { return "'" + std::string(t.text) + "'"; }

    // The back end crashes on a global declared again with another type; Direct3D's compiler
    // refuses any second declaration, and so do we.
    void declare(std::size_t at)
    {
        if (!names_.insert(t_.view(at)).second) unit_.error(t_[at], name_of(t_[at]) + " : redefinition");
    }

    // Declarators from `k` to the next ';' (or `stop`): "a, b[2] : packoffset(c0), c = f(1) + 2".
    // The back end reads a name right after a complete declarator as one more declarator, as if a
    // ',' stood before it, and may so meet the redefinition crash unseen: such a name is an error.
    std::size_t declarators(std::size_t k, std::size_t stop, bool expect_name)
    {
        bool after_operand = !expect_name;  // a name cannot follow the end of an operand
        for (; k < stop && !t_.is(k, ";"); ++k) {
            if (t_.ident(k)) {
                if (expect_name) {
                    declare(k);
                    expect_name = false;
                } else if (after_operand) {
                    unit_.error(t_[k], name_of(t_[k]) + " : unexpected name; is a ',' or ';' missing before it?");
                    return stop;
                }
                after_operand = true;
            } else if (t_.is(k, "(") || t_.is(k, "[") || t_.is(k, "{")) {
                // A call or an index ends an operand; a cast's parentheses do not.
                after_operand = !t_.is(k, "(") || (k > 0 && (t_.ident(k - 1) || t_.is(k - 1, "]")));
                k = t_.match(k);
            } else {
                after_operand = t_[k].kind == Kind::Number;
                if (t_.is(k, ",")) expect_name = true;
            }
        }
        return k;
    }

    // The names a cbuffer's members or a struct's instances ("struct S { ... } a, b;") declare.
    void block_names(std::size_t first, std::size_t end, bool members)
    {
        std::size_t open = first;
        while (open < end && !t_.is(open, "{")) ++open;
        if (open >= end) return;
        const std::size_t close = t_.match(open);
        if (!members) {
            declarators(close + 1, end, true);
            return;
        }
        for (std::size_t k = open + 1; k < close;) {
            while (k < close && t_.ident(k) && has_role(t_.view(k), MODIFIER)) ++k;
            if (k >= close || !t_.ident(k)) {
                ++k;
                continue;
            }
            ++k;  // the type
            if (t_.is(k, "<")) k = t_.match(k) + 1;
            k = declarators(k, close, true) + 1;
        }
    }

    // A struct's or a cbuffer's members share one SPIR-V instruction, as the globals do: at most
    // 65,533, or the back end writes a broken module.
    void count_members(std::size_t first, std::size_t end)
    {
        std::size_t open = first;
        while (open < end && !t_.is(open, "{")) ++open;
        if (open >= end) return;
        const std::size_t close = t_.match(open);
        std::size_t members = 0;
        for (std::size_t k = open + 1; k < close; ++k) {  // one member declaration a turn
            while (k < close && t_.ident(k) && has_role(t_.view(k), MODIFIER | INTERPOLATION)) ++k;
            if (k >= close || !t_.ident(k)) continue;
            if (t_.is(++k, "<")) k = t_.match(k) + 1;  // the type
            for (bool name = true; k < close && !t_.is(k, ";"); ++k) {
                if (t_.ident(k) && name && ++members > limits::MAX_GLOBALS) {
                    unit_.error(t_[k],
                                name_of(t_[k]) + " : more than " + std::to_string(limits::MAX_GLOBALS) +
                                    " members in one struct or cbuffer, the most a shader can declare here");
                    return;
                }
                name = t_.is(k, ",");
                if (t_.is(k, "(") || t_.is(k, "[") || t_.is(k, "{")) k = t_.match(k);
            }
        }
    }

    // The first parameter without a name in the definition of the function whose name is at `at`.
    void parameters(std::size_t at)
    {
        const std::size_t open = at + 1, close = t_.match(open);
        int number = 1;
        for (std::size_t k = open + 1; k < close; ++number) {
            while (k < close && t_.ident(k) && has_role(t_.view(k), MODIFIER | PARAMETER_ONLY | INTERPOLATION)) ++k;
            if (k >= close || !t_.ident(k)) return;  // not a parameter list this scan understands
            const std::size_t type = k++;
            if (t_.is(k, "<")) k = t_.match(k) + 1;
            const bool lone_void = t_.is(type, "void") && k == close && number == 1;
            if (!t_.ident(k) && !lone_void) {
                unit_.unnamed_parameters.push_back({t_.str(at),
                                                    {t_[type].line, t_[type].column, true,
                                                     name_of(t_[at]) + " : parameter " + std::to_string(number) +
                                                         " has no name; an entry point's parameters need names"}});
                return;
            }
            while (k < close && !t_.is(k, ",")) {
                if (t_.is(k, "(") || t_.is(k, "[") || t_.is(k, "{")) k = t_.match(k);
                ++k;
            }
            ++k;
        }
    }

    // The back end crashes on a const array whose size names an unknown variable ("const float
    // w[M - 4]") and throws, leaking, on a negative literal size: both are refused first. Inside a
    // function `local` holds every name its text has shown so far.
    void array_size(std::size_t open, const std::set<std::string_view>* local = nullptr)
    {
        const std::size_t close = t_.match(open);
        if (t_.is(open + 1, "-") && open + 2 < close && t_[open + 2].kind == Kind::Number) {
            unit_.error(t_[open], "'[' : array size must be a positive integer");
            return;
        }
        for (std::size_t k = open + 1; k < close; ++k) {
            if (!t_.ident(k) || t_.is(k + 1, "(") || (k > 0 && t_.is(k - 1, "."))) continue;
            const bool known = names_.count(t_.view(k)) || (local && local->count(t_.view(k))) ||
                one_of(t_.view(k), {"int", "uint", "float", "half", "bool", "double"});
            if (known) continue;
            unit_.error(t_[k], name_of(t_[k]) + " : unknown variable");
            return;
        }
    }

    // The same crash inside a function body, where it needs a const array. A name that is no global
    // and has not appeared in the function's text before cannot be declared; names declared in a
    // scope already closed get past this check, and the crash then costs only the compile.
    void function_body(std::size_t first, std::size_t end)
    {
        std::set<std::string_view> seen;
        for (std::size_t k = first; k < end; ++k) {
            if (t_.is(k, "const") && t_.ident(k + 1) && t_.ident(k + 2) && t_.is(k + 3, "[")) array_size(k + 3, &seen);
            if (t_.ident(k)) seen.insert(t_.view(k));
        }
    }

    // "register ( [profile ,] c3 )" at `at` (the "register" token).
    void read_register(std::size_t at, GlobalDecl& decl)
    {
        if (!t_.is(at + 1, "(")) return;
        const std::size_t close = t_.match(at + 1);
        for (std::size_t k = close; k > at + 1; --k) {
            if (!t_.ident(k)) continue;
            const std::string_view r = t_.view(k);
            std::size_t digits = 1;
            while (digits < r.size() && std::isdigit((unsigned char)r[digits])) ++digits;
            if (r.size() < 2 || digits != r.size()) return;
            decl.reg_class = (char)std::tolower((unsigned char)r[0]);
            std::uint64_t index = 0;
            read_integer(r.substr(1), index);
            decl.reg_line = t_[k].line;
            decl.reg_column = t_[k].column;
            // i# and b# are refused whatever their index.
            const bool constant = decl.reg_class == 'c', sampler = decl.reg_class == 's';
            const std::uint64_t count = constant ? ps30::FLOAT_CONSTANTS : ps30::SAMPLERS;
            if ((constant || sampler) && index >= count) {
                const std::string last = std::string(1, decl.reg_class) + std::to_string(count - 1);
                unit_.error(t_[k],
                            "'" + decl.name + "' : " + (constant ? "constant" : "sampler") + " register " +
                                std::string(r) + " is beyond ps_3_0's " + decl.reg_class + "0 to " + last);
                index = 0;
            }
            decl.reg_index = (int)std::min<std::uint64_t>(index, INT_MAX);
            return;
        }
    }

    // One top-level statement from `first`; returns where the next begins.
    std::size_t statement(std::size_t first)
    {
        if (t_[first].kind == Kind::Directive || !t_.ident(first)) return first + 1;
        const std::string_view head = t_.view(first);
        // Find where this statement ends and whether it is a function.
        bool function = false;
        const bool skip = has_role(head, BLOCK);
        const bool buffer = one_of(head, {"cbuffer", "tbuffer"});  // ends at its '}': no ';' needed
        bool decided = false;
        std::size_t j = first;
        for (; j < t_.size(); ++j) {
            if (t_.is(j, ";")) break;
            if (!decided && (t_.is(j, "=") || t_.is(j, ":") || t_.is(j, "["))) decided = true;
            if (t_.is(j, "(")) {
                if (!decided) function = decided = true;
                j = t_.match(j);
            } else if (t_.is(j, "[")) {
                j = t_.match(j);
            } else if (t_.is(j, "{")) {
                j = t_.match(j);
                if (function || buffer || (!skip && !decided)) break;
            }
        }
        const std::size_t end = j;
        // The back end crashes on some top-level declarations led by a parameter qualifier.
        for (std::size_t k = first; k < end && t_.ident(k); ++k) {
            if (has_role(t_.view(k), PARAMETER_ONLY)) {
                unit_.error(t_[k], name_of(t_[k]) + " : in/out qualifiers are only valid on parameters");
                return t_.size();
            }
            if (!has_role(t_.view(k), MODIFIER)) break;
        }
        if (buffer || head == "struct") {
            count_members(first, end);
            block_names(first, end, buffer);
        }
        if (function) {
            std::size_t params = first;
            while (params < end && !t_.is(params, "(")) ++params;
            // Only a semantic may stand between the parameters and the body or the ';'.
            std::size_t body = t_.match(params) + 1;
            while (body < end && !t_.is(body, "{")) ++body;
            declarators(t_.match(params) + 1, body, false);
            if (!t_.is(end, ";")) {
                if (params > first && t_.ident(params - 1)) parameters(params - 1);
                function_body(first, end);
            }
        }
        if (function || skip) return end + 1;

        bool is_static = false;
        std::size_t k = first;
        while (t_.ident(k) && has_role(t_.view(k), MODIFIER)) {
            if (t_.is(k, "static")) is_static = true;
            ++k;
        }
        if (!t_.ident(k)) return end + 1;
        const std::string type = t_.str(k++);
        if (t_.is(k, "<")) k = t_.match(k) + 1;
        // "unsigned int" is the back end's to refuse.
        if (type != "unsigned") declarators(k, end, true);
        while (k < end && t_.ident(k)) {
            GlobalDecl decl;
            decl.name = t_.str(k);
            decl.type = type;
            decl.line = t_[k].line;
            decl.column = t_[k].column;
            ++k;
            while (t_.is(k, "[")) {
                array_size(k);
                k = t_.match(k) + 1;
            }
            while (t_.is(k, ":")) {
                ++k;
                if (t_.is(k, "register")) read_register(k, decl);
                if (t_.is(k + 1, "(")) k = t_.match(k + 1) + 1;
                else ++k;
            }
            if (t_.is(k, "=")) {
                while (k < end && !t_.is(k, ",")) {
                    if (t_.is(k, "(") || t_.is(k, "[") || t_.is(k, "{")) k = t_.match(k);
                    ++k;
                }
            }
            if (!is_static) unit_.globals.push_back(decl);
            if (!t_.is(k, ",")) break;
            ++k;
        }
        return end + 1;
    }
};

}  // namespace

void scan_declarations(Unit& unit) { Declarations(unit).run(); }

}  // namespace fxcompiler
