// TSdbDataSet: where the tables are. The database path from the connection,
// a folder path or an alias of the alias file; the connection handle; the
// location setters and their refusals.
#include <thread>

#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbfunc.h"
#include "sysutils.h"

namespace {

bool HasSeparator(const std::string& text) {
  return text.find_first_of("/\\") != std::string::npos;
}

/// The dataset's table type for an alias value's letter: N, C, V; anything
/// else (A, none) is an ADT table.
TSdbTableTypes AliasTableType(TSdbConnectionTableTypes type) {
  switch (type) {
    case ttSdbConnectNTX:
      return ttSdbNTX;
    case ttSdbConnectCDX:
      return ttSdbCDX;
    case ttSdbConnectVFP:
      return ttSdbVFP;
    default:
      return ttSdbADT;
  }
}

uint16_t EngineTableType(TSdbTableTypes type) {
  switch (type) {
    case ttSdbCDX:
      return 2;
    case ttSdbNTX:
      return 1;
    case ttSdbVFP:
      return 4;
    default:
      return 3;
  }
}

std::string QualifiedName(TComponent* component) {
  if (!component->Owner()) return component->Name();
  return component->Owner()->Name() + "." + component->Name();
}

}  // namespace

void TSdbDataSet::StoreTableType(TSdbTableTypes type) {
  meTableType = type;
  musOpenTableType = EngineTableType(type);
}

void TSdbDataSet::FollowAliasTableType(TSdbConnectionTableTypes type) {
  if (type == ttSdbConnectUnspecified) return;
  TSdbTableTypes wanted = AliasTableType(type);
  if (meTableType != wanted) StoreTableType(wanted);
}

uint32_t TSdbDataSet::ConnectAndGetHandle() {
  if (mpoSdbConnection) {
    if (!mpoSdbConnection->IsConnected()) mpoSdbConnection->SetIsConnected(true);
    return mpoSdbConnection->ConnectionHandle();
  }
  std::string path = GetDatabasePath();
  if (path.size() == 2 && path[1] == ':') path += "/";
  return TDynamicConnList::Instance().FindOrAdd(path);
}

bool TSdbDataSet::ConnectionDecidesPath() const {
  if (mstrDatabaseName.empty()) return true;
  if (!mpoSdbConnection) return false;
  return SameText(mstrDatabaseName, mpoSdbConnection->Name()) ||
         (mpoSdbConnection->Owner() && SameText(mstrDatabaseName, QualifiedName(mpoSdbConnection)));
}

std::string TSdbDataSet::GetDatabasePath() {
  std::string path;
  if (!mstrAliasPath.empty()) {
    path = mstrAliasPath;
  } else if (ConnectionDecidesPath()) {
    if (mpoSdbConnection) {
      path = mpoSdbConnection->GetConnectionPath();
      FollowAliasTableType(mpoSdbConnection->GetSdbTableType());
    }
  } else if (HasSeparator(mstrDatabaseName)) {
    path = mstrDatabaseName;
  } else {
    std::string value;
    if (TSdbConnection::ReadAlias(mstrDatabaseName, value)) {
      TSdbConnectionTableTypes type;
      TSdbConnection::SplitAliasValue(value, path, type);
      mstrAliasPath = path;
      TSdbTableTypes wanted = AliasTableType(type);
      if (meTableType != wanted) StoreTableType(wanted);
    } else {
      path = mstrDatabaseName;
    }
  }
  if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

void TSdbDataSet::LinkConnection(TSdbConnection* connection) {
  if (connection == mpoSdbConnection) return;
  if (mpoSdbConnection) mpoSdbConnection->RemoveTableFromConnectList(this);
  mpoSdbConnection = connection;
  if (connection) connection->AddTableToConnectList(this);
}

void TSdbDataSet::SetDatabaseName(const std::string& value) {
  if (Active()) ComponentError("Cannot perform this operation on an open dataset");
  if (value.empty()) {
    mstrDatabaseName.clear();
    mstrAliasPath.clear();
    return;
  }
  // A connection named so, preferring the dataset's own owner and the
  // calling thread.
  const std::thread::id thread = std::this_thread::get_id();
  TComponent* owner = Owner();
  auto named = [&](TSdbConnection* c) { return SameText(c->Name(), value); };
  TSdbConnection* found = TSdbConnectionList::FirstThat([&](TSdbConnection* c) {
    return named(c) && c->Owner() == owner && c->ConnectionThreadID() == thread;
  });
  if (!found)
    found = TSdbConnectionList::FirstThat(
        [&](TSdbConnection* c) { return named(c) && c->ConnectionThreadID() == thread; });
  if (!found)
    found = TSdbConnectionList::FirstThat(
        [&](TSdbConnection* c) { return named(c) && c->Owner() == owner; });
  if (!found)
    found = TSdbConnectionList::FirstThat([&](TSdbConnection* c) {
      return named(c) || (c->Owner() && SameText(QualifiedName(c), value));
    });
  if (found) {
    LinkConnection(found);
    mstrDatabaseName = value;
    mstrAliasPath.clear();
    return;
  }
  std::string aliasValue;
  if (HasSeparator(value) || !TSdbConnection::ReadAlias(value, aliasValue)) {
    mstrDatabaseName = value;
    mstrAliasPath.clear();
    return;
  }
  std::string path;
  TSdbConnectionTableTypes type;
  TSdbConnection::SplitAliasValue(aliasValue, path, type);
  mstrDatabaseName = value;
  mstrAliasPath = path;
  TSdbTableTypes wanted = AliasTableType(type);
  if (meTableType != wanted) StoreTableType(wanted);
}

void TSdbDataSet::SetTableType(TSdbTableTypes value) {
  if (Active()) ComponentError("Cannot perform this operation on an open dataset");
  bool refused = false;
  std::string aliasValue;
  if (!mstrDatabaseName.empty() && !HasSeparator(mstrDatabaseName) &&
      TSdbConnection::ReadAlias(mstrDatabaseName, aliasValue)) {
    std::string path;
    TSdbConnectionTableTypes type;
    TSdbConnection::SplitAliasValue(aliasValue, path, type);
    refused = AliasTableType(type) != value;
  } else if (mstrDatabaseName.empty() && mpoSdbConnection) {
    TSdbConnectionTableTypes type = mpoSdbConnection->GetSdbTableType();
    refused = type != ttSdbConnectUnspecified && AliasTableType(type) != value;
  }
  if (refused)
    ComponentError(
        "The table type must remain identical to the table type associated with the "
        "alias.");
  StoreTableType(value);
}

void TSdbDataSet::SetTableName(const std::string& value) {
  if (Active()) ComponentError("Cannot perform this operation on an open dataset");
  if (value != mstrTableName && !IsLoading()) mpoIndexFiles->Clear();
  mstrTableName = value;
  UpdateDefaultIndex();
  DataEvent(dePropertyChange);
}

void TSdbExtendedDataSet::SetSdbConnection(TSdbConnection* connection) {
  if (Active()) ComponentError("Table must not be Active.");
  LinkConnection(connection);
  GetDatabasePath();
}
