// Live SQL cursors: a SELECT of one engine table's own fields (all of them or
// some, as stored), asked for as updatable, gives a cursor over that table.
// Its rows are the table's records the statement selects, read again on every
// batch like a table handle's, and it is written through the table's writing
// code; fields the statement leaves out are neither read nor written, so an
// append gives them their defaults.
#include <algorithm>
#include <climits>
#include <unordered_set>

#include "sdbengineInt.h"

namespace sdbengine {
namespace {

// Whether the statement has an ORDER BY of its own (outside parentheses,
// quotes and brackets).
bool HasOrderBy(std::string_view sql) {
  int depth = 0;
  auto word = [&](size_t at, std::string_view w) {
    if (at + w.size() > sql.size() || !sdbstore::EqualNoCase(sql.substr(at, w.size()), w))
      return false;
    auto ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    return (at == 0 || !ident(sql[at - 1])) &&
           (at + w.size() == sql.size() || !ident(sql[at + w.size()]));
  };
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      size_t end = sql.find(c == '[' ? ']' : c, i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && word(i, "ORDER")) {
      size_t j = i + 5;
      while (j < sql.size() && std::isspace(static_cast<unsigned char>(sql[j]))) ++j;
      if (j > i + 5 && word(j, "BY")) return true;
    }
  }
  return false;
}

/// The records of an engine table that a SELECT picks, in its order (its
/// ORDER BY, else record-number order). Single records are read from the
/// table itself, so a record changed out of the selection stays readable
/// where the cursor stands, as under a table filter.
class LiveRows : public RowSource {
 public:
  LiveRows(Database& db, std::shared_ptr<const TableDef> def, const std::string& select,
           std::vector<Param> params)
      : FDb(db), FDef(std::move(def)), FParams(std::move(params)), FOrdered(HasOrderBy(select)) {
    std::string all = "SELECT " + FDef->selectList + " FROM (" + select + ")";
    std::string from = "?" + std::to_string(FParams.size() + 1);
    std::string limit = "?" + std::to_string(FParams.size() + 2);
    FOrder = "SELECT \"sdb_recno\" FROM (" + select + ")";
    FForward = all + " WHERE \"sdb_recno\" > " + from + " ORDER BY \"sdb_recno\" LIMIT " + limit;
    FBackward =
        all + " WHERE \"sdb_recno\" < " + from + " ORDER BY \"sdb_recno\" DESC LIMIT " + limit;
    FCount = "SELECT count(*) FROM (" + select + ")";
  }

  const std::vector<FieldDef>& Fields() const override { return FDef->fields; }
  uint32_t RecordLength() const override { return FDef->recordLength; }
  bool Static() const override { return false; }
  bool Read(int64_t recno, uint8_t* image) override { return FDb.ReadRecord(*FDef, recno, image); }
  std::optional<std::string> ReadBlob(int64_t recno, int fieldIndex) override {
    return FDb.ReadBlob(*FDef, recno, fieldIndex);
  }

  int64_t Count() override {
    sqlite3_stmt* st = Bound(FCount);
    ResetOnExit reset{st};
    return FDb.Step(st) ? sqlite3_column_int64(st, 0) : 0;
  }

  void Fetch(int64_t fromRecno, const uint8_t*, bool forward, size_t n,
             std::vector<int64_t>& recnos, std::vector<uint8_t>& images) override {
    if (FOrdered)
      FetchOrdered(fromRecno, forward, n, recnos, images);
    else
      FetchByNumber(fromRecno, forward, n, recnos, images);
  }

 private:
  sqlite3_stmt* Bound(const std::string& sql) {
    sqlite3_stmt* st = FDb.Prepare(sql);
    for (size_t i = 0; i < FParams.size(); ++i)
      BindParam(FDb, st, static_cast<int>(i + 1), FParams[i]);
    return st;
  }

  void FetchByNumber(int64_t fromRecno, bool forward, size_t n, std::vector<int64_t>& recnos,
                     std::vector<uint8_t>& images) {
    sqlite3_stmt* st = Bound(forward ? FForward : FBackward);
    ResetOnExit reset{st};
    const int k = static_cast<int>(FParams.size());
    sqlite3_bind_int64(st, k + 1, fromRecno != 0 ? fromRecno : forward ? 0 : INT64_MAX);
    sqlite3_bind_int64(st, k + 2, static_cast<sqlite3_int64>(n));
    while (FDb.Step(st)) AddRow(st, *FDef, recnos, images);
  }

  // An order of the statement's own: the record numbers in that order are
  // read anew, the position found in them, and the rows read one by one.
  // Records that left the selection keep their place from the order read
  // before (after the nearest earlier record still selected), so a cursor
  // standing on one moves on to its neighbours.
  void FetchOrdered(int64_t fromRecno, bool forward, size_t n, std::vector<int64_t>& recnos,
                    std::vector<uint8_t>& images) {
    std::vector<int64_t> order;
    {
      sqlite3_stmt* st = Bound(FOrder);
      ResetOnExit reset{st};
      while (FDb.Step(st)) order.push_back(sqlite3_column_int64(st, 0));
    }
    std::unordered_set<int64_t> selected(order.begin(), order.end());
    std::unordered_map<int64_t, std::vector<int64_t>> gone;  // after a record (0: first)
    int64_t anchor = 0;
    for (int64_t r : FPlaces)
      if (selected.count(r))
        anchor = r;
      else
        gone[anchor].push_back(r);
    std::vector<int64_t> places;
    places.reserve(order.size());
    auto placeGone = [&](int64_t after) {
      auto it = gone.find(after);
      if (it != gone.end()) places.insert(places.end(), it->second.begin(), it->second.end());
    };
    placeGone(0);
    for (int64_t r : order) {
      places.push_back(r);
      placeGone(r);
    }
    FPlaces = std::move(places);

    const int64_t size = static_cast<int64_t>(FPlaces.size());
    int64_t start = forward ? 0 : size - 1;  // the first place to look at
    if (fromRecno != 0) {
      auto it = std::find(FPlaces.begin(), FPlaces.end(), fromRecno);
      if (it == FPlaces.end())
        start = forward ? size : -1;  // never selected: nothing further
      else
        start = (it - FPlaces.begin()) + (forward ? 1 : -1);
    }
    const size_t len = FDef->recordLength;
    for (int64_t i = start; n > 0 && i >= 0 && i < size; i += forward ? 1 : -1) {
      int64_t r = FPlaces[i];
      if (!selected.count(r)) continue;
      size_t slot = images.size();
      images.resize(slot + len);
      if (!FDb.ReadRecord(*FDef, r, images.data() + slot)) {  // deleted meanwhile
        images.resize(slot);
        continue;
      }
      recnos.push_back(r);
      --n;
    }
  }

  Database& FDb;
  std::shared_ptr<const TableDef> FDef;
  std::vector<Param> FParams;  // the values bound when the statement ran
  bool FOrdered;
  std::string FOrder, FForward, FBackward, FCount;
  std::vector<int64_t> FPlaces;  // the order last read, with records that left it
};

// The table as the result shows it, when every result column is one of its
// fields read as stored (not computed, not renamed, not twice): the table
// itself for all its fields in order, else a projection onto the columns
// shown. Null when the result is anything else.
std::shared_ptr<const TableDef> LiveView(Database& db, sqlite3_stmt* st,
                                         const std::shared_ptr<const TableDef>& def) {
  sdbstore::ResultLayout layout = db.DescribeResult(st);
  if (layout.recnoColumn < 0 || layout.fields.empty()) return nullptr;
  std::vector<int> shown;
  std::vector<bool> taken(def->fields.size(), false);
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    int c = layout.columns[i];
    const char* table = sqlite3_column_table_name(st, c);
    const char* origin = sqlite3_column_origin_name(st, c);
    if (!table || !origin || !sdbstore::EqualNoCase(table, def->name)) return nullptr;
    int field = def->FieldIndex(origin);
    if (field < 0 || taken[field] || !sdbstore::EqualNoCase(layout.fields[i].name, origin) ||
        layout.fields[i].type != def->fields[field].type)
      return nullptr;
    taken[field] = true;
    shown.push_back(field);
  }
  bool whole = shown.size() == def->fields.size();
  for (size_t i = 0; whole && i < shown.size(); ++i) whole = shown[i] == static_cast<int>(i);
  return whole ? def : def->Projection(shown);
}

}  // namespace

Table* NewLiveCursor(Statement& s, Database& db, const sdbstore::Translation& tr,
                     sqlite3_stmt* prepared, const std::vector<Param>& params) {
  if (!tr.singleTable || tr.table.empty()) return nullptr;
  std::shared_ptr<const TableDef> table = db.FindTable(tr.table);
  std::shared_ptr<const TableDef> def = table ? LiveView(db, prepared, table) : nullptr;
  if (!def) return nullptr;

  auto cursor = std::make_unique<Table>(Kind::Cursor, s.conn);
  cursor->live = true;
  cursor->db = &db;
  cursor->def = def;
  cursor->name = def->name;
  cursor->charType = def->charType;
  cursor->statement = &s;
  // Shares the table like a table handle: an exclusive user elsewhere leaves
  // the result static.
  cursor->sharing = std::make_unique<sdbstore::LockOwner>(db.LockPath());
  if (!cursor->sharing->LockTable(def->id, false)) return nullptr;
  cursor->checkRights = s.rights == SDB_CHECKRIGHTS && s.conn->dictionary;
  if (cursor->checkRights) cursor->rights = db.TableRights(s.conn->user, def->name);
  cursor->source = std::make_unique<LiveRows>(db, def, tr.sql, params);

  Table& ref = *cursor;
  Register(std::move(cursor));
  s.cursors.insert(&ref);
  s.conn->tables.insert(&ref);
  return &ref;
}

}  // namespace sdbengine
