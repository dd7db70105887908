// Unattended update runs of the real program, headless, against a real
// dictionary and feeds served on loopback: the status report line by line,
// the rows read back with sqlite3, the ID files, the exit status.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LoopbackHttpServer.h"
#include "app_testing.h"

namespace fs = std::filesystem;

namespace {

using TLines = std::vector<std::string>;
using TEntries = std::vector<std::pair<std::string, std::string>>;

const std::string kDay1 = TESSALY_SOURCE_DIR "/scripts/demo/day1/";
const std::string kDay2 = TESSALY_SOURCE_DIR "/scripts/demo/day2/";

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Warning(const std::string& code) {
  return "[Seavane Tessaly] Warning\nNo exchange rates available for currency \"" + code +
         "\".<br><br>You should deactivate this currency in the settings.\n";
}

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Inst.CreateDemoDictionary();
    Inst.Serve();
  }
  void ServeDay(const std::string& folder) {
    for (const char* code : {"EUR", "USD", "GBP"})
      Inst.WriteFeed(code, TInstallationFixture::ReadFile(folder + code + ".xml"));
  }
  // Pairs with their rates, in the order of the record IDs.
  TLines Rates() {
    return Inst.Rows(
        "SELECT CAST(ID AS INTEGER), LocalCurrency, ForeignCurrency, ExchangeRate FROM "
        "CD_ExchangeRates ORDER BY ID");
  }
  TLines History() {
    return Inst.Rows(
        "SELECT CAST(ID AS INTEGER), LocalCurrency, ForeignCurrency, ExchangeRate FROM "
        "CD_ExchangeRateHistory "
        "ORDER BY ID");
  }
  TInstallationFixture Inst;
};

// The currency table is walked in the order of its default index (SHORT).
TEST_F(UpdateRunTest, TwoDaysOfDemoFeedsStoreRatesThenHistory) {
  ServeDay(kDay1);
  TProgramRun run = Inst.Run({"AUTO"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  EXPECT_EQ(run.OutLines(),
            (TLines{"==== getting EUR exchange rates ====", "1 EUR = 1.09210000 USD",
                    "1 EUR = 0.85630000 GBP", "==== getting GBP exchange rates ====",
                    "1 GBP = 1.16781502 EUR", "1 GBP = 1.27540000 USD",
                    "==== getting USD exchange rates ====", "1 USD = 0.91566706 EUR",
                    "1 USD = 0.78407000 GBP", "==== finished ====", "", ""}));
  EXPECT_EQ(Rates(), (TLines{"2|EUR|USD|1.0921", "3|GBP|USD|1.2754", "4|USD|EUR|0.91566706",
                             "5|USD|GBP|0.78407"}));
  EXPECT_TRUE(History().empty());

  ServeDay(kDay2);
  run = Inst.Run({"AUTO"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  EXPECT_EQ(run.OutLines(),
            (TLines{"==== getting EUR exchange rates ====", "1 EUR = 1.09540000 USD",
                    "changed from 1.092 to 1.095", "1 EUR = 0.85710000 GBP",
                    "==== getting GBP exchange rates ====", "1 GBP = 1.16672500 EUR",
                    "1 GBP = 1.26900000 USD", "changed from 1.275 to 1.269",
                    "==== getting USD exchange rates ====", "1 USD = 0.91290943 EUR",
                    "changed from 0.916 to 0.913", "1 USD = 0.78412000 GBP",
                    "==== finished ====", "", ""}));
  EXPECT_EQ(Rates(), (TLines{"2|EUR|USD|1.0954", "3|GBP|USD|1.269", "4|USD|EUR|0.91290943",
                             "5|USD|GBP|0.78412"}));
  EXPECT_EQ(History(), (TLines{"2|EUR|USD|1.0921", "3|GBP|USD|1.2754", "4|USD|EUR|0.91566706"}));
  // Audit fields and the ID files of station 0.
  EXPECT_EQ(Inst.Rows("SELECT DISTINCT UPDATEDBYSTATION, UPDATEDBYUSER FROM CD_ExchangeRates"),
            (TLines{"0|[tessaly on " + HostName() + "]"}));
  EXPECT_EQ(TInstallationFixture::ReadFile(Inst.DataFolder() + "db/CD_EXCHANGERATES_0.ID"),
            "5\r\n");
  EXPECT_EQ(TInstallationFixture::ReadFile(Inst.DataFolder() + "db/CD_EXCHANGERATEHISTORY_0.ID"),
            "4\r\n");
}

TEST_F(UpdateRunTest, EntriesOutOfUseAbsentBarredOrOwnAndChangesBeyondTheThirdDecimal) {
  const std::string day1 = "Wed, 9 Dec 2026 00:00:01 GMT";
  Inst.WriteFeed("EUR", TInstallationFixture::Feed(day1, {{"EUR", "1"},
                                                          {"XXX", "2.5"},
                                                          {"CHF", "0.94"},
                                                          {"", "3"},
                                                          {"GBP", "0.8563"},
                                                          {"USD", "1.0921"}}));
  Inst.WriteFeed("USD", TInstallationFixture::Feed(day1, {{"EUR", "1,234.5"}}));
  Inst.WriteFeed("GBP", TInstallationFixture::Feed(day1, {{"USD", "1.2754"}}));
  TProgramRun run = Inst.Run({"/AUTO"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  EXPECT_EQ(run.OutLines(), (TLines{"==== getting EUR exchange rates ====", "1 EUR = 1 EUR",
                                    "1 EUR = 0.8563 GBP", "1 EUR = 1.0921 USD",
                                    "==== getting GBP exchange rates ====", "1 GBP = 1.2754 USD",
                                    "==== getting USD exchange rates ====", "1 USD = 1234.5 EUR",
                                    "==== finished ====", "", ""}));
  EXPECT_EQ(Rates(),
            (TLines{"2|EUR|EUR|1.0", "3|EUR|USD|1.0921", "4|GBP|USD|1.2754", "5|USD|EUR|1234.5"}));
  const TLines firstStamps = Inst.Rows(
      "SELECT LastUpdate FROM CD_ExchangeRates WHERE LocalCurrency = 'EUR' AND "
      "ForeignCurrency = 'USD'");

  // The next day: EUR/USD and EUR/EUR differ only beyond the third decimal,
  // GBP/USD changes at the third.
  const std::string day2 = "Thu, 10 Dec 2026 00:00:01 GMT";
  Inst.WriteFeed("EUR", TInstallationFixture::Feed(day2, {{"EUR", "1.0004"}, {"USD", "1.0924"}}));
  Inst.WriteFeed("GBP", TInstallationFixture::Feed(day2, {{"USD", "1.2760"}}));
  run = Inst.Run({"/AUTO"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  EXPECT_EQ(run.OutLines(), (TLines{"==== getting EUR exchange rates ====", "1 EUR = 1.0004 EUR",
                                    "1 EUR = 1.0924 USD", "==== getting GBP exchange rates ====",
                                    "1 GBP = 1.2760 USD", "changed from 1.275 to 1.276",
                                    "==== getting USD exchange rates ====", "1 USD = 1234.5 EUR",
                                    "==== finished ====", "", ""}));
  EXPECT_EQ(Rates(), (TLines{"2|EUR|EUR|1.0004", "3|EUR|USD|1.0924", "4|GBP|USD|1.276",
                             "5|USD|EUR|1234.5"}));
  EXPECT_EQ(History(), (TLines{"2|GBP|USD|1.2754"}));
  // The rate, its comment and its time were rewritten without history.
  EXPECT_EQ(Inst.Rows("SELECT SourceComment FROM CD_ExchangeRates WHERE ID = 3"), (TLines{day2}));
  EXPECT_NE(Inst.Rows("SELECT LastUpdate FROM CD_ExchangeRates WHERE ID = 3"), firstStamps);
}

TEST_F(UpdateRunTest, NoCurrencyInUseGivesOnlyTheEnd) {
  Inst.Sql("UPDATE CD_Currency SET UseOnBoard = FALSE");
  const TProgramRun run = Inst.Run({"/AUTO"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  EXPECT_EQ(run.OutLines(), (TLines{"==== finished ====", "", ""}));
  EXPECT_TRUE(Rates().empty());
  EXPECT_TRUE(Inst.Server().Requests().empty());
}

// The second of three currencies (GBP) fails in several ways; the first
// one's rates stay, the third is processed normally.
struct TFailingFeed {
  const char* Name;
  const char* Xml;  // nullptr: no feed at all
  TLines Lines;     // the GBP lines of the report after its heading
  TLines Rates;
};

const TLines kRatesWithoutGBP{"2|EUR|USD|1.0921", "3|USD|EUR|0.91566706", "4|USD|GBP|0.78407"};
const TLines kRatesWithGBP{"2|EUR|USD|1.0921", "3|GBP|USD|1.2754", "4|USD|EUR|0.91566706",
                           "5|USD|GBP|0.78407"};

class SecondCurrencyFails : public UpdateRunTest,
                            public ::testing::WithParamInterface<TFailingFeed> {};

TEST_P(SecondCurrencyFails, AndTheRunGoesOn) {
  const TFailingFeed& failing = GetParam();
  ServeDay(kDay1);
  std::remove((Inst.FeedFolder() + "GBP.xml").c_str());
  if (failing.Xml) Inst.WriteFeed("GBP", failing.Xml);

  for (const char* argument : {"/AUTO", "AUTOMATIC"}) {
    SCOPED_TRACE(argument);
    const TProgramRun run = Inst.Run({argument});
    EXPECT_EQ(run.ExitStatus, 0) << run.Err;
    TLines expected{"==== getting EUR exchange rates ====", "1 EUR = 1.09210000 USD",
                    "1 EUR = 0.85630000 GBP", "==== getting GBP exchange rates ===="};
    expected.insert(expected.end(), failing.Lines.begin(), failing.Lines.end());
    expected.insert(expected.end(),
                    {"==== getting USD exchange rates ====", "1 USD = 0.91566706 EUR",
                     "1 USD = 0.78407000 GBP", "==== finished ====", "", ""});
    EXPECT_EQ(run.OutLines(), expected);
    EXPECT_EQ(Rates(), failing.Rates);
    // /AUTO silences the warning; AUTOMATIC starts the unattended run but
    // keeps it (headless, on standard error).
    EXPECT_EQ(Contains(run.Err, Warning("GBP")), std::string(argument) == "AUTOMATIC") << run.Err;
    EXPECT_FALSE(Contains(run.Err, Warning("EUR")));
    EXPECT_FALSE(Contains(run.Err, Warning("USD")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Feeds, SecondCurrencyFails,
    ::testing::Values(
        TFailingFeed{"Missing",
                     nullptr,
                     {"- not available - HTTP 404 Not Found\r", "Line: 0\r", ""},
                     kRatesWithoutGBP},
        TFailingFeed{"WithoutEntries",
                     "<?xml version=\"1.0\"?>\n<channel><title>GBP</title></channel>\n",
                     {"- not available - The rate feed holds no entries."},
                     kRatesWithoutGBP},
        TFailingFeed{"NotWellFormed",
                     "<?xml version=\"1.0\"?>\n<channel>\n<item><targetCurrency>EUR</item>\n",
                     {"- not available - Opening and ending tag mismatch: targetCurrency line 3 "
                      "and item\r",
                      "Line: 3\r", "<item><targetCurrency>EUR</item>"},
                     kRatesWithoutGBP},
        TFailingFeed{
            "BadRateAfterAGoodEntry",
            "<channel><item><targetCurrency>USD</targetCurrency><exchangeRate>1.2754"
            "</exchangeRate></item><item><targetCurrency>GBP</targetCurrency>"
            "<exchangeRate>1.x</exchangeRate></item><item><targetCurrency>USD"
            "</targetCurrency><exchangeRate>9.9</exchangeRate></item></channel>",
            {"1 GBP = 1.2754 USD", "1 GBP = 1.x GBP",
             "- not available - '1.x' is not a valid floating point value"},
            // The new pair GBP/GBP took ID 4 before its rate failed; the row
            // is dropped, the ID stays used.
            {"2|EUR|USD|1.0921", "3|GBP|USD|1.2754", "5|USD|EUR|0.91566706", "6|USD|GBP|0.78407"}},
        TFailingFeed{"NestedDescription",
                     "<channel><item><targetCurrency>USD</targetCurrency><exchangeRate>1.2754"
                     "</exchangeRate></item><item><description>a <b>b</b></description>"
                     "<targetCurrency>USD</targetCurrency><exchangeRate>9.9</exchangeRate>"
                     "</item></channel>",
                     {"1 GBP = 1.2754 USD",
                      "- not available - Element \"description\" does not contain a single "
                      "text node"},
                     kRatesWithGBP}),
    [](const ::testing::TestParamInfo<TFailingFeed>& info) { return info.param.Name; });

TEST_F(UpdateRunTest, WithoutAFeedHostEveryCurrencyFailsNamingTheSetting) {
  Inst.SetUserSetting("RateFeedHost", "");
  const TProgramRun run = Inst.Run({"-auto"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  const std::string failure =
      "- not available - No rate feed host is configured: set RateFeedHost under "
      "Software\\Seavane in the user or machine settings.";
  EXPECT_EQ(run.OutLines(), (TLines{"==== getting EUR exchange rates ====", failure,
                                    "==== getting GBP exchange rates ====", failure,
                                    "==== getting USD exchange rates ====", failure,
                                    "==== finished ====", "", ""}));
}

}  // namespace
