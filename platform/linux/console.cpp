// Console output: the program's messages reach a pipe line by line, as they would a console.
#include <cstdio>

namespace {

struct LineBufferedStdout {
    LineBufferedStdout() { std::setvbuf(stdout, nullptr, _IOLBF, 0); }
};

const LineBufferedStdout line_buffered_stdout;

}  // namespace
