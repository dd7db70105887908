// Measures index work of the engine against raw SQLite on the same file:
// seeks, a scope walk and filtered walks (run with --help for what each
// figure means).
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using namespace bench;

const char* const kUsage =
    "Usage: sdbengine_index_bench [FOLDER]\n"
    "\n"
    "Measures index work of the engine against raw SQLite on one dictionary with a\n"
    "100,000-record table, CPU time of the thread, best of 7 rounds, raw and engine\n"
    "alternating:\n"
    "  exact seek   10,000 seeks on a two-field index: key built, sought, record\n"
    "               read (engine: SdbBuildRawKey100, SdbSeek, SdbGetRecord), against\n"
    "               a prepared indexed SELECT; per seek;\n"
    "  scope walk   a 1,000-record scope of a unique index walked in index order,\n"
    "               20 times (engine: SdbSetScope, SdbGotoTop, SdbSkip); per record;\n"
    "  1% filter    the table walked under a filter that keeps 1% of it, in record\n"
    "               order and in index order (engine: SdbSetAOF100); per record seen.\n"
    "FOLDER receives the dictionary (default: a new temporary folder, removed at\n"
    "the end). Target: every engine/raw at most 2.00.\n";

constexpr int kRecords = 100000;
constexpr int kSeeks = 10000;
constexpr int kRange = 1000;
constexpr int kRangeRepeats = 20;
constexpr int kRounds = 7;
const char* const kColumns = "sdb_recno, C1, C2, NAME, AMOUNT, K, N";

std::string Code(int i) {
  std::string c = "AAA";
  c[1] = static_cast<char>('A' + i / 26 % 26);
  c[2] = static_cast<char>('A' + i % 26);
  return c;
}

// Reads every column of a row, as a record image read would.
int64_t ReadRow(sqlite3_stmt* st) {
  int64_t sum = sqlite3_column_int64(st, 0) + sqlite3_column_bytes(st, 1);
  sum += sqlite3_column_int64(st, 2) + sqlite3_column_bytes(st, 3);
  sum += static_cast<int64_t>(sqlite3_column_double(st, 4));
  return sum + sqlite3_column_int64(st, 5) + sqlite3_column_int64(st, 6);
}

struct Pair {
  std::string c1;
  int c2;
};

double RawSeeks(sqlite3* db, const std::vector<Pair>& keys) {
  std::string sql = std::string("SELECT ") + kColumns + " FROM IDX WHERE C1 = ?1 AND C2 = ?2";
  sqlite3_stmt* st = nullptr;
  CheckSqlite(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), "prepare");
  double start = CpuNow();
  int found = 0;
  int64_t sum = 0;
  for (const Pair& k : keys) {
    sqlite3_bind_text(st, 1, k.c1.c_str(), static_cast<int>(k.c1.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 2, k.c2);
    if (sqlite3_step(st) == SQLITE_ROW) {
      ++found;
      sum += ReadRow(st);
    }
    sqlite3_reset(st);
  }
  double t = CpuNow() - start;
  sqlite3_finalize(st);
  return Seen(t, found == kSeeks && sum != 0, "raw seeks found %d", found);
}

double EngineSeeks(SDBHANDLE table, SDBHANDLE pair, const std::vector<Pair>& keys,
                   std::vector<uint8_t>& image) {
  double start = CpuNow();
  int found = 0;
  uint8_t key[4082];
  for (const Pair& k : keys) {
    Check(SdbInitRawKey(pair), "SdbInitRawKey");
    Check(SdbSetField(pair, "C1", k.c1.c_str(), static_cast<uint32_t>(k.c1.size())), "SdbSetField");
    Check(SdbSetDouble(pair, "C2", k.c2), "SdbSetDouble");
    uint16_t len = sizeof key;
    Check(SdbBuildRawKey100(pair, key, &len, SDB_KEY_FULL), "SdbBuildRawKey100");
    uint16_t hit = 0;
    Check(SdbSeek(pair, key, len, SDB_RAWKEY, SDB_HARDSEEK, &hit), "SdbSeek");
    if (hit) {
      uint32_t size = static_cast<uint32_t>(image.size());
      Check(SdbGetRecord(table, image.data(), &size), "SdbGetRecord");
      ++found;
    }
  }
  double t = CpuNow() - start;
  return Seen(t, found == kSeeks, "engine seeks found %d", found);
}

double RawRange(sqlite3* db, int from) {
  std::string sql =
      std::string("SELECT ") + kColumns + " FROM IDX WHERE K BETWEEN ?1 AND ?2 ORDER BY K";
  sqlite3_stmt* st = nullptr;
  CheckSqlite(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), "prepare");
  double start = CpuNow();
  int rows = 0;
  int64_t sum = 0;
  for (int r = 0; r < kRangeRepeats; ++r) {
    sqlite3_bind_int(st, 1, from);
    sqlite3_bind_int(st, 2, from + kRange - 1);
    while (sqlite3_step(st) == SQLITE_ROW) {
      sum += ReadRow(st);
      ++rows;
    }
    sqlite3_reset(st);
  }
  double t = CpuNow() - start;
  sqlite3_finalize(st);
  return Seen(t, rows == kRange * kRangeRepeats && sum != 0, "raw range saw %d", rows);
}

// Walks a handle's order from the top to the end, reading every record.
int WalkAll(SDBHANDLE order, SDBHANDLE table, std::vector<uint8_t>& image) {
  int rows = 0;
  uint16_t eof = 0;
  Check(SdbGotoTop(order), "SdbGotoTop");
  Check(SdbAtEOF(table, &eof), "SdbAtEOF");
  while (!eof) {
    uint32_t size = static_cast<uint32_t>(image.size());
    Check(SdbGetRecord(table, image.data(), &size), "SdbGetRecord");
    ++rows;
    Check(SdbSkip(order, 1), "SdbSkip");
    Check(SdbAtEOF(table, &eof), "SdbAtEOF");
  }
  return rows;
}

std::string KeyOf(SDBHANDLE index, int k) {
  Check(SdbInitRawKey(index), "SdbInitRawKey");
  Check(SdbSetDouble(index, "K", k), "SdbSetDouble");
  uint8_t key[4082];
  uint16_t len = sizeof key;
  Check(SdbBuildRawKey100(index, key, &len, SDB_KEY_FULL), "SdbBuildRawKey100");
  return std::string(reinterpret_cast<char*>(key), len);
}

double EngineRange(SDBHANDLE table, SDBHANDLE byK, int from, std::vector<uint8_t>& image) {
  double start = CpuNow();
  int rows = 0;
  for (int r = 0; r < kRangeRepeats; ++r) {
    std::string top = KeyOf(byK, from), bottom = KeyOf(byK, from + kRange - 1);
    Check(SdbSetScope(byK, SDB_TOP, reinterpret_cast<const uint8_t*>(top.data()),
                      static_cast<uint16_t>(top.size()), SDB_RAWKEY),
          "SdbSetScope");
    Check(SdbSetScope(byK, SDB_BOTTOM, reinterpret_cast<const uint8_t*>(bottom.data()),
                      static_cast<uint16_t>(bottom.size()), SDB_RAWKEY),
          "SdbSetScope");
    rows += WalkAll(byK, table, image);
    Check(SdbClearAllScopes(table), "SdbClearAllScopes");
  }
  double t = CpuNow() - start;
  return Seen(t, rows == kRange * kRangeRepeats, "engine range saw %d", rows);
}

double RawFiltered(sqlite3* db, const char* order) {
  std::string sql = std::string("SELECT ") + kColumns + " FROM IDX WHERE N = 7 ORDER BY " + order;
  sqlite3_stmt* st = nullptr;
  CheckSqlite(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), "prepare");
  double start = CpuNow();
  int rows = 0;
  int64_t sum = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    sum += ReadRow(st);
    ++rows;
  }
  double t = CpuNow() - start;
  sqlite3_finalize(st);
  return Seen(t, rows == kRecords / 100 && sum != 0, "raw filtered walk saw %d", rows);
}

double EngineFiltered(SDBHANDLE table, SDBHANDLE order, std::vector<uint8_t>& image) {
  double start = CpuNow();
  Check(SdbSetAOF100(table, "N = 7", SDB_AOF_DYNAMIC + SDB_AOF_RESOLVE_DYNAMIC), "SdbSetAOF100");
  int rows = WalkAll(order, table, image);
  Check(SdbClearAOF(table), "SdbClearAOF");
  double t = CpuNow() - start;
  return Seen(t, rows == kRecords / 100, "engine filtered walk saw %d", rows);
}

}  // namespace

int main(int argc, char** argv) {
  HandleOptions(argc, argv, kUsage);
  Files files(argc, argv, "sdbidxbench");
  SDBHANDLE conn = files.conn;
  sqlite3* raw = files.raw;
  Exec(conn,
       u"CREATE TABLE IDX (C1 CHAR(3), C2 INTEGER, NAME CHAR(20), AMOUNT DOUBLE, K INTEGER, "
       u"N INTEGER);");
  std::mt19937 rng(17);
  std::vector<int> order(kRecords);
  for (int i = 0; i < kRecords; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);  // keys unrelated to record order
  {
    CheckSqlite(raw, sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr), "begin");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw,
                       "INSERT INTO IDX (C1, C2, NAME, AMOUNT, K, N) VALUES (?1, ?2, ?3, ?4, ?5, "
                       "?6)",
                       -1, &st, nullptr);
    for (int i = 0; i < kRecords; ++i) {
      int v = order[i];
      std::string c1 = Code(v / 1000), name = "name " + std::to_string(i);
      sqlite3_bind_text(st, 1, c1.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(st, 2, v % 1000);
      sqlite3_bind_text(st, 3, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 4, i * 1.25);
      sqlite3_bind_int(st, 5, v);
      sqlite3_bind_int(st, 6, i % 100);
      CheckSqlite(raw, sqlite3_step(st), "fill");
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    CheckSqlite(raw, sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), "commit");
  }
  Exec(conn, u"CREATE INDEX PAIR ON IDX (C1, C2); CREATE UNIQUE INDEX K ON IDX (K);");

  SDBHANDLE table = 0, pair = 0, byK = 0;
  Check(SdbOpenTable90(conn, "IDX", nullptr, 0, 1, 1, 2, 0, nullptr, &table), "SdbOpenTable90");
  Check(SdbGetIndexHandle(table, "PAIR", &pair), "SdbGetIndexHandle");
  Check(SdbGetIndexHandle(table, "K", &byK), "SdbGetIndexHandle");
  uint32_t length = 0;
  Check(SdbGetRecordLength(table, &length), "SdbGetRecordLength");
  std::vector<uint8_t> image(length);

  std::vector<Pair> keys;
  for (int i = 0; i < kSeeks; ++i) {
    int v = static_cast<int>(rng() % kRecords);
    keys.push_back({Code(v / 1000), v % 1000});
  }
  const int from = kRecords / 2;
  double rawSeek = 1e9, engineSeek = 1e9, rawScope = 1e9, engineScope = 1e9;
  double rawFilter = 1e9, engineFilter = 1e9, rawIndexFilter = 1e9, engineIndexFilter = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    rawSeek = std::min(rawSeek, RawSeeks(raw, keys));
    engineSeek = std::min(engineSeek, EngineSeeks(table, pair, keys, image));
    rawScope = std::min(rawScope, RawRange(raw, from));
    engineScope = std::min(engineScope, EngineRange(table, byK, from, image));
    rawFilter = std::min(rawFilter, RawFiltered(raw, "sdb_recno"));
    engineFilter = std::min(engineFilter, EngineFiltered(table, table, image));
    rawIndexFilter = std::min(rawIndexFilter, RawFiltered(raw, "K"));
    engineIndexFilter = std::min(engineIndexFilter, EngineFiltered(table, byK, image));
  }
  std::printf("sdbengine_index_bench on SQLite %s, %s\n", sqlite3_libversion(),
              files.dictionary.c_str());
  Report("exact seek, two-field index (per seek)", kSeeks, engineSeek, rawSeek);
  Report("walk 1,000-record scope in index order (/rec)", kRange * kRangeRepeats, engineScope,
         rawScope);
  Report("walk 1% filter, record order (per record seen)", kRecords / 100, engineFilter, rawFilter);
  Report("walk 1% filter, index order (per record seen)", kRecords / 100, engineIndexFilter,
         rawIndexFilter);
  std::printf("targets: every engine/raw <= 2.00\n\n%s", kReading);

  SdbCloseTable(table);
  return 0;
}
