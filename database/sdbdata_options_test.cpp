// Table options: the setters that refuse on open tables and by table kind,
// the record cache on an open table, RenameTable, and the members that only
// refuse.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtable.h"
#include "sdbtesting.h"

namespace {

using sdbtesting::ErrorOf;

class OptionsTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    connection = std::make_unique<TSdbConnection>();
    connection->SetLoginPrompt(false);
    connection->SetConnectPath(Dictionary());
    table = std::make_unique<TSdbTable>();
    table->SetSdbConnection(connection.get());
    table->SetTableName("CD_Currency");
  }
  void TearDown() override {
    table.reset();
    connection.reset();
  }

  std::unique_ptr<TSdbConnection> connection;
  std::unique_ptr<TSdbTable> table;
};

TEST_F(OptionsTest, CharacterTypesByTableKind) {
  TSdbTableOptions& options = table->SdbTableOptions();
  // The dataset's error: its name leads the message.
  table->SetName("tbCurrency");
  TSdbTable cdx;
  cdx.SetDatabaseName(DataFolder() + "db");
  cdx.SetTableType(ttSdbCDX);
  cdx.SdbTableOptions().SetSdbCharType(OEM);
  EXPECT_EQ(cdx.SdbTableOptions().SdbCharType(), OEM);
  uint32_t code = 0;
  EXPECT_EQ(ErrorOf([&] { cdx.SdbTableOptions().SetSdbCharType(GENERAL_VFP_CI_AS_1252); }, &code),
            "ttSdbCDX and ttSdbNTX table types only support an SdbCharType of ANSI or OEM.");
  EXPECT_EQ(code, 5121u);
  EXPECT_EQ(cdx.SdbTableOptions().SdbCharType(), OEM);
  options.SetSdbCharType(BOSNIAN_SDB_CS_AS_775);  // ADT: any of the 118
  EXPECT_EQ(options.SdbCharType(), BOSNIAN_SDB_CS_AS_775);
  EXPECT_EQ(ErrorOf([&] { options.SetSdbCharType(static_cast<TSdbCharTypes>(118)); }),
            "tbCurrency: Invalid or unknown character type.");
  EXPECT_EQ(options.SdbCharType(), BOSNIAN_SDB_CS_AS_775);
  options.SetSdbCharType(ANSI);
  table->Open();
  EXPECT_EQ(ErrorOf([&] { options.SetSdbCharType(OEM); }), "tbCurrency: Table must not be Active.");
}

TEST_F(OptionsTest, SettingsThatWaitForAClosedTable) {
  TSdbTableOptions& options = table->SdbTableOptions();
  table->Open();
  for (auto set : std::vector<std::function<void()>>{
           [&] { options.SetSdbLockType(Compatible); }, [&] { options.SetSdbRightsCheck(false); },
           [&] { options.SetSdbCachingOption(tcReads); }}) {
    uint32_t code = 0;
    EXPECT_EQ(ErrorOf(set, &code), "Table must not be Active.");
    EXPECT_EQ(code, 5121u);
  }
  EXPECT_EQ(options.SdbLockType(), Proprietary);
  EXPECT_TRUE(options.SdbRightsCheck());
  EXPECT_EQ(options.SdbCachingOption(), tcNone);
  // Options without a rule change on an open table.
  options.SetSdbLocateBehavior(lbFindFirst);
  options.SetSdbPreserveSpaces(true);
  table->Close();
  options.SetSdbLockType(Compatible);
  options.SetSdbRightsCheck(false);
  options.SetSdbCachingOption(tcWrites);
  EXPECT_EQ(options.SdbLockType(), Compatible);
  table->Open();  // and the table opens with them
  EXPECT_FALSE(table->Eof());
}

TEST_F(OptionsTest, TheRecordCacheReachesTheOpenTable) {
  table->SdbTableOptions().SetSdbRecordCache(rcAggressive);
  table->Open();
  uint32_t records = 0;
  ASSERT_EQ(SdbGetCacheRecords(table->Handle(), &records), 0u);
  EXPECT_EQ(records, 100u);
  table->SdbTableOptions().SetSdbRecordCache(rcStandard);
  ASSERT_EQ(SdbGetCacheRecords(table->Handle(), &records), 0u);
  EXPECT_EQ(records, 10u);
  table->SdbTableOptions().SetSdbRecordCache(rcNone);
  ASSERT_EQ(SdbGetCacheRecords(table->Handle(), &records), 0u);
  EXPECT_EQ(records, 0u);
  EXPECT_EQ(table->SdbTableOptions().SdbRecordCache(), rcNone);
  table->Close();
  table->Open();
  ASSERT_EQ(SdbGetCacheRecords(table->Handle(), &records), 0u);
  EXPECT_EQ(records, 0u);
}

TEST_F(OptionsTest, RenameTableOnlyInADictionary) {
  TSdbTable free;
  free.SetDatabaseName(DataFolder() + "db");
  free.SetTableName("CD_Currency");
  EXPECT_EQ(ErrorOf([&] { free.RenameTable("Other"); }),
            "The method RenameTable in TSdbDataSet is not supported on free tables.");
  table->Open();
  EXPECT_EQ(ErrorOf([&] { table->RenameTable("CD_Money"); }),
            "Cannot perform this operation on an open dataset");
  table->Close();
  table->RenameTable("CD_Money");
  EXPECT_EQ(table->TableName(), "CD_Money");
  EXPECT_EQ(sdbtesting::SqliteRows(Dictionary(), "SELECT count(*) FROM CD_Money").at(0).at(0), "5");
  table->Open();  // under the new name, on its default index
  EXPECT_EQ(table->IndexName(), "SDB_DEFAULT");
}

TEST_F(OptionsTest, MembersThatOnlyRefuse) {
  table->Open();
  std::vector<std::pair<std::string, std::function<void()>>> refused = {
      {"GetTableLevel", [&] { table->TableLevel(); }},
      {"SetTableLevel", [&] { table->SetTableLevel(7); }},
      {"GetDBDatabase", [&] { table->Database(); }},
      {"GetDBHandle", [&] { table->DBHandle(); }},
      {"GetDBLocale", [&] { table->DBLocale(); }},
      {"GetDBSession", [&] { table->DBSession(); }},
      {"GetProvider", [&] { table->Provider(); }},
      {"GetSessionName", [&] { table->SessionName(); }},
      {"SetSessionName", [&] { table->SetSessionName("s"); }},
      {"GetCacheBlobs", [&] { table->CacheBlobs(); }},
      {"SetCacheBlobs", [&] { table->SetCacheBlobs(true); }},
      {"GetCachedUpdates", [&] { table->CachedUpdates(); }},
      {"SetCachedUpdates", [&] { table->SetCachedUpdates(true); }},
      {"GetExpIndex", [&] { table->ExpIndex(); }},
      {"GetLocale", [&] { table->Locale(); }},
      {"GetUpdateObject", [&] { table->UpdateObject(); }},
      {"SetUpdateObject", [&] { table->SetUpdateObject(nullptr); }},
      {"GetUpdatesPending", [&] { table->UpdatesPending(); }},
      {"GetUpdateRecordSet", [&] { table->UpdateRecordTypes(); }},
      {"SetUpdateRecordSet", [&] { table->SetUpdateRecordTypes(1); }},
      {"BatchMove", [&] { table->BatchMove(nullptr, 0); }},
      {"UpdateStatus", [&] { table->UpdateStatus(); }},
  };
  for (auto& [method, action] : refused) {
    uint32_t code = 0;
    EXPECT_EQ(ErrorOf(action, &code), "The method " + method + " in TSdbDataSet is not supported.");
    EXPECT_EQ(code, 5121u);
  }
  EXPECT_TRUE(table->Active());  // nothing else happened
}

}  // namespace
