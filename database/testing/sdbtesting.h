// Test support for the database layer: a temporary data folder holding a
// real data dictionary db/db.add, made the way the sdbsql tool makes one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "component.h"
#include "sdbcnnct.h"

namespace sdbtesting {

/// A stand-in for a dataset attached to a connection, for tests of the
/// connection before (or without) the real datasets: it registers in the
/// process-wide dataset list and on its connection, and appends what is
/// asked of it to `Log` as "<Name>.<what>".
class TDataSetDouble : public TComponent, public TSdbDataSetInterface {
 public:
  TDataSetDouble(TComponent* owner, const std::string& name, TSdbConnection* connection,
                 std::vector<std::string>* log);
  ~TDataSetDouble() override;

  TComponent* DataSetComponent() override { return this; }
  TSdbConnection* SdbConnection() const override { return FConnection; }
  const std::string& DatabaseName() const override { return FDatabaseName; }
  const std::string& TableName() const override { return FTableName; }
  /// The connection's path, or what OnGetDatabasePath answers.
  std::string GetDatabasePath() override;
  void CloseDataSet() override;
  void InvalidateEngineHandles() override { Record("InvalidateEngineHandles"); }
  void CancelPendingEdit() override;
  void RefreshIfBrowsing() override { Record("Refresh"); }
  void UpdateDefaultIndex() override { Record("UpdateDefaultIndex"); }
  void ConnectionDestroyed() override;
  void ConnectionRenamed(const std::string& databaseName) override;
  void FollowAliasTableType(TSdbConnectionTableTypes type) override;

  std::string FDatabaseName;
  std::string FTableName = "CD_Currency";
  bool FailClose = false;                          // CloseDataSet raises
  std::function<std::string()> OnGetDatabasePath;  // replaces GetDatabasePath
  std::function<void()> OnCancel;                  // runs in CancelPendingEdit

 private:
  void Record(const std::string& what);
  TSdbConnection* FConnection;
  std::vector<std::string>* FLog;
};

/// A folder under the temporary-files folder that lives as long as the
/// object; its path ends with "/".
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

/// Creates the dictionary file `path` (and its folder) and runs `sql` on it
/// (statements separated by ";", "--" comments allowed) as sdbsql --create
/// does. Throws std::runtime_error with the engine's text on a failure.
void CreateDictionary(const std::string& path, const std::string& sql = "");
/// Runs statements on an existing dictionary the same way.
void RunSql(const std::string& path, const std::string& sql);
/// The rows of a query run with plain SQLite on the file, every value as
/// text (NULL as "<null>"); for reading back what the layer stored.
std::vector<std::vector<std::string>> SqliteRows(const std::string& path, const std::string& sql);
/// The demo dictionary's statements (engine/tools/demo.sql): the program's
/// four tables, a few currencies and one barred pair.
std::string DemoSql();

/// The message of the exception `action` raises, or `none` when it raises
/// nothing; `code` (when given) receives the engine code of an
/// ESDBDatabaseError.
std::string ErrorOf(const std::function<void()>& action, uint32_t* code = nullptr,
                    const std::string& none = "<no error>");

/// A data folder (ending in "/") with the demo dictionary at
/// DataFolder() + "db/db.add", made afresh for every test.
class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  const std::string& DataFolder() const { return FFolder.Path(); }
  const std::string& Dictionary() const { return FDictionary; }

 private:
  TempFolder FFolder;
  std::string FDictionary;
};

}  // namespace sdbtesting
