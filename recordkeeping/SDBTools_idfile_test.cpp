// ID files: path and name forms, the read forms, the rewrite, the lock
// between processes, and the allocation steps around a table's answers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "SDBTools.h"
#include "environment_testing.h"
#include "idfile.h"

namespace fs = std::filesystem;
using namespace sdbtools;

namespace {

class IDFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FData = FEnv.Root() + "data/";
    fs::create_directories(FData + "DB");
  }
  std::string File(const std::string& name = "CD_EXCHANGERATES_0.ID") const {
    return FData + "DB/" + name;
  }
  static std::string Read(const std::string& path) { return TTempEnvironment::ReadFile(path); }
  void Write(const std::string& path, const std::string& text) const { FEnv.WriteFile(path, text); }

  // Allocates as DBNextID would, with the table's answers given.
  double Allocate(int32_t station, bool sameTable, std::set<int64_t> taken, TIDScan scan,
                  int* lookups = nullptr, int* scans = nullptr) {
    TIDFile file(IDFilePath(FData, "CD_ExchangeRates", station));
    return AllocateID(
        file, station, sameTable,
        [&](int64_t candidate) {
          if (lookups) ++*lookups;
          return taken.count(candidate) > 0;
        },
        [&] {
          if (scans) ++*scans;
          return scan;
        },
        "CD_ExchangeRates");
  }

  TTempEnvironment FEnv;
  std::string FData;
};

TIDScan Empty() {
  return {};
}
TIDScan Highest(int64_t id) {
  return {TIDScan::Found, id};
}

TEST(IDFileNames, BaseNameDropsFolderAndEverythingFromTheFirstDot) {
  EXPECT_EQ(IDBaseName("DATA\\CD_ExchangeRates.adt"), "CD_ExchangeRates");
  EXPECT_EQ(IDBaseName("data/sub/CD_Currency.dat.bak"), "CD_Currency");
  EXPECT_EQ(IDBaseName("CD_ExchangeRateHistory"), "CD_ExchangeRateHistory");
}

TEST(IDFileNames, ReadsPlainAndScanFormsAndNothingElse) {
  int64_t v = -1;
  EXPECT_TRUE(ReadIDNumber("8", v));
  EXPECT_EQ(v, 8);
  EXPECT_TRUE(ReadIDNumber("000000000007", v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ReadIDNumber(" 1200000000007 ", v));
  EXPECT_EQ(v, 1200000000007);
  for (const char* bad :
       {"", "  ", "abc", "7x", "1.5", "0x10", "$10", "1 2", "99999999999999999999"})
    EXPECT_FALSE(ReadIDNumber(bad, v)) << bad;
}

TEST_F(IDFileTest, PathIsUpperCaseAndFindsExistingEntriesWhateverTheirCase) {
  EXPECT_EQ(IDFilePath(FData, "CD_ExchangeRates", 0), File());
  EXPECT_EQ(IDFilePath(FData, "cd_Currency", 12), File("CD_CURRENCY_12.ID"));
  // A data folder without trailing delimiter, a lower-case DB folder and ID file.
  fs::remove(FData + "DB");
  Write(FData + "db/cd_exchangerates_0.id", "41\r\n");
  EXPECT_EQ(IDFilePath(FData.substr(0, FData.size() - 1), "CD_ExchangeRates", 0),
            FData + "db/cd_exchangerates_0.id");
  EXPECT_EQ(Allocate(0, true, {}, Empty()), 42);
  EXPECT_EQ(Read(FData + "db/cd_exchangerates_0.id"), "42\r\n");
  EXPECT_FALSE(fs::exists(FData + "db/CD_EXCHANGERATES_0.ID"));
  // A new file in the lower-case folder is created upper case.
  int scans = 0;
  {
    TIDFile history(IDFilePath(FData, "CD_ExchangeRateHistory", 0));
    AllocateID(
        history, 0, false, [](int64_t) { return false; },
        [&] {
          ++scans;
          return Empty();
        },
        "h");
  }
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(Read(FData + "db/CD_EXCHANGERATEHISTORY_0.ID"), "000000000002\r\n");
  // The file found is remembered, but only while it is there: renamed to
  // another case, it is found again.
  fs::rename(FData + "db/cd_exchangerates_0.id", FData + "db/Cd_ExchangeRates_0.Id");
  EXPECT_EQ(IDFilePath(FData, "CD_ExchangeRates", 0), FData + "db/Cd_ExchangeRates_0.Id");
  EXPECT_EQ(Allocate(0, true, {}, Empty()), 43);
  EXPECT_EQ(Read(FData + "db/Cd_ExchangeRates_0.Id"), "43\r\n");
}

TEST_F(IDFileTest, FirstIDOfAStationIsTwoAndTheFileHoldsTheScanForm) {
  int lookups = 0;
  EXPECT_EQ(Allocate(0, false, {}, Empty(), &lookups), 2);
  EXPECT_EQ(lookups, 0);
  EXPECT_EQ(Read(File()), "000000000002\r\n");
  // Same table as last time: the file's number + 1, no lookup, plain form.
  EXPECT_EQ(Allocate(0, true, {3}, Empty(), &lookups), 3);
  EXPECT_EQ(lookups, 0);
  EXPECT_EQ(Read(File()), "3\r\n");

  EXPECT_EQ(Allocate(12, false, {}, Empty()), 1200000000002);
  EXPECT_EQ(Read(File("CD_EXCHANGERATES_12.ID")), "1200000000002\r\n");
  EXPECT_EQ(Allocate(12, false, {}, Empty()), 1200000000003);
  EXPECT_EQ(Read(File("CD_EXCHANGERATES_12.ID")), "1200000000003\r\n");
}

TEST_F(IDFileTest, AUsedCandidateLeadsToTheScanTwoAboveTheHighest) {
  Write(File(), "7\r\n");
  int lookups = 0, scans = 0;
  EXPECT_EQ(Allocate(0, false, {8}, Highest(12), &lookups, &scans), 14);
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(Read(File()), "000000000014\r\n");
  // A free candidate is taken after the lookup alone.
  EXPECT_EQ(Allocate(0, false, {8}, Highest(99), &lookups, &scans), 15);
  EXPECT_EQ(scans, 1);

  Write(File("CD_EXCHANGERATES_7.ID"), "700000000007\r\n");
  EXPECT_EQ(Allocate(7, false, {700000000008}, Highest(700000000031)), 700000000033);
  EXPECT_EQ(Read(File("CD_EXCHANGERATES_7.ID")), "700000000033\r\n");
}

TEST_F(IDFileTest, DamagedFilesCountAsZeroOrOutsideTheRange) {
  Write(File(), "garbage\r\nmore\r\n");
  int lookups = 0, scans = 0;
  EXPECT_EQ(Allocate(0, false, {}, Highest(50), &lookups, &scans), 1);
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(scans, 0);
  EXPECT_EQ(Read(File()), "1\r\n");
  // On station 3 that 1 lies in station 0's range: never handed out, not
  // even when the same table was served last.
  Write(File("CD_EXCHANGERATES_3.ID"), "\r\n");
  lookups = 0;
  EXPECT_EQ(Allocate(3, true, {}, Highest(300000000005), &lookups, &scans), 300000000007);
  EXPECT_EQ(lookups, 0);
  EXPECT_EQ(scans, 1);
  // Nor a negative number on station 0.
  Write(File(), "-5\r\n");
  EXPECT_EQ(Allocate(0, true, {}, Empty()), 2);
}

TEST_F(IDFileTest, AFailedScanAnswersMinusOneAndLeavesTheFileAlone) {
  TIDScan failed{TIDScan::Failed, 0};
  EXPECT_EQ(Allocate(0, false, {}, failed), -1);
  EXPECT_FALSE(fs::exists(File()));
  Write(File(), "7\r\n");
  EXPECT_EQ(Allocate(0, false, {8}, failed), -1);
  EXPECT_EQ(Read(File()), "8\r\n");  // the file step's own rewrite only
}

TEST_F(IDFileTest, AnExhaustedCounterIsRefusedNamingTableAndStation) {
  EXPECT_EQ(Allocate(0, false, {}, Highest(99'999'999'997)), 99'999'999'999);
  EXPECT_EQ(Read(File()), "099999999999\r\n");
  // The file step would now give the next station's first ID: the scan runs.
  int scans = 0;
  try {
    Allocate(0, true, {}, Highest(99'999'999'999), nullptr, &scans);
    FAIL() << "no error";
  } catch (const EIDAllocationError& e) {
    EXPECT_EQ(std::string(e.what()),
              "No record ID left for table CD_ExchangeRates on station 0: its counter has "
              "reached 99999999999");
  }
  EXPECT_EQ(scans, 1);
  EXPECT_THROW(Allocate(4, false, {}, Highest(499'999'999'998)), EIDAllocationError);
  EXPECT_FALSE(fs::exists(File("CD_EXCHANGERATES_4.ID")));
}

TEST_F(IDFileTest, FileFailuresCarryTheSystemsMessageAndChangeNothing) {
  fs::remove(FData + "DB");
  try {
    Allocate(0, false, {}, Empty());
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open the ID file \"" + File() + "\": No such file or directory");
  }
  fs::create_directories(FData + "DB");
  Write(File(), "7\r\n");
  fs::permissions(File(), fs::perms::owner_write, fs::perm_options::remove);
  try {
    Allocate(0, true, {}, Empty());
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot write the ID file \"" + File() + "\": Permission denied");
  }
  EXPECT_EQ(Read(File()), "7\r\n");
  EXPECT_FALSE(fs::exists(IDFileTempPath(File())));
}

TEST_F(IDFileTest, ARewriteLeftUnfinishedByACrashLeavesTheFileReadable) {
  // A crash between writing the new line over "000000000005" and cutting
  // the file to its length: the new first line reads, the tail is ignored
  // and goes with the next rewrite.
  Write(File(), "6\r\n00000005\r\n");
  EXPECT_EQ(Allocate(0, true, {}, Empty()), 7);
  EXPECT_EQ(Read(File()), "7\r\n");
  // A crash while a new file was being created leaves only the temporary
  // file: the file does not exist yet, and the next creation replaces it.
  Write(File("CD_EXCHANGERATES_2.ID") + ".tmp", "99");
  EXPECT_EQ(IDFileTempPath(File("CD_EXCHANGERATES_2.ID")), File("CD_EXCHANGERATES_2.ID") + ".tmp");
  EXPECT_EQ(Allocate(2, true, {}, Empty()), 200000000002);
  EXPECT_EQ(Read(File("CD_EXCHANGERATES_2.ID")), "200000000002\r\n");
  EXPECT_FALSE(fs::exists(File("CD_EXCHANGERATES_2.ID") + ".tmp"));
  // A rewrite keeps the file's permissions.
  fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Allocate(0, true, {}, Empty()), 8);
  EXPECT_EQ(fs::status(File()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IDFileTest, TwoProcessesNeverHandOutTheSameID) {
  // Both start without an ID file, so the first creation races as well.
  constexpr int kEach = 1000;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      std::ofstream out(FData + "ids" + std::to_string(p));
      for (int i = 0; i < kEach; ++i) {
        // Alternate which way a candidate is accepted, as a process serving
        // two tables would.
        TIDFile file(IDFilePath(FData, "CD_ExchangeRates", 0));
        const double id = AllocateID(
            file, 0, i % 2 == 0, [](int64_t) { return false; }, [] { return Empty(); }, "t");
        out << static_cast<int64_t>(id) << "\n";
      }
      out.close();
      _exit(out ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::set<int64_t> all;
  for (int p = 0; p < 2; ++p) {
    std::istringstream in(Read(FData + "ids" + std::to_string(p)));
    int64_t id;
    int count = 0;
    while (in >> id) {
      EXPECT_TRUE(all.insert(id).second) << "handed out twice: " << id;
      ++count;
    }
    EXPECT_EQ(count, kEach);
  }
  EXPECT_EQ(*all.begin(), 2);
  EXPECT_EQ(*all.rbegin(), 2 * kEach + 1);
}

}  // namespace
