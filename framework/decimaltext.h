// Decimal digit strings shared by the float, currency and packed-decimal
// conversions: parsing, rounding half away from zero, and the text forms.
#pragma once

#include <string>
#include <string_view>

#include "formatsettings.h"
#include "sysutils.h"

namespace decimaltext {

/// value = 0.Digits × 10^Point, Digits without leading or trailing zeros;
/// zero has no digits.
struct TDigits {
  bool Negative = false;
  std::string Digits;
  int Point = 0;

  bool IsZero() const { return Digits.empty(); }
};

/// Drops leading and trailing zeros, keeping the value.
void Normalize(TDigits& d);

/// Sign, digits with at most one decimal separator, an optional exponent;
/// blanks (and control characters) around it are skipped. False for anything
/// else.
bool Parse(std::string_view text, char decimalSeparator, TDigits& out);

/// The shortest digits that read back as the same double (finite values).
TDigits FromDouble(double value);

/// Exact digits of a whole number.
TDigits FromInt(int64_t value);
/// Exact digits of a scaled integer: value × 10^-places.
TDigits FromScaled(int64_t value, int places);

/// Rounding half away from zero to `decimals` digits after the point or
/// `count` significant digits.
void RoundToDecimals(TDigits& d, int decimals);
void RoundToSignificant(TDigits& d, int count);

/// Fixed-point text with exactly `decimals` decimals; thousandSeparator 0
/// means no grouping. No sign for a value that is zero after rounding.
std::string FormatFixed(TDigits d, int decimals, char decimalSeparator, char thousandSeparator);

/// d.dddE+xxx with `precision` significant digits (trailing zeros kept when
/// padZeros), the exponent's sign always or only when negative, and at least
/// `expDigits` exponent digits.
std::string FormatExponent(TDigits d, int precision, int expDigits, bool signAlways, bool padZeros,
                           char decimalSeparator);

/// The FloatToStrF forms over digits; maxPrecision caps `precision`.
std::string FormatValue(TDigits d, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings, int maxPrecision);

/// The digits as a double (correctly rounded); false when out of range.
bool ToDouble(const TDigits& d, double& value);

/// The digits rounded to `places` decimals as a whole count of 10^-places;
/// false when it does not fit 64 bits.
bool ToScaled(TDigits d, int places, int64_t& value);

}  // namespace decimaltext
