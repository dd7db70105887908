// The main window: its components, creation, status report and controls.
// The update run itself is in Tessaly_Main_run.cpp.
#include "Tessaly_Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <iostream>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "RateFeed.h"
#include "RateStore.h"
#include "StatusReport.h"
#include "VistaReady.h"
#include "mini_dialogs.h"
#include "sdbcnnct.h"
#include "sdbtable.h"

namespace {

const char kTagProperty[] = "Tag";

QColor SystemColor(QPalette::ColorRole role) {
  return QApplication::palette().color(role);
}

void SetBackground(QWidget* w, QPalette::ColorRole role, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(role, color);
  w->setPalette(p);
}

void SetTag(QWidget* w, int tag) {
  w->setProperty(kTagProperty, tag);
}

// The report keeps one line per entry; a message that carries CR LF breaks
// into lines there as it would in a multi-line edit control.
QString ReportText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string FeedServiceDescription(const std::string& rateFeedHost) {
  const std::string lead =
      "Use this tool for updating the exchange rates that are currently set to \"active\" with "
      "the newest data from ";
  if (rateFeedHost.empty()) return lead + "the configured rate feed service.";
  // The domain is the host without a port.
  std::string domain = rateFeedHost;
  if (domain.front() == '[') {
    // [v6 address]:port
    if (const auto close = domain.find(']'); close != std::string::npos)
      domain = domain.substr(0, close + 1);
  } else if (const auto colon = domain.find(':'); colon != std::string::npos) {
    domain = domain.substr(0, colon);
  }
  return lead + domain + ".";
}

std::string ExceptionBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void ShowExceptionBox(const std::string& message) {
  const std::string text = ExceptionBoxText(message);
  if (!DialogsCanBeShown()) {
    std::cerr << MessageBlockText(ApplicationTitle(), "Error", text) << std::flush;
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(ApplicationTitle()),
                  QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

// ---------------------------------------------------------------------------

TfmTessaly::TfmTessaly(QWidget* parent) : QDialog(parent) {
  CreateComponents();
  FormCreate();
}

TfmTessaly::~TfmTessaly() = default;

int TfmTessaly::Tag(const QWidget* component) {
  return component->property(kTagProperty).toInt();
}

void TfmTessaly::CreateComponents() {
  setObjectName(QStringLiteral("fmTessaly"));
  // A fixed-size dialog frame with only the close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(501, 317);
  setSizeGripEnabled(false);
  setAutoFillBackground(true);
  SetBackground(this, QPalette::Window, SystemColor(QPalette::Button));
  SetBackground(this, QPalette::WindowText, SystemColor(QPalette::WindowText));
  QFont designed(QStringLiteral("Tahoma"));
  designed.setPixelSize(11);
  setFont(designed);

  auto add = [this](QWidget* w, const char* name, int x, int y, int width, int height,
                    int tag = 0) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(x, y, width, height);
    SetTag(w, tag);
    FComponents.push_back(w);
  };

  Shape3 = new TShape(this);
  add(Shape3, "Shape3", 0, 0, width(), 77);
  Shape3->SetPenColor(Qt::white);
  Shape3->SetAlignTop(true);
  Shape3->SetBrushColor(SystemColor(QPalette::Base));

  Label1 = new QLabel(QStringLiteral("Tessaly"), this);
  add(Label1, "Label1", 56, 12, 157, 18);
  QFont heading(QStringLiteral("Tahoma"));
  heading.setPixelSize(15);
  Label1->setFont(heading);
  SetBackground(Label1, QPalette::WindowText, QColor(0x00, 0x33, 0x99));
  Label1->setAttribute(Qt::WA_TranslucentBackground);

  Label2 = new QLabel(this);
  add(Label2, "Label2", 56, 32, 433, 41);
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label2->setAttribute(Qt::WA_TranslucentBackground);

  Label3 = new QLabel(QStringLiteral("Status Report:"), this);
  add(Label3, "Label3", 56, 88, 71, 13);
  Label3->setAttribute(Qt::WA_TranslucentBackground);

  pbIcon = new TPaintBox(this);
  add(pbIcon, "pbIcon", 12, 12, 32, 32);
  pbIcon->OnPaint = [this](TPaintBox* sender, QPainter& painter) { pbIconPaint(sender, painter); };

  cmUpdate = new QPushButton(QStringLiteral("Get Updates"), this);
  add(cmUpdate, "cmUpdate", 320, 280, 87, 25, 1);
  cmUpdate->setCursor(Qt::PointingHandCursor);
  cmUpdate->setDefault(true);
  connect(cmUpdate, &QPushButton::clicked, this, [this] { UpdateClicked(); });

  FReport = new TStatusReport(this);
  Memo2 = FReport;
  add(Memo2, "Memo2", 56, 104, 433, 169, 1);
  Memo2->setReadOnly(true);
  Memo2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Memo2->setFocusPolicy(Qt::ClickFocus);  // the Tab key passes it over
  Memo2->setPlainText(QStringLiteral("Click on \"Get Updates\" for getting the newest data."));

  cmExit = new QPushButton(QStringLiteral("Exit"), this);
  add(cmExit, "cmExit", 412, 280, 75, 25, 1);
  cmExit->setCursor(Qt::PointingHandCursor);
  cmExit->setAutoDefault(false);
  connect(cmExit, &QPushButton::clicked, this, [this] { cmExitClick(); });

  setTabOrder(cmUpdate, cmExit);
  cmUpdate->setFocus();

  XMLDoc = std::make_unique<TRateFeed>();

  con = std::make_unique<TSdbConnection>();
  con->SetName("con");
  con->SetSdbServerTypes({stSDB_REMOTE});
  con->SetLoginPrompt(false);
  auto table = [this](std::unique_ptr<TSdbTable>& t, const char* name, const char* tableName) {
    t = std::make_unique<TSdbTable>();
    t->SetName(name);
    t->SetSdbConnection(con.get());
    t->SetTableName(tableName);
  };
  table(tbCurrency, "tbCurrency", "CD_Currency");
  table(tbExchRate, "tbExchRate", "CD_ExchangeRates");
  table(tbExRateHistory, "tbExRateHistory", "CD_ExchangeRateHistory");
  sql = std::make_unique<TSdbQuery>();
  sql->SetName("sql");
  sql->SetSdbConnection(con.get());
  FRateStore = std::make_unique<TRateStore>(*tbExchRate, *tbExRateHistory, sql.get());

  FRateFeedHost = ReadUserSetting("", "RateFeedHost", "");
  if (FRateFeedHost.empty()) FRateFeedHost = ReadMachineSetting("", "RateFeedHost", "");
  Label2->setText(QString::fromStdString(FeedServiceDescription(FRateFeedHost)));
}

void TfmTessaly::FormCreate() {
  try {
    AdaptForm(this);
    setWindowTitle(QString::fromStdString(ApplicationTitle()));
    Memo2->setFont(cmUpdate->font());
    con->SetConnectPath(CaselessPath(DataFolder() + "db/db.add"));
    con->SetIsConnected(true);
    tbCurrency->Open();
    tbExchRate->Open();
    tbExRateHistory->Open();
  } catch (const std::exception& e) {
    ShowExceptionBox(e.what());
  }
}

// ---------------------------------------------------------------------------

void TfmTessaly::SetControlsEnabled(bool enabled, int tag) {
  setUpdatesEnabled(false);
  for (QWidget* w : FComponents) {
    if (Tag(w) != tag) continue;
    auto* memo = qobject_cast<QPlainTextEdit*>(w);
    if (enabled) {
      w->setEnabled(true);
      if (memo) SetBackground(memo, QPalette::Base, SystemColor(QPalette::Base));
    } else if (memo) {
      // Stays enabled so that the report can still be scrolled and selected.
      memo->setEnabled(true);
      memo->setReadOnly(true);
      SetBackground(memo, QPalette::Base, SystemColor(QPalette::Button));
    } else if (qobject_cast<QLabel*>(w)) {
      w->setEnabled(false);
    } else {
      w->setEnabled(false);
      SetBackground(w, w->backgroundRole(), SystemColor(QPalette::Button));
    }
  }
  setUpdatesEnabled(true);
  if (!enabled) {
    // Let the greyed state paint before the work begins.
    for (int i = 0; i < 21; ++i) {
      QThread::msleep(10);
      QCoreApplication::processEvents();
    }
  }
}

void TfmTessaly::AddStatusLine(const std::string& text) {
  if (FCloseRequested) throw ERunStopped();
  // Painting the report (text layout, the scroll bar) costs more than
  // everything else a line does; a run writes hundreds of lines a second,
  // more than anyone can read. So the report paints with the events of a
  // line only when it last painted ReportPaintInterval ms ago or more; every
  // event is still processed for every line.
  const bool paint = !FReportPainted.isValid() || FReportPainted.hasExpired(ReportPaintInterval);
  if (Memo2->updatesEnabled() != paint) Memo2->setUpdatesEnabled(paint);
  // A line that does not paint is added quietly: the view catches up when
  // the report paints next.
  FReport->AppendLine(ReportText(text), !paint);
  if (FEchoStatusLines) std::cout << text << '\n' << std::flush;
  QCoreApplication::processEvents();
  if (paint) FReportPainted.start();
  if (FCloseRequested) throw ERunStopped();
}

void TfmTessaly::ShowAllStatusLines() {
  FReport->ShowQuietLines();
  if (!Memo2->updatesEnabled()) Memo2->setUpdatesEnabled(true);
  FReportPainted.invalidate();
}

void TfmTessaly::pbIconPaint(TPaintBox* sender, QPainter& painter) {
  const int size = sender->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, sender);
  QApplication::windowIcon().paint(&painter, QRect(0, 0, size, size), Qt::AlignLeft | Qt::AlignTop);
}

void TfmTessaly::cmExitClick() {
  close();
}

void TfmTessaly::UpdateClicked() {
  // An event handler never lets a failure into the event loop: it is shown
  // and the loop goes on.
  try {
    cmUpdateClick();
  } catch (const ERunStopped&) {
    // The window was closed: the run has unwound, nothing to tell.
  } catch (const std::exception& e) {
    ShowExceptionBox(e.what());
  } catch (...) {
    ShowExceptionBox("An unknown failure ended the run");
  }
}

void TfmTessaly::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    // Esc presses "Exit", and does nothing while Exit is disabled.
    if (cmExit->isEnabled() && cmExit->isVisible()) cmExit->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfmTessaly::closeEvent(QCloseEvent* event) {
  // Closing during a run is accepted; the run stops at its next status line
  // and the window outlives it (its owner destroys it afterwards).
  if (FRunning) FCloseRequested = true;
  QDialog::closeEvent(event);
}
