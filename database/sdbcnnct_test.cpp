// TSdbConnection on real dictionaries: connecting and disconnecting, paths
// and aliases, transactions, listings and questions about the server.
#include "sdbcnnct.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "dataset.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

using sdbtesting::DictionaryTest;

std::vector<std::string> gCalls;

// A stand-in for a dataset attached to a connection: it records what the
// connection asks of it.
class TRecordingDataSet : public TComponent, public TSdbDataSetInterface {
 public:
  TRecordingDataSet(TComponent* owner, const std::string& name, TSdbConnection* connection)
      : TComponent(owner), FConnection(connection) {
    SetName(name);
    TSdbDataSetList::Add(this);
    if (connection) connection->AddTableToConnectList(this);
  }
  ~TRecordingDataSet() override {
    if (FConnection) FConnection->RemoveTableFromConnectList(this);
    TSdbDataSetList::Remove(this);
  }
  TComponent* DataSetComponent() override { return this; }
  TSdbConnection* SdbConnection() const override { return FConnection; }
  const std::string& DatabaseName() const override { return FDatabaseName; }
  const std::string& TableName() const override { return FTableName; }
  std::string GetDatabasePath() override {
    return FConnection ? FConnection->GetConnectionPath() : "";
  }
  void CloseDataSet() override {
    gCalls.push_back(Name() + ".Close");
    if (failClose) throw EDatabaseError("close failed");
  }
  void InvalidateEngineHandles() override { gCalls.push_back(Name() + ".InvalidateEngineHandles"); }
  void CancelPendingEdit() override {
    gCalls.push_back(Name() + ".Cancel" +
                     (FConnection->TransactionActive() ? " in transaction" : ""));
  }
  void RefreshIfBrowsing() override { gCalls.push_back(Name() + ".Refresh"); }
  void UpdateDefaultIndex() override { gCalls.push_back(Name() + ".UpdateDefaultIndex"); }
  void ConnectionDestroyed() override {
    gCalls.push_back(Name() + ".ConnectionDestroyed");
    FConnection = nullptr;
  }
  void ConnectionRenamed(const std::string& databaseName) override {
    gCalls.push_back(Name() + ".Renamed " + databaseName);
    FDatabaseName = databaseName;
  }
  void FollowAliasTableType(TSdbConnectionTableTypes type) override {
    gCalls.push_back(Name() + ".TableType " + std::to_string(type));
  }

  std::string FDatabaseName, FTableName = "CD_Currency";
  bool failClose = false;

 private:
  TSdbConnection* FConnection;
};

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
  TRecordingDataSet a(&form, "a", con), b(&form, "b", con);
  b.failClose = true;  // a close that fails does not stop the disconnect
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

TEST_F(ConnectionTest, DestructionClosesAttachedDataSetsAndLeavesTheList) {
  int before = TSdbConnectionList::Count();
  TComponent form;
  auto* con = new TSdbConnection(&form);
  SetUpAsProgram(*con);
  RecordEvents(*con);
  TRecordingDataSet a(nullptr, "a", con);
  a.failClose = true;  // destruction goes on
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

}  // namespace
