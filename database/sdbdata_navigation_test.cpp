// Navigation on a real table: record numbers and their setter, counts with
// the counting options, bookmarks, record filtering, and a record deleted by
// another connection while the dataset shows it.
#include <gtest/gtest.h>

#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtable.h"
#include "sdbtesting.h"

namespace {

class TProbeTable : public TSdbTable {
 public:
  using TSdbDataSet::ActivateScope;
  using TSdbDataSet::DeactivateScope;
  using TSdbDataSet::mbScoped;
  using TSdbDataSet::mstrScopeEnd;
  using TSdbDataSet::mstrScopeStart;
};

class NavigationTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    // Record numbers 1..4 in the order B D A C; index NAME orders them A B C D.
    sdbtesting::RunSql(Dictionary(),
                       "CREATE TABLE Items (NAME CHAR(5), QTY INTEGER);"
                       "CREATE INDEX NAME ON Items (NAME);"
                       "INSERT INTO Items VALUES ('B', 2), ('D', 4), ('A', 1), ('C', 3);");
    connection = std::make_unique<TSdbConnection>();
    connection->SetLoginPrompt(false);
    connection->SetConnectPath(Dictionary());
    table = std::make_unique<TProbeTable>();
    table->SetSdbConnection(connection.get());
    table->SetTableName("Items");
    table->Open();
  }
  void TearDown() override {
    table.reset();
    connection.reset();
  }
  std::string Name() { return table->FieldByName("NAME")->AsString(); }
  std::string Walk() {
    std::string names;
    for (table->First(); !table->Eof(); table->Next()) names += Name();
    return names;
  }
  uint32_t ErrorCodeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const ESDBDatabaseError& e) {
      return e.EngineErrorCode();
    }
    return 0;
  }

  std::unique_ptr<TSdbConnection> connection;
  std::unique_ptr<TProbeTable> table;
};

TEST_F(NavigationTest, RecNoIsThePhysicalNumberUnlessSequenced) {
  EXPECT_EQ(Walk(), "BDAC");
  table->First();
  EXPECT_EQ(table->RecNo(), 1);
  table->SetIndexName("NAME");
  EXPECT_EQ(Walk(), "ABCD");
  table->First();
  EXPECT_EQ(Name(), "A");
  EXPECT_EQ(table->RecNo(), 3);  // Sequenced off: still the record number
  table->SetSequenced(true);
  table->SetSequencedLevel(slExact);
  table->First();
  table->Next();
  EXPECT_EQ(table->RecNo(), 2);  // the key position
  table->Close();
  EXPECT_THROW(table->RecNo(), EDatabaseError);
  EXPECT_THROW(table->RecordCount(), EDatabaseError);
}

TEST_F(NavigationTest, SettingRecNo) {
  table->SetRecNo(3);
  EXPECT_EQ(Name(), "A");
  table->SetRecNo(2);
  EXPECT_EQ(Name(), "D");
  // Beyond the last record: refused by the engine unless sequenced.
  EXPECT_EQ(ErrorCodeOf([&] { table->SetRecNo(10); }), 5022u);
  table->SetSequenced(true);
  table->SetRecNo(3);  // from the top: the third record
  EXPECT_EQ(Name(), "A");
  // With an index: a relative key position, 10 of 4 records is the end.
  table->SetSequenced(false);
  table->SetIndexName("NAME");
  table->SetRecNo(10);
  EXPECT_EQ(Name(), "D");
  table->SetSequenced(true);
  table->SetSequencedLevel(slExact);
  table->SetRecNo(2);
  EXPECT_EQ(Name(), "B");
  EXPECT_EQ(table->RecNo(), 2);
}

TEST_F(NavigationTest, CountsFollowTheCountingOptions) {
  EXPECT_EQ(table->RecordCount(), 4);
  // An engine filter counts only when asked to.
  const char16_t filter[] = u"QTY > 2";
  ASSERT_EQ(SdbSetAOF100(table->Handle(), filter, SDB_FILTER_UTF16), 0u);
  EXPECT_EQ(table->RecordCount(), 4);
  table->SdbTableOptions().SetSdbFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(table->RecordCount(), 2);
  table->SdbTableOptions().SetSdbFreshRecordCount(true);
  EXPECT_EQ(table->RecordCount(), 2);
  ASSERT_EQ(SdbClearAOF(table->Handle()), 0u);
  // A scope on the active index counts only with the scope option.
  table->SdbTableOptions().SetSdbFilterOptions(IGNORE_WHEN_COUNTING);
  table->SetIndexName("NAME");
  table->mstrScopeStart = "B";
  table->mstrScopeEnd = "C";
  table->ActivateScope();
  EXPECT_EQ(table->RecordCount(), 4);
  table->SdbTableOptions().SetSdbScopeOptions(RESPECT_SCOPES_WHEN_COUNTING);
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(Walk(), "BC");
  table->DeactivateScope();
  EXPECT_EQ(table->RecordCount(), 4);
}

TEST_F(NavigationTest, BookmarksSurviveOtherMovements) {
  table->SetRecNo(2);
  TBookmark second = table->GetBookmark();
  table->Last();
  TBookmark last = table->GetBookmark();
  ASSERT_FALSE(second.empty());
  table->First();
  table->SetIndexName("NAME");  // another order between
  table->GotoBookmark(second);
  EXPECT_EQ(Name(), "D");
  EXPECT_TRUE(table->BookmarkValid(second));
  EXPECT_EQ(table->CompareBookmarks(second, last), -1);
  EXPECT_EQ(table->CompareBookmarks(last, second), 1);
  EXPECT_EQ(table->CompareBookmarks(second, second), 0);
  // An empty bookmark sorts after a present one.
  EXPECT_EQ(table->CompareBookmarks(second, {}), -1);
  EXPECT_EQ(table->CompareBookmarks({}, second), 1);
  EXPECT_EQ(table->CompareBookmarks({}, {}), 0);
  EXPECT_FALSE(table->BookmarkValid({}));
  TBookmark gone = {99, 0, 0, 0};
  EXPECT_FALSE(table->BookmarkValid(gone));
}

TEST_F(NavigationTest, RecordFilterSkipsInTheDirectionOfTravel) {
  table->OnFilterRecord = [](TDataSet* dataSet, bool& accept) {
    accept = dataSet->FieldByName("QTY")->AsInteger() % 2 == 0;
  };
  table->SetFiltered(true);
  EXPECT_EQ(Walk(), "BD");
  table->Last();
  EXPECT_EQ(Name(), "D");
  table->Prior();
  EXPECT_EQ(Name(), "B");
  table->OnFilterRecord = [](TDataSet*, bool& accept) { accept = false; };
  table->First();
  EXPECT_TRUE(table->Eof());
  EXPECT_TRUE(table->IsEmpty());
}

TEST_F(NavigationTest, ARecordDeletedElsewhereIsPassedOver) {
  table->First();
  EXPECT_EQ(Name(), "B");
  // A second connection deletes the record shown, and the next one.
  TSdbConnection other;
  other.SetLoginPrompt(false);
  other.SetConnectPath(Dictionary());
  other.Connect();
  other.Execute("DELETE FROM Items WHERE NAME IN ('B', 'D')");
  table->Next();
  EXPECT_FALSE(table->Eof());
  EXPECT_EQ(Name(), "A");
  table->Refresh();
  EXPECT_EQ(Name(), "A");
  EXPECT_EQ(Walk(), "AC");
  EXPECT_EQ(table->RecordCount(), 2);
}

}  // namespace
