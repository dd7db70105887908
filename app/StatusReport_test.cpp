// The status report on the offscreen platform: lines added quietly leave the
// view exactly as the same lines appended one by one to a plain text view.
#include "StatusReport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <memory>
#include <vector>

#include "ui_testing.h"

namespace {

// A quiet report and a plain one of the report's size side by side.
class StatusReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    Window = std::make_unique<QDialog>();
    Window->setFixedSize(900, 200);
    Quiet = new TStatusReport(Window.get());
    Plain = new QPlainTextEdit(Window.get());
    for (QPlainTextEdit* report : {static_cast<QPlainTextEdit*>(Quiet), Plain}) {
      report->resize(433, 169);
      report->setReadOnly(true);
      report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      report->setPlainText(QStringLiteral("Click on \"Get Updates\" for getting the newest data."));
    }
    Plain->move(450, 0);
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
  }

  // Both reports get the line; the quiet one quietly when asked.
  void Add(const QString& line, bool quiet) {
    Quiet->AppendLine(line, quiet);
    Plain->appendPlainText(line);
    QCoreApplication::processEvents();
  }

  void ExpectSameView() {
    QCoreApplication::processEvents();
    EXPECT_EQ(Quiet->toPlainText(), Plain->toPlainText());
    EXPECT_EQ(Quiet->document()->lineCount(), Plain->document()->lineCount())
        << "wrapped lines count in the scroll range";
    EXPECT_EQ(Quiet->verticalScrollBar()->maximum(), Plain->verticalScrollBar()->maximum());
    EXPECT_EQ(Quiet->verticalScrollBar()->value(), Plain->verticalScrollBar()->value());
    EXPECT_EQ(Quiet->grab().toImage(), Plain->grab().toImage()) << "the same pixels";
  }

  std::unique_ptr<QDialog> Window;
  TStatusReport* Quiet = nullptr;
  QPlainTextEdit* Plain = nullptr;
};

// Lines as a run writes them: headings, pairs, empty lines, and failures
// long enough to wrap, one of them over three lines.
std::vector<QString> RunLines(int count) {
  std::vector<QString> lines;
  for (int i = 0; i < count; ++i) {
    if (i % 31 == 0)
      lines.push_back(QStringLiteral("==== getting C%1 exchange rates ====").arg(i));
    else if (i % 13 == 5)
      lines.push_back(
          QStringLiteral("- not available - No rate feed host is configured: set "
                         "RateFeedHost under Software\\Tessaly in the user or "
                         "machine settings."));
    else if (i % 29 == 7)
      lines.push_back(QStringLiteral("- not available - Reason\nLine: 3\n<rate>"));
    else if (i % 11 == 4)
      lines.push_back(QString());
    else
      lines.push_back(QStringLiteral("1 EUR = 1.%1 USD").arg(1000 + i));
  }
  return lines;
}

TEST_F(StatusReportTest, QuietLinesEndInTheViewOfSingleAppends) {
  const std::vector<QString> lines = RunLines(200);
  for (size_t i = 0; i < lines.size(); ++i) {
    Add(lines[i], i % 31 != 0);
    // The document holds every line at once, quiet or not.
    ASSERT_EQ(Quiet->toPlainText(), Plain->toPlainText());
  }
  Quiet->ShowQuietLines();
  ExpectSameView();

  // A stretch of quiet lines shown by the next line that is not quiet.
  for (int i = 0; i < 40; ++i) Add(lines[i], true);
  Add(QStringLiteral("==== finished ===="), false);
  ExpectSameView();
}

TEST_F(StatusReportTest, AViewScrolledAwayFromTheEndStaysWhereItIs) {
  const std::vector<QString> lines = RunLines(60);
  for (const QString& line : lines) Add(line, false);
  Quiet->verticalScrollBar()->setValue(2);
  Plain->verticalScrollBar()->setValue(2);
  for (const QString& line : lines) Add(line, true);
  Quiet->ShowQuietLines();
  ExpectSameView();
  EXPECT_EQ(Quiet->verticalScrollBar()->value(), 2);

  // Scrolled up while quiet lines wait: the view stays where it was put.
  Quiet->verticalScrollBar()->setValue(Quiet->verticalScrollBar()->maximum());
  Plain->verticalScrollBar()->setValue(Plain->verticalScrollBar()->maximum());
  for (int i = 0; i < 20; ++i) {
    if (i == 10) {
      Quiet->verticalScrollBar()->setValue(5);
      Plain->verticalScrollBar()->setValue(5);
    }
    Add(lines[i], true);
  }
  Quiet->ShowQuietLines();
  ExpectSameView();
  EXPECT_EQ(Quiet->verticalScrollBar()->value(), 5);
}

TEST_F(StatusReportTest, AReportThatCentresOnScrollingFollowsItsOwnRule) {
  Quiet->setCenterOnScroll(true);
  Plain->setCenterOnScroll(true);
  for (const QString& line : RunLines(60)) Add(line, true);
  Quiet->ShowQuietLines();
  ExpectSameView();
}

TEST_F(StatusReportTest, AReportWithABlockLimitDropsItsFirstLinesAsAppendsDo) {
  Quiet->setMaximumBlockCount(25);
  Plain->setMaximumBlockCount(25);
  const std::vector<QString> lines = RunLines(60);
  for (int i = 0; i < 30; ++i) Add(lines[i], false);
  // Scrolled away from the end, the view keeps its lines while the first
  // ones are dropped.
  Quiet->verticalScrollBar()->setValue(3);
  Plain->verticalScrollBar()->setValue(3);
  for (int i = 30; i < 60; ++i) Add(lines[i], true);
  Quiet->ShowQuietLines();
  ExpectSameView();
}

TEST_F(StatusReportTest, AHiddenReportTakesItsLinesAtOnce) {
  Window->hide();
  for (const QString& line : RunLines(40)) Add(line, true);
  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
  ExpectSameView();
}

}  // namespace
