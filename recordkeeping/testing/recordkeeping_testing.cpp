// Test support: an installed program on a real dictionary.
#include "recordkeeping_testing.h"

#include <filesystem>

#include "LANTools.h"
#include "OEMDEFS.h"
#include "SDBTools.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace rktesting {

void InstalledDictionaryTest::SetUpWith(const std::string& sql) {
  env = std::make_unique<TTempEnvironment>();
  dataFolder = env->Root() + "data/";
  dictionary = dataFolder + "db/db.add";
  sdbtesting::CreateDictionary(dictionary, sql.empty() ? sdbtesting::DemoSql() : sql);
  env->WriteFile(env->UserHive(), "[Software\\Seavane]\nDataFolder=" + dataFolder + "\n");
  env->WriteFile(env->MachineHive(),
                 "[System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName]\n"
                 "ComputerName=WS07\n");
  LoadBranding();
  StartLANTools();
  StartSDBTools();
  connection = std::make_unique<TSdbConnection>();
  connection->SetName("con");
  connection->SetLoginPrompt(false);
  connection->SetSdbServerTypes({stSDB_REMOTE});
  connection->SetConnectPath(dictionary);
  connection->Connect();
}

void InstalledDictionaryTest::TearDown() {
  tables.clear();
  connection.reset();
  FinishSDBTools();
  FinishLANTools();
  FinishBranding();
  env.reset();
}

TSdbTable* InstalledDictionaryTest::Table(const std::string& name) {
  tables.push_back(std::make_unique<TSdbTable>());
  TSdbTable* table = tables.back().get();
  table->SetSdbConnection(connection.get());
  table->SetTableName(name);
  return table;
}

std::vector<std::vector<std::string>> InstalledDictionaryTest::Rows(const std::string& sql) const {
  return sdbtesting::SqliteRows(dictionary, sql);
}

std::string InstalledDictionaryTest::ReadFile(const std::string& path) {
  return TTempEnvironment::ReadFile(path);
}

std::string StoredTimeStamp(double dateTime) {
  return FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", dateTime);
}

}  // namespace rktesting
