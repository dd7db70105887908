// Test support for record keeping and its callers: an installation whose
// data folder holds a real dictionary, with the modules started.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "environment_testing.h"
#include "sdbcnnct.h"
#include "sdbtable.h"

namespace rktesting {

/// A throw-away environment whose user hive names the data folder
/// Root()/data/, which holds the dictionary db/db.add made from DemoSql()
/// (or the statements SetUp is given); the installation settings and the
/// record keeping are started (station 0, computer WS07, program tessaly),
/// and `connection` is connected to the dictionary.
class InstalledDictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUpWith(""); }
  /// SetUp with the dictionary made from `sql` instead of the demo's.
  void SetUpWith(const std::string& sql);
  void TearDown() override;

  /// A table on `connection`, owned by the fixture, not yet open.
  TSdbTable* Table(const std::string& name);
  /// Rows of a query run with plain SQLite on the dictionary (values as text).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) const;
  /// A file's whole content; empty when missing.
  static std::string ReadFile(const std::string& path);

  std::unique_ptr<TTempEnvironment> env;
  std::string dataFolder;  // ends with "/"
  std::string dictionary;  // dataFolder + "db/db.add"
  std::unique_ptr<TSdbConnection> connection;
  std::vector<std::unique_ptr<TSdbTable>> tables;
};

/// The UTC time as the dictionary stores a TIMESTAMP: "YYYY-MM-DD HH:MM:SS.mmm".
std::string StoredTimeStamp(double dateTime);

}  // namespace rktesting
