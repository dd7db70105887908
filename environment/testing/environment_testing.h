// Test support: a throw-away installation environment (HOME, TMPDIR, both
// registry hives and a program folder in a fresh temporary folder).
#pragma once

#include <map>
#include <optional>
#include <string>

/// Creates <tmp>/tessaly-env-XXXXXX with home/, tmp/, hives/ and
/// apps/bin/, points HOME, TMPDIR, SEAVANE_USER_HIVE and SEAVANE_MACHINE_HIVE
/// there (XDG_CONFIG_HOME unset), and names apps/bin/tessaly the program.
/// The destructor puts the environment back and removes the folder.
class TTempEnvironment {
 public:
  TTempEnvironment();
  ~TTempEnvironment();
  TTempEnvironment(const TTempEnvironment&) = delete;
  TTempEnvironment& operator=(const TTempEnvironment&) = delete;

  /// The temporary folder, ending with "/".
  const std::string& Root() const { return FRoot; }
  std::string Home() const { return FRoot + "home/"; }
  std::string Temp() const { return FRoot + "tmp/"; }
  std::string UserHive() const { return FRoot + "hives/user.ini"; }
  std::string MachineHive() const { return FRoot + "hives/machine.ini"; }
  std::string ProgramFolder() const { return FRoot + "apps/bin/"; }

  /// Writes a file (creating its folders); a relative path is under Root().
  void WriteFile(const std::string& path, const std::string& text) const;
  /// Reads a whole file; empty when missing.
  static std::string ReadFile(const std::string& path);
  /// Sets (or with nullopt unsets) a process environment variable; the
  /// destructor restores it.
  void SetEnv(const std::string& name, const std::optional<std::string>& value);

 private:
  std::string FRoot;
  std::map<std::string, std::optional<std::string>> FSaved;
};
