// The rate store: currency and pair questions, and the one write of a pair's
// current rate with its history, as one transaction.
#include "RateStore.h"

#include "LANTools.h"
#include "SDBTools.h"
#include "sdbcnnct.h"
#include "sdbtable.h"
#include "sysutils.h"

namespace {

// A code as a literal of the statement: a quote inside it is doubled, so a
// code holding one is matched as written and cannot end the literal.
std::string Quoted(const std::string& code) {
  std::string text = "'";
  for (char c : code) {
    text += c;
    if (c == '\'') text += '\'';
  }
  return text + "'";
}

// A new row's ID; the error value -1 would be written as an ID.
double NewID(TSdbTable& table) {
  const double id = DBNextID(table, "ID");
  if (id == -1)
    throw EIDAllocationError("No record ID could be allocated for table " + table.TableName());
  return id;
}

}  // namespace

TRateStore::TRateStore(TSdbTable& exchRate, TSdbTable& exRateHistory, TSdbQuery* sql)
    : FExchRate(exchRate), FExRateHistory(exRateHistory), FSql(sql) {}

bool TRateStore::IsActiveCurrency(const std::string& code) {
  if (!FCurrencyLookup) throw EDatabaseError("The rate store has no currency lookup table");
  // The lookup table serves these questions only. Kept on index SHORT, each
  // question is one seek, where FindByField would otherwise switch to that
  // index and back (re-reading the table's records both times).
  if (FCurrencyLookup->IndexName() != "SHORT") FCurrencyLookup->SetIndexName("SHORT");
  if (!FindByField(*FCurrencyLookup, "SHORT", code)) return false;
  return FCurrencyLookup->FieldByName("UseOnBoard")->AsBoolean();
}

std::string TRateStore::BlockedPairSQL(const std::string& localCode,
                                       const std::string& foreignCode) {
  const std::string local = Quoted(localCode), foreign = Quoted(foreignCode);
  return "Select * from CD_ExchangeRatesBlockedUpdate where  ((Currency1 = " + local +
         ") and (Currency2 = " + foreign + ")) or  ((Currency2 = " + local +
         ") and (Currency1 = " + foreign + "))";
}

bool TRateStore::IsUpdateAllowed(const std::string& localCode, const std::string& foreignCode) {
  if (!FSql) throw EDatabaseError("The rate store has no query for barred pairs");
  // The query stays open until the next question, as the run leaves it.
  FSql->Close();
  FSql->SetSQL(BlockedPairSQL(localCode, foreignCode));
  FSql->Open();
  return FSql->IsEmpty();
}

double TRateStore::StoreRate(const std::string& localCode, const std::string& foreignCode,
                             const std::string& rateText, const std::string& comment) {
  TSdbConnection& connection = *FExchRate.SdbConnection();
  connection.BeginTransaction();
  try {
    double replaced = 0;
    if (FExchRate.IndexName() != "CURRPAIR") FExchRate.SetIndexName("CURRPAIR");
    FExchRate.SetKey();
    FExchRate.FieldByName("LocalCurrency")->SetAsString(localCode);
    FExchRate.FieldByName("ForeignCurrency")->SetAsString(foreignCode);
    if (FExchRate.GotoKey()) {
      const double stored = FExchRate.FieldByName("ExchangeRate")->AsFloat();
      if (FormatThreeDecimals(stored) != FormatThreeDecimals(StrToFloat(rateText))) {
        replaced = stored;
        const double id = NewID(FExRateHistory);
        FExRateHistory.Append();
        FExRateHistory.FieldByName("ID")->SetAsFloat(id);
        FExRateHistory.FieldByName("LocalCurrency")->SetAsString(localCode);
        FExRateHistory.FieldByName("ForeignCurrency")->SetAsString(foreignCode);
        FExRateHistory.FieldByName("ExchangeRate")->SetAsFloat(stored);
        FExRateHistory.FieldByName("ValidUntil")->SetAsDateTime(NowUTC());
        SafePost(FExRateHistory, false);
      }
      FExchRate.Edit();
    } else {
      const double id = NewID(FExchRate);
      FExchRate.Append();
      FExchRate.FieldByName("ID")->SetAsFloat(id);
      FExchRate.FieldByName("LocalCurrency")->SetAsString(localCode);
      FExchRate.FieldByName("ForeignCurrency")->SetAsString(foreignCode);
    }
    FExchRate.FieldByName("ExchangeRate")->SetAsFloat(StrToFloat(rateText));
    FExchRate.FieldByName("SourceComment")->SetAsString(comment);
    FExchRate.FieldByName("LastUpdate")->SetAsDateTime(NowUTC());
    SafePost(FExchRate, false);
    connection.Commit();
    return replaced;
  } catch (...) {
    // Nothing of a failed store stays: no history row for a rate that was
    // not replaced, and no table left editing a row the next store would
    // post under another pair.
    try {
      if (!connection.CancelOnRollback()) {
        SafeCancel(FExRateHistory);
        SafeCancel(FExchRate);
      }
      connection.Rollback();
    } catch (...) {
      // The store's own failure is the one to report.
    }
    throw;
  }
}
