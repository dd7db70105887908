// RateStore_bench: StoreRate over 10,000 pairs of a real dictionary (half new,
// half found, a quarter changed at three decimals) beside raw SQLite writing
// the same rows, one transaction per pair; and DBNextID's file step.
//
//   RateStore_bench [pairs]
#include <sqlite3.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "RateStore.h"
#include "SDBTools.h"
#include "environment_testing.h"
#include "formatsettings.h"
#include "sdbcnnct.h"
#include "sdbtable.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void Check(sqlite3* db, int rc, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  std::fprintf(stderr, "%s failed: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

std::string Code(int i) {
  return {'C', static_cast<char>('0' + i / 10 % 10), static_cast<char>('0' + i % 10)};
}

struct Pair {
  std::string local, foreign, rate;
};

// Pair k: codes k / side and k % side; the even ones are stored beforehand
// at 1.0, every second of those is fed a rate that differs at three decimals.
std::vector<Pair> Pairs(int count, std::string& seedSql) {
  int side = 1;
  while (side * side < count) ++side;
  std::vector<Pair> pairs;
  seedSql =
      "INSERT INTO CD_ExchangeRates (ID, LocalCurrency, ForeignCurrency, ExchangeRate, "
      "SourceComment) VALUES ";
  int seeded = 0;
  for (int k = 0; k < count; ++k) {
    Pair p{Code(k / side), Code(k % side), "1.25"};
    if (k % 2 == 0) {
      if (seeded++) seedSql += ", ";
      // IDs of station 1, so the station-0 allocations start from an empty range.
      seedSql += "(" + std::to_string(100000000000LL + k) + ", '" + p.local + "', '" + p.foreign +
                 "', 1.0, 'seed')";
      p.rate = (k / 2) % 2 == 0 ? "1.5" : "1.0001";
    }
    pairs.push_back(p);
  }
  return pairs;
}

double EngineRun(const std::string& dictionary, const std::vector<Pair>& pairs, double& cpu) {
  TSdbConnection con;
  con.SetLoginPrompt(false);
  con.SetSdbServerTypes({stSDB_REMOTE});
  con.SetConnectPath(dictionary);
  con.Connect();
  TSdbTable rates, history;
  for (auto [table, name] :
       {std::pair{&rates, "CD_ExchangeRates"}, std::pair{&history, "CD_ExchangeRateHistory"}}) {
    table->SetSdbConnection(&con);
    table->SetTableName(name);
    table->Open();
  }
  TRateStore store(rates, history, nullptr);
  const double cpu0 = CpuNow();
  const auto start = Clock::now();
  for (const Pair& p : pairs) store.StoreRate(p.local, p.foreign, p.rate, "Tue, 8 Dec 2026");
  const double wall = Seconds(start);
  cpu = CpuNow() - cpu0;
  return wall;
}

// The same rows through prepared statements: look the pair up, write the
// history row when the rate changed, update or insert the rate row.
double RawRun(const std::string& dictionary, const std::vector<Pair>& pairs, double& cpu) {
  sqlite3* db = nullptr;
  Check(db, sqlite3_open(dictionary.c_str(), &db), "open");
  Check(db,
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                     nullptr),
        "pragma");
  sqlite3_stmt *find, *addHistory, *update, *insert, *begin, *commit;
  const auto prepare = [&](const char* text, sqlite3_stmt** st) {
    Check(db, sqlite3_prepare_v2(db, text, -1, st, nullptr), text);
  };
  prepare(
      "SELECT sdb_recno, ExchangeRate FROM CD_ExchangeRates WHERE LocalCurrency = ?1 AND "
      "ForeignCurrency = ?2",
      &find);
  prepare(
      "INSERT INTO CD_ExchangeRateHistory (ID, LocalCurrency, ForeignCurrency, ExchangeRate, "
      "ValidUntil, FLDUPDATED, UPDATEDBYSTATION, UPDATEDBYUSER, UPDATEDBYUSERID) VALUES "
      "(?1, ?2, ?3, ?4, ?5, ?5, 0, ?6, -1)",
      &addHistory);
  prepare(
      "UPDATE CD_ExchangeRates SET ExchangeRate = ?1, SourceComment = ?2, LastUpdate = ?3, "
      "FLDUPDATED = ?3, UPDATEDBYSTATION = 0, UPDATEDBYUSER = ?4, UPDATEDBYUSERID = -1 "
      "WHERE sdb_recno = ?5",
      &update);
  prepare(
      "INSERT INTO CD_ExchangeRates (ID, LocalCurrency, ForeignCurrency, ExchangeRate, "
      "SourceComment, LastUpdate, FLDUPDATED, UPDATEDBYSTATION, UPDATEDBYUSER, "
      "UPDATEDBYUSERID) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?6, 0, ?7, -1)",
      &insert);
  prepare("BEGIN", &begin);
  prepare("COMMIT", &commit);
  const std::string stamp = "[RateStore_bench on bench]";
  int64_t nextID = 2;
  const double cpu0 = CpuNow();
  const auto start = Clock::now();
  for (const Pair& p : pairs) {
    const double rate = std::strtod(p.rate.c_str(), nullptr);
    const std::string now = FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", NowUTC());
    Check(db, sqlite3_step(begin), "begin");
    sqlite3_reset(begin);
    sqlite3_bind_text(find, 1, p.local.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(find, 2, p.foreign.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(find) == SQLITE_ROW) {
      const int64_t recno = sqlite3_column_int64(find, 0);
      const double stored = sqlite3_column_double(find, 1);
      sqlite3_reset(find);
      if (FormatThreeDecimals(stored) != FormatThreeDecimals(rate)) {
        sqlite3_bind_double(addHistory, 1, static_cast<double>(nextID++));
        sqlite3_bind_text(addHistory, 2, p.local.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(addHistory, 3, p.foreign.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_double(addHistory, 4, stored);
        sqlite3_bind_text(addHistory, 5, now.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(addHistory, 6, stamp.c_str(), -1, SQLITE_STATIC);
        Check(db, sqlite3_step(addHistory), "history");
        sqlite3_reset(addHistory);
      }
      sqlite3_bind_double(update, 1, rate);
      sqlite3_bind_text(update, 2, "Tue, 8 Dec 2026", -1, SQLITE_STATIC);
      sqlite3_bind_text(update, 3, now.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(update, 4, stamp.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int64(update, 5, recno);
      Check(db, sqlite3_step(update), "update");
      sqlite3_reset(update);
    } else {
      sqlite3_reset(find);
      sqlite3_bind_double(insert, 1, static_cast<double>(nextID++));
      sqlite3_bind_text(insert, 2, p.local.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 3, p.foreign.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_double(insert, 4, rate);
      sqlite3_bind_text(insert, 5, "Tue, 8 Dec 2026", -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 6, now.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 7, stamp.c_str(), -1, SQLITE_STATIC);
      Check(db, sqlite3_step(insert), "insert");
      sqlite3_reset(insert);
    }
    Check(db, sqlite3_step(commit), "commit");
    sqlite3_reset(commit);
  }
  const double wall = Seconds(start);
  cpu = CpuNow() - cpu0;
  for (sqlite3_stmt* st : {find, addHistory, update, insert, begin, commit}) sqlite3_finalize(st);
  sqlite3_close(db);
  return wall;
}

// DBNextID per ID: the same table every call (no lookup), and two tables in
// turn (each candidate looked up in its table).
void IDRun(const std::string& dictionary, int count) {
  TSdbConnection con;
  con.SetLoginPrompt(false);
  con.SetSdbServerTypes({stSDB_REMOTE});
  con.SetConnectPath(dictionary);
  con.Connect();
  TSdbTable a, b;
  a.SetSdbConnection(&con);
  a.SetTableName("CD_Currency");
  b.SetSdbConnection(&con);
  b.SetTableName("CD_ExchangeRateHistory");
  DBNextID(a, "ID");  // creates the file
  double cpu = CpuNow();
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) DBNextID(a, "ID");
  const double same = Seconds(start), sameCpu = CpuNow() - cpu;
  DBNextID(b, "ID");
  cpu = CpuNow();
  start = Clock::now();
  for (int i = 0; i < count; ++i) DBNextID(i % 2 ? a : b, "ID");
  const double alternating = Seconds(start), alternatingCpu = CpuNow() - cpu;
  std::printf("DBNextID file step, same table        %8.1f us per ID wall, %6.1f us cpu (%d IDs)\n",
              same / count * 1e6, sameCpu / count * 1e6, count);
  std::printf("DBNextID file step with table lookup  %8.1f us per ID wall, %6.1f us cpu (%d IDs)\n",
              alternating / count * 1e6, alternatingCpu / count * 1e6, count);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  TTempEnvironment env;
  const std::string data = env.Root() + "data/";
  env.WriteFile(env.UserHive(), "[Software\\Seavane]\nDataFolder=" + data + "\n");
  LoadBranding();
  StartLANTools();
  StartSDBTools();
  FormatSettings().DecimalSeparator = '.';
  FormatSettings().ThousandSeparator = ',';

  std::string seed;
  const std::vector<Pair> pairs = Pairs(count, seed);
  const std::string engineDictionary = data + "db/db.add";
  const std::string rawDictionary = env.Root() + "raw/db.add";
  for (const std::string& path : {engineDictionary, rawDictionary})
    sdbtesting::CreateDictionary(path, sdbtesting::DemoSql() + "\n" + seed);

  double engineCpu = 0, rawCpu = 0;
  const double engine = EngineRun(engineDictionary, pairs, engineCpu);
  const double raw = RawRun(rawDictionary, pairs, rawCpu);
  std::printf("StoreRate, %d pairs (half new, a quarter changed)\n", count);
  std::printf("  StoreRate  %8.1f us per pair wall, %8.1f us cpu\n", engine / count * 1e6,
              engineCpu / count * 1e6);
  std::printf("  raw SQLite %8.1f us per pair wall, %8.1f us cpu\n", raw / count * 1e6,
              rawCpu / count * 1e6);
  std::printf("  ratio      %8.2f wall, %8.2f cpu\n", engine / raw, engineCpu / rawCpu);

  IDRun(engineDictionary, 2000);
  FinishSDBTools();
  FinishLANTools();
  FinishBranding();
  return 0;
}
