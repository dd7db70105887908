// Update runs started from the window in this process (the interactive
// mode), on a real dictionary and feeds served on loopback: the report over
// several runs, the controls and cursor during and after a run, warnings,
// closing the window during a run, a failure escaping the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <optional>

#include "LANTools.h"
#include "LoopbackHttpServer.h"
#include "OEMDEFS.h"
#include "SDBTools.h"
#include "Tessaly.h"
#include "Tessaly_Main.h"
#include "VistaReady.h"
#include "app_testing.h"
#include "environment_testing.h"
#include "formatsettings.h"
#include "mini_dialogs.h"
#include "sdbtable.h"
#include "ui_testing.h"

namespace {

using TLines = std::vector<std::string>;

const std::string kDemo = TESSALY_SOURCE_DIR "/scripts/demo/";

// What the window looked like while a run was in its pause.
struct TDuringRun {
  bool Seen = false;
  bool UpdateEnabled = true;
  bool ExitEnabled = true;
  bool MemoEnabled = false;
  QColor MemoBase;
  bool Hourglass = false;
};

class WindowRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    InstallDialogHooks();
    Data = Env.Root() + "data/";
    Feeds = Env.Root() + "feeds/";
    Env.WriteFile(Feeds + "README", "feeds");
    Server.emplace(Feeds);
    Env.WriteFile(Env.UserHive(), "[Software\\Seavane]\nDataFolder=" + Data +
                                      "\nRateFeedHost=127.0.0.1:" + std::to_string(Server->Port()) +
                                      "\n");
    Env.WriteFile(Data + "db/demo.sql",
                  TTempEnvironment::ReadFile(TESSALY_SOURCE_DIR "/engine/tools/demo.sql"));
    QProcess sdbsql;
    sdbsql.start(TESSALY_SDBSQL,
                 {"--create", "--file", QString::fromStdString(Data + "db/demo.sql"),
                  QString::fromStdString(Data + "db/db.add")});
    ASSERT_TRUE(sdbsql.waitForFinished(60000));
    ASSERT_EQ(sdbsql.exitCode(), 0) << sdbsql.readAllStandardError().toStdString();

    StartVistaReady();
    LoadBranding();
    LoadApplicationIcon();
    StartLANTools();
    StartSDBTools();
    SetApplicationTitle(ShortCompanyName() + " Tessaly");
  }
  void TearDown() override {
    Form.reset();
    FinishSDBTools();
    FinishLANTools();
    FinishBranding();
  }
  void ServeDay(const std::string& day) {
    for (const char* code : {"EUR", "USD", "GBP"})
      Env.WriteFile(Feeds + code + ".xml",
                    TTempEnvironment::ReadFile(kDemo + day + "/" + code + ".xml"));
  }
  TfmTessaly& Shown() {
    Form.emplace();
    Form->show();
    QApplication::setActiveWindow(&*Form);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&*Form));
    return *Form;
  }
  // Clicks "Get Updates" and looks at the window once during the run.
  TDuringRun Click(const std::function<void()>& duringRun = {}) {
    TDuringRun seen;
    QTimer::singleShot(0, [&] {
      seen.Seen = true;
      seen.UpdateEnabled = Form->cmUpdate->isEnabled();
      seen.ExitEnabled = Form->cmExit->isEnabled();
      seen.MemoEnabled = Form->Memo2->isEnabled();
      seen.MemoBase = Form->Memo2->palette().color(QPalette::Base);
      seen.Hourglass = QApplication::overrideCursor() &&
                       QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      if (duringRun) duringRun();
    });
    QTest::mouseClick(Form->cmUpdate, Qt::LeftButton);
    return seen;
  }
  TLines Report() const { return SplitLines(Form->Memo2->toPlainText().toStdString() + "\n"); }
  TLines Rows(const std::string& query) const {
    QProcess sqlite;
    sqlite.start("sqlite3",
                 {"-readonly", "-separator", "|", QString::fromStdString(Data + "db/db.add"),
                  QString::fromStdString(query)});
    EXPECT_TRUE(sqlite.waitForFinished(60000));
    return SplitLines(sqlite.readAllStandardOutput().toStdString());
  }

  TTempEnvironment Env;
  std::string Data;
  std::string Feeds;
  std::optional<TLoopbackHttpServer> Server;
  std::optional<TfmTessaly> Form;
};

TEST_F(WindowRunTest, RunsFromTheButtonGreyTheControlsAndTheReportKeepsEveryLine) {
  TfmTessaly& form = Shown();
  // The process formats with decimal commas; the run's texts use "." and
  // the process gets its separators back.
  FormatSettings().DecimalSeparator = ',';
  FormatSettings().ThousandSeparator = '.';

  ServeDay("day1");
  const TDuringRun first = Click();
  ServeDay("day2");
  const TDuringRun second = Click();

  for (const TDuringRun& seen : {first, second}) {
    EXPECT_TRUE(seen.Seen);
    EXPECT_FALSE(seen.UpdateEnabled);
    EXPECT_FALSE(seen.ExitEnabled);
    EXPECT_TRUE(seen.MemoEnabled) << "the report stays scrollable";
    EXPECT_EQ(seen.MemoBase, QApplication::palette().color(QPalette::Button));
    EXPECT_TRUE(seen.Hourglass);
  }
  EXPECT_TRUE(form.cmUpdate->isEnabled());
  EXPECT_TRUE(form.cmExit->isEnabled());
  EXPECT_EQ(form.Memo2->palette().color(QPalette::Base),
            QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The painting of lines that came fast was skipped; the report paints
  // again, last lines included, once the run is over.
  EXPECT_TRUE(form.Memo2->updatesEnabled());
  EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
  EXPECT_EQ(FormatSettings().ThousandSeparator, '.');
  FormatSettings() = TFormatSettings::Default();

  EXPECT_EQ(Report(), (TLines{"Click on \"Get Updates\" for getting the newest data.",
                              "==== getting EUR exchange rates ====",
                              "1 EUR = 1.09210000 USD",
                              "1 EUR = 0.85630000 GBP",
                              "==== getting GBP exchange rates ====",
                              "1 GBP = 1.16781502 EUR",
                              "1 GBP = 1.27540000 USD",
                              "==== getting USD exchange rates ====",
                              "1 USD = 0.91566706 EUR",
                              "1 USD = 0.78407000 GBP",
                              "==== finished ====",
                              "",
                              "",
                              "==== getting EUR exchange rates ====",
                              "1 EUR = 1.09540000 USD",
                              "changed from 1.092 to 1.095",
                              "1 EUR = 0.85710000 GBP",
                              "==== getting GBP exchange rates ====",
                              "1 GBP = 1.16672500 EUR",
                              "1 GBP = 1.26900000 USD",
                              "changed from 1.275 to 1.269",
                              "==== getting USD exchange rates ====",
                              "1 USD = 0.91290943 EUR",
                              "changed from 0.916 to 0.913",
                              "1 USD = 0.78412000 GBP",
                              "==== finished ====",
                              "",
                              ""}));
}

TEST_F(WindowRunTest, WarningsAreShownUnlessAnArgumentCarriesTheAutoSwitch) {
  // USD has no feed: its currency fails with a warning.
  ServeDay("day1");
  std::remove((Feeds + "USD.xml").c_str());
  Shown();
  const std::string warning =
      "[Seavane Tessaly] Warning\nNo exchange rates available for currency \"USD\".<br><br>"
      "You should deactivate this currency in the settings.\n";

  testing::internal::CaptureStderr();
  Click();
  EXPECT_NE(testing::internal::GetCapturedStderr().find(warning), std::string::npos);

  SetCommandLineArguments({"x", "auto"});
  testing::internal::CaptureStderr();
  Click();
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("Warning"), std::string::npos);
  SetCommandLineArguments({});

  const TLines report = Report();
  EXPECT_EQ(std::count(report.begin(), report.end(), "- not available - HTTP 404 Not Found"), 2);
}

TEST_F(WindowRunTest, ClosingTheWindowDuringARunStopsItWithoutStoringMore) {
  ServeDay("day1");
  TfmTessaly& form = Shown();
  const TDuringRun seen = Click([&] { form.close(); });
  EXPECT_TRUE(seen.Seen);
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.Running());
  EXPECT_EQ(Report(), (TLines{"Click on \"Get Updates\" for getting the newest data."}));
  EXPECT_TRUE(Rows("SELECT * FROM CD_ExchangeRates").empty());
  // The closing steps ran.
  EXPECT_TRUE(form.cmUpdate->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowRunTest, AFailureEscapingTheRunIsShownAndTheWindowComesBack) {
  ServeDay("day1");
  TfmTessaly& form = Shown();
  form.tbCurrency->Close();
  testing::internal::CaptureStderr();
  Click();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("[Seavane Tessaly] Error\n"), std::string::npos) << err;
  EXPECT_TRUE(form.cmUpdate->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Report(), (TLines{"Click on \"Get Updates\" for getting the newest data."}));
}

}  // namespace
