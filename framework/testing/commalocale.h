// A C locale whose numbers print with a decimal comma, for tests proving that
// conversions do not follow the process locale (a GUI toolkit may switch
// LC_NUMERIC to the user's one).
#pragma once

#include <stdlib.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

/// Switches LC_NUMERIC to de_DE.UTF-8 for the life of the object. A machine
/// without that locale gets one compiled with localedef into a private
/// folder. Active() tells whether numbers now print with a comma; when not,
/// SkipReason() says why.
class TCommaLocale {
 public:
  TCommaLocale() {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    FSaved = old ? old : "C";
    bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    char folder[] = "/tmp/commalocaleXXXXXX";
    if (!switched && mkdtemp(folder)) {
      FMade = folder;
      std::string cmd = "localedef -i de_DE -f UTF-8 " + FMade + "/de_DE.UTF-8 >/dev/null 2>&1";
      if (std::system(cmd.c_str()) == 0) {
        setenv("LOCPATH", FMade.c_str(), 1);
        switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
      }
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    FActive = switched && std::string(probe) == "1,5";
  }
  ~TCommaLocale() {
    std::setlocale(LC_NUMERIC, FSaved.c_str());
    if (!FMade.empty()) {
      unsetenv("LOCPATH");
      std::error_code ec;
      std::filesystem::remove_all(FMade, ec);
    }
  }
  TCommaLocale(const TCommaLocale&) = delete;
  TCommaLocale& operator=(const TCommaLocale&) = delete;

  bool Active() const { return FActive; }
  static const char* SkipReason() {
    return "no decimal-comma locale: de_DE.UTF-8 is not installed and localedef could not "
           "build it";
  }

 private:
  std::string FSaved, FMade;
  bool FActive = false;
};
