// The update run: the click handler of "Get Updates", which the unattended
// start calls once too.
#include <QApplication>
#include <cmath>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "RateFeed.h"
#include "Tessaly_Main.h"
#include "formatsettings.h"
#include "mini_dialogs.h"
#include "sysutils.h"

namespace {

// The run's number format: "." decimals, "," thousands; the previous
// separators come back at the end of the run, also when it fails.
class TRunSeparators {
 public:
  TRunSeparators()
      : FDecimal(FormatSettings().DecimalSeparator), FThousand(FormatSettings().ThousandSeparator) {
    FormatSettings().ThousandSeparator = ',';
    FormatSettings().DecimalSeparator = '.';
  }
  void Restore() {
    FormatSettings().ThousandSeparator = FThousand;
    FormatSettings().DecimalSeparator = FDecimal;
  }

 private:
  char FDecimal;
  char FThousand;
};

}  // namespace

void TfmTessaly::cmUpdateClick() {
  FRunning = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  TRunSeparators separators;
  // The closing steps run whatever way the run ends, so controls, cursor
  // and number format are never left switched.
  auto closing = [&] {
    separators.Restore();
    SetControlsEnabled(true, 1);
    QApplication::restoreOverrideCursor();
    FRunning = false;
  };
  try {
    SetControlsEnabled(false, 1);
    throw Exception("The update run is not complete in this build: its rate store is missing");
  } catch (...) {
    closing();
    throw;
  }
  closing();
}
