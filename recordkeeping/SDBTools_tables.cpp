// Record IDs on a table (the file step's lookup and the scan of the
// station's range) and the table helpers CloneTable and FindByField.
#include <string>

#include "LANTools.h"
#include "SDBTools.h"
#include "idfile.h"
#include "mini_dialogs.h"
#include "sdbcnnct.h"
#include "sdbtable.h"

namespace {

// The highest ID of the station's range, read through a second cursor so the
// caller's table keeps its position, index and range.
sdbtools::TIDScan ScanStationRange(TSdbTable& table, const std::string& indexName,
                                   int32_t station) {
  TSdbTable scan;
  if (table.SdbConnection())
    scan.SetSdbConnection(table.SdbConnection());
  else
    scan.SetDatabaseName(table.DatabaseName());
  scan.SetTableName(table.TableName());
  scan.IndexDefs().Update();
  scan.SetIndexName(indexName);
  scan.Open();
  const int64_t base = station * sdbtools::IDStationSpan;
  scan.SetRange({Variant(static_cast<double>(base + 1))},
                {Variant(static_cast<double>(base + sdbtools::IDCounterMax))});
  scan.Last();
  const std::string text = scan.IsEmpty() ? std::string() : scan.FieldByName(indexName)->AsString();
  scan.CancelRange();
  scan.Close();
  scan.SetSdbConnection(nullptr);

  sdbtools::TIDScan result;
  if (text.empty()) return result;
  int64_t highest = 0;
  if (!sdbtools::ReadIDNumber(text, highest)) {
    const std::string file = sdbtools::IDBaseName(table.TableName());
    ShowError("Internal Error: DBNextID can only be used for numeric indexes.\r\n\r\nTable Name: " +
                  table.DatabaseName() + "/" +
                  table.TableName().substr(table.TableName().find_last_of("\\/") + 1) +
                  "\r\nIndex: " + indexName,
              0);
    result.Outcome = sdbtools::TIDScan::Failed;
    return result;
  }
  result.Outcome = sdbtools::TIDScan::Found;
  result.Highest = highest;
  return result;
}

}  // namespace

double DBNextID(TSdbTable& table, const std::string& indexName) {
  const std::string base = sdbtools::IDBaseName(table.TableName());
  const std::string key =
      (table.SdbConnection() ? table.SdbConnection()->ConnectPath() : table.DatabaseName()) + base;
  const int32_t station = StationNumber();
  sdbtools::TIDFile file(sdbtools::IDFilePath(DataFolder(), base, station));
  const double id = sdbtools::AllocateID(
      file, station, key == LastIDTableKey(),
      [&](int64_t candidate) { return FindByField(table, indexName, std::to_string(candidate)); },
      [&] { return ScanStationRange(table, indexName, station); }, table.TableName());
  sdbtools::SetLastIDTableKey(key);
  return id;
}

void CloneTable(std::unique_ptr<TSdbTable>& table, TSdbTable& source) {
  if (!IsValidTable(table)) table = std::make_unique<TSdbTable>();
  if (table->Active()) table->Close();
  table->SetFilter("");
  table->SetFiltered(false);
  table->SetIndexName("");
  if (source.SdbConnection())
    table->SetSdbConnection(source.SdbConnection());
  else
    table->SetDatabaseName(source.DatabaseName());
  table->SetTableName(source.TableName());
  if (source.BeforeDelete) table->BeforeDelete = source.BeforeDelete;
  table->Open();
}

bool FindByField(TSdbTable& table, const std::string& fieldName, const std::string& value) {
  if (!table.Active()) table.Open();
  TField* field = table.FieldByName(fieldName);
  // An empty table has no current record whose field could match.
  if (!table.IsEmpty() && field->AsString() == value) {
    table.Refresh();
    return true;
  }
  const std::string indexName = table.IndexName();
  const std::string indexFieldNames = table.IndexFieldNames();
  TDataSource* master = table.MasterSource();
  // Put back whatever happens: a missing index or a failing seek must not
  // leave a detail table showing every row, or on another order.
  const auto restore = [&] {
    if (indexName.empty() && !indexFieldNames.empty())
      table.SetIndexFieldNames(indexFieldNames);
    else if (table.IndexName() != indexName)
      table.SetIndexName(indexName);
    if (table.MasterSource() != master) table.SetMasterSource(master);
  };
  bool found = false;
  try {
    if (master) table.SetMasterSource(nullptr);
    if (table.IndexName() != fieldName) table.SetIndexName(fieldName);
    table.SetKey();
    table.FieldByName(fieldName)->SetAsString(value);
    found = table.GotoKey();
  } catch (...) {
    try {
      if (table.State() == dsSetKey) table.Cancel();
      restore();
    } catch (...) {
      // The failure that brought us here is the one to report.
    }
    throw;
  }
  restore();
  return found;
}
