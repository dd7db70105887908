// The main window in this process on the offscreen platform: layout,
// keyboard, controls during a run, the status report, the icon.
#include "Tessaly_Main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <optional>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "Tessaly.h"
#include "VistaReady.h"
#include "environment_testing.h"
#include "mini_dialogs.h"
#include "ui_testing.h"

namespace {

// The modules started as the program starts them, in a throw-away
// environment, and the window created on top.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    InstallDialogHooks();
    StartVistaReady();
    LoadBranding();
    LoadApplicationIcon();
    StartLANTools();
    SetApplicationTitle(ShortCompanyName() + " Tessaly");
  }
  void TearDown() override {
    Form.reset();
    FinishLANTools();
    FinishBranding();
  }
  TfmTessaly& Create() {
    Form.emplace();
    return *Form;
  }
  TfmTessaly& Shown() {
    TfmTessaly& form = Create();
    form.show();
    QApplication::setActiveWindow(&form);
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    return form;
  }

  TTempEnvironment Env;
  std::optional<TfmTessaly> Form;
};

QString ReportOf(const TfmTessaly& form) {
  return form.Memo2->toPlainText();
}

TEST_F(MainWindowTest, ComponentsSitWhereTheyBelongWithTheirSettings) {
  TfmTessaly& form = Create();
  EXPECT_EQ(form.size(), QSize(501, 317));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed size";
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Seavane Tessaly"));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);

  struct TExpected {
    QWidget* Component;
    QRect Geometry;
    int Tag;
  };
  const TExpected expected[] = {
      {form.Shape3, {0, 0, 501, 77}, 0},    {form.Label1, {56, 12, 157, 18}, 0},
      {form.Label2, {56, 32, 433, 41}, 0},  {form.Label3, {56, 88, 71, 13}, 0},
      {form.pbIcon, {12, 12, 32, 32}, 0},   {form.cmUpdate, {320, 280, 87, 25}, 1},
      {form.Memo2, {56, 104, 433, 169}, 1}, {form.cmExit, {412, 280, 75, 25}, 1},
  };
  for (const TExpected& e : expected) {
    SCOPED_TRACE(e.Component->objectName().toStdString());
    EXPECT_EQ(e.Component->geometry(), e.Geometry);
    EXPECT_EQ(TfmTessaly::Tag(e.Component), e.Tag);
    EXPECT_EQ(e.Component->parentWidget(), &form);
  }

  EXPECT_EQ(form.Label1->text(), QStringLiteral("Tessaly"));
  EXPECT_EQ(form.Label3->text(), QStringLiteral("Status Report:"));
  EXPECT_TRUE(form.Label2->wordWrap());
  EXPECT_EQ(form.cmUpdate->text(), QStringLiteral("Get Updates"));
  EXPECT_EQ(form.cmExit->text(), QStringLiteral("Exit"));
  EXPECT_TRUE(form.cmUpdate->isDefault());
  EXPECT_EQ(form.cmUpdate->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(form.cmExit->cursor().shape(), Qt::PointingHandCursor);

  EXPECT_TRUE(form.Memo2->isReadOnly());
  EXPECT_EQ(form.Memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(ReportOf(form),
            QStringLiteral("Click on \"Get Updates\" for getting the newest data."));
  EXPECT_EQ(form.Memo2->font(), form.cmUpdate->font()) << "the report takes the button's font";

  // The header band takes the system window colour and a white outline.
  EXPECT_EQ(form.Shape3->BrushColor(), QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(form.Shape3->PenColor(), QColor(Qt::white));
  EXPECT_EQ(form.palette().color(QPalette::Window),
            QApplication::palette().color(QPalette::Button));

  // The heading keeps its 15-pixel size; its colour follows the icon font.
  EXPECT_EQ(form.Label1->font().pixelSize(), 15);
  EXPECT_EQ(form.Label1->font().family(), IconFontName());
  const QColor heading = form.Label1->palette().color(QPalette::WindowText);
  if (IconFontName() == QLatin1String("Segoe UI"))
    EXPECT_EQ(heading, QColor(0x00, 0x33, 0x99));
  else
    EXPECT_EQ(heading, QColor(0x36, 0x5F, 0x91));
  EXPECT_EQ(form.Label3->font().family(), IconFontName());
}

TEST_F(MainWindowTest, DescriptionNamesTheConfiguredFeedDomain) {
  const std::string lead =
      "Use this tool for updating the exchange rates that are currently set to \"active\" with "
      "the newest data from ";
  EXPECT_EQ(FeedServiceDescription("rates.example.org"), lead + "rates.example.org.");
  EXPECT_EQ(FeedServiceDescription("rates.example.org:8080"), lead + "rates.example.org.");
  EXPECT_EQ(FeedServiceDescription("[::1]:8080"), lead + "[::1].");
  EXPECT_EQ(FeedServiceDescription(""), lead + "the configured rate feed service.");

  EXPECT_EQ(Create().Label2->text().toStdString(), lead + "the configured rate feed service.");
  Form.reset();

  // The machine's setting serves when the user has none; the user's wins.
  Env.WriteFile(Env.MachineHive(), "[Software\\Seavane]\nRateFeedHost=machine.example:81\n");
  EXPECT_EQ(Create().RateFeedHost(), "machine.example:81");
  EXPECT_EQ(Form->Label2->text().toStdString(), lead + "machine.example.");
  Form.reset();
  Env.WriteFile(Env.UserHive(), "[Software\\Seavane]\nRateFeedHost=user.example\n");
  EXPECT_EQ(Create().RateFeedHost(), "user.example");
}

TEST_F(MainWindowTest, TabSkipsTheReportAndEnterAndEscPressTheButtons) {
  TfmTessaly& form = Shown();
  EXPECT_EQ(QApplication::focusWidget(), form.cmUpdate);
  QTest::keyClick(&form, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form.cmExit);
  QTest::keyClick(&form, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form.cmUpdate);

  // Enter presses "Get Updates" (its run fails here: no database).
  QSignalSpy updates(form.cmUpdate, &QPushButton::clicked);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(updates.count(), 1);
  EXPECT_TRUE(form.cmUpdate->isEnabled()) << "controls come back after a failed run";

  // Esc does nothing while "Exit" is disabled, and presses it otherwise.
  QSignalSpy exits(form.cmExit, &QPushButton::clicked);
  form.cmExit->setEnabled(false);
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_EQ(exits.count(), 0);
  EXPECT_TRUE(form.isVisible());
  form.cmExit->setEnabled(true);
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_EQ(exits.count(), 1);
  EXPECT_FALSE(form.isVisible()) << "Exit closes the window";
}

TEST_F(MainWindowTest, DisablingGreysTheTaggedControlsAndKeepsTheReportScrollable) {
  TfmTessaly& form = Create();
  const QColor window = QApplication::palette().color(QPalette::Base);
  const QColor buttonFace = QApplication::palette().color(QPalette::Button);
  const QColor labelColour = form.Label3->palette().color(QPalette::WindowText);

  form.SetControlsEnabled(false, 1);
  EXPECT_FALSE(form.cmUpdate->isEnabled());
  EXPECT_FALSE(form.cmExit->isEnabled());
  EXPECT_TRUE(form.Memo2->isEnabled()) << "the report stays scrollable";
  EXPECT_TRUE(form.Memo2->isReadOnly());
  EXPECT_EQ(form.Memo2->palette().color(QPalette::Base), buttonFace);
  EXPECT_TRUE(form.Label3->isEnabled()) << "Tag 0 is left alone";

  form.SetControlsEnabled(true, 1);
  EXPECT_TRUE(form.cmUpdate->isEnabled());
  EXPECT_TRUE(form.cmExit->isEnabled());
  EXPECT_EQ(form.Memo2->palette().color(QPalette::Base), window);
  EXPECT_TRUE(form.Memo2->isReadOnly());

  // A label with the tag is disabled with its colour unchanged.
  form.SetControlsEnabled(false, 0);
  EXPECT_FALSE(form.Label3->isEnabled());
  EXPECT_EQ(form.Label3->palette().color(QPalette::WindowText), labelColour);
  EXPECT_TRUE(form.cmUpdate->isEnabled());
}

TEST_F(MainWindowTest, StatusLinesAppendInOrderAfterTheInitialLine) {
  TfmTessaly& form = Create();
  form.AddStatusLine("==== getting EUR exchange rates ====");
  form.AddStatusLine("- not available - Reason\r\nLine: 3\r\n<rate>");
  form.AddStatusLine("");
  form.AddStatusLine("last");
  EXPECT_EQ(ReportOf(form).toStdString(),
            "Click on \"Get Updates\" for getting the newest data.\n"
            "==== getting EUR exchange rates ====\n"
            "- not available - Reason\nLine: 3\n<rate>\n"
            "\n"
            "last");
}

TEST_F(MainWindowTest, FailureBoxesEndWithAFullStopAfterLettersAndDigits) {
  EXPECT_EQ(ExceptionBoxText("Table not found"), "Table not found.");
  EXPECT_EQ(ExceptionBoxText("code 7"), "code 7.");
  EXPECT_EQ(ExceptionBoxText("Line:"), "Line:.");
  EXPECT_EQ(ExceptionBoxText("done."), "done.");
  EXPECT_EQ(ExceptionBoxText("done!"), "done!");
  EXPECT_EQ(ExceptionBoxText("(x)"), "(x)");
  EXPECT_EQ(ExceptionBoxText("a-"), "a-");
  EXPECT_EQ(ExceptionBoxText("Fehler: Währung ü"), "Fehler: Währung ü.");
  EXPECT_EQ(ExceptionBoxText(""), "");
}

// Whether a 32 × 32 image shows something other than its background.
bool Painted(const QImage& image, const QColor& background) {
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (image.pixelColor(x, y) != background) return true;
  return false;
}

TEST_F(MainWindowTest, IconBoxPaintsTheApplicationIconAtTheStandardSize) {
  TfmTessaly& form = Create();
  EXPECT_EQ(form.style()->pixelMetric(QStyle::PM_LargeIconSize), 32);
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::magenta);
  form.pbIcon->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_TRUE(Painted(image, Qt::magenta));
  const QImage own = QApplication::windowIcon().pixmap(32, 32).toImage();
  EXPECT_FALSE(own.isNull());
}

TEST_F(MainWindowTest, BrandingIconBesideTheProgramReplacesTheOwnOne) {
  // A red 32 × 32 icon written by Qt's own icon writer.
  QImage red(32, 32, QImage::Format_ARGB32);
  red.fill(Qt::red);
  const std::string file = Env.ProgramFolder() + "oem.ico";
  ASSERT_TRUE(red.save(QString::fromStdString(file), "ico"));
  LoadBranding();
  LoadApplicationIcon();
  const QImage shown = QApplication::windowIcon().pixmap(32, 32).toImage();
  EXPECT_EQ(shown.pixelColor(16, 16), QColor(Qt::red));

  TfmTessaly& form = Create();
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::white);
  form.pbIcon->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_EQ(image.pixelColor(16, 16), QColor(Qt::red));

  // A file that is no icon stops the start.
  Env.WriteFile(file, "this is not an icon");
  LoadBranding();
  EXPECT_THROW(LoadApplicationIcon(), Exception);
  std::remove(file.c_str());
  LoadBranding();
  LoadApplicationIcon();
}

TEST(ProgramStart, OnlyAFirstArgumentHoldingAutoStartsTheUnattendedRun) {
  EXPECT_TRUE(IsUnattendedStart({"/AUTO"}));
  EXPECT_TRUE(IsUnattendedStart({"-Auto"}));
  EXPECT_TRUE(IsUnattendedStart({"autorun"}));
  EXPECT_TRUE(IsUnattendedStart({"AUTOMATIC", "x"}));
  EXPECT_TRUE(IsUnattendedStart({"xautox"}));
  EXPECT_FALSE(IsUnattendedStart({}));
  EXPECT_FALSE(IsUnattendedStart({"x", "auto"}));
  EXPECT_FALSE(IsUnattendedStart({"aut"}));
}

}  // namespace
