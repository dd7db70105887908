// Test support for the database layer: temporary folders and dictionaries.
#include "sdbtesting.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sdbdata.h"
#include "sdbexpr.h"
#include "sdbstore.h"

namespace sdbtesting {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessalydbXXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  FPath = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Files a test made read-only must not keep the folder.
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  for (auto& entry : std::filesystem::recursive_directory_iterator(FPath, ec))
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(FPath, ec);
}

namespace {

void Run(const std::string& path, const std::string& sql, bool create) {
  sdbstore::SetConnectionInitHook(&SdbRegisterSqlFunctions);
  try {
    sdbstore::OpenOptions options;
    options.create = create;
    auto db = sdbstore::Database::Open(path, options);
    for (const std::string& statement : sdbstore::SplitStatements(sql))
      db->Execute(db->Translate(statement));
  } catch (const sdbstore::StoreError& e) {
    throw std::runtime_error(std::string(e.what()) + " (code " + std::to_string(e.code()) + ")");
  }
}

}  // namespace

void CreateDictionary(const std::string& path, const std::string& sql) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  Run(path, sql, true);
}

void RunSql(const std::string& path, const std::string& sql) {
  Run(path, sql, false);
}

std::vector<std::vector<std::string>> SqliteRows(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    std::string error = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(error);
  }
  std::vector<std::vector<std::string>> rows;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
        row.push_back("<null>");
      } else {
        const void* bytes = sqlite3_column_blob(stmt, i);
        int n = sqlite3_column_bytes(stmt, i);
        row.push_back(bytes ? std::string(static_cast<const char*>(bytes), n) : std::string());
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::string DemoSql() {
  std::ifstream in(std::string(TESSALY_DEMO_SQL), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the demo dictionary's statements");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TDataSetDouble::TDataSetDouble(TComponent* owner, const std::string& name,
                               TSdbConnection* connection, std::vector<std::string>* log)
    : TComponent(owner), FConnection(connection), FLog(log) {
  SetName(name);
  TSdbDataSetList::Add(this);
  if (connection) connection->AddTableToConnectList(this);
}

TDataSetDouble::~TDataSetDouble() {
  if (FConnection) FConnection->RemoveTableFromConnectList(this);
  TSdbDataSetList::Remove(this);
}

void TDataSetDouble::Record(const std::string& what) {
  if (FLog) FLog->push_back(Name() + "." + what);
}

std::string TDataSetDouble::GetDatabasePath() {
  if (OnGetDatabasePath) return OnGetDatabasePath();
  return FConnection ? FConnection->GetConnectionPath() : std::string();
}

void TDataSetDouble::CloseDataSet() {
  Record("Close");
  if (FailClose) throw EDatabaseError("close failed");
}

void TDataSetDouble::CancelPendingEdit() {
  Record("Cancel");
  if (OnCancel) OnCancel();
}

void TDataSetDouble::ConnectionDestroyed() {
  Record("ConnectionDestroyed");
  FConnection = nullptr;
}

void TDataSetDouble::ConnectionRenamed(const std::string& databaseName) {
  Record("Renamed " + databaseName);
  FDatabaseName = databaseName;
}

void TDataSetDouble::FollowAliasTableType(TSdbConnectionTableTypes type) {
  Record("TableType " + std::to_string(type));
}

void DictionaryTest::SetUp() {
  FDictionary = DataFolder() + "db/db.add";
  CreateDictionary(FDictionary, DemoSql());
}

std::string ErrorOf(const std::function<void()>& action, uint32_t* code, const std::string& none) {
  try {
    action();
  } catch (const ESDBDatabaseError& e) {
    if (code) *code = e.EngineErrorCode();
    return e.Message();
  } catch (const Exception& e) {
    return e.Message();
  }
  return none;
}

}  // namespace sdbtesting
