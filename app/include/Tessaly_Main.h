// The main window: a header with the icon and a description, the status
// report, "Get Updates" and "Exit", and the components the update run uses.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <memory>
#include <string>
#include <vector>

#include "exceptions.h"

class QLabel;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class TPaintBox;
class TRateFeed;
class TRateStore;
class TSdbConnection;
class TSdbQuery;
class TSdbTable;
class TShape;
class TStatusReport;

/// Raised by AddStatusLine once the window was closed during a run: the run
/// unwinds without storing anything further.
class ERunStopped : public EAbort {
 public:
  ERunStopped() : EAbort("The window was closed during the update run") {}
};

/// The program's one window. Construction creates the components in their
/// order and then runs FormCreate; a failure there is shown in an error box
/// and construction completes. Destruction releases the components in
/// reverse order of creation.
class TfmTessaly : public QDialog {
 public:
  explicit TfmTessaly(QWidget* parent = nullptr);
  ~TfmTessaly() override;

  // Visual components, in creation order.
  TShape* Shape3 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  TPaintBox* pbIcon = nullptr;
  QPushButton* cmUpdate = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPushButton* cmExit = nullptr;
  // Non-visual components, in creation order (released in reverse).
  std::unique_ptr<TRateFeed> XMLDoc;
  std::unique_ptr<TSdbConnection> con;
  std::unique_ptr<TSdbTable> tbCurrency;       ///< CD_Currency
  std::unique_ptr<TSdbTable> tbExchRate;       ///< CD_ExchangeRates
  std::unique_ptr<TSdbTable> tbExRateHistory;  ///< CD_ExchangeRateHistory
  std::unique_ptr<TSdbQuery> sql;

  /// The Tag of a component of this window (0 unless given).
  static int Tag(const QWidget* component);

  /// Enables or disables every visual component whose Tag equals tag; after
  /// disabling, pauses 21 × 10 ms processing pending events.
  void SetControlsEnabled(bool enabled, int tag);
  /// Appends text as the report's last line (an empty text gives an empty
  /// line), writes it to standard output too when echoing, and processes
  /// pending events. Raises ERunStopped when the window was closed meanwhile.
  /// While lines come faster than the screen could show them, the report is
  /// repainted at most every ReportPaintInterval ms (the lines are all there;
  /// only the painting of the ones in between is skipped).
  void AddStatusLine(const std::string& text);
  static constexpr int ReportPaintInterval = 40;
  /// Draws the application icon at the top-left corner at the standard size.
  void pbIconPaint(TPaintBox* sender, QPainter& painter);
  void cmExitClick();
  /// The update run. Failures that escape it propagate to the caller.
  void cmUpdateClick();

  /// The feed host setting RateFeedHost ("host" or "host:port"), read at
  /// creation; empty when none is configured.
  const std::string& RateFeedHost() const { return FRateFeedHost; }
  /// Status lines also go to standard output (the unattended run).
  void SetEchoStatusLines(bool echo) { FEchoStatusLines = echo; }
  /// True while an update run is in progress.
  bool Running() const { return FRunning; }
  /// True when the window was closed during a run.
  bool CloseRequested() const { return FCloseRequested; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateComponents();
  void FormCreate();
  void UpdateClicked();
  /// One currency of the run: its feed, its pairs; a failure is logged,
  /// shown unless silenced, and ends only this currency.
  void UpdateCurrency(const std::string& code);
  /// Paints the report again as soon as events are processed (after lines
  /// whose painting AddStatusLine skipped): before a dialog and at the end
  /// of a run.
  void ShowAllStatusLines();

  std::vector<QWidget*> FComponents;       // visual components in creation order
  TStatusReport* FReport = nullptr;        // Memo2, which takes lines quietly
  std::unique_ptr<TRateStore> FRateStore;  // on the tables and the query above
  std::string FRateFeedHost;
  bool FEchoStatusLines = false;
  bool FRunning = false;
  bool FCloseRequested = false;
  QElapsedTimer FReportPainted;  // since the report was last let paint
};

/// The caption text of Label2 for a feed host setting.
std::string FeedServiceDescription(const std::string& rateFeedHost);

/// The message of a failure as a plain error box shows it: a full stop is
/// added when the last character comes after "." in character order.
std::string ExceptionBoxText(const std::string& message);
/// The plain error box of the program, captioned with the application title;
/// on standard error when no dialog can be shown.
void ShowExceptionBox(const std::string& message);
