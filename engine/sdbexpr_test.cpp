// The expression language against a real SQLite table: parsing errors,
// operators and functions, exact on and off, empty values, filters agreeing
// with the evaluator, index use.
#include "sdbexpr.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <set>

namespace {

using namespace sdbexpr;

struct Col {
  const char* name;
  sdbstore::FieldType type;
  uint32_t length;
};
const Col kCols[] = {
    {"NAME", sdbstore::FieldType::String, 10}, {"CINAME", sdbstore::FieldType::CIString, 10},
    {"NOTE", sdbstore::FieldType::Memo, 0},    {"AMOUNT", sdbstore::FieldType::Numeric, 10},
    {"QTY", sdbstore::FieldType::Integer, 4},  {"FLAG", sdbstore::FieldType::Logical, 1},
    {"D", sdbstore::FieldType::Date, 4},       {"TS", sdbstore::FieldType::TimeStamp, 8},
    {"TM", sdbstore::FieldType::Time, 4},      {"VNAME", sdbstore::FieldType::NVarChar, 20}};

class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() /
           ("sdbexpr_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
    ASSERT_EQ(sqlite3_open((FDir / "t.db").c_str(), &FDb), SQLITE_OK);
    ASSERT_EQ(SdbRegisterSqlFunctions(FDb), SQLITE_OK);
    Exec(
        "CREATE TABLE t(id INTEGER PRIMARY KEY, NAME TEXT, CINAME TEXT COLLATE NOCASE, NOTE TEXT,"
        " AMOUNT REAL, QTY INTEGER, FLAG INTEGER, D TEXT, TS TEXT, TM TEXT, VNAME TEXT)");
    Exec(
        "INSERT INTO t VALUES"
        "(1,'ABC','Abc','the quick brown fox',12.5,3,1,'2020-01-31','2020-01-31 13:45:00.000',"
        "'13:45:00.000','ABC'),"
        "(2,'AB','aB','jumps over',-1,0,0,'2019-12-31','2019-12-31 23:59:59.999','23:59:59.999',"
        "'AB'),"
        "(3,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL),"
        "(4,'O''Brien','O\"Neil','say \"hi\"',100,42,1,'2021-02-28','2021-02-28 00:00:00.000',"
        "'00:00:00.000','x y'),"
        "(5,'B','b','lazy dog',0,-5,0,'2020-02-29','2020-02-29 12:00:00.000','12:00:00.000','B'),"
        "(6,'abc','ABC','Quick',7.25,7,1,'2020-01-01','2020-01-01 00:00:01.000','00:00:01.000',"
        "'abc'),"
        "(7,'A C','a c','',1e6,1000000,0,'1999-12-31',NULL,NULL,'a c'),"
        "(8,'Zz','zZ','zz top',0.001,1,NULL,NULL,'2000-01-01 00:00:00.000',NULL,NULL)");
    FResolve = [](std::string_view name) -> std::optional<FieldInfo> {
      for (const auto& c : kCols) {
        std::string n(name);
        for (auto& ch : n) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (n == c.name) return FieldInfo{"\"" + std::string(c.name) + "\"", c.type, c.length, 2};
      }
      return std::nullopt;
    };
  }
  void TearDown() override {
    sqlite3_close(FDb);
    std::filesystem::remove_all(FDir);
  }
  void Exec(const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK)
        << (err ? err : "") << "\n"
        << sql;
  }
  std::vector<int64_t> Query(const std::string& sql) {
    std::vector<int64_t> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(FDb, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(FDb) << "\n"
        << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) out.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return out;
  }
  std::string QueryText(const std::string& sql) {
    std::string out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(FDb, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(FDb) << "\n"
        << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(st, 0);
      out += t ? reinterpret_cast<const char*>(t) : "<null>";
      out += "\n";
    }
    sqlite3_finalize(st);
    return out;
  }
  // The details of EXPLAIN QUERY PLAN, one line each.
  std::string Plan(const std::string& sql) {
    std::string out;
    sqlite3_stmt* st = nullptr;
    std::string q = "EXPLAIN QUERY PLAN " + sql;
    EXPECT_EQ(sqlite3_prepare_v2(FDb, q.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(FDb);
    while (st && sqlite3_step(st) == SQLITE_ROW)
      out += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))) + "\n";
    sqlite3_finalize(st);
    return out;
  }
  // Rows the filter selects, checked against the evaluator row by row.
  std::vector<int64_t> Filter(const std::string& text, bool exact = false) {
    Options o;
    o.exact = exact;
    Condition c = CompileFilter(text, FResolve, o);
    std::vector<int64_t> rows = Query("SELECT id FROM t WHERE " + c.sql + " ORDER BY id");
    Expression e = CompileLogical(text, FResolve, o);
    std::vector<int64_t> evaluated;
    for (int64_t id = 1; id <= 8; ++id)
      if (EvalLogical(FDb, "t", id, e.sql).value_or(false)) evaluated.push_back(id);
    EXPECT_EQ(rows, evaluated) << text << (exact ? " (exact)" : "") << "\nfilter: " << c.sql
                               << "\nvalue: " << e.sql;
    return rows;
  }
  // The value of an expression for one row, as text.
  std::string Value(const std::string& text, int64_t id = 1, const std::string& fmt = "") {
    Options o;
    if (!fmt.empty()) o.dateFormat = fmt;
    Expression e = CompileExpression(text, FResolve, o);
    std::string r = QueryText("SELECT " + e.sql + " FROM t WHERE id=" + std::to_string(id));
    if (!r.empty()) r.pop_back();
    return r;
  }
  ExprError ErrorOf(const std::string& text) {
    try {
      CompileFilter(text, FResolve, Options{});
    } catch (const ExprError& e) {
      return e;
    }
    ADD_FAILURE() << "no error for " << text;
    return ExprError("", "", 0);
  }

  std::filesystem::path FDir;
  sqlite3* FDb = nullptr;
  FieldResolver FResolve;
};

using Rows = std::vector<int64_t>;

TEST_F(ExprTest, ParseErrorsPointAtTheirPosition) {
  struct Case {
    const char* text;
    size_t column;
    const char* detail;
  } cases[] = {
      {"NAME = 'abc", 8, "string not closed"},
      {"NAME = = 'a'", 8, "unexpected '='"},
      {"NAMX = 'a'", 1, "unknown field name NAMX"},
      {"NAME = 1", 6, "cannot compare character with numeric"},
      {"SUBSTR(NAME) = 'a'", 1, "SUBSTR expects 2 to 3 arguments"},
      {"FOO(1) = 1", 1, "unknown function FOO"},
      {"(NAME = 'a'", 12, "missing ')'"},
      {"NAME = 'a' .XOR. FLAG", 12, "unknown operator .XOR."},
      {"NAME = 'a' FLAG", 12, "unexpected 'FLAG'"},
      {"QTY > 1 AND", 12, "expression ends too early"},
      {"NAME", 1, "a logical value is needed here, not character"},
      {"QTY = 1 = 2", 9, "comparisons cannot be chained"},
      {"UPPER(QTY) = 'A'", 7, "argument 1 of UPPER must be character"},
      {"NAME ? 'x'", 6, "unexpected character '?'"},
      {"", 1, "empty expression"},
  };
  for (const auto& c : cases) {
    ExprError e = ErrorOf(c.text);
    EXPECT_EQ(e.Column(), c.column) << c.text << ": " << e.what();
    EXPECT_NE(e.Detail().find(c.detail), std::string::npos) << c.text << ": " << e.what();
    EXPECT_NE(std::string(e.what()).find("column " + std::to_string(c.column)), std::string::npos);
  }
  // The excerpt shows the text with a caret under the position.
  ExprError e = ErrorOf("QTY > 1 AND NAMX = 'a'");
  EXPECT_NE(std::string(e.what()).find("  QTY > 1 AND NAMX = 'a'\n              ^"),
            std::string::npos)
      << e.what();
}

TEST_F(ExprTest, StringEqualityFollowsTheExactSetting) {
  // Exact off: the left begins with the right; == is always exact.
  EXPECT_EQ(Filter("NAME = 'AB'"), (Rows{1, 2}));
  EXPECT_EQ(Filter("NAME = 'AB'", true), (Rows{2}));
  EXPECT_EQ(Filter("NAME == 'AB'"), (Rows{2}));
  EXPECT_EQ(Filter("NAME = 'AB   '"), (Rows{1, 2}));  // trailing blanks do not count
  EXPECT_EQ(Filter("NAME == 'AB   '"), (Rows{2}));
  EXPECT_EQ(Filter("'AB' = NAME"), (Rows{2, 3}));  // an empty right side is a prefix of all
  EXPECT_EQ(Filter("'ABC' = NAME", true), (Rows{1}));
  // Exact off with an empty right side matches every row, as prefix '' does.
  EXPECT_EQ(Filter("NAME = ''").size(), 8u);
  EXPECT_EQ(Filter("NAME = ''", true), (Rows{3}));
  // Not equal is the negation, empty fields included.
  EXPECT_EQ(Filter("NAME <> 'AB'"), (Rows{3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Filter("NAME # 'AB'", true), (Rows{1, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Filter("NAME != 'AB'", true), (Rows{1, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Filter("NOT NAME = 'AB'"), (Rows{3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Filter(".NOT. (NAME == 'AB')"), (Rows{1, 3, 4, 5, 6, 7, 8}));
  // Field against field.
  EXPECT_EQ(Filter("NAME = VNAME", true), (Rows{1, 2, 3, 5, 6}));
  EXPECT_EQ(Filter("NAME = VNAME"), (Rows{1, 2, 3, 5, 6, 8}));
  EXPECT_EQ(Filter("VNAME = NAME"), (Rows{1, 2, 3, 5, 6}));
}

TEST_F(ExprTest, OrderingComparisonsOnEveryType) {
  EXPECT_EQ(Filter("NAME < 'AB'"), (Rows{3, 7}));  // the empty name sorts first
  EXPECT_EQ(Filter("NAME < 'AB'", true), (Rows{3, 7}));
  EXPECT_EQ(Filter("NAME <= 'AB'"), (Rows{1, 2, 3, 7}));  // prefix: ABC counts as AB
  EXPECT_EQ(Filter("NAME <= 'AB'", true), (Rows{2, 3, 7}));
  EXPECT_EQ(Filter("NAME > 'AB'"), (Rows{4, 5, 6, 8}));
  EXPECT_EQ(Filter("NAME > 'AB'", true), (Rows{1, 4, 5, 6, 8}));
  EXPECT_EQ(Filter("NAME >= 'B'"), (Rows{4, 5, 6, 8}));
  EXPECT_EQ(Filter("AMOUNT > 7.25"), (Rows{1, 4, 7}));
  EXPECT_EQ(Filter("AMOUNT < 0.5"), (Rows{2, 3, 5, 8}));  // empty reads as 0
  EXPECT_EQ(Filter("AMOUNT = 0"), (Rows{3, 5}));
  EXPECT_EQ(Filter("QTY >= 7 .AND. QTY <= 42"), (Rows{4, 6}));
  EXPECT_EQ(Filter("QTY < 0 .OR. QTY > 100"), (Rows{5, 7}));
  EXPECT_EQ(Filter("D < CTOD('01/01/2020')"), (Rows{2, 3, 7, 8}));
  EXPECT_EQ(Filter("D >= CTOD('01/31/2020') AND D <= CTOD('02/29/2020')"), (Rows{1, 5}));
  EXPECT_EQ(Filter("TS > CTOTS('01/31/2020 01:45 PM')"), (Rows{4, 5}));
  EXPECT_EQ(Filter("TS = CTOTS('2020-01-31 13:45:00')"), (Rows{1}));
  EXPECT_EQ(Filter("TM >= CTOT('12:00')"), (Rows{1, 2, 5}));
  EXPECT_EQ(Filter("TS >= CTOD('02/28/2021') OR TS < D"), (Rows{4, 7}));
  EXPECT_EQ(Filter("TS = CTOD('01/01/2000')"), (Rows{8}));
  EXPECT_EQ(Filter("D < DATE() AND TS <= NOW() AND D > CTOD('01/01/1900')"),
            (Rows{1, 2, 4, 5, 6, 7}));
  EXPECT_EQ(Filter("FLAG"), (Rows{1, 4, 6}));
  EXPECT_EQ(Filter("!FLAG"), (Rows{2, 3, 5, 7, 8}));
  EXPECT_EQ(Filter("FLAG = .T."), (Rows{1, 4, 6}));
  EXPECT_EQ(Filter("FLAG == .FALSE."), (Rows{2, 3, 5, 7, 8}));
  EXPECT_EQ(Filter("FLAG <> .TRUE. AND QTY > 0"), (Rows{7, 8}));
  EXPECT_EQ(Filter(".T."), (Rows{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Filter("t->QTY > 7 and [AMOUNT] > 0"), (Rows{4, 7}));
  EXPECT_EQ(Filter(".F. OR .F."), (Rows{}));
}

TEST_F(ExprTest, CaseInsensitiveFieldsCompareWithoutCase) {
  EXPECT_EQ(Filter("CINAME = 'ab'"), (Rows{1, 2, 6}));
  EXPECT_EQ(Filter("CINAME == 'ABC'"), (Rows{1, 6}));
  EXPECT_EQ(Filter("CINAME > 'AZ'"), (Rows{4, 5, 8}));
  EXPECT_EQ(Filter("CINAME >= 'O'"), (Rows{4, 8}));
  EXPECT_EQ(Filter("'c' $ CINAME"), (Rows{1, 6, 7}));
  EXPECT_EQ(Filter("UPPER(NAME) = 'ABC'", true), (Rows{1, 6}));
  EXPECT_EQ(Filter("LOWER(NAME) == 'abc'"), (Rows{1, 6}));
}

TEST_F(ExprTest, QuotesInsideStrings) {
  EXPECT_EQ(Filter("NAME = \"O'Brien\""), (Rows{4}));
  EXPECT_EQ(Filter("CINAME = 'o\"neil'", true), (Rows{4}));
  // The form the locate builder writes around a double quote.
  EXPECT_EQ(Filter("(CINAME=\"O\"+ Chr(34) + \"Neil\")", true), (Rows{4}));
  EXPECT_EQ(Filter("NOTE = 'say \"hi\"'"), (Rows{4}));
  EXPECT_EQ(Filter("'\"' $ NOTE"), (Rows{4}));
  // A doubled quote is no escape: the string ends at the next quote.
  EXPECT_EQ(ErrorOf("NAME = 'it''s'").Column(), 12u);
}

TEST_F(ExprTest, ContainmentAndConcatenation) {
  EXPECT_EQ(Filter("'B' $ NAME"), (Rows{1, 2, 4, 5}));
  EXPECT_EQ(Filter("NOT 'B' $ NAME"), (Rows{3, 6, 7, 8}));
  // A CHAR(10) field keeps its blanks in a concatenation.
  EXPECT_EQ(Value("NAME + '|'", 2), "AB        |");
  EXPECT_EQ(Value("NAME - '|'", 2), "AB|        ");
  EXPECT_EQ(Value("VNAME + '|'", 2), "AB|");
  EXPECT_EQ(Value("NAME + '|'", 3), "          |");
  EXPECT_EQ(Filter("NAME + 'x' = 'AB        x'", true), (Rows{2}));
  EXPECT_EQ(Filter("TRIM(NAME) + 'x' == 'ABx'"), (Rows{2}));
}

TEST_F(ExprTest, Functions) {
  EXPECT_EQ(Value("UPPER('aBc')"), "ABC");
  EXPECT_EQ(Value("LOWER(NAME)"), "abc       ");
  EXPECT_EQ(Value("'[' + TRIM('  a  ') + ']'"), "[  a]");
  EXPECT_EQ(Value("'[' + RTRIM('  a  ') + ']'"), "[  a]");
  EXPECT_EQ(Value("'[' + LTRIM('  a  ') + ']'"), "[a  ]");
  EXPECT_EQ(Value("'[' + ALLTRIM('  a  ') + ']'"), "[a]");
  EXPECT_EQ(Value("SUBSTR(NAME, 2, 1)"), "B");
  EXPECT_EQ(Value("SUBSTR(NAME, 2)"), "BC       ");
  EXPECT_EQ(Value("LEFT(NAME, 2)"), "AB");
  EXPECT_EQ(Value("'[' + RIGHT(NAME, 3) + ']'"), "[   ]");
  EXPECT_EQ(Value("RIGHT(VNAME, 2)"), "BC");
  EXPECT_EQ(Value("RIGHT('abc', 0)"), "");
  EXPECT_EQ(Value("LEN(NAME)"), "10");
  EXPECT_EQ(Value("LEN(VNAME)"), "3");
  EXPECT_EQ(Value("LEN(TRIM(NAME))"), "3");
  EXPECT_EQ(Value("CHR(65) + CHR(34)"), "A\"");
  EXPECT_EQ(Value("STR(12.5)"), "        13");
  EXPECT_EQ(Value("STR(AMOUNT, 8, 2)"), "   12.50");
  EXPECT_EQ(Value("STR(123456, 3)"), "***");
  EXPECT_EQ(Value("STR(-QTY, 4)"), "  -3");
  EXPECT_EQ(Value("VAL(' 12.5x')"), "12.5");
  // Infinities that cancel (SQLite answers NULL) give 0, as a division by
  // zero does, from constants and from a value stored by hand alike.
  EXPECT_EQ(Value("1e308 * 10 - 1e308 * 10"), "0");
  EXPECT_EQ(Value("AMOUNT / 0"), "0");
  QueryText("UPDATE t SET AMOUNT = 1e999 WHERE id = 2");
  EXPECT_EQ(Value("AMOUNT - 5 - AMOUNT", 2), "0");
  QueryText("UPDATE t SET AMOUNT = -1 WHERE id = 2");
  EXPECT_EQ(Value("VAL('abc')"), "0");
  EXPECT_EQ(Value("VAL(NAME)"), "0.0");
  EXPECT_EQ(Value("DTOS(D)"), "20200131");
  EXPECT_EQ(Value("'[' + DTOS(D) + ']'", 3), "[        ]");
  EXPECT_EQ(Value("DTOS(TS)"), "20200131");
  EXPECT_EQ(Value("CTOD('12/31/2020')"), "2020-12-31");
  EXPECT_EQ(Value("CTOD('31.12.20')", 1, "DD.MM.YY"), "2020-12-31");
  EXPECT_EQ(Value("CTOD('31.12.1999')", 1, "DD.MM.CCYY"), "1999-12-31");
  EXPECT_EQ(Value("CTOD('2020-02-30')"), "");
  EXPECT_EQ(Value("CTOD('')"), "");
  EXPECT_EQ(Value("CTOT('1:05 pm')"), "13:05:00.000");
  EXPECT_EQ(Value("CTOT('23:59:59.5')"), "23:59:59.500");
  EXPECT_EQ(Value("CTOT('24:00')"), "");
  EXPECT_EQ(Value("CTOTS('02/29/2020 12:00:01')"), "2020-02-29 12:00:01.000");
  EXPECT_EQ(Value("CTOTS('02/29/2020')"), "2020-02-29 00:00:00.000");
  EXPECT_EQ(Value("YEAR(D)"), "2020");
  EXPECT_EQ(Value("MONTH(D)"), "1");
  EXPECT_EQ(Value("DAY(TS)"), "31");
  EXPECT_EQ(Value("YEAR(D)", 3), "0");
  EXPECT_EQ(Value("IIF(QTY > 2, 'big', 'small')"), "big");
  EXPECT_EQ(Value("IIF(QTY > 2, 'big', 'small')", 3), "small");
  EXPECT_EQ(Value("D + 1"), "2020-02-01");
  EXPECT_EQ(Value("D - 31"), "2019-12-31");
  EXPECT_EQ(Value("D - CTOD('01/01/2020')"), "30.0");
  EXPECT_EQ(Value("TS + 0.5"), "2020-02-01 01:45:00.000");
  EXPECT_EQ(Value("QTY * 2 + AMOUNT / 2 - -1"), "13.25");
  EXPECT_EQ(Value("7 / 2"), "3.5");
  EXPECT_EQ(Filter("EMPTY(NAME)"), (Rows{3}));
  EXPECT_EQ(Filter("EMPTY(NOTE)"), (Rows{3, 7}));
  EXPECT_EQ(Filter("EMPTY(AMOUNT)"), (Rows{3, 5}));
  EXPECT_EQ(Filter(".NOT. EMPTY(D)"), (Rows{1, 2, 4, 5, 6, 7}));
  EXPECT_EQ(Filter("EMPTY(FLAG)"), (Rows{2, 3, 5, 7, 8}));
  EXPECT_EQ(Filter("EMPTY(LEFT(NAME, 1))"), (Rows{3}));
  EXPECT_EQ(Filter("CONTAINS(NOTE, 'quick')"), (Rows{1, 6}));
  EXPECT_EQ(Filter("CONTAINS(NOTE, 'qu* AND NOT brown')"), (Rows{6}));
  EXPECT_EQ(Filter("CONTAINS(NOTE, 'dog OR over')"), (Rows{2, 5}));
  EXPECT_EQ(Filter("CONTAINS(NOTE, '\"brown fox\"')"), (Rows{1}));
  EXPECT_EQ(Filter("LEN(TRIM(NAME)) = 3 AND SUBSTR(NAME, 2, 2) = 'BC'"), (Rows{1}));
  EXPECT_EQ(Filter("YEAR(D) = 2020 AND MONTH(D) = 2"), (Rows{5}));
  EXPECT_EQ(Filter("DTOS(D) >= '2020'"), (Rows{1, 4, 5, 6}));
  EXPECT_EQ(Filter("IIF(FLAG, QTY, 0) > 5"), (Rows{4, 6}));
  EXPECT_EQ(Filter("VAL(STR(QTY)) = QTY AND QTY <> 0"), (Rows{1, 4, 5, 6, 7, 8}));
}

TEST_F(ExprTest, EveryFilterAgreesWithTheEvaluator) {
  // Filter() checks the agreement; here a wide sweep of forms, exact on and
  // off, negated, each with empty values present.
  const char* texts[] = {"NAME = 'A'",
                         "NAME <> 'A'",
                         "NAME < 'B'",
                         "NAME <= 'A'",
                         "NAME > 'A'",
                         "NAME >= 'abc'",
                         "CINAME = 'a'",
                         "CINAME < 'b'",
                         "CINAME >= 'A C'",
                         "CINAME <> 'Z'",
                         "VNAME = 'a'",
                         "UPPER(NAME) = 'A'",
                         "UPPER(NAME) <> 'AB'",
                         "LEFT(NAME, 1) <= 'A'",
                         "TRIM(NOTE) = ''",
                         "NOTE > ''",
                         "AMOUNT <> 0",
                         "QTY <= 0",
                         "D = CTOD('')",
                         "D > CTOD('')",
                         "TS < CTOTS('')",
                         "FLAG = .F.",
                         "FLAG <> .F.",
                         "NAME = 'A' OR QTY > 5",
                         "NAME = 'A' AND NOT QTY > 5",
                         "NOT (NAME > 'A' OR FLAG)",
                         "'A' $ NAME OR EMPTY(NAME)",
                         "NAME + VNAME = 'AB'",
                         "DTOS(D) = '2020'",
                         "LTRIM(NAME) = 'A'",
                         "ALLTRIM(VNAME) = 'x'",
                         "SUBSTR(NAME, 1, 1) > 'A'",
                         "IIF(EMPTY(NAME), 'zz', NAME) = 'z'",
                         "'AB' = NAME",
                         "'B' > NAME",
                         "'' = NAME"};
  for (const char* t : texts) {
    for (bool exact : {false, true}) {
      Rows pos = Filter(t, exact);
      Rows neg = Filter(std::string("NOT (") + t + ")", exact);
      std::set<int64_t> all(pos.begin(), pos.end());
      for (auto id : neg) EXPECT_TRUE(all.insert(id).second) << t << " and its negation overlap";
      EXPECT_EQ(all.size(), 8u) << t << ": a row is neither in the filter nor in its negation";
    }
  }
}

TEST_F(ExprTest, OptimizableFiltersUseTheIndexes) {
  Exec("CREATE INDEX ix_name ON t(NAME)");
  Exec("CREATE INDEX ix_ci ON t(CINAME)");
  std::string upperSql = IndexSegmentSql("UPPER(NAME)", FResolve);
  EXPECT_EQ(upperSql, "upper(\"NAME\")");
  Exec("CREATE INDEX ix_upper ON t(" + upperSql + ")");
  Exec("CREATE INDEX ix_d ON t(D)");
  std::vector<std::string> indexed = {"\"NAME\"", "\"CINAME\"", upperSql, "\"D\""};
  struct Case {
    const char* text;
    bool exact;
    OptLevel level;
    const char* index;
  } cases[] = {
      {"NAME = 'AB'", false, OptLevel::Full, "ix_name"},
      {"NAME = 'AB'", true, OptLevel::Full, "ix_name"},
      {"NAME >= 'B' AND NAME < 'C'", true, OptLevel::Full, "ix_name"},
      {"CINAME = 'ab'", false, OptLevel::Full, "ix_ci"},
      {"UPPER(NAME) = 'AB'", false, OptLevel::Full, "ix_upper"},
      {"D >= CTOD('01/01/2020')", false, OptLevel::Full, "ix_d"},
      {"NAME = 'AB' AND 'x' $ NOTE", false, OptLevel::Partial, "ix_name"},
      {"'x' $ NOTE", false, OptLevel::None, nullptr},
  };
  for (const auto& c : cases) {
    Options o;
    o.exact = c.exact;
    Condition cond = CompileFilter(c.text, FResolve, o, indexed);
    EXPECT_EQ(cond.level, c.level) << c.text << ": " << cond.sql;
    std::string plan = Plan("SELECT id FROM t WHERE " + cond.sql);
    if (c.index) {
      EXPECT_NE(plan.find(std::string("INDEX ") + c.index), std::string::npos)
          << c.text << ": " << cond.sql << "\n"
          << plan;
    }
  }
  // The catalog's spelling of an index expression matches too.
  EXPECT_EQ(CompileFilter("UPPER(NAME) = 'A'", FResolve, Options{}, {"UPPER( NAME )"}).level,
            OptLevel::Full);
  // The prefix form is a range, never a function call on the column.
  Condition prefix = CompileFilter("NAME = 'AB'", FResolve, Options{}, indexed);
  EXPECT_EQ(prefix.sql, "(\"NAME\">='AB' AND \"NAME\"<'AC')");
}

TEST_F(ExprTest, IndexExpressionsUseBuiltInsOnly) {
  ValueType type;
  uint32_t length = 0;
  EXPECT_EQ(IndexSegmentSql("NAME", FResolve, &type, &length), "\"NAME\"");
  EXPECT_EQ(type, ValueType::Character);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(IndexSegmentSql("DTOS(D)", FResolve, &type, &length),
            "replace(substr(\"D\",1,10),'-','')");
  EXPECT_EQ(length, 8u);
  std::string both = IndexSegmentSql("NAME + VNAME", FResolve, &type, &length);
  EXPECT_EQ(length, 30u);
  std::string str = IndexSegmentSql("STR(QTY, 6)", FResolve, &type, &length);
  EXPECT_EQ(length, 6u);
  IndexSegmentSql("QTY", FResolve, &type);
  EXPECT_EQ(type, ValueType::Numeric);
  // They build real expression indexes that a plain connection can maintain.
  Exec("CREATE INDEX ix_both ON t(" + both + ")");
  Exec("CREATE INDEX ix_str ON t(" + str + ")");
  sqlite3* plain = nullptr;
  ASSERT_EQ(sqlite3_open((FDir / "t.db").c_str(), &plain), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(plain, "INSERT INTO t(id, NAME, QTY) VALUES (9, 'N', 9)", nullptr, nullptr,
                         nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(plain);
  sqlite3_close(plain);
  EXPECT_EQ(QueryText("SELECT " + both + " FROM t WHERE id IN (2, 3) ORDER BY id"),
            "AB        AB\n<null>\n");
  EXPECT_EQ(Filter("NAME + VNAME = 'AB        AB'", true), (Rows{2}));
  for (const char* bad : {"CTOD(NAME)", "CONTAINS(NOTE, 'a')", "'abc'"}) {
    EXPECT_THROW(IndexSegmentSql(bad, FResolve), ExprError) << bad;
  }
}

TEST_F(ExprTest, IndexConditionsMakePartialIndexes) {
  std::string cond = IndexConditionSql("FLAG .AND. QTY > 0", FResolve, Options{});
  Exec("CREATE INDEX ix_cond ON t(NAME) WHERE " + cond);
  EXPECT_EQ(
      Query("SELECT id FROM t INDEXED BY ix_cond WHERE " + cond + " AND \"NAME\" > '' ORDER BY id"),
      (Rows{1, 4, 6}));
  EXPECT_THROW(IndexConditionSql("CONTAINS(NOTE, 'a')", FResolve, Options{}), ExprError);
  EXPECT_THROW(IndexConditionSql("D < DATE()", FResolve, Options{}), ExprError);
  // Constants are folded, so a date written as text is fine.
  EXPECT_EQ(IndexConditionSql("D > CTOD('01/02/2020')", FResolve, Options{}),
            "(\"D\">'2020-01-02')");
}

TEST_F(ExprTest, ShortAndLongFormsKeepTheText) {
  const std::string t = "NAME = 'AB*' .AND. CONTAINS(NOTE, \"a*\")";
  EXPECT_EQ(ExpressionLongToShort(t), t);
  EXPECT_EQ(ExpressionShortToLong(ExpressionLongToShort(t)), t);
  try {
    ExpressionLongToShort("NAME = 'AB");
    ADD_FAILURE();
  } catch (const ExprError& e) {
    EXPECT_EQ(e.Column(), 8u);
  }
}

TEST_F(ExprTest, EvaluationOverValuesAndMissingRows) {
  Expression e = CompileLogical("NAME = 'AB' AND QTY > 1", FResolve, Options{});
  EXPECT_EQ(EvalLogical(FDb, "t", 1, e.sql), std::optional<bool>(true));
  EXPECT_EQ(EvalLogical(FDb, "t", 2, e.sql), std::optional<bool>(false));
  EXPECT_EQ(EvalLogical(FDb, "t", 99, e.sql), std::nullopt);
  // A record not yet written: its values as a one-row source.
  EXPECT_EQ(EvalLogical(FDb, "(SELECT 'ABX' AS NAME, 5 AS QTY)", -1, e.sql),
            std::optional<bool>(true));
  EXPECT_THROW(CompileLogical("QTY + 1", FResolve, Options{}), ExprError);
  // One prepared evaluation over many records.
  LogicalEvaluator ev(FDb, "t", CompileLogical("EMPTY(NAME) OR FLAG", FResolve, Options{}).sql);
  std::vector<int64_t> hits;
  for (int64_t id = 1; id <= 9; ++id)
    if (ev.Eval(id).value_or(false)) hits.push_back(id);
  EXPECT_EQ(hits, (Rows{1, 3, 4, 6}));
}

TEST_F(ExprTest, HostileInputIsRefusedNotCrashed) {
  std::string deep(5000, '(');
  EXPECT_NE(ErrorOf(deep + "FLAG" + std::string(5000, ')')).Detail().find("nested too deeply"),
            std::string::npos);
  std::string chain = "QTY = 0";
  for (int i = 0; i < 3000; ++i) chain += " + 1";
  EXPECT_NE(ErrorOf(chain).Detail().find("nested too deeply"), std::string::npos);
  std::string nots;
  for (int i = 0; i < 3000; ++i) nots += "NOT ";
  EXPECT_NE(ErrorOf(nots + "FLAG").Detail().find("nested too deeply"), std::string::npos);
  // The deepest expression accepted still runs in SQLite, even where the
  // engine nests a filter deepest (69: the logical form's CASE takes a level).
  std::string sum = "QTY";
  for (int i = 0; i < 69; ++i) sum += " + 1";
  EXPECT_EQ(Filter(sum + " > 75"), (Rows{4, 6, 7}));
  // Many terms joined by AND stay within the limit's reach when balanced
  // enough for a user: 100 comparisons.
  std::string many = "QTY > 0";
  for (int i = 0; i < 99; ++i) many += " AND QTY > " + std::to_string(-i);
  EXPECT_EQ(Filter(many), (Rows{1, 4, 6, 7, 8}));
  // Right-nested forms exhaust SQLite's parser stack within the depth limit:
  // those are refused too, and every depth accepted runs.
  EXPECT_NE(ErrorOf(std::string(64, '-') + "QTY > 0").Detail().find("nested too deeply"),
            std::string::npos);
  for (int depth = 10; depth <= 70; depth += 10) {
    std::string plus = "QTY", neg = "QTY", call = "NAME", iif = "QTY";
    for (int i = 0; i < depth; ++i) {
      plus = "1 + (" + plus + ")";
      neg = "-" + neg;
      call = "UPPER(" + call + ")";
      iif = "IIF(FLAG, " + iif + ", 1)";
    }
    for (const std::string& text : {plus + " > 0", neg + " > 0", call + " = 'A'", iif + " > 1"}) {
      try {
        CompileFilter(text, FResolve, Options{});
        CompileLogical(text, FResolve, Options{});
      } catch (const ExprError& e) {
        EXPECT_NE(e.Detail().find("nested too deeply"), std::string::npos) << e.what();
        continue;
      }
      Filter(text);
    }
  }
  // A character "-" repeats its left side in SQL: a chain of them is refused
  // before its translation grows exponentially, a short one runs.
  std::string minus = "NAME";
  for (int i = 0; i < 14; ++i) minus += " - 'x'";
  EXPECT_NE(ErrorOf(minus + " = 'A'").Detail().find("too long"), std::string::npos);
  EXPECT_EQ(Filter("NAME - 'x' - 'y' = 'ABCxy'"), (Rows{1}));
  // Bytes that are no UTF-8 and control characters inside strings.
  EXPECT_EQ(Filter(std::string("NAME = '\xFF\x01'")), (Rows{}));
  // A right side of bytes 0xFF only has no successor: nothing bounds it above.
  EXPECT_EQ(Filter("NAME <= '\xFF\xFF'").size(), 8u);
  EXPECT_EQ(Filter("NAME > '\xFF\xFF'"), (Rows{}));
  // A zero byte would end the SQL SQLite reads inside the literal.
  EXPECT_EQ(ErrorOf(std::string("NAME = 'A\0B' OR FLAG", 21)).Column(), 10u);
  EXPECT_EQ(ErrorOf(std::string("[NA\0ME] = 'A'", 14)).Column(), 4u);
}

TEST_F(ExprTest, RandomTextEitherFailsWithAPositionOrRuns) {
  // Any text the language accepts gives SQL that SQLite runs, in both
  // forms, with the same rows; anything else is an ExprError in the text.
  const char* pieces[] = {
      "NAME",  "CINAME", "QTY",  "AMOUNT", "FLAG",   "D",       "TS",    "NOTE",     "'AB'",
      "\"x\"", "1",      "2.5",  ".T.",    ".F.",    "=",       "==",    "<>",       "#",
      "<",     ">=",     "$",    "+",      "-",      "*",       "/",     "(",        ")",
      ",",     "AND",    "OR",   ".NOT.",  "UPPER(", "SUBSTR(", "IIF(",  "EMPTY(",   "STR(",
      "DTOS(", "CTOD(",  "LEN(", "'",      "TRIM(",  "VAL(",    "YEAR(", "CONTAINS("};
  std::mt19937 rng(2024);
  int accepted = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    int n = 1 + static_cast<int>(rng() % 9);
    for (int k = 0; k < n; ++k) text += std::string(pieces[rng() % std::size(pieces)]) + " ";
    for (bool exact : {false, true}) {
      Options o;
      o.exact = exact;
      try {
        Condition c = CompileFilter(text, FResolve, o);
        Expression e = CompileLogical(text, FResolve, o);
        Rows a = Query("SELECT id FROM t WHERE " + c.sql + " ORDER BY id");
        Rows b = Query("SELECT id FROM t WHERE " + e.sql + " ORDER BY id");
        EXPECT_EQ(a, b) << text;
        ++accepted;
      } catch (const ExprError& err) {
        EXPECT_LE(err.Position(), text.size()) << text;
      }
    }
  }
  EXPECT_GT(accepted, 20);
}

// Random well-typed expressions.
class ExprGen {
 public:
  explicit ExprGen(unsigned seed) : FRng(seed) {}
  std::string Logical(int d) {
    switch (Pick(d > 0 ? 11 : 4)) {
      case 0:
        return "FLAG";
      case 1:
        return Char(d) + Pick({" = ", " == ", " <> ", " # ", " < ", " <= ", " > ", " >= "}) +
               Char(d);
      case 2:
        return Num(d) + Pick({" = ", " <> ", " < ", " >= ", " > ", " <= "}) + Num(d);
      case 3:
        return Date(d) + Pick({" = ", " != ", " < ", " >= "}) + Date(d);
      case 4:
        return "NOT " + Logical(d - 1);
      case 5:
        return "(" + Logical(d - 1) + " AND " + Logical(d - 1) + ")";
      case 6:
        return "(" + Logical(d - 1) + " .OR. " + Logical(d - 1) + ")";
      case 7:
        return "EMPTY(" + Pick({Char(d - 1), Num(d - 1), Date(d - 1)}) + ")";
      case 8:
        return Char(d - 1) + " $ " + Char(d - 1);
      case 9:
        return Pick({".T.", ".F.",
                     "TS" + Pick({" < ", " = ", " >= "}) +
                         Pick({"D", "CTOTS('01/31/2020 13:45')", "TS + 1", "CTOD('')"})});
      default:
        return "FLAG = " + Pick({".T.", ".F.", "(" + Logical(d - 1) + ")"});
    }
  }
  std::string Char(int d) {
    switch (Pick(d > 0 ? 14 : 2)) {
      case 0:
        return Pick({"NAME", "CINAME", "VNAME", "NOTE"});
      case 1:
        return Pick({"'AB'", "'A'", "''", "' '", "'ab '", "\"O'Brien\"", "\"A C\"", "'Zz'", "'b'"});
      case 2:
        return Pick({"UPPER(", "LOWER(", "TRIM(", "LTRIM(", "ALLTRIM("}) + Char(d - 1) + ")";
      case 3:
        return "SUBSTR(" + Char(d - 1) + ", " + Small() + ", " + Small() + ")";
      case 4:
        return Pick({"LEFT(", "RIGHT("}) + Char(d - 1) + ", " + Small() + ")";
      case 5:
        return Char(d - 1) + " + " + Char(d - 1);
      case 6:
        return Char(d - 1) + " - " + Char(d - 1);
      case 7:
        return "DTOS(" + Date(d - 1) + ")";
      case 8:
        return "STR(" + Num(d - 1) + ", " + Small() + ")";
      case 9:
        return "IIF(" + Logical(d - 1) + ", " + Char(d - 1) + ", " + Char(d - 1) + ")";
      case 10:
        return "CHR(" + std::to_string(65 + Pick(3)) + ")";
      default:
        return Pick({"NAME", "CINAME", "VNAME"});
    }
  }
  std::string Num(int d) {
    switch (Pick(d > 0 ? 9 : 2)) {
      case 0:
        return Pick({"QTY", "AMOUNT"});
      case 1:
        return Pick({"0", "1", "3", "-5", "7.25", "100"});
      case 2:
        return "(" + Num(d - 1) + Pick({" + ", " - ", " * "}) + Num(d - 1) + ")";
      case 3:
        return "LEN(" + Char(d - 1) + ")";
      case 4:
        return "VAL(" + Char(d - 1) + ")";
      case 5:
        return Pick({"YEAR(", "MONTH(", "DAY("}) + Date(d - 1) + ")";
      case 6:
        return "-" + Num(d - 1);
      case 7:
        return "IIF(" + Logical(d - 1) + ", " + Num(d - 1) + ", " + Num(d - 1) + ")";
      default:
        return Pick({"QTY", "AMOUNT"});
    }
  }
  std::string Date(int d) {
    switch (Pick(d > 0 ? 4 : 2)) {
      case 0:
        return "D";
      case 1:
        return Pick({"CTOD('01/31/2020')", "CTOD('')", "CTOD('12/31/1999')"});
      case 2:
        return "(" + Date(d - 1) + Pick({" + ", " - "}) + Small() + ")";
      default:
        return "D";
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(FRng() % n); }
  std::string Pick(std::initializer_list<std::string> xs) {
    return *(xs.begin() + Pick(static_cast<int>(xs.size())));
  }
  std::string Small() { return std::to_string(Pick(4)); }
  std::mt19937 FRng;
};

TEST_F(ExprTest, RandomExpressionsFilterAsTheyEvaluate) {
  ExprGen gen(77);
  for (int i = 0; i < 2000; ++i) {
    std::string text = gen.Logical(i % 2 ? 3 : 4);
    for (bool exact : {false, true}) {
      Options o;
      o.exact = exact;
      Condition c;
      Expression e;
      try {
        c = CompileFilter(text, FResolve, o);
        e = CompileLogical(text, FResolve, o);
      } catch (const ExprError& err) {
        ADD_FAILURE() << err.what();
        continue;
      }
      Rows a = Query("SELECT id FROM t WHERE " + c.sql + " ORDER BY id");
      Rows b = Query("SELECT id FROM t WHERE " + e.sql + " ORDER BY id");
      Rows n = Query("SELECT id FROM t WHERE " +
                     CompileFilter("NOT (" + text + ")", FResolve, o).sql + " ORDER BY id");
      EXPECT_EQ(a, b) << text << (exact ? " (exact)" : "") << "\n" << c.sql << "\n" << e.sql;
      EXPECT_EQ(a.size() + n.size(), 8u) << text << (exact ? " (exact)" : "");
    }
  }
}

TEST(ExprDates, TextReaders) {
  EXPECT_EQ(DateFromText("2/9/2021", "MM/DD/CCYY"), "2021-02-09");
  EXPECT_EQ(DateFromText("09022021", "DDMMCCYY"), "2021-02-09");
  EXPECT_EQ(DateFromText("2021/02/09", "YYYY/MM/DD"), "2021-02-09");
  EXPECT_EQ(DateFromText("1/1/49", "MM/DD/YY"), "2049-01-01");
  EXPECT_EQ(DateFromText("1/1/50", "MM/DD/YY"), "1950-01-01");
  EXPECT_EQ(DateFromText("13/1/2020", "MM/DD/CCYY"), "");
  EXPECT_EQ(DateFromText("2/29/2100", "MM/DD/CCYY"), "");
  EXPECT_EQ(DateFromText("2/29/2000", "MM/DD/CCYY"), "2000-02-29");
  EXPECT_EQ(DateFromText("x", "MM/DD/CCYY"), "");
  EXPECT_EQ(DateFromText("12312020", "MM/DD/CCYY"), "2020-12-31");
  EXPECT_EQ(DateFromText("20201231", "MM/DD/CCYY"), "2020-12-31");  // the DTOS form
  EXPECT_EQ(DateFromText("20201231", "DD/MM/YY"), "2020-12-31");
  EXPECT_EQ(DateFromText("20201331", "DD/MM/YY"), "");
  EXPECT_EQ(TimeFromText("12:00 AM"), "00:00:00.000");
  EXPECT_EQ(TimeFromText("12:30:15 pm"), "12:30:15.000");
  EXPECT_EQ(TimeFromText("7"), "");
  EXPECT_EQ(TimestampFromText("2020-01-31T13:45:00.25", "MM/DD/CCYY"), "2020-01-31 13:45:00.250");
  EXPECT_EQ(TimestampFromText("01/31/2020 25:00", "MM/DD/CCYY"), "");
}

}  // namespace

TEST(ExprNumbers, TextWithAPointWhateverTheLocale) {
  // from_chars/to_chars never consult the C locale, which a window may set to
  // a decimal comma; these are the forms literals and keys rely on.
  EXPECT_DOUBLE_EQ(ParseNumber("  +1.5e3"), 1500);
  EXPECT_DOUBLE_EQ(ParseNumber("12."), 12);
  EXPECT_DOUBLE_EQ(ParseNumber("-.25"), -0.25);
  EXPECT_DOUBLE_EQ(ParseNumber(""), 0);
  EXPECT_DOUBLE_EQ(ParseNumber("abc"), 0);
  EXPECT_EQ(FormatNumber(0.1), "0.1");
  EXPECT_EQ(FormatNumber(-2.5), "-2.5");
  EXPECT_DOUBLE_EQ(ParseNumber(FormatNumber(1.0 / 3)), 1.0 / 3);
}
