// Program start: the modules start in their fixed order, the window is
// created, and the first argument chooses between the message loop and one
// unattended run. The modules finish in reverse order on every way out.
#include "Tessaly.h"

#include <cxxabi.h>

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QMessageBox>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <typeinfo>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "SDBTools.h"
#include "Tessaly_Main.h"
#include "VistaReady.h"
#include "mini_dialogs.h"

namespace {

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

std::string ClassName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

// The box for a failure that escaped the unattended run or stopped the start.
void ShowApplicationError(const std::string& className, const std::string& message) {
  const std::string text = ApplicationErrorText(className, message);
  if (!DialogsCanBeShown()) {
    std::cerr << MessageBlockText("Application Error", "Error", text) << std::flush;
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowApplicationError(const std::exception& e) {
  ShowApplicationError(ClassName(typeid(e)), e.what());
}

// The module start steps that ran, so that the finish mirrors them.
struct TModules {
  bool Branding = false;
  bool LANTools = false;
  bool SDBTools = false;

  void Start() {
    StartVistaReady();
    LoadBranding();
    Branding = true;
    LoadApplicationIcon();
    LANTools = true;  // finishing also cleans up a half-done start
    StartLANTools();
    SDBTools = true;
    StartSDBTools();
  }
  ~TModules() {
    if (SDBTools) FinishSDBTools();
    if (LANTools) FinishLANTools();
    if (Branding) FinishBranding();
  }
};

}  // namespace

bool IsUnattendedStart(const std::vector<std::string>& arguments) {
  return !arguments.empty() && UpperText(arguments.front()).find("AUTO") != std::string::npos;
}

bool ChooseHeadlessPlatform() {
  if (EnvSet("QT_QPA_PLATFORM"))
    return std::string(std::getenv("QT_QPA_PLATFORM")).rfind("offscreen", 0) == 0;
  if (EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY")) return false;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return true;
}

void LoadApplicationIcon() {
  QIcon icon(QStringLiteral(":/tessaly.ico"));
  if (const std::string& file = OemIconFile(); !file.empty()) {
    QImageReader reader(QString::fromStdString(file), "ico");
    if (!reader.canRead() || reader.read().isNull())
      throw Exception("The icon file \"" + file +
                      "\" cannot be read as an icon: " + reader.errorString().toStdString());
    icon = QIcon(QString::fromStdString(file));
  }
  QApplication::setWindowIcon(icon);
}

std::string ApplicationErrorText(const std::string& className, const std::string& message) {
  return "Exception " + className + " in module tessaly.\n" + message;
}

int TessalyMain(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  SetCommandLineArguments(arguments);
  ChooseHeadlessPlatform();

  // The application object comes first: the module start steps and their
  // dialogs need it.
  QApplication application(argc, argv);
  InstallDialogHooks();

  TModules modules;
  try {
    modules.Start();
  } catch (const std::exception& e) {
    ShowApplicationError(e);
    return 1;
  }

  SetApplicationTitle(ShortCompanyName() + " Tessaly");

  auto form = std::make_unique<TfmTessaly>();
  SetMainForm(form.get());
  int status = 0;
  if (IsUnattendedStart(arguments)) {
    form->SetEchoStatusLines(true);
    form->show();
    QCoreApplication::processEvents();
    try {
      form->cmUpdateClick();
    } catch (const ERunStopped&) {
      // Closed during the run: the program ends normally.
    } catch (const std::exception& e) {
      ShowApplicationError(e);
      status = 1;
    } catch (...) {
      ShowApplicationError("unknown exception", "An unknown failure ended the run.");
      status = 1;
    }
    form->close();
  } else {
    form->show();
    QApplication::exec();
  }
  SetMainForm(nullptr);
  form.reset();
  return status;
}
