// ESDBDatabaseError and the result check, through real engine failures.
#include <gtest/gtest.h>

#include <thread>

#include "sdbdata.h"
#include "sdbengine.h"
#include "sdbtesting.h"

namespace {

using sdbtesting::TDataSetDouble;

class DatabaseErrors : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    con = new TSdbConnection(&form);
    con->SetName("con");
    con->SetLoginPrompt(false);
    con->SetConnectPath(Dictionary());
    con->Connect();
    form.SetName("fmTessaly");
  }
  // The error a failed engine result raises for `dataSet`.
  template <class Call>
  ESDBDatabaseError Failure(TSdbDataSetInterface* dataSet, Call call) {
    try {
      SdbCheck(dataSet, call());
    } catch (const ESDBDatabaseError& e) {
      return e;
    }
    ADD_FAILURE() << "no error raised";
    return ESDBDatabaseError(nullptr, "", 0);
  }
  uint32_t OpenTable(const char* name, uint32_t& table) {
    return SdbOpenTable90(con->ConnectionHandle(), name, nullptr, 0, 1, 1, 1, 0, "", &table);
  }

  TComponent form;
  TSdbConnection* con = nullptr;
};

TEST_F(DatabaseErrors, AMissingTableNamesTheDataSetAndCarriesTheEnginesCode) {
  TDataSetDouble tbCurrency(&form, "tbCurrency", con, nullptr);
  tbCurrency.FTableName = "CD_Nothing";
  tbCurrency.FDatabaseName = "con";
  uint32_t table = 0;
  ESDBDatabaseError e = Failure(&tbCurrency, [&] { return OpenTable("CD_Nothing", table); });
  uint32_t code = 0;
  std::string text = SdbLastErrorText(code);
  EXPECT_EQ(5132u, e.EngineErrorCode());
  EXPECT_EQ("tbCurrency: " + text, e.Message());
  EXPECT_FALSE(text.empty());
  EXPECT_EQ("tbCurrency", e.DataSetInstanceName());
  EXPECT_EQ("fmTessaly", e.DataSetInstanceOwner());
  EXPECT_EQ("con", e.DatabaseName());
  EXPECT_EQ(DataFolder() + "db", e.DatabasePath());
  EXPECT_EQ("CD_Nothing", e.TableName());
  EXPECT_EQ("", e.ColumnName());
  EXPECT_EQ(0, e.SQLErrorCode());
  EXPECT_FALSE(SdbComposingError());
}

TEST_F(DatabaseErrors, AFailedStatementWithoutDataSetGivesTheEnginesTextAndNativeError) {
  try {
    con->Execute("SELECT * FROM CD_Nothing");
    FAIL() << "no error";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_EQ(7200u, e.EngineErrorCode());
    EXPECT_EQ(1, e.SQLErrorCode()) << e.Message();  // SQLite's SQLITE_ERROR
    EXPECT_EQ(0u, e.Message().find("Error 7200:")) << e.Message();
    EXPECT_EQ("", e.DataSetInstanceName());
    EXPECT_EQ("", e.TableName());
  }
}

TEST_F(DatabaseErrors, AColumnErrorNamesItsColumn) {
  TDataSetDouble tbCurrency(&form, "tbCurrency", con, nullptr);
  uint32_t table = 0;
  ASSERT_EQ(0u, OpenTable("CD_Currency", table));
  ASSERT_EQ(0u, SdbGotoTop(table));
  ESDBDatabaseError e =
      Failure(&tbCurrency, [&] { return SdbSetField(table, "SHORT", "EURO", 4); });
  EXPECT_EQ(5147u, e.EngineErrorCode()) << e.Message();
  EXPECT_EQ("SHORT", e.ColumnName()) << e.Message();
  SdbCloseTable(table);
  // Without a dataset no detail is gathered, the column neither.
  SdbSetLastError(5148, "The value is out of range for column \"RATE\" of table X.");
  ESDBDatabaseError bare = Failure(nullptr, [] { return 5148u; });
  EXPECT_EQ("", bare.ColumnName());
  SdbSetLastError(5148, "The value is out of range for column \"RATE\" of table X.");
  EXPECT_EQ("RATE", Failure(&tbCurrency, [] { return 5148u; }).ColumnName());
  SdbSetLastError(5149, "The value is not valid (no column named).");
  EXPECT_EQ("", Failure(&tbCurrency, [] { return 5149u; }).ColumnName());
}

TEST(DatabaseErrorText, TheNativeErrorIsReadOnlyAfterError7200) {
  auto native = [](const std::string& text) {
    return ESDBDatabaseError(nullptr, text, 7200).SQLErrorCode();
  };
  EXPECT_EQ(2121, native("error 7200:  State = HY000;   nativeerror = 2121; more"));
  EXPECT_EQ(0, native("Error 7100:  NativeError = 2121; more"));
  EXPECT_EQ(2121, native("Error 7200: NativeError = 2121"));  // up to the end
  // Not a number: discarded, the message stays.
  ESDBDatabaseError e(nullptr, "Error 7200: NativeError = x1;", 7200);
  EXPECT_EQ(0, e.SQLErrorCode());
  EXPECT_EQ("Error 7200: NativeError = x1;", e.Message());
  EXPECT_FALSE(SdbComposingError());
}

TEST(DatabaseErrorText, ZeroPassesAndAnUnreportedFailureKeepsItsCode) {
  EXPECT_NO_THROW(SdbCheck(nullptr, 0));
  SdbSetLastError(0, nullptr);
  try {
    SdbCheck(nullptr, 5004);
    FAIL() << "no error";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_EQ(5004u, e.EngineErrorCode());
  }
}

TEST(DatabaseErrorText, ATextLongerThanTheRoomIsCutNotLost) {
  std::string text = "Error 7200:  State = HY000;   NativeError = 19;  " + std::string(900, 'x');
  SdbSetLastError(7200, text.c_str());
  try {
    SdbCheck(nullptr, 7200);
    FAIL() << "no error";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_EQ(7200u, e.EngineErrorCode());
    EXPECT_EQ(text.substr(0, 599), e.Message());
    EXPECT_EQ(19, e.SQLErrorCode());
  }
  SdbSetLastError(5000, text.c_str());
  EXPECT_EQ(text.substr(0, 599), SdbError(5000).Message());
}

TEST_F(DatabaseErrors, ComposingOneErrorNeverRaisesAnotherAndEndsCleanly) {
  TDataSetDouble tbCurrency(&form, "tbCurrency", con, nullptr);
  bool flagSeen = false, otherThreadRaised = false;
  std::string nestedMessage = "unset";
  tbCurrency.OnGetDatabasePath = [&]() -> std::string {
    flagSeen = SdbComposingError();
    // Another thread composes on its own.
    std::thread other([&] {
      try {
        SdbSetLastError(5004, "on another thread");
        SdbCheck(nullptr, 5004);
      } catch (const ESDBDatabaseError& e) {
        otherThreadRaised = e.Message() == "on another thread";
      }
    });
    other.join();
    // An engine failure while composing passes silently...
    uint32_t table = 0;
    SdbCheck(nullptr, OpenTable("CD_Nothing", table));
    // ...and an error built meanwhile stays empty and does not end the
    // composition of the first.
    {
      ESDBDatabaseError nested(&tbCurrency, "nested", 5121);
      nestedMessage = nested.Message();
    }
    EXPECT_TRUE(SdbComposingError());
    throw ESDBDatabaseError(nullptr, "path failed", 5121);
  };
  SdbSetLastError(5132, "The table is not in the dictionary.");
  ESDBDatabaseError e = Failure(&tbCurrency, [] { return 5132u; });
  EXPECT_TRUE(flagSeen);
  EXPECT_TRUE(otherThreadRaised);
  EXPECT_EQ("", nestedMessage);
  EXPECT_EQ("tbCurrency: The table is not in the dictionary.", e.Message());
  EXPECT_EQ("", e.DatabasePath());  // reading it failed; what came before stays
  EXPECT_EQ(5132u, e.EngineErrorCode());
  EXPECT_FALSE(SdbComposingError());
}

TEST_F(DatabaseErrors, SdbErrorTakesTheEnginesTextAlone) {
  uint32_t table = 0;
  OpenTable("CD_Nothing", table);
  uint32_t code = 0;
  std::string text = SdbLastErrorText(code);
  EXPECT_EQ(text, SdbError(12345).Message());
}

}  // namespace
