#include "environment_testing.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "LANTools.h"

namespace fs = std::filesystem;

TTempEnvironment::TTempEnvironment() {
  std::string pattern = (fs::temp_directory_path() / "tessaly-env-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  FRoot = pattern + "/";
  for (const char* sub : {"home", "tmp", "hives", "apps/bin"}) fs::create_directories(FRoot + sub);
  SetEnv("HOME", Home().substr(0, Home().size() - 1));
  SetEnv("TMPDIR", Temp());
  SetEnv("SEAVANE_USER_HIVE", UserHive());
  SetEnv("SEAVANE_MACHINE_HIVE", MachineHive());
  SetEnv("XDG_CONFIG_HOME", std::nullopt);
  SetProgramFile(ProgramFolder() + "tessaly");
  SetCommandLineArguments({});
}

TTempEnvironment::~TTempEnvironment() {
  for (const auto& [name, value] : FSaved) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  std::error_code ec;
  // Tests may leave write-protected entries behind.
  for (auto it = fs::recursive_directory_iterator(FRoot, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(FRoot, ec);
}

void TTempEnvironment::WriteFile(const std::string& path, const std::string& text) const {
  const fs::path p = path.empty() || path.front() != '/' ? fs::path(FRoot + path) : fs::path(path);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string TTempEnvironment::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void TTempEnvironment::SetEnv(const std::string& name, const std::optional<std::string>& value) {
  if (!FSaved.count(name)) {
    const char* old = ::getenv(name.c_str());
    FSaved[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}
