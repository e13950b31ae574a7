// fxview-hlsl: the process the compiler runs its back end in, started by the viewer's first
// compile and talking to it on descriptor 3 until the viewer goes away.
#include <cstdlib>

#include "compiler.h"

// argv[1]: the viewer's pid.
int main(int argc, char** argv) { return fxcompiler::serve_compiles(3, argc > 1 ? std::atoi(argv[1]) : 0); }
