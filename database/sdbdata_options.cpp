// Table options of TSdbDataSet: the rules of the setters that check the
// dataset's state or act on its open handle, RenameTable, and the members
// that exist only to refuse use.
#include "sdbdata.h"
#include "sdbengine.h"

// ---- table options ----------------------------------------------------------------------------

void TSdbTableOptions::Refuse(const std::string& message) const {
  throw ESDBDatabaseError(mpoSdbTable, message, SDB_COMPONENT_ERROR);
}

void TSdbTableOptions::CheckTableInactive() const {
  if (mpoSdbTable && mpoSdbTable->Active()) Refuse("Table must not be Active.");
}

void TSdbTableOptions::SetSdbLockType(TSdbLockTypes value) {
  CheckTableInactive();
  meSdbLockType = value;
}

void TSdbTableOptions::SetSdbRightsCheck(bool value) {
  CheckTableInactive();
  mbSdbRightsCheck = value;
}

void TSdbTableOptions::SetSdbCachingOption(TSdbTableCachingOption value) {
  CheckTableInactive();
  meSdbCachingOption = value;
}

void TSdbTableOptions::SetSdbCharType(TSdbCharTypes value) {
  CheckTableInactive();
  if (mpoSdbTable &&
      (mpoSdbTable->TableType() == ttSdbCDX || mpoSdbTable->TableType() == ttSdbNTX) &&
      value != ANSI && value != OEM)
    Refuse("ttSdbCDX and ttSdbNTX table types only support an SdbCharType of ANSI or OEM.");
  if (static_cast<int>(value) < 0 || static_cast<int>(value) >= kSdbCharTypeCount)
    Refuse("Invalid or unknown character type.");
  meSdbCharType = value;
}

void TSdbTableOptions::SetSdbRecordCache(TSdbRecordCacheTypes value) {
  if (mpoSdbTable && mpoSdbTable->Active()) {
    uint16_t records = value == rcNone ? 0 : value == rcAggressive ? 100 : 10;
    mpoSdbTable->Check(SdbCacheRecords(mpoSdbTable->mlHandle, records));
  }
  meSdbRecordCache = value;
}

void TSdbTableOptions::SetSdbOptimizedFilters(bool value) {
  if (value == mbSdbOptimizedFilters) return;
  TSdbDataSet* table = mpoSdbTable;
  if (!table || !table->Active() || table->IsLoading() || !table->Filtered()) {
    mbSdbOptimizedFilters = value;
    return;
  }
  // The filter goes off in its old form and on again in the new one.
  const bool old = mbSdbOptimizedFilters;
  try {
    table->CheckBrowseMode();
    table->RemoveEngineFilter();
    mbSdbOptimizedFilters = value;
    table->ApplyEngineFilter();
    table->First();
  } catch (...) {
    mbSdbOptimizedFilters = old;
    throw;
  }
}

// ---- renaming -----------------------------------------------------------------------------------

void TSdbDataSet::RenameTable(const std::string& newTableName) {
  if (!mpoSdbConnection || !mpoSdbConnection->IsDictionaryConn())
    ComponentError("The method RenameTable in TSdbDataSet is not supported on free tables.");
  CheckInactive();
  Check(SdbDDRenameObject(ConnectAndGetHandle(), mstrTableName.c_str(), newTableName.c_str(),
                          SDB_DD_TABLE_OBJECT, 0));
  mstrTableName = newTableName;
}

// ---- members that only refuse ---------------------------------------------------------------

void TSdbDataSet::NotSupported(const char* method) const {
  throw ESDBDatabaseError(const_cast<TSdbDataSet*>(this),
                          std::string("The method ") + method + " in TSdbDataSet is not supported.",
                          SDB_COMPONENT_ERROR);
}

void TSdbDataSet::TableLevel() const {
  NotSupported("GetTableLevel");
}
void TSdbDataSet::SetTableLevel(int) {
  NotSupported("SetTableLevel");
}
void TSdbDataSet::Database() const {
  NotSupported("GetDBDatabase");
}
void TSdbDataSet::DBHandle() const {
  NotSupported("GetDBHandle");
}
void TSdbDataSet::DBLocale() const {
  NotSupported("GetDBLocale");
}
void TSdbDataSet::DBSession() const {
  NotSupported("GetDBSession");
}
void TSdbDataSet::Provider() const {
  NotSupported("GetProvider");
}
void TSdbDataSet::SessionName() const {
  NotSupported("GetSessionName");
}
void TSdbDataSet::SetSessionName(const std::string&) {
  NotSupported("SetSessionName");
}
void TSdbDataSet::CacheBlobs() const {
  NotSupported("GetCacheBlobs");
}
void TSdbDataSet::SetCacheBlobs(bool) {
  NotSupported("SetCacheBlobs");
}
void TSdbDataSet::CachedUpdates() const {
  NotSupported("GetCachedUpdates");
}
void TSdbDataSet::SetCachedUpdates(bool) {
  NotSupported("SetCachedUpdates");
}
void TSdbDataSet::ExpIndex() const {
  NotSupported("GetExpIndex");
}
void TSdbDataSet::Locale() const {
  NotSupported("GetLocale");
}
void TSdbDataSet::UpdateObject() const {
  NotSupported("GetUpdateObject");
}
void TSdbDataSet::SetUpdateObject(TComponent*) {
  NotSupported("SetUpdateObject");
}
void TSdbDataSet::UpdatesPending() const {
  NotSupported("GetUpdatesPending");
}
void TSdbDataSet::UpdateRecordTypes() const {
  NotSupported("GetUpdateRecordSet");
}
void TSdbDataSet::SetUpdateRecordTypes(int) {
  NotSupported("SetUpdateRecordSet");
}
void TSdbDataSet::BatchMove(TDataSet*, int) {
  NotSupported("BatchMove");
}
void TSdbDataSet::UpdateStatus() const {
  NotSupported("UpdateStatus");
}
