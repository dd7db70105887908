// Integer, floating-point, currency, boolean and text conversions, and Format.
#include "sysutils.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "decimaltext.h"

namespace decimaltext {

void Normalize(TDigits& d) {
  size_t lead = 0;
  while (lead < d.Digits.size() && d.Digits[lead] == '0') ++lead;
  d.Digits.erase(0, lead);
  d.Point -= static_cast<int>(lead);
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) d.Point = 0;
}

static std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

bool Parse(std::string_view text, char decimalSeparator, TDigits& out) {
  text = TrimBlanks(text);
  size_t i = 0;
  TDigits d;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) d.Negative = text[i++] == '-';
  int intDigits = 0;
  bool any = false, seenPoint = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      d.Digits.push_back(c);
      any = true;
      if (!seenPoint) ++intDigits;
    } else if (c == decimalSeparator && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negExp = text[i++] == '-';
    bool expDigits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      expDigits = true;
      if (exponent < 1000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (!expDigits) return false;
    if (negExp) exponent = -exponent;
  }
  if (i != text.size()) return false;
  d.Point = intDigits + static_cast<int>(exponent);
  Normalize(d);
  out = d;
  return true;
}

TDigits FromDouble(double value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  TDigits d;
  Parse(std::string_view(buf, res.ptr - buf), '.', d);
  return d;
}

TDigits FromScaled(int64_t value, int places) {
  TDigits d;
  d.Negative = value < 0;
  uint64_t magnitude = d.Negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  d.Digits = std::to_string(magnitude);
  d.Point = static_cast<int>(d.Digits.size()) - places;
  Normalize(d);
  return d;
}

TDigits FromInt(int64_t value) {
  return FromScaled(value, 0);
}

// Keeps the first `keep` digits, rounding half away from zero.
static void RoundKeep(TDigits& d, long keep) {
  if (keep >= static_cast<long>(d.Digits.size())) return;
  if (keep < 0) {
    d.Digits.clear();
    d.Point = 0;
    return;
  }
  bool up = d.Digits[keep] >= '5';
  d.Digits.resize(keep);
  if (up) {
    long i = keep - 1;
    while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
    if (i >= 0) {
      ++d.Digits[i];
    } else {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Point;
    }
  }
  Normalize(d);
}

void RoundToDecimals(TDigits& d, int decimals) {
  if (d.IsZero()) return;
  RoundKeep(d, static_cast<long>(d.Point) + decimals);
}

void RoundToSignificant(TDigits& d, int count) {
  RoundKeep(d, count);
}

std::string FormatFixed(TDigits d, int decimals, char decimalSeparator, char thousandSeparator) {
  RoundToDecimals(d, decimals);
  std::string text;
  if (d.Negative && !d.IsZero()) text.push_back('-');
  auto digitAt = [&](long index) {
    return index >= 0 && index < static_cast<long>(d.Digits.size()) ? d.Digits[index] : '0';
  };
  if (d.Point <= 0) {
    text.push_back('0');
  } else {
    for (long i = 0; i < d.Point; ++i) {
      if (thousandSeparator && i > 0 && (d.Point - i) % 3 == 0) text.push_back(thousandSeparator);
      text.push_back(digitAt(i));
    }
  }
  if (decimals > 0) {
    text.push_back(decimalSeparator);
    for (long i = 0; i < decimals; ++i) text.push_back(digitAt(d.Point + i));
  }
  return text;
}

std::string FormatExponent(TDigits d, int precision, int expDigits, bool signAlways, bool padZeros,
                           char decimalSeparator) {
  RoundToSignificant(d, precision);
  std::string text;
  if (d.Negative && !d.IsZero()) text.push_back('-');
  std::string digits = d.IsZero() ? "0" : d.Digits;
  if (padZeros && static_cast<int>(digits.size()) < precision) digits.resize(precision, '0');
  text.push_back(digits[0]);
  if (digits.size() > 1) {
    text.push_back(decimalSeparator);
    text.append(digits, 1);
  }
  int exponent = d.IsZero() ? 0 : d.Point - 1;
  text.push_back('E');
  if (exponent < 0)
    text.push_back('-');
  else if (signAlways)
    text.push_back('+');
  std::string expText = std::to_string(std::abs(exponent));
  if (static_cast<int>(expText.size()) < expDigits)
    expText.insert(0, expDigits - expText.size(), '0');
  return text + expText;
}

std::string FormatValue(TDigits d, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings, int maxPrecision) {
  if (precision < 1) precision = 1;
  if (precision > maxPrecision) precision = maxPrecision;
  if (digits < 0) digits = 0;
  switch (format) {
    case ffExponent:
      return FormatExponent(d, precision, std::min(digits, 4), true, true,
                            settings.DecimalSeparator);
    case ffGeneral: {
      RoundToSignificant(d, precision);
      if (d.IsZero()) return "0";
      if (d.Point > precision || d.Point < -3)
        return FormatExponent(d, precision, std::min(digits, 4), false, false,
                              settings.DecimalSeparator);
      int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
      return FormatFixed(d, decimals, settings.DecimalSeparator, 0);
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      RoundToSignificant(d, precision);
      if (d.Point > precision)
        return FormatExponent(d, precision, 3, true, false, settings.DecimalSeparator);
      char thousands = format == ffFixed ? 0 : settings.ThousandSeparator;
      std::string text = FormatFixed(d, digits, settings.DecimalSeparator, thousands);
      if (format == ffCurrency && !settings.CurrencyString.empty())
        text += " " + settings.CurrencyString;
      return text;
    }
  }
  return FormatFixed(d, digits, settings.DecimalSeparator, 0);
}

bool ToDouble(const TDigits& d, double& value) {
  if (d.IsZero()) {
    value = d.Negative ? -0.0 : 0.0;
    return true;
  }
  if (d.Point > 400) return false;
  if (d.Point < -400) {
    value = d.Negative ? -0.0 : 0.0;
    return true;
  }
  std::string text = "0." + d.Digits + "e" + std::to_string(d.Point);
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    if (d.Point > 0) return false;
    v = 0;  // below the smallest double
  } else if (res.ec != std::errc()) {
    return false;
  }
  value = d.Negative ? -v : v;
  return std::isfinite(value);
}

bool ToScaled(TDigits d, int places, int64_t& value) {
  RoundToDecimals(d, places);
  if (d.IsZero()) {
    value = 0;
    return true;
  }
  long total = static_cast<long>(d.Point) + places;  // digits of the scaled integer
  if (total > 19) return false;
  unsigned __int128 magnitude = 0;
  for (long i = 0; i < total; ++i) {
    int digit = i < static_cast<long>(d.Digits.size()) ? d.Digits[i] - '0' : 0;
    magnitude = magnitude * 10 + digit;
  }
  unsigned __int128 limit =
      static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + (d.Negative ? 1 : 0);
  if (magnitude > limit) return false;
  value = d.Negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(magnitude))
                     : static_cast<int64_t>(magnitude);
  return true;
}

}  // namespace decimaltext

using decimaltext::TDigits;

namespace {

std::string Quoted(std::string_view text, const char* message) {
  return Format(message, {text});
}

[[noreturn]] void ConvertError(std::string_view text, const char* message) {
  throw EConvertError(Quoted(text, message));
}

constexpr const char* kInvalidInteger = "'%s' is not a valid integer value";
constexpr const char* kInvalidFloat = "'%s' is not a valid floating point value";

bool ParseInteger(std::string_view text, int64_t low, int64_t high, int64_t& value) {
  text = decimaltext::TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / base) return false;
    magnitude = magnitude * base + digit;
  }
  if (negative) {
    if (magnitude > static_cast<uint64_t>(-(low + 1)) + 1) return false;
    value = magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1) - 1;
  } else {
    if (magnitude > static_cast<uint64_t>(high)) return false;
    value = static_cast<int64_t>(magnitude);
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Integers

std::string IntToStr(int64_t value) {
  return std::to_string(value);
}

std::string IntToHex(uint64_t value, int digits) {
  static const char hex[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), hex[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(text.size()) < digits) text.insert(0, digits - text.size(), '0');
  return text;
}

bool TryStrToInt(std::string_view text, int32_t& value) {
  int64_t v;
  if (!ParseInteger(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    v))
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
  return ParseInteger(text, std::numeric_limits<int64_t>::min(),
                      std::numeric_limits<int64_t>::max(), value);
}

int32_t StrToInt(std::string_view text) {
  int32_t value;
  if (!TryStrToInt(text, value)) ConvertError(text, kInvalidInteger);
  return value;
}

int64_t StrToInt64(std::string_view text) {
  int64_t value;
  if (!TryStrToInt64(text, value)) ConvertError(text, kInvalidInteger);
  return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
  int32_t value;
  return TryStrToInt(text, value) ? value : fallback;
}

int64_t StrToInt64Def(std::string_view text, int64_t fallback) {
  int64_t value;
  return TryStrToInt64(text, value) ? value : fallback;
}

// ---------------------------------------------------------------------------
// Floating point

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return decimaltext::FormatValue(decimaltext::FromDouble(value), format, precision, digits,
                                  settings, 18);
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings());
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
  return FloatToStrF(value, ffGeneral, 15, 0, settings);
}

std::string FloatToStr(double value) {
  return FloatToStr(value, FormatSettings());
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
  TDigits d;
  return decimaltext::Parse(text, settings.DecimalSeparator, d) && decimaltext::ToDouble(d, value);
}

bool TryStrToFloat(std::string_view text, double& value) {
  return TryStrToFloat(text, value, FormatSettings());
}

double StrToFloat(std::string_view text, const TFormatSettings& settings) {
  double value;
  if (!TryStrToFloat(text, value, settings)) ConvertError(text, kInvalidFloat);
  return value;
}

double StrToFloat(std::string_view text) {
  return StrToFloat(text, FormatSettings());
}

bool TryRoundToInt64(double value, int64_t& result) {
  double rounded = std::round(value);
  // 2^63 is the first double outside int64; NaN fails both comparisons.
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) return false;
  result = static_cast<int64_t>(rounded);
  return true;
}

double StrToFloatDef(std::string_view text, double fallback) {
  double value;
  return TryStrToFloat(text, value) ? value : fallback;
}

// FormatFloat: one section of a format string, split into its parts.
namespace {

struct TFloatSection {
  std::string Prefix, Suffix;  // literal text around the number
  int IntZeros = 0;            // "0" before the point
  int FracZeros = 0;           // "0" after the point
  int FracHashes = 0;          // "#" after the point
  bool Grouping = false;
  bool Exponent = false;
  bool ExpSignAlways = false;
  int ExpDigits = 0;
  bool HasDigits = false;
};

TFloatSection ParseSection(std::string_view s) {
  TFloatSection sec;
  bool inNumber = false, afterNumber = false, afterPoint = false;
  std::string* literal = &sec.Prefix;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"' || c == '\'') {
      size_t end = s.find(c, i + 1);
      if (end == std::string_view::npos) end = s.size();
      if (inNumber) {
        afterNumber = true;
        literal = &sec.Suffix;
      }
      literal->append(s.substr(i + 1, end - i - 1));
      i = end;
      continue;
    }
    if (!afterNumber && (c == '0' || c == '#' || c == '.' || c == ',')) {
      inNumber = true;
      sec.HasDigits = sec.HasDigits || c == '0' || c == '#';
      if (c == '.') {
        afterPoint = true;
      } else if (c == ',') {
        sec.Grouping = true;
      } else if (afterPoint) {
        if (c == '0')
          sec.FracZeros = sec.FracZeros + sec.FracHashes + 1, sec.FracHashes = 0;
        else
          ++sec.FracHashes;
      } else if (c == '0') {
        ++sec.IntZeros;
      }
      continue;
    }
    if (inNumber && !afterNumber && (c == 'E' || c == 'e') && i + 1 < s.size() &&
        (s[i + 1] == '+' || s[i + 1] == '-')) {
      sec.Exponent = true;
      sec.ExpSignAlways = s[i + 1] == '+';
      i += 2;
      while (i < s.size() && s[i] == '0') ++sec.ExpDigits, ++i;
      --i;
      afterNumber = true;
      literal = &sec.Suffix;
      continue;
    }
    if (inNumber) {
      afterNumber = true;
      literal = &sec.Suffix;
    }
    literal->push_back(c);
  }
  return sec;
}

std::vector<std::string_view> SplitSections(std::string_view format) {
  std::vector<std::string_view> sections;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.push_back(format.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(format.substr(start));
  return sections;
}

std::string FormatSection(const TFloatSection& sec, TDigits d, const TFormatSettings& settings) {
  d.Negative = false;
  std::string number;
  int maxDecimals = sec.FracZeros + sec.FracHashes;
  if (sec.Exponent) {
    int intDigits = std::max(1, sec.IntZeros);
    int precision = intDigits + maxDecimals;
    decimaltext::RoundToSignificant(d, precision);
    int exponent = d.IsZero() ? 0 : d.Point - intDigits;
    TDigits m = d;
    m.Point = d.IsZero() ? 0 : intDigits;
    std::string mantissa = decimaltext::FormatFixed(m, maxDecimals, settings.DecimalSeparator, 0);
    // Optional decimals drop their trailing zeros.
    while (sec.FracHashes > 0 && maxDecimals > sec.FracZeros && mantissa.back() == '0')
      mantissa.pop_back(), --maxDecimals;
    if (!mantissa.empty() && mantissa.back() == settings.DecimalSeparator) mantissa.pop_back();
    std::string expText = std::to_string(std::abs(exponent));
    if (static_cast<int>(expText.size()) < sec.ExpDigits)
      expText.insert(0, sec.ExpDigits - expText.size(), '0');
    number = mantissa + "E" + (exponent < 0 ? "-" : (sec.ExpSignAlways ? "+" : "")) + expText;
  } else {
    number = decimaltext::FormatFixed(d, maxDecimals, settings.DecimalSeparator,
                                      sec.Grouping ? settings.ThousandSeparator : 0);
    if (maxDecimals > 0) {
      int dropped = 0;
      while (dropped < sec.FracHashes && number.back() == '0') number.pop_back(), ++dropped;
      if (number.back() == settings.DecimalSeparator) number.pop_back();
    }
    // Leading zeros up to the "0" places before the point; none when only "#".
    size_t point = number.find(settings.DecimalSeparator);
    if (point == std::string::npos) point = number.size();
    int intLen = 0;
    for (size_t i = 0; i < point; ++i)
      if (number[i] >= '0' && number[i] <= '9') ++intLen;
    if (intLen == 1 && number[0] == '0' && sec.IntZeros == 0) {
      number.erase(0, 1);
      intLen = 0;
    }
    if (intLen < sec.IntZeros) {
      std::string pad(sec.IntZeros - intLen, '0');
      if (sec.Grouping) {
        // Regroup the padded integer part.
        std::string all = pad + number.substr(0, point);
        std::string digits;
        for (char c : all)
          if (c >= '0' && c <= '9') digits.push_back(c);
        std::string grouped;
        for (size_t i = 0; i < digits.size(); ++i) {
          if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(settings.ThousandSeparator);
          grouped.push_back(digits[i]);
        }
        number = grouped + number.substr(point);
      } else {
        number.insert(0, pad);
      }
    }
  }
  return sec.Prefix + number + sec.Suffix;
}

}  // namespace

std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (format.empty()) return FloatToStr(value, settings);
  auto sections = SplitSections(format);
  TDigits d = decimaltext::FromDouble(value);
  TFloatSection sec = ParseSection(sections[0]);
  if (!sec.HasDigits && !sec.Exponent) return sec.Prefix + sec.Suffix;
  // Which section applies depends on the value after rounding with the
  // first section's decimals.
  TDigits rounded = d;
  if (!sec.Exponent) decimaltext::RoundToDecimals(rounded, sec.FracZeros + sec.FracHashes);
  if (rounded.IsZero() && sections.size() >= 3 && !sections[2].empty())
    return FormatSection(ParseSection(sections[2]), d, settings);
  if (d.Negative && !rounded.IsZero()) {
    if (sections.size() >= 2 && !sections[1].empty())
      return FormatSection(ParseSection(sections[1]), d, settings);
    return "-" + FormatSection(sec, d, settings);
  }
  return FormatSection(sec, d, settings);
}

std::string FormatFloat(std::string_view format, double value) {
  return FormatFloat(format, value, FormatSettings());
}

// ---------------------------------------------------------------------------
// Currency

bool TryFloatToCurr(double value, Currency& result) {
  if (!std::isfinite(value)) return false;
  return decimaltext::ToScaled(decimaltext::FromDouble(value), 4, result.Scaled);
}

Currency FloatToCurr(double value) {
  Currency result;
  if (!TryFloatToCurr(value, result))
    ConvertError(FloatToStr(value), "'%s' is not a valid currency value");
  return result;
}

std::string CurrToStr(Currency value, const TFormatSettings& settings) {
  TDigits d = decimaltext::FromScaled(value.Scaled, 4);
  int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
  return decimaltext::FormatFixed(d, decimals, settings.DecimalSeparator, 0);
}

std::string CurrToStr(Currency value) {
  return CurrToStr(value, FormatSettings());
}

std::string CurrToStrF(Currency value, TFloatFormat format, int digits,
                       const TFormatSettings& settings) {
  // 19 significant digits hold every currency value exactly.
  return decimaltext::FormatValue(decimaltext::FromScaled(value.Scaled, 4), format, 19, digits,
                                  settings, 19);
}

std::string CurrToStrF(Currency value, TFloatFormat format, int digits) {
  return CurrToStrF(value, format, digits, FormatSettings());
}

bool TryStrToCurr(std::string_view text, Currency& value, const TFormatSettings& settings) {
  TDigits d;
  return decimaltext::Parse(text, settings.DecimalSeparator, d) &&
         decimaltext::ToScaled(d, 4, value.Scaled);
}

bool TryStrToCurr(std::string_view text, Currency& value) {
  return TryStrToCurr(text, value, FormatSettings());
}

Currency StrToCurr(std::string_view text, const TFormatSettings& settings) {
  Currency value;
  if (!TryStrToCurr(text, value, settings)) ConvertError(text, kInvalidFloat);
  return value;
}

Currency StrToCurr(std::string_view text) {
  return StrToCurr(text, FormatSettings());
}

// ---------------------------------------------------------------------------
// Booleans

std::string BoolToStr(bool value, bool useBoolStrs) {
  if (useBoolStrs) return value ? "True" : "False";
  return value ? "-1" : "0";
}

bool TryStrToBool(std::string_view text, bool& value) {
  std::string_view t = decimaltext::TrimBlanks(text);
  if (SameText(t, "True")) {
    value = true;
    return true;
  }
  if (SameText(t, "False")) {
    value = false;
    return true;
  }
  double number;
  if (TryStrToFloat(t, number)) {
    value = number != 0;
    return true;
  }
  return false;
}

bool StrToBool(std::string_view text) {
  bool value;
  if (!TryStrToBool(text, value)) ConvertError(text, "'%s' is not a valid boolean value");
  return value;
}

// ---------------------------------------------------------------------------
// Text

static char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
static char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiUpper(c);
  return result;
}

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiLower(c);
  return result;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(AsciiUpper(a[i]));
    unsigned char y = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string Trim(std::string_view text) {
  return std::string(decimaltext::TrimBlanks(text));
}

std::string TrimLeft(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  return std::string(text);
}

std::string TrimRight(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return std::string(text);
}

// ---------------------------------------------------------------------------
// Format

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args,
                   const TFormatSettings& settings) {
  auto invalid = [&]() -> EConvertError {
    std::string message = "Format '";
    message.append(format);
    message += "' invalid or incompatible with argument";
    return EConvertError(message);
  };
  const TFormatArg* argv = args.begin();
  size_t argc = args.size();
  size_t next = 0;
  std::string out;
  size_t i = 0;
  auto readNumber = [&](int& number) -> bool {  // digits or "*"
    if (i < format.size() && format[i] == '*') {
      ++i;
      if (next >= argc || argv[next].GetKind() != TFormatArg::kInt) throw invalid();
      number = static_cast<int>(argv[next++].Int());
      return true;
    }
    bool any = false;
    number = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      if (number < 100000) number = number * 10 + (format[i] - '0');
      ++i;
      any = true;
    }
    return any;
  };
  while (i < format.size()) {
    char c = format[i++];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i < format.size() && format[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    int number = 0;
    bool leftAlign = false;
    int width = -1, precision = -1;
    // "%index:" selects the argument.
    size_t mark = i;
    bool digitFirst = i < format.size() && format[i] >= '0' && format[i] <= '9';
    if (digitFirst && readNumber(number) && i < format.size() && format[i] == ':') {
      next = static_cast<size_t>(number);
      ++i;
    } else {
      i = mark;
    }
    if (i < format.size() && format[i] == '-') leftAlign = true, ++i;
    if (readNumber(number)) width = number;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!readNumber(number)) number = 0;
      precision = number;
    }
    if (i >= format.size() || next >= argc) throw invalid();
    char type = AsciiLower(format[i++]);
    const TFormatArg& arg = argv[next++];
    std::string text;
    switch (type) {
      case 'd':
      case 'u': {
        bool negative = false;
        uint64_t magnitude;
        if (arg.GetKind() == TFormatArg::kInt) {
          negative = arg.Int() < 0;
          magnitude = negative ? 0 - static_cast<uint64_t>(arg.Int()) : arg.Int();
          if (type == 'u') negative = false, magnitude = static_cast<uint64_t>(arg.Int());
        } else if (arg.GetKind() == TFormatArg::kUInt) {
          magnitude = arg.UInt();
        } else {
          throw invalid();
        }
        text = std::to_string(magnitude);
        if (precision > static_cast<int>(text.size())) text.insert(0, precision - text.size(), '0');
        if (negative) text.insert(0, "-");
        break;
      }
      case 'x':
        if (arg.GetKind() == TFormatArg::kInt)
          text = IntToHex(static_cast<uint64_t>(arg.Int()), precision);
        else if (arg.GetKind() == TFormatArg::kUInt)
          text = IntToHex(arg.UInt(), precision);
        else
          throw invalid();
        break;
      case 'p':
        if (arg.GetKind() != TFormatArg::kPointer) throw invalid();
        text = IntToHex(arg.UInt(), 16);
        break;
      case 's':
        if (arg.GetKind() != TFormatArg::kString) throw invalid();
        text = arg.String();
        if (precision >= 0 && static_cast<size_t>(precision) < text.size()) text.resize(precision);
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        double v;
        if (arg.GetKind() == TFormatArg::kFloat)
          v = arg.Float();
        else
          throw invalid();
        if (type == 'e')
          text = FloatToStrF(v, ffExponent, precision < 0 ? 15 : precision, 3, settings);
        else if (type == 'g')
          text = FloatToStrF(v, ffGeneral, precision < 0 ? 15 : precision, 3, settings);
        else
          text = FloatToStrF(v,
                             type == 'f'   ? ffFixed
                             : type == 'n' ? ffNumber
                                           : ffCurrency,
                             18, precision < 0 ? 2 : precision, settings);
        break;
      }
      default:
        throw invalid();
    }
    if (width > static_cast<int>(text.size())) {
      std::string pad(width - text.size(), ' ');
      text = leftAlign ? text + pad : pad + text;
    }
    out += text;
  }
  return out;
}

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args) {
  return Format(format, args, FormatSettings());
}

std::string FormatThreeDecimals(double value) {
  return Format("%.3f", {value});
}
