// The record-image codec: the bytes of each engine field type, their empty
// values, and the conversions to and from SQLite values and caller values.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "sdbstore.h"

namespace sdbstore {

namespace {

constexpr uint64_t kEmptyDouble = 0x8000000000000020ull;  // low word 0x20, high 0x80000000
constexpr uint64_t kEmptyInt64 = 0x8000000000000000ull;
constexpr uint32_t kEmptyInt32 = 0x80000000u;
constexpr uint16_t kEmptyShort = 0x8000u;
constexpr uint32_t kEmptyUInt32 = 0xFFFFFFFFu;
constexpr uint16_t kEmptyWord = 0xFFFFu;

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

uint16_t LengthWord(const FieldDef& f, const uint8_t* image) {
  return Load<uint16_t>(image + f.offset + f.imageLength);
}
void SetLengthWord(const FieldDef& f, uint8_t* image, uint16_t v) {
  Store<uint16_t>(image + f.offset + f.imageLength, v);
}

[[noreturn]] void ColumnError(uint32_t code, const FieldDef& f, const std::string& what) {
  throw StoreError(code, what + " for column \"" + f.name + "\".");
}

[[noreturn]] void TooLong(const FieldDef& f, size_t have, size_t room) {
  ColumnError(kErrValueTooLong, f,
              "The value is too long (" + std::to_string(have) + " where " + std::to_string(room) +
                  " fit)");
}

[[noreturn]] void OutOfRange(const FieldDef& f, const std::string& value) {
  ColumnError(kErrOutOfRange, f, "The value " + value + " is out of range");
}

[[noreturn]] void Invalid(const FieldDef& f, std::string_view text) {
  ColumnError(
      kErrInvalidValue, f,
      "The value '" + std::string(text) + "' is not a valid " + TypeName(f.type) + " value");
}

[[noreturn]] void BlobField(const FieldDef& f) {
  throw StoreError(kErrBadParameter, "The field \"" + f.name +
                                         "\" holds its value outside the record; write it as a "
                                         "blob value.");
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

size_t TrimRight16(const char16_t* p, size_t n) {
  while (n && (p[n - 1] == u' ' || p[n - 1] == 0)) --n;
  return n;
}

// A text value of blanks only is a value, not NULL: it is stored as blanks
// (as many as it had, at least one) and only an empty value is stored NULL.
bool HasBlank(std::string_view s) {
  return s.find(' ') != std::string_view::npos;
}

// Parses "YYYY-MM-DD" at p (size >= 10); julian or false.
bool ParseIsoDate(const char* p, size_t n, int32_t& julian) {
  if (n < 10 || p[4] != '-' || p[7] != '-') return false;
  auto dig = [&](int i) { return p[i] >= '0' && p[i] <= '9'; };
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!dig(i)) return false;
  int y = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
  int m = (p[5] - '0') * 10 + (p[6] - '0');
  int d = (p[8] - '0') * 10 + (p[9] - '0');
  if (!ValidYmd(y, m, d)) return false;  // 02-30 and the like
  julian = JulianFromYmd(y, m, d);
  return true;
}

// Parses "HH:MM[:SS[.fff]]" (p, n), answering milliseconds or -1.
int32_t ParseIsoTime(const char* p, size_t n) {
  // Every stored time has the canonical "HH:MM:SS.mmm": read it by position.
  if (n == 12 && p[2] == ':' && p[5] == ':' && p[8] == '.') {
    unsigned d[9];
    static constexpr int kAt[9] = {0, 1, 3, 4, 6, 7, 9, 10, 11};
    bool digits = true;
    for (int i = 0; i < 9; ++i) {
      d[i] = static_cast<unsigned>(p[kAt[i]] - '0');
      digits &= d[i] <= 9;
    }
    if (digits) {
      unsigned h = d[0] * 10 + d[1], m = d[2] * 10 + d[3], s = d[4] * 10 + d[5];
      if (h > 23 || m > 59 || s > 59) return -1;
      return static_cast<int32_t>(((h * 60 + m) * 60 + s) * 1000 + d[6] * 100 + d[7] * 10 + d[8]);
    }
  }
  auto num = [&](size_t& i, size_t maxDigits, int& out) {
    size_t start = i;
    int v = 0;
    while (i < n && i - start < maxDigits && p[i] >= '0' && p[i] <= '9')
      v = v * 10 + (p[i++] - '0');
    out = v;
    return i > start;
  };
  size_t i = 0;
  int h = 0, m = 0, s = 0, ms = 0;
  if (!num(i, 2, h) || i >= n || p[i] != ':') return -1;
  ++i;
  if (!num(i, 2, m)) return -1;
  if (i < n && p[i] == ':') {
    ++i;
    if (!num(i, 2, s)) return -1;
    if (i < n && (p[i] == '.' || p[i] == ',')) {
      ++i;
      size_t start = i;
      int frac = 0;
      if (!num(i, 3, frac)) return -1;
      for (size_t k = i - start; k < 3; ++k) frac *= 10;
      ms = frac;
      while (i < n && p[i] >= '0' && p[i] <= '9') ++i;  // finer digits are dropped
    }
  }
  while (i < n && p[i] == ' ') ++i;
  if (i + 2 <= n && (p[i] == 'A' || p[i] == 'a' || p[i] == 'P' || p[i] == 'p') &&
      (p[i + 1] == 'M' || p[i + 1] == 'm')) {
    if (h < 1 || h > 12) return -1;
    bool pm = p[i] == 'P' || p[i] == 'p';
    h = h % 12 + (pm ? 12 : 0);
    i += 2;
  }
  while (i < n && p[i] == ' ') ++i;
  if (i != n) return -1;
  if (h > 23 || m > 59 || s > 59) return -1;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

// Writes "YYYY-MM-DD" (10 chars) into out; false for days outside 1..9999.
void Digits(char* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

bool IsoDate(int32_t julian, char* out) {
  int y, m, d;
  if (!YmdFromJulian(julian, y, m, d)) return false;
  Digits(out, y, 4);
  out[4] = '-';
  Digits(out + 5, m, 2);
  out[7] = '-';
  Digits(out + 8, d, 2);
  out[10] = 0;
  return true;
}

// "HH:MM:SS.mmm" (12 chars).
void IsoTime(int32_t ms, char* out) {
  if (ms < 0) ms = 0;
  ms %= static_cast<int32_t>(kMsPerDay);
  Digits(out, ms / 3600000, 2);
  out[2] = ':';
  Digits(out + 3, ms / 60000 % 60, 2);
  out[5] = ':';
  Digits(out + 6, ms / 1000 % 60, 2);
  out[8] = '.';
  Digits(out + 9, ms % 1000, 3);
  out[12] = 0;
}

// Number texts never follow the C locale (a GUI may set a decimal comma).
int FixedText(char* out, size_t room, double v, int decimals) {
  auto r = std::to_chars(out, out + room, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? static_cast<int>(r.ptr - out) : -1;
}
int ShortText(char* out, size_t room, double v) {
  auto r = std::to_chars(out, out + room, v);
  return r.ec == std::errc() ? static_cast<int>(r.ptr - out) : -1;
}

// Writes value / 10^decimals as the text of a NUMERIC(p,s) field (digits by
// hand, at least one before the point); false when it does not fit.
bool FormatScaled(const FieldDef& f, int64_t scaled, char* out /* >= 64 */, int& len) {
  bool neg = scaled < 0;
  uint64_t a = neg ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  char text[32];
  char* const end = text + sizeof text;
  char* q = end;
  for (int i = 0; i < static_cast<int>(f.decimals); ++i, a /= 10)
    *--q = static_cast<char>('0' + a % 10);
  if (f.decimals) *--q = '.';
  // The whole part two digits a step (an ID has a dozen of them).
  static constexpr auto kPairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
      t[2 * i] = static_cast<char>('0' + i / 10);
      t[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return t;
  }();
  for (; a >= 100; a /= 100) {
    q -= 2;
    std::memcpy(q, &kPairs[2 * (a % 100)], 2);
  }
  if (a >= 10) {
    q -= 2;
    std::memcpy(q, &kPairs[2 * a], 2);
  } else {
    *--q = static_cast<char>('0' + a);
  }
  if (neg) *--q = '-';
  len = static_cast<int>(end - q);
  if (static_cast<uint32_t>(len) > f.imageLength) return false;
  std::memcpy(out, q, static_cast<size_t>(len));
  return true;
}

// Formats a numeric into the right-aligned text of a NUMERIC(p,s) field;
// false when it does not fit.
bool FormatNumeric(const FieldDef& f, double v, char* out /* >= 64 */, int& len) {
  if (!std::isfinite(v)) return false;
  static const double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  if (f.decimals <= 9 && std::fabs(v) * kPow10[f.decimals] < 1e15)
    // A scaled integer (halves round away from zero).
    return FormatScaled(f, static_cast<int64_t>(std::llround(v * kPow10[f.decimals])), out, len);
  char buf[400];
  int n = FixedText(buf, sizeof buf, v, static_cast<int>(f.decimals));
  if (n < 0 || n >= static_cast<int>(sizeof buf)) return false;
  // "-0.00" is written as "0.00".
  if (buf[0] == '-') {
    bool zero = true;
    for (int i = 1; i < n; ++i)
      if (buf[i] >= '1' && buf[i] <= '9') zero = false;
    if (zero) {
      std::memmove(buf, buf + 1, n);
      --n;
    }
  }
  if (static_cast<uint32_t>(n) > f.imageLength) return false;
  std::memcpy(out, buf, n);
  len = n;
  return true;
}

void PutNumericText(const FieldDef& f, double v, uint8_t* image) {
  char buf[64];
  int n = 0;
  if (!FormatNumeric(f, v, buf, n)) {
    char shown[64];
    int n2 = ShortText(shown, sizeof shown - 1, v);
    OutOfRange(f, std::string(shown, n2 < 0 ? 0 : n2));
  }
  uint8_t* p = image + f.offset;
  std::memset(p, ' ', f.imageLength - n);
  std::memcpy(p + f.imageLength - n, buf, n);
}

bool ParseDouble(std::string_view text, double& v) {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && p == text.data() + text.size() && std::isfinite(v);
}

bool ParseInt64(std::string_view text, int64_t& v) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && p == text.data() + text.size();
}

// Exact decimal text to ten-thousandths (money); false when not a number or
// too large.
bool ParseMoney(std::string_view text, int64_t& out) {
  text = TrimBlanks(text);
  bool neg = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    neg = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  __int128 v = 0;
  int fracDigits = -1;
  int roundDigit = -1;
  for (char c : text) {
    if (c == '.') {
      if (fracDigits >= 0) return false;
      fracDigits = 0;
      continue;
    }
    if (c < '0' || c > '9') return false;
    if (fracDigits >= 4) {
      if (roundDigit < 0) roundDigit = c - '0';
      continue;
    }
    v = v * 10 + (c - '0');
    if (fracDigits >= 0) ++fracDigits;
    if (v > static_cast<__int128>(std::numeric_limits<int64_t>::max())) return false;
  }
  for (int k = fracDigits < 0 ? 0 : fracDigits; k < 4; ++k) v *= 10;
  if (roundDigit >= 5) v += 1;
  if (neg) v = -v;
  if (v >= static_cast<__int128>(std::numeric_limits<int64_t>::max()) ||
      v <= static_cast<__int128>(std::numeric_limits<int64_t>::min()))
    return false;
  out = static_cast<int64_t>(v);
  return true;
}

bool LogicalFromText(std::string_view text, bool& v) {
  text = TrimBlanks(text);
  static const char* yes[] = {"T", "TRUE", ".T.", "Y", "YES", "1", ".TRUE."};
  static const char* no[] = {"F", "FALSE", ".F.", "N", "NO", "0", ".FALSE."};
  for (const char* s : yes)
    if (EqualNoCase(text, s)) return v = true, true;
  for (const char* s : no)
    if (EqualNoCase(text, s)) return v = false, true;
  return false;
}

// Copies UTF-8 text into a UTF-16 field area of `chars` characters, padding
// with blanks; answers characters stored (the whole text must fit).
size_t Utf8IntoUtf16(const char* s, size_t n, char16_t* dst, size_t chars) {
  size_t out = 0, i = 0;
  while (i < n && out < chars) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < n) {
      cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < n) {
      cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < n) {
      cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
           (s[i + 3] & 0x3F);
      len = 4;
    }
    if (cp >= 0x10000) {
      if (out + 2 > chars) break;
      cp -= 0x10000;
      char16_t hi = static_cast<char16_t>(0xD800 + (cp >> 10));
      char16_t lo = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      std::memcpy(dst + out++, &hi, 2);
      std::memcpy(dst + out++, &lo, 2);
    } else {
      char16_t u = static_cast<char16_t>(cp);
      std::memcpy(dst + out++, &u, 2);
    }
    i += len;
  }
  return out;
}

void FillUtf16Blanks(uint8_t* p, size_t chars) {
  for (size_t i = 0; i < chars; ++i) {
    p[2 * i] = ' ';
    p[2 * i + 1] = 0;
  }
}

// The UTF-16 characters of a Unicode field (unaligned-safe copy).
std::u16string Utf16Of(const uint8_t* p, size_t chars) {
  std::u16string s(chars, u'\0');
  std::memcpy(s.data(), p, chars * 2);
  return s;
}

// Copies a UTF-8 text into an 8-bit field, cutting at a character boundary
// when it does not fit (only for values read from storage).
size_t FitUtf8(const char* s, size_t n, size_t room) {
  if (n <= room) return n;
  size_t k = room;
  while (k > 0 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) --k;
  return k;
}

void DecodeText(const FieldDef& f, const char* s, size_t n, uint8_t* image);
void DecodeNumber(const FieldDef& f, bool isInt, int64_t iv, double dv, uint8_t* image);

}  // namespace

// ---------------------------------------------------------------- empty values

void SetEmpty(const FieldDef& f, uint8_t* image) {
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Logical:
      *p = ' ';
      break;
    case FieldType::Double:
    case FieldType::CurDouble:
      Store<uint64_t>(p, kEmptyDouble);
      break;
    case FieldType::Integer:
      Store<uint32_t>(p, kEmptyInt32);
      break;
    case FieldType::ShortInt:
      Store<uint16_t>(p, kEmptyShort);
      break;
    case FieldType::Time:
    case FieldType::AutoInc:
      Store<uint32_t>(p, kEmptyUInt32);
      break;
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      Store<uint32_t>(p, 0);
      Store<uint32_t>(p + 4, kEmptyUInt32);
      break;
    case FieldType::Money:
    case FieldType::RowVersion:
      Store<uint64_t>(p, kEmptyInt64);
      break;
    case FieldType::VarCharFox:
    case FieldType::VarBinaryFox:
    case FieldType::NVarChar:
      std::memset(p, 0, f.imageLength);
      SetLengthWord(f, image, kEmptyWord);
      break;
    default:
      std::memset(p, 0, f.imageLength);
      break;
  }
}

void InitRecord(const std::vector<FieldDef>& fields, uint8_t* image) {
  for (const FieldDef& f : fields) SetEmpty(f, image);
}

bool IsEmpty(const FieldDef& f, const uint8_t* image) {
  const uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Logical:
      return *p == ' ';
    case FieldType::Numeric:
    case FieldType::Date:
    case FieldType::String:
    case FieldType::CompactDate:
    case FieldType::Raw:
    case FieldType::CIString:
    case FieldType::NChar:
      for (uint32_t i = 0; i < f.imageLength; ++i)
        if (p[i]) return false;
      return true;
    case FieldType::Memo:
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::VarChar:
    case FieldType::NMemo:
      return Load<uint32_t>(p) == 0;
    case FieldType::Double:
    case FieldType::CurDouble:
      return Load<uint64_t>(p) == kEmptyDouble;
    case FieldType::Integer:
      return Load<uint32_t>(p) == kEmptyInt32;
    case FieldType::ShortInt:
      return Load<uint16_t>(p) == kEmptyShort;
    case FieldType::Time:
    case FieldType::AutoInc:
      return Load<uint32_t>(p) == kEmptyUInt32;
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      return Load<uint32_t>(p) == 0;
    case FieldType::Money:
    case FieldType::RowVersion:
      return Load<uint64_t>(p) == kEmptyInt64;
    case FieldType::VarCharFox:
    case FieldType::VarBinaryFox:
    case FieldType::NVarChar:
      return LengthWord(f, image) == kEmptyWord;
    default:
      return true;
  }
}

// ---------------------------------------------------------------- SQLite -> image

namespace {

void DecodeText(const FieldDef& f, const char* s, size_t n, uint8_t* image) {
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::String:
    case FieldType::CIString: {
      std::string_view v = TrimRight(std::string_view(s, n));
      if (v.empty() && !HasBlank(std::string_view(s, n))) return SetEmpty(f, image);
      size_t k = FitUtf8(v.data(), v.size(), f.imageLength);
      std::memcpy(p, v.data(), k);
      std::memset(p + k, ' ', f.imageLength - k);
      return;
    }
    case FieldType::VarCharFox: {
      std::string_view v = TrimRight(std::string_view(s, n));
      if (v.empty() && !HasBlank(std::string_view(s, n))) return SetEmpty(f, image);
      size_t k = FitUtf8(v.data(), v.size(), f.imageLength);
      std::memcpy(p, v.data(), k);
      std::memset(p + k, ' ', f.imageLength - k);
      // Blanks only: their count is the value's length.
      if (v.empty()) k = std::min<size_t>(n, f.imageLength);
      SetLengthWord(f, image, static_cast<uint16_t>(k));
      return;
    }
    case FieldType::VarBinaryFox:
    case FieldType::Raw: {
      if (n == 0) return SetEmpty(f, image);
      size_t k = n < f.imageLength ? n : f.imageLength;
      std::memcpy(p, s, k);
      std::memset(p + k, 0, f.imageLength - k);
      if (f.type == FieldType::VarBinaryFox) SetLengthWord(f, image, static_cast<uint16_t>(k));
      return;
    }
    case FieldType::NChar:
    case FieldType::NVarChar: {
      std::string_view v = TrimRight(std::string_view(s, n));
      if (v.empty() && !HasBlank(std::string_view(s, n))) return SetEmpty(f, image);
      FillUtf16Blanks(p, f.length);
      size_t chars = Utf8IntoUtf16(v.data(), v.size(), reinterpret_cast<char16_t*>(p), f.length);
      if (v.empty()) chars = std::min<size_t>(n, f.length);
      if (f.type == FieldType::NVarChar) SetLengthWord(f, image, static_cast<uint16_t>(chars));
      return;
    }
    case FieldType::Logical: {
      bool b = false;
      if (n == 0) return SetEmpty(f, image);
      if (!LogicalFromText(std::string_view(s, n), b)) b = false;
      *p = b ? 'T' : 'F';
      return;
    }
    case FieldType::Date:
    case FieldType::CompactDate: {
      int32_t j;
      if (!ParseIsoDate(s, n, j)) return SetEmpty(f, image);
      if (f.type == FieldType::Date) {
        Store<int32_t>(p, j);
      } else {
        int y, m, d;
        YmdFromJulian(j, y, m, d);
        uint32_t packed = (static_cast<uint32_t>(y) << 9) | (m << 5) | d;
        p[0] = static_cast<uint8_t>(packed >> 16);
        p[1] = static_cast<uint8_t>(packed >> 8);
        p[2] = static_cast<uint8_t>(packed);
      }
      return;
    }
    case FieldType::Time: {
      int32_t ms = ParseIsoTime(s, n);
      if (ms < 0) return SetEmpty(f, image);
      Store<int32_t>(p, ms);
      return;
    }
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      int32_t j;
      if (!ParseIsoDate(s, n, j)) return SetEmpty(f, image);
      int32_t ms = 0;
      if (n > 10) {
        if (s[10] != ' ' && s[10] != 'T') return SetEmpty(f, image);
        ms = ParseIsoTime(s + 11, n - 11);
        if (ms < 0) return SetEmpty(f, image);
      }
      Store<int32_t>(p, j);
      Store<int32_t>(p + 4, ms);
      return;
    }
    default: {
      // A number written as text by a shell user.
      std::string_view v(s, n);
      int64_t iv;
      double dv;
      if (ParseInt64(v, iv)) return DecodeNumber(f, true, iv, static_cast<double>(iv), image);
      if (ParseDouble(v, dv)) return DecodeNumber(f, false, 0, dv, image);
      return SetEmpty(f, image);
    }
  }
}

void DecodeNumber(const FieldDef& f, bool isInt, int64_t iv, double dv, uint8_t* image) {
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Logical:
      *p = (isInt ? iv != 0 : dv != 0) ? 'T' : 'F';
      return;
    case FieldType::Numeric: {
      char buf[64];
      int n = 0;
      // A whole number below 10^15 scaled is exact as a double, so scaling it
      // here gives the very digits the double path would (no rounding).
      static constexpr uint64_t kWholeBelow[] = {
          1000000000000000ull, 100000000000000ull, 10000000000000ull, 1000000000000ull,
          100000000000ull,     10000000000ull,     1000000000ull,     100000000ull,
          10000000ull,         1000000ull};
      static constexpr int64_t kScale[] = {1,      10,      100,      1000,      10000,
                                           100000, 1000000, 10000000, 100000000, 1000000000};
      bool ok;
      if (isInt && f.decimals <= 9 &&
          (iv < 0 ? 0 - static_cast<uint64_t>(iv) : static_cast<uint64_t>(iv)) <
              kWholeBelow[f.decimals])
        ok = FormatScaled(f, iv * kScale[f.decimals], buf, n);
      else
        ok = FormatNumeric(f, dv, buf, n);
      if (!ok) {
        std::memset(p, '*', f.imageLength);  // cannot be shown in the width
        return;
      }
      std::memset(p, ' ', f.imageLength - n);
      std::memcpy(p + f.imageLength - n, buf, n);
      return;
    }
    case FieldType::Double:
    case FieldType::CurDouble:
      Store<double>(p, dv);
      return;
    case FieldType::Integer:
      if (!isInt) iv = static_cast<int64_t>(std::llround(dv));
      if (iv <= INT32_MIN || iv > INT32_MAX) return SetEmpty(f, image);
      Store<int32_t>(p, static_cast<int32_t>(iv));
      return;
    case FieldType::AutoInc:
      if (!isInt) iv = static_cast<int64_t>(std::llround(dv));
      if (iv < 0 || iv >= 0xFFFFFFFFll) return SetEmpty(f, image);
      Store<uint32_t>(p, static_cast<uint32_t>(iv));
      return;
    case FieldType::ShortInt:
      if (!isInt) iv = static_cast<int64_t>(std::llround(dv));
      if (iv <= INT16_MIN || iv > INT16_MAX) return SetEmpty(f, image);
      Store<int16_t>(p, static_cast<int16_t>(iv));
      return;
    case FieldType::Money: {
      double scaled = isInt ? static_cast<double>(iv) * 10000.0 : dv * 10000.0;
      if (!(std::fabs(scaled) < 9.2e18)) return SetEmpty(f, image);
      Store<int64_t>(p, static_cast<int64_t>(std::llround(scaled)));
      return;
    }
    case FieldType::RowVersion:
      if (!isInt) iv = static_cast<int64_t>(std::llround(dv));
      Store<int64_t>(p, iv);
      return;
    case FieldType::Memo:
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::VarChar:
    case FieldType::NMemo:
      // The select list reads blob fields as length(); 0 means empty.
      Store<uint32_t>(p, iv < 0 ? 0 : static_cast<uint32_t>(iv > 0xFFFFFFFFll ? 0xFFFFFFFFll : iv));
      return;
    default: {
      // A number in a text, date or binary field: take its text form. A type
      // no field can have stays as it is (its text form would come back here).
      if (*TypeName(f.type) == '\0') return;
      char buf[64];
      int n = isInt ? std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(iv))
                    : ShortText(buf, sizeof buf, dv);
      if (n < 0) return SetEmpty(f, image);
      DecodeText(f, buf, static_cast<size_t>(n), image);
      return;
    }
  }
}

}  // namespace

void DecodeColumn(const FieldDef& f, sqlite3_stmt* stmt, int col, uint8_t* image) {
  DecodeValue(f, sqlite3_column_value(stmt, col), image);
}

void DecodeRow(const std::vector<FieldDef>& fields, sqlite3_stmt* stmt, int firstCol,
               uint8_t* image) {
  // One column call a field, each value read through the value calls, which
  // take no lock: the connection's mutex is held once for the row.
  struct Hold {
    sqlite3_mutex* m;
    ~Hold() { sqlite3_mutex_leave(m); }
  } hold{sqlite3_db_mutex(sqlite3_db_handle(stmt))};
  sqlite3_mutex_enter(hold.m);
  int col = firstCol;
  for (const FieldDef& f : fields) DecodeValue(f, sqlite3_column_value(stmt, col++), image);
}

void DecodeValue(const FieldDef& f, sqlite3_value* v, uint8_t* image) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return SetEmpty(f, image);
    case SQLITE_INTEGER: {
      int64_t i = sqlite3_value_int64(v);
      return DecodeNumber(f, true, i, static_cast<double>(i), image);
    }
    case SQLITE_FLOAT:
      return DecodeNumber(f, false, 0, sqlite3_value_double(v), image);
    case SQLITE_TEXT: {
      const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
      size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
      if (IsBlobType(f.type)) {
        Store<uint32_t>(image + f.offset, static_cast<uint32_t>(n));
        return;
      }
      return DecodeText(f, s ? s : "", n, image);
    }
    default: {
      const char* s = static_cast<const char*>(sqlite3_value_blob(v));
      size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
      if (IsBlobType(f.type)) {
        Store<uint32_t>(image + f.offset, static_cast<uint32_t>(n));
        return;
      }
      return DecodeText(f, s ? s : "", n, image);
    }
  }
}

// ---------------------------------------------------------------- image -> SQLite

void BindField(const FieldDef& f, const uint8_t* image, sqlite3_stmt* stmt, int idx) {
  if (IsEmpty(f, image)) {
    sqlite3_bind_null(stmt, idx);
    return;
  }
  const uint8_t* p = image + f.offset;
  char buf[32];
  switch (f.type) {
    case FieldType::Logical: {
      char c = static_cast<char>(*p);
      sqlite3_bind_int(stmt, idx, c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y');
      return;
    }
    case FieldType::Numeric: {
      double v = 0;
      if (!ParseDouble(std::string_view(reinterpret_cast<const char*>(p), f.imageLength), v)) v = 0;
      sqlite3_bind_double(stmt, idx, v);
      return;
    }
    case FieldType::Date:
      if (!IsoDate(Load<int32_t>(p), buf)) return (void)sqlite3_bind_null(stmt, idx);
      sqlite3_bind_text(stmt, idx, buf, 10, SQLITE_TRANSIENT);
      return;
    case FieldType::CompactDate: {
      uint32_t packed = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      int y = static_cast<int>(packed >> 9), m = (packed >> 5) & 15, d = packed & 31;
      if (!ValidYmd(y, m, d)) return (void)sqlite3_bind_null(stmt, idx);
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
      sqlite3_bind_text(stmt, idx, buf, 10, SQLITE_TRANSIENT);
      return;
    }
    case FieldType::String:
    case FieldType::CIString: {
      std::string_view raw(reinterpret_cast<const char*>(p), f.imageLength);
      std::string_view v = TrimRight(raw);
      if (v.empty() && HasBlank(raw)) v = " ";  // blanks: the field pads them again
      if (v.empty()) return (void)sqlite3_bind_null(stmt, idx);
      sqlite3_bind_text(stmt, idx, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
      return;
    }
    case FieldType::VarCharFox: {
      uint16_t n = LengthWord(f, image);
      if (n == kEmptyWord) return (void)sqlite3_bind_null(stmt, idx);
      if (n > f.imageLength) n = static_cast<uint16_t>(f.imageLength);
      std::string_view raw(reinterpret_cast<const char*>(p), n);
      std::string_view v = TrimRight(raw);
      if (v.empty() && HasBlank(raw)) v = raw;  // blanks keep their count
      if (v.empty()) return (void)sqlite3_bind_null(stmt, idx);
      sqlite3_bind_text(stmt, idx, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
      return;
    }
    case FieldType::Raw:
      sqlite3_bind_blob(stmt, idx, p, static_cast<int>(f.imageLength), SQLITE_TRANSIENT);
      return;
    case FieldType::VarBinaryFox: {
      uint16_t n = LengthWord(f, image);
      if (n > f.imageLength) n = static_cast<uint16_t>(f.imageLength);
      sqlite3_bind_blob(stmt, idx, p, n, SQLITE_TRANSIENT);
      return;
    }
    case FieldType::NChar:
    case FieldType::NVarChar: {
      size_t chars = f.length;
      if (f.type == FieldType::NVarChar) {
        uint16_t n = LengthWord(f, image);
        if (n < chars) chars = n;
      }
      if (f.type == FieldType::NVarChar && LengthWord(f, image) == kEmptyWord)
        return (void)sqlite3_bind_null(stmt, idx);
      std::u16string u = Utf16Of(p, chars);
      size_t kept = TrimRight16(u.data(), u.size());
      if (kept == 0 && u.find(u' ') != std::u16string::npos) {
        // Blanks only: a value (nchar pads them again, nvarchar keeps its count).
        if (f.type == FieldType::NChar) u = u" ";
      } else {
        u.resize(kept);
      }
      if (u.empty()) return (void)sqlite3_bind_null(stmt, idx);
      std::string s = Utf16ToUtf8(u);
      sqlite3_bind_text(stmt, idx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      return;
    }
    case FieldType::Double:
    case FieldType::CurDouble:
      sqlite3_bind_double(stmt, idx, Load<double>(p));
      return;
    case FieldType::Integer:
      sqlite3_bind_int(stmt, idx, Load<int32_t>(p));
      return;
    case FieldType::AutoInc:
      sqlite3_bind_int64(stmt, idx, Load<uint32_t>(p));
      return;
    case FieldType::ShortInt:
      sqlite3_bind_int(stmt, idx, Load<int16_t>(p));
      return;
    case FieldType::Time:
      IsoTime(Load<int32_t>(p), buf);
      sqlite3_bind_text(stmt, idx, buf, 12, SQLITE_TRANSIENT);
      return;
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      if (!IsoDate(Load<int32_t>(p), buf)) return (void)sqlite3_bind_null(stmt, idx);
      uint32_t ms = Load<uint32_t>(p + 4);
      buf[10] = ' ';
      IsoTime(ms == kEmptyUInt32 ? 0 : static_cast<int32_t>(ms), buf + 11);
      sqlite3_bind_text(stmt, idx, buf, 23, SQLITE_TRANSIENT);
      return;
    }
    case FieldType::Money:
      sqlite3_bind_double(stmt, idx, static_cast<double>(Load<int64_t>(p)) / 10000.0);
      return;
    case FieldType::RowVersion:
      sqlite3_bind_int64(stmt, idx, Load<int64_t>(p));
      return;
    default:
      sqlite3_bind_null(stmt, idx);
      return;
  }
}

void BindBlob(const FieldDef& f, const std::optional<std::string>& value, sqlite3_stmt* stmt,
              int idx) {
  if (!value || value->empty()) {
    sqlite3_bind_null(stmt, idx);
    return;
  }
  if (f.type == FieldType::VarChar && f.maxLength && value->size() > f.maxLength)
    TooLong(f, value->size(), f.maxLength);
  if (f.type == FieldType::Binary || f.type == FieldType::Image)
    sqlite3_bind_blob64(stmt, idx, value->data(), value->size(), SQLITE_TRANSIENT);
  else
    sqlite3_bind_text64(stmt, idx, value->data(), value->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// ---------------------------------------------------------------- caller values -> image

void PutText(const FieldDef& f, std::string_view text, uint8_t* image,
             std::string_view dateFormat) {
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::String:
    case FieldType::CIString:
    case FieldType::VarCharFox: {
      std::string_view v = TrimRight(text);
      if (v.empty() && !HasBlank(text)) return SetEmpty(f, image);
      if (v.size() > f.imageLength) TooLong(f, v.size(), f.imageLength);
      std::memcpy(p, v.data(), v.size());
      std::memset(p + v.size(), ' ', f.imageLength - v.size());
      size_t length = v.empty() ? std::min<size_t>(text.size(), f.imageLength) : v.size();
      if (f.type == FieldType::VarCharFox) SetLengthWord(f, image, static_cast<uint16_t>(length));
      return;
    }
    case FieldType::NChar:
    case FieldType::NVarChar:
      return PutUtf16(f, Utf8ToUtf16(text), image, dateFormat);
    case FieldType::Raw:
    case FieldType::VarBinaryFox:
      return PutRaw(f, text.data(), text.size(), image);
    case FieldType::Memo:
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::VarChar:
    case FieldType::NMemo:
      BlobField(f);
    default:
      break;
  }
  std::string_view v = TrimBlanks(text);
  if (v.empty()) return SetEmpty(f, image);
  switch (f.type) {
    case FieldType::Logical: {
      bool b;
      if (!LogicalFromText(v, b)) Invalid(f, v);
      return PutLogical(f, b, image);
    }
    case FieldType::Date:
    case FieldType::CompactDate: {
      int32_t j;
      if (!ParseDate(v, dateFormat, j)) Invalid(f, v);
      return PutJulian(f, j, image);
    }
    case FieldType::Time: {
      int32_t ms = ParseIsoTime(v.data(), v.size());
      if (ms < 0) Invalid(f, v);
      return PutMilliseconds(f, ms, image);
    }
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      size_t sep = v.find_first_of(" T");
      // An ISO date holds no blank, but a format may; try the whole text first.
      int32_t j;
      if (ParseDate(v, dateFormat, j)) return PutTimeStamp(f, j, 0, image);
      while (sep != std::string_view::npos) {
        if (ParseDate(v.substr(0, sep), dateFormat, j)) {
          std::string_view t = TrimBlanks(v.substr(sep + 1));
          int32_t ms = ParseIsoTime(t.data(), t.size());
          if (ms < 0) Invalid(f, v);
          return PutTimeStamp(f, j, ms, image);
        }
        sep = v.find_first_of(" T", sep + 1);
      }
      Invalid(f, v);
    }
    case FieldType::Money: {
      int64_t m;
      if (!ParseMoney(v, m)) {
        double d;
        if (ParseDouble(v, d)) OutOfRange(f, std::string(v));
        Invalid(f, v);
      }
      Store<int64_t>(p, m);
      return;
    }
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::AutoInc:
    case FieldType::RowVersion: {
      int64_t i;
      if (ParseInt64(v, i)) return PutInt64(f, i, image);
      double d;
      if (!ParseDouble(v, d)) Invalid(f, v);
      return PutDouble(f, d, image);
    }
    default: {
      double d;
      if (!ParseDouble(v, d)) Invalid(f, v);
      return PutDouble(f, d, image);
    }
  }
}

void PutUtf16(const FieldDef& f, std::u16string_view text, uint8_t* image,
              std::string_view dateFormat) {
  if (f.type != FieldType::NChar && f.type != FieldType::NVarChar)
    return PutText(f, Utf16ToUtf8(text), image, dateFormat);
  size_t n = TrimRight16(text.data(), text.size());
  if (n == 0 && text.find(u' ') == std::u16string_view::npos) return SetEmpty(f, image);
  if (n > f.length) TooLong(f, n, f.length);
  uint8_t* p = image + f.offset;
  FillUtf16Blanks(p, f.length);
  std::memcpy(p, text.data(), n * 2);
  size_t length = n == 0 ? std::min<size_t>(text.size(), f.length) : n;
  if (f.type == FieldType::NVarChar) SetLengthWord(f, image, static_cast<uint16_t>(length));
}

void PutDouble(const FieldDef& f, double value, uint8_t* image) {
  uint8_t* p = image + f.offset;
  auto shown = [&] {
    char b[64];
    int n = ShortText(b, sizeof b, value);
    return std::string(b, n < 0 ? 0 : n);
  };
  if (!std::isfinite(value)) OutOfRange(f, shown());
  switch (f.type) {
    case FieldType::Logical:
      *p = value != 0 ? 'T' : 'F';
      return;
    case FieldType::Numeric:
      return PutNumericText(f, value, image);
    case FieldType::Double:
    case FieldType::CurDouble:
      Store<double>(p, value);
      return;
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::AutoInc:
    case FieldType::RowVersion: {
      double r = std::round(value);
      if (!(std::fabs(r) < 9.2e18)) OutOfRange(f, shown());
      return PutInt64(f, static_cast<int64_t>(r), image);
    }
    case FieldType::Money: {
      double scaled = std::round(value * 10000.0);
      if (!(std::fabs(scaled) < 9.2e18)) OutOfRange(f, shown());
      Store<int64_t>(p, static_cast<int64_t>(scaled));
      return;
    }
    case FieldType::Date:
    case FieldType::CompactDate:
      if (value != std::floor(value) || value < INT32_MIN || value > INT32_MAX)
        OutOfRange(f, shown());
      return PutJulian(f, static_cast<int32_t>(value), image);
    case FieldType::Time:
      if (value < 0 || value >= kMsPerDay) OutOfRange(f, shown());
      return PutMilliseconds(f, static_cast<int32_t>(value), image);
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      // A timestamp number is day number * 86400000 + milliseconds.
      if (value < 0 || value > 9999.0 * 366 * kMsPerDay) OutOfRange(f, shown());
      double days = std::floor(value / kMsPerDay);
      double ms = std::round(value - days * kMsPerDay);
      if (ms >= kMsPerDay) {
        days += 1;
        ms -= kMsPerDay;
      }
      return PutTimeStamp(f, static_cast<int32_t>(days) + kJulianOffset, static_cast<int32_t>(ms),
                          image);
    }
    default: {
      char b[400];
      int n =
          f.decimals ? FixedText(b, sizeof b, value, f.decimals) : ShortText(b, sizeof b, value);
      if (n < 0) OutOfRange(f, shown());
      return PutText(f, std::string_view(b, n), image);
    }
  }
}

void PutInt64(const FieldDef& f, int64_t value, uint8_t* image) {
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Integer:
      if (value <= INT32_MIN || value > INT32_MAX) OutOfRange(f, std::to_string(value));
      Store<int32_t>(p, static_cast<int32_t>(value));
      return;
    case FieldType::ShortInt:
      if (value <= INT16_MIN || value > INT16_MAX) OutOfRange(f, std::to_string(value));
      Store<int16_t>(p, static_cast<int16_t>(value));
      return;
    case FieldType::AutoInc:
      if (value < 0 || value > INT32_MAX) OutOfRange(f, std::to_string(value));
      Store<uint32_t>(p, static_cast<uint32_t>(value));
      return;
    case FieldType::RowVersion:
      if (value == INT64_MIN) OutOfRange(f, std::to_string(value));
      Store<int64_t>(p, value);
      return;
    case FieldType::Money:
      if (value > INT64_MAX / 10000 || value < INT64_MIN / 10000 + 1)
        OutOfRange(f, std::to_string(value));
      Store<int64_t>(p, value * 10000);
      return;
    default:
      return PutDouble(f, static_cast<double>(value), image);
  }
}

void PutLogical(const FieldDef& f, bool value, uint8_t* image) {
  if (f.type == FieldType::Logical) {
    image[f.offset] = value ? 'T' : 'F';
    return;
  }
  PutInt64(f, value ? 1 : 0, image);
}

void PutJulian(const FieldDef& f, int32_t julian, uint8_t* image) {
  uint8_t* p = image + f.offset;
  int y, m, d;
  if (!YmdFromJulian(julian, y, m, d)) OutOfRange(f, std::to_string(julian));
  switch (f.type) {
    case FieldType::Date:
      Store<int32_t>(p, julian);
      return;
    case FieldType::CompactDate: {
      uint32_t packed = (static_cast<uint32_t>(y) << 9) | (m << 5) | d;
      p[0] = static_cast<uint8_t>(packed >> 16);
      p[1] = static_cast<uint8_t>(packed >> 8);
      p[2] = static_cast<uint8_t>(packed);
      return;
    }
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      return PutTimeStamp(f, julian, 0, image);
    default:
      return PutText(f, FormatDate(julian, "CCYY-MM-DD"), image);
  }
}

void PutMilliseconds(const FieldDef& f, int32_t ms, uint8_t* image) {
  if (ms < 0 || ms >= kMsPerDay) OutOfRange(f, std::to_string(ms));
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Time:
      Store<int32_t>(p, ms);
      return;
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      int32_t day = Load<int32_t>(p);
      if (day == 0) {
        // A time alone on an empty timestamp has no date to keep.
        ColumnError(kErrInvalidValue, f, "A time without a date is not a timestamp");
      }
      Store<int32_t>(p + 4, ms);
      return;
    }
    default: {
      char buf[16];
      IsoTime(ms, buf);
      return PutText(f, buf, image);
    }
  }
}

void PutTimeStamp(const FieldDef& f, int32_t julian, int32_t ms, uint8_t* image) {
  int y, m, d;
  if (!YmdFromJulian(julian, y, m, d)) OutOfRange(f, std::to_string(julian));
  if (ms < 0 || ms >= kMsPerDay) OutOfRange(f, std::to_string(ms));
  uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      Store<int32_t>(p, julian);
      Store<int32_t>(p + 4, ms);
      return;
    case FieldType::Date:
    case FieldType::CompactDate:
      return PutJulian(f, julian, image);
    case FieldType::Time:
      return PutMilliseconds(f, ms, image);
    default: {
      char buf[32];
      IsoDate(julian, buf);
      buf[10] = ' ';
      IsoTime(ms, buf + 11);
      return PutText(f, std::string_view(buf, 23), image);
    }
  }
}

void PutRaw(const FieldDef& f, const void* bytes, size_t size, uint8_t* image) {
  uint8_t* p = image + f.offset;
  if (IsBlobType(f.type)) BlobField(f);
  switch (f.type) {
    case FieldType::Raw:
    case FieldType::VarBinaryFox:
      if (size > f.imageLength) TooLong(f, size, f.imageLength);
      if (size == 0) return SetEmpty(f, image);
      std::memcpy(p, bytes, size);
      std::memset(p + size, 0, f.imageLength - size);
      if (f.type == FieldType::VarBinaryFox) SetLengthWord(f, image, static_cast<uint16_t>(size));
      return;
    case FieldType::String:
    case FieldType::CIString:
    case FieldType::VarCharFox:
    case FieldType::Numeric:
      if (size > f.imageLength) TooLong(f, size, f.imageLength);
      std::memcpy(p, bytes, size);
      std::memset(p + size, f.type == FieldType::Numeric ? ' ' : ' ', f.imageLength - size);
      if (f.type == FieldType::VarCharFox) SetLengthWord(f, image, static_cast<uint16_t>(size));
      return;
    default:
      // Fixed binary forms take exactly their image bytes (and the word).
      if (size != f.imageLength && size != f.slotLength) TooLong(f, size, f.imageLength);
      std::memcpy(p, bytes, size);
      return;
  }
}

// ---------------------------------------------------------------- image -> caller values

bool GetText(const FieldDef& f, const uint8_t* image, std::string& out,
             std::string_view dateFormat) {
  out.clear();
  if (IsEmpty(f, image)) return false;
  const uint8_t* p = image + f.offset;
  const char* c = reinterpret_cast<const char*>(p);
  char buf[400];
  switch (f.type) {
    case FieldType::String:
    case FieldType::CIString:
      out.assign(TrimRight(std::string_view(c, f.imageLength)));
      return true;
    case FieldType::VarCharFox: {
      uint16_t n = LengthWord(f, image);
      out.assign(TrimRight(std::string_view(c, n < f.imageLength ? n : f.imageLength)));
      return true;
    }
    case FieldType::Raw:
      out.assign(c, f.imageLength);
      return true;
    case FieldType::VarBinaryFox: {
      uint16_t n = LengthWord(f, image);
      out.assign(c, n < f.imageLength ? n : f.imageLength);
      return true;
    }
    case FieldType::NChar:
    case FieldType::NVarChar: {
      std::u16string u;
      if (!GetUtf16(f, image, u, dateFormat)) return false;
      out = Utf16ToUtf8(u);
      return true;
    }
    case FieldType::Logical: {
      bool b;
      GetLogical(f, image, b);
      out = b ? "T" : "F";
      return true;
    }
    case FieldType::Numeric:
      out.assign(TrimBlanks(std::string_view(c, f.imageLength)));
      return true;
    case FieldType::Date:
    case FieldType::CompactDate: {
      int32_t j;
      if (!GetJulian(f, image, j)) return false;
      out = FormatDate(j, dateFormat);
      return true;
    }
    case FieldType::Time:
      IsoTime(Load<int32_t>(p), buf);
      out = buf;
      return true;
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      uint32_t ms = Load<uint32_t>(p + 4);
      IsoTime(ms == kEmptyUInt32 ? 0 : static_cast<int32_t>(ms), buf);
      out = FormatDate(Load<int32_t>(p), dateFormat) + " " + buf;
      return true;
    }
    case FieldType::Double:
    case FieldType::CurDouble: {
      double v = Load<double>(p);
      if (f.decimals) {
        int n = FixedText(buf, sizeof buf, v, f.decimals);
        out.assign(buf, n < 0 ? 0 : n);
      } else {
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.assign(buf, r.ptr);
      }
      return true;
    }
    case FieldType::Integer:
      out = std::to_string(Load<int32_t>(p));
      return true;
    case FieldType::AutoInc:
      out = std::to_string(Load<uint32_t>(p));
      return true;
    case FieldType::ShortInt:
      out = std::to_string(Load<int16_t>(p));
      return true;
    case FieldType::RowVersion:
      out = std::to_string(Load<int64_t>(p));
      return true;
    case FieldType::Money: {
      int64_t m = Load<int64_t>(p);
      uint64_t a = m < 0 ? 0 - static_cast<uint64_t>(m) : static_cast<uint64_t>(m);
      std::snprintf(buf, sizeof buf, "%s%llu.%04llu", m < 0 ? "-" : "",
                    static_cast<unsigned long long>(a / 10000),
                    static_cast<unsigned long long>(a % 10000));
      out = buf;
      return true;
    }
    default:
      return true;  // blob types: the value is read apart
  }
}

bool GetUtf16(const FieldDef& f, const uint8_t* image, std::u16string& out,
              std::string_view dateFormat) {
  out.clear();
  if (f.type == FieldType::NChar || f.type == FieldType::NVarChar) {
    if (IsEmpty(f, image)) return false;
    size_t chars = f.length;
    if (f.type == FieldType::NVarChar) {
      uint16_t n = LengthWord(f, image);
      if (n < chars) chars = n;
    }
    out = Utf16Of(image + f.offset, chars);
    out.resize(TrimRight16(out.data(), out.size()));
    return true;
  }
  std::string s;
  if (!GetText(f, image, s, dateFormat)) return false;
  out = Utf8ToUtf16(s);
  return true;
}

bool GetDouble(const FieldDef& f, const uint8_t* image, double& out) {
  out = 0;
  if (IsEmpty(f, image)) return false;
  const uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Logical: {
      bool b;
      GetLogical(f, image, b);
      out = b ? 1 : 0;
      return true;
    }
    case FieldType::Numeric:
      if (!ParseDouble(std::string_view(reinterpret_cast<const char*>(p), f.imageLength), out))
        out = 0;
      return true;
    case FieldType::Double:
    case FieldType::CurDouble:
      out = Load<double>(p);
      return true;
    case FieldType::Integer:
      out = Load<int32_t>(p);
      return true;
    case FieldType::AutoInc:
      out = Load<uint32_t>(p);
      return true;
    case FieldType::ShortInt:
      out = Load<int16_t>(p);
      return true;
    case FieldType::Time:
      out = Load<int32_t>(p);
      return true;
    case FieldType::Money:
      out = static_cast<double>(Load<int64_t>(p)) / 10000.0;
      return true;
    case FieldType::RowVersion:
      out = static_cast<double>(Load<int64_t>(p));
      return true;
    case FieldType::Date:
    case FieldType::CompactDate: {
      int32_t j;
      GetJulian(f, image, j);
      out = j;
      return true;
    }
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      uint32_t ms = Load<uint32_t>(p + 4);
      out = static_cast<double>(Load<int32_t>(p) - kJulianOffset) * kMsPerDay +
            (ms == kEmptyUInt32 ? 0 : ms);
      if (!(out >= 0)) out = 0;
      return true;
    }
    default: {
      std::string s;
      GetText(f, image, s);
      if (!ParseDouble(s, out)) out = 0;
      return true;
    }
  }
}

bool GetInt64(const FieldDef& f, const uint8_t* image, int64_t& out) {
  out = 0;
  if (IsEmpty(f, image)) return false;
  const uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::RowVersion:
      out = Load<int64_t>(p);
      return true;
    case FieldType::Integer:
      out = Load<int32_t>(p);
      return true;
    case FieldType::AutoInc:
      out = Load<uint32_t>(p);
      return true;
    case FieldType::ShortInt:
      out = Load<int16_t>(p);
      return true;
    default: {
      double d;
      GetDouble(f, image, d);
      out = static_cast<int64_t>(std::llround(d));
      return true;
    }
  }
}

bool GetLogical(const FieldDef& f, const uint8_t* image, bool& out) {
  out = false;
  if (IsEmpty(f, image)) return false;
  if (f.type == FieldType::Logical) {
    char c = static_cast<char>(image[f.offset]);
    out = c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
    return true;
  }
  if (IsTextType(f.type)) {
    std::string s;
    GetText(f, image, s);
    bool b = false;
    out = LogicalFromText(s, b) && b;
    return true;
  }
  double d;
  GetDouble(f, image, d);
  out = d != 0;
  return true;
}

bool GetJulian(const FieldDef& f, const uint8_t* image, int32_t& out) {
  out = 0;
  if (IsEmpty(f, image)) return false;
  const uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Date:
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      out = Load<int32_t>(p);
      return true;
    case FieldType::CompactDate: {
      uint32_t packed = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      int y = static_cast<int>(packed >> 9), m = (packed >> 5) & 15, d = packed & 31;
      if (!ValidYmd(y, m, d)) return false;  // bytes written by hand
      out = JulianFromYmd(y, m, d);
      return true;
    }
    default:
      return false;
  }
}

bool GetMilliseconds(const FieldDef& f, const uint8_t* image, int32_t& out) {
  out = 0;
  if (IsEmpty(f, image)) return false;
  const uint8_t* p = image + f.offset;
  switch (f.type) {
    case FieldType::Time:
      out = Load<int32_t>(p);
      return true;
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      uint32_t ms = Load<uint32_t>(p + 4);
      out = ms == kEmptyUInt32 ? 0 : static_cast<int32_t>(ms);
      return true;
    }
    default:
      return false;
  }
}

uint32_t DataLength(const FieldDef& f, const uint8_t* image) {
  if (IsEmpty(f, image)) return 0;
  const uint8_t* p = image + f.offset;
  const char* c = reinterpret_cast<const char*>(p);
  switch (f.type) {
    case FieldType::String:
    case FieldType::CIString:
      return static_cast<uint32_t>(TrimRight(std::string_view(c, f.imageLength)).size());
    case FieldType::VarCharFox:
    case FieldType::VarBinaryFox:
      return LengthWord(f, image);
    case FieldType::NChar: {
      std::u16string u = Utf16Of(p, f.length);
      return static_cast<uint32_t>(TrimRight16(u.data(), u.size()));
    }
    case FieldType::NVarChar:
      return LengthWord(f, image);
    case FieldType::Memo:
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::VarChar:
    case FieldType::NMemo:
      return Load<uint32_t>(p);
    default:
      return f.imageLength;
  }
}

// ---------------------------------------------------------------- canonical time text

std::string CanonicalTimeText(std::string_view text) {
  auto digits = [&](size_t at, size_t n) {
    if (at + n > text.size()) return false;
    for (size_t i = at; i < at + n; ++i)
      if (text[i] < '0' || text[i] > '9') return false;
    return true;
  };
  // The time part at `at`: HH:MM, then optionally :SS and .fraction.
  auto time = [&](size_t at, std::string& out) {
    if (!digits(at, 2) || at + 5 > text.size() || text[at + 2] != ':' || !digits(at + 3, 2))
      return false;
    std::string hm(text.substr(at, 5));
    size_t i = at + 5;
    std::string ss = "00", ms = "000";
    if (i < text.size()) {
      if (text[i] != ':' || !digits(i + 1, 2)) return false;
      ss = std::string(text.substr(i + 1, 2));
      i += 3;
      if (i < text.size()) {
        if (text[i] != '.') return false;
        size_t n = text.size() - i - 1;
        if (n == 0 || !digits(i + 1, n)) return false;
        ms = std::string(text.substr(i + 1, std::min<size_t>(n, 3)));
        ms.append(3 - ms.size(), '0');
      }
    }
    out = hm + ":" + ss + "." + ms;
    return true;
  };
  std::string out;
  if (text.size() >= 16 && digits(0, 4) && text[4] == '-' && digits(5, 2) && text[7] == '-' &&
      digits(8, 2) && text[10] == ' ' && time(11, out))
    return std::string(text.substr(0, 11)) + out;
  if (text.size() >= 5 && text.size() <= 18 && time(0, out)) return out;
  return std::string(text);
}

}  // namespace sdbstore
