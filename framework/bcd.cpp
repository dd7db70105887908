// The packed decimal: layout checks, text and number conversions, and exact
// arithmetic on digit strings.
#include "bcd.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "decimaltext.h"

using decimaltext::TDigits;

namespace {

constexpr uint8_t kNegative = 0x80;

[[noreturn]] void Overflow() {
  throw EBcdOverflowException("BCD overflow");
}

int Nibble(const TBcd& bcd, int index) {
  uint8_t byte = bcd.Fraction[index / 2];
  return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

bool IsValid(const TBcd& bcd) {
  if (bcd.Precision < 1 || bcd.Precision > TBcd::MaxDigits) return false;
  if (BcdScale(bcd) > bcd.Precision) return false;
  for (int i = 0; i < bcd.Precision; ++i)
    if (Nibble(bcd, i) > 9) return false;
  return true;
}

// The value as normalised digits.
TDigits ToDigits(const TBcd& bcd) {
  if (!IsValid(bcd)) throw EBcdException("Invalid BCD value");
  TDigits d;
  d.Negative = (bcd.SignSpecialPlaces & kNegative) != 0;
  d.Digits.reserve(bcd.Precision);
  for (int i = 0; i < bcd.Precision; ++i)
    d.Digits.push_back(static_cast<char>('0' + Nibble(bcd, i)));
  d.Point = bcd.Precision - BcdScale(bcd);
  decimaltext::Normalize(d);
  return d;
}

// Packs digits with exactly `places` decimals and at least `precision` digits
// in all; false when the integer part does not fit.
bool Pack(TDigits d, int precision, int places, TBcd& out) {
  decimaltext::RoundToDecimals(d, places);
  int intDigits = d.IsZero() ? 0 : std::max(0, d.Point);
  int total = std::max({intDigits + places, precision, 1});
  if (total > TBcd::MaxDigits || places > TBcd::MaxPlaces) return false;
  TBcd bcd;
  bcd.Precision = static_cast<uint8_t>(total);
  bcd.SignSpecialPlaces = static_cast<uint8_t>(places);
  if (d.Negative && !d.IsZero()) bcd.SignSpecialPlaces |= kNegative;
  // Digit i of the packed number stands for 10^(total - places - 1 - i).
  int firstPoint = total - places;  // the packed number's Point
  for (int i = 0; i < total; ++i) {
    long index = static_cast<long>(i) - (firstPoint - d.Point);
    int digit =
        index >= 0 && index < static_cast<long>(d.Digits.size()) ? d.Digits[index] - '0' : 0;
    bcd.Fraction[i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? digit << 4 : digit);
  }
  out = bcd;
  return true;
}

// Packs digits keeping their own decimals, dropping what does not fit.
TBcd PackNatural(TDigits d) {
  int places = std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
  int intDigits = d.IsZero() ? 0 : std::max(0, d.Point);
  if (intDigits > TBcd::MaxDigits) Overflow();
  places = std::min({places, TBcd::MaxPlaces, TBcd::MaxDigits - intDigits});
  TBcd bcd;
  if (!Pack(d, 0, places, bcd)) Overflow();
  return bcd;
}

// Exact integer arithmetic on the digits aligned to a common scale.
struct TAligned {
  std::string A, B;  // same length, no sign
  int Places;
};

TAligned Align(const TDigits& a, const TDigits& b) {
  auto fracOf = [](const TDigits& d) {
    return std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
  };
  auto intOf = [](const TDigits& d) { return d.IsZero() ? 0 : std::max(0, d.Point); };
  int places = std::max(fracOf(a), fracOf(b));
  int ints = std::max(intOf(a), intOf(b));
  auto render = [&](const TDigits& d) {
    std::string s(ints + places, '0');
    for (size_t i = 0; i < d.Digits.size(); ++i) {
      long pos = static_cast<long>(ints) - d.Point + static_cast<long>(i);
      s[pos] = d.Digits[i];
    }
    return s;
  };
  return {render(a), render(b), places};
}

int CompareMagnitude(const std::string& a, const std::string& b) {
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::string AddMagnitude(const std::string& a, const std::string& b) {
  std::string r(a.size() + 1, '0');
  int carry = 0;
  for (long i = static_cast<long>(a.size()) - 1; i >= 0; --i) {
    int s = (a[i] - '0') + (b[i] - '0') + carry;
    r[i + 1] = static_cast<char>('0' + s % 10);
    carry = s / 10;
  }
  r[0] = static_cast<char>('0' + carry);
  return r;
}

// a >= b
std::string SubtractMagnitude(const std::string& a, const std::string& b) {
  std::string r(a.size(), '0');
  int borrow = 0;
  for (long i = static_cast<long>(a.size()) - 1; i >= 0; --i) {
    int s = (a[i] - '0') - (b[i] - '0') - borrow;
    borrow = s < 0;
    r[i] = static_cast<char>('0' + (s + 10) % 10);
  }
  return r;
}

TDigits FromMagnitude(bool negative, std::string digits, int places) {
  TDigits d;
  d.Negative = negative;
  d.Point = static_cast<int>(digits.size()) - places;
  d.Digits = std::move(digits);
  decimaltext::Normalize(d);
  return d;
}

TDigits AddDigits(TDigits a, TDigits b) {
  TAligned al = Align(a, b);
  if (a.Negative == b.Negative)
    return FromMagnitude(a.Negative, AddMagnitude(al.A, al.B), al.Places);
  int c = CompareMagnitude(al.A, al.B);
  if (c >= 0) return FromMagnitude(a.Negative, SubtractMagnitude(al.A, al.B), al.Places);
  return FromMagnitude(b.Negative, SubtractMagnitude(al.B, al.A), al.Places);
}

}  // namespace

bool IsBcdNegative(const TBcd& bcd) {
  TDigits d = ToDigits(bcd);
  return d.Negative && !d.IsZero();
}

bool IsBcdZero(const TBcd& bcd) {
  return ToDigits(bcd).IsZero();
}

std::string BcdToStr(const TBcd& bcd, const TFormatSettings& settings) {
  TDigits d = ToDigits(bcd);
  int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
  return decimaltext::FormatFixed(d, decimals, settings.DecimalSeparator, 0);
}

std::string BcdToStr(const TBcd& bcd) {
  return BcdToStr(bcd, FormatSettings());
}

std::string BcdToStrF(const TBcd& bcd, TFloatFormat format, int precision, int digits,
                      const TFormatSettings& settings) {
  return decimaltext::FormatValue(ToDigits(bcd), format, precision, digits, settings,
                                  TBcd::MaxDigits);
}

std::string BcdToStrF(const TBcd& bcd, TFloatFormat format, int precision, int digits) {
  return BcdToStrF(bcd, format, precision, digits, FormatSettings());
}

bool TryStrToBcd(std::string_view text, TBcd& bcd, const TFormatSettings& settings) {
  TDigits d;
  if (!decimaltext::Parse(text, settings.DecimalSeparator, d)) return false;
  // Keep the decimals as written ("1.50" has two), not just the significant ones.
  std::string_view t = text;
  size_t sep = t.find(settings.DecimalSeparator);
  int written = 0;
  if (sep != std::string_view::npos && t.find_first_of("eE") == std::string_view::npos) {
    for (size_t i = sep + 1; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++written;
  }
  int intDigits = d.IsZero() ? 0 : std::max(0, d.Point);
  if (intDigits > TBcd::MaxDigits) return false;
  int natural = std::max(0, static_cast<int>(d.Digits.size()) - d.Point);
  int places = std::min({std::max(natural, written), TBcd::MaxPlaces, TBcd::MaxDigits - intDigits});
  return Pack(d, 0, places, bcd);
}

bool TryStrToBcd(std::string_view text, TBcd& bcd) {
  return TryStrToBcd(text, bcd, FormatSettings());
}

TBcd StrToBcd(std::string_view text, const TFormatSettings& settings) {
  TDigits d;
  if (!decimaltext::Parse(text, settings.DecimalSeparator, d))
    throw EBcdException(Format("'%s' is not a valid BCD value", {text}));
  TBcd bcd;
  if (!TryStrToBcd(text, bcd, settings)) Overflow();
  return bcd;
}

TBcd StrToBcd(std::string_view text) {
  return StrToBcd(text, FormatSettings());
}

TBcd DoubleToBcd(double value) {
  if (!std::isfinite(value)) Overflow();
  return PackNatural(decimaltext::FromDouble(value));
}

double BcdToDouble(const TBcd& bcd) {
  double value = 0;
  decimaltext::ToDouble(ToDigits(bcd), value);  // 64 digits always fit a double
  return value;
}

TBcd IntegerToBcd(int64_t value) {
  return PackNatural(decimaltext::FromInt(value));
}

int64_t BcdToInt64(const TBcd& bcd, bool truncate) {
  TDigits d = ToDigits(bcd);
  if (truncate && d.Point < static_cast<int>(d.Digits.size()))
    d.Digits.resize(std::max(0, d.Point)), decimaltext::Normalize(d);
  int64_t value;
  if (!decimaltext::ToScaled(d, 0, value)) Overflow();
  return value;
}

TBcd CurrToBCD(Currency value, int precision, int decimals) {
  TBcd bcd;
  if (!Pack(decimaltext::FromScaled(value.Scaled, 4), std::clamp(precision, 1, TBcd::MaxDigits),
            std::clamp(decimals, 0, TBcd::MaxPlaces), bcd))
    Overflow();
  return bcd;
}

bool BCDToCurr(const TBcd& bcd, Currency& value) {
  return decimaltext::ToScaled(ToDigits(bcd), 4, value.Scaled);
}

bool TryNormalizeBcd(const TBcd& bcd, int precision, int places, TBcd& result) {
  if (precision < 1 || precision > TBcd::MaxDigits || places < 0 || places > precision)
    return false;
  TDigits d = ToDigits(bcd);
  decimaltext::RoundToDecimals(d, places);
  if (!d.IsZero() && d.Point > precision - places) return false;
  return Pack(d, precision, places, result);
}

TBcd NormalizeBcd(const TBcd& bcd, int precision, int places) {
  TBcd result;
  if (!TryNormalizeBcd(bcd, precision, places, result)) Overflow();
  return result;
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  TDigits x = ToDigits(a), y = ToDigits(b);
  if (x.IsZero()) x.Negative = false;
  if (y.IsZero()) y.Negative = false;
  if (x.Negative != y.Negative) return x.Negative ? -1 : 1;
  TAligned al = Align(x, y);
  int c = CompareMagnitude(al.A, al.B);
  return x.Negative ? -c : c;
}

TBcd BcdAdd(const TBcd& a, const TBcd& b) {
  return PackNatural(AddDigits(ToDigits(a), ToDigits(b)));
}

TBcd BcdSubtract(const TBcd& a, const TBcd& b) {
  TDigits y = ToDigits(b);
  y.Negative = !y.Negative;
  return PackNatural(AddDigits(ToDigits(a), y));
}

TBcd BcdMultiply(const TBcd& a, const TBcd& b) {
  TDigits x = ToDigits(a), y = ToDigits(b);
  if (x.IsZero() || y.IsZero()) return IntegerToBcd(0);
  std::vector<int> product(x.Digits.size() + y.Digits.size(), 0);
  for (size_t i = 0; i < x.Digits.size(); ++i)
    for (size_t j = 0; j < y.Digits.size(); ++j)
      product[i + j + 1] += (x.Digits[i] - '0') * (y.Digits[j] - '0');
  for (size_t k = product.size() - 1; k > 0; --k) {
    product[k - 1] += product[k] / 10;
    product[k] %= 10;
  }
  TDigits r;
  r.Negative = x.Negative != y.Negative;
  for (int digit : product) r.Digits.push_back(static_cast<char>('0' + digit));
  r.Point = x.Point + y.Point;
  decimaltext::Normalize(r);
  return PackNatural(r);
}
