// Tests of live SQL cursors: a SELECT of one table asked for as updatable
// follows the table and writes through to it; other results stay static.
#include "sdbengineTesting.h"

using namespace sdbtest;

namespace {

class SdbLive : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SDB_OK(
        Exec("CREATE TABLE Rate (ID INTEGER, CODE CHAR(3), NAME CICHAR(20), AMOUNT DOUBLE);"
             "INSERT INTO Rate (ID, CODE, NAME, AMOUNT) VALUES (1, 'EUR', 'Euro', 1.0), "
             "(2, 'USD', 'Dollar', 1.1), (3, 'CHF', 'Franc', 0.9), (4, 'GBP', 'Pound', 0.8);"));
    SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  }
  void TearDown() override {
    SdbCloseSQLStatement(stmt);
    EngineTest::TearDown();
  }

  // Runs a SELECT asking for a live cursor (as an updatable query does).
  SDBHANDLE Query(const std::string& sql, bool live = true) {
    EXPECT_EQ(0u, SdbStmtSetTableReadOnly(stmt, live ? 2 : 1));
    SDBHANDLE cursor = 0;
    EXPECT_EQ(0u, SdbExecuteSQLDirectW(stmt, U16(sql).c_str(), &cursor)) << LastError();
    return cursor;
  }
  static bool IsLive(SDBHANDLE cursor) {
    uint16_t isCursor = 0, live = 9;
    EXPECT_EQ(0u, SdbSqlPeekStatement(cursor, &isCursor, &live)) << LastError();
    EXPECT_EQ(1, isCursor);
    return live == 1;
  }
  // The CODE values from top to bottom.
  static std::string Codes(SDBHANDLE h) {
    std::string out;
    EXPECT_EQ(0u, SdbGotoTop(h));
    while (!AtEof(h)) {
      out += Get(h, "CODE") + " ";
      EXPECT_EQ(0u, SdbSkip(h, 1));
    }
    return out;
  }

  SDBHANDLE stmt = 0;
};

}  // namespace

TEST_F(SdbLive, FollowsWritesOfAnotherConnection) {
  SDBHANDLE cursor = Query("SELECT * FROM Rate WHERE AMOUNT < 1.05");
  ASSERT_NE(0u, cursor);
  EXPECT_TRUE(IsLive(cursor));
  uint32_t options = 0;
  SDB_OK(SdbGetTableOpenOptions(cursor, &options));
  EXPECT_EQ(0u, options & SDB_OPEN_READONLY);
  EXPECT_EQ("EUR CHF GBP ", Codes(cursor));
  SDB_OK(SdbGotoTop(cursor));
  SDB_OK(SdbSkip(cursor, 1));
  EXPECT_EQ(3u, RecNo(cursor));  // the table's record numbers

  SDBHANDLE other = 0;
  SDB_OK(SdbConnect(dd.c_str(), &other));
  SDB_OK(Exec(other,
              "UPDATE Rate SET NAME = 'Swiss franc' WHERE ID = 3;"
              "UPDATE Rate SET AMOUNT = 2 WHERE ID = 4;"
              "INSERT INTO Rate (ID, CODE, NAME, AMOUNT) VALUES (5, 'JPY', 'Yen', 0.01);"));
  SDB_EXPECT_OK(SdbRefreshRecord(cursor));
  EXPECT_EQ("Swiss franc", Get(cursor, "NAME"));
  EXPECT_EQ("EUR CHF JPY ", Codes(cursor));
  EXPECT_EQ(3u, Count(cursor));

  SDB_OK(Exec(other, "DELETE FROM Rate WHERE ID = 1"));
  SDB_OK(SdbGotoBottom(cursor));
  EXPECT_EQ("JPY", Get(cursor, "CODE"));
  SDB_OK(SdbSkip(cursor, -1));
  EXPECT_EQ("CHF", Get(cursor, "CODE"));
  SDB_OK(SdbSkip(cursor, -1));
  EXPECT_TRUE(AtBof(cursor));
  SdbDisconnect(other);
}

TEST_F(SdbLive, WritesThroughTheCursorReachTheTable) {
  SDBHANDLE cursor = Query("SELECT * FROM Rate WHERE ID > 1");
  ASSERT_TRUE(IsLive(cursor));
  SDB_OK(SdbGotoTop(cursor));
  ASSERT_EQ("USD", Get(cursor, "CODE"));
  SDB_OK(Set(cursor, "NAME", "US dollar"));
  SDB_OK(SdbWriteRecord(cursor));

  SDB_OK(SdbAppendRecord(cursor));
  uint32_t appended = RecNo(cursor);
  EXPECT_EQ(5u, appended);
  SDB_OK(Set(cursor, "ID", "5"));
  SDB_OK(Set(cursor, "CODE", "SEK"));
  SDB_OK(SdbWriteRecord(cursor));
  EXPECT_EQ(appended, RecNo(cursor));

  SDB_OK(SdbGotoRecord(cursor, 3));
  SDB_OK(SdbDeleteRecord(cursor));

  SDBHANDLE table = Open("Rate");
  SDB_OK(SdbGotoRecord(table, 2));
  EXPECT_EQ("US dollar", Get(table, "NAME"));
  SDB_OK(SdbGotoRecord(table, 5));
  EXPECT_EQ("SEK", Get(table, "CODE"));
  EXPECT_EQ(SDB_E_NO_SUCH_RECORD, SdbGotoRecord(table, 3));

  SDBHANDLE again = 0;
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT CODE, NAME FROM Rate ORDER BY ID", &again));
  EXPECT_TRUE(IsLive(again));
  EXPECT_EQ("EUR USD GBP SEK ", Codes(again));
  SDB_OK(SdbGotoTop(again));
  SDB_OK(SdbSkip(again, 1));
  EXPECT_EQ("US dollar", Get(again, "NAME"));
  SdbCloseTable(table);
}

TEST_F(SdbLive, LocksConflictWithOtherConnections) {
  SDBHANDLE cursor = Query("SELECT * FROM Rate");
  ASSERT_TRUE(IsLive(cursor));
  SDBHANDLE other = 0;
  SDB_OK(SdbConnect(dd.c_str(), &other));
  SDBHANDLE table = Open("Rate", 0, other);
  SDB_OK(SdbLockRecord(table, 2));
  SDB_OK(SdbGotoRecord(cursor, 2));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(cursor, 0));
  SDB_OK(Set(cursor, "CODE", "XXX"));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbWriteRecord(cursor));
  SDB_OK(SdbCancelUpdate(cursor));
  SDB_OK(SdbUnlockRecord(table, 2));
  SDB_OK(SdbLockRecord(cursor, 0));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(table, 2));
  SDB_OK(SdbCloseTable(cursor));  // its locks go with it
  SDB_EXPECT_OK(SdbLockRecord(table, 2));
  SdbCloseTable(table);
  SdbDisconnect(other);
}

TEST_F(SdbLive, OtherResultsStayStaticAndReadOnly) {
  SDB_OK(
      Exec("CREATE TABLE Pair (CODE CHAR(3), BARRED LOGICAL);"
           "INSERT INTO Pair (CODE, BARRED) VALUES ('USD', TRUE);"));
  for (const char* sql : {
           "SELECT r.* FROM Rate r JOIN Pair p ON p.CODE = r.CODE",
           "SELECT count(*) AS N FROM Rate",
           "SELECT CODE, count(*) FROM Rate GROUP BY CODE",
           "SELECT DISTINCT CODE FROM Rate",
           "SELECT * FROM Rate UNION SELECT * FROM Rate",
           "SELECT ID, CODE, NAME, AMOUNT * 2 AS AMOUNT FROM Rate",
           "SELECT ID, CODE AS NAME, NAME AS CODE, AMOUNT FROM Rate",
           "SELECT CODE, NAME, CODE FROM Rate",
           "SELECT CODE, upper(NAME) AS NAME FROM Rate",
       }) {
    SCOPED_TRACE(sql);
    SDBHANDLE cursor = Query(sql);
    ASSERT_NE(0u, cursor);
    EXPECT_FALSE(IsLive(cursor));
    uint32_t options = 0;
    SDB_OK(SdbGetTableOpenOptions(cursor, &options));
    EXPECT_NE(0u, options & SDB_OPEN_READONLY);
    SDB_OK(SdbGotoTop(cursor));
    EXPECT_EQ(SDB_E_STATIC_CURSOR, SdbSetField(cursor, SDB_FIELD(1), "1", 1));
    EXPECT_EQ(SDB_E_STATIC_CURSOR, SdbAppendRecord(cursor));
    EXPECT_EQ(SDB_E_STATIC_CURSOR, SdbLockRecord(cursor, 0));
    SdbCloseTable(cursor);
  }
  // Not asked for: static even where it could be live.
  SDBHANDLE cursor = Query("SELECT * FROM Rate", false);
  EXPECT_FALSE(IsLive(cursor));
  SDB_OK(Exec("UPDATE Rate SET CODE = 'ZZZ' WHERE ID = 1"));
  EXPECT_EQ("EUR USD CHF GBP ", Codes(cursor));
}

TEST_F(SdbLive, ParametersAndOrderOfTheStatement) {
  SDB_OK(SdbStmtSetTableReadOnly(stmt, 2));
  SDB_OK(SdbPrepareSQLW(stmt,
                        u"SELECT * FROM Rate WHERE AMOUNT < :top AND CODE <> :skip "
                        u"ORDER BY NAME DESC"));
  SDB_OK(SdbSetDouble(stmt, "top", 1.05));
  SDB_OK(SdbSetString(stmt, "skip", "CHF", 3));
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQL(stmt, &cursor));
  ASSERT_TRUE(IsLive(cursor));
  uint32_t rows = 0;
  SDB_OK(SdbGetRecordCount(stmt, SDB_IGNOREFILTERS, &rows));
  EXPECT_EQ(2u, rows);
  // The values bound when it ran hold for the cursor's life.
  SDB_OK(SdbSetDouble(stmt, "top", 100));
  EXPECT_EQ("GBP EUR ", Codes(cursor));

  SDB_OK(Exec("INSERT INTO Rate (ID, CODE, NAME, AMOUNT) VALUES (5, 'NOK', 'Krone', 0.1);"));
  EXPECT_EQ("GBP NOK EUR ", Codes(cursor));
  SDB_OK(SdbGotoBottom(cursor));
  EXPECT_EQ("EUR", Get(cursor, "CODE"));
  SDB_OK(SdbSkip(cursor, -1));
  EXPECT_EQ("NOK", Get(cursor, "CODE"));

  // A record written out of the selection stays current; moving on finds
  // its neighbours in the order read before.
  SDB_OK(Set(cursor, "AMOUNT", "5"));
  SDB_OK(SdbWriteRecord(cursor));
  EXPECT_EQ("Krone", Get(cursor, "NAME"));
  SDB_OK(SdbSkip(cursor, 1));
  EXPECT_EQ("EUR", Get(cursor, "CODE"));
  SDB_OK(SdbGotoRecord(cursor, 5));
  SDB_OK(SdbSkip(cursor, -1));
  EXPECT_EQ("GBP", Get(cursor, "CODE"));
  EXPECT_EQ("GBP EUR ", Codes(cursor));
  EXPECT_EQ(2u, Count(cursor));
}

TEST_F(SdbLive, SomeFieldsOfTheTable) {
  SDB_OK(
      Exec("CREATE TABLE Fleet (N AUTOINC, CODE CHAR(3), NOTE MEMO, "
           "SEATS INTEGER DEFAULT 4, NAME CHAR(10));"
           "INSERT INTO Fleet (CODE, NOTE, SEATS, NAME) VALUES "
           "('VAN', 'long text', 3, 'Transit'), ('BUS', NULL, 50, 'Coach');"));
  SDBHANDLE cursor = Query("SELECT NAME, NOTE, CODE FROM Fleet WHERE SEATS < 10");
  ASSERT_TRUE(IsLive(cursor));
  uint16_t fields = 0;
  SDB_OK(SdbGetNumFields(cursor, &fields));
  EXPECT_EQ(3, fields);
  char name[32];
  uint16_t len = sizeof name;
  SDB_OK(SdbGetFieldName(cursor, 1, name, &len));
  EXPECT_STREQ("NAME", name);
  uint32_t recordLength = 0, tableLength = 0;
  SDB_OK(SdbGetRecordLength(cursor, &recordLength));
  SDBHANDLE whole = Open("Fleet");
  SDB_OK(SdbGetRecordLength(whole, &tableLength));
  SdbCloseTable(whole);
  EXPECT_EQ(tableLength - 4 - 4, recordLength);  // without the two integers left out
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("Transit", Get(cursor, "NAME"));
  EXPECT_EQ("long text", Get(cursor, "NOTE"));
  EXPECT_EQ(SDB_E_FIELD_NOT_FOUND, SdbSetField(cursor, "SEATS", "9", 1));

  // A write changes the fields shown and nothing else.
  SDB_OK(Set(cursor, "NAME", "Crafter"));
  SDB_OK(Set(cursor, "NOTE", "other text"));
  SDB_OK(SdbWriteRecord(cursor));
  // An append gives the fields left out their defaults and the engine's values.
  SDB_OK(SdbAppendRecord(cursor));
  SDB_OK(Set(cursor, "CODE", "CAR"));
  SDB_OK(Set(cursor, "NAME", "Estate"));
  SDB_OK(SdbWriteRecord(cursor));
  EXPECT_EQ(3u, RecNo(cursor));
  std::string names;
  SDB_OK(SdbGotoTop(cursor));
  for (; !AtEof(cursor); SdbSkip(cursor, 1)) names += Get(cursor, "NAME") + " ";
  EXPECT_EQ("Crafter Estate ", names);

  SDBHANDLE table = Open("Fleet");
  SDB_OK(SdbGotoRecord(table, 1));
  EXPECT_EQ("Crafter", Get(table, "NAME"));
  EXPECT_EQ("other text", Get(table, "NOTE"));
  EXPECT_EQ("3", Get(table, "SEATS"));
  EXPECT_EQ("1", Get(table, "N"));
  SDB_OK(SdbGotoRecord(table, 3));
  EXPECT_EQ("CAR", Get(table, "CODE"));
  EXPECT_EQ("4", Get(table, "SEATS"));
  EXPECT_EQ("3", Get(table, "N"));

  // The table's own handle and the cursor keep their own field lists.
  SDB_OK(Set(table, "SEATS", "5"));
  SDB_OK(SdbWriteRecord(table));
  SDB_OK(SdbGotoRecord(cursor, 3));
  SDB_OK(Set(cursor, "NAME", "Wagon"));
  SDB_OK(SdbWriteRecord(cursor));
  SDB_OK(SdbRefreshRecord(table));
  EXPECT_EQ("Wagon", Get(table, "NAME"));
  EXPECT_EQ("5", Get(table, "SEATS"));
  SdbCloseTable(table);
}

TEST_F(SdbLive, FreeTablesOfAFolder) {
  SDBHANDLE folder = 0;
  SDB_OK(SdbConnect(dir.path.c_str(), &folder));
  SDB_OK(Exec(folder,
              "CREATE TABLE Loose (CODE CHAR(3), N INTEGER);"
              "INSERT INTO Loose (CODE, N) VALUES ('A', 1), ('B', 2);"));
  SDBHANDLE s = 0;
  SDB_OK(SdbCreateSQLStatement(folder, &s));
  SDB_OK(SdbStmtSetTableReadOnly(s, 2));
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQLDirectW(s, u"SELECT * FROM Loose WHERE N > 1", &cursor));
  ASSERT_TRUE(IsLive(cursor));
  SDB_OK(SdbGotoTop(cursor));
  SDB_OK(Set(cursor, "CODE", "Z"));
  SDB_OK(SdbWriteRecord(cursor));
  SDBHANDLE table = Open("Loose", 0, folder);
  SDB_OK(SdbGotoRecord(table, 2));
  EXPECT_EQ("Z", Get(table, "CODE"));
  SdbCloseTable(table);
  SdbCloseSQLStatement(s);
  SdbDisconnect(folder);
}

TEST_F(SdbLive, MemoFieldsReadAndWritten) {
  SDB_OK(
      Exec("CREATE TABLE Note (CODE CHAR(3), BODY MEMO);"
           "INSERT INTO Note (CODE, BODY) VALUES ('A', 'first text'), ('B', NULL);"));
  SDBHANDLE cursor = Query("SELECT * FROM Note WHERE CODE = 'B' OR BODY IS NOT NULL");
  ASSERT_TRUE(IsLive(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("first text", Get(cursor, "BODY"));
  SDB_OK(SdbSkip(cursor, 1));
  uint16_t empty = 0;
  SDB_OK(SdbIsEmpty(cursor, "BODY", &empty));
  EXPECT_EQ(1, empty);
  SDB_OK(Set(cursor, "BODY", "second text"));
  SDB_OK(SdbWriteRecord(cursor));
  SDBHANDLE table = Open("Note");
  SDB_OK(SdbGotoRecord(table, 2));
  EXPECT_EQ("second text", Get(table, "BODY"));
  SdbCloseTable(table);
}
