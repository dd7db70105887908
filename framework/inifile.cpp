// Our own INI reading: the packaged INI library truncates section names to 49
// characters and lines to 199, and the registry key paths and values the
// program reads are longer than that.
#include "inifile.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "exceptions.h"

namespace inifile {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    pos = end + 1;
  }
  return lines;
}

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buf;
  buf << in.rdbuf();
  text = buf.str();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return true;
}

// How a section name is compared: case aside and, for registry key paths,
// doubled, leading and trailing backslashes aside ([Software\Seavane\] and
// [Software\Seavane] are one key).
std::string SectionKey(const std::string& name) {
  std::string key;
  for (char c : Lower(Trim(name))) {
    if (c == '\\' && (key.empty() || key.back() == '\\')) continue;
    key += c;
  }
  if (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

// "[name]" -> name; nullopt for any other line.
std::optional<std::string> SectionOf(const std::string& trimmed) {
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const auto close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

bool IsComment(const std::string& trimmed) {
  return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

std::string Unquote(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

bool Load(const std::string& path, TIniData& data) {
  data.clear();
  std::string text;
  if (!ReadFile(path, text)) return false;
  std::string section;  // names before any section header belong to ""
  for (const std::string& raw : SplitLines(text)) {
    const std::string line = Trim(raw);
    if (line.empty() || IsComment(line)) continue;
    if (auto s = SectionOf(line)) {
      section = SectionKey(*s);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = Lower(Trim(line.substr(0, eq)));
    if (name.empty()) continue;
    data[section].emplace(name, Unquote(Trim(line.substr(eq + 1))));
  }
  return true;
}

std::optional<std::string> Find(const TIniData& data, const std::string& section,
                                const std::string& name) {
  const auto s = data.find(SectionKey(section));
  if (s == data.end()) return std::nullopt;
  const auto n = s->second.find(Lower(Trim(name)));
  if (n == s->second.end()) return std::nullopt;
  return n->second;
}

void WriteValue(const std::string& path, const std::string& section, const std::string& name,
                const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos)
    throw Exception("The value of \"" + name + "\" holds a line break and cannot be stored in \"" +
                    path + "\".");
  // Quotes keep leading and trailing blanks and a value that is itself quoted.
  std::string stored = value;
  if (stored != Trim(stored) ||
      (stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
       stored.back() == stored.front()))
    stored = "\"" + stored + "\"";
  const std::string entry = name + "=" + stored;

  namespace fs = std::filesystem;
  std::error_code ec;
  std::string text;
  std::vector<std::string> lines;
  if (ReadFile(path, text))
    lines = SplitLines(text);
  else if (fs::exists(path, ec) || ec)
    // Replacing a file that could not be read would lose all its other values.
    throw Exception("Couldn't read \"" + path + "\".");

  const std::string wantSection = SectionKey(section);
  const std::string wantName = Lower(Trim(name));
  std::string current;
  bool sectionSeen = wantSection.empty();  // the top needs no header
  bool written = false;
  std::optional<size_t> lastOfSection;  // where to append a new name
  if (wantSection.empty()) lastOfSection = static_cast<size_t>(-1);
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    const std::string line = Trim(lines[i]);
    if (auto s = SectionOf(line)) {
      current = SectionKey(*s);
      if (current == wantSection) {
        sectionSeen = true;
        lastOfSection = i;
      }
      continue;
    }
    if (current != wantSection) continue;
    if (!line.empty()) lastOfSection = i;
    const auto eq = line.find('=');
    if (line.empty() || IsComment(line) || eq == std::string::npos) continue;
    if (Lower(Trim(line.substr(0, eq))) == wantName) {
      lines[i] = Trim(line.substr(0, eq)) + "=" + stored;
      written = true;
    }
  }
  if (!written) {
    if (sectionSeen) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*lastOfSection + 1), entry);
    } else {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }

  // Write through a symbolic link rather than replacing it.
  fs::path target = fs::weakly_canonical(path, ec);
  if (ec || target.empty()) target = path;
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  const std::string temp = target.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    for (const std::string& l : lines) out << l << '\n';
    out.flush();
    if (!out) {
      fs::remove(temp, ec);
      throw Exception("Couldn't write \"" + path + "\".");
    }
  }
  const auto oldStatus = fs::status(target, ec);
  if (!ec && fs::exists(oldStatus)) fs::permissions(temp, oldStatus.permissions(), ec);
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw Exception("Couldn't write \"" + path + "\": " + ec.message());
  }
}

}  // namespace inifile
