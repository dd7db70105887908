// TSdbTable on real dictionaries: opening and its refusals, location,
// walking the program's tables, and navigation at both ends.
#include "sdbtable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtesting.h"

namespace {

/// The message and code of an ESDBDatabaseError raised by `action` ("" and
/// 0 when none is raised).
template <class F>
std::pair<std::string, uint32_t> SdbErrorOf(F action) {
  try {
    action();
  } catch (const ESDBDatabaseError& e) {
    return {e.Message(), e.EngineErrorCode()};
  }
  return {"", 0};
}

class TableTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    connection = std::make_unique<TSdbConnection>();
    connection->SetName("conTest");
    connection->SetLoginPrompt(false);
    connection->SetSdbServerTypes({stSDB_REMOTE});
    connection->SetConnectPath(Dictionary());
  }
  void TearDown() override {
    tables.clear();
    connection.reset();
  }
  TSdbTable* Table(const std::string& name) {
    tables.push_back(std::make_unique<TSdbTable>());
    TSdbTable* table = tables.back().get();
    table->SetSdbConnection(connection.get());
    table->SetTableName(name);
    return table;
  }

  std::unique_ptr<TSdbConnection> connection;
  std::vector<std::unique_ptr<TSdbTable>> tables;
};

TEST_F(TableTest, TheProgramsTablesOpenAndWalkInRecordOrder) {
  TSdbTable* currency = Table("CD_Currency");
  currency->Open();
  ASSERT_TRUE(currency->Active());
  EXPECT_FALSE(currency->Eof());
  // The demo dictionary gives the table a default index (SHORT), chosen when
  // the connection connected; without an index the walk is in record order.
  EXPECT_EQ(currency->IndexName(), "SDB_DEFAULT");
  currency->SetIndexName("");
  TField* shortName = currency->FieldByName("SHORT");
  TField* inUse = currency->FieldByName("UseOnBoard");
  TField* id = currency->FieldByName("ID");
  std::string walked;
  int count = 0;
  for (currency->First(); !currency->Eof(); currency->Next()) {
    walked += shortName->AsString() + (inUse->AsBoolean() ? "+" : "-") + " ";
    EXPECT_EQ(id->AsFloat(), ++count);
  }
  EXPECT_EQ(walked, "EUR+ USD+ GBP+ CHF- JPY- ");
  EXPECT_EQ(currency->RecordCount(), 5);

  TSdbTable* rates = Table("CD_ExchangeRates");
  TSdbTable* history = Table("CD_ExchangeRateHistory");
  rates->Open();
  history->Open();
  EXPECT_TRUE(rates->Eof() && rates->Bof());
  EXPECT_EQ(rates->FieldByName("ExchangeRate")->DataType(), ftFloat);
  EXPECT_EQ(rates->FieldByName("LastUpdate")->DataType(), ftDateTime);
  EXPECT_EQ(history->FieldByName("ValidUntil")->DataType(), ftDateTime);
  EXPECT_EQ(connection->DataSetCount(), 3);
}

TEST_F(TableTest, TheDefaultIndexOrdersTheWalk) {
  connection->Connect();
  TSdbTable* currency = Table("CD_Currency");
  EXPECT_EQ(currency->DefaultIndex(), "SHORT");
  EXPECT_EQ(currency->IndexName(), "SDB_DEFAULT");
  currency->Open();
  std::string walked;
  for (currency->First(); !currency->Eof(); currency->Next())
    walked += currency->FieldByName("SHORT")->AsString() + " ";
  EXPECT_EQ(walked, "CHF EUR GBP JPY USD ");
  currency->Last();
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "USD");
  currency->Prior();
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "JPY");
}

TEST_F(TableTest, RefusalsBeforeAnyEngineCall) {
  TSdbTable table;
  auto [message, code] = SdbErrorOf([&] { table.Open(); });
  EXPECT_EQ(message, "Missing TableName property");
  EXPECT_EQ(code, 5121u);
  EXPECT_FALSE(table.Active());

  table.SetTableName("CD_Currency");
  EXPECT_EQ(SdbErrorOf([&] { table.Open(); }).first,
            "One of the DatabaseName property or the SdbConnection property must have a value.");

  table.SetName("tbCurrency");
  table.SetSdbConnection(connection.get());
  table.Open();
  EXPECT_EQ(SdbErrorOf([&] { table.SetTableName("CD_ExchangeRates"); }).first,
            "tbCurrency: Cannot perform this operation on an open dataset");
  EXPECT_EQ(SdbErrorOf([&] { table.SetTableType(ttSdbCDX); }).first,
            "tbCurrency: Cannot perform this operation on an open dataset");
  EXPECT_EQ(SdbErrorOf([&] { table.SetDatabaseName("/tmp"); }).first,
            "tbCurrency: Cannot perform this operation on an open dataset");
  EXPECT_EQ(SdbErrorOf([&] { table.SetIndexCollationMismatch(icmIgnore); }).first,
            "tbCurrency: Cannot perform this operation on an open dataset");
  EXPECT_EQ(SdbErrorOf([&] { table.SetSdbConnection(nullptr); }).first,
            "tbCurrency: Table must not be Active.");
  EXPECT_EQ(table.TableName(), "CD_Currency");
  EXPECT_EQ(table.SdbConnection(), connection.get());
}

TEST_F(TableTest, AnEngineFailureNamesTheDataSet) {
  TSdbTable* table = Table("CD_Nowhere");
  table->SetName("tbNowhere");
  auto [message, code] = SdbErrorOf([&] { table->Open(); });
  EXPECT_EQ(message.rfind("tbNowhere: ", 0), 0u) << message;
  EXPECT_NE(code, 0u);
  EXPECT_NE(code, 5121u);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->Handle(), SdbNoHandle);
}

TEST_F(TableTest, EmptyTableAndTheEnds) {
  TSdbTable* rates = Table("CD_ExchangeRates");
  rates->Open();
  rates->First();
  EXPECT_TRUE(rates->Bof());
  EXPECT_TRUE(rates->Eof());
  rates->Next();
  EXPECT_TRUE(rates->Eof());
  EXPECT_EQ(rates->RecNo(), 0);
  EXPECT_EQ(rates->RecordCount(), 0);

  TSdbTable* currency = Table("CD_Currency");
  currency->Open();
  currency->SetIndexName("");
  currency->Last();
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "JPY");
  currency->Next();  // past the end: Eof, the record stays
  EXPECT_TRUE(currency->Eof());
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "JPY");
  currency->First();
  currency->Prior();  // before the start: Bof, the record stays
  EXPECT_TRUE(currency->Bof());
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "EUR");
  EXPECT_EQ(currency->RecNo(), 1);
}

TEST_F(TableTest, CloseReleasesTheHandleAndReopens) {
  TSdbTable* currency = Table("CD_Currency");
  currency->Open();
  uint32_t handle = currency->Handle();
  EXPECT_NE(handle, SdbNoHandle);
  EXPECT_NE(currency->ActiveHandle(), SdbNoHandle);
  currency->Close();
  EXPECT_EQ(currency->Handle(), SdbNoHandle);
  EXPECT_EQ(currency->ActiveHandle(), SdbNoHandle);
  uint16_t type = 0;
  EXPECT_NE(SdbGetHandleType(handle, &type), 0u);  // closed in the engine
  EXPECT_EQ(currency->FieldCount(), 0);
  currency->Open();
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "CHF");
}

}  // namespace

namespace {

// -- location ---------------------------------------------------------------------

/// A folder of free tables: "Loose" beside the dictionary, "Free" in a
/// folder of its own.
class LocationTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    dictionaryFolder = DataFolder() + "db";
    freeFolder = DataFolder() + "free";
    std::filesystem::create_directories(freeFolder);
    for (const std::string& folder : {dictionaryFolder, freeFolder}) {
      TSdbConnection maker;
      maker.SetLoginPrompt(false);
      maker.SetConnectPath(folder);
      maker.Connect();
      const char* name = folder == freeFolder ? "Free" : "Loose";
      maker.Execute(std::string("CREATE TABLE ") + name + " (NAME CHAR(10), QTY INTEGER)");
      maker.Execute(std::string("INSERT INTO ") + name + " VALUES ('first', 1), ('second', 2)");
    }
  }
  void TearDown() override {
    unsetenv("sdbini_path");
    TableTest::TearDown();
  }
  void WriteAliasFile(const std::string& text) {
    std::ofstream(DataFolder() + "sdb.ini") << text;
    setenv("sdbini_path", DataFolder().c_str(), 1);
  }

  std::string dictionaryFolder, freeFolder;
};

TEST_F(LocationTest, ATableTheDictionaryDoesNotKnowOpensFromItsFolder) {
  TSdbTable* loose = Table("Loose");
  loose->SetTableType(ttSdbDefault);  // the file found decides
  loose->Open();
  EXPECT_EQ(loose->TableType(), ttSdbADT);
  EXPECT_EQ(loose->FieldByName("NAME")->AsString(), "first");
  EXPECT_EQ(loose->RecordCount(), 2);
}

TEST_F(LocationTest, AFolderPathSharesOneEngineConnection) {
  TSdbTable first, second;
  first.SetDatabaseName(freeFolder + "/");
  first.SetTableName("Free");
  second.SetDatabaseName(freeFolder);
  second.SetTableName("free");
  EXPECT_EQ(first.GetDatabasePath(), freeFolder);
  const int before = TDynamicConnList::Instance().Count();
  first.Open();
  second.Open();
  EXPECT_EQ(TDynamicConnList::Instance().Count(), before + 1);
  second.Last();
  EXPECT_EQ(second.FieldByName("QTY")->AsInteger(), 2);
  EXPECT_EQ(first.FieldByName("QTY")->AsInteger(), 1);
  EXPECT_TRUE(first.Exists());
  first.Close();
  EXPECT_TRUE(first.Exists());  // Free.adt
  first.SetTableName("Missing");
  EXPECT_FALSE(first.Exists());
  first.SetTableName("");
  EXPECT_FALSE(first.Exists());
}

TEST_F(LocationTest, AnAliasNamesTheFolderAndItsTableType) {
  WriteAliasFile("[Databases]\nFreeTables=" + freeFolder + ";a\nOldTables=" + freeFolder + ";N\n");
  TSdbTable table;
  table.SetDatabaseName("FreeTables");
  table.SetTableName("Free");
  EXPECT_EQ(table.GetDatabasePath(), freeFolder);
  EXPECT_EQ(table.TableType(), ttSdbADT);
  EXPECT_EQ(SdbErrorOf([&] { table.SetTableType(ttSdbCDX); }).first,
            "The table type must remain identical to the table type associated with the alias.");
  table.Open();
  EXPECT_EQ(table.FieldByName("NAME")->AsString(), "first");
  table.Close();
  table.SetDatabaseName("OldTables");
  EXPECT_EQ(table.TableType(), ttSdbNTX);
  // The engine opens no DBF tables yet: its refusal, through the result check.
  auto [message, code] = SdbErrorOf([&] { table.Open(); });
  EXPECT_EQ(code, uint32_t{SDB_E_NOT_SUPPORTED}) << message;
  // An unknown alias is kept as a name.
  table.SetDatabaseName("NoSuchAlias");
  EXPECT_EQ(table.GetDatabasePath(), "NoSuchAlias");
}

TEST_F(LocationTest, ADatabaseNameFindsTheConnectionOfTheSameOwnerFirst) {
  TComponent formA, formB;
  auto* conA = new TSdbConnection(&formA);
  conA->SetName("conData");
  auto* conB = new TSdbConnection(&formB);
  conB->SetName("conData");
  conB->SetLoginPrompt(false);
  conB->SetConnectPath(Dictionary());
  auto* table = new TSdbTable(&formB);
  table->SetDatabaseName("conData");
  EXPECT_EQ(table->SdbConnection(), conB);
  EXPECT_EQ(table->GetDatabasePath(), dictionaryFolder);
  table->SetTableName("CD_Currency");
  table->Open();
  EXPECT_TRUE(table->Active());
  // Another owner's dataset names it with the owner's name.
  TSdbTable other;
  formB.SetName("formB");
  other.SetDatabaseName("formB.conData");
  EXPECT_EQ(other.SdbConnection(), conB);
  EXPECT_EQ(conA->DataSetCount(), 0);
  EXPECT_EQ(conB->DataSetCount(), 2);
  other.SetSdbConnection(nullptr);
  EXPECT_EQ(conB->DataSetCount(), 1);
  // Renaming the connection renames it in the datasets that name it.
  table->Close();
  conB->SetName("conRenamed");
  EXPECT_EQ(table->DatabaseName(), "conRenamed");
  table->Open();
  EXPECT_EQ(table->SdbConnection(), conB);
}

TEST_F(LocationTest, TheConnectionClosesItsDataSetsAndRefreshesThemAfterARollback) {
  TSdbTable* currency = Table("CD_Currency");
  currency->Open();
  connection->BeginTransaction();
  connection->Execute("UPDATE CD_Currency SET Description = 'changed' WHERE SHORT = 'CHF'");
  currency->Refresh();
  EXPECT_EQ(currency->FieldByName("Description")->AsString(), "changed");
  connection->Rollback();
  EXPECT_EQ(currency->FieldByName("Description")->AsString(), "Swiss Franc");
  connection->Disconnect();
  EXPECT_FALSE(currency->Active());
  EXPECT_EQ(currency->Handle(), SdbNoHandle);
  // A closed dataset may change its connection and opens through the new one.
  TSdbConnection second;
  second.SetLoginPrompt(false);
  second.SetConnectPath(Dictionary());
  currency->SetSdbConnection(&second);
  currency->Open();
  EXPECT_TRUE(second.IsConnected());
  EXPECT_EQ(connection->DataSetCount(), 0);
  EXPECT_EQ(second.DataSetCount(), 1);
}

TEST_F(LocationTest, ExistsAndVersion) {
  TSdbTable* currency = Table("CD_Currency");
  EXPECT_TRUE(currency->Exists());  // in the dictionary, not a file
  TSdbTable* nowhere = Table("CD_Nowhere");
  EXPECT_FALSE(nowhere->Exists());
  uint32_t major = 0, minor = 0;
  char letter = ' ';
  char description[100];
  uint16_t length = sizeof description;
  ASSERT_EQ(SdbGetVersion(&major, &minor, &letter, description, &length), 0u);
  std::string expected = "11.10.0.30 (Engine " + std::to_string(major) + "." +
                         (minor < 10 ? "0" : "") + std::to_string(minor) +
                         (letter != ' ' ? std::string(1, letter) : "") + ")";
  EXPECT_EQ(currency->Version(), expected);
  // The effective collation: the table's, else the connection's, else the
  // name the character type carries.
  EXPECT_EQ(currency->GetEffectiveCollation(), "ANSI");
  currency->SdbTableOptions().SetSdbCharType(ENGL_UK_SDB_CS_AS_1252);
  EXPECT_EQ(currency->GetEffectiveCollation(), "ENGL(UK)_SDB_CS_AS_1252");
  connection->SetSdbCollation("GERMAN_VFP_CI_AS_1252");
  EXPECT_EQ(currency->GetEffectiveCollation(), "GERMAN_VFP_CI_AS_1252");
  currency->SdbTableOptions().SetSdbCollation("duden_de_sdb_cs_as_1252");
  EXPECT_EQ(currency->GetEffectiveCollation(), "duden_de_sdb_cs_as_1252");
  EXPECT_STREQ(SdbCharTypeName(BOSNIAN_SDB_CS_AS_775), "BOSNIAN_SDB_CS_AS_775");
  EXPECT_STREQ(SdbCharTypeName(static_cast<TSdbCharTypes>(118)), "");
}

TEST_F(LocationTest, IndexFilesOpenWithTheTableAndOnRequest) {
  sdbtesting::RunSql(Dictionary(),
                     "CREATE TABLE Items (NAME CHAR(5), QTY INTEGER);"
                     "CREATE INDEX QTY ON Items (QTY DESC) IN FILE 'extra.adi';"
                     "INSERT INTO Items VALUES ('B', 2), ('A', 1), ('C', 3);");
  TSdbTable* items = Table("Items");
  EXPECT_EQ(SdbErrorOf([&] { items->OpenIndexFile("extra.adi"); }).first, "Table must be Active.");
  items->IndexFiles().Add("extra.adi");
  items->IndexFiles().Add("EXTRA.ADI");  // a duplicate, ignored
  EXPECT_EQ(items->IndexFiles().Count(), 1);
  items->Open();  // opens the listed file with the table
  EXPECT_EQ(items->IndexDefs().Count(), 1);
  items->SetIndexName("QTY");
  items->First();
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "C");
  // Closing the file of the active index falls back to the record order.
  items->CloseIndexFile("/elsewhere/Extra.adi");
  EXPECT_EQ(items->IndexName(), "");
  items->First();
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "B");
  auto indexes = [&] {
    items->IndexDefs().Update();
    return items->IndexDefs().Count();
  };
  EXPECT_EQ(indexes(), 0);
  items->OpenIndexFile("extra.adi");
  EXPECT_EQ(indexes(), 1);
  // The list closes what it drops while the table is open.
  items->IndexFiles().Delete(0);
  EXPECT_EQ(indexes(), 0);
  items->IndexFiles().Add("extra.adi");
  EXPECT_EQ(indexes(), 1);
  // A file the table does not have: the engine's refusal.
  EXPECT_EQ(SdbErrorOf([&] { items->OpenIndexFile("Other.adi"); }).second,
            uint32_t{SDB_E_FILE_NOT_FOUND});
  items->Close();
  items->SetTableName("CD_ExchangeRates");  // another table: the list empties
  EXPECT_EQ(items->IndexFiles().Count(), 0);
  EXPECT_THROW(TSdbIndexFiles(nullptr), ESDBDatabaseError);
}

}  // namespace

namespace {

TEST_F(TableTest, AFailedOpenLeavesNoHandleBehind) {
  // The listed index file does not exist: the open fails after the engine
  // opened the table exclusively; the table must not stay locked.
  TSdbTable* first = Table("CD_Currency");
  first->SetExclusive(true);
  first->IndexFiles().Add("Missing.adi");
  EXPECT_NE(SdbErrorOf([&] { first->Open(); }).second, 0u);
  EXPECT_FALSE(first->Active());
  TSdbConnection other;
  other.SetLoginPrompt(false);
  other.SetConnectPath(Dictionary());
  TSdbTable second;
  second.SetSdbConnection(&other);
  second.SetTableName("CD_Currency");
  second.SetExclusive(true);
  second.Open();
  EXPECT_TRUE(second.Active());
  // Field definitions of a closed table open a handle for the purpose and
  // close it again, also when asked while another holds the table.
  TSdbTable* third = Table("CD_Currency");
  EXPECT_NE(SdbErrorOf([&] { third->FieldDefs().Update(); }).second, 0u);
  second.Close();
  third->FieldDefs().Update();
  EXPECT_EQ(third->FieldDefs().Count(), 8);
  second.Open();  // exclusive again: nothing of the third remained open
  EXPECT_TRUE(second.Active());
}

TEST_F(TableTest, ARecordTooLargeForTheBufferSizesIsRefused) {
  sdbtesting::RunSql(Dictionary(), "CREATE TABLE Wide (A CHAR(40000), B CHAR(40000));");
  TSdbTable* wide = Table("Wide");
  wide->SetName("tbWide");
  auto [message, code] = SdbErrorOf([&] { wide->Open(); });
  EXPECT_EQ(code, 5121u);
  EXPECT_EQ(message,
            "tbWide: The record of table Wide is 80000 bytes long; at most 65535 are supported.");
  EXPECT_EQ(wide->Handle(), SdbNoHandle);
}

}  // namespace
