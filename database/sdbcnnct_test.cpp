// TSdbConnection on real dictionaries: connecting and disconnecting, paths
// and aliases, transactions, listings and questions about the server.
#include "sdbcnnct.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "dblogin.h"

#include "dataset.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

using sdbtesting::DictionaryTest;

std::vector<std::string> gCalls;

using TRecordingDataSet = sdbtesting::TDataSetDouble;

// Records every event of a connection into gCalls.
void RecordEvents(TSdbConnection& con) {
  auto record = [](const char* name) {
    return [name](TSdbConnection*) { gCalls.push_back(name); };
  };
  con.BeforeConnect = record("BeforeConnect");
  con.AfterConnect = record("AfterConnect");
  con.OnConnect = record("OnConnect");
  con.BeforeDisconnect = record("BeforeDisconnect");
  con.AfterDisconnect = record("AfterDisconnect");
  con.OnDisconnect = record("OnDisconnect");
  con.BeforeCommit = record("BeforeCommit");
  con.AfterCommit = record("AfterCommit");
  con.BeforeRollback = record("BeforeRollback");
  con.AfterRollback = record("AfterRollback");
}

class ConnectionTest : public DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    gCalls.clear();
  }
  // The connection as the program's main window sets it up.
  void SetUpAsProgram(TSdbConnection& con) {
    con.SetSdbServerTypes({stSDB_REMOTE});
    con.SetLoginPrompt(false);
    con.SetStoreConnected(false);
    con.SetConnectPath(DataFolder() + "db/db.add");
  }
};

TEST_F(ConnectionTest, TheProgramsConnectionReachesTheDictionary) {
  TComponent form;
  auto* con = new TSdbConnection(&form);
  con->SetName("con");
  SetUpAsProgram(*con);
  EXPECT_EQ("Data Source=" + DataFolder() + "db/db.add;FIPS=False;ServerType=REMOTE;",
            con->ConnectString());
  con->Connect();
  EXPECT_TRUE(con->IsConnected());
  EXPECT_NE(0u, con->ConnectionHandle());
  EXPECT_TRUE(con->IsDictionaryConn());
  EXPECT_TRUE(con->IsConnectionAlive());
  EXPECT_EQ(DataFolder() + "db", con->GetConnectionPath());
  std::vector<std::string> tables;
  con->GetTableNames(&tables);
  EXPECT_NE(std::find(tables.begin(), tables.end(), "CD_Currency"), tables.end());
  con->Disconnect();
  EXPECT_FALSE(con->IsConnected());
  EXPECT_EQ(0u, con->ConnectionHandle());
}

TEST_F(ConnectionTest, ConnectAndDisconnectRunTheirStepsInOrder) {
  TComponent form;
  auto* con = new TSdbConnection(&form);
  SetUpAsProgram(*con);
  RecordEvents(*con);
  TRecordingDataSet a(&form, "a", con, &gCalls), b(&form, "b", con, &gCalls);
  b.FailClose = true;  // a close that fails does not stop the disconnect
  con->SetIsConnected(true);
  EXPECT_EQ((std::vector<std::string>{"BeforeConnect", "a.UpdateDefaultIndex",
                                      "b.UpdateDefaultIndex", "AfterConnect", "OnConnect"}),
            gCalls);
  gCalls.clear();
  con->SetIsConnected(true);  // no change, no event
  EXPECT_TRUE(gCalls.empty());
  con->SetIsConnected(false);
  EXPECT_EQ((std::vector<std::string>{"BeforeDisconnect", "a.Close", "a.InvalidateEngineHandles",
                                      "b.Close", "b.InvalidateEngineHandles", "AfterDisconnect",
                                      "OnDisconnect"}),
            gCalls);
  gCalls.clear();
  con->SetIsConnected(false);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(ConnectionTest, ConnectWithoutAPathIsRefusedAndStaysDisconnected) {
  TSdbConnection con;
  try {
    con.Connect();
    FAIL() << "connected without a path";
  } catch (const SdbConnectionError& e) {
    EXPECT_EQ("Must specify connection string before getting a server connection.", e.Message());
  }
  EXPECT_FALSE(con.IsConnected());
}

TEST_F(ConnectionTest, AFailedConnectReportsTheEnginesError) {
  TSdbConnection con;
  con.SetConnectPath(DataFolder() + "nowhere/db.add");
  try {
    con.Connect();
    FAIL() << "connected to a missing dictionary";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_NE(0u, e.EngineErrorCode());
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_FALSE(con.IsConnected());
}

TEST_F(ConnectionTest, ASharePathReachesTheEngineWithThePortAndIsNotFound) {
  TSdbConnection con;
  con.SetSdbServerTypes({stSDB_REMOTE});
  con.SetLoginPrompt(false);
  con.SetConnectPath("\\\\srv\\data\\db.add");
  try {
    con.Connect();
    FAIL() << "connected to a server";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_EQ(6420u, e.EngineErrorCode());
    EXPECT_NE(e.Message().find("srv:6262"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(con.IsConnected());
}

TEST_F(ConnectionTest, DestructionClosesAttachedDataSetsAndLeavesTheList) {
  int before = TSdbConnectionList::Count();
  TComponent form;
  auto* con = new TSdbConnection(&form);
  SetUpAsProgram(*con);
  RecordEvents(*con);
  TRecordingDataSet a(nullptr, "a", con, &gCalls);
  a.FailClose = true;  // destruction goes on
  con->Connect();
  EXPECT_EQ(before + 1, TSdbConnectionList::Count());
  gCalls.clear();
  delete con;
  EXPECT_EQ((std::vector<std::string>{"a.Close", "a.InvalidateEngineHandles",
                                      "a.ConnectionDestroyed", "OnDisconnect"}),
            gCalls);
  EXPECT_EQ(nullptr, a.SdbConnection());
  EXPECT_EQ(before, TSdbConnectionList::Count());
  EXPECT_EQ(0, form.ComponentCount());
}

TEST(ConnectionPaths, TheEndingTellsADictionaryAndTheFileNameIsCut) {
  TSdbConnection con;
  auto dictionary = [&](const std::string& path) {
    con.SetConnectPath(path);
    return con.IsDictionaryConn();
  };
  EXPECT_TRUE(dictionary("/data/db.add"));
  EXPECT_TRUE(dictionary("C:\\data\\DB.ADD"));
  EXPECT_TRUE(dictionary("srv/__ROOTDD"));
  EXPECT_FALSE(dictionary("/data/db.adt"));
  EXPECT_FALSE(dictionary("/data/"));
  auto path = [&](const std::string& connectPath) {
    con.SetConnectPath(connectPath);
    return con.GetConnectionPath();
  };
  EXPECT_EQ("C:\\data", path("C:\\data\\db.add"));
  EXPECT_EQ("/data/db", path("/data/db/db.ADD"));
  EXPECT_EQ("./", path("db.add"));
  EXPECT_EQ("/data/tables", path("/data/tables"));
  EXPECT_EQ("/data/x.adt", path("/data/x.adt"));
  EXPECT_EQ(".add", path(".add"));               // four characters: no file name to cut
  EXPECT_EQ("/srv", path("/srv/data\\db.add"));  // with a "/", the cut is at the last "/"
}

class AliasTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    std::ofstream ini(DataFolder() + "sdb.ini");
    ini << "[Databases]\nrates=" << DataFolder() << "db/db.add\nlegacy=D:\\tables;n\n"
        << "cdx=/t;C\nadt=/t;a\nvfp=/t;v\nodd=/t;x\n";
    ini.close();
    setenv("sdbini_path", DataFolder().c_str(), 1);
  }
  void TearDown() override { unsetenv("sdbini_path"); }
};

TEST_F(AliasTest, AnAliasGivesPathAndTableTypeAndConnects) {
  TComponent form;
  auto* con = new TSdbConnection(&form);
  con->SetName("con");
  con->SetLoginPrompt(false);
  TRecordingDataSet linked(&form, "linked", con, &gCalls);
  TRecordingDataSet named(&form, "named", con, &gCalls);
  named.FDatabaseName = "CON";
  TRecordingDataSet other(&form, "other", con, &gCalls);
  other.FDatabaseName = "/elsewhere";
  con->SetAliasName("legacy");
  EXPECT_EQ("D:\\tables", con->GetConnectionWithDDPath());
  EXPECT_EQ(ttSdbConnectNTX, con->GetSdbTableType());
  EXPECT_FALSE(con->IsDictionaryConn());
  // The owner's datasets on this connection that name it follow the type.
  EXPECT_EQ((std::vector<std::string>{"linked.TableType 2", "named.TableType 2"}), gCalls);
  const std::pair<const char*, TSdbConnectionTableTypes> letters[] = {
      {"cdx", ttSdbConnectCDX},
      {"adt", ttSdbConnectADT},
      {"vfp", ttSdbConnectVFP},
      {"odd", ttSdbConnectUnspecified}};
  for (auto& [alias, type] : letters) {
    con->SetAliasName(alias);
    EXPECT_EQ(type, con->GetSdbTableType()) << alias;
    EXPECT_EQ("/t", con->GetConnectionWithDDPath()) << alias;
  }
  con->SetAliasName("RATES");
  EXPECT_TRUE(con->IsDictionaryConn());
  EXPECT_EQ("", con->ConnectPath());
  con->Connect();
  EXPECT_TRUE(con->IsConnected());
  EXPECT_EQ(DataFolder() + "db", con->GetConnectionPath());
  try {
    con->SetAliasName("legacy");
    FAIL() << "changed while connected";
  } catch (const SdbConnectionError& e) {
    EXPECT_EQ("The TSdbConnection.AliasName may not be changed when IsConnected is TRUE",
              e.Message());
  }
  EXPECT_EQ("RATES", con->AliasName());
}

TEST_F(AliasTest, AnUnknownAliasIsRefusedWhenConnecting) {
  TSdbConnection con;
  con.SetLoginPrompt(false);
  con.SetAliasName("nothing");
  EXPECT_EQ("nothing", con.AliasName());
  EXPECT_EQ("", con.GetConnectionWithDDPath());
  try {
    con.Connect();
    FAIL() << "connected";
  } catch (const SdbConnectionError& e) {
    EXPECT_EQ("TSdbConnection.AliasName is not valid", e.Message());
  }
  // Written to the file later, the alias is found on the next try.
  std::ofstream(DataFolder() + "sdb.ini", std::ios::app) << "nothing=" << Dictionary() << "\n";
  con.Connect();
  EXPECT_TRUE(con.IsConnected());
  // A path set afterwards replaces the alias.
  con.Disconnect();
  con.SetConnectPath(Dictionary());
  EXPECT_EQ("", con.AliasName());
}

TEST_F(AliasTest, TheAliasFileIsSearchedInItsOrder) {
  unsetenv("sdbini_path");
  sdbtesting::TempFolder program, onPath;
  std::string savedProgram = TSdbConnection::ProgramFolder();
  const char* oldPath = getenv("PATH");
  std::string savedPath = oldPath ? oldPath : "";
  std::ofstream(onPath.Path() + "sdb.ini") << "[Databases]\nx=/from/path\n";
  setenv("PATH", ("/nonexistent:" + onPath.Path()).c_str(), 1);
  TSdbConnection::ProgramFolder() = program.Path();
  EXPECT_EQ(onPath.Path() + "sdb.ini", TSdbConnection::AliasFilePath());
  std::ofstream(program.Path() + "sdb.ini") << "[Databases]\nx=/from/program\n";
  EXPECT_EQ(program.Path() + "sdb.ini", TSdbConnection::AliasFilePath());
  std::string value;
  EXPECT_TRUE(TSdbConnection::ReadAlias("X", value));
  EXPECT_EQ("/from/program", value);
  // The named folder wins when the file is there, and only then.
  setenv("sdbini_path", DataFolder().c_str(), 1);
  EXPECT_EQ(DataFolder() + "sdb.ini", TSdbConnection::AliasFilePath());
  setenv("sdbini_path", onPath.Path().c_str(), 1);
  std::filesystem::remove(onPath.Path() + "sdb.ini");
  EXPECT_EQ(program.Path() + "sdb.ini", TSdbConnection::AliasFilePath());
  TSdbConnection::ProgramFolder() = savedProgram;
  setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(ConnectionTest, SettingsFixedWhileConnectedAreRefusedWithTheirTexts) {
  TSdbConnection con;
  SetUpAsProgram(con);
  con.SetExtraConnectString("");
  con.Connect();
  auto refused = [](auto&& change, const std::string& text) {
    try {
      change();
      ADD_FAILURE() << "accepted: " << text;
    } catch (const SdbConnectionError& e) {
      EXPECT_EQ(text, e.Message());
    }
  };
  refused([&] { con.SetConnectPath("/x/db.add"); },
          "The TSdbConnection.ConnectPath may not be changed when IsConnected is TRUE");
  refused([&] { con.SetExtraConnectString("A=1;"); },
          "The TSdbConnection.ExtraConnectString may not be changed when IsConnected is TRUE");
  refused([&] { con.SetDateFormat(""); },
          "The TSdbConnection.DateFormat may not be set to an empty string when IsConnected is "
          "TRUE");
  EXPECT_EQ(DataFolder() + "db/db.add", con.ConnectPath());
  con.SetDateFormat("DD.MM.CCYY");  // set on the open connection
  EXPECT_EQ("DD.MM.CCYY", con.DateFormat());
  char date[69] = {}, time[69] = {};
  uint16_t dateLen = sizeof date, timeLen = sizeof time;
  uint32_t ms = 0;
  ASSERT_EQ(0u, SdbGetServerTime(con.ConnectionHandle(), date, &dateLen, &ms, time, &timeLen));
  EXPECT_EQ('.', date[2]) << date;
}

TEST_F(ConnectionTest, ADateFormatIsTriedOnTheEngineAndTheProcessFormatKept) {
  TSdbConnection con;
  char before[12] = {};
  uint16_t len = sizeof before;
  SdbGetDateFormat(before, &len);
  con.SetDateFormat("CCYY-MM-DD");
  EXPECT_EQ("CCYY-MM-DD", con.DateFormat());
  try {
    con.SetDateFormat("hello");
    FAIL() << "accepted";
  } catch (const SdbConnectionError& e) {
    EXPECT_EQ("Unrecognized DateFormat String", e.Message());
  }
  EXPECT_EQ("CCYY-MM-DD", con.DateFormat());
  char after[12] = {};
  len = sizeof after;
  SdbGetDateFormat(after, &len);
  EXPECT_STREQ(before, after);
  con.SetDateFormat("");  // empty while disconnected: stored
  EXPECT_EQ("", con.DateFormat());
}

TEST_F(ConnectionTest, AFailedDisconnectStillEndsDisconnectedAndRaisesLast) {
  TSdbConnection con;
  SetUpAsProgram(con);
  RecordEvents(con);
  con.Connect();
  TParams params;
  params.CreateParam(ftInteger, "id")->SetAsInteger(1);
  con.Execute("UPDATE CD_Currency SET UseOnBoard = TRUE WHERE ID = :id", &params, nullptr, true);
  ASSERT_EQ(1, con.CachedStatementCount());
  // The engine connection goes away behind the component's back: closing the
  // cached statement and disconnecting both fail.
  ASSERT_EQ(0u, SdbDisconnect(con.ConnectionHandle()));
  gCalls.clear();
  EXPECT_THROW(con.Disconnect(), ESDBDatabaseError);  // the first failure
  EXPECT_FALSE(con.IsConnected());
  EXPECT_EQ(0u, con.ConnectionHandle());
  EXPECT_EQ(0, con.CachedStatementCount());
  EXPECT_EQ((std::vector<std::string>{"BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}),
            gCalls);
  con.Connect();  // and it connects again
  EXPECT_TRUE(con.IsConnectionAlive());
}

TEST_F(ConnectionTest, ACommittedTransactionIsSeenByASecondConnection) {
  TSdbConnection first, second;
  SetUpAsProgram(first);
  SetUpAsProgram(second);
  RecordEvents(first);
  EXPECT_THROW(first.BeginTransaction(), SdbConnectionError);
  try {
    first.Commit();
  } catch (const SdbConnectionError& e) {
    EXPECT_EQ("No connection to database server.", e.Message());
  }
  first.Connect();
  second.Connect();
  first.BeginTransaction();
  EXPECT_TRUE(first.TransactionActive());
  EXPECT_EQ(1u, first.TransactionCount());
  first.Execute("UPDATE CD_Currency SET Description = 'Euro!' WHERE ID = 1");
  gCalls.clear();
  first.Commit();
  EXPECT_EQ((std::vector<std::string>{"BeforeCommit", "AfterCommit"}), gCalls);
  EXPECT_FALSE(first.TransactionActive());
  uint32_t cursor = 0;
  second.Execute("SELECT Description FROM CD_Currency WHERE ID = 1", nullptr, &cursor);
  ASSERT_EQ(0u, SdbGotoTop(cursor));
  char value[41] = {};
  uint32_t len = sizeof value;
  ASSERT_EQ(0u, SdbGetField(cursor, "Description", value, &len, SDB_RTRIM));
  EXPECT_STREQ("Euro!", value);
  // A commit outside a transaction is the engine's failure.
  EXPECT_THROW(first.Commit(), SdbError);
}

TEST_F(ConnectionTest, RollbackUndoesAndSavepointsUndoPart) {
  TComponent form;
  auto* con = new TSdbConnection(&form);
  SetUpAsProgram(*con);
  RecordEvents(*con);
  TRecordingDataSet a(&form, "a", con, &gCalls);
  con->Connect();
  con->BeginTransaction();
  con->Execute("UPDATE CD_Currency SET Description = 'one' WHERE ID = 1");
  con->CreateSavepoint("sp1");
  con->Execute("UPDATE CD_Currency SET Description = 'two' WHERE ID = 2");
  con->Rollback("sp1");
  EXPECT_TRUE(con->TransactionActive());
  con->Execute("UPDATE CD_Currency SET Description = 'three' WHERE ID = 3");
  // Pending edits are cancelled while the transaction still stands, then
  // the engine rolls back and browsing datasets are refreshed.
  a.OnCancel = [&] { gCalls.push_back(con->TransactionActive() ? "in transaction" : "after"); };
  gCalls.clear();
  con->Rollback("");
  EXPECT_EQ((std::vector<std::string>{"BeforeRollback", "a.Cancel", "in transaction", "a.Refresh",
                                      "AfterRollback"}),
            gCalls);
  EXPECT_FALSE(con->TransactionActive());
  auto rows = sdbtesting::SqliteRows(
      Dictionary(), "SELECT Description FROM CD_Currency WHERE ID <= 3 ORDER BY ID");
  EXPECT_EQ("Euro", rows[0][0]);
  EXPECT_EQ("US Dollar", rows[1][0]);
  EXPECT_EQ("Pound Sterling", rows[2][0]);
  // Without CancelOnRollback the pending edits stay.
  con->SetCancelOnRollback(false);
  con->BeginTransaction();
  gCalls.clear();
  con->Rollback();
  EXPECT_EQ((std::vector<std::string>{"BeforeRollback", "a.Refresh", "AfterRollback"}), gCalls);
  EXPECT_THROW(con->CreateSavepoint("outside"), ESDBDatabaseError);
}

TEST_F(ConnectionTest, ListingsServerTimeAndQuestions) {
  TSdbConnection con;
  SetUpAsProgram(con);
  std::vector<std::string> tables, links, procedures;
  EXPECT_THROW(con.GetTableNames(&tables), SdbConnectionError);
  EXPECT_EQ("", con.ConnectionType());
  EXPECT_FALSE(con.IsConnectionAlive());
  EXPECT_EQ(0, con.DDVersionMajor());
  EXPECT_EQ("", con.ServerName());
  double before = Now();
  double serverTime = con.GetServerTime();  // connects
  double after = Now();
  EXPECT_TRUE(con.IsConnected());
  EXPECT_GE(serverTime, before - 1.0 / 86400);
  EXPECT_LE(serverTime, after + 1.0 / 86400);
  con.GetTableNames(&tables);
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ((std::vector<std::string>{"CD_Currency", "CD_ExchangeRateHistory", "CD_ExchangeRates",
                                      "CD_ExchangeRatesBlockedUpdate"}),
            tables);
  tables.clear();
  con.GetTableAndLinkNames(&tables, &links);
  EXPECT_EQ(4u, tables.size());
  EXPECT_EQ(4u, links.size());
  con.GetTableNames(nullptr);  // nothing to fill
  con.GetProcedureNames(&procedures);
  EXPECT_TRUE(procedures.empty());  // the engine keeps no stored procedures: 5137 at once
  EXPECT_EQ("Local", con.ConnectionType());
  EXPECT_EQ(1, con.DDVersionMajor());
  EXPECT_EQ(0, con.DDVersionMinor());
  EXPECT_FALSE(con.ServerName().empty());
  EXPECT_EQ(0, con.GetNumActiveDDLinks());
  con.CloseCachedTables();
}

TEST_F(ConnectionTest, AFolderConnectionListsItsTableFiles) {
  std::filesystem::create_directories(DataFolder() + "free");
  TSdbConnection con;
  con.SetConnectPath(DataFolder() + "free/");
  con.Execute("CREATE TABLE a (X INTEGER)");  // connects
  EXPECT_FALSE(con.IsDictionaryConn());
  std::vector<std::string> tables, procedures;
  con.GetTableNames(&tables, "*.adt");
  EXPECT_EQ(1u, tables.size());
  con.GetProcedureNames(&procedures);
  EXPECT_TRUE(procedures.empty());
  EXPECT_EQ(0, con.DDVersionMajor());
}

TEST_F(ConnectionTest, UserGroupsComeFromTheDictionary) {
  sdbtesting::RunSql(Dictionary(),
                     "EXECUTE PROCEDURE sp_CreateUser('clerk', 'se;cret');"
                     "EXECUTE PROCEDURE sp_CreateGroup('readers');"
                     "EXECUTE PROCEDURE sp_CreateGroup('editors');"
                     "EXECUTE PROCEDURE sp_AddUserToGroup('clerk', 'readers');"
                     "EXECUTE PROCEDURE sp_AddUserToGroup('clerk', 'editors');"
                     "EXECUTE PROCEDURE sp_CreateUser('boss', '')");
  TSdbConnection con;
  SetUpAsProgram(con);
  con.SetUsername("clerk");
  con.SetPassword("se;cret");             // quoted in the string: the ";" stays in the password
  EXPECT_TRUE(con.UserGroups().empty());  // not connected
  con.Connect();
  EXPECT_EQ("editors;readers", con.UserGroupsString());
  EXPECT_EQ((std::vector<std::string>{"editors", "readers"}), con.UserGroups());
  con.Disconnect();
  EXPECT_TRUE(con.UserGroups().empty());
  con.SetUsername("boss");
  con.SetPassword("");
  con.Connect();
  EXPECT_EQ("", con.UserGroupsString());
  con.Disconnect();
  con.SetPassword("wrong");
  EXPECT_THROW(con.Connect(), ESDBDatabaseError);
  EXPECT_FALSE(con.IsConnected());
}

TEST_F(ConnectionTest, TheLoginAsksOnlyWhenPromptedOnADictionary) {
  sdbtesting::RunSql(Dictionary(), "EXECUTE PROCEDURE sp_CreateUser('clerk', 'pw')");
  TSdbConnection con;
  con.SetName("con");
  con.SetConnectPath(Dictionary());
  int asked = 0;
  con.OnLogin = [&](TSdbConnection*, std::string& user, std::string& password) {
    ++asked;
    user = "clerk";
    password = "pw";
  };
  con.Connect();
  EXPECT_EQ(1, asked);
  EXPECT_EQ("clerk", con.Username());
  EXPECT_EQ("pw", con.Password());
  con.Disconnect();
  con.OnLogin = nullptr;
  LoginDialogHook() = [](const std::string& name, std::string&, std::string&) {
    return name != "con";  // cancelled
  };
  try {
    con.Connect();
    FAIL() << "connected";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ("Cannot connect to database 'con'", e.Message());
  }
  LoginDialogHook() = nullptr;
  con.Connect();  // no dialog installed: the stored values
  EXPECT_TRUE(con.IsConnected());
  con.Disconnect();
  con.SetLoginPrompt(false);
  con.OnLogin = [&](TSdbConnection*, std::string&, std::string&) { ++asked; };
  con.Connect();
  EXPECT_EQ(1, asked);
}

TEST_F(ConnectionTest, ConnectingWhileLoadingWaitsForTheEndOfLoading) {
  TComponent form;
  auto* con = new TSdbConnection(&form);
  SetUpAsProgram(*con);
  form.BeginLoading();
  con->SetIsConnected(true);
  EXPECT_FALSE(con->IsConnected());
  form.EndLoading();
  EXPECT_TRUE(con->IsConnected());
}

TEST_F(ConnectionTest, RenamingCarriesTheDataSetsThatNameTheConnection) {
  TComponent form;
  form.SetName("fm");
  auto* con = new TSdbConnection(&form);
  con->SetName("con");
  TSdbConnection elsewhere;
  TRecordingDataSet byName(nullptr, "byName", nullptr, &gCalls);
  byName.FDatabaseName = "CON";
  TRecordingDataSet byPath(nullptr, "byPath", nullptr, &gCalls);
  byPath.FDatabaseName = "fm.con";
  TRecordingDataSet other(nullptr, "other", &elsewhere, &gCalls);
  other.FDatabaseName = "con";
  TRecordingDataSet waiting(&form, "waiting", nullptr, &gCalls);
  waiting.FDatabaseName = "newcon";
  gCalls.clear();
  con->SetName("newcon");
  EXPECT_EQ((std::vector<std::string>{"byName.Renamed newcon", "byPath.Renamed fm.newcon",
                                      "waiting.Renamed newcon"}),
            gCalls);
  EXPECT_EQ("con", other.DatabaseName());
}

TEST_F(ConnectionTest, FolderConnectionsAreKeptByPathIgnoringCase) {
  uint32_t handle = 0;
  {
    TDynamicConnList list;
    EXPECT_EQ(0u, list.FindSameDatabasename(DataFolder()));
    handle = list.Add(DataFolder() + "db/");
    ASSERT_NE(0u, handle);
    std::string upper = DataFolder() + "DB/";
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(handle, list.FindSameDatabasename(upper));
    EXPECT_EQ(handle, list.FindOrAdd(DataFolder() + "db/"));
    EXPECT_EQ(1, list.Count());
    EXPECT_THROW(list.Add(DataFolder() + "missing"), ESDBDatabaseError);
    EXPECT_EQ(1, list.Count());
    uint16_t alive = 0;
    EXPECT_EQ(0u, SdbIsConnectionAlive(handle, &alive));
  }
  // The list's end disconnected its entries.
  uint16_t alive = 0;
  EXPECT_NE(0u, SdbIsConnectionAlive(handle, &alive));
}

}  // namespace
