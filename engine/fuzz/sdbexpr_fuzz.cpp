// libFuzzer target over the expression language: compiles the input as a
// filter, logical or value expression, index segment or index condition
// against a table with one field of each kind, and runs what compiles on an
// in-memory SQLite table holding ordinary, empty and shell-written odd values.
// Beyond not crashing, accepted text must give SQL that SQLite prepares and
// runs, a filter must select the rows its logical form accepts, a value
// expression is never NULL, and index SQL uses built-in functions only.
//
// Input: one control byte, then the expression text. Control bits 0-2 pick
// the form, bit 3 the exact setting, bits 4-6 the date format.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sdbexpr.h"

namespace {

using namespace sdbexpr;

struct Field {
  const char* name;
  sdbstore::FieldType type;
  uint32_t length;
  uint16_t decimals;
  const char* decl;  // SQLite column declaration, as the engine declares it
};
const Field kFields[] = {
    {"NAME", sdbstore::FieldType::String, 10, 0, "TEXT"},
    {"CINAME", sdbstore::FieldType::CIString, 10, 0, "TEXT COLLATE NOCASE"},
    {"NOTE", sdbstore::FieldType::Memo, 4, 0, "TEXT"},
    {"VC", sdbstore::FieldType::VarChar, 4, 0, "TEXT"},
    {"NC", sdbstore::FieldType::NChar, 5, 0, "TEXT"},
    {"VNAME", sdbstore::FieldType::NVarChar, 20, 0, "TEXT"},
    {"NM", sdbstore::FieldType::NMemo, 4, 0, "TEXT"},
    {"VCF", sdbstore::FieldType::VarCharFox, 8, 0, "TEXT"},
    {"AMOUNT", sdbstore::FieldType::Numeric, 10, 2, "REAL"},
    {"QTY", sdbstore::FieldType::Integer, 4, 0, "INTEGER"},
    {"SH", sdbstore::FieldType::ShortInt, 2, 0, "INTEGER"},
    {"AI", sdbstore::FieldType::AutoInc, 4, 0, "INTEGER"},
    {"RV", sdbstore::FieldType::RowVersion, 8, 0, "INTEGER"},
    {"DBL", sdbstore::FieldType::Double, 8, 3, "REAL"},
    {"CUR", sdbstore::FieldType::CurDouble, 8, 2, "REAL"},
    {"MNY", sdbstore::FieldType::Money, 8, 4, "REAL"},
    {"FLAG", sdbstore::FieldType::Logical, 1, 0, "INTEGER"},
    {"D", sdbstore::FieldType::Date, 4, 0, "TEXT"},
    {"CD", sdbstore::FieldType::CompactDate, 3, 0, "TEXT"},
    {"TS", sdbstore::FieldType::TimeStamp, 8, 0, "TEXT"},
    {"MT", sdbstore::FieldType::ModTime, 8, 0, "TEXT"},
    {"TM", sdbstore::FieldType::Time, 4, 0, "TEXT"},
    {"RAWF", sdbstore::FieldType::Raw, 4, 0, "BLOB"},
    {"VB", sdbstore::FieldType::VarBinaryFox, 6, 0, "BLOB"},
    {"BIN", sdbstore::FieldType::Binary, 4, 0, "BLOB"},
    {"IMG", sdbstore::FieldType::Image, 4, 0, "BLOB"},
};

// Rows as the engine stores them (1, 2, 3, 5), then values only a shell user
// would write (4): the filter and logical forms must agree on the former.
const char* const kRows[] = {
    "1,'ABC','Abc','the quick fox','x','ÄÖ','ABC','long memo','fox',12.5,3,7,1,1,2.25,3.5,"
    "1.2345,1,'2020-01-31','2020-01-31','2020-01-31 13:45:00.000','2020-01-31 13:45:00.000',"
    "'13:45:00.000',x'01020304',x'0102',x'00FF',x'FF'",
    "2,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,"
    "NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL",
    "3,'O''Brien','o\"Neil',' x',NULL,' a','a b',NULL,'  b',-1e300,-2147483648,-32768,"
    "2147483647,9223372036854775807,1e308,-1e308,-922337203685477.5808,0,'1999-12-31',"
    "'0001-01-01','9999-12-31 23:59:59.999','1899-12-30 00:00:00.000','23:59:59.999',"
    "x'00000000',x'00',x'00',NULL",
    "4,'ab c  ',x'FFFE','\x01\x7F',123,'%_*?',' lead','\xC3',-0.0,'12abc',1e400,'x',"
    "-9223372036854775808,'nan',-1e400,'1e999',9.99e307,'yes','not a date','2020-02-30',"
    "'2020-13-01 25:61:61.000','garbage','99:99','not binary',12,'text',3.5",
    "5,'Zz','zZ','zz top',NULL,'日本','x',NULL,NULL,0.001,0,0,0,0,0.0,0.0,0.0,0,'2020-02-29',"
    "'1900-02-28','2000-01-01 00:00:00.000','2000-01-01 00:00:00.000','00:00:00.000',"
    "x'00000000',NULL,NULL,NULL",
};

const char* const kDateFormats[] = {"MM/DD/CCYY", "DD.MM.YY", "YYYY-MM-DD", "CCYYMMDD",
                                    "DD/MM/YYYY", "MM-DD-YY", "YY.MM.DD",   "DDMMCCYY"};

std::string ColumnList(bool declared) {
  std::string cols;
  for (const Field& f : kFields) {
    cols += ", \"" + std::string(f.name) + "\"";
    if (declared) cols += " " + std::string(f.decl);
  }
  return cols;
}

[[noreturn]] void Fail(const char* what, std::string_view text, const std::string& sql,
                       const char* detail) {
  std::fprintf(stderr, "sdbexpr_fuzz: %s\n  text: %.*s\n  sql: %s\n  %s\n", what,
               static_cast<int>(text.size()), text.data(), sql.c_str(), detail ? detail : "");
  std::abort();
}

int gSteps = 0;
int Progress(void*) {
  return ++gSteps > 2000;  // about 2 million virtual machine steps per statement
}

sqlite3* OpenTable(bool withFunctions) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) std::abort();
  if (withFunctions && SdbRegisterSqlFunctions(db) != SQLITE_OK) std::abort();
  // The engine's scratch connection reads an unknown double-quoted name as
  // an error; compiled SQL must never rely on the opposite.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
  sqlite3_progress_handler(db, 1000, Progress, nullptr);
  std::string sql = "CREATE TABLE t(id INTEGER PRIMARY KEY" + ColumnList(true) + ");";
  for (const char* row : kRows) sql += "INSERT INTO t VALUES(" + std::string(row) + ");";
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "sdbexpr_fuzz: set-up failed: %s\n", err ? err : "");
    std::abort();
  }
  return db;
}

// Failures SQLite may answer for any text: the limits this harness sets.
bool HarnessLimit(int rc) {
  return rc == SQLITE_TOOBIG || rc == SQLITE_INTERRUPT || rc == SQLITE_NOMEM;
}

// Runs a statement to its end; answers its first column per row (NULL as
// "<null>"). Fails on anything but the harness's limits.
std::vector<std::string> Run(sqlite3* db, const std::string& sql, std::string_view text,
                             bool* limited) {
  std::vector<std::string> out;
  gSteps = 0;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc != SQLITE_OK) {
    if (HarnessLimit(rc)) {
      *limited = true;
      return out;
    }
    Fail("accepted text gives SQL SQLite does not prepare", text, sql, sqlite3_errmsg(db));
  }
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    const unsigned char* v = sqlite3_column_text(st, 0);
    out.emplace_back(v ? reinterpret_cast<const char*>(v) : "<null>");
  }
  if (rc != SQLITE_DONE) {
    std::string msg = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    if (HarnessLimit(rc)) {
      *limited = true;
      return out;
    }
    Fail("accepted text gives SQL that fails in SQLite", text, sql, msg.c_str());
  }
  sqlite3_finalize(st);
  return out;
}

struct Setup {
  sqlite3* db = OpenTable(true);
  sqlite3* plain = OpenTable(false);  // what the sqlite3 shell has: built-ins only
  FieldResolver resolve = [](std::string_view name) -> std::optional<FieldInfo> {
    for (const Field& f : kFields) {
      std::string_view n(f.name);
      if (n.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < n.size() && same; ++i)
        same = n[i] == (name[i] >= 'a' && name[i] <= 'z' ? name[i] - 32 : name[i]);
      if (same) return FieldInfo{"\"" + std::string(n) + "\"", f.type, f.length, f.decimals};
    }
    return std::nullopt;
  };
  std::vector<std::string> indexed = {"\"NAME\"", "\"QTY\"", "\"D\"", "upper(\"CINAME\")"};
};

void CheckIndexSql(Setup& s, const std::string& ddl, std::string_view text) {
  gSteps = 0;
  char* err = nullptr;
  std::string sql = "SAVEPOINT fz; " + ddl + "; ROLLBACK TO fz; RELEASE fz;";
  int rc = sqlite3_exec(s.plain, sql.c_str(), nullptr, nullptr, &err);
  std::string msg = err ? err : "";
  sqlite3_free(err);
  if (rc != SQLITE_OK) {
    sqlite3_exec(s.plain, "ROLLBACK TO fz; RELEASE fz;", nullptr, nullptr, nullptr);
    if (!HarnessLimit(rc)) Fail("index SQL the sqlite3 shell cannot build", text, ddl, msg.c_str());
  }
}

void OneInput(Setup& s, uint8_t control, std::string_view text) {
  Options options;
  options.exact = (control & 8) != 0;
  options.dateFormat = kDateFormats[(control >> 4) & 7];
  bool limited = false;
  switch (control & 7) {
    case 0:
    case 7: {  // a filter, with or without index hints, against its logical form
      Condition c = CompileFilter(text, s.resolve, options,
                                  (control & 7) == 7 ? s.indexed : std::vector<std::string>{});
      Expression e;
      try {
        e = CompileLogical(text, s.resolve, options);
      } catch (const ExprError& err) {
        // The logical form wraps the same tree in more SQL, so only the
        // limits on depth and size may refuse it where the filter passed.
        const std::string& d = err.Detail();
        if (d.find("nested too deeply") == std::string::npos &&
            d.find("too long") == std::string::npos)
          Fail("a filter that compiles has no logical form", text, c.sql, err.what());
        Run(s.db, "SELECT id FROM t WHERE " + c.sql, text, &limited);
        break;
      }
      auto a = Run(s.db, "SELECT id FROM t WHERE id <> 4 AND " + c.sql, text, &limited);
      auto b = Run(s.db, "SELECT id FROM t WHERE id <> 4 AND " + e.sql, text, &limited);
      Run(s.db, "SELECT id FROM t WHERE id = 4 AND " + c.sql, text, &limited);
      if (!limited && a != b)
        Fail("the filter and its logical form select different rows", text, c.sql, e.sql.c_str());
      break;
    }
    case 1: {  // a logical expression, through the evaluators
      Expression e = CompileLogical(text, s.resolve, options);
      Run(s.db, "SELECT id FROM t WHERE " + e.sql, text, &limited);
      gSteps = 0;
      try {
        EvalLogical(s.db, "t", 3, e.sql);
        EvalLogical(s.db, "t", -1, e.sql);
        LogicalEvaluator ev(s.db, "t", e.sql);
        for (int64_t id = 0; id <= 6; ++id) ev.Eval(id);
      } catch (const ExprError& err) {
        if (gSteps <= 2000 && std::string_view(err.what()).find("too big") == std::string::npos)
          Fail("a logical expression that compiles does not evaluate", text, e.sql, err.what());
      }
      break;
    }
    case 2: {  // a value expression: never NULL
      Expression e = CompileExpression(text, s.resolve, options);
      for (const std::string& v : Run(s.db, "SELECT " + e.sql + " FROM t", text, &limited))
        if (v == "<null>") Fail("a value expression reads NULL", text, e.sql, nullptr);
      break;
    }
    case 3: {  // an index segment: built-ins only, and an index SQLite builds
      ValueType type;
      uint32_t length = 0;
      std::string sql = IndexSegmentSql(text, s.resolve, &type, &length);
      CheckIndexSql(s, "CREATE INDEX fz ON t(" + sql + ")", text);
      break;
    }
    case 4: {  // an index condition: a partial index SQLite builds
      std::string sql = IndexConditionSql(text, s.resolve, options);
      CheckIndexSql(s, "CREATE INDEX fz ON t(\"NAME\") WHERE " + sql, text);
      break;
    }
    case 5:  // the date, time and timestamp readers
      DateFromText(text, options.dateFormat);
      TimestampFromText(text, options.dateFormat);
      TimeFromText(text);
      ParseNumber(text);
      break;
    case 6:  // the short and long forms
      ExpressionShortToLong(ExpressionLongToShort(text));
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    OneInput(setup, data[0], text);
  } catch (const ExprError& err) {
    if (err.Position() > text.size())
      Fail("an error positioned outside the text", text, "", err.what());
  }
  return 0;
}
