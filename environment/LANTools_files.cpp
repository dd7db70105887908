// Folders and files: temporary and special folders, folder creation, tree
// removal, file deletion with retries, throttled message processing.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "LANTools.h"
#include "environment_internal.h"
#include "inifile.h"

namespace fs = std::filesystem;

namespace {

// Set at module start and after every processing.
std::chrono::steady_clock::time_point gLastMessageProcessing;

// The XDG user directory named `key` (e.g. XDG_DOCUMENTS_DIR), else fallback.
std::string XdgUserDir(const std::string& key, const std::string& fallback) {
  const std::string home = HomeFolder();
  const std::string file = GetSpecialFolder(CSIDL_APPDATA) + "/user-dirs.dirs";
  inifile::TIniData data;
  if (inifile::Load(file, data)) {
    if (auto v = inifile::Find(data, "", key); v && !v->empty()) {
      std::string path = *v;
      if (path.rfind("$HOME", 0) == 0) path = home + path.substr(5);
      // Only absolute paths count; a relative one is not meant to be used.
      if (!path.empty() && path.front() == '/') {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
      }
    }
  }
  return fallback;
}

// The path without "." and ".." and duplicate or trailing slashes.
std::string LexicalForm(const std::string& path) {
  std::string normal = fs::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

// Removes everything below folder. Links are removed, never followed.
void RemoveTreeEntries(const fs::path& folder) {
  std::error_code ec;
  // Entries are removed while listing, so the listing is taken first.
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(*it);
  for (const auto& entry : entries) {
    const fs::path p = entry.path();
    if (entry.is_symlink(ec)) {
      fs::remove(p, ec);  // the link only, never what it points to
    } else if (entry.is_directory(ec)) {
      // Entries of a write-protected folder cannot be removed otherwise.
      fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
      RemoveTreeEntries(p);
      fs::remove(p, ec);
    } else {
      KillFile(p.string());
    }
  }
}

}  // namespace

void ResetMessageClock() {
  gLastMessageProcessing = std::chrono::steady_clock::now();
}

bool EntryExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string GetTempFolder() {
  return WithTrailingDelimiter(EnvironmentOr("TMPDIR", "/tmp"));
}

std::string GetSpecialFolder(int folder) {
  const std::string home = HomeFolder();
  switch (folder) {
    case CSIDL_PERSONAL:
      return XdgUserDir("XDG_DOCUMENTS_DIR", home + "/Documents");
    case CSIDL_DESKTOPDIRECTORY:
      return XdgUserDir("XDG_DESKTOP_DIR", home + "/Desktop");
    case CSIDL_MYMUSIC:
      return XdgUserDir("XDG_MUSIC_DIR", home + "/Music");
    case CSIDL_MYVIDEO:
      return XdgUserDir("XDG_VIDEOS_DIR", home + "/Videos");
    case CSIDL_MYPICTURES:
      return XdgUserDir("XDG_PICTURES_DIR", home + "/Pictures");
    case CSIDL_APPDATA:
      return EnvironmentOr("XDG_CONFIG_HOME", home + "/.config");
    case CSIDL_LOCAL_APPDATA:
      return EnvironmentOr("XDG_DATA_HOME", home + "/.local/share");
    case CSIDL_PROFILE:
      return home;
    default:
      return {};
  }
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  const auto st = fs::status(path, ec);
  return fs::exists(st) && !fs::is_directory(st);
}

std::string WithTrailingDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + "/";
}

bool EnsureFolder(const std::string& path, std::string* reason) {
  if (path.empty()) throw EFolderError("The path format is not supported");
  std::error_code ec;
  fs::create_directories(path, ec);
  if (FolderExists(path)) return false;
  if (reason) *reason = ec ? ec.message() : "a file of that name is in the way";
  return true;
}

void RemoveTree(const std::string& path, bool keepRoot) {
  // A path that is short, or that names the root folder in a longer
  // spelling ("/./.", "////"), would take far too much with it.
  const std::string normal = LexicalForm(path);
  if (CharCount(path) < 5 || CharCount(normal) < 5) {
    EnvironmentShowError("",
                         "Directory removal aborted. Path \"" + path +
                             "\" doesn't match the 5 characters minimum limit.",
                         0);
    return;
  }
  std::error_code ec;
  // Without a trailing "/" a link to a folder is seen as the link itself.
  if (!fs::is_directory(fs::symlink_status(normal, ec))) return;
  RemoveTreeEntries(normal);
  if (!keepRoot) fs::remove(normal, ec);
}

void KillFile(const std::string& path) {
  std::error_code ec;
  const auto st = fs::symlink_status(path, ec);
  if (!fs::exists(st) || fs::is_directory(st)) return;
  if (!fs::is_symlink(st) && (st.permissions() & fs::perms::owner_write) == fs::perms::none)
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    ::unlink(path.c_str());
    ProcessMessagesThrottled(500);
    if (!EntryExists(path)) return;
    // More than 3 whole seconds: the fourth second has begun.
    const auto waited = std::chrono::steady_clock::now() - start;
    if (std::chrono::duration_cast<std::chrono::seconds>(waited).count() > 3) {
      EnvironmentShowError("KillFile", "Couldn't delete file \"" + path + "\"!", 11);
      return;
    }
    // A short pause instead of spinning: the holder needs the processor.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void ProcessMessagesThrottled(int ms) {
  const auto now = std::chrono::steady_clock::now();
  if (now <= gLastMessageProcessing + std::chrono::milliseconds(ms)) return;
  ProcessMessagesNow();
  gLastMessageProcessing = std::chrono::steady_clock::now();
}

std::string CaselessPath(const std::string& path) {
  if (path.empty()) return path;
  const bool trailing = path.back() == '/';
  fs::path result;
  std::error_code ec;
  for (const fs::path& part : fs::path(path)) {
    const std::string name = part.string();
    if (name.empty()) continue;
    if (name == "/" || name == "." || name == ".." ||
        fs::exists(fs::symlink_status(result / part, ec))) {
      result /= part;
      continue;
    }
    const std::string wanted = inifile::Lower(name);
    fs::path match = part;
    const fs::path folder = result.empty() ? fs::path(".") : result;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (inifile::Lower(it->path().filename().string()) == wanted) {
        match = it->path().filename();
        break;
      }
    }
    result /= match;
  }
  std::string out = result.string();
  if (trailing) out = WithTrailingDelimiter(out);
  return out;
}
