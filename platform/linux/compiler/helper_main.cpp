// fxview-hlsl: the process the compiler runs its back end in, started by the viewer's first
// compile and talking to it on descriptor 3 until the viewer goes away.
#include "compiler.h"

int main() { return fxcompiler::serve_compiles(3); }
