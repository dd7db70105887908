// Shared by the engine benchmarks: failure checks, clocks, the report line,
// and a fresh dictionary reached both through the engine and raw SQLite.
#pragma once

#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sdbengine.h"
#include "sdbstore.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline void Check(uint32_t rc, const char* what) {
  if (rc == 0) return;
  uint32_t code = 0;
  char text[600];
  uint16_t len = sizeof text;
  SdbGetLastError(&code, text, &len);
  std::fprintf(stderr, "%s failed: %u %s\n", what, code, text);
  std::exit(1);
}

inline void CheckSqlite(sqlite3* db, int rc, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  std::fprintf(stderr, "%s failed: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU-bound work is timed in the thread's CPU time, so that other work on a
// busy machine does not blur the ratio.
inline double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The time of a run that saw what it should (`ok`); otherwise the run's
// figure would mean nothing: says what it saw (`what` holds one %d) and stops.
inline double Seen(double seconds, bool ok, const char* what, int count) {
  if (!ok) {
    std::fprintf(stderr, what, count);
    std::fputc('\n', stderr);
    std::exit(1);
  }
  return seconds;
}

inline void Report(const char* what, int units, double engine, double raw) {
  std::printf("%-46s engine %8.3f us   raw %8.3f us   engine/raw %.2f\n", what,
              engine / units * 1e6, raw / units * 1e6, engine / raw);
}

// Walks a table (or index) handle from the top to its end, reading each
// record's whole image (what a dataset builds on); answers the records seen.
inline int WalkImages(SDBHANDLE t) {
  uint32_t length = 0;
  Check(SdbGetRecordLength(t, &length), "SdbGetRecordLength");
  std::vector<uint8_t> image(length);
  int rows = 0;
  uint16_t eof = 0;
  Check(SdbGotoTop(t), "SdbGotoTop");
  Check(SdbAtEOF(t, &eof), "SdbAtEOF");
  while (!eof) {
    uint32_t len = length;
    Check(SdbGetRecord(t, image.data(), &len), "SdbGetRecord");
    ++rows;
    Check(SdbSkip(t, 1), "SdbSkip");
    Check(SdbAtEOF(t, &eof), "SdbAtEOF");
  }
  return rows;
}

inline void Exec(SDBHANDLE conn, const char16_t* sql) {
  SDBHANDLE stmt = 0;
  Check(SdbCreateSQLStatement(conn, &stmt), "SdbCreateSQLStatement");
  Check(SdbExecuteSQLDirectW(stmt, sql, nullptr), "SdbExecuteSQLDirectW");
  SdbCloseSQLStatement(stmt);
}

// How to read the figures, printed by --help and after every run.
inline const char* const kReading =
    "Reading the figures: each line gives the time per unit of the engine and of raw\n"
    "SQLite doing the same work through prepared statements on the same file, and\n"
    "engine/raw, the ratio of the two. 1.00 means the engine adds nothing to SQLite,\n"
    "2.00 that it takes twice as long (half raw speed); lower is better. Raw SQLite\n"
    "does less than the engine (no record images, catalog or locks), so a ratio\n"
    "below 1.00 points to a measuring fault. CPU-time figures are steady on a busy\n"
    "machine; wall-time figures follow the disk and the load, so compare those only\n"
    "between runs on the same machine.\n";

// Answers --help (or -h) with the program's usage and how to read its
// figures, and ends the program; refuses any other option. Call it first.
inline void HandleOptions(int argc, char** argv, const char* usage) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s\n%s", usage, kReading);
      std::exit(0);
    }
    if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "%s: unknown option %s\n\n%s", argv[0], arg.c_str(), usage);
      std::exit(2);
    }
  }
}

// A new dictionary in the folder given as the first argument, else in a new
// temporary folder removed at the end; one engine connection and one raw
// SQLite connection with the settings every engine connection uses.
struct Files {
  std::string folder, dictionary;
  bool temporary = false;
  SDBHANDLE conn = 0;
  sqlite3* raw = nullptr;

  Files(int argc, char** argv, const char* prefix) {
    if (argc > 1) {
      folder = argv[1];
    } else {
      std::string tmpl = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
      folder = mkdtemp(tmpl.data());
      temporary = true;
    }
    dictionary = folder + "/db.add";
    std::filesystem::remove(dictionary);
    sdbstore::OpenOptions create;
    create.create = true;
    sdbstore::Database::Open(dictionary, create);
    Check(SdbConnect(dictionary.c_str(), &conn), "SdbConnect");
    CheckSqlite(raw, sqlite3_open_v2(dictionary.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr),
                "open");
    sqlite3_busy_timeout(raw, 10000);
    // The page cache every engine connection has (sdbstore_db.cpp), so that
    // both sides read the same pages from memory.
    CheckSqlite(raw,
                sqlite3_exec(raw, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384", nullptr,
                             nullptr, nullptr),
                "pragma");
  }
  ~Files() {
    sqlite3_close(raw);
    SdbDisconnect(conn);
    if (temporary) std::filesystem::remove_all(folder);
  }
};

}  // namespace bench
