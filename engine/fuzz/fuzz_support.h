// Shared by the engine's fuzz targets: stopping on a finding, and the rule
// that a failed call leaves its code and a text as the thread's last error.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sdbengine.h"

namespace fuzz {

/// The target's name, printed before every finding.
extern const char* const kTarget;

[[noreturn]] inline void Die(const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", kTarget, why.c_str());
  std::abort();
}

/// The last error's text after `call` answered `rc` (not success); a finding
/// unless the last error holds that code and some text.
inline std::string LastErrorText(uint32_t rc, const char* call) {
  uint32_t code = 0;
  char text[1024];
  uint16_t len = sizeof text;
  uint32_t got = SdbGetLastError(&code, text, &len);
  if ((got != SDB_SUCCESS && got != SDB_E_INSUFFICIENT_BUFFER) || code != rc || len == 0)
    Die(std::string(call) + " failed with " + std::to_string(rc) + " but the last error is " +
        std::to_string(code) + " with " + std::to_string(len) + " bytes of text");
  return std::string(text, std::min<size_t>(len, sizeof text));  // a longer text is cut
}

}  // namespace fuzz
