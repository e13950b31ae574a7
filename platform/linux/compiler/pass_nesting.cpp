// Pass: brackets, statements and their nesting as the back end survives them.
// Reads: every bracket and statement. Changes: nothing.
// Refuses: brackets nested more than 256 deep, statements nested more than 256 deep with or without
//   braces (`for (...) for (...) ...`, long `else if` chains), statements of more than 8,192 tokens
//   (the HLSL front end, and SPIRV-Cross after it, recurse once per level and per operator and
//   overflow their stacks a few thousand deep); a '[' that a ')', '}' or the end of the file closes
//   ("float n(float a[2)"), on which the front end crashes.
#include "compile_limits.h"
#include "passes.h"

namespace fxcompiler {

namespace {

// Statements inside statements: each if, for, while, do, switch and else opens a level until its
// body ends, a body in braces or a single statement. An else nests in the if before it, so a chain
// of else ifs goes one level deeper at each link, as the parser does (else if is one level).
class Statements {
public:
    explicit Statements(Unit& unit) : unit_(unit), t_(unit.tokens) {}

    void run()
    {
        for (std::size_t i = 0; i < t_.size() && unit_.errors.empty(); ++i) {
            const char c = t_.punct(i);
            if (c == '{' || c == '(' || c == '[') {
                ++brackets_;
                if (c == '{' && !frames_.empty() && frames_.back().awaiting_body) frames_.back().block = true;
            } else if (c == '}' || c == ')' || c == ']') {
                --brackets_;
                if (c == '}' && !frames_.empty() && frames_.back().block && brackets_ == frames_.back().brackets) {
                    end_statement();
                }
            } else if (c == ';') {
                if (!frames_.empty() && !frames_.back().block && brackets_ == frames_.back().brackets) end_statement();
            } else if (t_.ident(i)) {
                const std::size_t open = frames_.size();
                const std::size_t last = keyword(i);
                if (frames_.size() == open && !frames_.empty()) frames_.back().awaiting_body = false;
                i = last;
                continue;
            }
            if (!frames_.empty() && c != '{') frames_.back().awaiting_body = false;
        }
    }

private:
    struct Frame {
        int level;
        int brackets;  // where its body runs
        bool is_if;
        bool is_do;
        bool block = false;  // its body is in braces
        bool awaiting_body = true;
    };

    Unit& unit_;
    const TokenList& t_;
    int brackets_ = 0;
    std::vector<Frame> frames_;
    int last_if_level_ = -1;  // of the if statement that ended just now, for an else after it
    bool after_do_ = false;   // a do's body ended: its "while (...);" follows

    int level() const
    {
        return frames_.empty() ? brackets_ : frames_.back().level + (brackets_ - frames_.back().brackets);
    }

    void end_statement()
    {
        last_if_level_ = -1;
        after_do_ = false;
        while (!frames_.empty() && brackets_ == frames_.back().brackets) {
            const Frame f = frames_.back();
            frames_.pop_back();
            if (f.is_if && last_if_level_ < 0) last_if_level_ = f.level;
            if (f.is_do) {
                after_do_ = true;
                return;
            }
            if (!frames_.empty() && frames_.back().block) break;
        }
    }

    // A statement keyword at `i`; returns the index of the last token it covers.
    std::size_t keyword(std::size_t i)
    {
        const std::string_view w = t_.view(i);
        const bool header = one_of(w, {"if", "for", "while", "switch"});
        if (!header && w != "do" && w != "else") return i;
        if (w == "while" && after_do_) {  // do { } while (...);
            after_do_ = false;
            return t_.is(i + 1, "(") ? t_.match(i + 1) : i;
        }
        if (w == "if" && i > 0 && t_.is(i - 1, "else") && !frames_.empty()) {  // "else if": one level
            frames_.back().is_if = true;
            return t_.is(i + 1, "(") ? t_.match(i + 1) : i;
        }
        int level = (w == "else" && last_if_level_ >= 0 ? last_if_level_ : this->level()) + 1;
        last_if_level_ = -1;
        after_do_ = false;
        if (level > limits::MAX_NESTING) {
            unit_.error(t_[i],
                        "'" + std::string(w) + "' : statements nested more than " +
                            std::to_string(limits::MAX_NESTING) + " levels deep");
            return t_.size();
        }
        if (!frames_.empty()) frames_.back().awaiting_body = false;
        frames_.push_back({level, brackets_, w == "if", w == "do"});
        if (header && t_.is(i + 1, "(")) return t_.match(i + 1);  // the header's own ';' are no statements
        return i;
    }
};

}  // namespace

void check_nesting(Unit& unit)
{
    const TokenList& t = unit.tokens;
    int depth = 0;
    std::size_t statement_start = 0;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t.punct(i);
        if (!c) continue;
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(i);
            if (++depth > limits::MAX_NESTING) {
                unit.error(t[i],
                           "'" + std::string(1, c) + "' : nested more than " + std::to_string(limits::MAX_NESTING) +
                               " levels deep");
                return;
            }
        } else if (c == ')' || c == ']' || c == '}') {
            --depth;
            if (!open.empty()) {
                if (t.is(open.back(), "[") && c != ']') {
                    unit.error(t[open.back()], "'[' : not closed with ']'");
                    return;
                }
                open.pop_back();
            }
        }
        if (c == ';' || c == '{' || c == '}') {
            statement_start = i + 1;
        } else if (i - statement_start > limits::MAX_STATEMENT_TOKENS) {
            unit.error(
                t[statement_start],
                "statement longer than " + std::to_string(limits::MAX_STATEMENT_TOKENS) + " tokens; split it up");
            return;
        }
    }
    for (std::size_t at : open) {
        if (t.is(at, "[")) {
            unit.error(t[at], "'[' : not closed with ']'");
            return;
        }
    }
    Statements(unit).run();
}

}  // namespace fxcompiler
