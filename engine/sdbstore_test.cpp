// Dictionary files on disk: the catalog, tables and indexes made by engine
// SQL, record numbers, rows, rights, renames, and agreement with the sqlite3 shell.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "sdbstore.h"

using namespace sdbstore;
namespace fs = std::filesystem;

namespace {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sdbstore_testXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/db.add";
    OpenOptions o;
    o.create = true;
    db = Database::Open(path, o);
  }
  void TearDown() override {
    db.reset();
    fs::remove_all(dir);
  }
  void Sql(const std::string& script) {
    for (const std::string& s : SplitStatements(script)) db->Execute(db->Translate(s));
  }
  // Runs the standard sqlite3 shell on the file; answers its output.
  std::string Shell(const std::string& sql) {
    std::string cmd = "sqlite3 " + path + " \"" + sql + "\" 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    return out;
  }
  uint32_t CodeOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const StoreError& e) {
      return e.code();
    }
    return 0;
  }
  std::string dir, path;
  std::unique_ptr<Database> db;
};

const char* kCurrency =
    "CREATE TABLE CD_Currency (ID NUMERIC(15,0), CODE CHAR(3), NAME CICHAR(40), INUSE LOGICAL, "
    "CHANGED TIMESTAMP, N AUTOINC, NOTE MEMO, RV ROWVERSION, MT MODTIME);";

}  // namespace

TEST_F(StoreTest, OpensOnlyWhatExistsUnlessAskedToCreate) {
  EXPECT_EQ(CodeOf([&] { Database::Open(dir + "/missing.add"); }), kErrFileOpen);
  EXPECT_EQ(CodeOf([&] { Database::Open(dir); }), kErrFileOpen);
  FILE* f = fopen((dir + "/junk.add").c_str(), "w");
  fputs("this is not a database, not at all, just some text that fills a page", f);
  fclose(f);
  EXPECT_EQ(CodeOf([&] { Database::Open(dir + "/junk.add"); }), kErrFileOpen);
  EXPECT_EQ(*db->QueryText("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(*db->DatabaseProperty(kDbVersionMajor), "1");
  EXPECT_FALSE(db->DatabaseProperty(9999));
  // A second connection sees the same catalog.
  Sql(kCurrency);
  auto other = Database::Open(path);
  EXPECT_EQ(other->ListTables(), std::vector<std::string>{"CD_Currency"});
}

TEST_F(StoreTest, CreateTableStoresEngineTypesAndSafeAffinities) {
  Sql(kCurrency);
  auto t = db->GetTable("cd_currency");
  ASSERT_EQ(t->fields.size(), 9u);
  EXPECT_EQ(t->name, "CD_Currency");
  EXPECT_EQ(t->fields[0].type, FieldType::Numeric);
  EXPECT_EQ(t->fields[0].length, 15u);
  EXPECT_EQ(t->fields[2].type, FieldType::CIString);
  EXPECT_EQ(t->autoincField, 5);
  EXPECT_EQ(t->recordLength, 15u + 3 + 40 + 1 + 8 + 4 + 4 + 8 + 8);
  EXPECT_EQ(t->FieldIndex("name"), 2);
  EXPECT_EQ(t->FieldIndex("sdb_recno"), -1);
  // The declared SQLite types are plain affinities; CICHAR compares without case.
  std::string ddl = *db->QueryText("SELECT sql FROM sqlite_master WHERE name = 'CD_Currency'");
  EXPECT_NE(ddl.find("\"NOTE\" TEXT"), std::string::npos);
  EXPECT_NE(ddl.find("\"NAME\" TEXT COLLATE NOCASE"), std::string::npos);
  EXPECT_EQ(ddl.find("MEMO"), std::string::npos);
  EXPECT_EQ(db->GetTable("CD_Currency").get(), t.get()) << "cached";

  EXPECT_EQ(CodeOf([&] { Sql(kCurrency); }), kErrDuplicateObject);
  EXPECT_EQ(CodeOf([&] { Sql("CREATE TABLE x (A CHAR(2), a INTEGER)"); }), kErrDuplicateObject);
  EXPECT_EQ(CodeOf([&] { Sql("CREATE TABLE sdb_x (A CHAR(2))"); }), kErrBadParameter);
  EXPECT_EQ(CodeOf([&] { Sql("CREATE TABLE y (A FLUFF)"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { db->GetTable("nope"); }), kErrNotFound);
  EXPECT_FALSE(db->FindTable("y"));  // a failed create leaves nothing behind
  EXPECT_FALSE(db->QueryText("SELECT 1 FROM sqlite_master WHERE name = 'y'"));
}

TEST_F(StoreTest, ShellAndEngineAgreeOnStoredValues) {
  Sql(kCurrency);
  Sql("INSERT INTO CD_Currency VALUES (1, 'EUR', 'Euro', TRUE, '2024-02-29 10:11:12.123', NULL, "
      "'memo', "
      "NULL, NULL)");
  // The shell writes too, with recursive triggers on (its default here).
  EXPECT_EQ(
      Shell(
          "PRAGMA recursive_triggers=ON; INSERT INTO CD_Currency(ID, CODE, NAME) VALUES (2, 'USD', "
          "'dollar'); SELECT sdb_recno, ID, CODE, NAME, INUSE, CHANGED, N, NOTE FROM CD_Currency "
          "ORDER BY sdb_recno"),
      "1|1.0|EUR|Euro|1|2024-02-29 10:11:12.123|1|memo\n2|2.0|USD|dollar|||2|\n");
  EXPECT_EQ(Shell("SELECT count(DISTINCT RV), count(MT) FROM CD_Currency"), "2|2\n");
  // A table the shell drops is gone for the engine too.
  Sql("CREATE TABLE Gone (A INTEGER)");
  EXPECT_EQ(Shell("DROP TABLE Gone"), "");
  EXPECT_EQ(CodeOf([&] { db->GetTable("Gone"); }), kErrNotFound);
  Sql("CREATE TABLE Gone (B CHAR(2))");
  EXPECT_EQ(db->GetTable("Gone")->fields.at(0).name, "B");
  auto t = db->GetTable("CD_Currency");
  std::vector<uint8_t> img(t->recordLength);
  ASSERT_TRUE(db->ReadRecord(*t, 2, img.data()));
  std::string s;
  EXPECT_TRUE(GetText(t->fields[2], img.data(), s));
  EXPECT_EQ(s, "dollar");
  EXPECT_TRUE(IsEmpty(t->fields[3], img.data()));
  EXPECT_TRUE(IsEmpty(t->fields[6], img.data()));
  int64_t n;
  EXPECT_TRUE(GetInt64(t->fields[5], img.data(), n));
  EXPECT_EQ(n, 2);
  ASSERT_TRUE(db->ReadRecord(*t, 1, img.data()));
  EXPECT_EQ(DataLength(t->fields[6], img.data()), 4u);
  EXPECT_EQ(*db->ReadBlob(*t, 1, 6), "memo");
  EXPECT_FALSE(db->ReadBlob(*t, 2, 6));
  // CICHAR compares without case in plain SQL.
  EXPECT_EQ(*db->QueryText("SELECT ID FROM CD_Currency WHERE NAME = 'DOLLAR'"), "2.0");
  // Rows changed count the statement's own rows, not what its triggers wrote.
  EXPECT_EQ(db->Execute(db->Translate("UPDATE CD_Currency SET INUSE = FALSE")), 2);
  EXPECT_EQ(db->Execute(db->Translate("INSERT INTO CD_Currency (ID) VALUES (3)")), 1);
}

TEST_F(StoreTest, RecordNumbersAreStableAndNeverReused) {
  Sql("CREATE TABLE T (A INTEGER, B CHAR(4))");
  auto t = db->GetTable("T");
  std::vector<uint8_t> img(t->recordLength);
  InitRecord(t->fields, img.data());
  int64_t r1 = db->ReserveRecordNumber(*t);
  int64_t r2 = db->ReserveRecordNumber(*t);
  EXPECT_EQ(r1, 1);
  EXPECT_EQ(r2, 2);
  PutInt64(t->fields[0], 10, img.data());
  db->InsertRecord(*t, r2, img.data());  // r1 was cancelled: a gap, no row
  EXPECT_EQ(db->RecordCount(*t), 1);
  EXPECT_FALSE(db->ReadRecord(*t, r1, img.data()));
  // Rows inserted by SQL take numbers after the reserved ones.
  Sql("INSERT INTO T VALUES (20, 'x'); INSERT INTO T (A) VALUES (30)");
  EXPECT_EQ(*db->QueryText("SELECT group_concat(sdb_recno) FROM T"), "2,3,4");
  EXPECT_TRUE(db->DeleteRecord(*t, 4));
  EXPECT_FALSE(db->DeleteRecord(*t, 4));
  db->Exec("VACUUM");
  EXPECT_EQ(db->ReserveRecordNumber(*t), 5);
  EXPECT_EQ(*db->QueryText("SELECT group_concat(sdb_recno) FROM T"), "2,3");
  // A counter removed by hand restarts above the highest number.
  db->Exec("DELETE FROM sqlite_sequence WHERE name = 'T'");
  EXPECT_EQ(db->ReserveRecordNumber(*t), 4);
  // Or SQLite numbers the record as it is written.
  EXPECT_EQ(db->InsertRecord(*t, 0, img.data()), 5);
  EXPECT_EQ(db->InsertRecord(*t, 0, img.data()), 6);
}

TEST_F(StoreTest, RowWritesKeepBlobsAutoincAndChangedFields) {
  Sql("CREATE TABLE T (A INTEGER, B CHAR(4), M MEMO, P BLOB, N AUTOINC)");
  auto t = db->GetTable("T");
  std::vector<uint8_t> img(t->recordLength);
  InitRecord(t->fields, img.data());
  PutInt64(t->fields[0], 1, img.data());
  PutText(t->fields[1], "ab", img.data());
  int64_t r = db->ReserveRecordNumber(*t);
  db->InsertRecord(*t, r, img.data(), {{2, std::string("text")}, {3, std::string("\0\1\2", 3)}});
  EXPECT_EQ(*db->QueryText("SELECT typeof(M) || typeof(P) || N FROM T"), "textblob1");
  InitRecord(t->fields, img.data());
  int64_t r2 = db->InsertRecord(*t, 0, img.data());
  EXPECT_EQ(*db->QueryText("SELECT N FROM T WHERE sdb_recno = " + std::to_string(r2)),
            std::to_string(r2));
  EXPECT_TRUE(db->DeleteRecord(*t, r2));
  ASSERT_TRUE(db->ReadRecord(*t, r, img.data()));
  EXPECT_EQ(DataLength(t->fields[3], img.data()), 3u);

  // Only the changed field is written: a concurrent change of B survives.
  db->Exec("UPDATE T SET B = 'zz'");
  PutInt64(t->fields[0], 5, img.data());
  EXPECT_TRUE(db->UpdateRecord(*t, r, img.data(), {true, false, false, false, false}));
  EXPECT_EQ(*db->QueryText("SELECT A || B FROM T"), "5zz");
  EXPECT_TRUE(db->UpdateRecord(*t, r, img.data(), {false, false, true}, {{2, std::nullopt}}));
  EXPECT_EQ(*db->QueryText("SELECT typeof(M) FROM T"), "null");
  EXPECT_FALSE(db->UpdateRecord(*t, 99, img.data(), {true}));
  // Without a list of changed fields every field of the image is written,
  // and of the blobs those given.
  EXPECT_TRUE(db->UpdateRecord(*t, r, img.data(), {}, {{3, std::string("xy")}}));
  EXPECT_EQ(*db->QueryText("SELECT A || B || typeof(M) || hex(P) FROM T"), "5abnull7879");
  EXPECT_EQ(CodeOf([&] {
              Sql("CREATE TABLE V (X VARCHAR(3))");
              auto v = db->GetTable("V");
              std::vector<uint8_t> im(v->recordLength);
              db->InsertRecord(*v, 1, im.data(), {{0, std::string("four")}});
            }),
            kErrValueTooLong);
}

TEST_F(StoreTest, IndexesAreRealSqliteIndexesNamedPerTable) {
  Sql(kCurrency);
  Sql("CREATE TABLE Other (ID INTEGER, X CHAR(2));"
      "CREATE UNIQUE INDEX ID ON CD_Currency (ID);"
      "CREATE INDEX SHORT ON CD_Currency (CODE DESC, UPPER(NAME));"
      "CREATE INDEX ID ON Other ([ID]) WHERE ID > 0;");
  auto t = db->GetTable("CD_Currency");
  auto o = db->GetTable("Other");
  ASSERT_EQ(t->indexes.size(), 2u);
  const IndexDef* id = t->FindIndex("id");
  ASSERT_TRUE(id);
  EXPECT_TRUE(id->unique);
  EXPECT_TRUE(id->candidate);
  const IndexDef* shortIdx = t->FindIndex("SHORT");
  ASSERT_TRUE(shortIdx);
  EXPECT_EQ(shortIdx->keyExpression, "CODE;UPPER(NAME)");
  ASSERT_EQ(shortIdx->segments.size(), 2u);
  EXPECT_TRUE(shortIdx->segments[0].descending);
  EXPECT_EQ(shortIdx->segments[1].field, "NAME");
  EXPECT_EQ(shortIdx->segments[1].expression, "UPPER(\"NAME\")");
  const IndexDef* oid = o->FindIndex("ID");
  ASSERT_TRUE(oid);
  EXPECT_NE(oid->sqliteName, id->sqliteName);
  EXPECT_EQ(oid->condition, "ID > 0");
  EXPECT_EQ(*db->QueryText(
                "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name LIKE 'sdbidx%'"),
            "3");
  // SQLite uses the index the catalog names.
  sqlite3_stmt* s = db->Prepare(
      "EXPLAIN QUERY PLAN SELECT * FROM CD_Currency WHERE CODE = 'EUR' ORDER BY CODE DESC");
  std::string detail;
  while (db->Step(s)) detail += reinterpret_cast<const char*>(sqlite3_column_text(s, 3));
  EXPECT_NE(detail.find(shortIdx->sqliteName), std::string::npos) << detail;

  // A unique index refuses a duplicate with SQLite's constraint code.
  Sql("INSERT INTO CD_Currency (ID) VALUES (1)");
  try {
    Sql("INSERT INTO CD_Currency (ID) VALUES (1)");
    ADD_FAILURE();
  } catch (const StoreError& e) {
    EXPECT_EQ(e.code(), kErrSql);
    EXPECT_EQ(e.native(), SQLITE_CONSTRAINT);
    EXPECT_NE(std::string(e.what()).find("NativeError = 19;"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("Error 7200:"), std::string::npos);
  }
  EXPECT_EQ(CodeOf([&] { Sql("CREATE INDEX ID ON CD_Currency (CODE)"); }), kErrDuplicateObject);
  EXPECT_EQ(CodeOf([&] { Sql("CREATE INDEX Q ON CD_Currency (NOPE)"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("DROP INDEX ID"); }), kErrBadParameter) << "two tables have ID";

  db->SetTableProperty("CD_Currency", kTableDefaultIndex, "SHORT");
  EXPECT_EQ(*db->TableProperty("CD_Currency", kTableDefaultIndex), "SHORT");
  EXPECT_EQ(CodeOf([&] { db->SetTableProperty("CD_Currency", kTableDefaultIndex, "NOPE"); }),
            kErrNoSuchObject);
  Sql("DROP INDEX CD_Currency.SHORT");
  EXPECT_FALSE(db->TableProperty("CD_Currency", kTableDefaultIndex))
      << "a dropped default index is no default";
  Sql("DROP INDEX ID ON Other; DROP INDEX IF EXISTS Other.ID");
  EXPECT_EQ(db->GetTable("Other")->indexes.size(), 0u);
  Sql("DROP TABLE CD_Currency; DROP TABLE IF EXISTS CD_Currency");
  EXPECT_EQ(*db->QueryText("SELECT count(*) FROM sdb_indexes"), "0");
  EXPECT_EQ(*db->QueryText("SELECT count(*) FROM sqlite_master WHERE name LIKE '%Currency%'"), "0");
}

TEST_F(StoreTest, TranslationRewritesMarkersNamesAndColumnLists) {
  Sql("CREATE TABLE T (A INTEGER, B CHAR(4))");
  Translation tr =
      db->Translate("SELECT * FROM [T] WHERE A = :a AND B = ? AND B <> ':no' AND A > :a");
  EXPECT_EQ(tr.kind, StatementKind::Select);
  EXPECT_EQ(
      tr.sql,
      "SELECT \"T\".\"sdb_recno\", * FROM \"T\" WHERE A = ?1 AND B = ?2 AND B <> ':no' AND A > ?3");
  EXPECT_EQ(tr.params, (std::vector<std::string>{"a", "", "a"}));
  EXPECT_TRUE(tr.singleTable);
  EXPECT_EQ(tr.table, "T");
  EXPECT_FALSE(db->Translate("SELECT * FROM T a, T b").singleTable);
  EXPECT_FALSE(db->Translate("SELECT DISTINCT A FROM T").singleTable);
  EXPECT_FALSE(db->Translate("SELECT A FROM T GROUP BY A").singleTable);
  tr = db->Translate("SELECT A FROM T x WHERE A IN (SELECT max(A) FROM T GROUP BY A)");
  EXPECT_TRUE(tr.singleTable);
  EXPECT_EQ(tr.sql,
            "SELECT \"x\".\"sdb_recno\", A FROM T x WHERE A IN (SELECT max(A) FROM T GROUP BY A)");
  EXPECT_FALSE(db->Translate("SELECT count(*) FROM T").singleTable);
  EXPECT_FALSE(db->Translate("SELECT A FROM T UNION SELECT A FROM T").singleTable);

  tr = db->Translate("INSERT INTO T VALUES (:x, 'a;b');");
  EXPECT_EQ(tr.sql, "INSERT INTO T (\"A\", \"B\") VALUES (?1, 'a;b')");
  EXPECT_EQ(db->Translate("insert into T(B) values ('q')").sql, "insert into T(B) values ('q')");
  Sql("CREATE TABLE U (A INTEGER, B CHAR(4)); INSERT INTO U VALUES (7, 'u'); INSERT INTO T SELECT "
      "* FROM U");
  EXPECT_EQ(*db->QueryText("SELECT A || B FROM T"), "7u");

  tr = db->Translate("EXECUTE PROCEDURE sp_setapplicationid(:FAppID)");
  EXPECT_EQ(tr.kind, StatementKind::Procedure);
  EXPECT_EQ(tr.procedure, "sp_setapplicationid");
  EXPECT_EQ(tr.args, std::vector<std::string>{":FAppID"});
  EXPECT_EQ(tr.params, std::vector<std::string>{"FAppID"});
  tr = db->Translate("execute procedure sp_getapplicationid( )");
  EXPECT_TRUE(tr.args.empty());
  // A number ends where its digits do: a sign only belongs to an exponent.
  tr = db->Translate("EXECUTE PROCEDURE sp_x(1e-2, -3, 2E+1)");
  EXPECT_EQ(tr.args, (std::vector<std::string>{"1e-2", "-3", "2E+1"}));
  EXPECT_EQ(CodeOf([&] { db->Translate("EXECUTE PROCEDURE sp_x(1-2)"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { db->Execute(tr); }), kErrSql);

  auto parts = SplitStatements(
      "CREATE TABLE Q (A INTEGER); -- a comment; still\n"
      "INSERT INTO Q VALUES (1) /* ; */; ;"
      "CREATE TRIGGER tq AFTER INSERT ON Q BEGIN UPDATE Q SET A = 2; END; SELECT 'x;y'");
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[2], "CREATE TRIGGER tq AFTER INSERT ON Q BEGIN UPDATE Q SET A = 2; END");
  EXPECT_EQ(parts[3], "SELECT 'x;y'");
  // Quoted and bracketed names may hold ";" too.
  parts = SplitStatements("SELECT \"a;b\", `c;d`, [e;f] FROM T; SELECT 2");
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0], "SELECT \"a;b\", `c;d`, [e;f] FROM T");
  EXPECT_EQ(CodeOf([&] { SplitStatements("SELECT 'open"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { db->Translate("   "); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { db->Execute(db->Translate("UPDATE T SET A = :v")); }), kErrSql);
  EXPECT_EQ(db->Execute(db->Translate("UPDATE T SET A = 1")), 1);
}

TEST_F(StoreTest, ResultLayoutsDescribeColumnsInEngineTypes) {
  Sql(kCurrency);
  Sql("INSERT INTO CD_Currency (ID, CODE, NAME) VALUES (7, 'EUR', 'Euro')");
  sqlite3_stmt* s =
      db->Prepare(db->Translate("SELECT NAME, CODE FROM CD_Currency AS c WHERE ID = 7").sql);
  ASSERT_TRUE(db->Step(s));
  ResultLayout r = db->DescribeResult(s);
  ASSERT_EQ(r.fields.size(), 2u);
  EXPECT_EQ(r.recnoColumn, 0);
  EXPECT_EQ(sqlite3_column_int(s, 0), 1);
  EXPECT_EQ(r.table, "CD_Currency");
  sqlite3_reset(s);
  s = db->Prepare(db->Translate("SELECT * FROM CD_Currency").sql);
  ASSERT_TRUE(db->Step(s));
  r = db->DescribeResult(s);
  ASSERT_EQ(r.fields.size(), 9u);
  EXPECT_EQ(r.recnoColumn, 0);
  EXPECT_EQ(r.table, "CD_Currency");
  EXPECT_EQ(r.fields[2].type, FieldType::CIString);
  EXPECT_EQ(r.fields[2].length, 40u);
  EXPECT_EQ(r.recordLength, db->GetTable("CD_Currency")->recordLength);
  sqlite3_reset(s);

  s = db->Prepare(
      "SELECT c.CODE, count(*) AS cnt, 1.5 AS half, 'abc' AS txt, c.CODE, x'00' AS bin FROM "
      "CD_Currency c "
      "GROUP BY c.CODE");
  ASSERT_TRUE(db->Step(s));
  std::vector<uint32_t> widths = {0, 0, 0, 10};
  r = db->DescribeResult(s, &widths);
  ASSERT_EQ(r.fields.size(), 6u);
  EXPECT_EQ(r.recnoColumn, -1);
  EXPECT_EQ(r.table, "");
  EXPECT_EQ(r.fields[0].type, FieldType::String);
  EXPECT_EQ(r.fields[0].length, 3u);
  EXPECT_EQ(r.fields[1].name, "cnt");
  EXPECT_EQ(r.fields[1].type, FieldType::Integer);
  EXPECT_EQ(r.fields[2].type, FieldType::Double);
  EXPECT_EQ(r.fields[3].length, 10u);
  EXPECT_EQ(r.fields[4].name, "CODE_1");
  EXPECT_EQ(r.fields[5].type, FieldType::Binary);
  std::vector<uint8_t> img(r.recordLength);
  for (size_t i = 0; i < r.fields.size(); ++i)
    DecodeColumn(r.fields[i], s, r.columns[i], img.data());
  std::string t;
  EXPECT_TRUE(GetText(r.fields[3], img.data(), t));
  EXPECT_EQ(t, "abc");
  sqlite3_reset(s);
}

TEST_F(StoreTest, UsersGroupsAndRights) {
  Sql(kCurrency);
  EXPECT_EQ(db->TableRights("anyone", "CD_Currency"), uint32_t(kRightAll)) << "no users: no checks";
  Sql("EXECUTE PROCEDURE sp_CreateUser('clerk', 'se;cret');"
      "EXECUTE PROCEDURE sp_CreateUser('boss', '');"
      "EXECUTE PROCEDURE sp_CreateGroup('readers');"
      "EXECUTE PROCEDURE sp_CreateGroup('editors');"
      "EXECUTE PROCEDURE sp_AddUserToGroup('clerk', 'readers');"
      "EXECUTE PROCEDURE sp_AddUserToGroup('clerk', 'editors');"
      "GRANT SELECT ON CD_Currency TO readers;"
      "GRANT UPDATE (NAME), INSERT ON CD_Currency TO clerk;"
      "GRANT ALL ON CD_Currency TO boss");
  EXPECT_TRUE(db->CheckPassword("CLERK", "se;cret"));
  EXPECT_FALSE(db->CheckPassword("clerk", "wrong"));
  EXPECT_FALSE(db->CheckPassword("ghost", ""));
  EXPECT_EQ(db->QueryText("SELECT 1 FROM sdb_users WHERE password LIKE '%se;cret%'"), std::nullopt)
      << "passwords are stored hashed";
  EXPECT_EQ(*db->UserProperty("clerk", kUserGroupMembership), "editors;readers");
  EXPECT_FALSE(db->UserProperty("boss", kUserGroupMembership));
  EXPECT_EQ(CodeOf([&] { db->UserProperty("ghost", kUserGroupMembership); }), kErrNoSuchObject);
  EXPECT_EQ(db->TableRights("clerk", "CD_Currency"), uint32_t(kRightRead | kRightInsert));
  EXPECT_EQ(db->ColumnRights("clerk", "CD_Currency", "NAME"),
            uint32_t(kRightRead | kRightInsert | kRightUpdate));
  EXPECT_EQ(db->ColumnRights("clerk", "CD_Currency", "CODE"), uint32_t(kRightRead | kRightInsert));
  EXPECT_EQ(db->TableRights("boss", "CD_Currency"), uint32_t(kRightAll));
  EXPECT_EQ(db->TableRights("ghost", "CD_Currency"), 0u);
  Sql("REVOKE INSERT ON CD_Currency FROM clerk");
  EXPECT_EQ(db->TableRights("clerk", "CD_Currency"), uint32_t(kRightRead));
  EXPECT_EQ(CodeOf([&] { Sql("GRANT SELECT ON CD_Currency TO ghost"); }), kErrNoSuchObject);
  EXPECT_EQ(CodeOf([&] { Sql("GRANT FLY ON CD_Currency TO boss"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("EXECUTE PROCEDURE sp_CreateUser('readers', 'x')"); }),
            kErrDuplicateObject);
  EXPECT_EQ(db->ListObjects(ObjectType::User), (std::vector<std::string>{"boss", "clerk"}));
  EXPECT_EQ(db->ListObjects(ObjectType::Group), (std::vector<std::string>{"editors", "readers"}));
  db->RenameObject(ObjectType::Group, "readers", "viewers");
  EXPECT_EQ(db->TableRights("clerk", "CD_Currency"), uint32_t(kRightRead));
  Sql("EXECUTE PROCEDURE sp_RemoveUserFromGroup('clerk', 'viewers')");
  EXPECT_EQ(db->TableRights("clerk", "CD_Currency"), 0u);
  Sql("EXECUTE PROCEDURE sp_DropUser('clerk'); EXECUTE PROCEDURE sp_ModifyDatabase(112, '3')");
  EXPECT_EQ(*db->DatabaseProperty(kDbVersionMinor), "3");
  EXPECT_EQ(*db->QueryText("SELECT count(*) FROM sdb_members"), "0");
}

TEST_F(StoreTest, RenamesKeepTheCatalogInStep) {
  Sql(kCurrency);
  Sql("CREATE INDEX SHORT ON CD_Currency (CODE, UPPER(NAME));"
      "EXECUTE PROCEDURE sp_ModifyTableProperty('CD_Currency', 'TABLE_DEFAULT_INDEX', 'SHORT');"
      "INSERT INTO CD_Currency (ID) VALUES (1)");
  int64_t id = db->GetTable("CD_Currency")->id;
  db->RenameObject(ObjectType::Table, "cd_currency", "Money");
  EXPECT_FALSE(db->FindTable("CD_Currency"));
  auto t = db->GetTable("Money");
  EXPECT_EQ(t->id, id) << "locks keep their numbers";
  EXPECT_EQ(db->ReserveRecordNumber(*t), 2) << "the counter moved with the table";
  db->RenameObject(ObjectType::Field, "NAME", "TITLE", "Money");
  db->RenameObject(ObjectType::Index, "short", "BYCODE", "Money");
  t = db->GetTable("Money");
  EXPECT_EQ(t->fields[2].name, "TITLE");
  const IndexDef* x = t->FindIndex("BYCODE");
  ASSERT_TRUE(x);
  EXPECT_EQ(x->keyExpression, "CODE;UPPER(\"TITLE\")");
  EXPECT_EQ(x->segments[1].field, "TITLE");
  EXPECT_EQ(*db->TableProperty("Money", kTableDefaultIndex), "BYCODE");
  Sql("INSERT INTO Money (TITLE) VALUES ('x')");  // triggers follow the rename
  EXPECT_EQ(*db->QueryText("SELECT count(N) FROM Money"), "2");
  EXPECT_EQ(CodeOf([&] { db->RenameObject(ObjectType::Field, "TITLE", "code", "Money"); }),
            kErrDuplicateObject);
  EXPECT_EQ(CodeOf([&] { db->RenameObject(ObjectType::Table, "Nope", "X"); }), kErrNotFound);
  EXPECT_EQ(db->ListObjects(ObjectType::Index, "Money"), std::vector<std::string>{"BYCODE"});
  EXPECT_EQ(db->ListObjects(ObjectType::Field, "Money").size(), 9u);
}

TEST_F(StoreTest, ColumnConstraintsBecomeCatalogFacts) {
  Sql("CREATE TABLE P (CODE CHAR(3) PRIMARY KEY, QTY INTEGER NOT NULL DEFAULT -1, NOTE CHAR(5) "
      "DEFAULT 'n/a')");
  auto t = db->GetTable("P");
  const IndexDef* pk = t->FindIndex("CODE");
  ASSERT_TRUE(pk);
  EXPECT_TRUE(pk->primary);
  EXPECT_TRUE(pk->unique);
  EXPECT_EQ(*db->TableProperty("P", kTableDefaultIndex), "CODE");
  EXPECT_FALSE(t->fields[1].nullable);
  EXPECT_EQ(t->fields[1].defaultValue, "-1");
  EXPECT_EQ(t->fields[2].defaultValue, "'n/a'");
  Sql("INSERT INTO P (CODE) VALUES ('A')");  // SQL inserts get the defaults
  EXPECT_EQ(*db->QueryText("SELECT QTY || NOTE FROM P"), "-1n/a");
  EXPECT_EQ(CodeOf([&] { Sql("INSERT INTO P (CODE) VALUES ('A')"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("CREATE TABLE Q (A INTEGER, PRIMARY KEY (A))"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("CREATE TABLE Q (A INTEGER PRIMARY KEY, B INTEGER PRIMARY KEY)"); }),
            kErrSql);
  EXPECT_FALSE(db->FindTable("Q"));
}

TEST_F(StoreTest, AlterTableAddsAndRenames) {
  Sql("CREATE TABLE T (A INTEGER); INSERT INTO T VALUES (1)");
  Sql("ALTER TABLE T ADD COLUMN B CHAR(5); ALTER TABLE T ADD C NUMERIC(6,2)");
  auto t = db->GetTable("T");
  ASSERT_EQ(t->fields.size(), 3u);
  EXPECT_EQ(t->fields[2].type, FieldType::Numeric);
  EXPECT_EQ(t->recordLength, 4u + 5 + 6);
  std::vector<uint8_t> img(t->recordLength);
  ASSERT_TRUE(db->ReadRecord(*t, 1, img.data()));
  EXPECT_TRUE(IsEmpty(t->fields[1], img.data()));
  Sql("INSERT INTO T VALUES (2, 'x', 1.5)");  // the column list follows the new fields
  EXPECT_EQ(*db->QueryText("SELECT B || C FROM T WHERE A = 2"), "x1.5");
  Sql("ALTER TABLE T RENAME COLUMN B TO BB; ALTER TABLE T RENAME TO U");
  EXPECT_EQ(db->GetTable("U")->fields[1].name, "BB");
  EXPECT_EQ(CodeOf([&] { Sql("ALTER TABLE U ADD A INTEGER"); }), kErrDuplicateObject);
  EXPECT_EQ(CodeOf([&] { Sql("ALTER TABLE U ADD Z AUTOINC"); }), kErrBadParameter);
  EXPECT_EQ(CodeOf([&] { Sql("ALTER TABLE U DROP COLUMN BB"); }), kErrSql);
}

TEST_F(StoreTest, ConnectionsShareTheFileAndWaitForEachOther) {
  Sql("CREATE TABLE T (A INTEGER)");
  auto t = db->GetTable("T");
  OpenOptions o;
  o.busyTimeoutMs = 100;
  auto other = Database::Open(path, o);
  auto t2 = other->GetTable("T");
  db->Begin(true);
  int64_t mine = db->ReserveRecordNumber(*t);
  // A writer holds the file: the other one waits its time-out, then fails with BUSY.
  try {
    other->ReserveRecordNumber(*t2);
    ADD_FAILURE() << "a second writer got in";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.code(), kErrSql);
    EXPECT_EQ(e.native(), SQLITE_BUSY);
  }
  EXPECT_FALSE(other->InTransaction()) << "the failed reservation leaves no transaction open";
  db->Commit();
  EXPECT_EQ(other->ReserveRecordNumber(*t2), mine + 1);
  // Readers see committed rows of the other connection at once.
  std::vector<uint8_t> img(t->recordLength);
  InitRecord(t->fields, img.data());
  PutInt64(t->fields[0], 42, img.data());
  db->InsertRecord(*t, mine, img.data());
  std::vector<uint8_t> seen(t2->recordLength);
  ASSERT_TRUE(other->ReadRecord(*t2, mine, seen.data()));
  EXPECT_EQ(seen, img);
}

TEST_F(StoreTest, ProceduresCheckTheirArgumentsAndViewsKeepEngineTypes) {
  Sql(kCurrency);
  EXPECT_EQ(CodeOf([&] { Sql("EXECUTE PROCEDURE sp_CreateUser()"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("EXECUTE PROCEDURE sp_NoSuchThing('x')"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("EXECUTE PROCEDURE sp_ModifyDatabase('x', '1')"); }), kErrSql);
  EXPECT_EQ(CodeOf([&] { Sql("EXECUTE PROCEDURE sp_CreateUser('a' 'b')"); }), kErrSql);
  Translation tr = db->Translate("EXECUTE PROCEDURE sp_CreateGroup(:g)");
  EXPECT_EQ(CodeOf([&] { db->Execute(tr); }), kErrSql) << "a marker without its value";
  tr.args = {"clerks"};
  db->Execute(tr);
  EXPECT_EQ(db->ListObjects(ObjectType::Group), std::vector<std::string>{"clerks"});
  Sql("EXECUTE PROCEDURE sp_RenameDDObject('clerks', 'staff', 8)");
  EXPECT_EQ(db->ListObjects(ObjectType::Group), std::vector<std::string>{"staff"});
  tr = db->Translate("EXECUTE PROCEDURE sp_ModifyTableProperty('CD_Currency', 300, -5)");
  EXPECT_EQ(tr.args, (std::vector<std::string>{"CD_Currency", "300", "-5"}));
  db->Execute(tr);
  EXPECT_EQ(*db->TableProperty("CD_Currency", 300), "-5");
  EXPECT_EQ(CodeOf([&] { db->TableProperty("Nope", 300); }), kErrNotFound);

  // A view keeps the engine types of the columns it passes on.
  Sql("CREATE VIEW InUse AS SELECT CODE, NAME FROM CD_Currency WHERE INUSE = 1;"
      "INSERT INTO CD_Currency (CODE, NAME, INUSE) VALUES ('EUR', 'Euro', TRUE)");
  EXPECT_EQ(db->ListObjects(ObjectType::View), std::vector<std::string>{"InUse"});
  sqlite3_stmt* s = db->Prepare(db->Translate("SELECT * FROM InUse").sql);
  ASSERT_TRUE(db->Step(s));
  ResultLayout r = db->DescribeResult(s);
  ASSERT_EQ(r.fields.size(), 2u);
  EXPECT_EQ(r.fields[1].type, FieldType::CIString);
  EXPECT_EQ(r.fields[1].length, 40u);
  sqlite3_reset(s);
}

TEST_F(StoreTest, SchemaChangesByAnotherConnectionAreSeen) {
  Sql("CREATE TABLE T (A INTEGER)");
  auto before = db->GetTable("T");
  auto other = Database::Open(path);
  other->Execute(other->Translate("CREATE INDEX IA ON T (A)"));
  auto after = db->GetTable("T");
  EXPECT_NE(before.get(), after.get());
  EXPECT_TRUE(after->FindIndex("IA"));
}

TEST_F(StoreTest, ADamagedCatalogIsRefusedNotLaidOut) {
  // Lengths, scales and type codes that no record image can hold, as a shell
  // user could leave them: reading the table answers damage (7200, native 11).
  Sql(kCurrency);
  Sql("INSERT INTO CD_Currency (ID, CODE, NAME) VALUES (1, 'EUR', 'Euro')");
  const char* damage[] = {
      "UPDATE sdb_fields SET length = -1 WHERE name = 'CODE'",
      "UPDATE sdb_fields SET length = 2000000000 WHERE name = 'NAME'",
      "UPDATE sdb_fields SET type = 99 WHERE name = 'CODE'",
      "UPDATE sdb_fields SET type = 19 WHERE name = 'CODE'",
      "UPDATE sdb_fields SET decimals = 65535 WHERE name = 'ID'",
  };
  for (const char* sql : damage) {
    SCOPED_TRACE(sql);
    db->Exec("SAVEPOINT damage");
    db->Exec(sql);
    db->InvalidateTables();
    try {
      db->FindTable("CD_Currency");
      ADD_FAILURE() << "the damaged table was laid out";
    } catch (const StoreError& e) {
      EXPECT_EQ(e.code(), kErrSql);
      EXPECT_EQ(e.native(), SQLITE_CORRUPT);
      EXPECT_NE(std::string(e.what()).find("of table CD_Currency"), std::string::npos) << e.what();
    }
    db->Exec("ROLLBACK TO damage; RELEASE damage");
    db->InvalidateTables();
    ASSERT_NE(db->FindTable("CD_Currency"), nullptr);
  }
}
