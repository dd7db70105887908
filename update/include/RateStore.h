// The rate store: whether a currency is in use, whether a pair may be
// updated, and the write of one pair's current rate with its history.
#pragma once

#include <string>

class TSdbTable;
class TSdbQuery;

/// Works on the main window's components, none of them owned: the rate table
/// (CD_ExchangeRates), the history table (CD_ExchangeRateHistory), the query
/// that asks for barred pairs, and the run's CurrencyLookup (a CloneTable of
/// the currency table, made anew by every run). Main thread only.
///
///   TRateStore store(*tbExchRate, *tbExRateHistory, sql.get());
///   store.SetCurrencyLookup(currencyLookup.get());   // at the start of a run
///   if (store.IsActiveCurrency(target) && store.IsUpdateAllowed(code, target))
///     replaced = store.StoreRate(code, target, rateText, pubDate);
///   store.SetCurrencyLookup(nullptr);                 // before it is released
class TRateStore {
 public:
  /// `sql` is needed by IsUpdateAllowed only; the writes go without it.
  TRateStore(TSdbTable& exchRate, TSdbTable& exRateHistory, TSdbQuery* sql);

  /// The table IsActiveCurrency positions; nullptr between runs.
  void SetCurrencyLookup(TSdbTable* currencyLookup) { FCurrencyLookup = currencyLookup; }
  TSdbTable* CurrencyLookup() const { return FCurrencyLookup; }

  /// UseOnBoard of the CD_Currency record whose SHORT equals `code` (found
  /// through index SHORT), false when there is none. Raises EDatabaseError
  /// when no CurrencyLookup is set. Leaves CurrencyLookup on index SHORT.
  bool IsActiveCurrency(const std::string& code);

  /// True when CD_ExchangeRatesBlockedUpdate bars the pair in neither order.
  /// The query is closed, given BlockedPairSQL and opened; it stays open
  /// until the next question.
  bool IsUpdateAllowed(const std::string& localCode, const std::string& foreignCode);
  /// The statement IsUpdateAllowed runs; a quote inside a code is doubled, so
  /// the code is matched literally.
  static std::string BlockedPairSQL(const std::string& localCode, const std::string& foreignCode);

  /// Writes `rateText` (a decimal number with "." already without commas)
  /// as the pair's current rate with `comment` and the update time, and
  /// answers the rate it replaced when the two differ in FormatThreeDecimals
  /// (that rate then goes to history first), else 0. One transaction: on any
  /// failure nothing of the store stays and the failure propagates (a rate
  /// text that is not a number: "'%s' is not a valid floating point value").
  double StoreRate(const std::string& localCode, const std::string& foreignCode,
                   const std::string& rateText, const std::string& comment);

 private:
  TSdbTable& FExchRate;
  TSdbTable& FExRateHistory;
  TSdbQuery* FSql;
  TSdbTable* FCurrencyLookup = nullptr;
};
