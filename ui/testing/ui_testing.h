// Test support for widget tests: one QApplication for the test process (on
// the offscreen platform under CTest).
#pragma once

/// Creates the process's QApplication unless one exists.
void EnsureTestApplication();
