// Index orders of the engine: index handles with their key buffers and
// scopes, and a table's rows in index order under its filters.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "sdbengineInt.h"
#include "sdbexpr.h"
#include "sdbkey.h"

/*
 * ORDERS
 *
 * A table handle moves in record-number order (TableRows; OrderRows without
 * an index once a filter is set). An index handle moves its table in the
 * index's order through OrderRows: every statement names the SQLite index
 * (INDEXED BY) and repeats the index's condition, so SQLite walks the index
 * and never sorts. A batch is one walk statement (sdbkey::WalkQuery) stepped
 * for as many rows as the batch takes and then reset, so no read transaction
 * outlives the call. The row's segment values come back with it; their raw
 * key decides the scope test at the far end of a walk in C++ (a bound in
 * SQL would scan on to the end of the index on the last step), the near end
 * is where the walk starts.
 *
 * Filters (the optimized one and the plain one) are SQL conditions from the
 * expression language; they join the WHERE of every walk, seek and count.
 */

namespace sdbengine {

class Index;

/// One end of an index scope.
struct Scope {
  bool set = false;
  std::string given;  // the bytes as the caller gave them
  std::string key;    // as a raw key of the index
  sdbkey::Bound bound;
};

/// A table's rows in the order of an index (or in record-number order when
/// index is null) under the table's filters and the index's scopes.
class OrderRows : public RowSource {
 public:
  OrderRows(Table& table, Index* index) : FTable(table), FIndex(index) {}
  const std::vector<FieldDef>& Fields() const override { return FTable.source->Fields(); }
  uint32_t RecordLength() const override { return FTable.source->RecordLength(); }
  void Fetch(int64_t fromRecno, const uint8_t* fromImage, bool forward, size_t n,
             std::vector<int64_t>& recnos, std::vector<uint8_t>& images) override;
  bool Read(int64_t recno, uint8_t* image) override { return FTable.source->Read(recno, image); }
  int64_t Count() override;
  std::optional<std::string> ReadBlob(int64_t recno, int fieldIndex) override {
    return FTable.source->ReadBlob(recno, fieldIndex);
  }
  bool Static() const override { return false; }

  /// The segment values of a record: remembered from the last rows read,
  /// else read by record number, else computed from the image.
  std::vector<sdbkey::Value> KeyOf(int64_t recno, const uint8_t* image);
  void Remember(int64_t recno, std::vector<sdbkey::Value> values);

 private:
  Table& FTable;
  Index* FIndex;
  std::unordered_map<int64_t, std::vector<sdbkey::Value>> FKeys;
  uint64_t FKeysEpoch = 0;
};

/// An index handle.
class Index : public Object {
 public:
  Index(Table& owner, const sdbstore::IndexDef& definition);

  Table& table;
  sdbstore::IndexDef def;
  std::vector<sdbkey::Segment> segs;
  std::vector<bool> plain;  // segment j reads a field as it is (column index in column[j])
  std::vector<int> column;  // the field (0-based) segment j reads, -1 none
  std::string from;         // "\"T\" INDEXED BY \"sdbidx_T_X\""
  std::string columns;      // record columns then the segment values
  uint32_t keyLength = 0;
  Scope top, bottom;
  OrderRows rows;

  // The key being built (SdbInitRawKey, SdbSetField... on the index).
  std::vector<uint8_t> keyImage;
  std::vector<bool> keyGiven;
  std::map<int, std::optional<std::string>> keyBlobs;
  std::string lastKey;  // the last key built: a step of it padded with zeros means it

  /// The index condition and the table's filters ("" none).
  std::string Where() const;
  /// Where() with the scopes as conditions (parameters from 101 and 201).
  std::string WhereScoped(bool withTop, bool withBottom) const;
  void BindScopes(sqlite3_stmt* st, bool withTop, bool withBottom) const;
  /// Whether a raw key lies inside the scopes.
  bool AfterTop(const std::string& key) const;
  bool BeforeBottom(const std::string& key) const;
  bool InScope(const std::string& key) const { return AfterTop(key) && BeforeBottom(key); }
  /// The segment values of a record image (blob fields from blobs).
  std::vector<sdbkey::Value> ValuesOfImage(const uint8_t* image,
                                           const std::map<int, std::optional<std::string>>* blobs,
                                           size_t count) const;
  /// Encodes the values of a row read with `columns` (segments after the record).
  std::vector<sdbkey::Value> RowValues(sqlite3_stmt* st) const;
  Database& Db() const { return *table.db; }
};

/// The state a table keeps for its index handles and filters.
struct TableOrders {
  std::vector<SDBHANDLE> indexes;       // index handles handed out, in engine order
  std::unique_ptr<OrderRows> physical;  // record order, while a filter is set
  std::unique_ptr<RowSource> result;    // an SQL result's rows through its filters
  std::set<std::string> openGroups;     // index groups opened besides the table's own
  std::string aofText, filterText;      // as set (UTF-8); "" none
  std::string aofSql, filterSql;        // their SQLite conditions
  bool exact = false;

  std::string FilterSql() const;
};

TableOrders& OrdersOf(Table& table);
/// The table or SQL cursor an object stands for: through an index handle,
/// its table. REQUIRES a table, cursor or index object.
inline Table& TableBehind(Object& o) {
  return o.kind == Kind::Index ? static_cast<Index&>(o).table : static_cast<Table&>(o);
}
/// The engine table behind a table handle (not an SQL cursor).
Table& EngineTable(SDBHANDLE handle, const char* call);
Index& IndexOf(SDBHANDLE handle, const char* call);
/// The index handle of a table's index (made on first use).
Index& IndexHandle(Table& table, const sdbstore::IndexDef& def);
/// The field resolver of the expression language for a table.
sdbexpr::FieldResolver Resolver(const TableDef& def);
/// "a AND b" of two conditions, either may be empty.
std::string AndSql(const std::string& a, const std::string& b);
/// The stored value of a field of a record image, as SQLite holds it.
sdbkey::Value StoredValue(const FieldDef& f, const uint8_t* image);
/// Places the table on a record read with an index's columns.
void PlaceAt(Table& table, Index* index, sqlite3_stmt* st, uint64_t epoch);
/// The rows or the order changed: cached rows go.
void OrdersChanged(Table& table);
/// Turns a failure of the expression language into an engine error.
[[noreturn]] void ThrowExpr(const sdbexpr::ExprError& e, const char* call);

}  // namespace sdbengine
