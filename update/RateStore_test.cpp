// The rate store on the demo dictionary: currencies in use, barred pairs,
// current rates with history, failures that leave nothing behind; rows read
// back with plain SQLite.
#include "RateStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "LANTools.h"
#include "SDBTools.h"
#include "formatsettings.h"
#include "recordkeeping_testing.h"
#include "sdbtable.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

using TRows = std::vector<std::vector<std::string>>;

class RateStoreTest : public rktesting::InstalledDictionaryTest {
 protected:
  void SetUp() override { SetUpWith(""); }
  void SetUpWith(const std::string& sql) {
    InstalledDictionaryTest::SetUpWith(sql);
    currency = Table("CD_Currency");
    rates = Table("CD_ExchangeRates");
    history = Table("CD_ExchangeRateHistory");
    currency->Open();
    rates->Open();
    history->Open();
    store = std::make_unique<TRateStore>(*rates, *history, nullptr);
    CloneTable(lookup, *currency);
    store->SetCurrencyLookup(lookup.get());
    FormatSettings().DecimalSeparator = '.';
    FormatSettings().ThousandSeparator = ',';
  }
  void TearDown() override {
    store.reset();
    lookup.reset();
    InstalledDictionaryTest::TearDown();
  }
  // Stores a pair's rate as a run does before the test.
  void Stored(const std::string& local, const std::string& foreign, double rate) {
    sdbtesting::RunSql(dictionary,
                       "INSERT INTO CD_ExchangeRates (ID, LocalCurrency, "
                       "ForeignCurrency, ExchangeRate, SourceComment) VALUES (" +
                           std::to_string(++lastID) + ", '" + local + "', '" + foreign + "', " +
                           FloatToStr(rate) + ", 'old')");
    rates->Refresh();
  }
  TRows Rate(const std::string& local, const std::string& foreign) {
    return Rows_(
        "SELECT CAST(ID AS INTEGER), ExchangeRate, SourceComment, LastUpdate, FLDUPDATED, "
        "UPDATEDBYSTATION, UPDATEDBYUSER, UPDATEDBYUSERID FROM CD_ExchangeRates WHERE "
        "LocalCurrency = '" +
        local + "' AND ForeignCurrency = '" + foreign + "'");
  }
  TRows History() {
    return Rows_(
        "SELECT CAST(ID AS INTEGER), LocalCurrency, ForeignCurrency, ExchangeRate, ValidUntil, "
        "FLDUPDATED, UPDATEDBYSTATION, UPDATEDBYUSER, UPDATEDBYUSERID "
        "FROM CD_ExchangeRateHistory ORDER BY ID");
  }
  TRows Rows_(const std::string& sql) { return InstalledDictionaryTest::Rows(sql); }
  void ExpectBrowsing() {
    EXPECT_EQ(rates->State(), dsBrowse);
    EXPECT_EQ(history->State(), dsBrowse);
    EXPECT_FALSE(connection->TransactionActive());
  }

  TSdbTable *currency = nullptr, *rates = nullptr, *history = nullptr;
  std::unique_ptr<TSdbTable> lookup;
  std::unique_ptr<TRateStore> store;
  TFormatSettingsRestorer restoreFormat;
  int lastID = 100;
};

// The demo bars (EUR, GBP): both orders are barred, other pairs are not,
// and a code holding a quote is matched as written instead of ending the text.
TEST_F(RateStoreTest, ABarredPairIsBarredInBothOrders) {
  TSdbQuery sql;
  sql.SetSdbConnection(connection.get());
  TRateStore asking(*rates, *history, &sql);
  EXPECT_FALSE(asking.IsUpdateAllowed("EUR", "GBP"));
  EXPECT_FALSE(asking.IsUpdateAllowed("GBP", "EUR"));
  EXPECT_TRUE(sql.Active());  // left open until the next question
  EXPECT_TRUE(asking.IsUpdateAllowed("EUR", "USD"));
  EXPECT_TRUE(asking.IsUpdateAllowed("USD", "EUR"));
  EXPECT_TRUE(asking.IsUpdateAllowed("O'X", "EUR"));
  sdbtesting::RunSql(dictionary,
                     "INSERT INTO CD_ExchangeRatesBlockedUpdate VALUES ('O''X', 'EUR')");
  EXPECT_FALSE(asking.IsUpdateAllowed("EUR", "O'X"));
}

TEST_F(RateStoreTest, ACurrencyIsActiveWhenItsRecordIsInUse) {
  EXPECT_TRUE(store->IsActiveCurrency("EUR"));
  EXPECT_TRUE(store->IsActiveCurrency("GBP"));
  EXPECT_FALSE(store->IsActiveCurrency("CHF"));  // UseOnBoard false
  EXPECT_FALSE(store->IsActiveCurrency("XYZ"));  // not in CD_Currency
  EXPECT_TRUE(store->IsActiveCurrency("USD"));
  store->SetCurrencyLookup(nullptr);
  EXPECT_THROW(store->IsActiveCurrency("EUR"), EDatabaseError);
}

TEST(RateStoreSQL, TheBarredPairStatementMatchesBothOrdersAndQuotesCodesLiterally) {
  EXPECT_EQ(TRateStore::BlockedPairSQL("EUR", "USD"),
            "Select * from CD_ExchangeRatesBlockedUpdate where  ((Currency1 = 'EUR') and "
            "(Currency2 = 'USD')) or  ((Currency2 = 'EUR') and (Currency1 = 'USD'))");
  EXPECT_EQ(TRateStore::BlockedPairSQL("O'X", "EUR"),
            "Select * from CD_ExchangeRatesBlockedUpdate where  ((Currency1 = 'O''X') and "
            "(Currency2 = 'EUR')) or  ((Currency2 = 'O''X') and (Currency1 = 'EUR'))");
}

TEST_F(RateStoreTest, ANewPairGetsARowWithItsIDAndEveryStamp) {
  const std::string before = rktesting::StoredTimeStamp(NowUTC());
  EXPECT_EQ(store->StoreRate("EUR", "USD", "1.0921", "Tue, 8 Dec 2026 12:00:00 GMT"), 0);
  const std::string after = rktesting::StoredTimeStamp(NowUTC());
  const TRows row = Rate("EUR", "USD");
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(row[0][0], "2");  // the first ID of station 0
  EXPECT_EQ(row[0][1], "1.0921");
  EXPECT_EQ(row[0][2], "Tue, 8 Dec 2026 12:00:00 GMT");
  EXPECT_GE(row[0][3], before);
  EXPECT_LE(row[0][3], after);
  EXPECT_GE(row[0][4], before);
  EXPECT_LE(row[0][4], after);
  EXPECT_EQ(row[0][5], "0");
  EXPECT_EQ(row[0][6], "[tessaly on WS07]");
  EXPECT_EQ(row[0][7], "-1.0");
  EXPECT_TRUE(History().empty());
  ExpectBrowsing();
  EXPECT_EQ(ReadFile(dataFolder + "db/CD_EXCHANGERATES_0.ID"), "000000000002\r\n");
}

TEST_F(RateStoreTest, ARateUnchangedAtThreeDecimalsIsRewrittenWithoutHistory) {
  Stored("EUR", "USD", 1.0921);
  EXPECT_EQ(store->StoreRate("EUR", "USD", "1.0924", "new"), 0);
  const TRows row = Rate("EUR", "USD");
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(row[0][0], "101");
  EXPECT_EQ(row[0][1], "1.0924");
  EXPECT_EQ(row[0][2], "new");
  EXPECT_NE(row[0][3], "<null>");
  EXPECT_EQ(row[0][6], "[tessaly on WS07]");
  EXPECT_TRUE(History().empty());
  ExpectBrowsing();
}

TEST_F(RateStoreTest, AChangedRateGoesToHistoryWithItsFullValue) {
  Stored("EUR", "USD", 1.0921);
  const std::string before = rktesting::StoredTimeStamp(NowUTC());
  EXPECT_EQ(store->StoreRate("EUR", "USD", "1.0926", "new"), 1.0921);
  const std::string after = rktesting::StoredTimeStamp(NowUTC());
  const TRows h = History();
  ASSERT_EQ(h.size(), 1u);
  EXPECT_EQ(h[0][0], "2");
  EXPECT_EQ(h[0][1], "EUR");
  EXPECT_EQ(h[0][2], "USD");
  EXPECT_EQ(h[0][3], "1.0921");
  EXPECT_GE(h[0][4], before);
  EXPECT_LE(h[0][4], after);
  EXPECT_GE(h[0][5], before);
  EXPECT_EQ(h[0][6], "0");
  EXPECT_EQ(h[0][7], "[tessaly on WS07]");
  EXPECT_EQ(h[0][8], "-1.0");
  const TRows row = Rate("EUR", "USD");
  EXPECT_EQ(row[0][1], "1.0926");
  EXPECT_GE(row[0][3], h[0][4]);  // read afresh, after the history stamp
  ExpectBrowsing();
  // Halfway at the fourth decimal goes up on both sides: 1.0925 is 1.093.
  EXPECT_EQ(store->StoreRate("EUR", "USD", "1.0925", "again"), 0);
  EXPECT_EQ(History().size(), 1u);
}

TEST_F(RateStoreTest, AStoredZeroGoesToHistoryAndAnswersZero) {
  Stored("USD", "GBP", 0);
  EXPECT_EQ(store->StoreRate("USD", "GBP", "0.5", "x"), 0);
  const TRows h = History();
  ASSERT_EQ(h.size(), 1u);
  EXPECT_EQ(h[0][3], "0.0");
  EXPECT_EQ(Rate("USD", "GBP")[0][1], "0.5");
}

TEST_F(RateStoreTest, ABadRateTextForAFoundPairWritesNothing) {
  Stored("EUR", "USD", 1.0921);
  const TRows was = Rate("EUR", "USD");
  try {
    store->StoreRate("EUR", "USD", "1.09x", "new");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'1.09x' is not a valid floating point value");
  }
  EXPECT_EQ(Rate("EUR", "USD"), was);
  EXPECT_TRUE(History().empty());
  ExpectBrowsing();
}

TEST_F(RateStoreTest, ABadRateTextForANewPairLeavesNoRowAndTheNextStoreWorks) {
  EXPECT_THROW(store->StoreRate("EUR", "USD", "", "new"), EConvertError);
  EXPECT_TRUE(Rate("EUR", "USD").empty());
  ExpectBrowsing();
  // The ID taken stays used; the next currency stores normally.
  EXPECT_EQ(store->StoreRate("USD", "EUR", "0.9", "new"), 0);
  EXPECT_EQ(Rate("USD", "EUR")[0][0], "3");
  EXPECT_EQ(Rows_("SELECT COUNT(*) FROM CD_ExchangeRates"), (TRows{{"1"}}));
}

TEST_F(RateStoreTest, AFailureAfterTheHistoryRowTakesItBackToo) {
  Stored("EUR", "USD", 1.0921);
  rates->BeforePost = [](TDataSet*) { throw EDatabaseError("refused by the test"); };
  EXPECT_THROW(store->StoreRate("EUR", "USD", "1.5", "new"), EDatabaseError);
  EXPECT_TRUE(History().empty());
  EXPECT_EQ(Rate("EUR", "USD")[0][1], "1.0921");
  ExpectBrowsing();
  rates->BeforePost = nullptr;
  EXPECT_EQ(store->StoreRate("EUR", "USD", "1.5", "new"), 1.0921);
  EXPECT_EQ(History().size(), 1u);
}

// A history table whose IDs are text: DBNextID answers -1, which is never
// written as an ID.
class RateStoreTextIDTest : public RateStoreTest {
 protected:
  void SetUp() override {
    std::string sql = sdbtesting::DemoSql();
    const std::string from = "CREATE TABLE CD_ExchangeRateHistory (\n  ID NUMERIC(16,0)";
    ASSERT_NE(sql.find(from), std::string::npos);
    sql.replace(sql.find(from), from.size(),
                "CREATE TABLE CD_ExchangeRateHistory (\n  ID CHAR(15)");
    SetUpWith(sql);
  }
};

TEST_F(RateStoreTextIDTest, AnIDRefusalFailsTheStoreAndWritesNothing) {
  sdbtesting::RunSql(dictionary, "INSERT INTO CD_ExchangeRateHistory (ID) VALUES ('1x')");
  Stored("EUR", "USD", 1.0921);
  testing::internal::CaptureStderr();
  try {
    store->StoreRate("EUR", "USD", "1.5", "new");
    ADD_FAILURE() << "no error";
  } catch (const EIDAllocationError& e) {
    EXPECT_EQ(e.Message(), "No record ID could be allocated for table CD_ExchangeRateHistory");
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Internal Error: DBNextID"),
            std::string::npos);
  EXPECT_EQ(History().size(), 1u);  // the test's own row only
  EXPECT_EQ(Rate("EUR", "USD")[0][1], "1.0921");
  ExpectBrowsing();
}

}  // namespace
