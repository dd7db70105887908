// Text and command-line utilities, the application title, the UTC clock and
// the hooks into the windowing layer.
#include <chrono>
#include <cstdio>
#include <iostream>

#include "LANTools.h"
#include "environment_internal.h"
#include "formatsettings.h"

namespace {

char gListDelimiter = ',';
char gSavedDelimiter = ',';
std::string gApplicationTitle;
TEnvironmentHooks gHooks;

}  // namespace

void ResetListDelimiter() {
  gListDelimiter = ',';
  gSavedDelimiter = ',';
}

void ApplyTimeFormat() {
  TFormatSettings& f = FormatSettings();
  f.ShortTimeFormat = "hh:mm:ss";
  f.TimeSeparator = ':';
}

std::string UpperText(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool HasSwitch(const std::string& name, bool allowLeadingChar) {
  const std::string wanted = UpperText(name);
  for (const std::string& arg : CommandLineArguments()) {
    if (UpperText(arg) == wanted) return true;
    if (!allowLeadingChar || arg.empty()) continue;
    // The leading character may take several bytes ("\xE2\x80\x93auto").
    size_t second = 1;
    while (second < arg.size() && (static_cast<unsigned char>(arg[second]) & 0xC0) == 0x80)
      ++second;
    if (UpperText(TruncateChars(arg.substr(second), CharCount(wanted))) == wanted) return true;
  }
  return false;
}

std::string DelimitedItem(int n, const std::string& text, char delimiter) {
  if (delimiter == ' ') delimiter = gListDelimiter;
  if (n < 1 || text.empty()) return {};
  std::string::size_type pos = 0;
  for (int item = 1;; ++item) {
    std::string value;
    if (pos < text.size() && text[pos] == '"') {
      // Quoted: runs to the closing quote, "" standing for one quote.
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            value += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        value += text[pos++];
      }
    }
    // Up to the delimiter (after a quoted part: whatever follows it).
    const auto end = text.find(delimiter, pos);
    value.append(text, pos, (end == std::string::npos ? text.size() : end) - pos);
    if (item == n) return value;
    if (end == std::string::npos) return {};
    pos = end + 1;  // a delimiter at the very end leaves one empty item
  }
}

char ListDelimiter() {
  return gListDelimiter;
}

void PushDelimiter(char c) {
  gSavedDelimiter = gListDelimiter;
  gListDelimiter = c;
}

void PopDelimiter() {
  gListDelimiter = gSavedDelimiter;
}

std::string PadLeft(const std::string& text, int width, char fill) {
  const size_t length = CharCount(text);
  if (width < 0 || length >= static_cast<size_t>(width)) return text;
  return std::string(static_cast<size_t>(width) - length, fill) + text;
}

void SetApplicationTitle(const std::string& title) {
  gApplicationTitle = title;
  if (gHooks.ApplicationTitleChanged) gHooks.ApplicationTitleChanged(title);
}

const std::string& ApplicationTitle() {
  return gApplicationTitle;
}

double NowUTC() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  // 25569 days lie between 1899-12-30 and the Unix epoch.
  return 25569.0 + static_cast<double>(ms) / 86400000.0;
}

void SetEnvironmentHooks(TEnvironmentHooks hooks) {
  gHooks = std::move(hooks);
}

void EnvironmentShowError(const std::string& label, const std::string& message, int helpContext) {
  if (gHooks.ShowError) {
    gHooks.ShowError(label, message, helpContext);
    return;
  }
  std::cerr << MessageBlockText(ApplicationTitle(), "Error", message) << std::flush;
}

std::string MessageBlockText(const std::string& caption, const std::string& heading,
                             const std::string& message) {
  std::string block = "[" + caption + "] " + heading + "\n" + message;
  if (block.back() != '\n') block += '\n';
  return block;
}

void ProcessMessagesNow() {
  if (gHooks.ProcessMessages) gHooks.ProcessMessages();
}
