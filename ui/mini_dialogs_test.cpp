#include "mini_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "LANTools.h"
#include "task_message_box.h"
#include "ui_testing.h"

namespace {

class MiniDialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureTestApplication(); }
  void SetUp() override { SetApplicationTitle("Seavane Tessaly"); }
  void TearDown() override {
    SetEnvironmentHooks({});
    SetApplicationTitle("");
  }
};

}  // namespace

TEST_F(MiniDialogsTest, HeadlessMessagesGoToStandardError) {
  ASSERT_FALSE(DialogsCanBeShown());  // the tests run on the offscreen platform
  const std::string message = "No exchange rates available for currency \"XYZ\".<br><br>Next";
  const struct {
    int Kind;
    const char* Heading;
  } kinds[] = {{mkWarning, "Warning"},
               {mkError, "Error"},
               {mkInformation, "Information"},
               {mkQuestion, "Question"},
               {7, ""}};
  for (const auto& k : kinds) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ShowTaskMessage(message, k.Kind, tbOK, 0), mrNone);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              std::string("[Seavane Tessaly] ") + k.Heading + "\n" + message + "\n");
  }
  ::testing::internal::CaptureStderr();
  ShowWarning("w");
  ShowError("e\r\nsecond line\n");
  ShowErrorCaptioned("KillFile", "k", 11);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "[Seavane Tessaly] Warning\nw\n"
            "[Seavane Tessaly] Error\ne\r\nsecond line\n"
            "[Seavane Tessaly] Error\nk\n");
}

TEST_F(MiniDialogsTest, BoxShowsCaptionHeadingAndLiteralMessage) {
  const std::string message = "Error reported by database engine: <i>broken</i><br>\nnext line";
  TTaskMessageBox box(message, mkError, tbOK, 11);
  EXPECT_EQ(box.windowTitle(), "Seavane Tessaly");
  EXPECT_EQ(box.text(), "Error");
  EXPECT_EQ(box.textFormat(), Qt::PlainText);
  EXPECT_EQ(box.informativeText().toStdString(), message);
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(box.icon(), QMessageBox::Critical);
  EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box.HelpContext(), 11);

  const struct {
    int Kind;
    QMessageBox::Icon Icon;
    const char* Heading;
  } kinds[] = {{mkWarning, QMessageBox::Warning, "Warning"},
               {mkInformation, QMessageBox::Information, "Information"},
               {mkQuestion, QMessageBox::Information, "Question"},
               {-1, QMessageBox::Information, ""}};
  for (const auto& k : kinds) {
    TTaskMessageBox other("m", k.Kind, tbOK, 0);
    EXPECT_EQ(other.icon(), k.Icon) << k.Kind;
    EXPECT_EQ(other.text().toStdString(), k.Heading);
  }
  TTaskMessageBox several("m", mkQuestion, tbYes | tbNo | tbCancel, 0);
  EXPECT_EQ(several.standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

TEST_F(MiniDialogsTest, ResultCodes) {
  {
    TTaskMessageBox box("m", mkWarning, tbOK, 0);
    box.show();
    EXPECT_EQ(box.ResultCode(), mrNone);
    box.button(QMessageBox::Ok)->click();
    EXPECT_EQ(box.ResultCode(), mrOK);
    EXPECT_FALSE(box.isVisible());
  }
  {
    // Esc cancels although OK is the only button.
    TTaskMessageBox box("m", mkWarning, tbOK, 0);
    box.show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&box, &esc);
    EXPECT_EQ(box.ResultCode(), mrCancel);
    EXPECT_FALSE(box.isVisible());
  }
  {
    TTaskMessageBox box("m", mkWarning, tbOK, 0);
    box.show();
    box.close();
    EXPECT_EQ(box.ResultCode(), mrCancel);
  }
  {
    TTaskMessageBox box("m", mkQuestion, tbYes | tbNo, 0);
    box.show();
    box.button(QMessageBox::No)->click();
    EXPECT_EQ(box.ResultCode(), mrNo);
  }
}

TEST_F(MiniDialogsTest, HooksConnectTheEnvironment) {
  InstallDialogHooks();
  SetApplicationTitle("Acme Tessaly");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Acme Tessaly");

  bool ran = false;
  QMetaObject::invokeMethod(
      qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
  ProcessMessagesThrottled(0);
  EXPECT_TRUE(ran);

  // The environment's errors arrive as error dialogs (headless here).
  ::testing::internal::CaptureStderr();
  RemoveTree("abc", false);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "[Acme Tessaly] Error\nDirectory removal aborted. Path \"abc\" doesn't match the 5 "
            "characters minimum limit.\n");
}
