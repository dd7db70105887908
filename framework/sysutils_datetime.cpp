// Date-time arithmetic, the day-number forms of the database layer, and
// date-time texts.
#include <chrono>
#include <cmath>
#include <ctime>

#include "sysutils.h"

namespace {

constexpr int kCumulativeDays[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

const char* const kShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
const char* const kShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// Day number (1 = 0001-01-01) of a valid date.
int32_t DayNumber(int year, int month, int day) {
  int y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400 + kCumulativeDays[IsLeapYear(year)][month - 1] + day;
}

// The inverse of DayNumber for day numbers >= 1.
void DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day) {
  int32_t d = dayNumber - 1;
  int y400 = d / 146097;
  d %= 146097;
  int y100 = d / 36524;
  if (y100 == 4) y100 = 3;  // the last day of a 400-year cycle
  d -= y100 * 36524;
  int y4 = d / 1461;
  d %= 1461;
  int y1 = d / 365;
  if (y1 == 4) y1 = 3;  // the last day of a 4-year cycle
  d -= y1 * 365;
  year = y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1;
  const int* table = kCumulativeDays[IsLeapYear(year)];
  month = 1;
  while (d >= table[month]) ++month;
  day = d - table[month - 1] + 1;
}

[[noreturn]] void ConvertError(std::string_view text, const char* message) {
  throw EConvertError(Format(message, {text}));
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  const int* table = kCumulativeDays[IsLeapYear(year)];
  return table[month] - table[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  date = DayNumber(year, month, day) - DateDelta;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime date;
  if (!TryEncodeDate(year, month, day, date))
    throw EConvertError("Invalid argument to date encode");
  return date;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 ||
      msec >= 1000)
    return false;
  time = (((hour * 60 + min) * 60 + sec) * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime time;
  if (!TryEncodeTime(hour, min, sec, msec, time))
    throw EConvertError("Invalid argument to time encode");
  return time;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  // 0001-01-01 is -693593, 9999-12-31 is 2958465.
  if (!(value > -693594.0 && value < 2958466.0))
    ConvertError(FloatToStr(value), "'%s' is not a valid date-time value");
  double whole = std::trunc(value);
  TTimeStamp stamp;
  stamp.Date = DateDelta + static_cast<int32_t>(whole);
  double msecs = std::round(std::fabs(value - whole) * MSecsPerDay);
  if (msecs >= MSecsPerDay) {
    // 24:00 of a day is 00:00 of the next, before and after 1899-12-30 alike.
    msecs = 0;
    ++stamp.Date;
  }
  stamp.Time = static_cast<int32_t>(msecs);
  return stamp;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  if (stamp.Time < 0 || stamp.Time >= MSecsPerDay || stamp.Date < 1)
    throw EConvertError(Format("Invalid time stamp: %d, %d", {stamp.Time, stamp.Date}));
  double days = stamp.Date - DateDelta;
  double time = static_cast<double>(stamp.Time) / MSecsPerDay;
  return days >= 0 ? days + time : days - time;
}

double TimeStampToMSecs(const TTimeStamp& stamp) {
  return static_cast<double>(stamp.Date) * MSecsPerDay + stamp.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  double days = std::floor(msecs / MSecsPerDay);
  double rest = std::round(msecs - days * MSecsPerDay);
  if (rest >= MSecsPerDay) {
    rest -= MSecsPerDay;
    days += 1;
  }
  TTimeStamp stamp;
  stamp.Date = static_cast<int32_t>(days);
  stamp.Time = static_cast<int32_t>(rest);
  return stamp;
}

void DecodeDate(TDateTime date, int& year, int& month, int& day) {
  DayNumberToDate(DateTimeToTimeStamp(date).Date, year, month, day);
}

void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec) {
  int32_t ms = DateTimeToTimeStamp(time).Time;
  hour = ms / 3600000;
  min = ms / 60000 % 60;
  sec = ms / 1000 % 60;
  msec = ms % 1000;
}

int DayOfWeek(TDateTime date) {
  // Day number 1 (0001-01-01) was a Monday.
  return DateTimeToTimeStamp(date).Date % 7 + 1;
}

TDateTime DateOf(TDateTime value) {
  return std::trunc(value);
}

TDateTime TimeOf(TDateTime value) {
  return std::fabs(value - std::trunc(value));
}

TDateTime Now() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                    static_cast<int>(ms % 1000));
}

TDateTime Date() {
  return DateOf(Now());
}

TDateTime Time() {
  return TimeOf(Now());
}

// ---------------------------------------------------------------------------
// Formatting

namespace {

struct TDateParts {
  int Year, Month, Day, Hour, Min, Sec, MSec, WeekDay;
};

std::string Pad(int value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

bool StartsWithText(std::string_view text, size_t at, std::string_view what) {
  return text.size() - at >= what.size() && SameText(text.substr(at, what.size()), what);
}

void AppendFormatted(std::string& out, std::string_view format, const TDateParts& p,
                     const TFormatSettings& s, int depth) {
  bool lastWasHour = false;
  // Hours count to 12 when the pattern shows AM and PM.
  bool twelveHour = false;
  for (size_t k = 0; k < format.size(); ++k)
    if (StartsWithText(format, k, "am/pm") || StartsWithText(format, k, "a/p") ||
        StartsWithText(format, k, "ampm"))
      twelveHour = true;
  size_t i = 0;
  auto count = [&](char c) {
    size_t n = 0;
    while (i + n < format.size() && (format[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < format.size()) {
    char c = format[i];
    char lower = static_cast<char>(c | 0x20);
    if (c == '"' || c == '\'') {
      size_t end = format.find(c, i + 1);
      if (end == std::string_view::npos) end = format.size();
      out.append(format.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (c == '/') {
      out.push_back(s.DateSeparator);
      ++i;
      continue;
    }
    if (c == ':') {
      out.push_back(s.TimeSeparator);
      ++i;
      continue;
    }
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
      out.push_back(c);
      ++i;
      continue;
    }
    if (StartsWithText(format, i, "am/pm") || StartsWithText(format, i, "a/p")) {
      // The letters' case follows the pattern: "am/pm" gives "pm", "A/P" gives "P".
      bool full = StartsWithText(format, i, "am/pm");
      std::string_view letters =
          format.substr(i + (p.Hour < 12 ? 0 : (full ? 3 : 2)), full ? 2 : 1);
      out.append(letters);
      i += full ? 5 : 3;
      continue;
    }
    if (StartsWithText(format, i, "ampm")) {
      out += p.Hour < 12 ? s.TimeAMString : s.TimePMString;
      i += 4;
      continue;
    }
    size_t n = count(lower);
    switch (lower) {
      case 'y':
        out += n <= 2 ? Pad(p.Year % 100, 2) : Pad(p.Year, 4);
        break;
      case 'm':
        if (lastWasHour && n <= 2) {
          out += Pad(p.Min, static_cast<int>(n));
        } else if (n == 1 || n == 2) {
          out += Pad(p.Month, static_cast<int>(n));
        } else if (n == 3) {
          out += kShortMonthNames[p.Month - 1];
        } else {
          out += kLongMonthNames[p.Month - 1];
        }
        break;
      case 'd':
        if (n <= 2)
          out += Pad(p.Day, static_cast<int>(n));
        else if (n == 3)
          out += kShortDayNames[p.WeekDay - 1];
        else if (n == 4)
          out += kLongDayNames[p.WeekDay - 1];
        else if (depth == 0)
          AppendFormatted(out, n == 5 ? s.ShortDateFormat : s.LongDateFormat, p, s, depth + 1);
        break;
      case 'h': {
        int hour = p.Hour;
        if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
        out += Pad(hour, n >= 2 ? 2 : 1);
      } break;
      case 'n':
        out += Pad(p.Min, n >= 2 ? 2 : 1);
        break;
      case 's':
        out += Pad(p.Sec, n >= 2 ? 2 : 1);
        break;
      case 'z':
        out += Pad(p.MSec, n >= 3 ? 3 : 1);
        break;
      case 't':
        if (depth == 0)
          AppendFormatted(out, n == 1 ? s.ShortTimeFormat : s.LongTimeFormat, p, s, depth + 1);
        break;
      case 'c':
        if (depth == 0) {
          AppendFormatted(out, s.ShortDateFormat, p, s, depth + 1);
          if (p.Hour || p.Min || p.Sec || p.MSec) {
            out.push_back(' ');
            AppendFormatted(out, s.LongTimeFormat, p, s, depth + 1);
          }
        }
        break;
      default:
        out.append(format.substr(i, n));
        break;
    }
    lastWasHour = lower == 'h' || (lastWasHour && lower == 'm');
    i += n;
  }
}

TDateParts Split(TDateTime value) {
  TTimeStamp stamp = DateTimeToTimeStamp(value);
  TDateParts p{};
  DayNumberToDate(stamp.Date, p.Year, p.Month, p.Day);
  p.Hour = stamp.Time / 3600000;
  p.Min = stamp.Time / 60000 % 60;
  p.Sec = stamp.Time / 1000 % 60;
  p.MSec = stamp.Time % 1000;
  p.WeekDay = stamp.Date % 7 + 1;
  return p;
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings) {
  std::string out;
  AppendFormatted(out, format.empty() ? std::string_view("c") : format, Split(value), settings, 0);
  return out;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
  return FormatDateTime(format, value, FormatSettings());
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime(settings.ShortDateFormat, value, settings);
}
std::string DateToStr(TDateTime value) {
  return DateToStr(value, FormatSettings());
}

std::string TimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime(settings.LongTimeFormat, value, settings);
}
std::string TimeToStr(TDateTime value) {
  return TimeToStr(value, FormatSettings());
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("c", value, settings);
}
std::string DateTimeToStr(TDateTime value) {
  return DateTimeToStr(value, FormatSettings());
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// A small cursor over the text being read.
struct TScanner {
  std::string_view Text;
  size_t Pos = 0;

  void SkipBlanks() {
    while (Pos < Text.size() && Text[Pos] == ' ') ++Pos;
  }
  bool AtEnd() const { return Pos >= Text.size(); }
  bool Take(char c) {
    if (Pos < Text.size() && Text[Pos] == c) {
      ++Pos;
      return true;
    }
    return false;
  }
  // Up to 9 digits; the count read goes to `digits`.
  bool Number(int& value, int& digits) {
    value = 0;
    digits = 0;
    while (Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9' && digits < 9) {
      value = value * 10 + (Text[Pos++] - '0');
      ++digits;
    }
    return digits > 0;
  }
};

// The order of day, month and year in a date pattern: "DMY", "MDY" or "YMD".
std::string DateOrder(std::string_view format) {
  std::string order;
  for (char c : format) {
    char u = static_cast<char>(c & ~0x20);
    if ((u == 'D' || u == 'M' || u == 'Y') && order.find(u) == std::string::npos) order += u;
  }
  if (order.size() != 3) return "YMD";
  return order;
}

int CurrentYear() {
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  return y;
}

int ExpandYear(int year, int digits, const TFormatSettings& s) {
  if (digits > 2) return year;
  int current = CurrentYear();
  if (s.TwoDigitYearCenturyWindow <= 0) return current / 100 * 100 + year;
  int start = current - s.TwoDigitYearCenturyWindow;
  int result = start / 100 * 100 + year;
  if (result < start) result += 100;
  return result;
}

bool ScanDate(TScanner& sc, const TFormatSettings& s, TDateTime& date) {
  int values[3], digits[3];
  int count = 0;
  sc.SkipBlanks();
  for (; count < 3; ++count) {
    if (count > 0) {
      sc.SkipBlanks();
      if (!sc.Take(s.DateSeparator)) break;
      sc.SkipBlanks();
    }
    if (!sc.Number(values[count], digits[count])) return false;
  }
  if (count < 2) return false;
  std::string order = DateOrder(s.ShortDateFormat);
  int year = 0, month = 0, day = 0, yearDigits = 4;
  if (count == 2) {
    // Day and month in the pattern's order, this year.
    order.erase(order.find('Y'), 1);
    for (int i = 0; i < 2; ++i) (order[i] == 'D' ? day : month) = values[i];
    year = CurrentYear();
  } else {
    // A leading four-digit number is a year whatever the pattern says.
    if (digits[0] > 2 && order[0] != 'Y') order = "YMD";
    for (int i = 0; i < 3; ++i) {
      if (order[i] == 'Y') {
        year = values[i];
        yearDigits = digits[i];
      } else if (order[i] == 'M') {
        month = values[i];
      } else {
        day = values[i];
      }
    }
    year = ExpandYear(year, yearDigits, s);
  }
  return TryEncodeDate(year, month, day, date);
}

bool TakeText(TScanner& sc, std::string_view word) {
  if (word.empty() || sc.Text.size() - sc.Pos < word.size()) return false;
  if (!SameText(sc.Text.substr(sc.Pos, word.size()), word)) return false;
  sc.Pos += word.size();
  return true;
}

bool ScanTime(TScanner& sc, const TFormatSettings& s, TDateTime& time) {
  sc.SkipBlanks();
  int ampm = 0;  // 1 AM, 2 PM
  auto takeAmPm = [&] {
    if (TakeText(sc, s.TimeAMString) || TakeText(sc, "AM"))
      ampm = 1;
    else if (TakeText(sc, s.TimePMString) || TakeText(sc, "PM"))
      ampm = 2;
  };
  takeAmPm();
  sc.SkipBlanks();
  int parts[3] = {0, 0, 0}, digits;
  int msec = 0;
  if (!sc.Number(parts[0], digits)) return false;
  int count = 1;
  for (; count < 3; ++count) {
    if (!sc.Take(s.TimeSeparator)) break;
    if (!sc.Number(parts[count], digits)) return false;
  }
  if (count == 3 && (sc.Take('.') || sc.Take(s.DecimalSeparator))) {
    int msDigits;
    if (!sc.Number(msec, msDigits) || msDigits > 3) return false;
    for (; msDigits < 3; ++msDigits) msec *= 10;
  }
  if (ampm == 0) {
    sc.SkipBlanks();
    takeAmPm();
  }
  int hour = parts[0];
  if (ampm != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (ampm == 2 ? 12 : 0);
  }
  return TryEncodeTime(hour, parts[1], parts[2], msec, time);
}

}  // namespace

bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  TScanner sc{text};
  TDateTime date;
  if (!ScanDate(sc, settings, date)) return false;
  sc.SkipBlanks();
  if (!sc.AtEnd()) return false;
  value = date;
  return true;
}

bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  TScanner sc{text};
  TDateTime time;
  if (!ScanTime(sc, settings, time)) return false;
  sc.SkipBlanks();
  if (!sc.AtEnd()) return false;
  value = time;
  return true;
}

bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  TScanner sc{text};
  TDateTime date;
  if (ScanDate(sc, settings, date)) {
    sc.SkipBlanks();
    if (sc.AtEnd()) {
      value = date;
      return true;
    }
    TDateTime time;
    if (!ScanTime(sc, settings, time)) return false;
    sc.SkipBlanks();
    if (!sc.AtEnd()) return false;
    value = date >= 0 ? date + time : date - time;
    return true;
  }
  return TryStrToTime(text, value, settings);
}

TDateTime StrToDate(std::string_view text, const TFormatSettings& settings) {
  TDateTime value;
  if (!TryStrToDate(text, value, settings)) ConvertError(text, "'%s' is not a valid date");
  return value;
}
TDateTime StrToDate(std::string_view text) {
  return StrToDate(text, FormatSettings());
}

TDateTime StrToTime(std::string_view text, const TFormatSettings& settings) {
  TDateTime value;
  if (!TryStrToTime(text, value, settings)) ConvertError(text, "'%s' is not a valid time");
  return value;
}
TDateTime StrToTime(std::string_view text) {
  return StrToTime(text, FormatSettings());
}

TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings) {
  TDateTime value;
  if (!TryStrToDateTime(text, value, settings))
    ConvertError(text, "'%s' is not a valid date and time");
  return value;
}
TDateTime StrToDateTime(std::string_view text) {
  return StrToDateTime(text, FormatSettings());
}
