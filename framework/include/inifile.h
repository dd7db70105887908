// INI files under the rules the registry hives and configuration files need:
// sections and names ignore case, the first occurrence of a name wins.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace inifile {

/// Section -> name -> value; sections and names in the form they are
/// compared in (lower case, key paths without stray backslashes).
using TIniData = std::map<std::string, std::map<std::string, std::string>>;

/// Reads a whole INI file. Answers false when it cannot be opened. Values are
/// the text after the first "=", trimmed, one pair of enclosing quotes
/// removed; inline ";" is part of the value. Lines may be of any length.
bool Load(const std::string& path, TIniData& data);

/// The value of a name in a section, when present (also when empty).
std::optional<std::string> Find(const TIniData& data, const std::string& section,
                                const std::string& name);

/// Writes one value into an INI file, creating the file (and its folder) or
/// the section as needed, keeping every other line. Atomic replacement.
/// Throws Exception for a file that exists but cannot be read, a failed
/// write, or a value holding a line break.
void WriteValue(const std::string& path, const std::string& section, const std::string& name,
                const std::string& value);

/// ASCII lower case.
std::string Lower(std::string s);
/// Trims spaces and tabs at both ends.
std::string Trim(const std::string& s);

}  // namespace inifile
