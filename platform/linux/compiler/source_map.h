// The text the back end parses, and the way back from its places to main.fx's.
// render() writes the passes' tokens keeping main.fx's lines (a token stands on its own line, at
// its own column where the text before it allows); the back end's messages then name a line and
// column of that text, and to_file() gives the place in main.fx.
#pragma once

#include <string>
#include <vector>

#include "tokens.h"

namespace fxcompiler {

struct Place {
    int line = 0;
    int column = 0;
};

class SourceMap {
public:
    // The tokens as text, and the map of it.
    static std::string render(const std::vector<Token>& tokens, SourceMap& map);

    // The place in main.fx of `line`:`column` of the rendered text; column 0 keeps no column.
    // A place inside a token a macro made is the macro's use.
    Place to_file(int line, int column) const;

    // Where the `index`-th rendered token stands in the rendered text.
    Place rendered(std::size_t index) const;

    // `length` characters were put in at `line`:`column` of the rendered text.
    void inserted(int line, int column, int length);

    int lines() const { return (int)line_first_.size() - 1; }

private:
    struct Span {
        int column;  // rendered
        int length;
        int file_line;
        int file_column;
        bool verbatim;
    };
    std::vector<Span> spans_;
    std::vector<std::size_t> line_first_;  // line_first_[l]: the first span of rendered line l (1-based)

    std::pair<std::size_t, std::size_t> line_spans(int line) const;
};

}  // namespace fxcompiler
