// Stand-alone statements of a connection: Execute, the statement cache,
// parameter binding read back from the file, and the application id.
#include <gtest/gtest.h>

#include <cstring>

#include "fields.h"
#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

using sdbtesting::SqliteRows;

class Statements : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    con.SetLoginPrompt(false);
    con.SetConnectPath(Dictionary());
  }
  std::string Stored(const std::string& sql) { return SqliteRows(Dictionary(), sql).at(0).at(0); }
  TSdbConnection con;
};

TEST(StatementHash, SampledOverUtf16UnitsWithWrapAround) {
  EXPECT_EQ(0, SdbStatementHash(u""));
  EXPECT_EQ(0, SdbStatementHash(u"a"));  // the first unit never counts
  EXPECT_EQ(3626, SdbStatementHash(u"ab"));
  EXPECT_EQ(137825, SdbStatementHash(u"abc"));
  EXPECT_EQ(-1479257758, SdbStatementHash(u"SELECT 1"));
  EXPECT_EQ(2026819408, SdbStatementHash(u"0123456789abcde"));    // 15 units: every one
  EXPECT_EQ(-1914464137, SdbStatementHash(u"0123456789abcdef"));  // 16 units: sampled
}

TEST_F(Statements, ExecuteAnswersTheRowsAffected) {
  EXPECT_EQ(0, con.Execute("UPDATE CD_Currency SET UseOnBoard = TRUE WHERE ID = 99"));
  EXPECT_TRUE(con.IsConnected());  // Execute connects
  EXPECT_EQ(5, con.Execute("UPDATE CD_Currency SET UseOnBoard = TRUE"));
  EXPECT_EQ(2, con.Execute("INSERT INTO CD_ExchangeRatesBlockedUpdate VALUES ('USD', 'CHF'), "
                           "('USD', 'JPY')"));
  EXPECT_EQ("3", Stored("SELECT count(*) FROM CD_ExchangeRatesBlockedUpdate"));
  // A statement that has no row count (DDL) counts as 0 rows.
  EXPECT_EQ(0, con.Execute("CREATE TABLE T1 (A INTEGER)"));
  TSdbStatementOptions options;
  EXPECT_EQ(1, con.Execute(options, "INSERT INTO T1 VALUES (1)"));
}

TEST_F(Statements, ACursorComesBackAndStaysUsable) {
  uint32_t cursor = 0;
  EXPECT_EQ(0, con.Execute("SELECT SHORT FROM CD_Currency ORDER BY ID", nullptr, &cursor));
  ASSERT_NE(0u, cursor);
  ASSERT_EQ(0u, SdbGotoTop(cursor));
  char value[16] = {};
  uint32_t len = sizeof value;
  ASSERT_EQ(0u, SdbGetField(cursor, "SHORT", value, &len, SDB_RTRIM));
  EXPECT_STREQ("EUR", value);
  // Read-only: a cursor asked for here writes nothing.
  EXPECT_NE(0u, SdbSetField(cursor, "SHORT", "XXX", 3));
  SdbCloseTable(cursor);
}

TEST_F(Statements, TheCacheReusesAPreparedStatementForTheSameTextOnly) {
  const std::string smith = "UPDATE CD_Currency SET Description = 'Smith' WHERE ID = :id";
  const std::string upper = "UPDATE CD_Currency SET Description = 'SMITH' WHERE ID = :id";
  // The sampled hash does not see the difference.
  ASSERT_EQ(SdbStatementHash(Utf8ToUtf16(smith)), SdbStatementHash(Utf8ToUtf16(upper)));
  TParams params;
  params.CreateParam(ftInteger, "id")->SetAsInteger(1);
  EXPECT_EQ(1, con.Execute(smith, &params, nullptr, true));
  EXPECT_EQ(1, con.CachedStatementCount());
  params[0]->SetAsInteger(2);
  EXPECT_EQ(1, con.Execute(smith, &params, nullptr, true));  // a hit
  EXPECT_EQ(1, con.CachedStatementCount());
  params[0]->SetAsInteger(3);
  EXPECT_EQ(1, con.Execute(upper, &params, nullptr, true));
  EXPECT_EQ(2, con.CachedStatementCount());
  auto rows =
      SqliteRows(Dictionary(), "SELECT Description FROM CD_Currency WHERE ID <= 3 ORDER BY ID");
  EXPECT_EQ("Smith", rows.at(0).at(0));
  EXPECT_EQ("Smith", rows.at(1).at(0));
  EXPECT_EQ("SMITH", rows.at(2).at(0));
  // Commit, rollback and disconnect empty the cache.
  con.BeginTransaction();
  con.Commit();
  EXPECT_EQ(0, con.CachedStatementCount());
  con.Execute(smith, &params, nullptr, true);
  con.Disconnect();
  EXPECT_EQ(0, con.CachedStatementCount());
}

TEST_F(Statements, AStatementThatFailsToPrepareIsNotCached) {
  EXPECT_THROW(con.Execute("UPDATE CD_Nothing SET A = 1", nullptr, nullptr, true),
               ESDBDatabaseError);
  EXPECT_EQ(0, con.CachedStatementCount());
  // The same text succeeds once the table exists: nothing stale was kept.
  con.Execute("CREATE TABLE CD_Nothing (A INTEGER)");
  EXPECT_EQ(0, con.Execute("UPDATE CD_Nothing SET A = 1", nullptr, nullptr, true));
  EXPECT_EQ(1, con.CachedStatementCount());
}

TEST_F(Statements, EveryBoundTypeArrivesInTheFile) {
  con.Execute(
      "CREATE TABLE P (ID INTEGER, L LOGICAL, F DOUBLE, C MONEY, D DATE, T TIME, TS TIMESTAMP, "
      "DT TIMESTAMP, B BLOB, VB BLOB, G BLOB, BY BLOB, W NVARCHAR(20), WM NMEMO, S CHAR(20), "
      "SI SHORT, I INTEGER, WD INTEGER, BC NUMERIC(10,2), AI INTEGER, M MEMO, FM MEMO, "
      "FC CHAR(5), LI NUMERIC(15,0), N CHAR(5), FB CHAR(5))");
  TParams p;
  auto add = [&](TFieldType type, const char* name) { return p.CreateParam(type, name); };
  add(ftInteger, "id")->SetValue(Variant(1));
  add(ftBoolean, "l")->SetValue(Variant(true));
  add(ftFloat, "f")->SetValue(Variant(2.5));
  add(ftCurrency, "c")->SetValue(Variant(3.25));
  add(ftDate, "d")->SetValue(Variant::FromDateTime(EncodeDate(1899, 12, 30)));
  add(ftTime, "t")->SetValue(Variant::FromDateTime(0.75 + 1.0 / 86400000));
  add(ftDateTime, "ts")->SetValue(Variant::FromDateTime(EncodeDate(2024, 2, 29) + 0.5));
  // Rounding up to a whole day carries into the next one.
  add(ftTimeStamp, "dt")->SetValue(Variant::FromDateTime(EncodeDate(2024, 2, 29) + 0.9999999999));
  add(ftBlob, "b")->SetValue(Variant::FromBytes("\x01\x00\x02", 3));
  add(ftVarBytes, "vb")->SetValue(Variant::FromBytes("ab", 2));
  add(ftGraphic, "g")->SetValue(Variant::FromBytes("g", 1));
  add(ftBytes, "by")->SetValue(Variant::FromBytes("\xff", 1));
  add(ftWideString, "w")->SetValue(Variant("Zürich €"));
  add(ftWideMemo, "wm")->SetValue(Variant("Ω"));
  add(ftString, "s")->SetValue(Variant("text"));
  add(ftSmallint, "si")->SetValue(Variant(-7));
  add(ftInteger, "i")->SetValue(Variant(123456));
  add(ftWord, "wd")->SetValue(Variant(65535));
  add(ftBCD, "bc")->SetValue(Variant(12.5));
  add(ftAutoInc, "ai")->SetValue(Variant(9));
  add(ftMemo, "m")->SetValue(Variant("memo"));
  add(ftFmtMemo, "fm")->SetValue(Variant("fmt"));
  add(ftFixedChar, "fc")->SetValue(Variant("ab"));
  add(ftLargeint, "li")->SetValue(Variant(123456789012LL));
  add(ftString, "n")->SetValue(Variant::Null());
  add(ftFMTBcd, "fb")->SetValue(Variant(2.25));  // as text, like ftBCD
  EXPECT_EQ(1, con.Execute("INSERT INTO P VALUES (:id, :l, :f, :c, :d, :t, :ts, :dt, :b, :vb, :g, "
                           ":by, :w, :wm, :s, :si, :i, :wd, :bc, :ai, :m, :fm, :fc, :li, :n, :fb)",
                           &p));
  auto row =
      SqliteRows(Dictionary(),
                 "SELECT L, F, C, D, T, TS, DT, hex(B), VB, G, hex(BY), W, WM, S, SI, I, WD, "
                 "BC, AI, M, FM, FC, LI, N, FB FROM P")
          .at(0);
  EXPECT_EQ((std::vector<std::string>{"1",
                                      "2.5",
                                      "3.25",
                                      "1899-12-30",
                                      "18:00:00.001",
                                      "2024-02-29 12:00:00.000",
                                      "2024-03-01 00:00:00.000",
                                      "010002",
                                      "ab",
                                      "g",
                                      "FF",
                                      "Zürich €",
                                      "Ω",
                                      "text",
                                      "-7",
                                      "123456",
                                      "65535",
                                      "12.5",
                                      "9",
                                      "memo",
                                      "fmt",
                                      "ab",
                                      "123456789012.0",
                                      "<null>",
                                      "2.25"}),
            row);
}

TEST_F(Statements, ADateBeforeTheBaseWithATimeGetsWholeDaysByFloor) {
  con.Execute("CREATE TABLE P (TS TIMESTAMP, D DATE, T TIME)");
  TParams p;
  // 1899-12-29 18:00: -0.75 days.
  p.CreateParam(ftDateTime, "ts")->SetValue(Variant::FromDateTime(-0.75));
  p.CreateParam(ftDate, "d")->SetValue(Variant::FromDateTime(-0.75));
  p.CreateParam(ftTime, "t")->SetValue(Variant::FromDateTime(-0.75));
  con.Execute("INSERT INTO P VALUES (:ts, :d, :t)", &p);
  auto row = SqliteRows(Dictionary(), "SELECT TS, D, T FROM P").at(0);
  EXPECT_EQ("1899-12-29 06:00:00.000", row[0]);
  EXPECT_EQ("1899-12-29", row[1]);
  EXPECT_EQ("06:00:00.000", row[2]);
}

TEST_F(Statements, RefusedTypesFailBeforeAnythingRuns) {
  con.Execute("CREATE TABLE P (A CHAR(5))");
  auto refused = [&](TFieldType type, const std::string& text) {
    TParams p;
    p.CreateParam(ftString, "ok")->SetValue(Variant("x"));
    TParam* bad = p.CreateParam(type, "bad");
    bad->SetValue(Variant("y"));
    bad->SetDataType(type);  // a value does not give an ftUnknown parameter a type here
    try {
      con.Execute("INSERT INTO P VALUES (:ok || :bad)", &p);
      ADD_FAILURE() << "bound type " << type;
    } catch (const ESDBDatabaseError& e) {
      EXPECT_EQ(text, e.Message());
      EXPECT_EQ(5121u, e.EngineErrorCode());
    }
  };
  refused(ftUnknown, "The field named: 'bad' has the DataType of ftUnknown, which is invalid.");
  // The types no binding exists for are refused too rather than left
  // without a value.
  for (TFieldType type :
       {ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftADT, ftArray, ftReference, ftDataSet,
        ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, ftFixedWideChar,
        ftOraTimeStamp, ftLongWord, ftSingle})
    refused(type, "The field named: 'bad' has a DataType that is not supported.");
  {
    TParams p;
    p.CreateParam(ftDateTime, "far")->SetValue(Variant::FromDateTime(3e9));
    try {
      con.Execute("INSERT INTO P VALUES (:far)", &p);
      ADD_FAILURE() << "a julian day past 32 bits was bound";
    } catch (const ESDBDatabaseError& e) {
      EXPECT_EQ("The field named: 'far' has a value out of range.", e.Message());
    }
  }
  EXPECT_EQ("0", Stored("SELECT count(*) FROM P"));
}

TEST_F(Statements, TheApplicationIdGoesToTheServerAndComesBack) {
  con.SetApplicationID("Tessaly");
  EXPECT_EQ("Tessaly", con.ApplicationID());  // stored while disconnected
  con.Connect();                              // sent on connect
  EXPECT_EQ("Tessaly", con.ApplicationID());  // read from the server
  con.SetApplicationID("Other");
  EXPECT_EQ("Other", con.ApplicationID());
  TSdbConnection second;
  second.SetConnectPath(Dictionary());
  second.SetLoginPrompt(false);
  second.Connect();
  EXPECT_EQ("", second.ApplicationID());  // per connection
}

}  // namespace
