// Tests of filters through the C API: the expression language as optimized
// and plain filters and as evaluation, the exact setting, filter codes,
// filtered walks in record and index order, counts and visibility.
#include <set>
#include <vector>

#include "sdbengineTesting.h"

using namespace sdbtest;

namespace {

using Rows = std::vector<uint32_t>;

class SdbFilter : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SDB_OK(
        Exec("CREATE TABLE F (NAME CHAR(10), CITY CICHAR(10), AMT DOUBLE, N INTEGER, D DATE, "
             "L LOGICAL, TS TIMESTAMP, NOTE MEMO);"
             "CREATE INDEX NAME ON F (NAME);"
             "CREATE INDEX CITY ON F (CITY);"
             "INSERT INTO F (NAME, CITY, AMT, N, D, L, TS, NOTE) VALUES "
             "('ABC', 'Paris', 10.5, 3, '2020-01-31', 1, '2020-01-31 13:45:00.000', 'say \"hi\"'),"
             "('AB', 'paris', 0, -5, '2019-12-31', 0, NULL, NULL),"
             "(NULL, 'LONDON', 7.25, 42, '2021-02-28', 1, '2021-02-28 08:00:00.000', "
             "'london calling'),"
             "('O''Brien', 'Oslo', 100, 7, NULL, 0, NULL, 'x'),"
             "('Zeta', 'berlin', -3, 0, '2020-02-29', NULL, NULL, NULL);"));
    t = Open("F");
  }
  // Record numbers of the records a handle shows, forward from the top.
  Rows Walk(SDBHANDLE order) {
    Rows out;
    EXPECT_EQ(0u, SdbGotoTop(order)) << LastError();
    while (!AtEof(t) && out.size() < 100) {
      out.push_back(RecNo(t));
      EXPECT_EQ(0u, SdbSkip(order, 1)) << LastError();
    }
    return out;
  }
  // Records for which the expression evaluates true, without any filter.
  Rows Evaluated(const std::string& expr) {
    Rows out;
    SdbGotoTop(t);
    while (!AtEof(t)) {
      uint16_t yes = 9;
      EXPECT_EQ(0u, SdbEvalLogicalExpr(t, expr.c_str(), &yes)) << expr << ": " << LastError();
      if (yes) out.push_back(RecNo(t));
      SdbSkip(t, 1);
    }
    return out;
  }
  uint32_t CountFiltered(SDBHANDLE h) {
    uint32_t n = 0;
    EXPECT_EQ(0u, SdbGetRecordCount(h, SDB_RESPECTFILTERS, &n)) << LastError();
    return n;
  }
  SDBHANDLE t = 0;
};

}  // namespace

TEST_F(SdbFilter, OperatorsAndFunctionsFilterAlikeOptimizedPlainAndEvaluated) {
  struct Case {
    const char* expr;
    Rows want;
  } cases[] = {
      {"NAME = 'AB'", {1, 2}},
      {"NAME == 'AB'", {2}},
      {"NAME <> 'AB'", {3, 4, 5}},
      {"NAME # 'AB' .AND. NAME != 'Zeta'", {3, 4}},
      {"CITY = 'PARIS'", {1, 2}},
      {"AMT > 7.25", {1, 4}},
      {"AMT >= 7.25", {1, 3, 4}},
      {"AMT < 0", {5}},
      {"AMT <= 0", {2, 5}},
      {"N > 0 .AND. N < 10", {1, 4}},
      {"N < 0 OR N > 40", {2, 3}},
      {"NOT L", {2, 4, 5}},
      {".NOT. L .OR. .F.", {2, 4, 5}},
      {"L = .T.", {1, 3}},
      {"L == .TRUE. AND .T.", {1, 3}},
      {"L = .FALSE.", {2, 4, 5}},
      {"'ar' $ CITY", {1, 2}},
      {"UPPER(NAME) = 'ZETA'", {5}},
      {"LOWER(CITY) == 'oslo'", {4}},
      {"TRIM(NAME) == 'AB'", {2}},
      {"RTRIM(NAME) == 'AB' OR LTRIM(' x') == 'x' AND ALLTRIM(NAME) == 'Zeta'", {2, 5}},
      {"SUBSTR(NAME, 2, 2) == 'BC'", {1}},
      {"LEFT(CITY, 3) == 'LON'", {3}},
      {"RIGHT(TRIM(NAME), 2) == 'ta'", {5}},
      {"LEN(TRIM(NAME)) = 3", {1}},
      {"EMPTY(NAME)", {3}},
      {"EMPTY(D)", {4}},
      {"NAME = 'O' + CHR(39) + 'B'", {4}},
      {"STR(N, 3) == ' 42'", {3}},
      {"VAL('7') = N", {4}},
      {"DTOS(D) = '20200131'", {1}},
      {"D = CTOD('01/31/2020')", {1}},
      {"TS >= CTOTS('01/31/2020 01:00 PM')", {1, 3}},
      {"CTOT('13:45') = CTOT('13:45:00')", {1, 2, 3, 4, 5}},
      {"YEAR(D) = 2020", {1, 5}},
      {"MONTH(D) = 2", {3, 5}},
      {"DAY(D) = 31", {1, 2}},
      {"IIF(N > 5, 'big', 'small') = 'big'", {3, 4}},
      {"CONTAINS(NOTE, 'calling')", {3}},
      {"NAME - CITY = 'ABparis'", {2}},
      {"N + 1 = 8", {4}},
      {"N - 1 = -6", {2}},
      {"D + 1 = CTOD('03/01/2020')", {5}},
      {"D - 1 = CTOD('01/30/2020')", {1}},
      {"(NAME = 'AB' OR NAME = 'Z') AND L", {1}},
      {".F.", {}},
      {".T.", {1, 2, 3, 4, 5}},
      {"NAME = \"O'Brien\"", {4}},
      {"NOTE = 'say \"hi\"'", {1}},
      {"(NOTE=\"say \" + Chr(34) + \"hi\" + Chr(34))", {1}},
  };
  for (const Case& c : cases) {
    SDB_OK(SdbSetAOF100(t, c.expr, SDB_AOF_DYNAMIC + SDB_AOF_RESOLVE_DYNAMIC));
    EXPECT_EQ(c.want, Walk(t)) << "optimized: " << c.expr;
    EXPECT_EQ(c.want.size(), CountFiltered(t)) << c.expr;
    SDB_OK(SdbClearAOF(t));
    SDB_OK(SdbSetFilter100(t, c.expr, 0));
    EXPECT_EQ(c.want, Walk(t)) << "plain: " << c.expr;
    SDB_OK(SdbClearFilter(t));
    EXPECT_EQ(c.want, Evaluated(c.expr)) << "evaluated: " << c.expr;
  }
  // Both filters together restrict to what both accept; UTF-16 text too.
  std::u16string wide = U16("CITY = 'paris'");
  SDB_OK(SdbSetAOF100(t, wide.c_str(), SDB_FILTER_UTF16 + SDB_AOF_KEYSET + 1));
  SDB_OK(SdbSetFilter100(t, "L", 0));
  EXPECT_EQ(Rows{1}, Walk(t));
  EXPECT_EQ(1u, CountFiltered(t));
  uint32_t all = 0;
  SDB_OK(SdbGetRecordCount(t, SDB_IGNOREFILTERS, &all));
  EXPECT_EQ(5u, all);
}

TEST_F(SdbFilter, ExactSettingDecidesStringEquality) {
  uint16_t exact = 9;
  SDB_OK(SdbGetExact22(t, &exact));
  EXPECT_EQ(0, exact);
  EXPECT_EQ((Rows{1, 2}), Evaluated("NAME = 'AB'"));
  SDB_OK(SdbSetExact22(t, 1));
  SDB_OK(SdbGetExact22(t, &exact));
  EXPECT_EQ(1, exact);
  EXPECT_EQ(Rows{2}, Evaluated("NAME = 'AB'"));
  SDB_OK(SdbSetAOF100(t, "NAME = 'AB'", 0));
  EXPECT_EQ(Rows{2}, Walk(t));
  // A filter keeps the setting it was made with.
  SDB_OK(SdbSetExact22(t, 0));
  EXPECT_EQ(Rows{2}, Walk(t));
  SDB_OK(SdbSetAOF100(t, "NAME = 'AB'", 0));
  EXPECT_EQ((Rows{1, 2}), Walk(t));
}

TEST_F(SdbFilter, CodesWhenNoneIsSetAndWhenTheRoomIsShort) {
  char buf[100];
  uint16_t len = sizeof buf;
  EXPECT_EQ(SDB_E_NO_FILTER, SdbClearAOF(t));
  EXPECT_EQ(SDB_E_NO_FILTER, SdbClearFilter(t));
  EXPECT_EQ(SDB_E_NO_FILTER, SdbGetAOF(t, buf, &len));
  EXPECT_EQ(SDB_E_NO_FILTER, SdbGetFilter(t, buf, &len));
  SDB_OK(SdbSetAOF100(t, "N > 1", 0));
  len = 0;
  uint32_t rc = SdbGetAOF(t, nullptr, &len);
  EXPECT_TRUE(rc == SDB_E_INSUFFICIENT_BUFFER || rc == SDB_E_FILTER_SET) << rc;
  EXPECT_EQ(SDB_E_NO_FILTER, SdbGetFilter(t, buf, &len));
  len = sizeof buf;
  SDB_OK(SdbGetAOF(t, buf, &len));
  EXPECT_STREQ("N > 1", buf);
  SDB_OK(SdbSetFilter100(t, "L", 0));
  len = 0;
  rc = SdbGetFilter(t, buf, &len);
  EXPECT_TRUE(rc == SDB_E_INSUFFICIENT_BUFFER || rc == SDB_E_FILTER_SET) << rc;
  // An expression that does not parse is refused with its place, and the
  // filter set before stays.
  EXPECT_EQ(SDB_E_EXPRESSION, SdbSetAOF100(t, "N > 1 AND NAMX = 'a'", 0));
  std::string text = LastError();
  EXPECT_NE(text.find("NAMX"), std::string::npos) << text;
  EXPECT_NE(text.find("column 11"), std::string::npos) << text;
  EXPECT_NE(text.find("^"), std::string::npos) << text;
  EXPECT_EQ(SDB_E_EXPRESSION, SdbSetFilter100(t, "NAME = = 'x'", 0));
  EXPECT_EQ((Rows{1, 3}), Walk(t));
  uint16_t yes = 0;
  SDB_OK(SdbGotoTop(t));
  EXPECT_EQ(SDB_E_EXPRESSION, SdbEvalLogicalExpr(t, "NAME", &yes));
  SDB_OK(SdbGotoEOF(t));
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbEvalLogicalExpr(t, ".T.", &yes));
  // Filters on live SQL cursors are refused, not ignored.
  SDBHANDLE stmt = 0, cursor = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  SDB_OK(SdbStmtSetTableReadOnly(stmt, 2));
  SDB_OK(SdbExecuteSQLDirectW(stmt, U16("SELECT * FROM F").c_str(), &cursor));
  uint16_t isCursor = 0, live = 0;
  SDB_OK(SdbSqlPeekStatement(cursor, &isCursor, &live));
  ASSERT_EQ(1, live);
  EXPECT_EQ(SDB_E_NOT_SUPPORTED, SdbSetAOF100(cursor, "N > 1", 0));
  SdbCloseSQLStatement(stmt);
}

// A static SQL result takes both filters on its own rows (computed columns
// and memos included): walks both ways, counts with and without filters,
// and a refused filter leaves the one before in place.
TEST_F(SdbFilter, AStaticSqlResultTakesFiltersOnItsRows) {
  SDBHANDLE stmt = 0, cursor = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  // Rows 1..4: AB (N -5), ABC (3), O'Brien (7), the nameless London one (42).
  SDB_OK(SdbExecuteSQLDirectW(
      stmt, u"SELECT NAME, CITY, AMT, N, L, NOTE, N * 2 AS TWICE FROM F WHERE AMT > -1 ORDER BY N",
      &cursor));
  auto walk = [&](bool forward) {
    Rows out;
    EXPECT_EQ(0u, forward ? SdbGotoTop(cursor) : SdbGotoBottom(cursor)) << LastError();
    for (;;) {
      uint16_t end = 0;
      EXPECT_EQ(0u, forward ? SdbAtEOF(cursor, &end) : SdbAtBOF(cursor, &end));
      if (end || out.size() > 10) break;
      out.push_back(RecNo(cursor));
      EXPECT_EQ(0u, SdbSkip(cursor, forward ? 1 : -1)) << LastError();
    }
    return out;
  };
  SDB_OK(SdbSetAOF100(cursor, "TWICE > 0", 0));
  EXPECT_EQ((Rows{2, 3, 4}), walk(true));
  SDB_OK(SdbSetFilter100(cursor, "UPPER(CITY) = 'PARIS' .OR. 'call' $ NOTE", 0));
  EXPECT_EQ((Rows{2, 4}), walk(true));
  EXPECT_EQ((Rows{4, 2}), walk(false));
  EXPECT_EQ(2u, CountFiltered(cursor));
  uint32_t all = 0;
  SDB_OK(SdbGetRecordCount(cursor, SDB_IGNOREFILTERS, &all));
  EXPECT_EQ(4u, all);
  EXPECT_EQ(SDB_E_EXPRESSION, SdbSetFilter100(cursor, "NOSUCH > 1", 0));
  EXPECT_EQ((Rows{2, 4}), walk(true));
  SDB_OK(SdbSetFilter100(cursor, "L .AND. AMT > 10", 0));
  EXPECT_EQ((Rows{2}), walk(true));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("ABC", Get(cursor, "NAME"));
  SDB_OK(SdbClearAOF(cursor));
  SDB_OK(SdbClearFilter(cursor));
  EXPECT_EQ((Rows{1, 2, 3, 4}), walk(true));
  EXPECT_EQ(4u, CountFiltered(cursor));
  uint16_t yes = 0;
  EXPECT_EQ(SDB_E_NOT_SUPPORTED, SdbEvalLogicalExpr(cursor, ".T.", &yes));
  SdbCloseSQLStatement(stmt);
}

TEST_F(SdbFilter, ShortAndLongFormsOfExpressions) {
  char out[64];
  uint32_t len = sizeof out;
  SDB_OK(SdbExpressionLongToShort90(t, "NAME = 'AB' .AND. N > 1", out, &len));
  EXPECT_STREQ("NAME = 'AB' .AND. N > 1", out);
  len = sizeof out;
  SDB_OK(SdbExpressionShortToLong90(t, out, out, &len));
  EXPECT_STREQ("NAME = 'AB' .AND. N > 1", out);
  len = 4;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbExpressionLongToShort90(t, "NAME = 'AB'", out, &len));
  len = sizeof out;
  EXPECT_EQ(SDB_E_EXPRESSION, SdbExpressionLongToShort90(t, "NAME = 'AB", out, &len));
}

TEST_F(SdbFilter, FilteredOrdersCountsAndVisibilityAgreeWithSql) {
  SDBHANDLE city = 0;
  SDB_OK(SdbGetIndexHandle(t, "CITY", &city));
  SDB_OK(SdbSetAOF100(t, "AMT >= 0", 0));
  // Index order under the filter, both ways; counts through either handle.
  EXPECT_EQ((Rows{3, 4, 1, 2}), Walk(city));  // berlin is filtered; paris ties by record
  SDB_OK(SdbGotoBottom(city));
  EXPECT_EQ(2u, RecNo(t));
  SDB_OK(SdbSkip(city, -3));
  EXPECT_EQ(3u, RecNo(t));
  SDB_OK(SdbSkip(city, -1));
  EXPECT_TRUE(AtBof(t));
  EXPECT_EQ(4u, CountFiltered(city));
  EXPECT_EQ(4u, CountFiltered(t));
  uint32_t n = 0;
  SDB_OK(SdbGetRecordCount(city, SDB_RESPECTSCOPES, &n));
  EXPECT_EQ(5u, n);
  // A record the filter hides is not visible; record order skips it.
  SDB_OK(SdbGotoRecord(t, 5));
  uint16_t visible = 9;
  SDB_OK(SdbIsRecordVisible(t, &visible));
  EXPECT_EQ(0, visible);
  SDB_OK(SdbIsRecordVisible(city, &visible));
  EXPECT_EQ(0, visible);
  SDB_OK(SdbGotoRecord(t, 4));
  SDB_OK(SdbSkip(t, 1));
  EXPECT_TRUE(AtEof(t));
  // Writes through SQL show at once in the filtered views.
  SDB_OK(
      Exec("UPDATE F SET AMT = 1 WHERE NAME = 'Zeta'; INSERT INTO F (NAME, CITY, AMT) "
           "VALUES ('New', 'Aachen', 5), ('Neg', 'Zurich', -1);"));
  EXPECT_EQ((Rows{6, 5, 3, 4, 1, 2}), Walk(city));
  EXPECT_EQ((Rows{1, 2, 3, 4, 5, 6}), Walk(t));
  EXPECT_EQ(6u, CountFiltered(t));
  // A key seek inside the filter: the hidden record is not found.
  uint16_t found = 9;
  SDB_OK(SdbSeek(city, reinterpret_cast<const uint8_t*>("Zurich"), 6, SDB_STRINGKEY, SDB_HARDSEEK,
                 &found));
  EXPECT_EQ(0, found);
  SDB_OK(SdbClearAOF(t));
  SDB_OK(SdbSeek(city, reinterpret_cast<const uint8_t*>("zurich"), 6, SDB_STRINGKEY, SDB_HARDSEEK,
                 &found));
  EXPECT_EQ(1, found);
  EXPECT_EQ(7u, RecNo(t));
  EXPECT_EQ(7u, Walk(t).size());
}

TEST_F(SdbFilter, FiltersTooDeepForTheWalksAreRefusedWhenSet) {
  // Right-nested expressions exhaust SQLite's parser stack inside the queries
  // of a walk in index order with two filters set: refused as the filter is
  // set, never a failure of the walk.
  SDBHANDLE name = 0;
  SDB_OK(SdbGetIndexHandle(t, "NAME", &name));
  SDB_OK(SdbSetAOF100(t, "N > -100", 0));
  int refused = 0;
  for (int depth = 12; depth <= 40; depth += 4) {
    std::string text = "N";
    for (int i = 0; i < depth; ++i) text = "1 + (" + text + ")";
    text += " > 0";
    uint32_t rc = SdbSetFilter100(t, text.c_str(), 0);
    if (rc != 0) {
      EXPECT_EQ(rc, SDB_E_EXPRESSION) << LastError();
      ++refused;
      continue;
    }
    SCOPED_TRACE(depth);
    Walk(name);
    SDB_EXPECT_OK(SdbSeek(name, reinterpret_cast<const uint8_t*>("AB"), 2, SDB_STRINGKEY,
                          SDB_SOFTSEEK, nullptr));
    SDB_EXPECT_OK(SdbSkip(name, 1));
  }
  EXPECT_GT(refused, 0);
}
