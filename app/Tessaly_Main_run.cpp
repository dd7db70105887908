// The update run: the click handler of "Get Updates", which the unattended
// start calls once too.
#include <QApplication>
#include <algorithm>
#include <cmath>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "RateFeed.h"
#include "RateStore.h"
#include "SDBTools.h"
#include "Tessaly_Main.h"
#include "fields.h"
#include "formatsettings.h"
#include "mini_dialogs.h"
#include "sdbtable.h"
#include "sysutils.h"

namespace {

// The run's number format: "." decimals, "," thousands; the previous
// separators come back at the end of the run.
class TRunSeparators {
 public:
  TRunSeparators()
      : FDecimal(FormatSettings().DecimalSeparator), FThousand(FormatSettings().ThousandSeparator) {
    FormatSettings().ThousandSeparator = ',';
    FormatSettings().DecimalSeparator = '.';
  }
  void Restore() const {
    FormatSettings().ThousandSeparator = FThousand;
    FormatSettings().DecimalSeparator = FDecimal;
  }

 private:
  char FDecimal;
  char FThousand;
};

// Runs one closing step; a failure there must not keep the others from
// running, nor replace the failure that may be unwinding the run.
template <typename TStep>
void ClosingStep(TStep step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

void TfmTessaly::cmUpdateClick() {
  FRunning = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::optional<TRunSeparators> separators;
  std::vector<TSdbTable*> quiet;
  std::unique_ptr<TSdbTable> currencyLookup;

  // Steps 8 and the release of CurrencyLookup run whatever way the run ends,
  // so controls, cursor and number format are never left switched.
  auto closing = [&]() noexcept {
    for (TSdbTable* table : quiet) ClosingStep([&] { table->EnableControls(); });
    if (separators) separators->Restore();
    ShowAllStatusLines();
    ClosingStep([&] { SetControlsEnabled(true, 1); });
    QApplication::restoreOverrideCursor();
    FRateStore->SetCurrencyLookup(nullptr);
    ClosingStep([&] { currencyLookup.reset(); });
    FRunning = false;
  };

  try {
    SetControlsEnabled(false, 1);
    separators.emplace();
    for (TSdbTable* table : {tbCurrency.get(), tbExchRate.get(), tbExRateHistory.get()}) {
      table->DisableControls();
      quiet.push_back(table);
    }
    CloneTable(currencyLookup, *tbCurrency);
    FRateStore->SetCurrencyLookup(currencyLookup.get());

    tbCurrency->First();
    while (!tbCurrency->Eof()) {
      if (tbCurrency->FieldByName("UseOnBoard")->AsBoolean()) {
        const std::string code = tbCurrency->FieldByName("SHORT")->AsString();
        // The heading always paints: the feed's transfer follows, and the
        // window shows which currency it waits for.
        ShowAllStatusLines();
        AddStatusLine("==== getting " + code + " exchange rates ====");
        UpdateCurrency(code);
      }
      tbCurrency->Next();
    }
    AddStatusLine("==== finished ====");
    AddStatusLine("");
    AddStatusLine("");
  } catch (...) {
    closing();
    throw;
  }
  closing();
}

void TfmTessaly::UpdateCurrency(const std::string& code) {
  try {
    if (FRateFeedHost.empty())
      throw Exception("No rate feed host is configured: set RateFeedHost under Software\\" +
                      RegistryRootKey() + " in the user or machine settings.");
    XMLDoc->Load(RateFeedAddress(FRateFeedHost, code));
    for (TFeedEntry entry = XMLDoc->FirstEntry(); entry; entry = XMLDoc->NextEntry(entry)) {
      // All five texts are read, in this order, so that a malformed one
      // fails the currency even when its value is not used.
      const std::string pubDate = XMLDoc->Text(entry, "pubDate");
      XMLDoc->Text(entry, "description");
      XMLDoc->Text(entry, "title");
      const std::string target = XMLDoc->Text(entry, "targetCurrency");
      std::string rate = XMLDoc->Text(entry, "exchangeRate");
      std::erase(rate, ',');

      if (target.empty() || !FRateStore->IsActiveCurrency(target)) continue;
      AddStatusLine("1 " + code + " = " + rate + " " + target);
      if (!FRateStore->IsUpdateAllowed(code, target)) continue;
      const double replaced = FRateStore->StoreRate(code, target, rate, pubDate);
      if (replaced > 0 || std::isnan(replaced))
        AddStatusLine("changed from " + FormatThreeDecimals(replaced) + " to " +
                      FormatThreeDecimals(StrToFloat(rate)));
    }
  } catch (const ERunStopped&) {
    throw;
  } catch (const std::exception& e) {
    // Rates stored for earlier entries stay; the run goes on.
    AddStatusLine(std::string("- not available - ") + e.what());
    if (!HasSwitch("auto", true)) {
      ShowAllStatusLines();  // the report behind the dialog shows the failure
      ShowWarning("No exchange rates available for currency \"" + code +
                  "\".<br><br>You should deactivate this currency in the settings.");
    }
  }
}
