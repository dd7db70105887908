// Keys: building raw keys on an index handle, stepping them, seeks and
// scopes.
#include <cstring>

#include "sdbengineIndex.h"

namespace sdbengine {
namespace {

uint32_t NullMask(const std::vector<sdbkey::Value>& v) {
  uint32_t mask = 0;
  for (size_t j = 0; j < v.size() && j < 32; ++j)
    if (v[j].kind == sdbkey::Value::Null) mask |= 1u << j;
  return mask;
}

// Copies a key into a caller's room (in/out length).
uint32_t PutKey(const std::string& key, uint8_t* buf, uint16_t* len, const char* call) {
  Need(len, "key length");
  if (key.size() > *len || (!buf && !key.empty())) {
    uint32_t room = *len;
    *len = static_cast<uint16_t>(std::min<size_t>(key.size(), 0xFFFF));
    Throw(SDB_E_INSUFFICIENT_BUFFER, std::string(call) + ": the key needs " +
                                         std::to_string(key.size()) + " bytes, " +
                                         std::to_string(room) + " were given.");
  }
  if (!key.empty()) std::memcpy(buf, key.data(), key.size());
  *len = static_cast<uint16_t>(key.size());
  return SDB_SUCCESS;
}

// A key as a caller gives it to a seek or a scope: its values, and the key
// in raw form for comparing rows with it.
struct GivenKey {
  sdbkey::Decoded decoded;
  std::string raw;
};

GivenKey ReadKey(const Index& x, const uint8_t* key, uint16_t len, uint16_t type,
                 const char* call) {
  if (len && !key) Throw(SDB_E_INVALID_ARGUMENT, std::string(call) + ": missing key.");
  GivenKey g;
  static const uint8_t kNone = 0;
  if (!key) key = &kNone;  // an empty key
  const char* bytes = reinterpret_cast<const char*>(key);
  switch (type) {
    case SDB_RAWKEY:
      g.raw.assign(bytes, len);
      g.decoded = sdbkey::Decode(x.segs, g.raw);
      return g;
    case SDB_STRINGKEY:
    case SDB_WSTRINGKEY: {
      std::string text;
      if (type == SDB_STRINGKEY) {
        text.assign(bytes, strnlen(bytes, len));
      } else {
        std::u16string wide(len / 2, u'\0');
        std::memcpy(wide.data(), key, wide.size() * 2);
        wide.resize(std::char_traits<char16_t>::length(wide.c_str()));
        text = sdbstore::Utf16ToUtf8(wide);
      }
      g.decoded = sdbkey::DecodeText(x.segs, text, x.table.conn->DateFormat());
      break;
    }
    case SDB_DOUBLEKEY: {
      double d = 0;
      if (len < sizeof d)
        Throw(SDB_E_INVALID_ARGUMENT, std::string(call) + ": a double key takes 8 bytes.");
      std::memcpy(&d, key, sizeof d);
      g.decoded.values = {sdbkey::Value::OfReal(d)};
      g.decoded.bound = x.segs.size() == 1 ? sdbkey::Decoded::Exact : sdbkey::Decoded::Prefix;
      break;
    }
    default:
      Throw(SDB_E_INVALID_ARGUMENT,
            std::string(call) + ": unknown key type " + std::to_string(type) + ".");
  }
  g.raw = sdbkey::Encode(x.segs, g.decoded.values, g.decoded.lastIsPrefix);
  return g;
}

bool BeginsWith(const std::string& key, const std::string& prefix) {
  return key.compare(0, prefix.size(), prefix) == 0;
}

// The first row in index order from a bound on (forward: at or after a top
// bound; backward: at or before a bottom bound) inside the scopes and filters.
// Places the table on it and answers its key, or answers nullopt.
std::optional<std::string> FindFrom(Index& x, const sdbkey::Bound& b, bool forward) {
  Table& t = x.table;
  Database& db = x.Db();
  std::string where = x.WhereScoped(forward, !forward);
  uint64_t epoch = WriteEpoch();
  sqlite3_stmt* st = db.Prepare(sdbkey::BoundQuery(x.from, x.segs, b.values.size(), b.nullMask,
                                                   b.cmp, false, x.columns, where));
  ResetOnExit reset{st};
  sdbkey::BindAll(st, b.values, 1);
  x.BindScopes(st, forward, !forward);
  if (!db.Step(st)) return std::nullopt;
  std::string key = sdbkey::Encode(x.segs, x.RowValues(st));
  if (forward ? !x.BeforeBottom(key) : !x.AfterTop(key)) return std::nullopt;
  PlaceAt(t, &x, st, epoch);
  return key;
}

bool Seek(Index& x, const GivenKey& k, uint16_t seekType) {
  Table& t = x.table;
  const sdbkey::Decoded& d = k.decoded;
  const bool plainKey = d.bound == sdbkey::Decoded::Exact || d.bound == sdbkey::Decoded::Prefix;
  if (seekType == SDB_HARDSEEK && plainKey && !x.top.set && !x.bottom.set) {
    // The first row whose key begins with the sought one: one index range.
    Database& db = x.Db();
    std::string where =
        AndSql(sdbkey::KeyEquals(x.segs, d.values.size(), NullMask(d.values), d.lastIsPrefix, 1),
               x.Where());
    uint64_t epoch = WriteEpoch();
    sqlite3_stmt* st = db.Prepare("SELECT " + x.columns + " FROM " + x.from + " WHERE " + where +
                                  " ORDER BY " + sdbkey::OrderBy(x.segs, false) + " LIMIT 1");
    ResetOnExit reset{st};
    sdbkey::BindAll(st, d.values, 1);
    if (db.Step(st)) {
      PlaceAt(t, &x, st, epoch);
      return true;
    }
    t.GotoEof();
    return false;
  }
  if (seekType == SDB_SEEKGT) {
    sdbkey::Decoded after = sdbkey::Decode(x.segs, sdbkey::Step(x.segs, k.raw, 1));
    if (FindFrom(x, sdbkey::RangeBound(x.segs, after, true), true)) return true;
    t.GotoEof();
    return false;
  }
  if (seekType == SDB_SOFTSEEKLAST) {
    auto key = FindFrom(x, sdbkey::RangeBound(x.segs, d, false), false);
    if (key && BeginsWith(*key, k.raw)) return true;
  }
  auto key = FindFrom(x, sdbkey::RangeBound(x.segs, d, true), true);
  bool found = key && BeginsWith(*key, k.raw);
  if (!key || (!found && seekType == SDB_HARDSEEK)) t.GotoEof();
  return found;
}

Scope& ScopeOf(Index& x, uint16_t option, const char* call) {
  if (option == SDB_TOP) return x.top;
  if (option == SDB_BOTTOM) return x.bottom;
  Throw(SDB_E_INVALID_ARGUMENT,
        std::string(call) + ": unknown scope option " + std::to_string(option) + ".");
}

// Which segments of the key being built are given, in order from the first.
size_t GivenSegments(const Index& x) {
  size_t m = 0;
  while (m < x.segs.size() && x.column[m] >= 0 && x.keyGiven[x.column[m]]) ++m;
  return m;
}

uint32_t BuildKey(SDBHANDLE hIndex, uint8_t* key, uint16_t* len, bool partial, const char* call) {
  Index& x = IndexOf(hIndex, call);
  size_t m = GivenSegments(x);
  std::vector<sdbkey::Value> v = x.ValuesOfImage(x.keyImage.data(), &x.keyBlobs, m);
  // A partial key leaves the last text open: every text it begins matches.
  bool open = partial && !v.empty() && v.back().kind == sdbkey::Value::Text;
  x.lastKey = sdbkey::Encode(x.segs, v, open);
  return PutKey(x.lastKey, key, len, call);
}

}  // namespace

void SetKeyField(Object& object, SDBFIELD field, const char* call,
                 const std::function<void(const FieldDef&, uint8_t*, const std::string&)>& put,
                 const std::function<std::optional<std::string>(const FieldDef&)>& blob) {
  Index& x = static_cast<Index&>(object);
  Table& t = x.table;
  int i = t.FieldIndex(field, call);
  const FieldDef& f = t.def->fields[i];
  if (sdbstore::IsBlobType(f.type)) {
    x.keyBlobs[i] = blob(f);
  } else {
    put(f, x.keyImage.data(), t.conn->DateFormat());
  }
  x.keyGiven[i] = true;
}

}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbInitRawKey(SDBHANDLE hIndex) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbInitRawKey");
    sdbstore::InitRecord(x.table.def->fields, x.keyImage.data());
    x.keyGiven.assign(x.keyGiven.size(), false);
    x.keyBlobs.clear();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbBuildRawKey(SDBHANDLE hIndex, uint8_t* pucKey, uint16_t* pusKeyLen) {
  return Api([&] { return BuildKey(hIndex, pucKey, pusKeyLen, true, "SdbBuildRawKey"); });
}

extern "C" uint32_t SdbBuildRawKey100(SDBHANDLE hIndex, uint8_t* pucKey, uint16_t* pusKeyLen,
                                      uint32_t ulOptions) {
  return Api([&] {
    if (ulOptions != SDB_KEY_FULL && ulOptions != SDB_KEY_PARTIAL_WIDE)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbBuildRawKey100: unknown option " + std::to_string(ulOptions) + ".");
    return BuildKey(hIndex, pucKey, pusKeyLen, ulOptions == SDB_KEY_PARTIAL_WIDE,
                    "SdbBuildRawKey100");
  });
}

extern "C" uint32_t SdbBuildKeyFromRecord(SDBHANDLE hIndex, const uint8_t* pucRecBuffer,
                                          uint32_t ulRecLen, uint8_t* pucKey, uint16_t* pusKeyLen) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbBuildKeyFromRecord");
    Need(pucRecBuffer, "record");
    if (ulRecLen < x.table.def->recordLength)
      Throw(SDB_E_INVALID_ARGUMENT, "SdbBuildKeyFromRecord: the record image holds " +
                                        std::to_string(ulRecLen) + " bytes, the table's " +
                                        std::to_string(x.table.def->recordLength) + ".");
    std::vector<sdbkey::Value> v = x.ValuesOfImage(pucRecBuffer, nullptr, x.segs.size());
    return PutKey(sdbkey::Encode(x.segs, v), pucKey, pusKeyLen, "SdbBuildKeyFromRecord");
  });
}

extern "C" uint32_t SdbStepIndexKey(SDBHANDLE hIndex, uint8_t* pucKey, uint16_t usKeyLen,
                                    int16_t sDirection) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbStepIndexKey");
    Need(pucKey, "key");
    if (sDirection != 1 && sDirection != -1)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbStepIndexKey: the direction is 1 or -1, not " + std::to_string(sDirection) + ".");
    std::string given(reinterpret_cast<const char*>(pucKey), usKeyLen);
    // Callers step a partial key in a buffer of the full key length: the
    // key last built, followed by zeros, is that key.
    const std::string& last = x.lastKey;
    if (!last.empty() && last.size() < given.size() && given.compare(0, last.size(), last) == 0 &&
        given.find_first_not_of('\0', last.size()) == std::string::npos)
      given = last;
    std::string stepped = sdbkey::Step(x.segs, given, sDirection);
    uint16_t room = usKeyLen;
    return PutKey(stepped, pucKey, &room, "SdbStepIndexKey");
  });
}

extern "C" uint32_t SdbSeek(SDBHANDLE hIndex, const uint8_t* pucKey, uint16_t usKeyLen,
                            uint16_t usDataType, uint16_t usSeekType, uint16_t* pbFound) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbSeek");
    if (usSeekType < SDB_SOFTSEEK || usSeekType > SDB_SEEKGT)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbSeek: unknown seek type " + std::to_string(usSeekType) + ".");
    GivenKey k = ReadKey(x, pucKey, usKeyLen, usDataType, "SdbSeek");
    Table& t = NavCursor(hIndex, "SdbSeek");
    if (t.pending.active) t.WritePending("SdbSeek");
    bool found = Seek(x, k, usSeekType);
    if (pbFound) *pbFound = found ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbSeekOrGoto(SDBHANDLE hIndex, const uint8_t* pucKey, uint16_t usKeyLen,
                                  uint16_t usDataType, uint16_t usSeekType, SDBHANDLE hReturn,
                                  uint32_t ulReturnTo, uint16_t* pbFound, uint16_t* pbReturned) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbSeekOrGoto");
    if (pbReturned) *pbReturned = 0;
    // A pending write goes out in the seek or the move, committed by itself
    // as always: never inside a read transaction, whose end would commit it.
    auto pending = [](SDBHANDLE h) {
      Object* o = Lookup(h);
      if (!o || (o->kind != Kind::Index && o->kind != Kind::Table && o->kind != Kind::Cursor))
        return false;
      return TableBehind(*o).pending.active;
    };
    std::optional<ReadTogether> together;
    if (!pending(hIndex) && !(ulReturnTo != 0 && pending(hReturn))) together.emplace(x.table.db);
    uint16_t found = 0;
    uint32_t rc = SdbSeek(hIndex, pucKey, usKeyLen, usDataType, usSeekType, &found);
    if (rc != SDB_SUCCESS) return rc;
    if (pbFound) *pbFound = found;
    if (found || ulReturnTo == 0) return SDB_SUCCESS;
    rc = SdbGotoRecord(hReturn, ulReturnTo);
    if (rc == SDB_E_NO_SUCH_RECORD) return SDB_SUCCESS;
    if (rc == SDB_SUCCESS && pbReturned) *pbReturned = 1;
    return rc;
  });
}

extern "C" uint32_t SdbSetScope(SDBHANDLE hIndex, uint16_t usScopeOption, const uint8_t* pucScope,
                                uint16_t usScopeLen, uint16_t usDataType) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbSetScope");
    Scope& s = ScopeOf(x, usScopeOption, "SdbSetScope");
    GivenKey k = ReadKey(x, pucScope, usScopeLen, usDataType, "SdbSetScope");
    s.set = true;
    s.given = pucScope ? std::string(reinterpret_cast<const char*>(pucScope), usScopeLen) : "";
    s.key = k.raw;
    s.bound = sdbkey::RangeBound(x.segs, k.decoded, usScopeOption == SDB_TOP);
    OrdersChanged(x.table);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbClearScope(SDBHANDLE hIndex, uint16_t usScopeOption) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbClearScope");
    Scope& s = ScopeOf(x, usScopeOption, "SdbClearScope");
    if (!s.set)
      Throw(SDB_E_NO_SCOPE, std::string("SdbClearScope: the index ") + x.def.name + " has no " +
                                (usScopeOption == SDB_TOP ? "top" : "bottom") + " scope.");
    s = Scope{};
    OrdersChanged(x.table);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbClearAllScopes(SDBHANDLE hTable) {
  return Api([&] {
    Object* o = Resolve(hTable, {Kind::Table, Kind::Cursor, Kind::Index}, "SdbClearAllScopes");
    Table& t = TableBehind(*o);
    if (t.orders)
      for (SDBHANDLE h : t.orders->indexes) {
        Index& x = static_cast<Index&>(*Lookup(h));
        x.top = Scope{};
        x.bottom = Scope{};
      }
    OrdersChanged(t);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetScope(SDBHANDLE hIndex, uint16_t usScopeOption, uint8_t* pucScope,
                                uint16_t* pusBufLen) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbGetScope");
    Scope& s = ScopeOf(x, usScopeOption, "SdbGetScope");
    Need(pusBufLen, "scope length");
    if (!s.set)
      Throw(SDB_E_NO_SCOPE, std::string("SdbGetScope: the index ") + x.def.name + " has no " +
                                (usScopeOption == SDB_TOP ? "top" : "bottom") + " scope.");
    return PutKey(s.given, pucScope, pusBufLen, "SdbGetScope");
  });
}
