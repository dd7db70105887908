// Installation settings: registry hives, user environment, seavane.cfg,
// computer name, the running program, module start and finish.
#include "LANTools.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "OEMDEFS.h"
#include "environment_internal.h"
#include "inifile.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

TInstallation gInstallation;
std::optional<std::string> gComputerName;
std::optional<std::string> gProgramFile;
std::optional<std::vector<std::string>> gArguments;

std::string ReadHiveSetting(const std::string& hive, const std::string& subKey,
                            const std::string& name, const std::string& def) {
  inifile::TIniData data;
  if (!inifile::Load(hive, data)) return def;
  const std::string places[] = {"Software\\" + RegistryRootKey() + "\\" + subKey, subKey};
  for (const std::string& place : places) {
    auto v = inifile::Find(data, place, name);
    if (v && !v->empty()) return *v;
  }
  return def;
}

// Windows' expansion: %NAME% of a defined variable is replaced, anything else
// stays as written.
std::string ExpandEnvironmentRefs(const std::string& text) {
  std::string out;
  std::string::size_type pos = 0;
  while (pos < text.size()) {
    const auto open = text.find('%', pos);
    if (open == std::string::npos) break;
    const auto close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    out.append(text, pos, open - pos);
    const std::string name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value;
    if (!name.empty()) {
      if (const char* v = std::getenv(name.c_str())) {
        value = v;
      } else {
        const std::string lower = inifile::Lower(name);
        for (char** e = environ; e && *e && !value; ++e) {
          const char* eq = std::strchr(*e, '=');
          if (eq && inifile::Lower(std::string(static_cast<const char*>(*e), eq)) == lower)
            value = std::string(eq + 1);
        }
      }
    }
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      out += '%' + name;
      pos = close;  // the closing "%" may open the next reference
    }
  }
  out.append(text, pos, std::string::npos);
  return out;
}

std::string WithoutTrailingDelimiter(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool ParseDecimal(const std::string& text, int32_t& value) {
  const std::string t = inifile::Trim(text);
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (first != last && *first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && ptr == last && first != last;
}

}  // namespace

std::string EnvironmentOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string TruncateChars(const std::string& text, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars == maxChars) return text.substr(0, i);
    ++chars;
  }
  return text;
}

size_t CharCount(const std::string& text) {
  size_t chars = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++chars;
  return chars;
}

// ---------------------------------------------------------------------------

const TInstallation& Installation() {
  return gInstallation;
}
void SetStationNumber(int32_t station) {
  gInstallation.StationNumber = station;
}

const std::string& ProgramFile() {
  if (!gProgramFile) {
    std::error_code ec;
    gProgramFile = fs::read_symlink("/proc/self/exe", ec).string();
  }
  return *gProgramFile;
}

void SetProgramFile(const std::string& path) {
  gProgramFile = path;
}

std::string ProgramFolder() {
  return WithTrailingDelimiter(fs::path(ProgramFile()).parent_path().string());
}

const std::vector<std::string>& CommandLineArguments() {
  if (!gArguments) {
    std::vector<std::string> args;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(in, arg, '\0')) args.push_back(arg);
    if (!args.empty()) args.erase(args.begin());
    gArguments = std::move(args);
  }
  return *gArguments;
}

void SetCommandLineArguments(std::vector<std::string> arguments) {
  gArguments = std::move(arguments);
}

std::string UserHivePath() {
  return EnvironmentOr("SEAVANE_USER_HIVE", GetSpecialFolder(CSIDL_APPDATA) + "/registry/user.ini");
}

std::string MachineHivePath() {
  return EnvironmentOr("SEAVANE_MACHINE_HIVE", "/etc/registry/machine.ini");
}

std::string ReadUserSetting(const std::string& subKey, const std::string& name,
                            const std::string& def) {
  return ReadHiveSetting(UserHivePath(), subKey, name, def);
}

std::string ReadMachineSetting(const std::string& subKey, const std::string& name,
                               const std::string& def) {
  return ReadHiveSetting(MachineHivePath(), subKey, name, def);
}

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& file, const std::string& def) {
  inifile::TIniData data;
  if (!inifile::Load(file, data)) return def;
  auto v = inifile::Find(data, section, key);
  if (!v || v->empty()) return def;
  return TruncateChars(*v, 399);
}

std::string ReadUserEnvironment(const std::string& name) {
  inifile::TIniData data;
  if (!inifile::Load(UserHivePath(), data)) return {};
  auto v = inifile::Find(data, "Environment", name);
  if (!v) return {};
  return TruncateChars(ExpandEnvironmentRefs(*v), 254);
}

void WriteUserEnvironment(const std::string& name, const std::string& value) {
  inifile::WriteValue(UserHivePath(), "Environment", name, value);
}

bool PublishFolderVariables() {
  const std::pair<const char*, std::string> variables[] = {
      {"SeavaneClient", WithoutTrailingDelimiter(gInstallation.ClientFolder)},
      {"SeavaneData", WithoutTrailingDelimiter(gInstallation.DataFolder)}};
  bool written = false;
  for (const auto& [name, folder] : variables) {
    if (ReadUserEnvironment(name) == folder) continue;
    try {
      WriteUserEnvironment(name, folder);
      written = true;
    } catch (const Exception& e) {
      // Other programs then miss the folder; this one runs on regardless.
      std::cerr << e.Message() << '\n';
    }
  }
  // Windows announces the change to all top-level windows here; nothing on
  // Linux listens for such a broadcast, so the write is the whole effect.
  return written;
}

const std::string& LocalComputerName() {
  if (!gComputerName) {
    const std::string base = "System\\CurrentControlSet\\Control\\ComputerName\\";
    std::string name = ReadMachineSetting(base + "ActiveComputerName", "ComputerName", "");
    if (name.empty()) name = ReadMachineSetting(base + "ComputerName", "ComputerName", "");
    if (name.empty()) {
      char host[HOST_NAME_MAX + 1] = {};
      if (::gethostname(host, sizeof host - 1) == 0) name = host;
    }
    gComputerName = name;
  }
  return *gComputerName;
}

void ResolveInstallation() {
  TInstallation& s = gInstallation;
  s.ClientFolder.clear();
  s.DataFolder.clear();
  s.DBServer.clear();
  s.DBPort = 3306;
  const std::string& shortName = ShortCompanyName();

  s.DBServer = ReadUserSetting("", "DBServer", "");
  if (s.DBServer.empty()) s.DBServer = ReadMachineSetting("", "DBServer", "");
  if (s.DBServer.empty()) {
    s.DBServer = "localhost";
  } else if (s.DBServer.find(':') != std::string::npos) {
    int32_t port = 0;
    s.DBPort = ParseDecimal(DelimitedItem(2, s.DBServer, ':'), port) ? port : 3306;
    s.DBServer = DelimitedItem(1, s.DBServer, ':');
  }

  s.ClientFolder = ReadUserSetting("", "ClientFolder", "");
  if (s.ClientFolder.empty()) s.ClientFolder = ReadMachineSetting("", "ClientFolder", "");
  if (s.ClientFolder.empty())
    s.ClientFolder =
        WithTrailingDelimiter(ReadMachineSetting("SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                                 "ProgramFilesDir", "/opt")) +
        shortName;

  s.DataFolder = ReadUserSetting("", "DataFolder", "");
  if (s.DataFolder.empty()) s.DataFolder = ReadMachineSetting("", "DataFolder", "");
  if (s.DataFolder.empty()) {
    const std::string dataServer = ReadMachineSetting("", "DataServer", "");
    // The family's data share on that host, in the network path form.
    s.DataFolder = !dataServer.empty() ? "//" + dataServer + "/" + shortName + "$"
                                       : WithTrailingDelimiter(HomeFolder()) + shortName + "Data/";
  }

  bool standAlone = false;
  const std::string cfg = CaselessPath(ProgramFolder() + "seavane.cfg");
  if (FileExists(cfg)) {
    if (ReadIniValue("Config", "StandAlone", cfg, "0") != "1") {
      const std::string client = ReadIniValue("Config", "ClientFolder", cfg, "");
      const std::string data = ReadIniValue("Config", "DataFolder", cfg, "");
      if (!client.empty()) s.ClientFolder = client;
      if (!data.empty()) s.DataFolder = data;
    } else {
      standAlone = true;
      const fs::path programFolder = fs::path(ProgramFile()).parent_path();
      s.ClientFolder = WithTrailingDelimiter(programFolder.parent_path().string());
      s.DataFolder = s.ClientFolder;
    }
  }

  const std::string prefix = GetTempFolder() + "_" + shortName;
  int n = 1;
  auto firstFree = [&] {
    while (EntryExists(prefix + std::to_string(n))) ++n;
    return prefix + std::to_string(n);
  };
  s.WorkFolder = firstFree();

  s.ClientFolder = WithTrailingDelimiter(s.ClientFolder);
  s.DataFolder = WithTrailingDelimiter(s.DataFolder);
  s.WorkFolder = WithTrailingDelimiter(s.WorkFolder);

  if (!standAlone) PublishFolderVariables();

  // The work folder is ours alone and removed with its content at exit: it is
  // created exclusively, so a folder another process took meanwhile is never
  // shared, and is readable by this user only.
  std::string reason;
  if (EnsureFolder(GetTempFolder(), &reason)) {
    const std::string failed = s.WorkFolder;
    s.WorkFolder.clear();
    throw EFolderError("Unable to create directory \"" + failed + "\": " + reason);
  }
  for (;;) {
    const std::string folder = WithoutTrailingDelimiter(s.WorkFolder);
    if (::mkdir(folder.c_str(), 0700) == 0) break;
    if (errno != EEXIST) {
      const std::string failed = s.WorkFolder;
      s.WorkFolder.clear();  // not ours: never to be removed at finish
      throw EFolderError("Unable to create directory \"" + failed + "\": " + std::strerror(errno));
    }
    s.WorkFolder = WithTrailingDelimiter(firstFree());
  }

  s.DocumentsFolder = WithTrailingDelimiter(GetSpecialFolder(CSIDL_PERSONAL));
}

void StartLANTools() {
  ResetMessageClock();
  gComputerName.reset();
  ResetListDelimiter();
  ApplyTimeFormat();
  ResolveInstallation();
  gInstallation.StationNumber = 0;
}

void FinishLANTools() {
  if (!gInstallation.WorkFolder.empty() && FolderExists(gInstallation.WorkFolder))
    RemoveTree(gInstallation.WorkFolder, false);
  gInstallation = TInstallation();
  gComputerName.reset();
}
