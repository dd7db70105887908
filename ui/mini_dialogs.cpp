// Message dialogs on QMessageBox, with the headless path to standard error.
#include "mini_dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <iostream>

#include "LANTools.h"
#include "task_message_box.h"

namespace {

std::string Caption() {
  if (!ApplicationTitle().empty()) return ApplicationTitle();
  if (QCoreApplication::instance()) return QGuiApplication::applicationDisplayName().toStdString();
  return {};
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

const struct {
  TTaskButtons Flag;
  QMessageBox::StandardButton Button;
  int Result;
} kButtons[] = {{tbOK, QMessageBox::Ok, mrOK},          {tbYes, QMessageBox::Yes, mrYes},
                {tbNo, QMessageBox::No, mrNo},          {tbCancel, QMessageBox::Cancel, mrCancel},
                {tbRetry, QMessageBox::Retry, mrRetry}, {tbClose, QMessageBox::Close, mrClose}};

}  // namespace

std::string TaskMessageHeading(int kind) {
  switch (kind) {
    case mkWarning:
      return "Warning";
    case mkError:
      return "Error";
    case mkInformation:
      return "Information";
    case mkQuestion:
      return "Question";
    default:
      return {};
  }
}

TTaskMessageBox::TTaskMessageBox(const std::string& message, int kind, TTaskButtons buttons,
                                 int helpContext, QWidget* parent)
    : QMessageBox(parent), FHelpContext(helpContext) {
  setWindowTitle(QString::fromStdString(Caption()));
  setIcon(kind == mkWarning ? QMessageBox::Warning
          : kind == mkError ? QMessageBox::Critical
                            : QMessageBox::Information);
  setTextFormat(Qt::PlainText);
  setText(QString::fromStdString(TaskMessageHeading(kind)));
  setInformativeText(QString::fromStdString(message));
  // The message is shown literally: "<br>" and "<i>" appear as written.
  if (auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
  }
  QMessageBox::StandardButtons set;
  for (const auto& b : kButtons)
    if (buttons & b.Flag) set |= b.Button;
  setStandardButtons(set ? set : QMessageBox::Ok);
}

int TTaskMessageBox::ResultCode() const {
  if (FCancelled) return mrCancel;
  const StandardButton clicked = standardButton(clickedButton());
  for (const auto& b : kButtons)
    if (clicked == b.Button) return b.Result;
  return mrNone;
}

void TTaskMessageBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    FCancelled = true;
    done(QDialog::Rejected);
    return;
  }
  QMessageBox::keyPressEvent(event);
}

void TTaskMessageBox::closeEvent(QCloseEvent* event) {
  if (!clickedButton()) FCancelled = true;
  event->accept();
  done(QDialog::Rejected);
}

bool DialogsCanBeShown() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
  return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

int ShowTaskMessage(const std::string& message, int kind, TTaskButtons buttons, int helpContext) {
  if (!DialogsCanBeShown()) {
    std::cerr << MessageBlockText(Caption(), TaskMessageHeading(kind), message) << std::flush;
    return mrNone;
  }
  TTaskMessageBox box(message, kind, buttons, helpContext, QApplication::activeWindow());
  box.exec();
  return box.ResultCode();
}

void ShowError(const std::string& message, int helpContext) {
  ShowTaskMessage(message, mkError, tbOK, helpContext);
}

void ShowErrorCaptioned(const std::string& /*label*/, const std::string& message, int helpContext) {
  ShowTaskMessage(message, mkError, tbOK, helpContext);
}

void ShowWarning(const std::string& message) {
  ShowTaskMessage(message, mkWarning, tbOK, 0);
}

void InstallDialogHooks() {
  TEnvironmentHooks hooks;
  hooks.ProcessMessages = [] {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
  };
  hooks.ApplicationTitleChanged = [](const std::string& title) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
      QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
  };
  hooks.ShowError = [](const std::string& label, const std::string& message, int helpContext) {
    if (label.empty())
      ShowError(message, helpContext);
    else
      ShowErrorCaptioned(label, message, helpContext);
  };
  SetEnvironmentHooks(std::move(hooks));
}
