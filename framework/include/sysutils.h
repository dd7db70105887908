// Value conversions of the framework: integers, floating point, currency and
// date-time to and from text, date-time arithmetic, and Format-style text.
#pragma once

#include <compare>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "exceptions.h"
#include "formatsettings.h"

// ---------------------------------------------------------------------------
// Integers

std::string IntToStr(int64_t value);
/// Upper-case hexadecimal, at least `digits` digits (zero-padded).
std::string IntToHex(uint64_t value, int digits);

/// Decimal text, optional sign, surrounding blanks allowed; "$" or "0x"
/// introduce hexadecimal. Raises EConvertError "'%s' is not a valid integer
/// value" for anything else or a value outside 32 bits.
int32_t StrToInt(std::string_view text);
/// As StrToInt for 64 bits.
int64_t StrToInt64(std::string_view text);
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToInt64(std::string_view text, int64_t& value);
int32_t StrToIntDef(std::string_view text, int32_t fallback);
int64_t StrToInt64Def(std::string_view text, int64_t fallback);

// ---------------------------------------------------------------------------
// Floating point

// Every text form rounds the shortest decimal that reads back as the double,
// halves away from zero: 2.675 with two decimals is "2.68", 1.0005 with three
// is "1.001".

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

/// The double in up to 15 significant digits (0.1 + 0.2 gives "0.3"), in
/// exponent form ("1.5E20", "1E-5") from 1E15 up and below 0.0001; "NAN",
/// "INF", "-INF" for the special values.
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& settings);

/// Formats with `precision` significant digits (1..18):
///   ffGeneral  shortest of fixed and exponent forms;
///   ffExponent d.dddE+xxxx, `digits` (0..4) the least number of exponent digits;
///   ffFixed    `digits` decimals; exponent form when the integer part has
///              more than `precision` digits;
///   ffNumber   as ffFixed with thousands separators;
///   ffCurrency as ffNumber with CurrencyString after the number.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);

/// Format strings of "0" (digit), "#" (optional digit), "." (decimal
/// separator), "," (thousands grouping), "E+"/"E-" (exponent), quoted
/// literals and up to three ";"-separated sections (positive, negative, zero).
std::string FormatFloat(std::string_view format, double value);
std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings);

/// Decimal text with DecimalSeparator, optional sign and exponent, surrounding
/// blanks allowed, no thousands separators. Raises EConvertError "'%s' is not
/// a valid floating point value" for anything else (including NaN and
/// infinity texts and out-of-range values).
double StrToFloat(std::string_view text);
double StrToFloat(std::string_view text, const TFormatSettings& settings);
bool TryStrToFloat(std::string_view text, double& value);
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings);
double StrToFloatDef(std::string_view text, double fallback);

/// The double rounded to a whole number, halves away from zero; false for NaN,
/// the infinities and results outside 64 bits.
bool TryRoundToInt64(double value, int64_t& result);

// ---------------------------------------------------------------------------
// Currency

/// A money amount as a 64-bit count of ten-thousandths: exact to four
/// decimals, so sums and comparisons of amounts never drift as doubles do.
struct Currency {
  int64_t Scaled = 0;  // value × 10,000

  static constexpr int64_t Scale = 10000;
  static constexpr Currency FromScaled(int64_t scaled) { return Currency{scaled}; }
  constexpr double ToDouble() const { return static_cast<double>(Scaled) / Scale; }
  friend constexpr auto operator<=>(const Currency&, const Currency&) = default;
  friend constexpr Currency operator+(Currency a, Currency b) { return {a.Scaled + b.Scaled}; }
  friend constexpr Currency operator-(Currency a, Currency b) { return {a.Scaled - b.Scaled}; }
  constexpr Currency operator-() const { return {-Scaled}; }
};

/// The double rounded to the nearest ten-thousandth (halves away from zero).
/// Raises EConvertError "'%s' is not a valid currency value" outside the range
/// or for NaN.
Currency FloatToCurr(double value);
bool TryFloatToCurr(double value, Currency& result);
inline double CurrToFloat(Currency value) {
  return value.ToDouble();
}

/// Exact text: up to four decimals, trailing zeros dropped ("12.5", "-0.0001").
std::string CurrToStr(Currency value);
std::string CurrToStr(Currency value, const TFormatSettings& settings);
/// As FloatToStrF with 19 significant digits, exact (never through a double).
std::string CurrToStrF(Currency value, TFloatFormat format, int digits);
std::string CurrToStrF(Currency value, TFloatFormat format, int digits,
                       const TFormatSettings& settings);
/// Decimal text as for StrToFloat, read exactly and rounded to four decimals.
/// Raises EConvertError "'%s' is not a valid floating point value".
Currency StrToCurr(std::string_view text);
Currency StrToCurr(std::string_view text, const TFormatSettings& settings);
bool TryStrToCurr(std::string_view text, Currency& value);
bool TryStrToCurr(std::string_view text, Currency& value, const TFormatSettings& settings);

// ---------------------------------------------------------------------------
// Booleans

/// "True"/"False" with useBoolStrs, else "-1"/"0".
std::string BoolToStr(bool value, bool useBoolStrs = false);
/// "True"/"False" (any case) or a number (non-zero is true). Raises
/// EConvertError "'%s' is not a valid boolean value".
bool StrToBool(std::string_view text);
bool TryStrToBool(std::string_view text, bool& value);

// ---------------------------------------------------------------------------
// Date-time: days since 1899-12-30 00:00, the fraction the time of day. For
// days before 1899-12-30 the fraction still counts forward from midnight:
// -1.25 is 1899-12-29 06:00.

using TDateTime = double;

constexpr int32_t HoursPerDay = 24;
constexpr int32_t MinsPerDay = 24 * 60;
constexpr int32_t SecsPerDay = MinsPerDay * 60;
constexpr int32_t MSecsPerSec = 1000;
constexpr int32_t MSecsPerDay = SecsPerDay * MSecsPerSec;
/// Day number (1 = 0001-01-01) of 1899-12-30, the date-time origin.
constexpr int32_t DateDelta = 693594;
/// Julian day number = day number + JulianDayDelta.
constexpr int32_t JulianDayDelta = 1721425;
/// Julian day number of the date-time origin 1899-12-30.
constexpr int32_t JulianDateDelta = DateDelta + JulianDayDelta;  // 2415019
/// Date-time value of 1970-01-01.
constexpr int32_t UnixDateDelta = 25569;

/// The database layer's form: day number from 0001-01-01 and milliseconds
/// since midnight.
struct TTimeStamp {
  int32_t Time = 0;  // milliseconds since midnight
  int32_t Date = 0;  // day number, 1 = 0001-01-01
  friend constexpr bool operator==(const TTimeStamp&, const TTimeStamp&) = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

/// Raises EConvertError "Invalid argument to date encode" unless 1 <= year <=
/// 9999 and month and day form a real date.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
void DecodeDate(TDateTime date, int& year, int& month, int& day);
/// Raises EConvertError "Invalid argument to time encode" unless hour < 24,
/// min < 60, sec < 60, msec < 1000 (all non-negative).
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
/// Rounded to the nearest millisecond through DateTimeToTimeStamp, so a time
/// that rounds to midnight decodes as 00:00 and DecodeDate as the next day.
void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec);
/// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime date);
/// The whole days of a date-time and its time of day, as dates and times.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

/// Local time of the system clock.
TDateTime Now();
TDateTime Date();
TDateTime Time();

/// Milliseconds rounded to the nearest; a time of day that rounds to 24:00
/// moves to the next day. Raises EConvertError "'%s' is not a valid
/// date-time value" for values outside 0001-01-01 .. 9999-12-31 or NaN.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
/// Raises EConvertError "Invalid time stamp: %d, %d" (time, date) for a time
/// outside 0 .. MSecsPerDay-1 or a date below 1.
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
/// Date × MSecsPerDay + Time: the native value of date-time fields.
double TimeStampToMSecs(const TTimeStamp& stamp);
/// The inverse of TimeStampToMSecs; the milliseconds are rounded.
TTimeStamp MSecsToTimeStamp(double msecs);

// Date-time texts follow the settings' patterns (see formatsettings.h).

std::string FormatDateTime(std::string_view format, TDateTime value);
std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings);
/// ShortDateFormat.
std::string DateToStr(TDateTime value);
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
/// LongTimeFormat.
std::string TimeToStr(TDateTime value);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);
/// ShortDateFormat, then a blank and LongTimeFormat unless the time is 00:00.
std::string DateTimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);

/// Reads a date in the order of ShortDateFormat's day, month and year, parts
/// separated by DateSeparator; a missing year is the current one. Raises
/// EConvertError "'%s' is not a valid date".
TDateTime StrToDate(std::string_view text);
TDateTime StrToDate(std::string_view text, const TFormatSettings& settings);
bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings);
/// h[:n[:s[.z]]] with TimeSeparator and an optional AM/PM. Raises
/// EConvertError "'%s' is not a valid time".
TDateTime StrToTime(std::string_view text);
TDateTime StrToTime(std::string_view text, const TFormatSettings& settings);
bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);
/// A date, a time, or a date, blanks and a time. Raises EConvertError "'%s'
/// is not a valid date and time".
TDateTime StrToDateTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings);
bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);

// ---------------------------------------------------------------------------
// Text (ASCII case rules; other UTF-8 bytes are left as they are)

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
/// <0, 0, >0 comparing case-insensitively.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
/// Without leading and trailing characters up to and including blank.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// ---------------------------------------------------------------------------
// Format-style text

/// One argument of Format: an integer, a floating value, text or a pointer.
class TFormatArg {
 public:
  enum Kind { kInt, kUInt, kFloat, kString, kPointer };
  TFormatArg(int v) : FKind(kInt), FInt(v) {}
  TFormatArg(long v) : FKind(kInt), FInt(v) {}
  TFormatArg(long long v) : FKind(kInt), FInt(v) {}
  TFormatArg(unsigned v) : FKind(kUInt), FUInt(v) {}
  TFormatArg(unsigned long v) : FKind(kUInt), FUInt(v) {}
  TFormatArg(unsigned long long v) : FKind(kUInt), FUInt(v) {}
  TFormatArg(double v) : FKind(kFloat), FFloat(v) {}
  TFormatArg(Currency v) : FKind(kFloat), FFloat(v.ToDouble()) {}
  TFormatArg(const char* v) : FKind(kString), FString(v ? v : "") {}
  TFormatArg(std::string_view v) : FKind(kString), FString(v) {}
  TFormatArg(const std::string& v) : FKind(kString), FString(v) {}
  TFormatArg(const void* v) : FKind(kPointer), FUInt(reinterpret_cast<uintptr_t>(v)) {}

  Kind GetKind() const { return FKind; }
  int64_t Int() const { return FInt; }
  uint64_t UInt() const { return FUInt; }
  double Float() const { return FFloat; }
  std::string_view String() const { return FString; }

 private:
  Kind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  double FFloat = 0;
  std::string_view FString;
};

/// printf-like: %[index:][-][width][.prec]type with types d u x (integers), e f
/// g n m (floating; n with thousands separators, m currency), s (text), p
/// (pointer), and %% . Width and precision may be "*" (taken from the
/// arguments). Floating texts use the settings' separators. Raises
/// EConvertError "Format '%s' invalid or incompatible with argument" for a
/// bad specifier, a missing argument or a type mismatch.
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args);
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args,
                   const TFormatSettings& settings);

// ---------------------------------------------------------------------------
// Rate texts (record keeping and the update run)

/// The value as Format("%.3f") writes it with the process-wide separators:
/// the three-decimal text in which a stored and a fed rate are compared and
/// the "changed from" line reports them. A value exactly halfway between two
/// three-decimal texts, judged by its shortest decimal form, goes away from
/// zero: 1.0925 gives "1.093", -1.0925 gives "-1.093" (never to the even
/// neighbour, and never the binary value's side: 1.0925 is stored a little
/// above, 2.0625 exactly, both round up alike). NaN gives "NAN".
std::string FormatThreeDecimals(double value);
