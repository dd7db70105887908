// Raw index keys: encoding, decoding and stepping.
#include "sdbkey.h"
#include "sdbstore.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace sdbkey {
namespace {

using sdbstore::FieldType;

constexpr uint32_t kMaxTextWidth = 1024;
constexpr uint32_t kMemoWidth = 240;
constexpr unsigned char kClassNull = 0, kClassNumber = 1, kClassText = 2, kClassBlob = 3;
constexpr unsigned char kBoundExact = 0x01, kBoundAfter = 0xFF, kBoundBefore = 0x00;

enum class Payload { Integer, Real, Logical, Text, Blob };

Payload PayloadOf(FieldType type) {
  switch (type) {
    case FieldType::Logical:
      return Payload::Logical;
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::AutoInc:
    case FieldType::RowVersion:
      return Payload::Integer;
    case FieldType::Numeric:
    case FieldType::Double:
    case FieldType::CurDouble:
    case FieldType::Money:
      return Payload::Real;
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::Raw:
    case FieldType::VarBinaryFox:
      return Payload::Blob;
    default:
      return Payload::Text;
  }
}

uint32_t PayloadWidth(const Segment& s) {
  switch (s.type) {
    case FieldType::Logical:
      return 1;
    case FieldType::Numeric:
    case FieldType::Double:
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::AutoInc:
    case FieldType::CurDouble:
    case FieldType::Money:
    case FieldType::RowVersion:
      return 8;
    case FieldType::Date:
    case FieldType::CompactDate:
      return 10;
    case FieldType::Time:
      return 12;
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      return 23;
    case FieldType::Memo:
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::VarChar:
    case FieldType::NMemo:
      return kMemoWidth;
    case FieldType::NChar:
    case FieldType::NVarChar:
      return std::min<uint32_t>(kMaxTextWidth, std::max<uint32_t>(1, s.length) * 3);
    default:
      return std::min<uint32_t>(kMaxTextWidth, std::max<uint32_t>(1, s.length));
  }
}

void PutU64(std::string& out, uint64_t v) {
  for (int k = 7; k >= 0; --k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

uint64_t GetU64(const unsigned char* p) {
  uint64_t v = 0;
  for (int k = 0; k < 8; ++k) v = (v << 8) | p[k];
  return v;
}

uint64_t IntBits(int64_t v) {
  return static_cast<uint64_t>(v) ^ 0x8000000000000000ULL;
}

uint64_t RealBits(double d) {
  if (d == 0) d = 0;  // -0.0 sorts as 0
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return (b & 0x8000000000000000ULL) ? ~b : b ^ 0x8000000000000000ULL;
}

double RealOf(uint64_t b) {
  b = (b & 0x8000000000000000ULL) ? b ^ 0x8000000000000000ULL : ~b;
  double d;
  std::memcpy(&d, &b, 8);
  return d;
}

// The class byte and payload of one value, before padding and inversion.
std::string SegmentBytes(const Segment& seg, const Value& v, bool partial) {
  const uint32_t w = PayloadWidth(seg);
  std::string out;
  switch (v.kind) {
    case Value::Null:
      out += static_cast<char>(kClassNull);
      break;
    case Value::Integer:
    case Value::Real: {
      out += static_cast<char>(kClassNumber);
      Payload p = PayloadOf(seg.type);
      if (p == Payload::Logical) {
        double d = v.kind == Value::Integer ? static_cast<double>(v.i) : v.r;
        out += static_cast<char>(d <= 0 ? 0 : d >= 255 ? 255 : static_cast<int>(d));
      } else if (p == Payload::Integer) {
        int64_t i = v.i;
        if (v.kind == Value::Real)
          i = v.r >= 9.2e18    ? INT64_MAX
              : v.r <= -9.2e18 ? INT64_MIN
                               : static_cast<int64_t>(std::floor(v.r));
        PutU64(out, IntBits(i));
      } else {
        PutU64(out, RealBits(v.kind == Value::Integer ? static_cast<double>(v.i) : v.r));
      }
      break;
    }
    case Value::Text:
      out += static_cast<char>(kClassText);
      out += seg.nocase ? sdbstore::Lower(v.s) : v.s;
      break;
    case Value::Blob:
      out += static_cast<char>(kClassBlob);
      out += v.s;
      break;
  }
  if (out.size() > w + 1) out.resize(w + 1);
  if (!partial || (v.kind != Value::Text && v.kind != Value::Blob)) out.resize(w + 1, '\0');
  if (seg.descending)
    for (auto& c : out) c = static_cast<char>(~static_cast<unsigned char>(c));
  return out;
}

}  // namespace

sdbstore::FieldType SegmentTypeOf(sdbexpr::ValueType type) {
  using VT = sdbexpr::ValueType;
  switch (type) {
    case VT::Numeric:
      return FieldType::Double;
    case VT::Date:
      return FieldType::Date;
    case VT::Time:
      return FieldType::Time;
    case VT::Timestamp:
      return FieldType::TimeStamp;
    case VT::Logical:
      return FieldType::Logical;
    case VT::Binary:
      return FieldType::Raw;
    default:
      return FieldType::String;
  }
}

Segment SegmentOf(std::string_view expression, const sdbexpr::FieldResolver& resolve,
                  bool descending) {
  Segment seg;
  sdbexpr::ValueType vt;
  uint32_t width = 0;
  seg.sql = sdbexpr::IndexSegmentSql(expression, resolve, &vt, &width);
  seg.descending = descending;
  std::string_view name = expression;
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::optional<sdbexpr::FieldInfo> field = resolve ? resolve(name) : std::nullopt;
  if (field && field->sql == seg.sql) {
    seg.type = field->type;
    seg.length = field->length;
    seg.nocase = field->type == FieldType::CIString;
  } else {
    seg.type = SegmentTypeOf(vt);
    seg.length = width;
    if (seg.type == FieldType::String && width == 0)
      seg.type = FieldType::Memo;  // no known width: a memo's prefix
  }
  return seg;
}

Value Value::FromSqlite(sqlite3_value* v) {
  Value r;
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      r.kind = Integer;
      r.i = sqlite3_value_int64(v);
      break;
    case SQLITE_FLOAT:
      r.kind = Real;
      r.r = sqlite3_value_double(v);
      break;
    case SQLITE_TEXT:
      r.kind = Text;
      r.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
      break;
    case SQLITE_BLOB: {
      r.kind = Blob;
      const void* p = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      if (p && n > 0) r.s.assign(static_cast<const char*>(p), n);
      break;
    }
    default:
      break;
  }
  return r;
}

Value Value::FromColumn(sqlite3_stmt* st, int col) {
  return FromSqlite(sqlite3_column_value(st, col));
}

int Bind(sqlite3_stmt* st, int param, const Value& v) {
  int rc = SQLITE_OK;
  switch (v.kind) {
    case Value::Null:
      rc = sqlite3_bind_null(st, param);
      break;
    case Value::Integer:
      rc = sqlite3_bind_int64(st, param, v.i);
      break;
    case Value::Real:
      rc = sqlite3_bind_double(st, param, v.r);
      break;
    case Value::Text:
      rc = sqlite3_bind_text(st, param, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      break;
    case Value::Blob:
      rc = sqlite3_bind_blob(st, param, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      break;
  }
  return rc == SQLITE_RANGE ? SQLITE_OK : rc;
}

int BindAll(sqlite3_stmt* st, const std::vector<Value>& values, int firstParam) {
  for (size_t j = 0; j < values.size(); ++j) {
    int rc = Bind(st, firstParam + static_cast<int>(j), values[j]);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

uint32_t SegmentWidth(const Segment& seg) {
  return PayloadWidth(seg) + 1;
}

uint32_t KeyLength(const std::vector<Segment>& segs) {
  uint32_t n = 1;
  for (const auto& s : segs) n += SegmentWidth(s);
  return n;
}

Value TextValue(std::string_view text) {
  size_t e = text.find_last_not_of(' ');
  if (e == std::string_view::npos) return Value{};
  return Value::OfText(std::string(text.substr(0, e + 1)));
}

std::string Encode(const std::vector<Segment>& segs, const std::vector<Value>& values,
                   bool partialLast) {
  std::string out;
  size_t n = std::min(values.size(), segs.size());
  for (size_t j = 0; j < n; ++j) out += SegmentBytes(segs[j], values[j], partialLast && j + 1 == n);
  if (n == segs.size() && !partialLast) out += static_cast<char>(kBoundExact);
  return out;
}

Decoded Decode(const std::vector<Segment>& segs, std::string_view key) {
  Decoded d;
  const uint32_t full = KeyLength(segs);
  if (key.size() >= full) {
    unsigned char b = static_cast<unsigned char>(key[full - 1]);
    d.bound = b == kBoundAfter    ? Decoded::After
              : b == kBoundBefore ? Decoded::Before
                                  : Decoded::Exact;
    key = key.substr(0, full - 1);
  }
  const bool stepped = d.bound == Decoded::After || d.bound == Decoded::Before;
  const unsigned char filler = d.bound == Decoded::After ? 0xFF : 0x00;
  // In a stepped key the segments after the last byte that is no filler
  // were never given. (A trailing segment that is filler by its value, such
  // as a NULL before or a descending NULL after, bounds the same rows
  // whether it counts or not.)
  size_t end = key.size();
  if (stepped)
    while (end > 0 && static_cast<unsigned char>(key[end - 1]) == filler) --end;
  size_t at = 0;
  for (const Segment& seg : segs) {
    if (at >= key.size() || at >= end) break;
    const uint32_t w = SegmentWidth(seg);
    std::string bytes(key.substr(at, w));
    at += bytes.size();
    const bool partial = bytes.size() < w;
    if (seg.descending)
      for (auto& c : bytes) c = static_cast<char>(~static_cast<unsigned char>(c));
    unsigned char cls = static_cast<unsigned char>(bytes[0]);
    std::string payload = bytes.substr(1);
    Value v;
    bool prefix = partial;
    if (cls == kClassNull) {
      if (partial) break;
    } else if (cls == kClassNumber) {
      if (partial) break;  // a cut number bounds nothing usable
      Payload p = PayloadOf(seg.type);
      const auto* u = reinterpret_cast<const unsigned char*>(payload.data());
      if (p == Payload::Logical)
        v = Value::OfInt(u[0]);
      else if (p == Payload::Integer)
        v = Value::OfInt(static_cast<int64_t>(GetU64(u) ^ 0x8000000000000000ULL));
      else
        v = Value::OfReal(RealOf(GetU64(u)));
    } else if (cls == kClassText || cls == kClassBlob) {
      // Stepped keys carry filler where a prefix ended: 0xFF bytes are never
      // part of UTF-8 text.
      size_t e = payload.size();
      if (stepped || seg.descending) {
        while (e > 0 && static_cast<unsigned char>(payload[e - 1]) == 0xFF) {
          --e;
          prefix = true;
        }
      }
      while (e > 0 && payload[e - 1] == '\0') --e;
      payload.resize(e);
      v.kind = cls == kClassText ? Value::Text : Value::Blob;
      v.s = payload;
    } else {
      break;
    }
    d.values.push_back(v);
    if (prefix) {
      d.lastIsPrefix = v.kind == Value::Text || v.kind == Value::Blob;
      break;
    }
  }
  if (d.bound == Decoded::Exact && (d.values.size() < segs.size() || d.lastIsPrefix))
    d.bound = Decoded::Prefix;
  return d;
}

Decoded DecodeText(const std::vector<Segment>& segs, std::string_view text,
                   std::string_view dateFormat) {
  Decoded d;
  size_t at = 0;
  for (const Segment& seg : segs) {
    if (at >= text.size()) break;
    std::string_view rest = text.substr(at);
    if (PayloadOf(seg.type) == Payload::Text && seg.type != FieldType::Date &&
        seg.type != FieldType::CompactDate && seg.type != FieldType::Time &&
        seg.type != FieldType::TimeStamp && seg.type != FieldType::ModTime) {
      // `length` characters of UTF-8.
      size_t chars = 0, end = 0;
      // A segment without a length (a memo) takes the rest.
      const size_t want = seg.length > 0 ? seg.length : rest.size();
      while (end < rest.size() && chars < want) {
        ++end;
        while (end < rest.size() && (static_cast<unsigned char>(rest[end]) & 0xC0) == 0x80) ++end;
        ++chars;
      }
      Value v = TextValue(rest.substr(0, end));
      at += end;
      bool prefix = v.kind == Value::Text && (seg.length == 0 || chars < want);
      d.values.push_back(v);
      if (prefix) {
        d.lastIsPrefix = true;
        break;
      }
      continue;
    }
    if (seg.type == FieldType::Logical) {
      char c = sdbstore::UpperChar(rest[0]);
      d.values.push_back(c == ' ' ? Value{} : Value::OfInt(c == 'T' || c == 'Y' || c == '1'));
      at += 1;
      continue;
    }
    if (seg.type == FieldType::Date || seg.type == FieldType::CompactDate) {
      std::string_view piece = rest.substr(0, 8);
      bool digits = piece.size() == 8 && piece.find_first_not_of("0123456789") == std::string::npos;
      std::string iso;
      if (digits) {
        iso = std::string(piece.substr(0, 4)) + "-" + std::string(piece.substr(4, 2)) + "-" +
              std::string(piece.substr(6, 2));
        iso = sdbexpr::DateFromText(iso, dateFormat);
        at += 8;
      } else {
        iso = sdbexpr::DateFromText(rest, dateFormat);
        at = text.size();
      }
      d.values.push_back(iso.empty() ? Value{} : Value::OfText(iso));
      continue;
    }
    if (seg.type == FieldType::Time || seg.type == FieldType::TimeStamp ||
        seg.type == FieldType::ModTime) {
      std::string v = seg.type == FieldType::Time ? sdbexpr::TimeFromText(rest)
                                                  : sdbexpr::TimestampFromText(rest, dateFormat);
      d.values.push_back(v.empty() ? Value{} : Value::OfText(v));
      break;
    }
    // Numbers and anything else: the rest of the text.
    std::string piece(rest);
    size_t b = piece.find_first_not_of(' ');
    if (b == std::string::npos) {
      d.values.push_back(Value{});
    } else if (PayloadOf(seg.type) == Payload::Integer) {
      d.values.push_back(Value::OfInt(std::strtoll(piece.c_str() + b, nullptr, 10)));
    } else if (PayloadOf(seg.type) == Payload::Real) {
      d.values.push_back(Value::OfReal(sdbexpr::ParseNumber(piece)));
    } else {
      d.values.push_back(Value{Value::Blob, 0, 0, piece});
    }
    break;
  }
  d.bound = d.values.size() == segs.size() && !d.lastIsPrefix ? Decoded::Exact : Decoded::Prefix;
  return d;
}

std::string Step(const std::vector<Segment>& segs, std::string_view key, int direction) {
  const uint32_t full = KeyLength(segs);
  const char filler = static_cast<char>(direction > 0 ? kBoundAfter : kBoundBefore);
  std::string out(key.substr(0, std::min<size_t>(key.size(), full - 1)));
  out.resize(full, filler);
  out[full - 1] = filler;
  return out;
}

std::string PrefixSuccessor(std::string s, bool nocase) {
  if (nocase) s = sdbstore::Lower(s);
  while (!s.empty()) {
    unsigned char last = static_cast<unsigned char>(s.back());
    if (last < 0xFF) {
      ++last;
      if (nocase && last >= 'A' && last <= 'Z') last = '[';
      s.back() = static_cast<char>(last);
      return s;
    }
    s.pop_back();
  }
  return s;
}

}  // namespace sdbkey
