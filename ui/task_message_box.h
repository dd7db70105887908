// The dialog behind ShowTaskMessage, apart so that tests can build and drive
// it without a modal loop.
#pragma once

#include <QMessageBox>
#include <string>

#include "mini_dialogs.h"

/// Heading of a message kind ("" for an unknown kind).
std::string TaskMessageHeading(int kind);

/// A message box with the application title as caption, the kind's heading
/// and icon, and the message as plain text. Esc and the close box answer
/// mrCancel even when OK is the only button.
class TTaskMessageBox : public QMessageBox {
 public:
  TTaskMessageBox(const std::string& message, int kind, TTaskButtons buttons, int helpContext,
                  QWidget* parent = nullptr);

  /// The result code of the button that closed the box (mrNone while open).
  int ResultCode() const;
  int HelpContext() const { return FHelpContext; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  int FHelpContext;
  bool FCancelled = false;
};
