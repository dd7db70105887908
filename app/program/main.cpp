// The executable tessaly.
#include "Tessaly.h"

int main(int argc, char** argv) {
  return TessalyMain(argc, argv);
}

// The font configuration library keeps its caches until process exit; the
// leak checker of sanitizer builds must not count them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
