// TSdbQuery: a dataset over the cursor of an SQL statement. The statement
// handle lives as long as the query; the dataset's settings go to it before
// each execution, the parameters are bound by position, and the cursor is
// opened as the dataset's table handle.
#include <climits>

#include "sdbengine.h"
#include "sdbtable.h"

namespace {

constexpr uint32_t kNoRowCount = 5117;
constexpr uint32_t kStatementClosed = 5106;
constexpr uint32_t kNoCollation = 5025;

}  // namespace

// ---- the data link --------------------------------------------------------------------------

TDataSet* TSdbQueryDataLink::DetailDataSet() const {
  return FQuery;
}

void TSdbQueryDataLink::ActiveChanged() {
  if (FQuery->Active()) FQuery->RefreshParams();
}

void TSdbQueryDataLink::RecordChanged(TField* field) {
  if (!field && FQuery->Active()) FQuery->RefreshParams();
}

void TSdbQueryDataLink::CheckBrowseMode() {
  if (FQuery->Active()) FQuery->CheckBrowseMode();
}

// ---- construction ---------------------------------------------------------------------------

TSdbQuery::TSdbQuery(TComponent* owner)
    : TSdbExtendedDataSet(owner),
      mSQL(std::make_unique<TStringList>()),
      moParams(std::make_unique<TParams>()),
      moDataLink(std::make_unique<TSdbQueryDataLink>(this)) {
  mSQL->OnChanging = [this](TStringList*) { FTextBefore = mSQL->Text(); };
  mSQL->OnChange = [this](TStringList*) {
    // Assigning a list item by item runs the step once per change; a text
    // that came back to what it was changes nothing.
    if (mSQL->Text() != FTextBefore) SQLChanged();
  };
}

TSdbQuery::~TSdbQuery() {
  Destroying();
  Close();
  moDataLink->SetDataSource(nullptr);
  if (mhStmt != SdbNoHandle && ((mhConnection != SdbNoHandle && mhConnection != 0) ||
                                (SdbConnection() && SdbConnection()->IsConnected()))) {
    ::SdbCloseSQLStatement(mhStmt);  // 5106 (closed with its connection) and others ignored
  }
}

// ---- the SQL text and the parameters ----------------------------------------------------------

void TSdbQuery::SetSQL(const TStringList& value) {
  if (value.Text() == mSQL->Text()) return;
  Close();
  mbPrepared = false;
  mSQL->Assign(value);
}

void TSdbQuery::SetSQL(const std::string& text) {
  TStringList list;
  list.SetText(text);
  SetSQL(list);
}

void TSdbQuery::SQLChanged() {
  const std::string text = mSQL->Text();
  // The engine's scan of the markers is the one the parameters follow: it
  // binds them by position, so the list must count them as it does (none in
  // comments or [bracketed names], "?" too). Its answer is "name;name;...".
  std::string names(1024, '\0');
  uint32_t length = static_cast<uint32_t>(names.size());
  uint32_t result = SdbGetSQLStmtParams(text.c_str(), names.data(), &length);
  if (result == SDB_E_INSUFFICIENT_BUFFER) {
    names.assign(length, '\0');
    result = SdbGetSQLStmtParams(text.c_str(), names.data(), &length);
  }
  Check(result);
  names.resize(length);
  if (IsLoading()) return;
  Close();
  mbPrepared = false;
  mpucSQLBinary.clear();
  if (mbParamCheck || HasState(csDesigning)) {
    TParams rebuilt;
    for (size_t at = 0; at < names.size();) {
      size_t end = names.find(';', at);
      if (end == std::string::npos) end = names.size();
      rebuilt.CreateParam(ftUnknown, names.substr(at, end - at));
      at = end + 1;
    }
    rebuilt.AssignValues(*moParams);
    moParams->Assign(rebuilt);
  }
  DataEvent(dePropertyChange);
}

void TSdbQuery::SetParams(const TParams& value) {
  moParams->AssignValues(value);
}

uint16_t TSdbQuery::ParamCount() const {
  if (moParams->Count() > 0xFFFF) ComponentErrorConst("Range check error");
  return static_cast<uint16_t>(moParams->Count());
}

// ---- properties ---------------------------------------------------------------------------------

void TSdbQuery::CheckQueryInactive() const {
  if (Active()) ComponentErrorConst("Cannot perform this operation on an open dataset");
}

void TSdbQuery::ComponentErrorConst(const std::string& message) const {
  throw ESDBDatabaseError(const_cast<TSdbQuery*>(this), message, SDB_COMPONENT_ERROR);
}

void TSdbQuery::Prepare() {
  CheckQueryInactive();
  mlRowsAffected = -1;
  mbPrepared = true;
}

void TSdbQuery::UnPrepare() {
  CheckQueryInactive();
  mbPrepared = false;
}

void TSdbQuery::SetPrepared(bool value) {
  if (value)
    Prepare();
  else
    UnPrepare();
}

void TSdbQuery::SetSQLTimeout(int32_t value) {
  // The engine takes seconds as an unsigned number.
  if (value < 0) ComponentError("Range check error");
  FSQLTimeout = value;
  if (mhStmt != SdbNoHandle) Check(SdbSetSQLTimeout(mhStmt, static_cast<uint32_t>(value)));
}

TDataSource* TSdbQuery::DataSource() const {
  return moDataLink->DataSource();
}

void TSdbQuery::SetDataSource(TDataSource* source) {
  if (source && (source->DataSet() == this || IsLinkedTo(source)))
    ComponentError("Circular Data Link");
  moDataLink->SetDataSource(source);
}

void TSdbQuery::GetDetailLinkFields(std::vector<TField*>& masterFields,
                                    std::vector<TField*>& detailFields) {
  masterFields.clear();
  detailFields.clear();
  TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
  if (!master) return;
  for (int i = 0; i < moParams->Count(); ++i) {
    TField* field = master->FindField((*moParams)[i]->Name());
    if (!field) continue;
    masterFields.push_back(field);
    if (TField* own = FindField((*moParams)[i]->Name())) detailFields.push_back(own);
  }
}

void TSdbQuery::Constraints() const {
  ComponentErrorConst("The property \"Constraints\" is not supported.");
}

void TSdbQuery::UpdateObject() const {
  ComponentErrorConst("The property \"UpdateObject\" is not supported.");
}

void TSdbQuery::SetTableType(TSdbTableTypes value) {
  InternalSetTableType(value, false);
}

void TSdbQuery::InternalSetTableType(TSdbTableTypes value, bool ignoreNTXError) {
  if (value == ttSdbNTX && !ignoreNTXError &&
      !(SdbConnection() && SdbConnection()->IsDictionaryConn()))
    ComponentError("The TSdbQuery component does not support the NTX table type");
  TSdbExtendedDataSet::SetTableType(value);
}

void TSdbQuery::SetDatabaseName(const std::string& value) {
  const std::string before = DatabaseName();
  TSdbExtendedDataSet::SetDatabaseName(value);
  // A statement on a connection of the query's own belongs to the old name.
  if (before != value && mhConnection != SdbNoHandle) {
    if (mhStmt != SdbNoHandle) Check(::SdbCloseSQLStatement(mhStmt));
    mhStmt = SdbNoHandle;
    mhConnection = SdbNoHandle;
  }
}

void TSdbQuery::InvalidateEngineHandles() {
  mbPrepared = false;
  mhStmt = SdbNoHandle;
  mhConnection = SdbNoHandle;
}

void TSdbQuery::SdbCloseSQLStatement() {
  CheckQueryInactive();
  if (mhStmt != SdbNoHandle) {
    uint32_t result = ::SdbCloseSQLStatement(mhStmt);
    if (result != kStatementClosed) Check(result);
  }
  mhStmt = SdbNoHandle;
  mhConnection = SdbNoHandle;
}

// ---- execution ----------------------------------------------------------------------------------

void TSdbQuery::ObtainStatement() {
  if (mhStmt != SdbNoHandle) {
    uint16_t kind = 0;
    if (SdbGetHandleType(mhStmt, &kind) == 0 && kind == SDB_HANDLE_STATEMENT) return;
  }
  mhStmt = SdbNoHandle;
  if (DatabaseName().empty() && !SdbConnection())
    ComponentError("The DatabaseName property has not been assigned a value.");
  uint32_t connection = ConnectAndGetHandle();
  bool invalid = connection == 0 || connection == SdbNoHandle;
  if (!SdbConnection()) {
    invalid = invalid || mhConnection != SdbNoHandle;
    mhConnection = connection;
  }
  if (invalid) ComponentError("Internal Error: invalid connection handle.");
  uint32_t statement = SdbNoHandle;
  Check(SdbCreateSQLStatement(connection, &statement));
  mhStmt = statement;
  if (FSQLTimeout != 0) Check(SdbSetSQLTimeout(mhStmt, static_cast<uint32_t>(FSQLTimeout)));
}

void TSdbQuery::PassSettings() {
  TSdbTableOptions& options = SdbTableOptions();
  Check(SdbStmtSetTableLockType(mhStmt, options.SdbLockType() == Proprietary ? 1 : 0));
  Check(SdbStmtSetTableCollation(mhStmt, GetEffectiveCollation().c_str()));
  Check(SdbStmtSetTableRights(mhStmt, options.SdbRightsCheck() ? 1 : 2));
  Check(SdbStmtSetTableReadOnly(mhStmt, mbRequestLive ? 2 : 1));
  if (SdbConnection() && SdbConnection()->ReadOnly()) Check(SdbStmtSetTableReadOnly(mhStmt, 1));
  uint16_t type = 1;  // ttSdbNTX, ttSdbDefault
  switch (TableType()) {
    case ttSdbADT:
      type = 3;
      break;
    case ttSdbCDX:
      type = 2;
      break;
    case ttSdbVFP:
      type = 4;
      break;
    default:
      break;
  }
  Check(SdbStmtSetTableType(mhStmt, type));
  Check(SdbStmtConstrainUpdates(mhStmt, mbConstrained ? 1 : 2));
  Check(SdbStmtReadAllColumns(mhStmt, mbReadAllColumns ? 1 : 2));
}

void TSdbQuery::TakeMasterValues() {
  TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
  if (!master) return;
  master->FieldDefs().Update();
  for (int i = 0; i < moParams->Count(); ++i) {
    TParam* param = (*moParams)[i];
    if (param->Bound()) continue;
    TField* field = master->FieldByName(param->Name());
    param->SetDataType(field->DataType());
    param->SetValue(field->Value());
    param->SetBound(false);  // it follows the master on the next execution
  }
}

uint32_t TSdbQuery::Execute() {
  if (Active()) {
    if (!HasState(csDesigning)) CheckQueryInactive();
    Close();
  }
  ObtainStatement();
  PassSettings();
  Prepare();
  Check(SdbPrepareSQLW(mhStmt, Utf8ToUtf16(mSQL->Text()).c_str()));
  TakeMasterValues();
  SdbBindParams(this, mhStmt, *moParams);

  uint32_t cursor = 0;
  uint32_t result = SdbExecuteSQL(mhStmt, &cursor);
  if (result != 0) {
    uint32_t code = 0;
    std::string text = SdbLastErrorText(code);
    if (text.find("7209") != std::string::npos) {
      ::SdbCloseSQLStatement(mhStmt);
      mhStmt = SdbNoHandle;
      mhConnection = SdbNoHandle;
    }
    SdbSetLastError(code ? code : result, text.c_str());
    Check(result);
  }
  // Once a cursor exists every failure closes it (it would otherwise stay
  // open with its statement until the query goes away).
  try {
    if (cursor != 0) {
      uint16_t isCursor = 0, live = 0;
      Check(SdbSqlPeekStatement(cursor, &isCursor, &live));
      mbReadOnly = live == 0;
      if (live) {
        uint16_t charType = 0;
        Check(SdbGetTableCharType(cursor, &charType));
        musOpenCharType = charType;
        char collation[101];
        uint16_t length = sizeof collation;
        uint32_t answer = SdbGetTableCollation(cursor, collation, &length);
        if (answer != kNoCollation) Check(answer);
        if ((answer == kNoCollation || length == 0) && charType >= 1)
          SdbTableOptions().StoreSdbCharType(static_cast<TSdbCharTypes>(charType - 1));
      }
    }
    uint32_t rows = 0;
    uint32_t answer = SdbGetRecordCount(mhStmt, SDB_IGNOREFILTERS, &rows);
    if (answer != kNoRowCount) {
      Check(answer);
      mlRowsAffected = rows > uint32_t(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(rows);
    }
  } catch (...) {
    if (cursor != 0) SdbCloseTable(cursor);
    throw;
  }
  return cursor != 0 ? cursor : SdbNoHandle;
}

uint32_t TSdbQuery::OpenCursorHandle() {
  uint32_t cursor = Execute();
  if (cursor == SdbNoHandle)
    ComponentError(
        "The SQL statement did not generate a cursor handle.  Use TSdbQuery.ExecSQL to "
        "execute SQL statements that are not SELECT statements");
  try {
    uint16_t type = 0;
    Check(SdbGetTableType(cursor, &type));
    musEngineTableType = type;
    for (int i = 0; i < IndexFiles().Count(); ++i) {
      std::string file = GetDatabasePath() + "/" + IndexFiles()[i];
      SDBHANDLE indexes[256];
      uint16_t room = 256;
      Check(SdbOpenIndex(cursor, file.c_str(), indexes, &room));
    }
  } catch (...) {
    CloseHandleQuietly(cursor);
    throw;
  }
  return cursor;
}

void TSdbQuery::ExecSQL() {
  uint32_t cursor = Execute();
  if (cursor != SdbNoHandle) Check(SdbCloseTable(cursor));
}

void TSdbQuery::CloseHook() {
  TSdbExtendedDataSet::CloseHook();
  mbPrepared = false;
  if (HasState(csDesigning) && mhStmt != SdbNoHandle) {
    uint32_t result = ::SdbCloseSQLStatement(mhStmt);
    mhStmt = SdbNoHandle;
    mhConnection = SdbNoHandle;
    if (result != kStatementClosed) Check(result);
  }
}

void TSdbQuery::RefreshParams() {
  DisableControls();
  try {
    TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
    if (master && master->Active() && master->State() != dsSetKey) {
      Close();
      Open();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

// ---- the index choices of Locate --------------------------------------------------------------

std::vector<uint32_t> TSdbQuery::LocateIndexes(bool onlyActive) {
  std::vector<uint32_t> indexes;
  bool indexActive =
      mlActiveHandle != mlHandle && mlActiveHandle != 0 && mlActiveHandle != SdbNoHandle;
  if (indexActive) return TSdbExtendedDataSet::LocateIndexes(onlyActive);
  // A cursor without an active index puts its default index first: the
  // first index opened on it.
  std::vector<uint32_t> all = TSdbExtendedDataSet::LocateIndexes(false);
  if (onlyActive) {
    if (!all.empty()) indexes.push_back(all.front());
    return indexes;
  }
  return all;
}
