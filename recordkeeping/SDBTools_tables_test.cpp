// Audited posting, record IDs and the table helpers on a real dictionary,
// rows read back with plain SQLite.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "LANTools.h"
#include "SDBTools.h"
#include "datalinks.h"
#include "idfile.h"
#include "recordkeeping_testing.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace fs = std::filesystem;

namespace {

// Tables with all, some and none of the audit fields, and one whose user
// stamp cannot be stored (a date field) and whose ID is text.
const char* kAuditTables = R"(
CREATE TABLE T_NONE (ID NUMERIC(16,0), NAME CHAR(10));
CREATE TABLE T_STATION (ID NUMERIC(16,0), NAME CHAR(10), UPDATEDBYSTATION INTEGER);
CREATE TABLE T_BADSTAMP (ID CHAR(15), NAME CHAR(10), FLDUPDATED TIMESTAMP,
  UPDATEDBYSTATION INTEGER, UPDATEDBYUSER DATE, UPDATEDBYUSERID DOUBLE);
CREATE INDEX ID ON T_BADSTAMP (ID);
)";

class RecordKeepingTest : public rktesting::InstalledDictionaryTest {
 protected:
  void SetUp() override { SetUpWith(sdbtesting::DemoSql() + kAuditTables); }

  TSdbTable* Open(const std::string& name) {
    TSdbTable* table = Table(name);
    table->Open();
    return table;
  }
  std::string IDFile(const std::string& name) const { return dataFolder + "db/" + name; }
  void Insert(const std::string& sql) { sdbtesting::RunSql(dictionary, sql); }
};

// ---------------------------------------------------------------------------
// Audited posting

TEST_F(RecordKeepingTest, PostStampsEveryAuditFieldTheTableHas) {
  TSdbTable* rates = Open("CD_ExchangeRates");
  const std::string before = rktesting::StoredTimeStamp(NowUTC());
  rates->Append();
  rates->FieldByName("ID")->SetAsFloat(5);
  rates->FieldByName("LocalCurrency")->SetAsString("EUR");
  EXPECT_TRUE(SafePost(*rates, false));
  rates->Append();
  rates->FieldByName("ID")->SetAsFloat(6);
  EXPECT_TRUE(SafePost(*rates, true));  // the user fields left out
  const std::string after = rktesting::StoredTimeStamp(NowUTC());

  const auto rows = Rows(
      "SELECT CAST(ID AS INTEGER), FLDUPDATED, UPDATEDBYSTATION, UPDATEDBYUSER, UPDATEDBYUSERID "
      "FROM CD_ExchangeRates ORDER BY ID");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_GE(rows[0][1], before);
  EXPECT_LE(rows[0][1], after);
  EXPECT_EQ(rows[0][2], "0");
  EXPECT_EQ(rows[0][3], "[tessaly on WS07]");
  EXPECT_EQ(rows[0][4], "-1.0");
  EXPECT_GE(rows[1][1], before);
  EXPECT_EQ(rows[1][2], "0");
  EXPECT_EQ(rows[1][3], "<null>");
  EXPECT_EQ(rows[1][4], "<null>");
}

TEST_F(RecordKeepingTest, PostSkipsTheAuditFieldsATableLacks) {
  SetStationNumber(12);
  TSdbTable* station = Open("T_STATION");
  TSdbTable* none = Open("T_NONE");
  testing::internal::CaptureStderr();
  station->Append();
  station->FieldByName("ID")->SetAsFloat(1);
  EXPECT_TRUE(SafePost(*station, false));
  none->Append();
  none->FieldByName("ID")->SetAsFloat(1);
  EXPECT_TRUE(SafePost(*none, false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no dialog
  EXPECT_EQ(Rows("SELECT CAST(ID AS INTEGER), UPDATEDBYSTATION FROM T_STATION"),
            (std::vector<std::vector<std::string>>{{"1", "12"}}));
  EXPECT_EQ(Rows("SELECT CAST(ID AS INTEGER), NAME FROM T_NONE"),
            (std::vector<std::vector<std::string>>{{"1", "<null>"}}));
}

TEST_F(RecordKeepingTest, AFailingStampShowsItsDialogAndTheRecordIsStillPosted) {
  TSdbTable* table = Open("T_BADSTAMP");
  table->Append();
  table->FieldByName("ID")->SetAsString("1");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(SafePost(*table, false));
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("Error while updating database timestamp.\r\n"
                       "Error reported by database engine: <i>"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("</i>"), std::string::npos);
  const auto rows =
      Rows("SELECT FLDUPDATED, UPDATEDBYSTATION, UPDATEDBYUSER, UPDATEDBYUSERID FROM T_BADSTAMP");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0][0], "<null>");  // set before the failure
  EXPECT_EQ(rows[0][1], "0");
  EXPECT_EQ(rows[0][2], "<null>");  // the failing one
  EXPECT_EQ(rows[0][3], "<null>");  // skipped after it
}

TEST_F(RecordKeepingTest, AnUnchangedEditIsCancelledNotPosted) {
  Insert("INSERT INTO T_STATION (ID, NAME) VALUES (1, 'a')");
  TSdbTable* table = Open("T_STATION");
  table->Edit();
  EXPECT_TRUE(SafePost(*table, false));
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(Rows("SELECT UPDATEDBYSTATION FROM T_STATION"),
            (std::vector<std::vector<std::string>>{{"<null>"}}));
}

TEST_F(RecordKeepingTest, SafePostAndSafeCancelOnClosedBrowsingAndInsertingTables) {
  TSdbTable* table = Table("T_STATION");
  EXPECT_FALSE(SafePost(*table, false));
  EXPECT_FALSE(SafeCancel(*table));
  table->Open();
  EXPECT_TRUE(SafeCancel(*table));
  EXPECT_EQ(table->State(), dsBrowse);
  table->Append();
  table->FieldByName("ID")->SetAsFloat(3);
  EXPECT_TRUE(SafeCancel(*table));
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_FALSE(table->ControlsDisabled());
  EXPECT_TRUE(Rows("SELECT * FROM T_STATION").empty());
}

TEST_F(RecordKeepingTest, AFailedPostPropagatesAndReleasesTheDisplays) {
  TSdbTable* table = Open("T_STATION");
  table->BeforePost = [](TDataSet*) { throw EDatabaseError("refused by the test"); };
  table->Append();
  table->FieldByName("ID")->SetAsFloat(3);
  EXPECT_THROW(SafePost(*table, false), EDatabaseError);
  EXPECT_FALSE(table->ControlsDisabled());
  EXPECT_EQ(table->State(), dsInsert);  // the caller decides what becomes of it
  EXPECT_TRUE(SafeCancel(*table));
}

// ---------------------------------------------------------------------------
// Record IDs

TEST_F(RecordKeepingTest, FirstIDsOfAnEmptyTableAndTheNextWithoutLookup) {
  TSdbTable* history = Table("CD_ExchangeRateHistory");
  EXPECT_EQ(DBNextID(*history, "ID"), 2);
  EXPECT_EQ(ReadFile(IDFile("CD_EXCHANGERATEHISTORY_0.ID")), "000000000002\r\n");
  EXPECT_EQ(LastIDTableKey(), dictionary + "CD_ExchangeRateHistory");
  // Served last, so 3 is taken without looking, although a row has it.
  Insert("INSERT INTO CD_ExchangeRateHistory (ID) VALUES (3)");
  EXPECT_EQ(DBNextID(*history, "ID"), 3);
  EXPECT_EQ(ReadFile(IDFile("CD_EXCHANGERATEHISTORY_0.ID")), "3\r\n");
}

TEST_F(RecordKeepingTest, AStaleFileLeadsToTheScanAfterAnotherTable) {
  Insert(
      "INSERT INTO CD_ExchangeRates (ID) VALUES (8); INSERT INTO CD_ExchangeRates (ID) VALUES (12);"
      "INSERT INTO CD_ExchangeRates (ID) VALUES (100000000005)");  // station 1
  std::ofstream(IDFile("CD_EXCHANGERATES_0.ID")) << "7\r\n";
  TSdbTable* rates = Open("CD_ExchangeRates");
  rates->SetIndexName("CURRPAIR");
  DBNextID(*Table("CD_ExchangeRateHistory"), "ID");
  EXPECT_EQ(DBNextID(*rates, "ID"), 14);
  EXPECT_EQ(ReadFile(IDFile("CD_EXCHANGERATES_0.ID")), "000000000014\r\n");
  EXPECT_EQ(rates->IndexName(), "CURRPAIR");
  // A file that is not a number counts as 0: 1 is free.
  std::ofstream(IDFile("CD_EXCHANGERATES_0.ID")) << "x\r\n";
  DBNextID(*Table("CD_ExchangeRateHistory"), "ID");
  EXPECT_EQ(DBNextID(*rates, "ID"), 1);
}

TEST_F(RecordKeepingTest, StationsAboveZeroUseTheirOwnRangeAndFile) {
  SetStationNumber(12);
  Insert(
      "INSERT INTO CD_ExchangeRates (ID) VALUES (1200000000005);"
      "INSERT INTO CD_ExchangeRates (ID) VALUES (1300000000009)");
  TSdbTable* rates = Table("CD_ExchangeRates");
  EXPECT_EQ(DBNextID(*rates, "ID"), 1200000000007);
  EXPECT_EQ(ReadFile(IDFile("CD_EXCHANGERATES_12.ID")), "1200000000007\r\n");
  EXPECT_EQ(DBNextID(*rates, "ID"), 1200000000008);
  EXPECT_FALSE(fs::exists(IDFile("CD_EXCHANGERATES_0.ID")));
}

TEST_F(RecordKeepingTest, AFileFailureLeavesTheLastTableKeyAlone) {
  TSdbTable* history = Table("CD_ExchangeRateHistory");
  DBNextID(*history, "ID");
  const std::string file = IDFile("CD_EXCHANGERATES_0.ID");
  std::ofstream(file) << "20\r\n";
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_THROW(DBNextID(*Table("CD_ExchangeRates"), "ID"), EInOutError);
  EXPECT_EQ(LastIDTableKey(), dictionary + "CD_ExchangeRateHistory");
  EXPECT_EQ(ReadFile(file), "20\r\n");
}

TEST_F(RecordKeepingTest, ANonNumericIDShowsTheInternalErrorAndAnswersMinusOne) {
  Insert("INSERT INTO T_BADSTAMP (ID) VALUES ('1x')");
  testing::internal::CaptureStderr();
  EXPECT_EQ(DBNextID(*Table("T_BADSTAMP"), "ID"), -1);
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("Internal Error: DBNextID can only be used for numeric indexes.\r\n\r\n"
                       "Table Name: "),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("T_BADSTAMP\r\nIndex: ID"), std::string::npos) << shown;
  EXPECT_FALSE(fs::exists(IDFile("T_BADSTAMP_0.ID")));
}

// Each of two processes takes 1,000 IDs, alternating between two tables so
// that every candidate is also looked up in its table.
TEST_F(RecordKeepingTest, TwoProcessesOfOneStationNeverHandOutTheSameID) {
  constexpr int kEach = 1000;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      // The child never touches the parent's connection: it opens its own.
      int status = 1;
      try {
        TSdbConnection own;
        own.SetLoginPrompt(false);
        own.SetConnectPath(dictionary);
        own.Connect();
        TSdbTable tables[2];
        const char* names[2] = {"CD_ExchangeRates", "CD_ExchangeRateHistory"};
        for (int t = 0; t < 2; ++t) {
          tables[t].SetSdbConnection(&own);
          tables[t].SetTableName(names[t]);
        }
        std::ofstream out(dataFolder + "ids" + std::to_string(p));
        for (int i = 0; i < kEach; ++i)
          out << i % 2 << " " << static_cast<int64_t>(DBNextID(tables[i % 2], "ID")) << "\n";
        out.close();
        for (TSdbTable& table : tables) table.Close();
        status = out ? 0 : 1;
      } catch (const std::exception& e) {
        fprintf(stderr, "child: %s\n", e.what());
      }
      _exit(status);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::set<std::pair<int, int64_t>> all;
  for (int p = 0; p < 2; ++p) {
    std::istringstream in(ReadFile(dataFolder + "ids" + std::to_string(p)));
    int table;
    int64_t id;
    while (in >> table >> id) EXPECT_TRUE(all.insert({table, id}).second) << "twice: " << id;
  }
  EXPECT_EQ(all.size(), 2u * kEach);
}

// ---------------------------------------------------------------------------
// Table helpers

TEST_F(RecordKeepingTest, FindByFieldSeeksThroughTheFieldsIndexAndRestoresTheTable) {
  TSdbTable* currency = Open("CD_Currency");
  currency->SetIndexName("ID");
  EXPECT_TRUE(FindByField(*currency, "SHORT", "GBP"));
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "GBP");
  EXPECT_EQ(currency->IndexName(), "ID");
  // The current record already matches: re-read, no seek.
  sdbtesting::RunSql(dictionary,
                     "UPDATE CD_Currency SET Description = 'Sterling' WHERE SHORT = 'GBP'");
  EXPECT_TRUE(FindByField(*currency, "SHORT", "GBP"));
  EXPECT_EQ(currency->FieldByName("Description")->AsString(), "Sterling");
  // Not present: false, the order kept.
  EXPECT_FALSE(FindByField(*currency, "SHORT", "XYZ"));
  EXPECT_EQ(currency->IndexName(), "ID");
  // A missing field raises before anything changes; a missing index raises
  // and the index is still put back.
  EXPECT_THROW(FindByField(*currency, "NOSUCH", "1"), EDatabaseError);
  EXPECT_THROW(FindByField(*currency, "Description", "Euro"), EDatabaseError);
  EXPECT_EQ(currency->IndexName(), "ID");
  EXPECT_EQ(currency->State(), dsBrowse);
}

TEST_F(RecordKeepingTest, FindByFieldPutsTheMasterSourceBackWhateverHappens) {
  TSdbTable* master = Open("CD_Currency");
  master->SetIndexName("SHORT");
  TDataSource source;
  source.SetDataSet(master);
  TSdbTable* rates = Table("CD_ExchangeRates");
  Insert(
      "INSERT INTO CD_ExchangeRates (ID, LocalCurrency, ForeignCurrency) VALUES (1, 'EUR', 'USD');"
      "INSERT INTO CD_ExchangeRates (ID, LocalCurrency, ForeignCurrency) VALUES (2, 'USD', 'EUR')");
  rates->SetIndexName("CURRPAIR");
  rates->SetMasterFields("SHORT");
  rates->SetMasterSource(&source);
  rates->Open();
  EXPECT_TRUE(FindByField(*rates, "ID", "2"));
  EXPECT_EQ(rates->MasterSource(), &source);
  EXPECT_EQ(rates->IndexName(), "CURRPAIR");
  EXPECT_THROW(FindByField(*rates, "LocalCurrency", "EUR"), EDatabaseError);  // no such index
  EXPECT_EQ(rates->MasterSource(), &source);
  EXPECT_EQ(rates->IndexName(), "CURRPAIR");
}

TEST_F(RecordKeepingTest, CloneTableOpensASecondUnfilteredCursorAndReusesTheObject) {
  TSdbTable* currency = Table("CD_Currency");
  currency->SetFilter("UseOnBoard = .T.");
  currency->SetFiltered(true);
  currency->SetIndexName("ID");
  bool deleted = false;
  currency->BeforeDelete = [&](TDataSet*) { deleted = true; };
  currency->Open();
  std::unique_ptr<TSdbTable> lookup;
  EXPECT_FALSE(IsValidTable(lookup));
  CloneTable(lookup, *currency);
  ASSERT_TRUE(IsValidTable(lookup));
  EXPECT_TRUE(lookup->Active());
  EXPECT_NE(lookup->IndexName(), "ID");  // the source's order is not taken over
  EXPECT_FALSE(lookup->Filtered());
  EXPECT_EQ(lookup->RecordCount(), 5);
  lookup->BeforeDelete(lookup.get());
  EXPECT_TRUE(deleted);
  // Moving the copy leaves the source where it is.
  currency->First();
  const std::string first = currency->FieldByName("SHORT")->AsString();
  lookup->Last();
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), first);

  TSdbTable* before = lookup.get();
  lookup->SetFilter("SHORT = 'EUR'");
  lookup->SetFiltered(true);
  CloneTable(lookup, *Table("CD_ExchangeRates"));
  EXPECT_EQ(lookup.get(), before);
  EXPECT_EQ(lookup->TableName(), "CD_ExchangeRates");
  EXPECT_TRUE(lookup->Active());
  EXPECT_FALSE(lookup->Filtered());
}

}  // namespace
