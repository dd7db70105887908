// Tests of SQL statements through the C API: DDL with the engine's types,
// parameters, static cursors, failures and statement handles.
#include <chrono>
#include <cstring>
#include <thread>

#include "sdbengineTesting.h"

using namespace sdbtest;

namespace {

class SdbSql : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SDB_OK(SdbCreateSQLStatement(conn, &stmt));
    SDB_OK(
        Exec("CREATE TABLE CD_Currency (ID DOUBLE, SHORT CHAR(3), NAME CICHAR(20), "
             "INUSE LOGICAL, CHANGED DATE);"
             "INSERT INTO CD_Currency (ID, SHORT, NAME, INUSE, CHANGED) VALUES "
             "(1, 'EUR', 'Euro', TRUE, '2024-01-02'), (2, 'USD', 'Dollar', TRUE, NULL), "
             "(3, 'CHF', 'Franc', FALSE, NULL);"));
  }
  void TearDown() override {
    SdbCloseSQLStatement(stmt);
    EngineTest::TearDown();
  }
  uint32_t Prepare(const std::string& sql) { return SdbPrepareSQLW(stmt, U16(sql).c_str()); }

  SDBHANDLE stmt = 0;
};

}  // namespace

TEST_F(SdbSql, SelectGivesACursorThatNavigatesLikeATable) {
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQLDirectW(
      stmt, u"SELECT SHORT, NAME, ID * 10 AS TEN FROM CD_Currency WHERE INUSE ORDER BY SHORT",
      &cursor));
  ASSERT_NE(0u, cursor);
  uint16_t type = 0, fields = 0, isCursor = 0, live = 1;
  SDB_OK(SdbGetHandleType(cursor, &type));
  EXPECT_EQ(SDB_HANDLE_CURSOR, type);
  SDB_OK(SdbSqlPeekStatement(cursor, &isCursor, &live));
  EXPECT_EQ(1, isCursor);
  EXPECT_EQ(0, live);
  SDB_OK(SdbGetNumFields(cursor, &fields));
  EXPECT_EQ(3, fields);
  SDB_OK(SdbGetFieldType(cursor, "SHORT", &type));
  EXPECT_EQ(SDB_STRING, type);
  SDB_OK(SdbGetFieldType(cursor, "NAME", &type));
  EXPECT_EQ(SDB_CISTRING, type);
  EXPECT_EQ(2u, Count(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("EUR", Get(cursor, "SHORT"));
  EXPECT_EQ("10", Get(cursor, "TEN").substr(0, 2));
  SDB_OK(SdbSkip(cursor, 1));
  EXPECT_EQ("Dollar", Get(cursor, "NAME"));
  SDB_OK(SdbSkip(cursor, 1));
  EXPECT_TRUE(AtEof(cursor));
  SDB_OK(SdbGotoBottom(cursor));
  EXPECT_EQ("USD", Get(cursor, "SHORT"));
  uint32_t length = 0;
  SDB_OK(SdbGetRecordLength(cursor, &length));
  std::vector<uint8_t> image(length);
  SDB_OK(SdbGetRecord(cursor, image.data(), &length));
  EXPECT_EQ("USD", std::string(reinterpret_cast<char*>(image.data()), 3));

  // Static: writes are refused, later changes do not show.
  EXPECT_EQ(SDB_E_STATIC_CURSOR, Set(cursor, "SHORT", "XXX"));
  EXPECT_EQ(SDB_E_STATIC_CURSOR, SdbLockRecord(cursor, 0));
  uint32_t options = 0;
  SDB_OK(SdbGetTableOpenOptions(cursor, &options));
  EXPECT_TRUE(options & SDB_OPEN_READONLY);
  SDB_OK(Exec("DELETE FROM CD_Currency;"));
  EXPECT_EQ(2u, Count(cursor));
  SDB_OK(SdbCloseTable(cursor));
}

TEST_F(SdbSql, ParametersByNumberAndNameAndRowsAffected) {
  uint32_t count = 0;
  EXPECT_EQ(SDB_E_NO_ROW_COUNT, SdbGetRecordCount(stmt, SDB_IGNOREFILTERS, &count));
  SDB_OK(Prepare("UPDATE CD_Currency SET NAME = :name WHERE SHORT = :short OR ID = :id"));
  SDB_OK(SdbSetString(stmt, SDB_FIELD(1), "Swiss franc", 11));
  SDB_OK(SdbSetStringW(stmt, ":short", u"CHF", 3));
  SDB_OK(SdbSetEmpty(stmt, "id"));
  SDBHANDLE cursor = 7;
  SDB_OK(SdbExecuteSQL(stmt, &cursor));
  EXPECT_EQ(0u, cursor);
  SDB_OK(SdbGetRecordCount(stmt, SDB_IGNOREFILTERS, &count));
  EXPECT_EQ(1u, count);
  EXPECT_EQ(SDB_E_FIELD_NOT_FOUND, SdbSetDouble(stmt, SDB_FIELD(4), 1));
  EXPECT_EQ(SDB_E_FIELD_NOT_FOUND, SdbSetDouble(stmt, "nosuch", 1));

  SDB_OK(
      Prepare("SELECT NAME FROM CD_Currency WHERE INUSE = :inuse AND ID > :low "
              "AND (CHANGED = :day OR :day IS NULL)"));
  SDB_OK(SdbSetLogical(stmt, "inuse", 1));
  SDB_OK(SdbSetDouble(stmt, "low", 0.5));
  SDB_OK(SdbSetJulian(stmt, "day", 2460312));  // 2024-01-02, both markers
  SDB_OK(SdbExecuteSQL(stmt, &cursor));
  EXPECT_EQ(1u, Count(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("Euro", Get(cursor, "NAME"));

  SDB_OK(Prepare("INSERT INTO CD_Currency (ID, SHORT, CHANGED) VALUES (:id, :s, :when)"));
  SDB_OK(SdbSetDouble(stmt, SDB_FIELD(1), 4));
  SDB_OK(SdbSetString(stmt, SDB_FIELD(2), "GBP", 3));
  uint8_t ts[8];
  int32_t julian = 2415019, ms = 3723004;
  std::memcpy(ts, &julian, 4);
  std::memcpy(ts + 4, &ms, 4);
  SDB_OK(SdbSetTimeStampRaw(stmt, SDB_FIELD(3), ts, 8));
  SDB_OK(SdbExecuteSQL(stmt, nullptr));
  SDB_OK(
      SdbExecuteSQLDirectW(stmt, u"SELECT CHANGED FROM CD_Currency WHERE SHORT = 'GBP'", &cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("12/30/1899", Get(cursor, "CHANGED"));
}

TEST_F(SdbSql, DdlCreatesEngineTablesThatOpenWithTheirTypes) {
  SDB_OK(
      Exec("CREATE TABLE CD_ExchangeRates (ID DOUBLE, CURRPAIR CHAR(6), RATE NUMERIC(12,4), "
           "FLDUPDATED TIMESTAMP, NOTE MEMO, COUNTER AUTOINC);"
           "CREATE INDEX CURRPAIR ON CD_ExchangeRates (CURRPAIR);"));
  SDBHANDLE t = Open("CD_ExchangeRates");
  uint16_t type = 0;
  SDB_OK(SdbGetFieldType(t, "RATE", &type));
  EXPECT_EQ(SDB_NUMERIC, type);
  SDB_OK(SdbGetFieldType(t, "FLDUPDATED", &type));
  EXPECT_EQ(SDB_TIMESTAMP, type);
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(Set(t, "CURRPAIR", "EURUSD"));
  SDB_OK(SdbWriteRecord(t));
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT * FROM CD_ExchangeRates", &cursor));
  uint16_t fields = 0;
  SDB_OK(SdbGetNumFields(cursor, &fields));
  EXPECT_EQ(6, fields);  // the record number column stays hidden
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("EURUSD", Get(cursor, "CURRPAIR"));
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"INSERT INTO CD_ExchangeRates (CURRPAIR) VALUES ('USDEUR')",
                              nullptr));
  uint32_t autoinc = 0;
  SDB_OK(SdbGetLastAutoinc(stmt, &autoinc));
  EXPECT_EQ(2u, autoinc);
}

TEST_F(SdbSql, FailedStatementsAnswer7200WithSQLitesNativeError) {
  EXPECT_EQ(SDB_E_SQL, SdbExecuteSQLDirectW(stmt, u"SELECT nosuch FROM CD_Currency", nullptr));
  std::string text = LastError();
  EXPECT_NE(text.find("Error 7200:"), std::string::npos) << text;
  EXPECT_NE(text.find("NativeError = 1;"), std::string::npos) << text;
  EXPECT_EQ(SDB_E_SQL, SdbExecuteSQLDirectW(stmt, u"SELEKT 1", nullptr));
  EXPECT_EQ(SDB_E_SQL, Exec("CREATE TABLE X (A NOSUCHTYPE)"));
  EXPECT_EQ(SDB_E_SQL, Prepare("SELECT * FROM Nowhere"));
  // The statement stays usable.
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT COUNT(*) AS N FROM CD_Currency", &cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("3", Get(cursor, "N"));
}

TEST_F(SdbSql, StatementHandlesApplicationIdAndParameterScan) {
  SDBHANDLE s = 0, cursor = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &s));
  SDB_OK(SdbStmtSetTableReadOnly(s, 1));
  SDB_OK(SdbStmtSetTableType(s, SDB_TABLE_ADT));
  SDB_OK(SdbStmtSetTableCollation(s, ""));
  SDB_OK(SdbPrepareSQLW(s, u"execute procedure sp_setapplicationid(:FAppID)"));
  SDB_OK(SdbSetString(s, SDB_FIELD(1), "Tessaly", 7));
  SDB_OK(SdbExecuteSQL(s, nullptr));
  SDB_OK(SdbExecuteSQLDirectW(s, u"execute procedure sp_getapplicationid( )", &cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("Tessaly", Get(cursor, "ApplicationID"));
  SDB_OK(SdbCloseSQLStatement(s));
  EXPECT_EQ(SDB_E_STATEMENT_CLOSED, SdbCloseSQLStatement(s));
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbGotoTop(cursor));  // closed with its statement
  EXPECT_EQ(SDB_E_WRONG_HANDLE_KIND, SdbCloseSQLStatement(conn));

  char names[64];
  uint32_t len = sizeof names;
  SDB_OK(SdbGetSQLStmtParams("SELECT * FROM T WHERE A = :x AND B = ':y' AND C::int = :z", names,
                             &len));
  EXPECT_STREQ("x;z;", names);
  SDB_OK(SdbGetSQLStmtParams("SELECT 1", nullptr, nullptr));
}

TEST_F(SdbSql, ParameterMarkersFollowTheLayersRule) {
  auto names = [](const char* sql) {
    char buf[256];
    uint32_t len = sizeof buf;
    if (SdbGetSQLStmtParams(sql, buf, &len)) return "<error " + LastError() + ">";
    return std::string(buf, len);
  };
  // Quoted names after the colon may hold blanks; "::" is no marker; a
  // single colon always starts one, its name running to a blank, tab, line
  // break, ")", "," or ";".
  EXPECT_EQ("my p;s;i d;", names("WHERE A = :\"my p\" AND B = :'s' AND C = :`i d`"));
  EXPECT_EQ("x+1;y;;", names("WHERE A = :x+1 AND B::int = (:y) AND C = :"));
  EXPECT_EQ("a;b;c;d;e;", names("VALUES (:a,:b;:c\n:d\t:e)"));
  EXPECT_EQ(SDB_E_SQL, SdbGetSQLStmtParams("WHERE A = :\"open", nullptr, nullptr));
  // Another named form would be numbered apart from the layer's markers.
  EXPECT_EQ(SDB_E_SQL, Prepare("SELECT * FROM CD_Currency WHERE SHORT = @s"));

  SDB_OK(Prepare("SELECT NAME FROM CD_Currency WHERE SHORT = :\"my p\" OR ID = :'n'"));
  SDB_OK(SdbSetString(stmt, "my p", "EUR", 3));
  SDB_OK(SdbSetDouble(stmt, SDB_FIELD(2), 2));
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQL(stmt, &cursor));
  EXPECT_EQ(2u, Count(cursor));
}

// A raw SQLite connection holds the write lock of the dictionary for
// `holdMs`; answers the code of an INSERT through `s` meanwhile.
static uint32_t InsertWhileLocked(const std::string& dd, SDBHANDLE s, int holdMs) {
  sqlite3* raw = nullptr;
  EXPECT_EQ(SQLITE_OK, sqlite3_open(dd.c_str(), &raw));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
  });
  uint32_t rc =
      SdbExecuteSQLDirectW(s, u"INSERT INTO CD_Currency (ID, SHORT) VALUES (9, 'NOK')", nullptr);
  release.join();
  sqlite3_close(raw);
  return rc;
}

TEST_F(SdbSql, AStatementsOwnTimeoutBoundsItsLockWaits) {
  // The statement gives up after its own second although the connection
  // would wait ten; the connection's time-out applies again afterwards.
  SDB_OK(SdbSetSQLTimeout(stmt, 1));
  EXPECT_EQ(SDB_E_SQL, InsertWhileLocked(dd, stmt, 2500));
  EXPECT_NE(LastError().find("NativeError = 5;"), std::string::npos) << LastError();
  SDBHANDLE other = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &other));
  SDB_EXPECT_OK(InsertWhileLocked(dd, other, 2500));
  // A longer statement time-out outlasts a short one of the connection.
  SDB_OK(SdbSetSQLTimeout(conn, 1));
  SDB_OK(SdbSetSQLTimeout(other, 6));
  SDB_OK(Exec("DELETE FROM CD_Currency WHERE ID = 9"));
  SDB_EXPECT_OK(InsertWhileLocked(dd, other, 2500));
  SdbCloseSQLStatement(other);
}

TEST_F(SdbSql, TimesWrittenAnyWayAreStoredAndComparedAlike) {
  SDB_OK(
      Exec("CREATE TABLE Stamps (WHO CHAR(10), TS TIMESTAMP, TM TIME);"
           "INSERT INTO Stamps VALUES ('literal', '2026-12-09 12:00:00', '12:00');"
           "INSERT INTO Stamps VALUES ('fraction', '2026-12-09 12:00:00.5', '12:00:00.5');"));
  // The same instants through the record calls.
  SDBHANDLE t = Open("Stamps");
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(Set(t, "WHO", "record"));
  uint8_t ts[8];
  int32_t julian = 2461384, ms = 43200000;  // 2026-12-09 12:00
  std::memcpy(ts, &julian, 4);
  std::memcpy(ts + 4, &ms, 4);
  SDB_OK(SdbSetTimeStampRaw(t, "TS", ts, 8));
  SDB_OK(SdbSetMilliseconds(t, "TM", ms));
  SDB_OK(SdbWriteRecord(t));
  SDB_OK(SdbCloseTable(t));

  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT COUNT(*) AS N FROM Stamps GROUP BY TS, TM", &cursor));
  EXPECT_EQ(2u, Count(cursor));  // 12:00 twice, 12:00:00.5 once
  SDB_OK(SdbExecuteSQLDirectW(
      stmt, u"SELECT WHO FROM Stamps WHERE TS = '2026-12-09 12:00:00' AND TM = '12:00:00'",
      &cursor));
  EXPECT_EQ(2u, Count(cursor));
  SDB_OK(Prepare("SELECT WHO FROM Stamps WHERE TS = :ts OR TM = :tm"));
  SDB_OK(SdbSetString(stmt, "ts", "2026-12-09 12:00:00.500", 23));
  SDB_OK(SdbSetString(stmt, "tm", "12:00:00.5", 10));
  SDB_OK(SdbExecuteSQL(stmt, &cursor));
  EXPECT_EQ(1u, Count(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("fraction", Get(cursor, "WHO"));
  // Text that only looks like a time elsewhere in a literal stays as written.
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT 'at 12:00' AS T FROM Stamps", &cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("at 12:00", Get(cursor, "T"));
  // What is stored: one text per instant.
  SDB_OK(SdbExecuteSQLDirectW(stmt,
                              u"SELECT DISTINCT CAST(TS AS CHAR(30)) || '|' || TM AS T FROM Stamps "
                              u"WHERE WHO <> 'fraction'",
                              &cursor));
  EXPECT_EQ(1u, Count(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("2026-12-09 12:00:00.000|12:00:00.000", Get(cursor, "T"));
}

TEST_F(SdbSql, StaticCursorStepsBackwardsToTheFirstRowAcrossBatches) {
  SDBHANDLE cursor = 0;
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT SHORT FROM CD_Currency ORDER BY SHORT", &cursor));
  SDB_OK(SdbGotoBottom(cursor));
  std::string seen;
  while (!AtBof(cursor)) {
    seen += Get(cursor, "SHORT") + " ";
    SDB_OK(SdbSkip(cursor, -1));
  }
  EXPECT_EQ("USD EUR CHF ", seen);
  SDB_OK(SdbSkip(cursor, 1));  // from before the first row onto it
  EXPECT_EQ("CHF", Get(cursor, "SHORT"));
  EXPECT_EQ(1u, RecNo(cursor));
  SDB_OK(SdbGotoBottom(cursor));
  SDB_OK(SdbSkip(cursor, -2));
  EXPECT_EQ("CHF", Get(cursor, "SHORT"));
  SDB_OK(SdbSkip(cursor, -1));
  EXPECT_TRUE(AtBof(cursor));
  SDB_OK(SdbCloseTable(cursor));

  // More rows than one batch holds: every row once, in reverse, down to row 1.
  const int rows = 5000;
  SDB_OK(SdbExecuteSQLDirectW(stmt,
                              u"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                              u"WHERE x < 5000) SELECT x AS X FROM n",
                              &cursor));
  SDB_OK(SdbGotoBottom(cursor));
  int expected = rows, wrong = 0;
  while (!AtBof(cursor)) {
    if (Get(cursor, "X") != std::to_string(expected)) ++wrong;
    --expected;
    SDB_OK(SdbSkip(cursor, -1));
  }
  EXPECT_EQ(0, expected);
  EXPECT_EQ(0, wrong);
  SDB_OK(SdbGotoRecord(cursor, 2500));
  SDB_OK(SdbSkip(cursor, -2499));
  EXPECT_EQ("1", Get(cursor, "X"));
  SDB_OK(SdbSkip(cursor, -1));
  EXPECT_TRUE(AtBof(cursor));
  SDB_OK(SdbCloseTable(cursor));
}

// A prepared statement is compiled once and run again and again: each run
// binds its own values, and a table changed meanwhile (here by another
// connection, its fields now in another order) is read as it is now.
TEST_F(SdbSql, APreparedStatementRunsAgainWithNewValuesAndTheCurrentCatalog) {
  SDB_OK(Prepare("SELECT NAME FROM CD_Currency WHERE SHORT = :s"));
  SDBHANDLE cursor = 0;
  for (const char* which : {"EUR", "USD", "XXX"}) {
    SDB_OK(SdbSetString(stmt, "s", which, 3));
    SDB_OK(SdbExecuteSQL(stmt, &cursor));
    ASSERT_NE(0u, cursor);
    if (std::string(which) == "XXX") {
      EXPECT_EQ(0u, Count(cursor));
    } else {
      EXPECT_EQ(1u, Count(cursor)) << which;
      SDB_OK(SdbGotoTop(cursor));
      EXPECT_EQ(which == std::string("EUR") ? "Euro" : "Dollar", Get(cursor, "NAME"));
    }
    SDB_OK(SdbCloseTable(cursor));
  }

  SDB_OK(Exec("CREATE TABLE Pairs (A CHAR(3), B CHAR(3));"));
  SDB_OK(Prepare("INSERT INTO Pairs VALUES (:first, :second)"));
  SDB_OK(SdbSetString(stmt, SDB_FIELD(1), "one", 3));
  SDB_OK(SdbSetString(stmt, SDB_FIELD(2), "two", 3));
  SDB_OK(SdbExecuteSQL(stmt, nullptr));
  SDBHANDLE other = 0;
  SDB_OK(SdbConnect(dd.c_str(), &other));
  SDB_OK(Exec(other, "DROP TABLE Pairs; CREATE TABLE Pairs (B CHAR(3), A CHAR(3));"));
  SdbDisconnect(other);
  SDB_OK(SdbExecuteSQL(stmt, nullptr));  // the values go to the fields in their new order
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT A, B FROM Pairs", &cursor));
  ASSERT_EQ(1u, Count(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("two", Get(cursor, "A"));
  EXPECT_EQ("one", Get(cursor, "B"));
}

TEST_F(SdbSql, AStatementPreparedAfterAnotherConnectionChangedTheTableTakesTheTableAsItIsNow) {
  SDB_OK(
      Exec("CREATE TABLE Pairs (A CHAR(3), B CHAR(3));"
           "INSERT INTO Pairs VALUES ('a1', 'b1');"));
  SDBHANDLE other = 0, cursor = 0;
  SDB_OK(SdbConnect(dd.c_str(), &other));
  SDB_OK(Exec(other, "ALTER TABLE Pairs ADD COLUMN C CHAR(3)"));
  // The values fill the three fields the table has now, not the two this
  // connection saw last.
  SDB_OK(Prepare("INSERT INTO Pairs VALUES ('a2', 'b2', 'c2')"));
  SDB_OK(SdbExecuteSQL(stmt, nullptr));
  SDB_OK(Prepare("SELECT * FROM Pairs WHERE A = 'a2'"));
  SDB_OK(SdbExecuteSQL(stmt, &cursor));
  ASSERT_EQ(1u, Count(cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("c2", Get(cursor, "C"));
  SDB_OK(SdbCloseTable(cursor));
  // A table dropped there is missing here before anything runs on it.
  SDB_OK(Exec(other, "DROP TABLE Pairs"));
  uint32_t rc = Prepare("SELECT A FROM Pairs");
  if (rc == 0) rc = SdbExecuteSQL(stmt, &cursor);
  EXPECT_EQ(SDB_E_SQL, rc);
  EXPECT_NE(std::string::npos, LastError().find("no such table")) << LastError();
  SdbDisconnect(other);
}
