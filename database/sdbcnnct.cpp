// TSdbConnection: construction and destruction, connecting and
// disconnecting, alias and path, renaming, transactions and the questions
// about the server.
#include "sdbcnnct.h"

#include <cmath>
#include <cstring>

#include "dataset.h"
#include "dblogin.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && SameText(text.substr(text.size() - tail.size()), tail);
}

// A path names a data dictionary when it ends with ".add" or "__rootdd".
bool IsDictionaryPath(const std::string& path) {
  return EndsWithNoCase(path, ".ADD") || EndsWithNoCase(path, "__rootdd");
}

// Hands an error that cannot be raised (destruction) to the application's
// handler, when one is installed.
void ReportUnraisable(std::exception_ptr error) {
  if (!error) return;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    if (ApplicationExceptionHandler()) ApplicationExceptionHandler()(e);
  } catch (...) {
  }
}

}  // namespace

SdbError::SdbError(uint32_t /*result*/, int /*ignored*/) : Exception(std::string()) {
  char text[600] = {};
  uint16_t len = sizeof text;
  uint32_t code = 0;
  uint32_t rc = SdbGetLastError(&code, text, &len);
  if (rc != SDB_SUCCESS && rc != SDB_E_INSUFFICIENT_BUFFER) {
    SdbShowError("Sdb Exception Error");
    return;
  }
  SetMessage(std::string(text, strnlen(text, sizeof text)));
}

// ---- construction and destruction ------------------------------------------------

TSdbConnection::TSdbConnection(TComponent* owner)
    : TComponent(owner), FEncryptionOptions(std::make_unique<TSdbEncryptionOptions>()) {
  FEncryptionOptions->SetConnectionInstance(this);
  if (owner) mFormName = owner->Name();
  FThreadID = std::this_thread::get_id();
  TSdbConnectionList::Add(this);
}

TSdbConnection::~TSdbConnection() {
  Destroying();
  // Destruction never stops half-way: whatever a dataset or the engine
  // answers, the connection leaves the process-wide list and frees what it
  // owns (a freed connection left in the list would be found later by the
  // name search and the rename walk). The first failure is kept; a
  // destructor cannot raise it, so it goes to the application's handler.
  std::exception_ptr kept;
  std::vector<TSdbDataSetInterface*> attached = FTablesList;
  FTablesList.clear();
  if (FConnected) {
    for (TSdbDataSetInterface* dataSet : attached) {
      try {
        dataSet->CloseDataSet();
      } catch (...) {
        if (!kept) kept = std::current_exception();
      }
      dataSet->InvalidateEngineHandles();
      dataSet->ConnectionDestroyed();
    }
    try {
      CloseCachedStatements();
    } catch (...) {
      if (!kept) kept = std::current_exception();
    }
    uint32_t rc = SdbDisconnect(FhConnection);
    if (rc != SDB_SUCCESS && rc != SDB_E_NOT_CONNECTED && !kept)
      kept = std::make_exception_ptr(SdbError(rc));
    FConnected = false;
    FhConnection = 0;
    try {
      DoOnDisconnect();
    } catch (...) {
      if (!kept) kept = std::current_exception();
    }
  } else {
    for (TSdbDataSetInterface* dataSet : attached) dataSet->ConnectionDestroyed();
  }
  FStmtList.reset();
  TSdbConnectionList::Remove(this);
  ReportUnraisable(kept);
}

void TSdbConnection::Loaded() {
  TComponent::Loaded();
  if (!bConnectAfterLoad) return;
  bConnectAfterLoad = false;
  try {
    SetIsConnected(true);
  } catch (const std::exception& e) {
    if (!HasState(csDesigning) || !ApplicationExceptionHandler()) throw;
    ApplicationExceptionHandler()(e);
  }
}

void TSdbConnection::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove || !component) return;
  // An attached dataset that goes away without detaching is forgotten.
  if (auto* dataSet = dynamic_cast<TSdbDataSetInterface*>(component)) {
    auto it = std::find(FTablesList.begin(), FTablesList.end(), dataSet);
    if (it != FTablesList.end()) FTablesList.erase(it);
  }
}

// ---- connecting and disconnecting ---------------------------------------------------

void TSdbConnection::SetIsConnected(bool value) {
  if (HasState(csLoading)) {
    bConnectAfterLoad = value;
    return;
  }
  if (value == FConnected) return;
  if (value)
    ConnectNow();
  else
    DisconnectNow();
}

void TSdbConnection::ConnectNow() {
  FReadUserGroups = false;
  if (BeforeConnect) BeforeConnect(this);
  if (!FValidAlias) {
    SetAliasName(FAliasName);
    if (!FValidAlias) throw SdbConnectionError("TSdbConnection.AliasName is not valid");
  }
  if (GetConnectionWithDDPath().empty())
    throw SdbConnectionError("Must specify connection string before getting a server connection.");
  DoConnect();
  std::string connectString = ConnectString();  // UTF-8, the system code page here
  uint32_t handle = 0;
  SdbCheck(nullptr, SdbConnect101(connectString.c_str(), &handle));
  FhConnection = handle;
  FConnected = true;
  if (!FAppID.empty()) ApplyApplicationID(FAppID);
  if (GetIsDictionaryConn()) {
    std::vector<TSdbDataSetInterface*> attached = FTablesList;
    for (TSdbDataSetInterface* dataSet : attached) dataSet->UpdateDefaultIndex();
  }
  if (AfterConnect) AfterConnect(this);
  DoOnConnect();
}

void TSdbConnection::DoConnect() {
  if (!FLoginPrompt || !GetIsDictionaryConn()) return;
  std::string user = FUsername, password = FPassword;
  if (OnLogin) {
    OnLogin(this, user, password);
  } else if (LoginDialogHook()) {
    if (!LoginDialogHook()(Name(), user, password))
      throw EDatabaseError("Cannot connect to database '" + Name() + "'");
  } else {
    return;  // no dialog installed: the stored values are used
  }
  FUsername = user;
  if (!HasState(csDesigning)) FPassword = password;
}

void TSdbConnection::DisconnectNow() {
  FReadUserGroups = false;
  if (BeforeDisconnect) BeforeDisconnect(this);
  std::vector<TSdbDataSetInterface*> attached = FTablesList;
  for (TSdbDataSetInterface* dataSet : attached) {
    try {
      dataSet->CloseDataSet();
    } catch (...) {
      // A close that fails does not keep the connection open.
    }
    dataSet->InvalidateEngineHandles();
  }
  // The teardown goes on past a failure: the statements all close and the
  // engine connection is released; the first failure is raised at the end.
  std::exception_ptr kept;
  try {
    CloseCachedStatements();
  } catch (...) {
    kept = std::current_exception();
  }
  uint32_t rc = SdbDisconnect(FhConnection);
  if (rc != SDB_SUCCESS && !kept) kept = std::make_exception_ptr(SdbError(rc));
  FConnected = false;
  FhConnection = 0;
  if (AfterDisconnect) AfterDisconnect(this);
  DoOnDisconnect();
  if (kept) std::rethrow_exception(kept);
}

void TSdbConnection::CheckConnected() const {
  if (!FConnected) throw SdbConnectionError("No connection to database server.");
}

// ---- events ----------------------------------------------------------------------

void TSdbConnection::DoAfterCommit() {
  if (AfterCommit) AfterCommit(this);
}
void TSdbConnection::DoBeforeCommit() {
  if (BeforeCommit) BeforeCommit(this);
}
void TSdbConnection::DoAfterRollback() {
  if (AfterRollback) AfterRollback(this);
}
void TSdbConnection::DoBeforeRollback() {
  if (BeforeRollback) BeforeRollback(this);
}
void TSdbConnection::DoOnConnect() {
  if (OnConnect) OnConnect(this);
}
void TSdbConnection::DoOnDisconnect() {
  if (OnDisconnect) OnDisconnect(this);
}

// ---- datasets ----------------------------------------------------------------------

void TSdbConnection::AddTableToConnectList(TSdbDataSetInterface* dataSet) {
  FTablesList.push_back(dataSet);
}

void TSdbConnection::RemoveTableFromConnectList(TSdbDataSetInterface* dataSet) {
  auto it = std::find(FTablesList.begin(), FTablesList.end(), dataSet);
  if (it != FTablesList.end()) FTablesList.erase(it);
}

TSdbDataSetInterface* TSdbConnection::GetDataSet(int index) {
  return FTablesList.at(index);
}

int TSdbConnection::GetDataSetCount() {
  return static_cast<int>(FTablesList.size());
}

// ---- alias and path --------------------------------------------------------------------

void TSdbConnection::SetAliasName(const std::string& value) {
  if (FConnected)
    throw SdbConnectionError(
        "The TSdbConnection.AliasName may not be changed when IsConnected is TRUE");
  if (value.empty()) {
    FAliasName.clear();
    mstrAliasPath.clear();
    meAliasTableType = ttSdbConnectUnspecified;
    FValidAlias = true;
    return;
  }
  std::string aliasValue;
  if (!ReadAlias(value, aliasValue)) {
    FValidAlias = false;
    FAliasName = value;
    mstrAliasPath.clear();
    meAliasTableType = ttSdbConnectUnspecified;
    return;
  }
  FConnectString.clear();
  FAliasName = value;
  SplitAliasValue(aliasValue, mstrAliasPath, meAliasTableType);
  FIsDictionaryConn = IsDictionaryPath(mstrAliasPath);
  FValidAlias = true;
  if (!Owner() || meAliasTableType == ttSdbConnectUnspecified) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    auto* dataSet = dynamic_cast<TSdbDataSetInterface*>(Owner()->Components(i));
    if (!dataSet || dataSet->SdbConnection() != this) continue;
    if (dataSet->DatabaseName().empty() || SameText(dataSet->DatabaseName(), Name()))
      dataSet->FollowAliasTableType(meAliasTableType);
  }
}

std::string TSdbConnection::GetConnectPath() const {
  return FConnectString;
}

void TSdbConnection::SetConnectPath(const std::string& value) {
  if (FConnected)
    throw SdbConnectionError(
        "The TSdbConnection.ConnectPath may not be changed when IsConnected is TRUE");
  FConnectString = value;
  FIsDictionaryConn = IsDictionaryPath(value);
  FAliasName.clear();
  mstrAliasPath.clear();
  meAliasTableType = ttSdbConnectUnspecified;
  FValidAlias = true;  // no alias is set
}

bool TSdbConnection::GetIsDictionaryConn() {
  return FIsDictionaryConn;
}

std::string TSdbConnection::GetConnectionPath() {
  std::string path = FConnectString.empty() ? mstrAliasPath : FConnectString;
  size_t n = path.size();
  if (n > 4 && path[n - 4] == '.' && SameText(path.substr(n - 3), "ADD")) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) slash = path.rfind('\\');
    // A bare file name: the current folder, with the separator the program
    // builds paths with.
    path = slash == std::string::npos ? "./" : path.substr(0, slash);
  }
  return path;
}

// ---- renaming ------------------------------------------------------------------------------

void TSdbConnection::SetName(const std::string& newName) {
  std::string oldName = Name();
  TComponent::SetName(newName);
  if (!Owner()) return;
  const std::string ownerName = Owner()->Name();
  TSdbDataSetList::FirstThat([&](TSdbDataSetInterface* dataSet) {
    TSdbConnection* linked = dataSet->SdbConnection();
    bool free = !linked || linked == this;
    if (!oldName.empty() && free) {
      if (SameText(dataSet->DatabaseName(), oldName))
        dataSet->ConnectionRenamed(newName);
      else if (SameText(dataSet->DatabaseName(), ownerName + "." + oldName))
        dataSet->ConnectionRenamed(ownerName + "." + newName);
    }
    TComponent* component = dataSet->DataSetComponent();
    if (component && component->Owner() && free &&
        SameText(component->Owner()->Name() + "." + dataSet->DatabaseName(),
                 ownerName + "." + newName))
      dataSet->ConnectionRenamed(newName);
    return false;
  });
}

// ---- transactions ---------------------------------------------------------------------------

void TSdbConnection::BeginTransaction() {
  CheckConnected();
  uint32_t rc = SdbBeginTransaction(FhConnection);
  if (rc) throw SdbError(rc);
}

void TSdbConnection::Commit() {
  CheckConnected();
  DoBeforeCommit();
  // A statement that fails to close does not stop the commit; its failure
  // is raised after it.
  std::exception_ptr kept;
  try {
    CloseCachedStatements();
  } catch (...) {
    kept = std::current_exception();
  }
  uint32_t rc = SdbCommitTransaction(FhConnection);
  if (rc) throw SdbError(rc);
  DoAfterCommit();
  if (kept) std::rethrow_exception(kept);
}

void TSdbConnection::Rollback() {
  DoRollback();
}

void TSdbConnection::DoRollback() {
  CheckConnected();
  DoBeforeRollback();
  std::exception_ptr kept;
  try {
    CloseCachedStatements();
  } catch (...) {
    kept = std::current_exception();
  }
  std::vector<TSdbDataSetInterface*> attached = FTablesList;
  if (FCancelOnRollback)
    for (TSdbDataSetInterface* dataSet : attached) dataSet->CancelPendingEdit();
  uint32_t rc = SdbRollbackTransaction(FhConnection);
  if (rc) throw SdbError(rc);
  for (TSdbDataSetInterface* dataSet : attached) dataSet->RefreshIfBrowsing();
  DoAfterRollback();
  if (kept) std::rethrow_exception(kept);
}

void TSdbConnection::Rollback(const std::string& savepointName) {
  if (savepointName.empty()) {
    Rollback();
    return;
  }
  CheckConnected();
  SdbCheck(nullptr, SdbRollbackTransaction80(FhConnection, savepointName.c_str(), 0));
}

void TSdbConnection::CreateSavepoint(const std::string& name) {
  CheckConnected();
  SdbCheck(nullptr, SdbCreateSavepoint(FhConnection, name.c_str(), 0));
}

bool TSdbConnection::GetTransactionActive() {
  CheckConnected();
  uint16_t inTransaction = 0;
  SdbCheck(nullptr, SdbInTransaction(FhConnection, &inTransaction));
  return inTransaction == 1;
}

uint32_t TSdbConnection::GetTransactionCount() {
  CheckConnected();
  uint32_t count = 0;
  SdbCheck(nullptr, SdbGetTransactionCount(FhConnection, &count));
  return count;
}

// ---- settings that reach the engine ------------------------------------------------------------

void TSdbConnection::SetSQLTimeout(int32_t value) {
  FSQLTimeout = value;
  if (FConnected) SdbCheck(nullptr, SdbSetSQLTimeout(FhConnection, static_cast<uint32_t>(value)));
}

void TSdbConnection::SetExtraConnectString(const std::string& value) {
  if (FConnected)
    throw SdbConnectionError(
        "The TSdbConnection.ExtraConnectString may not be changed when IsConnected is TRUE");
  FExtraConnectString = value;
}

void TSdbConnection::SetDateFormat(const std::string& value) {
  if (FConnected) {
    if (value.empty())
      throw SdbConnectionError(
          "The TSdbConnection.DateFormat may not be set to an empty string when IsConnected is "
          "TRUE");
    SdbCheck(nullptr, SdbSetDateFormat60(FhConnection, value.substr(0, 11).c_str()));
  } else if (!value.empty()) {
    // Tried on the engine's process-wide format, which is then put back.
    char saved[12] = {};
    uint16_t len = sizeof saved;
    SdbGetDateFormat(saved, &len);
    uint32_t rc = SdbSetDateFormat(value.c_str());
    SdbSetDateFormat(saved);
    if (rc) throw SdbConnectionError("Unrecognized DateFormat String");
  }
  FDateFormat = value;
}

// ---- user groups --------------------------------------------------------------------------------

const std::vector<std::string>& TSdbConnection::GetUserGroups() {
  if (!FReadUserGroups) ReadUserGroups();
  return FUserGroups;
}

const std::string& TSdbConnection::GetUserGroupsString() {
  if (!FReadUserGroups) ReadUserGroups();
  return FUserGroupsString;
}

void TSdbConnection::ReadUserGroups() {
  FUserGroups.clear();
  FUserGroupsString.clear();
  if (!FConnected || !GetIsDictionaryConn()) return;
  // The length is asked with no room: the engine answers it with 5005.
  uint16_t len = 0;
  uint32_t rc =
      SdbDDGetUserProperty(FhConnection, nullptr, SDB_DD_USER_GROUP_MEMBERSHIP, nullptr, &len);
  if (rc == SDB_E_PROPERTY_NOT_SET) return;
  if (rc != SDB_E_INSUFFICIENT_BUFFER) SdbCheck(nullptr, rc);
  if (len == 0) return;
  std::vector<char> buffer(len + 1u, '\0');
  uint16_t room = static_cast<uint16_t>(buffer.size() > 0xFFFF ? 0xFFFF : buffer.size());
  SdbCheck(nullptr, SdbDDGetUserProperty(FhConnection, nullptr, SDB_DD_USER_GROUP_MEMBERSHIP,
                                         buffer.data(), &room));
  FUserGroupsString.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
  size_t start = 0;
  while (start < FUserGroupsString.size()) {
    size_t end = FUserGroupsString.find(';', start);
    if (end == std::string::npos) end = FUserGroupsString.size();
    if (end > start) FUserGroups.push_back(FUserGroupsString.substr(start, end - start));
    start = end + 1;
  }
  FReadUserGroups = true;
}

// ---- questions about the server
// -------------------------------------------------------------------

std::string TSdbConnection::GetServerName() {
  if (!FConnected) return std::string();
  char name[255] = {};
  uint16_t len = sizeof name;
  SdbCheck(nullptr, SdbGetServerName(FhConnection, name, &len));
  return std::string(name, strnlen(name, sizeof name));
}

uint32_t TSdbConnection::GetConnectionHandle() {
  return FConnected ? FhConnection : 0;
}

std::string TSdbConnection::GetConnectionType() {
  if (!FConnected) return std::string();
  uint16_t type = 0;
  SdbCheck(nullptr, SdbGetConnectionType(FhConnection, &type));
  switch (type) {
    case SDB_CONNECTION_LOCAL:
      return "Local";
    case SDB_CONNECTION_REMOTE:
      return "Remote";
    case SDB_CONNECTION_INTERNET:
      return "Internet";
    default:
      return std::string();
  }
}

bool TSdbConnection::GetIsConnectionAlive() {
  if (!FConnected) return false;
  uint16_t alive = 0;
  SdbCheck(nullptr, SdbIsConnectionAlive(FhConnection, &alive));
  return alive != 0;
}

uint16_t TSdbConnection::DDVersionMajor() {
  if (!FConnected || !GetIsDictionaryConn()) return 0;
  uint16_t value = 0, len = sizeof value;
  SdbCheck(nullptr, SdbDDGetDatabaseProperty(FhConnection, SDB_DD_VERSION_MAJOR, &value, &len));
  return value;
}

uint16_t TSdbConnection::DDVersionMinor() {
  if (!FConnected || !GetIsDictionaryConn()) return 0;
  uint16_t value = 0, len = sizeof value;
  SdbCheck(nullptr, SdbDDGetDatabaseProperty(FhConnection, SDB_DD_VERSION_MINOR, &value, &len));
  return value;
}

double TSdbConnection::GetServerTime() {
  if (!FConnected) Connect();
  char date[69] = {}, time[69] = {};
  uint16_t dateLen = sizeof date, timeLen = sizeof time;
  uint32_t milliseconds = 0;
  SdbCheck(nullptr, SdbGetServerTime(FhConnection, date, &dateLen, &milliseconds, time, &timeLen));
  double julian = 0;
  SdbCheck(nullptr, SdbConvertDateToJulian(FhConnection, date, dateLen, &julian));
  char digits[16] = {};
  uint16_t digitsLen = sizeof digits;
  SdbCheck(nullptr, SdbConvertJulianToString(julian, digits, &digitsLen));
  std::string ymd(digits, strnlen(digits, sizeof digits));
  TDateTime day = EncodeDate(StrToInt(ymd.substr(0, 4)), StrToInt(ymd.substr(4, 2)),
                             StrToInt(ymd.substr(6, 2)));
  return day + milliseconds / 86400000.0;
}

void TSdbConnection::CloseCachedTables() {
  if (FConnected) SdbCheck(nullptr, SdbCloseCachedTables(FhConnection));
}

uint16_t TSdbConnection::GetNumActiveDDLinks() {
  uint16_t count = 0;
  SdbCheck(nullptr, SdbGetNumActiveLinks(FhConnection, &count));
  return count;
}

void TSdbConnection::GetActiveDDLinkInfo(uint16_t linkNumber, std::vector<std::string>& list) {
  char info[664] = {};
  uint16_t len = sizeof info;
  SdbCheck(nullptr, SdbGetActiveLinkInfo(FhConnection, linkNumber, info, &len));
  std::string text(info, strnlen(info, sizeof info));
  size_t start = 0, end;
  while ((end = text.find(';', start)) != std::string::npos) {
    list.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// ---- name listings ---------------------------------------------------------------------------

namespace {

std::string StripTrailingSeparator(std::string path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

}  // namespace

void TSdbConnection::GetTableNames(std::vector<std::string>* list, const std::string& mask) {
  CheckConnected();
  if (!list) return;
  GetTableAndLinkNames(list, nullptr, mask);
}

void TSdbConnection::GetTableAndLinkNames(std::vector<std::string>* tableList,
                                          std::vector<std::string>* linkList,
                                          const std::string& mask) {
  CheckConnected();
  std::string pattern;
  if (!GetIsDictionaryConn()) {
    std::string folder = FConnectString.empty() ? mstrAliasPath : FConnectString;
    std::string fileMask = meAliasTableType == ttSdbConnectUnspecified ? mask
                           : meAliasTableType == ttSdbConnectADT       ? "*.adt"
                                                                       : "*.dbf";
    pattern = StripTrailingSeparator(folder) + "/" + fileMask;
  }
  const bool withLinks = linkList != nullptr;
  char table[260], link[260];
  uint16_t tableLen = sizeof table, linkLen = sizeof link;
  uint32_t find = 0;
  uint32_t rc = withLinks
                    ? SdbFindFirstTable62(FhConnection, pattern.c_str(), link, &linkLen, table,
                                          &tableLen, &find)
                    : SdbFindFirstTable(FhConnection, pattern.c_str(), table, &tableLen, &find);
  while (rc == SDB_SUCCESS) {
    if (tableList) tableList->push_back(std::string(table, strnlen(table, sizeof table)));
    if (linkList) linkList->push_back(std::string(link, strnlen(link, sizeof link)));
    tableLen = sizeof table;
    linkLen = sizeof link;
    rc = withLinks ? SdbFindNextTable62(FhConnection, find, link, &linkLen, table, &tableLen)
                   : SdbFindNextTable(FhConnection, find, table, &tableLen);
  }
  if (rc != SDB_E_NO_MORE_TABLES) {
    SdbError error(rc);
    if (find) SdbFindClose(FhConnection, find);
    throw error;
  }
  if (find) SdbFindClose(FhConnection, find);
}

void TSdbConnection::GetProcedureNames(std::vector<std::string>* list) {
  if (!FConnected) Connect();
  if (!GetIsDictionaryConn() || !list) return;
  char name[200];
  uint16_t len = sizeof name;
  uint32_t find = 0;
  uint32_t rc =
      SdbDDFindFirstObject(FhConnection, SDB_DD_PROCEDURE_OBJECT, nullptr, name, &len, &find);
  struct Close {
    uint32_t conn, &find;
    ~Close() {
      if (find) SdbDDFindClose(conn, find);
    }
  } close{FhConnection, find};
  while (rc == SDB_SUCCESS) {
    list->push_back(std::string(name, strnlen(name, sizeof name)));
    len = sizeof name;
    rc = SdbDDFindNextObject(FhConnection, find, name, &len);
  }
  if (rc != SDB_E_NO_MORE_OBJECTS) SdbCheck(nullptr, rc);
}
