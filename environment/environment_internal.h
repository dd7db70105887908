// Helpers shared by the environment's own source files: the process
// environment, UTF-8 character counts, and the module start steps they own.
#pragma once

#include <cstddef>
#include <string>

/// The process environment variable `name`, or fallback when unset or empty.
std::string EnvironmentOr(const char* name, const std::string& fallback);
/// $HOME, else the user database's home folder.
std::string HomeFolder();
/// The first maxChars characters (UTF-8 code points) of text.
std::string TruncateChars(const std::string& text, size_t maxChars);
/// Number of characters (UTF-8 code points).
size_t CharCount(const std::string& text);
/// Whether any entry (file, folder, link, even a dangling one) has this name.
bool EntryExists(const std::string& path);

// Module start steps kept by the unit that owns the state.
void ResetMessageClock();
void ResetListDelimiter();
void ApplyTimeFormat();
/// Runs the windowing layer's message processing, when one is installed.
void ProcessMessagesNow();
