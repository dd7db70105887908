// Filters: the optimized and the plain filter of a table as SQL conditions
// SQLite evaluates, the exact setting, evaluating an expression on the
// current record, and the short and long forms of expressions.
#include <algorithm>

#include "sdbengineIndex.h"

using namespace sdbengine;

namespace {

// The rows of a static SQL result, or null for a table or a live cursor.
StaticRows* ResultRows(Table& t) {
  return t.IsCursor() && !t.db ? dynamic_cast<StaticRows*>(t.source.get()) : nullptr;
}

// The table a filter call works on (through an index handle: its table). A
// static SQL result takes filters too (evaluated on its rows); a live one
// does not, as its rows are the table's as its SELECT chose them.
Table& FilterTable(SDBHANDLE h, const char* call, bool results = true) {
  Object* o = Resolve(h, {Kind::Table, Kind::Cursor, Kind::Index}, call);
  if (o->kind == Kind::Index) return static_cast<Index*>(o)->table;
  Table& t = static_cast<Table&>(*o);
  if ((t.IsCursor() || !t.db) && !(results && ResultRows(t)))
    Throw(SDB_E_NOT_SUPPORTED,
          std::string(call) + ": this SQL cursor takes no filters; filter in its SELECT instead.");
  return t;
}

// A static SQL result seen through its filters. Its rows never change, so
// each filter is evaluated once per row, when it is set.
class FilteredResult : public RowSource {
 public:
  FilteredResult(StaticRows& rows, std::vector<char> pass) : FRows(rows), FPass(std::move(pass)) {}
  const std::vector<FieldDef>& Fields() const override { return FRows.fields; }
  uint32_t RecordLength() const override { return FRows.recordLength; }
  void Fetch(int64_t fromRecno, const uint8_t*, bool forward, size_t n,
             std::vector<int64_t>& recnos, std::vector<uint8_t>& out) override {
    const int64_t rows = FRows.rows;
    int64_t r = forward ? fromRecno + 1 : fromRecno == 0 ? rows : fromRecno - 1;
    for (; n > 0 && r >= 1 && r <= rows; r += forward ? 1 : -1) {
      if (!FPass[r - 1]) continue;
      recnos.push_back(r);
      const uint8_t* row = FRows.images.data() + (r - 1) * FRows.recordLength;
      out.insert(out.end(), row, row + FRows.recordLength);
      --n;
    }
  }
  bool Read(int64_t recno, uint8_t* image) override { return FRows.Read(recno, image); }
  int64_t Count() override { return std::count(FPass.begin(), FPass.end(), 1); }
  std::optional<std::string> ReadBlob(int64_t recno, int fieldIndex) override {
    return FRows.ReadBlob(recno, fieldIndex);
  }
  bool Static() const override { return true; }

 private:
  StaticRows& FRows;
  std::vector<char> FPass;  // per row: 1 when the filters let it through
};

// Which rows of a result a filter condition (the SQL of its expression)
// lets through: each row's values are bound under the field names, and
// SQLite evaluates the condition on them.
std::vector<char> EvaluateOnRows(StaticRows& rows, const std::string& sql) {
  sdbstore::OpenOptions open;
  open.create = true;
  auto db = sdbstore::Database::Open(":memory:", open);
  std::string select = "SELECT CASE WHEN (" + sql + ") THEN 1 ELSE 0 END FROM (SELECT ";
  for (size_t i = 0; i < rows.fields.size(); ++i)
    select += (i ? ", ?" : "?") + std::to_string(i + 1) + " AS " +
              sdbstore::QuoteIdent(rows.fields[i].name);
  select += ")";
  sqlite3_stmt* st = db->Prepare(select);
  std::vector<char> pass(static_cast<size_t>(rows.rows), 0);
  for (int64_t r = 0; r < rows.rows; ++r) {
    const uint8_t* image = rows.images.data() + r * rows.recordLength;
    for (size_t i = 0; i < rows.fields.size(); ++i) {
      const FieldDef& f = rows.fields[i];
      if (sdbstore::IsBlobType(f.type))
        sdbstore::BindBlob(f, rows.ReadBlob(r + 1, static_cast<int>(i)), st,
                           static_cast<int>(i + 1));
      else
        sdbstore::BindField(f, image, st, static_cast<int>(i + 1));
    }
    pass[r] = db->Step(st) && sqlite3_column_int(st, 0) == 1;
    sqlite3_reset(st);
  }
  return pass;
}

std::string FilterText(const void* filter, uint32_t options) {
  Need(filter, "filter");
  if (options & SDB_FILTER_UTF16)
    return sdbstore::Utf16ToUtf8(WideZ(static_cast<const char16_t*>(filter)));
  return static_cast<const char*>(filter);
}

sdbexpr::Options ExprOptions(Table& t) {
  sdbexpr::Options o;
  o.exact = t.orders && t.orders->exact;
  o.dateFormat = t.conn->DateFormat();
  return o;
}

// The leading segments of the table's indexes: where an optimized filter
// can be resolved through an index.
std::vector<std::string> IndexedSql(const Table& t) {
  std::vector<std::string> out;
  auto fresh = t.db->FindTable(t.name);
  for (const auto& ix : (fresh ? fresh : t.def)->indexes)
    if (!ix.segments.empty() && ix.condition.empty()) out.push_back(ix.segments[0].expression);
  return out;
}

// Lets SQLite check a condition once, so that a filter SQLite cannot run
// is refused when it is set rather than on the first move.
void Check(Table& t, const std::string& sql) {
  sqlite3_stmt* st =
      t.db->Prepare("SELECT 1 FROM " + t.def->quotedName + " WHERE (" + sql + ") LIMIT 0");
  sqlite3_reset(st);
}

// Applies the table's filters to its record order and index orders.
void FiltersChanged(Table& t) {
  TableOrders& o = OrdersOf(t);
  if (StaticRows* rows = ResultRows(t)) {  // an SQL result: no indexes, one order
    if (t.order == o.result.get()) t.order = nullptr;
    o.result.reset();
    if (!o.FilterSql().empty()) {
      o.result = std::make_unique<FilteredResult>(*rows, EvaluateOnRows(*rows, o.FilterSql()));
      t.order = o.result.get();
    }
  } else if (o.FilterSql().empty()) {
    if (t.order == o.physical.get()) t.order = nullptr;
    o.physical.reset();
  } else if (!o.physical) {
    o.physical = std::make_unique<OrderRows>(t, nullptr);
    if (!t.order) t.order = o.physical.get();
  }
  OrdersChanged(t);
}

uint32_t SetFilter(SDBHANDLE hTable, const void* pvFilter, uint32_t ulOptions, bool optimized,
                   const char* call) {
  Table& t = FilterTable(hTable, call);
  std::string text = FilterText(pvFilter, ulOptions);
  TableOrders& o = OrdersOf(t);
  StaticRows* result = ResultRows(t);
  TableDef resultDef;  // a result's fields, for the names in the expression
  if (result) resultDef.fields = result->fields;
  const TableDef& def = result ? resultDef : *t.def;
  std::string sql;
  if (text.find_first_not_of(" \t\r\n") != std::string::npos) {
    try {
      if (optimized)
        sql = sdbexpr::CompileFilter(text, Resolver(def), ExprOptions(t),
                                     result ? std::vector<std::string>{} : IndexedSql(t))
                  .sql;
      else
        sql = sdbexpr::CompileLogical(text, Resolver(def), ExprOptions(t)).sql;
    } catch (const sdbexpr::ExprError& e) {
      ThrowExpr(e, call);
    }
    if (!result) Check(t, sql);  // a result's rows are evaluated at once below
  } else {
    text.clear();
  }
  std::string& keptText = optimized ? o.aofText : o.filterText;
  std::string& keptSql = optimized ? o.aofSql : o.filterSql;
  const std::string oldText = keptText, oldSql = keptSql;
  keptText = text;
  keptSql = sql;
  try {
    FiltersChanged(t);
  } catch (...) {  // a filter SQLite refused leaves the one before in place
    keptText = oldText;
    keptSql = oldSql;
    FiltersChanged(t);
    throw;
  }
  return SDB_SUCCESS;
}

uint32_t ClearFilter(SDBHANDLE hTable, bool optimized, const char* call) {
  Table& t = FilterTable(hTable, call);
  TableOrders& o = OrdersOf(t);
  std::string& text = optimized ? o.aofText : o.filterText;
  if (text.empty())
    Throw(SDB_E_NO_FILTER, std::string(call) + ": " + t.name + " has no " +
                               (optimized ? "optimized filter" : "filter") + ".");
  text.clear();
  (optimized ? o.aofSql : o.filterSql).clear();
  FiltersChanged(t);
  return SDB_SUCCESS;
}

uint32_t GetFilter(SDBHANDLE hTable, char* buf, uint16_t* len, bool optimized, const char* call) {
  Table& t = FilterTable(hTable, call);
  Need(len, "filter length");
  const std::string empty;
  const std::string& text =
      t.orders ? (optimized ? t.orders->aofText : t.orders->filterText) : empty;
  if (text.empty())
    Throw(SDB_E_NO_FILTER, std::string(call) + ": " + t.name + " has no " +
                               (optimized ? "optimized filter" : "filter") + ".");
  return PutText(text, buf, len);
}

uint32_t Convert(SDBHANDLE hTable, const char* in, char* out, uint32_t* len, bool toShort,
                 const char* call) {
  Resolve(hTable, {Kind::Table, Kind::Cursor, Kind::Index}, call);
  Need(in, "expression");
  std::string text;
  try {
    text = toShort ? sdbexpr::ExpressionLongToShort(in) : sdbexpr::ExpressionShortToLong(in);
  } catch (const sdbexpr::ExprError& e) {
    ThrowExpr(e, call);
  }
  return PutText32(text, out, len);
}

}  // namespace

extern "C" uint32_t SdbSetAOF100(SDBHANDLE hTable, const void* pvFilter, uint32_t ulOptions) {
  return Api([&] { return SetFilter(hTable, pvFilter, ulOptions, true, "SdbSetAOF100"); });
}

extern "C" uint32_t SdbSetFilter100(SDBHANDLE hTable, const void* pvFilter, uint32_t ulOptions) {
  return Api([&] { return SetFilter(hTable, pvFilter, ulOptions, false, "SdbSetFilter100"); });
}

extern "C" uint32_t SdbClearAOF(SDBHANDLE hTable) {
  return Api([&] { return ClearFilter(hTable, true, "SdbClearAOF"); });
}

extern "C" uint32_t SdbClearFilter(SDBHANDLE hTable) {
  return Api([&] { return ClearFilter(hTable, false, "SdbClearFilter"); });
}

extern "C" uint32_t SdbGetAOF(SDBHANDLE hTable, char* pucFilter, uint16_t* pusLen) {
  return Api([&] { return GetFilter(hTable, pucFilter, pusLen, true, "SdbGetAOF"); });
}

extern "C" uint32_t SdbGetFilter(SDBHANDLE hTable, char* pucFilter, uint16_t* pusLen) {
  return Api([&] { return GetFilter(hTable, pucFilter, pusLen, false, "SdbGetFilter"); });
}

extern "C" uint32_t SdbEvalLogicalExpr(SDBHANDLE hTable, const char* pucExpr, uint16_t* pbResult) {
  return Api([&] {
    Need(pucExpr, "expression");
    Need(pbResult, "result");
    Table& t = FilterTable(hTable, "SdbEvalLogicalExpr", false);
    t.Current("SdbEvalLogicalExpr");
    std::optional<bool> result;
    try {
      std::string sql = sdbexpr::CompileLogical(pucExpr, Resolver(*t.def), ExprOptions(t)).sql;
      result = sdbexpr::EvalLogical(t.db->Handle(), t.def->quotedName, t.recno, sql);
    } catch (const sdbexpr::ExprError& e) {
      ThrowExpr(e, "SdbEvalLogicalExpr");
    }
    if (!result)
      Throw(SDB_E_NO_CURRENT_RECORD, "SdbEvalLogicalExpr: the current record " +
                                         std::to_string(t.recno) + " of " + t.name +
                                         " no longer exists.");
    *pbResult = *result ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbSetExact22(SDBHANDLE hObj, uint16_t bExact) {
  return Api([&] {
    Object* o = Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Index}, "SdbSetExact22");
    Table& t = TableBehind(*o);
    OrdersOf(t).exact = bExact != 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetExact22(SDBHANDLE hObj, uint16_t* pbExact) {
  return Api([&] {
    Object* o = Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Index}, "SdbGetExact22");
    Table& t = TableBehind(*o);
    return PutBool(t.orders && t.orders->exact, pbExact, "answer");
  });
}

extern "C" uint32_t SdbExpressionLongToShort90(SDBHANDLE hTable, const char* pucLongExpr,
                                               char* pucShortExpr, uint32_t* pulBufferLen) {
  return Api([&] {
    return Convert(hTable, pucLongExpr, pucShortExpr, pulBufferLen, true,
                   "SdbExpressionLongToShort90");
  });
}

extern "C" uint32_t SdbExpressionShortToLong90(SDBHANDLE hTable, const char* pucShortExpr,
                                               char* pucLongExpr, uint32_t* pulBufferLen) {
  return Api([&] {
    return Convert(hTable, pucShortExpr, pucLongExpr, pulBufferLen, false,
                   "SdbExpressionShortToLong90");
  });
}
