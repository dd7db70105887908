// Measures the engine against raw SQLite on the same file: walking and
// appending records (run with --help for what each figure means).
#include <stdlib.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using namespace bench;

const char* const kUsage =
    "Usage: sdbengine_bench [FOLDER [walk]]\n"
    "\n"
    "Measures the engine against raw SQLite doing the same work on one dictionary:\n"
    "  walk    100,000 records read top to bottom, every field of each record\n"
    "          (engine: SdbGotoTop, SdbGetRecord, SdbSkip), CPU time of the thread,\n"
    "          best of 7 rounds, raw and engine alternating;\n"
    "  append  10,000 records appended, each written in its own transaction\n"
    "          (engine: SdbAppendRecord, four setters, SdbWriteRecord), wall time.\n"
    "FOLDER receives the dictionary (default: a new temporary folder, removed at\n"
    "the end); \"walk\" skips the appends, for profiling. Targets: engine/raw at\n"
    "most 2.00 for both.\n";

constexpr int kWalkRecords = 100000;
constexpr int kAppendRecords = 10000;
constexpr int kRounds = 7;  // best of, raw and engine alternating

// Raw SQLite: walk in record-number order reading every column.
double RawWalk(sqlite3* db, const char* table) {
  std::string sql =
      std::string("SELECT sdb_recno, ID, NAME, AMOUNT, DAY FROM ") + table + " ORDER BY sdb_recno";
  sqlite3_stmt* st = nullptr;
  CheckSqlite(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), "prepare");
  double start = CpuNow();
  int64_t sum = 0;
  int rows = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    sum += sqlite3_column_int64(st, 0) + sqlite3_column_int64(st, 1);
    sum += sqlite3_column_bytes(st, 2);
    sum += static_cast<int64_t>(sqlite3_column_double(st, 3));
    sum += sqlite3_column_bytes(st, 4);
    ++rows;
  }
  double t = CpuNow() - start;
  sqlite3_finalize(st);
  return Seen(t, rows == kWalkRecords && sum != 0, "raw walk saw %d records", rows);
}

double EngineWalk(SDBHANDLE conn, const char* table) {
  SDBHANDLE t = 0;
  Check(SdbOpenTable90(conn, table, nullptr, 0, 1, 1, 2, 0, nullptr, &t), "SdbOpenTable90");
  double start = CpuNow();
  int rows = WalkImages(t);
  double s = CpuNow() - start;
  SdbCloseTable(t);
  if (rows != kWalkRecords) {
    std::fprintf(stderr, "engine walk saw %d records\n", rows);
    std::exit(1);
  }
  return s;
}

double RawAppend(sqlite3* db, const char* table) {
  std::string sql =
      std::string("INSERT INTO ") + table + " (ID, NAME, AMOUNT, DAY) VALUES (?1, ?2, ?3, ?4)";
  sqlite3_stmt* st = nullptr;
  CheckSqlite(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), "prepare");
  auto start = Clock::now();
  for (int i = 0; i < kAppendRecords; ++i) {
    sqlite3_bind_int64(st, 1, i);
    sqlite3_bind_text(st, 2, "appended name", -1, SQLITE_STATIC);
    sqlite3_bind_double(st, 3, i * 0.5);
    sqlite3_bind_text(st, 4, "2024-05-17", -1, SQLITE_STATIC);
    CheckSqlite(db, sqlite3_step(st), "insert");
    sqlite3_reset(st);
  }
  double t = Seconds(start);
  sqlite3_finalize(st);
  return t;
}

double EngineAppend(SDBHANDLE conn, const char* table) {
  SDBHANDLE t = 0;
  Check(SdbOpenTable90(conn, table, nullptr, 0, 1, 1, 2, 0, nullptr, &t), "SdbOpenTable90");
  auto start = Clock::now();
  for (int i = 0; i < kAppendRecords; ++i) {
    Check(SdbAppendRecord(t), "SdbAppendRecord");
    Check(SdbSetDouble(t, "ID", i), "SdbSetDouble");
    Check(SdbSetField(t, "NAME", "appended name", 13), "SdbSetField");
    Check(SdbSetDouble(t, "AMOUNT", i * 0.5), "SdbSetDouble");
    Check(SdbSetJulian(t, "DAY", 2460448), "SdbSetJulian");
    Check(SdbWriteRecord(t), "SdbWriteRecord");
  }
  double s = Seconds(start);
  SdbCloseTable(t);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  HandleOptions(argc, argv, kUsage);
  Files files(argc, argv, "sdbbench");
  SDBHANDLE conn = files.conn;
  sqlite3* raw = files.raw;
  Exec(conn,
       u"CREATE TABLE WALK (ID INTEGER, NAME CHAR(20), AMOUNT DOUBLE, DAY DATE);"
       u"CREATE TABLE RAWAPP (ID INTEGER, NAME CHAR(20), AMOUNT DOUBLE, DAY DATE);"
       u"CREATE TABLE ENGAPP (ID INTEGER, NAME CHAR(20), AMOUNT DOUBLE, DAY DATE);");

  {
    CheckSqlite(raw, sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr), "begin");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO WALK (ID, NAME, AMOUNT, DAY) VALUES (?1, ?2, ?3, ?4)", -1,
                       &st, nullptr);
    for (int i = 1; i <= kWalkRecords; ++i) {
      std::string name = "name " + std::to_string(i);
      sqlite3_bind_int64(st, 1, i);
      sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 3, i * 1.25);
      sqlite3_bind_text(st, 4, "2024-05-17", -1, SQLITE_STATIC);
      CheckSqlite(raw, sqlite3_step(st), "fill");
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    CheckSqlite(raw, sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), "commit");
  }

  double rawWalk = 1e9, engineWalk = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    rawWalk = std::min(rawWalk, RawWalk(raw, "WALK"));
    engineWalk = std::min(engineWalk, EngineWalk(conn, "WALK"));
  }
  bool walkOnly = argc > 2 && std::string(argv[2]) == "walk";  // for profiling
  double rawAppend = walkOnly ? 1 : RawAppend(raw, "RAWAPP");
  double engineAppend = walkOnly ? 1 : EngineAppend(conn, "ENGAPP");

  std::printf("sdbengine_bench on SQLite %s, %s\n", sqlite3_libversion(), files.dictionary.c_str());
  Report("walk 100,000 records (CPU, best of 7)", kWalkRecords, engineWalk, rawWalk);
  Report("append 10,000 records (wall time)", kAppendRecords, engineAppend, rawAppend);
  std::printf("targets: walk engine/raw <= 2.00 (at least half raw speed), append <= 2.00\n\n%s",
              kReading);

  return 0;
}
