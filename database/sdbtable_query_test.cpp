// SQL queries on a real dictionary: the barred-pair question of the rate
// store, parameters of every bound type, live and static cursors, ExecSQL
// with RowsAffected, the statement handle's life, master and detail, and the
// query's refusals.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtable.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

using sdbtesting::ErrorOf;

class QueryTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    connection = std::make_unique<TSdbConnection>();
    connection->SetLoginPrompt(false);
    connection->SetConnectPath(Dictionary());
    query = std::make_unique<TSdbQuery>();
    query->SetSdbConnection(connection.get());
  }
  void TearDown() override {
    query.reset();
    connection.reset();
  }
  // The rate store's question: is the pair barred (in either order)?
  bool Barred(const std::string& a, const std::string& b) {
    query->Close();
    query->SQL().Clear();
    query->SQL().Add("SELECT * FROM CD_ExchangeRatesBlockedUpdate WHERE (Currency1 = '" + a +
                     "' AND Currency2 = '" + b + "') OR (Currency1 = '" + b +
                     "' AND Currency2 = '" + a + "')");
    query->Open();
    bool barred = !query->Eof();
    query->Close();
    return barred;
  }
  std::string Column(const std::string& sql) {
    auto rows = sdbtesting::SqliteRows(Dictionary(), sql);
    return rows.empty() ? "<no row>" : rows[0][0];
  }

  std::unique_ptr<TSdbConnection> connection;
  std::unique_ptr<TSdbQuery> query;
};

TEST_F(QueryTest, TheBarredPairQuestionInBothOrders) {
  EXPECT_TRUE(Barred("EUR", "GBP"));
  EXPECT_TRUE(Barred("GBP", "EUR"));
  EXPECT_FALSE(Barred("EUR", "USD"));
  EXPECT_FALSE(Barred("USD", "EUR"));
  // One statement handle serves every execution.
  uint32_t statement = query->StmtHandle();
  EXPECT_NE(statement, SdbNoHandle);
  EXPECT_TRUE(Barred("EUR", "GBP"));
  EXPECT_EQ(statement, query->StmtHandle());
  // Once closed, the next execution makes a new one.
  query->SdbCloseSQLStatement();
  EXPECT_EQ(query->StmtHandle(), SdbNoHandle);
  EXPECT_FALSE(Barred("CHF", "JPY"));
  EXPECT_NE(query->StmtHandle(), SdbNoHandle);
  EXPECT_NE(query->StmtHandle(), statement);
}

TEST_F(QueryTest, ChangingTheTextClosesTheQueryAndTheSameTextDoesNothing) {
  query->SetSQL("SELECT SHORT FROM CD_Currency ORDER BY SHORT");
  query->Open();
  EXPECT_EQ(query->FieldByName("SHORT")->AsString(), "CHF");
  EXPECT_TRUE(query->Prepared());
  query->SetSQL("SELECT SHORT FROM CD_Currency ORDER BY SHORT");
  EXPECT_TRUE(query->Active());
  query->SetSQL("SELECT SHORT FROM CD_Currency ORDER BY SHORT DESC");
  EXPECT_FALSE(query->Active());
  EXPECT_FALSE(query->Prepared());
  query->Open();
  EXPECT_EQ(query->FieldByName("SHORT")->AsString(), "USD");
  query->SQL().Add("");  // a change made to the list itself closes it too
  EXPECT_FALSE(query->Active());
}

TEST_F(QueryTest, MarkersGiveParametersAndTheTextGoesAsWritten) {
  query->SetSQL(
      "SELECT * FROM CD_Currency WHERE SHORT = :x AND Description <> ':y' AND ID::int = 1");
  ASSERT_EQ(query->ParamCount(), 1);
  EXPECT_EQ(query->Params()[0]->Name(), "x");
  // A name in double quotes may hold blanks; a name used twice gives two
  // parameters; values survive a rebuild by name.
  query->SetSQL("SELECT SHORT FROM CD_Currency WHERE SHORT = :\"the code\" OR SHORT = :other");
  ASSERT_EQ(query->ParamCount(), 2);
  query->ParamByName("the code")->SetAsString("EUR");
  query->ParamByName("other")->SetAsString("USD");
  query->SetSQL(
      "SELECT SHORT FROM CD_Currency WHERE SHORT = :\"the code\" OR SHORT = :other "
      "OR Description = ':other' ORDER BY SHORT");
  EXPECT_EQ(query->ParamCount(), 2);
  query->Open();
  EXPECT_EQ(query->RecordCount(), 2);
  EXPECT_EQ(query->FieldByName("SHORT")->AsString(), "EUR");
  query->Close();
  // Without ParamCheck the list stays as it is.
  query->SetParamCheck(false);
  query->SetSQL("SELECT * FROM CD_Currency WHERE SHORT = :a AND ID = :b AND ID = :c");
  EXPECT_EQ(query->ParamCount(), 2);
  // A text the engine's marker scan refuses is refused when it is set.
  query->SetParamCheck(true);
  uint32_t code = 0;
  ErrorOf([&] { query->SetSQL("SELECT * FROM CD_Currency WHERE SHORT = 'open"); }, &code);
  EXPECT_EQ(code, 7200u);
}

// The parameters are the markers the engine binds: none in comments or in a
// [bracketed name], so the values go to the places they were meant for.
TEST_F(QueryTest, MarkersInCommentsAndBracketedNamesAreNoParameters) {
  query->SetSQL(
      "SELECT SHORT AS [a:b] FROM CD_Currency -- :x\n"
      "WHERE /* :y */ SHORT = :first OR SHORT = :second ORDER BY SHORT");
  ASSERT_EQ(query->ParamCount(), 2);
  EXPECT_EQ(query->Params()[0]->Name(), "first");
  EXPECT_EQ(query->Params()[1]->Name(), "second");
  query->Params()[0]->SetAsString("USD");
  query->Params()[1]->SetAsString("CHF");
  query->Open();
  std::string codes;
  for (query->First(); !query->Eof(); query->Next())
    codes += query->FieldByName("a:b")->AsString() + " ";
  EXPECT_EQ(codes, "CHF USD ");
}

TEST_F(QueryTest, ParametersOfEveryBoundTypeFindTheirRow) {
  sdbtesting::RunSql(Dictionary(),
                     "CREATE TABLE P (L LOGICAL, F DOUBLE, D DATE, T TIME, TS TIMESTAMP, "
                     "B BLOB, W NCHAR(10), S CHAR(10), I INTEGER, N NUMERIC(10,2), M MEMO, "
                     "E CHAR(5));"
                     "INSERT INTO P VALUES (TRUE, 2.5, '2024-02-29', '18:00:00.001', "
                     "'2024-02-29 12:00:00', x'0102', 'Zürich', 'text', 42, 12.5, 'memo', NULL);"
                     "INSERT INTO P VALUES (FALSE, 0, NULL, NULL, NULL, NULL, NULL, 'other', 0, "
                     "0, NULL, 'x');");
  query->SetSQL(
      "SELECT S FROM P WHERE L = :l AND F = :f AND D = :d AND T = :t AND TS = :ts AND B = :b "
      "AND W = :w AND S = :s AND I = :i AND N = :n AND M = :m AND N = :fb "
      "AND (E = :e OR E IS NULL)");
  TParams& p = query->Params();
  p.ParamByName("l")->SetAsBoolean(true);
  p.ParamByName("f")->SetAsFloat(2.5);
  p.ParamByName("d")->SetAsDate(EncodeDate(2024, 2, 29));
  p.ParamByName("t")->SetAsTime(EncodeTime(18, 0, 0, 1));
  p.ParamByName("ts")->SetAsDateTime(EncodeDate(2024, 2, 29) + 0.5);
  p.ParamByName("b")->SetAsBlob({1, 2});
  p.ParamByName("w")->SetAsWideString("Zürich");
  p.ParamByName("s")->SetAsString("text");
  p.ParamByName("i")->SetAsInteger(42);
  p.ParamByName("n")->SetAsCurrency(Currency::FromScaled(125000));
  p.ParamByName("m")->SetAsMemo("memo");
  p.ParamByName("fb")->SetAsFMTBCD(StrToBcd("12.5"));
  // A null goes as empty whatever its type.
  p.ParamByName("e")->SetAsInteger(0);
  p.ParamByName("e")->Clear();
  query->Open();
  ASSERT_FALSE(query->Eof());
  EXPECT_EQ(query->FieldByName("S")->AsString(), "text");
  EXPECT_EQ(query->RecordCount(), 1);
  query->Close();

  // A type without a binding is refused before the statement runs.
  p.ParamByName("e")->SetDataType(ftGuid);
  p.ParamByName("e")->SetValue(Variant("{0}"));
  EXPECT_EQ(ErrorOf([&] { query->Open(); }),
            "The field named: 'e' has a DataType that is not supported.");
  p.ParamByName("e")->SetDataType(ftUnknown);
  EXPECT_EQ(ErrorOf([&] { query->Open(); }),
            "The field named: 'e' has the DataType of ftUnknown, which is invalid.");
  EXPECT_FALSE(query->Active());
}

TEST_F(QueryTest, ExecSqlCountsTheRowsAndRefusesNothingOpen) {
  query->SetSQL("INSERT INTO CD_ExchangeRatesBlockedUpdate VALUES ('USD', 'JPY'), ('CHF', 'JPY')");
  EXPECT_EQ(query->RowsAffected(), -1);
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 2);
  EXPECT_EQ(Column("SELECT count(*) FROM CD_ExchangeRatesBlockedUpdate"), "3");
  query->SetSQL("UPDATE CD_ExchangeRatesBlockedUpdate SET Currency1 = 'EUR' WHERE Currency2 = :c");
  query->ParamByName("c")->SetAsString("JPY");
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 2);
  query->SetSQL("DELETE FROM CD_ExchangeRatesBlockedUpdate WHERE Currency1 = 'EUR'");
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 3);
  query->ExecSQL();  // again, with the statement kept
  EXPECT_EQ(query->RowsAffected(), 0);

  // Opening a statement without a cursor points to ExecSQL; the statement
  // has run all the same.
  query->SetSQL("INSERT INTO CD_ExchangeRatesBlockedUpdate VALUES ('GBP', 'USD')");
  EXPECT_EQ(ErrorOf([&] { query->Open(); }),
            "The SQL statement did not generate a cursor handle.  Use TSdbQuery.ExecSQL to "
            "execute SQL statements that are not SELECT statements");
  EXPECT_FALSE(query->Active());
  // ExecSQL of a SELECT runs it and closes its cursor.
  query->SetSQL("SELECT * FROM CD_Currency");
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 5);
  EXPECT_FALSE(query->Active());
  // An engine failure reaches the caller; the query stays closed and usable.
  query->SetSQL("SELECT nosuch FROM CD_Currency");
  uint32_t code = 0;
  ErrorOf([&] { query->Open(); }, &code);
  EXPECT_EQ(code, 7200u);
  EXPECT_FALSE(query->Active());
  EXPECT_TRUE(Barred("GBP", "USD"));
}

TEST_F(QueryTest, LiveAndStaticCursors) {
  query->SetSQL("SELECT SHORT, Description FROM CD_Currency");
  query->Open();
  EXPECT_FALSE(query->CanModify());  // static unless asked for
  query->Close();
  query->SetRequestLive(true);
  query->Open();
  EXPECT_TRUE(query->CanModify());
  query->Close();
  // A join can never be live: the engine answers a static cursor.
  query->SetSQL(
      "SELECT c.SHORT FROM CD_Currency c, CD_ExchangeRatesBlockedUpdate b "
      "WHERE c.SHORT = b.Currency1");
  query->Open();
  EXPECT_FALSE(query->CanModify());
  query->Close();
  // A read-only connection makes every cursor read-only.
  connection->SetIsConnected(false);
  connection->SetReadOnly(true);
  query->SetSQL("SELECT SHORT, Description FROM CD_Currency");
  query->Open();
  EXPECT_FALSE(query->CanModify());
}

TEST_F(QueryTest, ADetailQueryFollowsItsMaster) {
  sdbtesting::RunSql(Dictionary(),
                     "INSERT INTO CD_ExchangeRates (ID, LocalCurrency, ForeignCurrency, "
                     "ExchangeRate) VALUES (1, 'EUR', 'USD', 1.1), (2, 'EUR', 'GBP', 0.85), "
                     "(3, 'USD', 'EUR', 0.9)");
  TSdbTable master;
  master.SetSdbConnection(connection.get());
  master.SetTableName("CD_Currency");
  master.SetIndexName("SHORT");
  TDataSource source;
  source.SetDataSet(&master);
  query->SetSQL("SELECT ForeignCurrency FROM CD_ExchangeRates WHERE LocalCurrency = :SHORT");
  query->SetDataSource(&source);
  master.Open();
  query->Open();
  EXPECT_EQ(query->RecordCount(), 0);  // CHF
  master.FindField("SHORT");
  for (master.First(); !master.Eof(); master.Next())
    if (master.FieldByName("SHORT")->AsString() == "EUR") break;
  EXPECT_TRUE(query->Active());
  EXPECT_EQ(query->RecordCount(), 2);
  master.Next();  // GBP
  master.Next();  // JPY
  master.Next();  // USD
  EXPECT_EQ(query->RecordCount(), 1);
  EXPECT_EQ(query->FieldByName("ForeignCurrency")->AsString(), "EUR");
  // The parameter follows the master: it is not bound by the query.
  EXPECT_FALSE(query->ParamByName("SHORT")->Bound());
  std::vector<TField*> masterFields, detailFields;
  query->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 1u);
  EXPECT_EQ(masterFields[0], master.FieldByName("SHORT"));
  EXPECT_TRUE(detailFields.empty());
  // A source that leads back to the query is refused.
  TDataSource own;
  own.SetDataSet(query.get());
  EXPECT_EQ(ErrorOf([&] { query->SetDataSource(&own); }), "Circular Data Link");
  query->SetDataSource(nullptr);
}

TEST_F(QueryTest, RefusalsAndHandles) {
  TSdbQuery lonely;
  lonely.SetSQL("SELECT * FROM CD_Currency");
  EXPECT_EQ(ErrorOf([&] { lonely.Open(); }),
            "The DatabaseName property has not been assigned a value.");
  query->SetSQL("SELECT * FROM CD_Currency");
  query->Open();
  for (auto action :
       std::vector<std::function<void()>>{[&] { query->Prepare(); }, [&] { query->UnPrepare(); },
                                          [&] { query->SdbCloseSQLStatement(); }}) {
    uint32_t code = 0;
    EXPECT_EQ(ErrorOf(action, &code), "Cannot perform this operation on an open dataset");
    EXPECT_EQ(code, 5121u);
  }
  EXPECT_EQ(ErrorOf([&] { query->Constraints(); }),
            "The property \"Constraints\" is not supported.");
  EXPECT_EQ(ErrorOf([&] { query->UpdateObject(); }),
            "The property \"UpdateObject\" is not supported.");
  query->Close();
  EXPECT_FALSE(query->Prepared());
  query->Prepare();
  EXPECT_TRUE(query->Prepared());
  EXPECT_EQ(query->RowsAffected(), -1);
  query->UnPrepare();
  // NTX only through a dictionary connection.
  TSdbQuery byPath;
  byPath.SetDatabaseName(DataFolder() + "db");
  EXPECT_EQ(ErrorOf([&] { byPath.SetTableType(ttSdbNTX); }),
            "The TSdbQuery component does not support the NTX table type");
  byPath.InternalSetTableType(ttSdbNTX, true);
  query->SetTableType(ttSdbNTX);
  query->SetTableType(ttSdbADT);

  // A disconnect makes the query forget its handles; the next open makes new.
  query->Open();
  query->Close();
  uint32_t before = query->StmtHandle();
  connection->SetIsConnected(false);
  EXPECT_EQ(query->StmtHandle(), SdbNoHandle);
  EXPECT_TRUE(Barred("EUR", "GBP"));
  EXPECT_NE(query->StmtHandle(), before);
  // The time-out goes to the statement at once.
  EXPECT_EQ(ErrorOf([&] { query->SetSQLTimeout(-1); }), "Range check error");
  query->SetSQLTimeout(3);
  EXPECT_EQ(query->SQLTimeout(), 3);
}

TEST_F(QueryTest, AFailedOpenLeavesNoCursorBehind) {
  query->SetSQL("SELECT * FROM CD_Currency");
  query->IndexFiles().Add("missing.cdx");
  EXPECT_NE(ErrorOf([&] { query->Open(); }), "<no error>");
  EXPECT_FALSE(query->Active());
  // The engine numbers handles upwards: none after the statement may be a
  // cursor still open.
  for (uint32_t h = query->StmtHandle() + 1; h < query->StmtHandle() + 40; ++h) {
    uint16_t kind = 0;
    if (SdbGetHandleType(h, &kind) == 0) {
      EXPECT_NE(kind, SDB_HANDLE_CURSOR) << h;
    }
  }
}

TEST_F(QueryTest, AQueryByFolderPathUsesAConnectionOfItsOwn) {
  TSdbQuery byName;
  byName.SetDatabaseName(Dictionary());
  byName.SetSQL("SELECT count(*) AS N FROM CD_Currency");
  byName.Open();
  EXPECT_EQ(byName.FieldByName("N")->AsInteger(), 5);
  byName.Close();
  uint32_t statement = byName.StmtHandle();
  byName.Open();
  EXPECT_EQ(byName.StmtHandle(), statement);
  byName.Close();
  // A new name belongs to another connection: the statement goes.
  byName.SetDatabaseName(DataFolder() + "db/");
  EXPECT_EQ(byName.StmtHandle(), SdbNoHandle);
}

}  // namespace

// A filter on a query's result works as on a table: the engine filters the
// rows the SELECT gave, optimized and plain, with the "*" suffix rule, and
// switching it off shows them all again.
TEST_F(QueryTest, AFilteredQueryShowsTheRowsItsFilterLetsThrough) {
  query->SQL().Add("SELECT SHORT, Description, UseOnBoard FROM CD_Currency ORDER BY SHORT");
  query->Open();
  auto shown = [&] {
    std::string codes;
    for (query->First(); !query->Eof(); query->Next())
      codes += query->FieldByName("SHORT")->AsString() + " ";
    return codes;
  };
  EXPECT_EQ(shown(), "CHF EUR GBP JPY USD ");
  for (bool optimized : {true, false}) {
    query->Close();
    query->SdbTableOptions().SetSdbOptimizedFilters(optimized);
    query->Open();
    query->SetFilter("UseOnBoard");
    query->SetFiltered(true);
    EXPECT_EQ(shown(), "EUR GBP USD ") << optimized;
    EXPECT_EQ(query->RecordCount(), 5) << optimized;  // counts ignore filters unless told
    query->SdbTableOptions().SetSdbFilterOptions(RESPECT_WHEN_COUNTING);
    EXPECT_EQ(query->RecordCount(), 3) << optimized;
    query->SdbTableOptions().SetSdbFilterOptions(IGNORE_WHEN_COUNTING);
    query->SetFilter("Description = 'Swiss*' .OR. SHORT = 'JPY'");
    EXPECT_EQ(shown(), "CHF JPY ") << optimized;
    query->SetFiltered(false);
    EXPECT_EQ(shown(), "CHF EUR GBP JPY USD ") << optimized;
  }
}
