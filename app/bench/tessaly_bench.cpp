// Benchmark of an unattended update run: 30 currencies in use, feeds of 160
// entries each served on loopback, the real program run headless. Prints the
// wall time of the run, the time the transfers take, and the program's own
// work per currency (run − run without currencies − transfers, over 30).
//   build/app/tessaly_bench [rounds]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LoopbackHttpServer.h"
#include "RateFeed.h"
#include "app_testing.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCurrencies = 30;
constexpr int kEntries = 160;

std::string Code(int i) {
  return std::string{static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26), 'X'};
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// User and system time of the children waited for so far.
double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  TInstallationFixture inst;

  // The dictionary of the demo with 30 more currencies in use; the demo's
  // own currencies are switched off.
  std::string sql = TInstallationFixture::ReadFile(TESSALY_SOURCE_DIR "/engine/tools/demo.sql");
  sql +=
      "UPDATE CD_Currency SET UseOnBoard = FALSE;\nINSERT INTO CD_Currency (ID, SHORT, "
      "Description, UseOnBoard) VALUES\n";
  for (int i = 0; i < kCurrencies; ++i)
    sql += "  (" + std::to_string(100 + i) + ", '" + Code(i) + "', 'Currency " + Code(i) +
           "', TRUE)" + (i + 1 < kCurrencies ? ",\n" : ";\n");
  inst.CreateDictionary(sql);

  // Each feed: the 30 in-use currencies (itself included) and 130 others.
  for (int i = 0; i < kCurrencies; ++i) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (int e = 0; e < kEntries; ++e) {
      const std::string target = e < kCurrencies ? Code(e) : Code(100 + e);
      entries.push_back({target, std::to_string(1.0 + 0.01 * i + 0.0001 * e)});
    }
    inst.WriteFeed(Code(i), TInstallationFixture::Feed("Wed, 9 Dec 2026 00:00:01 GMT", entries));
  }
  inst.Serve();
  const std::string host = "127.0.0.1:" + std::to_string(inst.Server().Port());

  // The transfers alone: every feed fetched and parsed as the run does.
  auto transfers = Clock::duration::zero();
  TRateFeed feed;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    for (int i = 0; i < kCurrencies; ++i) feed.Load(RateFeedAddress(host, Code(i)));
    transfers += Clock::now() - start;
  }
  const double transfer = Seconds(transfers) / rounds;

  // TESSALY_BENCH_PROGRAM runs another command in the program's place (a
  // profiler wrapping it, say); it gets the program's arguments.
  const char* wrapper = std::getenv("TESSALY_BENCH_PROGRAM");
  const std::string executable = wrapper ? wrapper : "";
  // Wall and processor time (user + system) of the program's best run: on a
  // machine shared with other work the processor time says more.
  struct TTimes {
    double Wall = 1e9, Cpu = 1e9;
  };
  auto timed = [&](const char* what) {
    TTimes best;
    for (int r = 0; r < rounds; ++r) {
      const double cpu0 = ChildrenCpu();
      const auto start = Clock::now();
      const TProgramRun run = inst.Run({"/AUTO"}, 600000, executable);
      const double s = Seconds(Clock::now() - start);
      if (run.ExitStatus != 0) {
        std::fprintf(stderr, "%s: exit status %d\n%s", what, run.ExitStatus, run.Err.c_str());
        std::exit(1);
      }
      best.Wall = std::min(best.Wall, s);
      best.Cpu = std::min(best.Cpu, ChildrenCpu() - cpu0);
    }
    return best;
  };
  // The first run stores 900 new pairs; later runs find and rewrite them.
  const TTimes fullTimes = timed("run over 30 currencies");

  inst.Sql("UPDATE CD_Currency SET UseOnBoard = FALSE");
  const TTimes emptyTimes = timed("run without currencies");
  const double full = fullTimes.Wall, empty = emptyTimes.Wall;

  const double own = full - empty - transfer;
  std::printf("update run, %d currencies in use, %d entries per feed, best of %d:\n", kCurrencies,
              kEntries, rounds);
  std::printf("  wall time of the program          %8.1f ms\n", full * 1e3);
  std::printf("  program without currencies       %8.1f ms (start, 210 ms pause, finish)\n",
              empty * 1e3);
  std::printf("  transfers (fetch and parse)      %8.1f ms\n", transfer * 1e3);
  std::printf("  outside the transfers            %8.1f ms (%.0f%% of the wall time)\n",
              (full - transfer) * 1e3, 100.0 * (full - transfer) / full);
  std::printf("  the program's own work per currency %5.2f ms (30 pairs stored each)\n",
              own / kCurrencies * 1e3);
  std::printf("  processor time of the program    %8.1f ms, without currencies %.1f ms\n",
              fullTimes.Cpu * 1e3, emptyTimes.Cpu * 1e3);
  std::printf("  processor time per currency      %8.2f ms (transfers' share included)\n",
              (fullTimes.Cpu - emptyTimes.Cpu) / kCurrencies * 1e3);
  return 0;
}
