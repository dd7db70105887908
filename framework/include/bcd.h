// The packed decimal of the dataset contract: the native value of BCD fields,
// 34 bytes of precision, sign and scale, and up to 64 decimal digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "exceptions.h"
#include "formatsettings.h"
#include "sysutils.h"

/// A decimal number of up to 64 digits. Layout (34 bytes, no padding):
///   Precision          number of digits stored, 1..64
///   SignSpecialPlaces  bit 7: negative; bit 6: special (reserved, kept 0);
///                      bits 0..5: digits after the decimal point (<= Precision)
///   Fraction           the digits as nibbles, most significant first: digit i
///                      is the high nibble of Fraction[i / 2] for even i, the
///                      low nibble for odd i; nibbles past Precision are 0.
/// Values are compared by their number, not their layout: 1.50 (precision 3,
/// 2 places) equals 1.5.
struct TBcd {
  uint8_t Precision = 1;
  uint8_t SignSpecialPlaces = 0;
  uint8_t Fraction[32] = {};

  static constexpr int MaxDigits = 64;
  static constexpr int MaxPlaces = 63;
};
static_assert(sizeof(TBcd) == 34, "TBcd is the 34-byte native value of BCD fields");

/// A packed decimal that cannot hold a value, or text that is no decimal.
class EBcdException : public EConvertError {
 public:
  using EConvertError::EConvertError;
};
/// A value with more digits than a packed decimal holds.
class EBcdOverflowException : public EBcdException {
 public:
  using EBcdException::EBcdException;
};

/// Digits after the decimal point.
inline int BcdScale(const TBcd& bcd) {
  return bcd.SignSpecialPlaces & 0x3F;
}
inline int BcdPrecision(const TBcd& bcd) {
  return bcd.Precision;
}
/// True for a value below zero (a negative zero is not negative).
bool IsBcdNegative(const TBcd& bcd);
bool IsBcdZero(const TBcd& bcd);

/// Plain decimal text: "-" for negative values, the settings' decimal
/// separator, no exponent, no thousands separators, no superfluous zeros
/// ("0", "-12.5", "0.001"). Raises EBcdException "Invalid BCD value" for a
/// malformed layout (precision 0 or above 64, places above precision, a
/// nibble above 9).
std::string BcdToStr(const TBcd& bcd);
std::string BcdToStr(const TBcd& bcd, const TFormatSettings& settings);
/// Fixed-point and number forms: exactly `digits` decimals, rounded half away
/// from zero, ffNumber with thousands separators, ffCurrency with the
/// currency string; exponent form when the integer part has more than
/// `precision` digits (as FloatToStrF). ffGeneral and ffExponent round to
/// `precision` significant digits.
std::string BcdToStrF(const TBcd& bcd, TFloatFormat format, int precision, int digits);
std::string BcdToStrF(const TBcd& bcd, TFloatFormat format, int precision, int digits,
                      const TFormatSettings& settings);

/// Decimal text with optional sign, the settings' decimal separator and an
/// optional exponent ("1.5E3"), surrounding blanks allowed. Leading zeros are
/// dropped, trailing decimals kept ("1.50": precision 3, 2 places); decimals
/// beyond 63 places or 64 digits are rounded off (half away from zero).
/// Raises EBcdException "'%s' is not a valid BCD value" for other text and
/// EBcdOverflowException "BCD overflow" for an integer part above 64 digits.
TBcd StrToBcd(std::string_view text);
TBcd StrToBcd(std::string_view text, const TFormatSettings& settings);
bool TryStrToBcd(std::string_view text, TBcd& bcd);
bool TryStrToBcd(std::string_view text, TBcd& bcd, const TFormatSettings& settings);

/// The shortest decimal that reads back as the same double (0.1 becomes
/// exactly 0.1), rounded as StrToBcd. Raises EBcdOverflowException "BCD
/// overflow" for NaN and infinity.
TBcd DoubleToBcd(double value);
/// The nearest double.
double BcdToDouble(const TBcd& bcd);

TBcd IntegerToBcd(int64_t value);
/// Rounded half away from zero (or truncated); raises EBcdOverflowException
/// "BCD overflow" outside 64 bits.
int64_t BcdToInt64(const TBcd& bcd, bool truncate = false);

/// Exact: precision as given (at least the digits needed), 4 places by default.
TBcd CurrToBCD(Currency value, int precision = 32, int decimals = 4);
/// Rounded half away from zero to four decimals; false outside the currency
/// range.
bool BCDToCurr(const TBcd& bcd, Currency& value);

/// The same number with `places` decimals (rounded half away from zero when
/// decimals are dropped) and at most `precision` digits. Raises
/// EBcdOverflowException "BCD overflow" when the integer part does not fit.
TBcd NormalizeBcd(const TBcd& bcd, int precision, int places);
/// As NormalizeBcd; false instead of raising.
bool TryNormalizeBcd(const TBcd& bcd, int precision, int places, TBcd& result);

/// -1, 0 or 1 by numeric value.
int BcdCompare(const TBcd& a, const TBcd& b);
inline bool operator==(const TBcd& a, const TBcd& b) {
  return BcdCompare(a, b) == 0;
}
inline bool operator<(const TBcd& a, const TBcd& b) {
  return BcdCompare(a, b) < 0;
}

/// Exact sums, differences and products (raise EBcdOverflowException "BCD
/// overflow" past 64 digits; a product's places are capped at 63 by rounding).
TBcd BcdAdd(const TBcd& a, const TBcd& b);
TBcd BcdSubtract(const TBcd& a, const TBcd& b);
TBcd BcdMultiply(const TBcd& a, const TBcd& b);
