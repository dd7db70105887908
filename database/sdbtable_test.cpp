// TSdbTable on real dictionaries: opening and its refusals, location,
// walking the program's tables, and navigation at both ends.
#include "sdbtable.h"

#include <gtest/gtest.h>

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
