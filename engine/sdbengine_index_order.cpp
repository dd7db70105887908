// Index orders: index handles, the rows of a table in index order under
// scopes and filters, counts, visibility and key positions.
#include <cmath>
#include <cstdio>

#include "sdbengineIndex.h"

namespace sdbengine {
namespace {

// Holding the connection's mutex over a batch lets the column calls re-enter
// it cheaply.
struct DbMutex {
  sqlite3_mutex* m;
  explicit DbMutex(sqlite3* db) : m(sqlite3_db_mutex(db)) { sqlite3_mutex_enter(m); }
  ~DbMutex() { sqlite3_mutex_leave(m); }
};

// A batch is read in at most this long: the cursor serves its rows for
// kCacheLifetimeMs from the start of the read, so a sparse filter or scope
// that makes SQLite scan far must not use that time up in the read itself.
constexpr int64_t kBatchReadMs = 15;

// Whether a batch read that began at `start` should stop after `rows` rows.
bool ReadLongEnough(int64_t start, size_t rows) {
  return rows % 16 == 0 && NowMs() - start >= kBatchReadMs;
}

uint32_t NullMask(const std::vector<sdbkey::Value>& v) {
  uint32_t mask = 0;
  for (size_t j = 0; j < v.size() && j < 32; ++j)
    if (v[j].kind == sdbkey::Value::Null) mask |= 1u << j;
  return mask;
}

// The index's key expression split into its segments as written.
std::vector<std::string> SplitKey(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  char quote = 0;
  int depth = 0;
  for (char c : text) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ';' && depth == 0) {
      out.push_back(cur);
      cur.clear();
      continue;
    }
    cur += c;
  }
  out.push_back(cur);
  return out;
}

std::string TimeOfDay(int32_t ms) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000 % 100, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers

std::string AndSql(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return "(" + a + ") AND (" + b + ")";
}

std::string TableOrders::FilterSql() const {
  return AndSql(aofSql, filterSql);
}

TableOrders& OrdersOf(Table& table) {
  if (!table.orders) table.orders = std::make_shared<TableOrders>();
  return *table.orders;
}

sdbexpr::FieldResolver Resolver(const TableDef& def) {
  return [&def](std::string_view name) -> std::optional<sdbexpr::FieldInfo> {
    int i = def.FieldIndex(name);
    if (i < 0) return std::nullopt;
    const FieldDef& f = def.fields[i];
    return sdbexpr::FieldInfo{sdbstore::QuoteIdent(f.name), f.type, f.length, f.decimals};
  };
}

void ThrowExpr(const sdbexpr::ExprError& e, const char* call) {
  Throw(SDB_E_EXPRESSION, std::string(call) + ": " + e.what());
}

sdbkey::Value StoredValue(const FieldDef& f, const uint8_t* image) {
  using sdbkey::Value;
  using sdbstore::FieldType;
  if (sdbstore::IsEmpty(f, image)) return {};
  switch (f.type) {
    case FieldType::Logical: {
      bool b = false;
      sdbstore::GetLogical(f, image, b);
      return Value::OfInt(b ? 1 : 0);
    }
    case FieldType::Numeric:
    case FieldType::Double:
    case FieldType::CurDouble:
    case FieldType::Money: {
      double d = 0;
      if (!sdbstore::GetDouble(f, image, d)) return {};
      return Value::OfReal(d);
    }
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::AutoInc:
    case FieldType::RowVersion: {
      int64_t i = 0;
      if (!sdbstore::GetInt64(f, image, i)) return {};
      return Value::OfInt(i);
    }
    case FieldType::Date:
    case FieldType::CompactDate: {
      int32_t j = 0;
      if (!sdbstore::GetJulian(f, image, j)) return {};
      return Value::OfText(sdbstore::FormatDate(j, "CCYY-MM-DD"));
    }
    case FieldType::Time: {
      int32_t ms = 0;
      if (!sdbstore::GetMilliseconds(f, image, ms)) return {};
      return Value::OfText(TimeOfDay(ms));
    }
    case FieldType::TimeStamp:
    case FieldType::ModTime: {
      int32_t j = 0, ms = 0;
      if (!sdbstore::GetJulian(f, image, j)) return {};
      if (!sdbstore::GetMilliseconds(f, image, ms)) ms = 0;
      return Value::OfText(sdbstore::FormatDate(j, "CCYY-MM-DD") + " " + TimeOfDay(ms));
    }
    case FieldType::Raw:
    case FieldType::VarBinaryFox: {
      std::string s;
      if (!sdbstore::GetText(f, image, s)) return {};
      return Value{Value::Blob, 0, 0, std::move(s)};
    }
    default: {
      std::string s;
      if (!sdbstore::GetText(f, image, s, "CCYY-MM-DD")) return {};
      return sdbkey::TextValue(s);
    }
  }
}

void OrdersChanged(Table& table) {
  table.DropBatch();
}

// ---------------------------------------------------------------------------
// Index handles

Index::Index(Table& owner, const sdbstore::IndexDef& definition)
    : Object(Kind::Index), table(owner), def(definition), rows(owner, this) {
  const TableDef& t = *table.def;
  std::vector<std::string> written = SplitKey(def.keyExpression);
  if (written.size() != def.segments.size()) written.clear();
  auto resolve = Resolver(t);
  columns = t.selectList;
  for (size_t j = 0; j < def.segments.size(); ++j) {
    const sdbstore::IndexSegment& g = def.segments[j];
    int fi = g.field.empty() ? -1 : t.FieldIndex(g.field);
    bool isPlain = fi >= 0 && g.expression == sdbstore::QuoteIdent(t.fields[fi].name);
    sdbkey::Segment seg;
    try {
      seg = sdbkey::SegmentOf(isPlain           ? t.fields[fi].name
                              : written.empty() ? g.expression
                                                : written[j],
                              resolve, g.descending);
    } catch (const sdbexpr::ExprError&) {
      // An expression the language does not know (written with SQLite's own
      // functions): keyed as text of the widest width.
      seg.type = sdbstore::FieldType::String;
      seg.length = 240;
    }
    seg.sql = g.expression;
    seg.descending = g.descending;
    if (isPlain) seg.nocase = t.fields[fi].type == sdbstore::FieldType::CIString;
    segs.push_back(seg);
    plain.push_back(isPlain);
    column.push_back(fi);
    columns += ", " + g.expression;
  }
  from = t.quotedName + " INDEXED BY " + sdbstore::QuoteIdent(def.sqliteName);
  keyLength = sdbkey::KeyLength(segs);
  keyImage.resize(t.recordLength);
  sdbstore::InitRecord(t.fields, keyImage.data());
  keyGiven.assign(t.fields.size(), false);
}

std::string Index::Where() const {
  return AndSql(def.condition, table.orders ? table.orders->FilterSql() : std::string());
}

std::string Index::WhereScoped(bool withTop, bool withBottom) const {
  std::string w = Where();
  if (withTop && top.set)
    w = AndSql(w, sdbkey::KeyCondition(segs, top.bound.values.size(), top.bound.nullMask,
                                       top.bound.cmp, false, 101));
  if (withBottom && bottom.set)
    w = AndSql(w, sdbkey::KeyCondition(segs, bottom.bound.values.size(), bottom.bound.nullMask,
                                       bottom.bound.cmp, false, 201));
  return w;
}

void Index::BindScopes(sqlite3_stmt* st, bool withTop, bool withBottom) const {
  if (withTop && top.set) sdbkey::BindAll(st, top.bound.values, 101);
  if (withBottom && bottom.set) sdbkey::BindAll(st, bottom.bound.values, 201);
}

bool Index::AfterTop(const std::string& key) const {
  return !top.set || key >= top.key;
}

bool Index::BeforeBottom(const std::string& key) const {
  return !bottom.set || key.compare(0, bottom.key.size(), bottom.key) <= 0;
}

std::vector<sdbkey::Value> Index::RowValues(sqlite3_stmt* st) const {
  std::vector<sdbkey::Value> v;
  v.reserve(segs.size());
  const int first = static_cast<int>(table.def->fields.size()) + 1;
  for (size_t j = 0; j < segs.size(); ++j)
    v.push_back(sdbkey::Value::FromColumn(st, first + static_cast<int>(j)));
  return v;
}

std::vector<sdbkey::Value> Index::ValuesOfImage(
    const uint8_t* image, const std::map<int, std::optional<std::string>>* blobs,
    size_t count) const {
  const TableDef& t = *table.def;
  count = std::min(count, segs.size());
  std::vector<sdbkey::Value> out(count);
  std::vector<sdbkey::Segment> computed;
  std::vector<size_t> at;
  auto blobValue = [&](int fi) -> sdbkey::Value {
    if (blobs) {
      auto it = blobs->find(fi);
      if (it != blobs->end() && it->second && !it->second->empty()) {
        sdbkey::Value v;
        v.kind = t.fields[fi].type == sdbstore::FieldType::Binary ||
                         t.fields[fi].type == sdbstore::FieldType::Image
                     ? sdbkey::Value::Blob
                     : sdbkey::Value::Text;
        v.s = *it->second;
        return v;
      }
    }
    return {};
  };
  for (size_t j = 0; j < count; ++j) {
    if (plain[j]) {
      const FieldDef& f = t.fields[column[j]];
      out[j] = sdbstore::IsBlobType(f.type) ? blobValue(column[j]) : StoredValue(f, image);
    } else {
      computed.push_back(segs[j]);
      at.push_back(j);
    }
  }
  if (!computed.empty()) {
    std::vector<std::pair<std::string, sdbkey::Value>> fields;
    std::vector<std::string> names;
    for (size_t i = 0; i < t.fields.size(); ++i) {
      const FieldDef& f = t.fields[i];
      names.push_back(f.name);
      fields.emplace_back(f.name, sdbstore::IsBlobType(f.type) ? blobValue(static_cast<int>(i))
                                                               : StoredValue(f, image));
    }
    std::vector<sdbkey::Value> v;
    try {
      v = sdbkey::SegmentValues(computed, fields, names);
    } catch (const sdbexpr::ExprError& e) {
      ThrowExpr(e, "key");
    }
    for (size_t k = 0; k < at.size(); ++k) out[at[k]] = v[k];
  }
  return out;
}

Index& IndexOf(SDBHANDLE handle, const char* call) {
  return As<Index>(handle, {Kind::Index}, call);
}

Table& EngineTable(SDBHANDLE handle, const char* call) {
  Table& t = TableOrCursor(handle, call);
  if (t.IsCursor() || !t.db)
    Throw(SDB_E_NOT_SUPPORTED,
          std::string(call) + ": an SQL cursor has no indexes and takes no filters.");
  return t;
}

Index& IndexHandle(Table& table, const sdbstore::IndexDef& def) {
  TableOrders& o = OrdersOf(table);
  for (SDBHANDLE h : o.indexes) {
    Index& x = static_cast<Index&>(*Lookup(h));
    if (sdbstore::EqualNoCase(x.def.name, def.name)) return x;
  }
  auto x = std::make_unique<Index>(table, def);
  Index* raw = x.get();
  o.indexes.push_back(Register(std::move(x)));
  return *raw;
}

void CloseOrders(Table& table) {
  if (!table.orders) return;
  table.order = nullptr;
  for (SDBHANDLE h : table.orders->indexes) Unregister(h);
  table.orders.reset();
}

void PlaceAt(Table& t, Index* index, sqlite3_stmt* st, uint64_t epoch) {
  t.DropBatch();
  t.recno = sqlite3_column_int64(st, 0);
  t.image.assign(t.RecordLength(), 0);
  sdbstore::DecodeRow(t.def->fields, st, 1, t.image.data());
  t.bof = t.eof = t.deleted = false;
  t.imageEpoch = epoch;
  t.imageAtMs = NowMs();
  if (index) index->rows.Remember(t.recno, index->RowValues(st));
}

// ---------------------------------------------------------------------------
// Rows in index order

void OrderRows::Remember(int64_t recno, std::vector<sdbkey::Value> values) {
  if (FKeysEpoch != WriteEpoch()) {
    FKeys.clear();
    FKeysEpoch = WriteEpoch();
  }
  FKeys[recno] = std::move(values);
}

std::vector<sdbkey::Value> OrderRows::KeyOf(int64_t recno, const uint8_t* image) {
  if (FKeysEpoch == WriteEpoch()) {
    auto it = FKeys.find(recno);
    if (it != FKeys.end()) return it->second;
  }
  Database& db = *FTable.db;
  sqlite3_stmt* st = db.Prepare(sdbkey::KeyOfRowQuery(FTable.def->quotedName, FIndex->segs));
  ResetOnExit reset{st};
  sqlite3_bind_int64(st, 1, recno);
  if (db.Step(st)) {
    std::vector<sdbkey::Value> v;
    for (size_t j = 0; j < FIndex->segs.size(); ++j)
      v.push_back(sdbkey::Value::FromColumn(st, static_cast<int>(j)));
    return v;
  }
  // The record is gone: its key as the image the cursor holds gives it.
  return FIndex->ValuesOfImage(image, nullptr, FIndex->segs.size());
}

void OrderRows::Fetch(int64_t fromRecno, const uint8_t* fromImage, bool forward, size_t n,
                      std::vector<int64_t>& recnos, std::vector<uint8_t>& images) {
  Database& db = *FTable.db;
  const TableDef& def = *FTable.def;
  if (!FIndex) {  // record-number order under the filters
    std::string filter = FTable.orders ? FTable.orders->FilterSql() : std::string();
    std::string sql = "SELECT " + def.selectList + " FROM " + def.quotedName +
                      (forward ? " WHERE sdb_recno > ?1" : " WHERE sdb_recno < ?1") +
                      (filter.empty() ? "" : " AND (" + filter + ")") + " ORDER BY sdb_recno" +
                      (forward ? "" : " DESC") + " LIMIT ?2";
    DbMutex lock(db.Handle());
    sqlite3_stmt* st = db.Prepare(sql);
    ResetOnExit reset{st};
    sqlite3_bind_int64(st, 1, fromRecno != 0 ? fromRecno : forward ? 0 : INT64_MAX);
    sqlite3_bind_int64(st, 2, static_cast<sqlite3_int64>(n));
    const int64_t start = NowMs();
    while (db.Step(st)) {
      AddRow(st, def, recnos, images);
      if (ReadLongEnough(start, recnos.size())) break;
    }
    return;
  }
  const Index& x = *FIndex;
  std::vector<sdbkey::Value> key;
  bool fromEnd = fromRecno == 0;
  if (!fromEnd) {
    key = KeyOf(fromRecno, fromImage);
    // From a record before the scope the walk starts where the scope does.
    if (x.top.set || x.bottom.set) {
      std::string k = sdbkey::Encode(x.segs, key);
      if (forward ? !x.AfterTop(k) : !x.BeforeBottom(k)) fromEnd = true;
    }
  }
  const Scope& nearEnd = forward ? x.top : x.bottom;
  const Scope& farEnd = forward ? x.bottom : x.top;
  std::string where = x.Where();
  std::string sql;
  if (!fromEnd)
    sql = sdbkey::WalkQuery(x.from, x.segs, x.segs.size(), NullMask(key),
                            forward ? sdbkey::Cmp::GT : sdbkey::Cmp::LT, true, x.columns, where);
  else if (nearEnd.set)
    sql = sdbkey::WalkQuery(x.from, x.segs, nearEnd.bound.values.size(), nearEnd.bound.nullMask,
                            nearEnd.bound.cmp, false, x.columns, where);
  else
    sql = "SELECT " + x.columns + " FROM " + x.from + (where.empty() ? "" : " WHERE " + where) +
          " ORDER BY " + sdbkey::OrderBy(x.segs, !forward);
  std::vector<std::pair<int64_t, std::vector<sdbkey::Value>>> keys;
  {
    DbMutex lock(db.Handle());
    sqlite3_stmt* st = db.Prepare(sql);
    ResetOnExit reset{st};
    if (!fromEnd) {
      sdbkey::BindAll(st, key, 1);
      sqlite3_bind_int64(st, sdbkey::kRowidParam, fromRecno);
    } else if (nearEnd.set) {
      sdbkey::BindAll(st, nearEnd.bound.values, 1);
    }
    const int64_t start = NowMs();
    while (recnos.size() < n && db.Step(st)) {
      std::vector<sdbkey::Value> v = x.RowValues(st);
      if (farEnd.set) {
        std::string k = sdbkey::Encode(x.segs, v);
        if (forward ? !x.BeforeBottom(k) : !x.AfterTop(k)) break;
      }
      AddRow(st, def, recnos, images);
      keys.emplace_back(recnos.back(), std::move(v));
      if (ReadLongEnough(start, recnos.size())) break;
    }
  }
  FKeys.clear();
  FKeysEpoch = WriteEpoch();
  for (auto& [r, v] : keys) FKeys[r] = std::move(v);
}

int64_t OrderRows::Count() {
  return CountRecords(FIndex ? static_cast<Object&>(*FIndex) : FTable, SDB_RESPECTFILTERS);
}

// ---------------------------------------------------------------------------
// Counting, visibility, positions

namespace {

// Rows of an index order: with the filters and/or the scopes, and with
// `extra` (parameters from 301 on, bound by bindExtra).
int64_t CountIndex(const Index& x, bool filters, bool scopes, const std::string& extra = {},
                   const std::function<void(sqlite3_stmt*)>& bindExtra = {}) {
  std::string where = filters ? x.Where() : x.def.condition;
  if (scopes) {
    if (x.top.set)
      where =
          AndSql(where, sdbkey::KeyCondition(x.segs, x.top.bound.values.size(),
                                             x.top.bound.nullMask, x.top.bound.cmp, false, 101));
    if (x.bottom.set)
      where = AndSql(
          where, sdbkey::KeyCondition(x.segs, x.bottom.bound.values.size(), x.bottom.bound.nullMask,
                                      x.bottom.bound.cmp, false, 201));
  }
  where = AndSql(where, extra);
  Database& db = x.Db();
  sqlite3_stmt* st =
      db.Prepare("SELECT count(*) FROM " + x.from + (where.empty() ? "" : " WHERE " + where));
  ResetOnExit reset{st};
  x.BindScopes(st, scopes, scopes);
  if (bindExtra) bindExtra(st);
  return db.Step(st) ? sqlite3_column_int64(st, 0) : 0;
}

// The key number of the current record: rows of the order before it, + 1.
int64_t KeyNumber(Index& x, bool filters, bool scopes, const char* call) {
  Table& t = x.table;
  if (t.bof || t.eof || t.deleted)
    Throw(SDB_E_NO_KEY_POSITION, std::string(call) + ": there is no current record in " + t.name +
                                     ", so it has no key position.");
  std::vector<sdbkey::Value> key = x.rows.KeyOf(t.recno, t.image.data());
  const int rowidParam = 301 + static_cast<int>(key.size());
  std::string before =
      sdbkey::KeyCondition(x.segs, key.size(), NullMask(key), sdbkey::Cmp::LT, true, 301);
  return 1 + CountIndex(x, filters, scopes, before, [&](sqlite3_stmt* st) {
           sdbkey::BindAll(st, key, 301);
           sqlite3_bind_int64(st, rowidParam, t.recno);
         });
}

}  // namespace

int64_t CountRecords(Object& object, uint16_t option) {
  const int opt = option & 3;
  if (object.kind == Kind::Index) {
    Index& x = static_cast<Index&>(object);
    if (opt == SDB_IGNOREFILTERS) return x.table.source->Count();
    return CountIndex(x, opt == SDB_RESPECTFILTERS, true);
  }
  Table& t = static_cast<Table&>(object);
  if (opt == SDB_RESPECTFILTERS && t.orders && t.orders->result) return t.orders->result->Count();
  if (opt == SDB_RESPECTFILTERS && t.orders && t.db) {
    std::string filter = t.orders->FilterSql();
    if (!filter.empty()) {
      sqlite3_stmt* st =
          t.db->Prepare("SELECT count(*) FROM " + t.def->quotedName + " WHERE " + filter);
      ResetOnExit reset{st};
      return t.db->Step(st) ? sqlite3_column_int64(st, 0) : 0;
    }
  }
  return t.source->Count();
}

Table& NavCursor(SDBHANDLE handle, const char* call) {
  return AimCursor(*Resolve(handle, {Kind::Table, Kind::Cursor, Kind::Index}, call));
}

Table& AimCursor(Object& o) {
  if (o.kind == Kind::Index) {
    Index& x = static_cast<Index&>(o);
    x.table.order = &x.rows;
    return x.table;
  }
  Table& t = static_cast<Table&>(o);
  RowSource* filtered = nullptr;  // a result's filtered rows, a table's filtered record order
  if (t.orders)
    filtered = t.orders->result ? t.orders->result.get()
                                : static_cast<RowSource*>(t.orders->physical.get());
  t.order = filtered;
  return t;
}

bool PassesOrder(SDBHANDLE handle, Table& t) {
  return PassesOrder(Lookup(handle), t);
}

bool PassesOrder(Object* o, Table& t) {
  Index* x = o && o->kind == Kind::Index ? static_cast<Index*>(o) : nullptr;
  std::string cond;
  if (x) {
    if (x->top.set || x->bottom.set) {
      std::string k = sdbkey::Encode(x->segs, x->rows.KeyOf(t.recno, t.image.data()));
      if (!x->InScope(k)) return false;
    }
    cond = x->Where();
  } else if (t.orders && t.db) {
    cond = t.orders->FilterSql();
  }
  if (cond.empty()) return true;
  sqlite3_stmt* st =
      t.db->Prepare("SELECT 1 FROM " + t.def->quotedName + " WHERE rowid=?1 AND (" + cond + ")");
  ResetOnExit reset{st};
  sqlite3_bind_int64(st, 1, t.recno);
  return t.db->Step(st);
}

// The record that already holds the key the pending update of `recno`
// gives unique index `ix`: the written values put into the index's
// expressions, compared with every other record's. 0 when it cannot be told.
int64_t KeyHolder(const Table& t, const sdbstore::IndexDef& ix, int64_t recno) {
  if (!t.db || !t.def || !t.pending.active) return 0;
  std::string where;
  std::vector<const sdbstore::FieldDef*> bound;
  for (const auto& g : ix.segments) {
    const sdbstore::FieldDef* f = nullptr;
    for (const auto& field : t.def->fields)
      if (!g.field.empty() && sdbstore::EqualNoCase(field.name, g.field)) f = &field;
    if (!f || sdbstore::IsBlobType(f->type)) return 0;
    std::string column = sdbstore::QuoteIdent(f->name);
    std::string mine = g.expression;
    std::string param = "?" + std::to_string(bound.size() + 1);
    bool replaced = false;
    for (size_t at = mine.find(column); at != std::string::npos;
         at = mine.find(column, at + param.size())) {
      mine.replace(at, column.size(), param);
      replaced = true;
    }
    if (!replaced) return 0;
    where += (where.empty() ? "(" : " AND (") + g.expression + ") IS (" + mine + ")";
    bound.push_back(f);
  }
  if (bound.empty()) return 0;
  if (!ix.condition.empty()) where += " AND (" + ix.condition + ")";
  try {
    sqlite3_stmt* st =
        t.db->Prepare("SELECT rowid FROM " + t.def->quotedName + " WHERE " + where +
                      " AND rowid<>?" + std::to_string(bound.size() + 1) + " LIMIT 1");
    ResetOnExit reset{st};
    for (size_t i = 0; i < bound.size(); ++i)
      sdbstore::BindField(*bound[i], t.pending.image.data(), st, static_cast<int>(i + 1));
    sqlite3_bind_int64(st, static_cast<int>(bound.size() + 1), recno);
    return t.db->Step(st) ? sqlite3_column_int64(st, 0) : 0;
  } catch (const sdbstore::StoreError&) {
    return 0;
  }
}

void RethrowWriteFailure(const Table& t, int64_t recno, const char* call) {
  try {
    throw;
  } catch (const sdbstore::StoreError& e) {
    std::string msg = e.what();
    if (e.code() != sdbstore::kErrSql || e.native() != SQLITE_CONSTRAINT || !t.def ||
        msg.find("UNIQUE") == std::string::npos)
      throw;
    // SQLite names the columns ("T.A, T.B") or, for expressions, the index.
    const sdbstore::IndexDef* hit = nullptr;
    size_t best = 0;
    for (const auto& ix : t.def->indexes) {
      if (!ix.unique) continue;
      if (msg.find("'" + ix.sqliteName + "'") != std::string::npos) {
        hit = &ix;
        break;
      }
      std::string cols;
      for (const auto& g : ix.segments)
        cols += (cols.empty() ? "" : ", ") + t.def->name + "." + g.field;
      if (cols.size() > best && msg.find(cols) != std::string::npos) {
        hit = &ix;
        best = cols.size();
      }
    }
    // Name the record that holds the key, not the one being written. When
    // SQLite's text does not name the index (a long column list is cut), the
    // index is the one whose key another record holds.
    int64_t holder = hit ? KeyHolder(t, *hit, recno) : 0;
    for (size_t i = 0; !holder && i < t.def->indexes.size(); ++i) {
      const auto& ix = t.def->indexes[i];
      if (!ix.unique || &ix == hit) continue;
      if ((holder = KeyHolder(t, ix, recno))) hit = &ix;
    }
    Throw(sdbstore::kErrSql, msg + " Duplicate key: the unique index " +
                                 (hit ? hit->name + " " : std::string()) + "of table " + t.name +
                                 " already holds the key" +
                                 (holder ? " in record " + std::to_string(holder) : std::string()) +
                                 " (writing record " + std::to_string(recno) + ", " + call + ").");
  }
}

}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbGetKeyNum(SDBHANDLE hIndex, uint16_t usFilterOption, uint32_t* pulKey) {
  return Api([&] {
    Need(pulKey, "key number");
    Index& x = IndexOf(hIndex, "SdbGetKeyNum");
    const int opt = usFilterOption & 3;
    *pulKey = static_cast<uint32_t>(
        KeyNumber(x, opt == SDB_RESPECTFILTERS, opt != SDB_IGNOREFILTERS, "SdbGetKeyNum"));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetRelKeyPos(SDBHANDLE hIndex, double* pdPos) {
  return Api([&] {
    Need(pdPos, "position");
    Index& x = IndexOf(hIndex, "SdbGetRelKeyPos");
    int64_t number = KeyNumber(x, true, true, "SdbGetRelKeyPos");
    int64_t count = CountIndex(x, true, true);
    double pos = count > 0 ? double(number) / double(count) : 0;
    // count * pos must truncate back to the key number.
    while (count > 0 && pos < 1 && static_cast<int64_t>(pos * count) < number)
      pos = std::nextafter(pos, 2.0);
    *pdPos = std::min(pos, 1.0);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbSetRelKeyPos(SDBHANDLE hIndex, double dPos) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbSetRelKeyPos");
    if (!(dPos >= 0 && dPos <= 1))
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbSetRelKeyPos: the position " + std::to_string(dPos) + " lies outside 0 to 1.");
    Table& t = NavCursor(hIndex, "SdbSetRelKeyPos");
    if (t.pending.active) t.WritePending("SdbSetRelKeyPos");
    int64_t count = CountIndex(x, true, true);
    if (count == 0) {
      t.GotoEof();
      return SDB_SUCCESS;
    }
    int64_t target = static_cast<int64_t>(std::ceil(dPos * double(count) - 1e-9));
    target = std::clamp<int64_t>(target, 1, count);
    std::string where = x.WhereScoped(true, true);
    Database& db = x.Db();
    uint64_t epoch = WriteEpoch();
    sqlite3_stmt* st = db.Prepare("SELECT " + x.columns + " FROM " + x.from +
                                  (where.empty() ? "" : " WHERE " + where) + " ORDER BY " +
                                  sdbkey::OrderBy(x.segs, false) + " LIMIT 1 OFFSET ?300");
    struct Reset {
      sqlite3_stmt* s;
      ~Reset() { sqlite3_reset(s); }
    } reset{st};
    x.BindScopes(st, true, true);
    sqlite3_bind_int64(st, 300, target - 1);
    if (db.Step(st))
      PlaceAt(t, &x, st, epoch);
    else
      t.GotoEof();
    return SDB_SUCCESS;
  });
}
