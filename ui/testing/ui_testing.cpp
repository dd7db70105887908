#include "ui_testing.h"

#include <QApplication>

void EnsureTestApplication() {
  static int argc = 1;
  static char name[] = "tessaly_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = nullptr;
  if (!QCoreApplication::instance()) app = new QApplication(argc, argv);
  (void)app;
}

// The font configuration library keeps its caches until process exit; the
// leak checker of sanitizer builds must not count them. Linked into every
// widget test through EnsureTestApplication.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
