// libFuzzer target over engine SQL through the C API: every input runs on a
// fresh copy of one small dictionary (two tables, indexes, a few rows) in a
// temporary folder, as SdbExecuteSQLDirectW or SdbPrepareSQLW + SdbExecuteSQL,
// and the cursor of a SELECT is walked, read and closed. Beyond not crashing,
// every failure must answer a code with a text.
//
// Input: one control byte, then the SQL as UTF-8 (a three-byte form of a
// lone surrogate and bytes that are no UTF-8 become single UTF-16 units).
// Control bit 0: ask for a live cursor; bit 1: prepare, then execute; bit 2:
// inside a transaction, rolled back; bit 3: write to the cursor's first row;
// bit 4: connect again afterwards and read both tables through table and
// index handles (a catalog the SQL changed is then read afresh); bit 5: the
// text is a filter expression on T1 instead (bit 1: a plain filter, not an
// optimized one; bit 2: exact).
// SDBSQL_FUZZ_VERBOSE=1 in the environment prints every failed call.
//
// Bounds kept by the harness, not the engine: no ATTACH (so no file outside
// the temporary folder, VACUUM INTO included), values up to 1 MiB, and about
// two million SQLite steps per input.
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "sdbengine.h"
#include "sdbexpr.h"
#include "sdbstore.h"

const char* const fuzz::kTarget = "sdbsql_fuzz";

namespace {

using fuzz::Die;
using fuzz::LastErrorText;

std::string gDir, gDict, gPristine;
int gSteps = 0;
bool gFilterSet = false;  // a fuzzed filter was accepted: SQL made from it must run

int Progress(void*) {
  return ++gSteps > 2000;
}
int Authorize(void*, int action, const char*, const char*, const char*, const char*) {
  return action == SQLITE_ATTACH || action == SQLITE_DETACH ? SQLITE_DENY : SQLITE_OK;
}
int FuzzInit(sqlite3* db) {
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
  sqlite3_progress_handler(db, 1000, Progress, nullptr);
  sqlite3_set_authorizer(db, Authorize, nullptr);
  return SdbRegisterSqlFunctions(db);
}

bool Verbose() {
  static const bool verbose = std::getenv("SDBSQL_FUZZ_VERBOSE") != nullptr;
  return verbose;
}

// A failed call must leave a code and a text as the thread's last error.
uint32_t Check(uint32_t rc, const char* call) {
  if (rc == SDB_SUCCESS) return rc;
  std::string text = LastErrorText(rc, call);
  if (gFilterSet && rc == SDB_E_SQL && text.find("NativeError = 1;") != std::string::npos)
    Die(std::string(call) + " failed on SQL made from a filter the engine accepted: " + text);
  if (Verbose()) std::fprintf(stderr, "%s: %u %s\n", call, rc, text.c_str());
  return rc;
}

uint32_t Run(SDBHANDLE conn, const std::string& sql) {
  SDBHANDLE stmt = 0;
  uint32_t rc = SdbCreateSQLStatement(conn, &stmt);
  if (rc == SDB_SUCCESS) {
    rc = SdbExecuteSQLDirectW(stmt, sdbstore::Utf8ToUtf16(sql).c_str(), nullptr);
    SdbCloseSQLStatement(stmt);
  }
  return rc;
}

struct Setup {
  Setup() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/sdbsql_fuzzXXXXXX";
    if (!mkdtemp(tmpl.data())) Die("no temporary folder");
    gDir = tmpl;
    gDict = gDir + "/db.add";
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(gDir, ec);
    });
    sdbstore::OpenOptions create;
    create.create = true;
    sdbstore::Database::Open(gDict, create);
    SDBHANDLE conn = 0;
    if (SdbConnect(gDict.c_str(), &conn) != SDB_SUCCESS) Die("cannot connect");
    const char* ddl =
        "CREATE TABLE T1 (ID AUTOINC, NAME CHAR(10), CINAME CICHAR(10), AMOUNT NUMERIC(10,2), "
        "QTY INTEGER, SH SHORT, FLAG LOGICAL, D DATE, TS TIMESTAMP, TM TIME, NOTE MEMO, "
        "BIN BLOB, DBL DOUBLE, MNY MONEY, VC VARCHAR(20), NC NCHAR(4), NV NVARCHAR(10), "
        "RV ROWVERSION, MT MODTIME, RAWF RAW(4), CUR CURDOUBLE, IMG IMAGE, NM NMEMO);"
        "CREATE UNIQUE INDEX ID ON T1 (ID);"
        "CREATE INDEX NAME ON T1 (NAME);"
        "CREATE INDEX PAIR ON T1 (CINAME, D);"
        "CREATE TABLE T2 (CODE CHAR(3), RATE DOUBLE, T1ID INTEGER, NOTE MEMO);"
        "CREATE INDEX CODE ON T2 (CODE);"
        "INSERT INTO T1 (NAME, CINAME, AMOUNT, QTY, SH, FLAG, D, TS, TM, NOTE, DBL, MNY, VC, NC, "
        "NV) VALUES ('ABC', 'Abc', 12.5, 3, 7, TRUE, '2020-01-31', '2020-01-31 13:45:00.000', "
        "'13:45:00.000', 'memo', 2.25, 1.2345, 'var', 'nc', 'ÄÖ');"
        "INSERT INTO T1 (NAME) VALUES ('X');"
        "INSERT INTO T1 (NAME, QTY, FLAG, D) VALUES ('O''Brien', -2147483648, FALSE, "
        "'1999-12-31');"
        "INSERT INTO T2 VALUES ('EUR', 1.1, 1, NULL), ('USD', 0.9, 2, 'note');";
    if (Check(Run(conn, ddl), "set-up")) Die("set-up SQL failed");
    SdbDisconnect(conn);
    // From here on every connection the engine opens carries the bounds.
    sdbstore::SetConnectionInitHook(&FuzzInit);
    std::ifstream in(gDict, std::ios::binary);
    gPristine.assign(std::istreambuf_iterator<char>(in), {});
    if (gPristine.empty()) Die("empty dictionary");
    SelfCheck();
  }

  // The bounds hold: no statement attaches a file.
  void SelfCheck() {
    Restore();
    SDBHANDLE conn = 0;
    if (SdbConnect(gDict.c_str(), &conn) != SDB_SUCCESS) Die("cannot connect");
    std::string escape = gDir + "/escape.db";
    Run(conn, "ATTACH '" + escape + "' AS x");
    Run(conn, "VACUUM INTO '" + escape + "'");
    SdbDisconnect(conn);
    if (std::filesystem::exists(escape)) Die("a statement attached a file");
  }

  static void Restore() {
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm", ".lck"}) std::filesystem::remove(gDict + suffix, ec);
    std::ofstream out(gDict, std::ios::binary | std::ios::trunc);
    out.write(gPristine.data(), static_cast<std::streamsize>(gPristine.size()));
    if (!out) Die("cannot restore the dictionary");
  }
};

// UTF-8 to UTF-16 that lets the input name any UTF-16 unit.
std::u16string Units(const uint8_t* p, size_t n) {
  std::u16string out;
  for (size_t i = 0; i < n;) {
    uint8_t c = p[i];
    if (c >= 0xC2 && c < 0xE0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
      out += static_cast<char16_t>(((c & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
    } else if (c >= 0xE0 && c < 0xF0 && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80) {
      out +=
          static_cast<char16_t>(((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
      i += 3;
    } else {
      out += static_cast<char16_t>(c);
      ++i;
    }
  }
  return out;
}

// Moves through `cursor` (a table, cursor or index order) and reads the
// records through `reader` (the table or cursor itself).
void Walk(SDBHANDLE cursor, SDBHANDLE reader, bool write) {
  uint16_t fields = 0;
  Check(SdbGetNumFields(reader, &fields), "SdbGetNumFields");
  uint32_t count = 0;
  Check(SdbGetRecordCount(cursor, SDB_IGNOREFILTERS, &count), "SdbGetRecordCount");
  if (Verbose()) std::fprintf(stderr, "cursor: %u fields, %u records\n", fields, count);
  static uint8_t image[1 << 16];
  char text[256];
  Check(SdbGotoTop(cursor), "SdbGotoTop");
  for (int i = 0; i < 4; ++i) {
    uint16_t eof = 1;
    if (Check(SdbAtEOF(cursor, &eof), "SdbAtEOF") || eof) break;
    uint32_t len = sizeof image;
    Check(SdbGetRecord(reader, image, &len), "SdbGetRecord");
    for (uint16_t f = 1; f <= fields && f <= 24; ++f) {
      uint32_t tlen = sizeof text;
      Check(SdbGetField(reader, SDB_FIELD(f), text, &tlen, SDB_RTRIM), "SdbGetField");
    }
    if (write && i == 0 && fields > 0) {
      Check(SdbSetField(reader, SDB_FIELD(1), "1", 1), "SdbSetField");
      Check(SdbWriteRecord(reader), "SdbWriteRecord");
    }
    Check(SdbSkip(cursor, 1), "SdbSkip");
  }
  Check(SdbGotoBottom(cursor), "SdbGotoBottom");
  Check(SdbSkip(cursor, -2), "SdbSkip");
}

// Walks every index order of an open table, and seeks in each.
void WalkIndexes(SDBHANDLE table) {
  SDBHANDLE indexes[8];
  uint16_t n = 8;
  uint32_t rc = Check(SdbGetAllIndexes(table, indexes, &n), "SdbGetAllIndexes");
  for (uint16_t i = 0; i < n && (rc == SDB_SUCCESS || rc == SDB_E_INSUFFICIENT_BUFFER); ++i) {
    Walk(indexes[i], table, false);
    uint16_t found = 0;
    Check(SdbSeek(indexes[i], reinterpret_cast<const uint8_t*>("A"), 1, SDB_STRINGKEY, SDB_SOFTSEEK,
                  &found),
          "SdbSeek");
  }
}

// The input as a filter on T1: set (as an optimized filter or a plain one,
// exact or not), walked in every order, counted and evaluated.
void Filter(uint8_t control, const std::u16string& text) {
  SDBHANDLE conn = 0, table = 0;
  if (Check(SdbConnect(gDict.c_str(), &conn), "SdbConnect")) Die("cannot connect");
  if (Check(SdbOpenTable90(conn, "T1", nullptr, SDB_TABLE_DEFAULT, 0, 0, SDB_IGNORERIGHTS, 0,
                           nullptr, &table),
            "SdbOpenTable90"))
    Die("cannot open T1");
  Check(SdbSetExact22(table, (control & 4) ? 1 : 0), "SdbSetExact22");
  uint32_t rc =
      (control & 2)
          ? Check(SdbSetFilter100(table, text.c_str(), SDB_FILTER_UTF16), "SdbSetFilter100")
          : Check(SdbSetAOF100(table, text.c_str(), SDB_FILTER_UTF16), "SdbSetAOF100");
  gFilterSet = rc == SDB_SUCCESS;
  uint32_t count = 0;
  Check(SdbGetRecordCount(table, SDB_RESPECTFILTERS, &count), "SdbGetRecordCount");
  Walk(table, table, (control & 8) != 0);
  WalkIndexes(table);
  gFilterSet = false;
  if (rc == SDB_SUCCESS) {
    Check(SdbGotoTop(table), "SdbGotoTop");
    uint16_t result = 0;
    std::string utf8 = sdbstore::Utf16ToUtf8(text);
    Check(SdbEvalLogicalExpr(table, utf8.c_str(), &result), "SdbEvalLogicalExpr");
  }
  Check(SdbCloseTable(table), "SdbCloseTable");
  Check(SdbDisconnect(conn), "SdbDisconnect");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size == 0) return 0;
  const uint8_t control = data[0];
  std::u16string sql = Units(data + 1, size - 1);
  Setup::Restore();
  gSteps = 0;
  if (control & 32) {
    Filter(control, sql);
    return 0;
  }
  SDBHANDLE conn = 0, stmt = 0, cursor = 0;
  if (Check(SdbConnect(gDict.c_str(), &conn), "SdbConnect")) Die("cannot connect");
  if (control & 4) Check(SdbBeginTransaction(conn), "SdbBeginTransaction");
  Check(SdbCreateSQLStatement(conn, &stmt), "SdbCreateSQLStatement");
  if (control & 1) Check(SdbStmtSetTableReadOnly(stmt, 2), "SdbStmtSetTableReadOnly");
  uint32_t rc;
  if (control & 2) {
    rc = Check(SdbPrepareSQLW(stmt, sql.c_str()), "SdbPrepareSQLW");
    if (rc == SDB_SUCCESS) {
      Check(SdbSetField(stmt, SDB_FIELD(1), "ABC", 3), "SdbSetField");
      rc = Check(SdbExecuteSQL(stmt, &cursor), "SdbExecuteSQL");
    }
  } else {
    rc = Check(SdbExecuteSQLDirectW(stmt, sql.c_str(), &cursor), "SdbExecuteSQLDirectW");
  }
  if (rc == SDB_SUCCESS && cursor != 0) Walk(cursor, cursor, (control & 8) != 0);
  Check(SdbCloseSQLStatement(stmt), "SdbCloseSQLStatement");
  if (control & 4) {
    uint16_t inTrans = 0;
    Check(SdbInTransaction(conn, &inTrans), "SdbInTransaction");
    if (inTrans) Check(SdbRollbackTransaction(conn), "SdbRollbackTransaction");
  }
  Check(SdbDisconnect(conn), "SdbDisconnect");
  if (control & 16) {
    if (Check(SdbConnect(gDict.c_str(), &conn), "SdbConnect")) return 0;
    for (const char* name : {"T1", "T2"}) {
      SDBHANDLE table = 0;
      if (Check(SdbOpenTable90(conn, name, nullptr, SDB_TABLE_DEFAULT, 0, 0, SDB_IGNORERIGHTS, 0,
                               nullptr, &table),
                "SdbOpenTable90") == SDB_SUCCESS) {
        Walk(table, table, (control & 8) != 0);
        WalkIndexes(table);
        Check(SdbCloseTable(table), "SdbCloseTable");
      }
    }
    Check(SdbDisconnect(conn), "SdbDisconnect");
  }
  return 0;
}
