// The process-wide format settings that every number and date-time text of
// the program follows; the C locale is never consulted.
#pragma once

#include <string>

/// Separators and date-time patterns for converting values to and from text.
/// Patterns use: d dd (day), m mm (month; after h/hh it means minutes), mmm
/// mmmm (month name), yy yyyy, h hh, n nn (minutes), s ss, z zzz
/// (milliseconds), am/pm, "/" (DateSeparator), ":" (TimeSeparator), and text
/// in quotes taken literally.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '-';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy/mm/dd";
  std::string LongDateFormat = "dddd, d mmmm yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string CurrencyString = "";
  /// Two-digit years read from text fall in the 100 years that begin this
  /// many years before the current one; 0 means the current century.
  int TwoDigitYearCenturyWindow = 50;

  /// The settings a process starts with.
  static TFormatSettings Default() { return {}; }
};

/// The one process-wide settings object. Not synchronised: the program
/// formats and changes it from its user-interface thread only.
TFormatSettings& FormatSettings();

/// Remembers the process-wide settings on construction and puts them back on
/// destruction, e.g. around a run that switches the number format.
class TFormatSettingsRestorer {
 public:
  TFormatSettingsRestorer() : FSaved(FormatSettings()) {}
  ~TFormatSettingsRestorer() { FormatSettings() = FSaved; }
  TFormatSettingsRestorer(const TFormatSettingsRestorer&) = delete;
  TFormatSettingsRestorer& operator=(const TFormatSettingsRestorer&) = delete;

 private:
  TFormatSettings FSaved;
};
