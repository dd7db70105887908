// Field types of the engine: names, SQLite declarations, layout; dates and UTF-16.
#include <cctype>
#include <charconv>
#include <cstring>

#include "sdbstore.h"

namespace sdbstore {

namespace {

enum class Params { None, Length, OptLength, Scale, OptDecimals };

struct TypeRow {
  FieldType type;
  const char* name;
  const char* decl;
  Params params;
};

// Spellings accepted in DDL; the first row of a type is its canonical name.
const TypeRow kTypes[] = {
    {FieldType::Logical, "LOGICAL", "INTEGER", Params::None},
    {FieldType::Logical, "BOOLEAN", "INTEGER", Params::None},
    {FieldType::Numeric, "NUMERIC", "REAL", Params::Scale},
    {FieldType::Numeric, "DECIMAL", "REAL", Params::Scale},
    {FieldType::Date, "DATE", "TEXT", Params::None},
    {FieldType::String, "CHAR", "TEXT", Params::Length},
    {FieldType::String, "CHARACTER", "TEXT", Params::Length},
    {FieldType::Memo, "MEMO", "TEXT", Params::None},
    {FieldType::Binary, "BLOB", "BLOB", Params::None},
    {FieldType::Binary, "BINARY", "BLOB", Params::None},
    {FieldType::Image, "IMAGE", "BLOB", Params::None},
    {FieldType::VarChar, "VARCHAR", "TEXT", Params::OptLength},
    {FieldType::CompactDate, "COMPACTDATE", "TEXT", Params::None},
    {FieldType::Double, "DOUBLE", "REAL", Params::OptDecimals},
    {FieldType::Integer, "INTEGER", "INTEGER", Params::None},
    {FieldType::Integer, "INT", "INTEGER", Params::None},
    {FieldType::ShortInt, "SHORT", "INTEGER", Params::None},
    {FieldType::ShortInt, "SHORTINT", "INTEGER", Params::None},
    {FieldType::ShortInt, "SMALLINT", "INTEGER", Params::None},
    {FieldType::Time, "TIME", "TEXT", Params::None},
    {FieldType::TimeStamp, "TIMESTAMP", "TEXT", Params::None},
    {FieldType::AutoInc, "AUTOINC", "INTEGER", Params::None},
    {FieldType::Raw, "RAW", "BLOB", Params::Length},
    {FieldType::CurDouble, "CURDOUBLE", "REAL", Params::OptDecimals},
    {FieldType::Money, "MONEY", "REAL", Params::None},
    {FieldType::CIString, "CICHAR", "TEXT COLLATE NOCASE", Params::Length},
    {FieldType::RowVersion, "ROWVERSION", "INTEGER", Params::None},
    {FieldType::ModTime, "MODTIME", "TEXT", Params::None},
    {FieldType::VarCharFox, "VARCHARFOX", "TEXT", Params::Length},
    {FieldType::VarBinaryFox, "VARBINARY", "BLOB", Params::Length},
    {FieldType::NChar, "NCHAR", "TEXT", Params::Length},
    {FieldType::NVarChar, "NVARCHAR", "TEXT", Params::Length},
    {FieldType::NMemo, "NMEMO", "TEXT", Params::None},
};

const TypeRow* RowOf(FieldType t) {
  for (const TypeRow& r : kTypes)
    if (r.type == t) return &r;
  return nullptr;
}

[[noreturn]] void BadType(std::string_view spelling, const std::string& why) {
  throw StoreError(kErrSql,
                   "Error 7200:  State = 42000;   NativeError = 1;  Invalid field type \"" +
                       std::string(spelling) + "\": " + why,
                   1);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool ParseUInt(std::string_view s, uint32_t& out) {
  s = Trim(s);
  if (s.empty()) return false;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace

bool IsBlobType(FieldType t) {
  switch (t) {
    case FieldType::Memo:
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::VarChar:
    case FieldType::NMemo:
      return true;
    default:
      return false;
  }
}

bool HasLengthWord(FieldType t) {
  return t == FieldType::VarCharFox || t == FieldType::VarBinaryFox || t == FieldType::NVarChar;
}

bool IsTextType(FieldType t) {
  switch (t) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::VarChar:
    case FieldType::CIString:
    case FieldType::VarCharFox:
    case FieldType::NChar:
    case FieldType::NVarChar:
    case FieldType::NMemo:
      return true;
    default:
      return false;
  }
}

const char* TypeName(FieldType t) {
  const TypeRow* r = RowOf(t);
  return r ? r->name : "";
}

const char* SqliteDeclaration(FieldType t) {
  const TypeRow* r = RowOf(t);
  return r ? r->decl : "";
}

FieldDef ParseTypeName(std::string_view spelling) {
  std::string_view s = Trim(spelling);
  size_t open = s.find('(');
  std::string_view word = Trim(s.substr(0, open));
  std::string args;
  if (open != std::string_view::npos) {
    size_t close = s.rfind(')');
    if (close == std::string_view::npos || close < open || !Trim(s.substr(close + 1)).empty())
      BadType(spelling, "unbalanced parentheses.");
    args = std::string(s.substr(open + 1, close - open - 1));
  }
  const TypeRow* row = nullptr;
  for (const TypeRow& r : kTypes)
    if (EqualNoCase(word, r.name)) {
      row = &r;
      break;
    }
  if (!row) BadType(spelling, "unknown type name.");

  std::vector<uint32_t> nums;
  if (open != std::string_view::npos) {
    std::string_view a = args;
    while (true) {
      size_t comma = a.find(',');
      uint32_t v = 0;
      if (!ParseUInt(a.substr(0, comma), v)) BadType(spelling, "a length must be a whole number.");
      nums.push_back(v);
      if (comma == std::string_view::npos) break;
      a.remove_prefix(comma + 1);
    }
  }

  FieldDef f;
  f.type = row->type;
  auto needCount = [&](size_t lo, size_t hi) {
    if (nums.size() < lo || nums.size() > hi)
      BadType(spelling,
              lo == hi && lo == 0 ? "the type takes no length." : "wrong number of length values.");
  };
  switch (row->params) {
    case Params::None:
      needCount(0, 0);
      break;
    case Params::Length:
      needCount(1, 1);
      f.length = nums[0];
      break;
    case Params::OptLength:
      needCount(0, 1);
      f.maxLength = nums.empty() ? 0 : nums[0];
      if (!nums.empty() && nums[0] == 0) BadType(spelling, "the length must be at least 1.");
      break;
    case Params::Scale:
      needCount(1, 2);
      f.length = nums[0];
      f.decimals = nums.size() > 1 ? static_cast<uint16_t>(nums[1]) : 0;
      if (f.length < 1 || f.length > 32) BadType(spelling, "the precision must be 1 to 32.");
      if (f.decimals > 0 && f.decimals + 2u > f.length)
        BadType(spelling, "the scale leaves no room for the digits and the point.");
      break;
    case Params::OptDecimals:
      needCount(0, 1);
      f.decimals = nums.empty() ? 0 : static_cast<uint16_t>(nums[0]);
      if (f.decimals > 15) BadType(spelling, "at most 15 decimals.");
      break;
  }
  switch (f.type) {
    case FieldType::String:
    case FieldType::CIString:
    case FieldType::Raw:
      if (f.length < 1 || f.length > 65530) BadType(spelling, "the length must be 1 to 65530.");
      break;
    case FieldType::VarCharFox:
    case FieldType::VarBinaryFox:
      if (f.length < 1 || f.length > 65530) BadType(spelling, "the length must be 1 to 65530.");
      break;
    case FieldType::NChar:
    case FieldType::NVarChar:
      if (f.length < 1 || f.length > 32765) BadType(spelling, "the length must be 1 to 32765.");
      break;
    default:
      break;
  }
  return f;
}

std::string TypeSpelling(const FieldDef& f) {
  std::string s = TypeName(f.type);
  switch (f.type) {
    case FieldType::String:
    case FieldType::CIString:
    case FieldType::Raw:
    case FieldType::VarCharFox:
    case FieldType::VarBinaryFox:
    case FieldType::NChar:
    case FieldType::NVarChar:
      s += "(" + std::to_string(f.length) + ")";
      break;
    case FieldType::VarChar:
      if (f.maxLength) s += "(" + std::to_string(f.maxLength) + ")";
      break;
    case FieldType::Numeric:
      s += "(" + std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
      break;
    case FieldType::Double:
    case FieldType::CurDouble:
      if (f.decimals) s += "(" + std::to_string(f.decimals) + ")";
      break;
    default:
      break;
  }
  return s;
}

uint32_t ComputeLayout(std::vector<FieldDef>& fields) {
  uint32_t offset = 0;
  uint16_t number = 0;
  for (FieldDef& f : fields) {
    uint32_t image = 0;
    switch (f.type) {
      case FieldType::Logical:
        image = 1;
        break;
      case FieldType::Numeric:
        image = f.length;
        break;
      case FieldType::Date:
        image = 4;
        break;
      case FieldType::String:
      case FieldType::CIString:
      case FieldType::Raw:
      case FieldType::VarCharFox:
      case FieldType::VarBinaryFox:
        image = f.length;
        break;
      case FieldType::Memo:
      case FieldType::Binary:
      case FieldType::Image:
      case FieldType::VarChar:
      case FieldType::NMemo:
        image = 4;
        break;
      case FieldType::CompactDate:
        image = 3;
        break;
      case FieldType::Double:
      case FieldType::CurDouble:
      case FieldType::Money:
      case FieldType::RowVersion:
      case FieldType::TimeStamp:
      case FieldType::ModTime:
        image = 8;
        break;
      case FieldType::Integer:
      case FieldType::AutoInc:
      case FieldType::Time:
        image = 4;
        break;
      case FieldType::ShortInt:
        image = 2;
        break;
      case FieldType::NChar:
      case FieldType::NVarChar:
        image = 2 * f.length;
        break;
      default:
        image = 0;
        break;
    }
    // The reported length: the image bytes, but characters for the Unicode
    // types and the 4-byte indicator for blobs (VARCHAR keeps its limit apart).
    if (f.type == FieldType::NChar || f.type == FieldType::NVarChar) {
      // length already in characters
    } else if (f.type == FieldType::VarChar) {
      f.length = 4;
    } else {
      if (f.type != FieldType::VarCharFox && f.type != FieldType::VarBinaryFox) f.length = image;
      if (!f.maxLength)
        f.maxLength = f.type == FieldType::Memo || f.type == FieldType::Binary ||
                              f.type == FieldType::Image || f.type == FieldType::NMemo
                          ? 0
                          : f.length;
    }
    f.number = ++number;
    f.offset = offset;
    f.imageLength = image;
    f.slotLength = image + (HasLengthWord(f.type) ? 2 : 0);
    offset += f.slotLength;
  }
  return offset;
}

// ---------------------------------------------------------------- dates

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
constexpr int32_t kJulianOfUnixEpoch = 2440588;

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}
}  // namespace

bool ValidYmd(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

int32_t JulianFromYmd(int year, int month, int day) {
  return static_cast<int32_t>(DaysFromCivil(year, month, day) + kJulianOfUnixEpoch);
}

bool YmdFromJulian(int32_t julian, int& year, int& month, int& day) {
  int64_t z = static_cast<int64_t>(julian) - kJulianOfUnixEpoch + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t yy = y + (m <= 2);
  if (yy < 1 || yy > 9999) return false;
  year = static_cast<int>(yy);
  month = static_cast<int>(m);
  day = static_cast<int>(d);
  return true;
}

std::string FormatDate(int32_t julian, std::string_view format) {
  int y, m, d;
  if (!YmdFromJulian(julian, y, m, d)) return {};
  std::string out;
  char buf[8];
  for (size_t i = 0; i < format.size();) {
    std::string_view rest = format.substr(i);
    auto starts = [&](const char* tok) {
      size_t n = std::strlen(tok);
      return rest.size() >= n && EqualNoCase(rest.substr(0, n), tok);
    };
    if (starts("CCYY") || starts("YYYY")) {
      std::snprintf(buf, sizeof buf, "%04d", y);
      out += buf;
      i += 4;
    } else if (starts("YY")) {
      std::snprintf(buf, sizeof buf, "%02d", y % 100);
      out += buf;
      i += 2;
    } else if (starts("MM")) {
      std::snprintf(buf, sizeof buf, "%02d", m);
      out += buf;
      i += 2;
    } else if (starts("DD")) {
      std::snprintf(buf, sizeof buf, "%02d", d);
      out += buf;
      i += 2;
    } else {
      out += format[i++];
    }
  }
  return out;
}

bool ParseDate(std::string_view text, std::string_view format, int32_t& julian) {
  text = Trim(text);
  if (text.empty()) return false;
  auto valid = [&](int y, int m, int d) {
    if (!ValidYmd(y, m, d)) return false;
    julian = JulianFromYmd(y, m, d);
    return true;
  };
  auto digits = [](std::string_view s) {
    for (char c : s)
      if (c < '0' || c > '9') return false;
    return true;
  };
  // ISO 'YYYY-MM-DD' and the eight digits CCYYMMDD are always understood.
  if (text.size() == 10 && text[4] == '-' && text[7] == '-' && digits(text.substr(0, 4)) &&
      digits(text.substr(5, 2)) && digits(text.substr(8, 2))) {
    return valid(std::stoi(std::string(text.substr(0, 4))),
                 std::stoi(std::string(text.substr(5, 2))),
                 std::stoi(std::string(text.substr(8, 2))));
  }
  if (text.size() == 8 && digits(text)) {
    return valid(std::stoi(std::string(text.substr(0, 4))),
                 std::stoi(std::string(text.substr(4, 2))),
                 std::stoi(std::string(text.substr(6, 2))));
  }
  int y = -1, m = -1, d = -1;
  size_t ti = 0;
  auto readNum = [&](size_t maxDigits, int& out) {
    size_t start = ti;
    int v = 0;
    while (ti < text.size() && ti - start < maxDigits && text[ti] >= '0' && text[ti] <= '9')
      v = v * 10 + (text[ti++] - '0');
    if (ti == start) return false;
    out = v;
    return true;
  };
  for (size_t i = 0; i < format.size();) {
    std::string_view rest = format.substr(i);
    auto starts = [&](const char* tok) {
      size_t n = std::strlen(tok);
      return rest.size() >= n && EqualNoCase(rest.substr(0, n), tok);
    };
    if (starts("CCYY") || starts("YYYY")) {
      if (!readNum(4, y)) return false;
      i += 4;
    } else if (starts("YY")) {
      size_t start = ti;
      if (!readNum(4, y)) return false;
      if (ti - start <= 2) y += y < 50 ? 2000 : 1900;
      i += 2;
    } else if (starts("MM")) {
      if (!readNum(2, m)) return false;
      i += 2;
    } else if (starts("DD")) {
      if (!readNum(2, d)) return false;
      i += 2;
    } else {
      // A separator in the format matches any one non-digit in the text.
      if (ti >= text.size() || (text[ti] >= '0' && text[ti] <= '9')) return false;
      ++ti;
      ++i;
    }
  }
  if (ti != text.size()) return false;
  return valid(y, m, d);
}

// ---------------------------------------------------------------- UTF-16

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    size_t n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      n = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (i + n > s.size()) {
      out += u'\uFFFD';
      break;
    }
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// ---------------------------------------------------------------- names

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperChar(c);
  return out;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

}  // namespace sdbstore
