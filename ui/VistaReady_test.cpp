#include "VistaReady.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui_testing.h"

namespace {

const QColor kBlue(0x00, 0x33, 0x99);
const QColor kSlate(0x36, 0x5F, 0x91);

// A window like the main window: a heading label of its own 11 pt font in
// the accent blue, a plain label, a report without scroll bars, a button
// that takes its parent's font, and two top-aligned shapes.
struct TWindow {
  QWidget Form;
  QLabel* Heading;
  QLabel* Plain;
  QPlainTextEdit* Report;
  QPlainTextEdit* Scrolled;
  QPushButton* Button;
  TShape* First;
  TShape* Second;

  TWindow() {
    QFont designed("Tahoma");
    designed.setPointSize(8);
    Form.setFont(designed);
    First = new TShape(&Form);
    First->resize(10, 77);
    First->SetAlignTop(true);
    Second = new TShape(&Form);
    Second->SetAlignTop(true);
    Heading = new QLabel("Tessaly", &Form);
    QFont headingFont("Tahoma");
    headingFont.setPointSize(11);
    Heading->setFont(headingFont);
    QPalette p = Heading->palette();
    p.setColor(Heading->foregroundRole(), kBlue);
    Heading->setPalette(p);
    Plain = new QLabel("Status Report:", &Form);
    Report = new QPlainTextEdit(&Form);
    Report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Report->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Scrolled = new QPlainTextEdit(&Form);
    Scrolled->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Scrolled->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Button = new QPushButton("Get Updates", &Form);
    Form.resize(501, 317);
  }
};

QColor ColorOf(const QWidget* w) {
  return w->palette().color(w->foregroundRole());
}

class VistaReadyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureTestApplication(); }
  void TearDown() override { SetMainForm(nullptr); }
};

}  // namespace

TEST_F(VistaReadyTest, TakesTheSystemFont) {
  StartVistaReady();
  EXPECT_FALSE(IconFontName().isEmpty());
  EXPECT_GT(IconFontSize(), 0);
}

TEST_F(VistaReadyTest, SegoeUIKeepsTheAccentHeading) {
  SetIconFont("Segoe UI", 9);
  TWindow w;
  AdaptForm(&w.Form);
  EXPECT_EQ(w.Plain->font().family(), "Segoe UI");
  EXPECT_EQ(w.Plain->font().pointSizeF(), 9);
  EXPECT_EQ(w.Report->font().family(), "Segoe UI");
  EXPECT_EQ(w.Report->font().pointSizeF(), 9);
  EXPECT_EQ(w.Heading->font().family(), "Segoe UI");
  EXPECT_EQ(w.Heading->font().pointSizeF(), 11);
  EXPECT_FALSE(w.Heading->font().bold());
  EXPECT_EQ(ColorOf(w.Heading), kBlue);
}

TEST_F(VistaReadyTest, OtherFontsMakeTheHeadingBold) {
  SetIconFont("Tahoma", 8);
  TWindow w;
  AdaptForm(&w.Form);
  EXPECT_EQ(w.Heading->font().family(), "Tahoma");
  EXPECT_TRUE(w.Heading->font().bold());
  EXPECT_EQ(w.Heading->font().pointSizeF(), 11);
  EXPECT_EQ(ColorOf(w.Heading), kSlate);
}

TEST_F(VistaReadyTest, ControlsScrollBarsAndHeaderBand) {
  SetIconFont("DejaVu Sans", 10);
  TWindow w;
  AdaptForm(&w.Form);
  // The report gains a vertical scroll bar; one designed with both keeps both.
  EXPECT_EQ(w.Report->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(w.Report->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(w.Scrolled->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // The button takes the window's adapted font without a font of its own.
  EXPECT_FALSE(w.Button->testAttribute(Qt::WA_SetFont));
  EXPECT_EQ(w.Button->font().family(), "DejaVu Sans");
  EXPECT_EQ(w.Button->font().pointSizeF(), 10);
  // Only the first top-aligned shape is painted in the window colour.
  EXPECT_EQ(HeaderColor(), QApplication::palette().color(QPalette::Base));
  SetHeaderColor(Qt::red);
  w.First->SetBrushColor(Qt::green);
  ColorHeaderShape(&w.Form);
  EXPECT_EQ(w.First->BrushColor(), QColor(Qt::red));
  EXPECT_EQ(w.Second->BrushColor(), QColor(Qt::white));
  // A top-aligned shape spans its parent's width, also after a resize.
  w.Form.show();
  EXPECT_EQ(w.First->geometry(), QRect(0, 0, 501, 77));
  w.Form.resize(600, 317);
  EXPECT_EQ(w.First->geometry(), QRect(0, 0, 600, 77));
}

TEST_F(VistaReadyTest, LaterWindowsStayInsideTheMainWindow) {
  SetIconFont("DejaVu Sans", 10);
  QWidget main;
  main.setGeometry(100, 100, 400, 300);
  SetMainForm(&main);
  AdaptForm(&main);  // the main window itself is never limited
  EXPECT_EQ(main.geometry(), QRect(100, 100, 400, 300));

  QWidget second;
  second.setGeometry(50, 120, 600, 200);
  AdaptForm(&second);
  EXPECT_EQ(second.geometry(), QRect(100, 120, 400, 200));
}
