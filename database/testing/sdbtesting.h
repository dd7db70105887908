// Test support for the database layer: a temporary data folder holding a
// real data dictionary db/db.add, made the way the sdbsql tool makes one.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sdbtesting {

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
