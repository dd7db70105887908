// Tests of indexes through the C API on real dictionaries: the catalog calls,
// navigation in index order against SQL's ORDER BY, raw keys, seeks, scopes,
// key positions, unique indexes and writes made through SQL.
#include <algorithm>
#include <cstring>
#include <vector>

#include "sdbengineTesting.h"

using namespace sdbtest;

namespace {

class SdbIndex : public EngineTest {
 protected:
  SDBHANDLE Index(SDBHANDLE t, const char* name) {
    SDBHANDLE h = 0;
    EXPECT_EQ(0u, SdbGetIndexHandle(t, name, &h)) << LastError();
    return h;
  }
  // Record numbers in the order of a handle, forward from the top.
  static std::vector<uint32_t> Walk(SDBHANDLE order, SDBHANDLE t) {
    std::vector<uint32_t> out;
    EXPECT_EQ(0u, SdbGotoTop(order)) << LastError();
    while (!AtEof(t)) {
      out.push_back(RecNo(t));
      EXPECT_EQ(0u, SdbSkip(order, 1)) << LastError();
      if (out.size() > 100000) break;
    }
    return out;
  }
  static std::vector<uint32_t> WalkBack(SDBHANDLE order, SDBHANDLE t) {
    std::vector<uint32_t> out;
    EXPECT_EQ(0u, SdbGotoBottom(order)) << LastError();
    while (!AtBof(t)) {
      out.push_back(RecNo(t));
      EXPECT_EQ(0u, SdbSkip(order, -1)) << LastError();
      if (out.size() > 100000) break;
    }
    return out;
  }
  // Record numbers an SQL statement answers (its first column).
  std::vector<uint32_t> Sql(const std::string& select) {
    SDBHANDLE stmt = 0, cursor = 0;
    std::vector<uint32_t> out;
    EXPECT_EQ(0u, SdbCreateSQLStatement(conn, &stmt));
    std::string sql = select;
    if (sql.rfind("SELECT sdb_recno ", 0) == 0)  // the record number column is hidden
      sql = "SELECT sdb_recno + 0 AS RN " + sql.substr(17);
    EXPECT_EQ(0u, SdbExecuteSQLDirectW(stmt, U16(sql).c_str(), &cursor)) << LastError();
    uint32_t n = Count(cursor);
    SdbGotoTop(cursor);
    for (uint32_t i = 0; i < n; ++i, SdbSkip(cursor, 1))
      out.push_back(static_cast<uint32_t>(std::stoul(Get(cursor, SDB_FIELD(1)))));
    SdbCloseSQLStatement(stmt);
    return out;
  }
  // A raw key built from field values on an index handle.
  static std::string Key(SDBHANDLE ix, std::vector<std::pair<const char*, std::string>> values,
                         uint32_t option = SDB_KEY_FULL) {
    EXPECT_EQ(0u, SdbInitRawKey(ix));
    for (auto& [field, value] : values) EXPECT_EQ(0u, Set(ix, field, value)) << LastError();
    uint8_t key[4082];
    uint16_t len = sizeof key;
    uint32_t rc = option ? SdbBuildRawKey100(ix, key, &len, option) : SdbBuildRawKey(ix, key, &len);
    EXPECT_EQ(0u, rc) << LastError();
    return std::string(reinterpret_cast<char*>(key), len);
  }
  static bool Seek(SDBHANDLE ix, const std::string& key, uint16_t type, uint16_t how) {
    uint16_t found = 9;
    EXPECT_EQ(0u, SdbSeek(ix, reinterpret_cast<const uint8_t*>(key.data()),
                          static_cast<uint16_t>(key.size()), type, how, &found))
        << LastError();
    return found == 1;
  }
  static uint32_t Count(SDBHANDLE h, uint16_t option = SDB_IGNOREFILTERS) {
    uint32_t n = 0;
    EXPECT_EQ(0u, SdbGetRecordCount(h, option, &n)) << LastError();
    return n;
  }
};

// Rates with duplicates, empty values and mixed case.
class SdbIndexRates : public SdbIndex {
 protected:
  void SetUp() override {
    SdbIndex::SetUp();
    SDB_OK(
        Exec("CREATE TABLE R (ID INTEGER, C1 CHAR(3), C2 CHAR(3), NAME CICHAR(12), D DATE, "
             "AMT DOUBLE);"
             "CREATE UNIQUE INDEX ID ON R (ID);"
             "CREATE INDEX CURRPAIR ON R (C1, C2);"
             "CREATE INDEX NAME ON R (NAME DESC, D);"
             "CREATE INDEX UPNAME ON R (UPPER(NAME));"
             "CREATE INDEX BIG ON R (AMT) WHERE AMT > 100;"));
    const char* codes[] = {"USD", "EUR", "CHF", "GBP", "JPY"};
    const char* names[] = {"alpha", "Beta", "ALPHA", "gamma", "", "beta", "Delta"};
    std::string sql = "INSERT INTO R (ID, C1, C2, NAME, D, AMT) VALUES ";
    for (int i = 1; i <= 60; ++i) {
      std::string c1 = i % 11 == 0 ? "NULL" : std::string("'") + codes[i % 5] + "'";
      std::string name = names[i % 7];
      sql += (i > 1 ? "," : "") + std::string("(") + std::to_string(i * 10) + "," + c1 + ",'" +
             codes[(i / 5) % 5] + "'," + (name.empty() ? "NULL" : "'" + name + "'") + ",'2020-01-" +
             std::to_string(10 + i % 18) + "'," + std::to_string(i * 7 % 300) + ".5)";
    }
    SDB_OK(Exec(sql + ";"));
  }
};

}  // namespace

TEST_F(SdbIndexRates, CatalogDescribesEveryIndex) {
  SDB_OK(Exec("CREATE TABLE U (ID INTEGER); CREATE INDEX ID ON U (ID);"));
  SDBHANDLE r = Open("R"), u = Open("U");
  uint16_t n = 0;
  SDB_OK(SdbGetNumIndexes(r, &n));
  EXPECT_EQ(5, n);
  SDBHANDLE all[8];
  uint16_t room = 2;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetAllIndexes(r, all, &room));
  EXPECT_EQ(5, room);
  room = 8;
  SDB_OK(SdbGetAllIndexes(r, all, &room));
  ASSERT_EQ(5, room);
  EXPECT_EQ(all[1], Index(r, "currpair"));  // engine order; names without regard to case
  char name[64];
  uint16_t len = sizeof name;
  SDB_OK(SdbGetIndexName(all[2], name, &len));
  EXPECT_STREQ("NAME", name);
  SDBHANDLE missing = 0;
  EXPECT_EQ(SDB_E_NO_SUCH_OBJECT, SdbGetIndexHandle(r, "NOPE", &missing));

  SDBHANDLE pair = Index(r, "CURRPAIR");
  uint16_t segs = 0;
  SDB_OK(SdbGetNumSegments(pair, &segs));
  EXPECT_EQ(2, segs);
  len = sizeof name;
  SDB_OK(SdbGetSegmentFieldname(pair, 1, name, &len));
  EXPECT_STREQ("C2", name);
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbGetSegmentFieldname(pair, 2, name, &len));
  uint16_t yes = 9;
  SDB_OK(SdbIsIndexUnique(Index(r, "ID"), &yes));
  EXPECT_EQ(1, yes);
  SDB_OK(SdbIsIndexUnique(pair, &yes));
  EXPECT_EQ(0, yes);
  SDB_OK(SdbIsIndexDescending(Index(r, "NAME"), &yes));
  EXPECT_EQ(1, yes);
  SDB_OK(SdbIsIndexDescending(pair, &yes));
  EXPECT_EQ(0, yes);
  SDB_OK(SdbIsIndexPrimaryKey(pair, &yes));
  EXPECT_EQ(0, yes);
  SDB_OK(SdbIsIndexCandidate(Index(r, "ID"), &yes));
  EXPECT_EQ(1, yes);
  uint32_t flags = 0;
  SDB_OK(SdbGetIndexFlags(Index(r, "BIG"), &flags));
  EXPECT_EQ(uint32_t(SDB_INDEX_CONDITION), flags);
  char cond[512];
  len = sizeof cond;
  SDB_OK(SdbGetIndexCondition(Index(r, "BIG"), cond, &len));
  EXPECT_NE(std::string(cond).find("AMT"), std::string::npos) << cond;
  len = sizeof cond;
  SDB_OK(SdbGetIndexCondition(pair, cond, &len));
  EXPECT_EQ(0, len);
  uint32_t page = 0;
  SDB_OK(SdbGetIndexPageSize(pair, &page));
  EXPECT_GE(page, 512u);
  uint16_t keyLen = 0, idLen = 0;
  SDB_OK(SdbGetKeyLength(pair, &keyLen));
  SDB_OK(SdbGetKeyLength(Index(r, "ID"), &idLen));
  EXPECT_EQ(keyLen, Key(pair, {{"C1", "USD"}, {"C2", "EUR"}}).size());
  EXPECT_EQ(idLen, Key(Index(r, "ID"), {{"ID", "5"}}).size());
  len = sizeof name;
  SDB_OK(SdbGetIndexFilename(pair, 2, name, &len));
  EXPECT_STREQ("R.adi", name);
  // The table's own index file is always open; another does not exist.
  SDBHANDLE opened[8];
  room = 8;
  SDB_OK(SdbOpenIndex(r, (dir.path + "\\R.adi").c_str(), opened, &room));
  EXPECT_EQ(5, room);
  EXPECT_EQ(SDB_E_FILE_NOT_FOUND, SdbOpenIndex(r, "X.adi", opened, &room));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbCloseIndex(pair));
  // Two tables each with an index ID, each in its own order.
  SDB_OK(Exec("INSERT INTO U (ID) VALUES (3), (1), (2);"));
  SDBHANDLE uid = Index(u, "ID");
  EXPECT_NE(uid, Index(r, "ID"));
  EXPECT_EQ((std::vector<uint32_t>{2, 3, 1}), Walk(uid, u));
  EXPECT_EQ(60u, Walk(Index(r, "ID"), r).size());
  // Closing the table closes its index handles.
  SDB_OK(SdbCloseTable(u));
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbGotoTop(uid));
  SDBHANDLE cursor = 0, stmt = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  SDB_OK(SdbExecuteSQLDirectW(stmt, U16("SELECT * FROM R").c_str(), &cursor));
  SDB_OK(SdbGetNumIndexes(cursor, &n));
  EXPECT_EQ(0, n);
  EXPECT_EQ(SDB_E_NOT_SUPPORTED, SdbGetIndexHandle(cursor, "ID", &missing));
  SdbCloseSQLStatement(stmt);
}

TEST_F(SdbIndexRates, EveryIndexWalksAsSqlOrdersBothWays) {
  SDBHANDLE r = Open("R");
  struct Case {
    const char* index;
    const char* order;
  } cases[] = {
      {"ID", "ID"},
      {"CURRPAIR", "C1, C2"},
      {"NAME", "NAME COLLATE NOCASE DESC, D"},
      {"UPNAME", "UPPER(NAME)"},
      {"BIG", "AMT"},
  };
  for (const Case& c : cases) {
    std::string where = std::string(c.index) == "BIG" ? " WHERE AMT > 100" : "";
    std::vector<uint32_t> want = Sql(std::string("SELECT sdb_recno FROM R") + where + " ORDER BY " +
                                     c.order + ", sdb_recno");
    SDBHANDLE ix = Index(r, c.index);
    EXPECT_EQ(want, Walk(ix, r)) << c.index;
    std::reverse(want.begin(), want.end());
    EXPECT_EQ(want, WalkBack(ix, r)) << c.index;
  }
  // The table handle still walks in record order; the index handle's moves
  // share its position.
  SDBHANDLE pair = Index(r, "CURRPAIR");
  SDB_OK(SdbGotoBottom(pair));
  uint32_t last = RecNo(r);
  SDB_OK(SdbSkip(r, 1));
  EXPECT_EQ(last + 1 <= 60 ? last + 1 : 0u, RecNo(r));
  SDB_OK(SdbGotoRecord(r, 17));
  std::vector<uint32_t> order = Walk(pair, r);
  size_t at = std::find(order.begin(), order.end(), 17u) - order.begin();
  SDB_OK(SdbGotoRecord(r, 17));
  SDB_OK(SdbSkip(pair, 1));
  EXPECT_EQ(order[at + 1], RecNo(r));
  SDB_OK(SdbSkip(pair, -2));
  EXPECT_EQ(order[at - 1], RecNo(r));
  SDB_OK(SdbGotoBottom(pair));
  SDB_OK(SdbSkip(pair, 1));
  EXPECT_TRUE(AtEof(r));
  EXPECT_TRUE(AtEof(pair));
  EXPECT_EQ(60u, Count(pair));
}

TEST_F(SdbIndex, ManyDuplicatesWalkInRecordOrderBothWays) {
  SDB_OK(Exec("CREATE TABLE T (K CHAR(4), N INTEGER); CREATE INDEX K ON T (K);"));
  SDB_OK(Exec("INSERT INTO T (K, N) VALUES ('b', 0);"));
  // 20,000 rows of one key, written in one statement.
  SDB_OK(
      Exec("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 20000) "
           "INSERT INTO T (K, N) SELECT 'same', i FROM c;"));
  SDB_OK(Exec("INSERT INTO T (K, N) VALUES ('a', 0), (NULL, 0), ('z', 0);"));
  SDBHANDLE t = Open("T"), k = Index(t, "K");
  std::vector<uint32_t> walked = Walk(k, t);
  ASSERT_EQ(20004u, walked.size());
  EXPECT_EQ(20003u, walked[0]);  // the empty key first
  EXPECT_EQ(20002u, walked[1]);
  EXPECT_EQ(1u, walked[2]);
  for (uint32_t i = 0; i < 20000; ++i) ASSERT_EQ(i + 2, walked[3 + i]);
  EXPECT_EQ(20004u, walked.back());
  std::vector<uint32_t> back = WalkBack(k, t);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(walked, back);
  // Turning inside the duplicates.
  SDB_OK(SdbGotoRecord(t, 10000));
  SDB_OK(SdbSkip(k, 3));
  EXPECT_EQ(10003u, RecNo(t));
  SDB_OK(SdbSkip(k, -5));
  EXPECT_EQ(9998u, RecNo(t));
  uint32_t num = 0;
  SDB_OK(SdbGetKeyNum(k, SDB_RESPECTFILTERS, &num));
  EXPECT_EQ(3u + 9997u, num);
}

TEST_F(SdbIndexRates, SeeksFindExactSoftAndPartialKeys) {
  SDBHANDLE r = Open("R"), pair = Index(r, "CURRPAIR");
  std::vector<uint32_t> order = Walk(pair, r);
  // Exact seek of a full key built from both fields.
  std::vector<uint32_t> want =
      Sql("SELECT sdb_recno FROM R WHERE C1 = 'EUR' AND C2 = 'GBP' ORDER BY sdb_recno LIMIT 1");
  ASSERT_EQ(1u, want.size());
  EXPECT_TRUE(Seek(pair, Key(pair, {{"C1", "EUR"}, {"C2", "GBP"}}), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ(want[0], RecNo(r));
  EXPECT_EQ("EUR", Get(r, "C1"));
  EXPECT_EQ("GBP", Get(r, "C2"));
  // The same as a string key and as a UTF-16 key.
  SDB_OK(SdbGotoTop(pair));
  EXPECT_TRUE(Seek(pair, "EURGBP", SDB_STRINGKEY, SDB_HARDSEEK));
  EXPECT_EQ(want[0], RecNo(r));
  std::u16string wide = U16("EURGBP");
  SDB_OK(SdbGotoTop(pair));
  EXPECT_TRUE(Seek(pair, std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2),
                   SDB_WSTRINGKEY, SDB_HARDSEEK));
  EXPECT_EQ(want[0], RecNo(r));
  // Not found: a hard seek ends at EOF, a soft seek on the next key.
  EXPECT_FALSE(Seek(pair, Key(pair, {{"C1", "EUR"}, {"C2", "AAA"}}), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_TRUE(AtEof(r));
  EXPECT_FALSE(Seek(pair, Key(pair, {{"C1", "EUR"}, {"C2", "AAA"}}), SDB_RAWKEY, SDB_SOFTSEEK));
  EXPECT_EQ("EUR", Get(r, "C1"));
  EXPECT_EQ(Sql("SELECT sdb_recno FROM R WHERE C1 = 'EUR' ORDER BY C2, sdb_recno LIMIT 1")[0],
            RecNo(r));
  // Leading segments alone match every record that has them; an empty
  // segment only empty values; a partial key every text beginning with it.
  EXPECT_TRUE(Seek(pair, Key(pair, {{"C1", "EUR"}}), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ("EUR", Get(r, "C1"));
  SDB_OK(SdbInitRawKey(pair));
  SDB_OK(Set(pair, "C1", "EUR"));
  SDB_OK(SdbSetEmpty(pair, "C2"));
  uint8_t key[4082];
  uint16_t len = sizeof key;
  SDB_OK(SdbBuildRawKey100(pair, key, &len, SDB_KEY_FULL));
  EXPECT_FALSE(
      Seek(pair, std::string(reinterpret_cast<char*>(key), len), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_TRUE(Seek(pair, Key(pair, {{"C1", "EU"}}, 0), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ("EUR", Get(r, "C1"));
  EXPECT_TRUE(Seek(pair, "EU", SDB_STRINGKEY, SDB_HARDSEEK));
  EXPECT_EQ("EUR", Get(r, "C1"));
  // Seek of the last record with a key; the first record after a key.
  EXPECT_TRUE(Seek(pair, "EUR", SDB_STRINGKEY, SDB_SOFTSEEKLAST));
  uint32_t lastEur = RecNo(r);
  SDB_OK(SdbSkip(pair, 1));
  EXPECT_NE("EUR", Get(r, "C1"));
  EXPECT_TRUE(Seek(pair, "EUR", SDB_STRINGKEY, SDB_SEEKGT));
  uint32_t afterEur = RecNo(r);
  SDB_OK(SdbSkip(pair, -1));
  EXPECT_EQ(lastEur, RecNo(r));
  EXPECT_NE(afterEur, lastEur);
  // At both ends: before the first key, after the last.
  EXPECT_TRUE(Seek(pair, "", SDB_STRINGKEY, SDB_SOFTSEEK));
  EXPECT_EQ(order.front(), RecNo(r));
  EXPECT_FALSE(Seek(pair, "ZZZ", SDB_STRINGKEY, SDB_SOFTSEEK));
  EXPECT_TRUE(AtEof(r));
  EXPECT_FALSE(Seek(pair, "ZZZ", SDB_STRINGKEY, SDB_SEEKGT));
  EXPECT_TRUE(AtEof(r));
  // A key too big for the room, an unknown seek type.
  len = 3;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbBuildRawKey100(pair, key, &len, SDB_KEY_FULL));
  uint16_t found = 0;
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbSeek(pair, key, 0, SDB_RAWKEY, 9, &found));
  // A case-insensitive key finds any case; a numeric key a number.
  SDBHANDLE byName = Index(r, "UPNAME");
  EXPECT_TRUE(Seek(byName, Key(byName, {{"NAME", "ALPHA"}}), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ(2u, RecNo(r));  // "ALPHA" and "alpha" tie: record order
  EXPECT_EQ("ALPHA", Get(r, "NAME"));
  SDBHANDLE id = Index(r, "ID");
  EXPECT_TRUE(Seek(id, Key(id, {{"ID", "370"}}), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ(37u, RecNo(r));
  double d = 420;
  EXPECT_TRUE(Seek(id, std::string(reinterpret_cast<char*>(&d), 8), SDB_DOUBLEKEY, SDB_HARDSEEK));
  EXPECT_EQ(42u, RecNo(r));
}

TEST_F(SdbIndexRates, RawKeysOrderBytewiseAsTheIndex) {
  SDBHANDLE r = Open("R");
  for (const char* name : {"CURRPAIR", "NAME", "UPNAME", "ID"}) {
    SDBHANDLE ix = Index(r, name);
    uint16_t keyLen = 0;
    SDB_OK(SdbGetKeyLength(ix, &keyLen));
    std::string previous;
    SDB_OK(SdbGotoTop(ix));
    int rows = 0;
    while (!AtEof(r)) {
      uint8_t image[512];
      uint32_t imageLen = sizeof image;
      SDB_OK(SdbGetRecord(r, image, &imageLen));
      uint8_t key[4082];
      uint16_t len = sizeof key;
      SDB_OK(SdbBuildKeyFromRecord(ix, image, imageLen, key, &len));
      EXPECT_EQ(keyLen, len);
      std::string k(reinterpret_cast<char*>(key), len);
      EXPECT_LE(previous, k) << name << " at record " << RecNo(r);
      // The key of the record's own values seeks the record's key.
      EXPECT_TRUE(Seek(ix, k, SDB_RAWKEY, SDB_HARDSEEK)) << name;
      uint8_t again[512];
      uint32_t againLen = sizeof again;
      SDB_OK(SdbGetRecord(r, again, &againLen));
      len = sizeof key;
      SDB_OK(SdbBuildKeyFromRecord(ix, again, againLen, key, &len));
      EXPECT_EQ(k, std::string(reinterpret_cast<char*>(key), len));
      previous = k;
      // back to where the walk was
      SDB_OK(SdbGotoTop(ix));
      for (int i = 0; i < rows; ++i) SDB_OK(SdbSkip(ix, 1));
      SDB_OK(SdbSkip(ix, 1));
      ++rows;
    }
    EXPECT_EQ(60, rows);
  }
  // A stepped key lies after every key it prefixes (or before), also when
  // the partial key is stepped in a buffer of the full key length.
  SDBHANDLE pair = Index(r, "CURRPAIR");
  std::string eur = Key(pair, {{"C1", "EUR"}}, SDB_KEY_FULL);
  uint16_t keyLen = 0;
  SDB_OK(SdbGetKeyLength(pair, &keyLen));
  std::vector<uint8_t> up(keyLen, 0);
  std::memcpy(up.data(), eur.data(), eur.size());
  SDB_OK(SdbStepIndexKey(pair, up.data(), keyLen, 1));
  std::string stepUp(up.begin(), up.end());
  EXPECT_LT(Key(pair, {{"C1", "EUR"}, {"C2", "ZZZ"}}), stepUp);
  EXPECT_LT(stepUp, Key(pair, {{"C1", "EUS"}, {"C2", ""}}));
  std::vector<uint8_t> down(keyLen, 0);
  std::memcpy(down.data(), eur.data(), eur.size());
  Key(pair, {{"C1", "EUR"}}, SDB_KEY_FULL);
  SDB_OK(SdbStepIndexKey(pair, down.data(), keyLen, -1));
  std::string stepDown(down.begin(), down.end());
  EXPECT_LT(stepDown, Key(pair, {{"C1", "EUR"}, {"C2", ""}}));
  EXPECT_LT(Key(pair, {{"C1", "EUQ"}, {"C2", "ZZZ"}}), stepDown);
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbStepIndexKey(pair, up.data(), keyLen, 0));
}

TEST_F(SdbIndexRates, ScopesLimitWalksCountsAndVisibility) {
  SDBHANDLE r = Open("R"), id = Index(r, "ID");
  std::string top = Key(id, {{"ID", "200"}}), bottom = Key(id, {{"ID", "300"}});
  uint8_t buf[4082];
  uint16_t len = sizeof buf;
  EXPECT_EQ(SDB_E_NO_SCOPE, SdbGetScope(id, SDB_TOP, buf, &len));
  EXPECT_EQ(SDB_E_NO_SCOPE, SdbClearScope(id, SDB_BOTTOM));
  SDB_OK(SdbSetScope(id, SDB_TOP, reinterpret_cast<const uint8_t*>(top.data()),
                     static_cast<uint16_t>(top.size()), SDB_RAWKEY));
  SDB_OK(SdbSetScope(id, SDB_BOTTOM, reinterpret_cast<const uint8_t*>(bottom.data()),
                     static_cast<uint16_t>(bottom.size()), SDB_RAWKEY));
  std::vector<uint32_t> want;
  for (uint32_t i = 20; i <= 30; ++i) want.push_back(i);
  EXPECT_EQ(want, Walk(id, r));
  std::reverse(want.begin(), want.end());
  EXPECT_EQ(want, WalkBack(id, r));
  EXPECT_EQ(11u, Count(id, SDB_RESPECTSCOPES));
  EXPECT_EQ(11u, Count(id, SDB_RESPECTFILTERS));
  EXPECT_EQ(60u, Count(id, SDB_IGNOREFILTERS));
  EXPECT_EQ(60u, Count(r, SDB_RESPECTSCOPES));
  len = sizeof buf;
  SDB_OK(SdbGetScope(id, SDB_TOP, buf, &len));
  EXPECT_EQ(top, std::string(reinterpret_cast<char*>(buf), len));
  len = 2;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetScope(id, SDB_BOTTOM, buf, &len));
  // A record outside the scope is not visible through the index.
  SDB_OK(SdbGotoRecord(r, 50));
  uint16_t visible = 9;
  SDB_OK(SdbIsRecordVisible(id, &visible));
  EXPECT_EQ(0, visible);
  SDB_OK(SdbIsRecordVisible(r, &visible));
  EXPECT_EQ(1, visible);
  // Seeks stay inside: before the scope a soft seek lands on its top.
  EXPECT_FALSE(Seek(id, Key(id, {{"ID", "100"}}), SDB_RAWKEY, SDB_SOFTSEEK));
  EXPECT_EQ(20u, RecNo(r));
  EXPECT_FALSE(Seek(id, Key(id, {{"ID", "400"}}), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_TRUE(AtEof(r));
  // An exclusive top: the key stepped past.
  uint16_t keyLen = 0;
  SDB_OK(SdbGetKeyLength(id, &keyLen));
  std::vector<uint8_t> stepped(top.begin(), top.end());
  stepped.resize(keyLen);
  SDB_OK(SdbStepIndexKey(id, stepped.data(), keyLen, 1));
  SDB_OK(SdbSetScope(id, SDB_TOP, stepped.data(), keyLen, SDB_RAWKEY));
  SDB_OK(SdbGotoTop(id));
  EXPECT_EQ(21u, RecNo(r));
  SDB_OK(SdbClearScope(id, SDB_TOP));
  EXPECT_EQ(30u, Count(id, SDB_RESPECTSCOPES));
  SDB_OK(SdbClearAllScopes(r));
  EXPECT_EQ(SDB_E_NO_SCOPE, SdbClearScope(id, SDB_BOTTOM));
  EXPECT_EQ(60u, Walk(id, r).size());
  // Text scopes in UTF-16 as the dataset sets them: a prefix on both ends.
  SDBHANDLE pair = Index(r, "CURRPAIR");
  std::u16string from = U16("CHF"), to = U16("EUR");
  SDB_OK(SdbSetScope(pair, SDB_TOP, reinterpret_cast<const uint8_t*>(from.data()),
                     static_cast<uint16_t>(from.size() * 2), SDB_WSTRINGKEY));
  SDB_OK(SdbSetScope(pair, SDB_BOTTOM, reinterpret_cast<const uint8_t*>(to.data()),
                     static_cast<uint16_t>(to.size() * 2), SDB_WSTRINGKEY));
  std::vector<uint32_t> scoped = Walk(pair, r);
  EXPECT_EQ(Sql("SELECT sdb_recno FROM R WHERE C1 BETWEEN 'CHF' AND 'EUR' ORDER BY C1, C2, "
                "sdb_recno"),
            scoped);
  EXPECT_EQ(scoped.size(), Count(pair, SDB_RESPECTSCOPES));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT,
            SdbSetScope(pair, 3, reinterpret_cast<const uint8_t*>(from.data()), 2, SDB_RAWKEY));
  // Through an index handle every scope of its table goes.
  SDB_OK(SdbClearAllScopes(pair));
  EXPECT_EQ(SDB_E_NO_SCOPE, SdbClearScope(pair, SDB_TOP));
  EXPECT_EQ(60u, Walk(pair, r).size());
}

TEST_F(SdbIndexRates, KeyPositionsAndRelativePositions) {
  SDBHANDLE r = Open("R"), pair = Index(r, "CURRPAIR");
  double pos = 0;
  SDB_OK(SdbGotoEOF(pair));
  EXPECT_EQ(SDB_E_NO_KEY_POSITION, SdbGetRelKeyPos(pair, &pos));
  uint32_t num = 0;
  EXPECT_EQ(SDB_E_NO_KEY_POSITION, SdbGetKeyNum(pair, SDB_RESPECTFILTERS, &num));
  std::vector<uint32_t> order = Walk(pair, r);
  SDB_OK(SdbGotoTop(pair));
  for (uint32_t n = 1; n <= order.size(); ++n) {
    SDB_OK(SdbGetKeyNum(pair, SDB_RESPECTFILTERS, &num));
    EXPECT_EQ(n, num);
    SDB_OK(SdbGetRelKeyPos(pair, &pos));
    EXPECT_EQ(n, static_cast<uint32_t>(pos * order.size()));
    SDB_OK(SdbSkip(pair, 1));
  }
  for (uint32_t n : {1u, 7u, 33u, 60u}) {
    SDB_OK(SdbSetRelKeyPos(pair, double(n) / order.size()));
    EXPECT_EQ(order[n - 1], RecNo(r)) << n;
  }
  SDB_OK(SdbSetRelKeyPos(pair, 0));
  EXPECT_EQ(order.front(), RecNo(r));
  SDB_OK(SdbSetRelKeyPos(pair, 1));
  EXPECT_EQ(order.back(), RecNo(r));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbSetRelKeyPos(pair, 1.5));
}

TEST_F(SdbIndexRates, UniqueIndexRefusesADuplicateKeyByName) {
  SDBHANDLE r = Open("R");
  SDB_OK(SdbAppendRecord(r));
  SDB_OK(Set(r, "ID", "100"));
  EXPECT_EQ(SDB_E_SQL, SdbWriteRecord(r));
  std::string text = LastError();
  EXPECT_NE(text.find("Duplicate key"), std::string::npos) << text;
  EXPECT_NE(text.find("unique index ID "), std::string::npos) << text;
  // The text names the record that holds the key (ID 100 is record 10), not
  // the one being written.
  EXPECT_NE(text.find("already holds the key in record 10 (writing record 61"), std::string::npos)
      << text;
  SDB_OK(Set(r, "ID", "1000"));  // the append is still pending and can be mended
  SDB_OK(SdbWriteRecord(r));
  EXPECT_EQ(61u, Count(r));
  // An edit onto an existing key is refused the same way.
  SDB_OK(SdbGotoRecord(r, 5));
  SDB_OK(Set(r, "ID", "60"));
  EXPECT_EQ(SDB_E_SQL, SdbWriteRecord(r));
  text = LastError();
  EXPECT_NE(text.find("Duplicate key"), std::string::npos);
  EXPECT_NE(text.find("already holds the key in record 6 (writing record 5"), std::string::npos)
      << text;
  SDB_OK(SdbCancelUpdate(r));
}

TEST_F(SdbIndexRates, IndexViewsFollowWritesThroughSqlAndTheEngine) {
  SDBHANDLE r = Open("R"), pair = Index(r, "CURRPAIR"), big = Index(r, "BIG");
  EXPECT_EQ(60u, Walk(pair, r).size());
  SDB_OK(
      Exec("INSERT INTO R (ID, C1, C2, AMT) VALUES (5, 'AAA', 'AAA', 999);"
           "UPDATE R SET C1 = 'ZZZ', AMT = 1 WHERE ID = 100;"
           "DELETE FROM R WHERE ID = 200;"));
  const char* orderSql = "SELECT sdb_recno FROM R ORDER BY C1, C2, sdb_recno";
  std::vector<uint32_t> walked = Walk(pair, r);
  EXPECT_EQ(Sql(orderSql), walked);
  EXPECT_EQ(61u, walked[5]);  // after the five empty keys
  EXPECT_EQ(10u, walked.back());
  EXPECT_EQ(Sql("SELECT sdb_recno FROM R WHERE AMT > 100 ORDER BY AMT, sdb_recno"), Walk(big, r));
  EXPECT_TRUE(Seek(pair, "AAAAAA", SDB_STRINGKEY, SDB_HARDSEEK));
  EXPECT_EQ(61u, RecNo(r));
  // An engine write moves the record to its new place in the order.
  SDB_OK(Set(r, "C1", "ZZZ"));
  SDB_OK(Set(r, "C2", "ZZZ"));
  SDB_OK(SdbWriteRecord(r));
  SDB_OK(SdbSkip(pair, 1));
  EXPECT_TRUE(AtEof(r));
  EXPECT_EQ(Sql(orderSql), Walk(pair, r));
  // A record deleted under the cursor: the walk goes on from its key.
  SDB_OK(SdbGotoTop(pair));
  uint32_t first = RecNo(r);
  SDB_OK(SdbSkip(pair, 1));
  uint32_t second = RecNo(r);
  SDB_OK(SdbGotoRecord(r, first));
  SDB_OK(SdbDeleteRecord(r));
  SDB_OK(SdbSkip(pair, 1));
  EXPECT_EQ(second, RecNo(r));
}

TEST_F(SdbIndexRates, SeekOrGotoGoesBackToTheRecordAsItIsStoredNow) {
  SDBHANDLE r = Open("R"), pair = Index(r, "CURRPAIR");
  SDBHANDLE other = 0;
  SDB_OK(SdbConnect(dd.c_str(), &other));
  uint16_t found = 9, back = 9;
  auto seek = [&](const std::string& key, uint32_t returnTo) {
    found = back = 9;
    return SdbSeekOrGoto(pair, reinterpret_cast<const uint8_t*>(key.data()),
                         static_cast<uint16_t>(key.size()), SDB_STRINGKEY, SDB_HARDSEEK, r,
                         returnTo, &found, &back);
  };
  // Found: where SdbSeek goes, nothing gone back to.
  SDB_OK(SdbGotoRecord(r, 7));
  SDB_OK(seek("EURGBP", 7));
  EXPECT_EQ(1, found);
  EXPECT_EQ(0, back);
  EXPECT_EQ("EUR", Get(r, "C1"));
  EXPECT_EQ("GBP", Get(r, "C2"));
  // Not found: back on the record, with what another connection stored meanwhile.
  SDB_OK(Exec(other, "UPDATE R SET NAME = 'moved' WHERE ID = 70"));
  SDB_OK(seek("EURAAA", 7));
  EXPECT_EQ(0, found);
  EXPECT_EQ(1, back);
  EXPECT_EQ(7u, RecNo(r));
  EXPECT_EQ("moved", Get(r, "NAME"));
  // Nothing to go back to: at EOF, as after SdbSeek.
  SDB_OK(seek("EURAAA", 0));
  EXPECT_EQ(0, found);
  EXPECT_EQ(0, back);
  EXPECT_TRUE(AtEof(r));
  // The record was deleted by another connection: at EOF, and no failure.
  SDB_OK(Exec(other, "DELETE FROM R WHERE ID = 70"));
  SDB_OK(seek("EURAAA", 7));
  EXPECT_EQ(0, found);
  EXPECT_EQ(0, back);
  EXPECT_TRUE(AtEof(r));
  // A key another connection added since is found.
  SDB_OK(Exec(other, "INSERT INTO R (ID, C1, C2) VALUES (7000, 'EUR', 'AAA')"));
  SDB_OK(seek("EURAAA", 8));
  EXPECT_EQ(1, found);
  EXPECT_EQ("7000", Get(r, "ID"));
  // The seek's failure is the answer, with its own text.
  found = 5;
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT,
            SdbSeekOrGoto(pair, nullptr, 0, SDB_RAWKEY, 9, r, 8, &found, &back));
  EXPECT_NE(std::string::npos, LastError().find("SdbSeek: unknown seek type 9.")) << LastError();
  EXPECT_EQ(5, found);
  // A pending change is written by itself before the seek: another
  // connection reads it as soon as the call is back.
  SDB_OK(SdbGotoRecord(r, 8));
  SDB_OK(Set(r, "NAME", "pending"));
  SDB_OK(seek("EURZZZ", 8));
  EXPECT_EQ(1, back);
  EXPECT_EQ("pending", Get(r, "NAME"));
  SDBHANDLE stmt = 0, cursor = 0;
  SDB_OK(SdbCreateSQLStatement(other, &stmt));
  SDB_OK(
      SdbExecuteSQLDirectW(stmt, U16("SELECT ID FROM R WHERE NAME = 'pending'").c_str(), &cursor));
  EXPECT_EQ(1u, Count(cursor));
  SdbCloseSQLStatement(stmt);
  SdbDisconnect(other);
}

TEST(SdbIndexFreeTable, IndexesLiveWithTheTableFileAsItsOwnIndexFile) {
  TempDir dir;
  SDBHANDLE conn = 0;
  SDB_OK(SdbConnect(dir.path.c_str(), &conn));
  // Statements that must know the table (an index, an INSERT without a field
  // list) find it by its file in the folder.
  SDB_OK(EngineTest::Exec(conn,
                          "CREATE TABLE Cust (NAME CHAR(20));"
                          "INSERT INTO Cust VALUES ('Cid'), ('Ann'), ('Bob');"
                          "CREATE INDEX NAME ON Cust (NAME);"));
  SDBHANDLE t = 0;
  SDB_OK(SdbOpenTable90(conn, "Cust", nullptr, SDB_TABLE_ADT, 1, 1, 2, 0, nullptr, &t));
  SDBHANDLE handles[4];
  uint16_t room = 4;
  SDB_OK(SdbOpenIndex(t, (dir.path + "\\cust.adi").c_str(), handles, &room));
  ASSERT_EQ(1, room);
  char name[300];
  uint16_t len = sizeof name;
  SDB_OK(SdbGetIndexFilename(handles[0], 1, name, &len));
  EXPECT_EQ(dir.path + "/Cust.adi", std::string(name));
  SDB_OK(SdbGotoTop(handles[0]));
  EXPECT_EQ("Ann", EngineTest::Get(t, "NAME"));
  SDB_OK(SdbSkip(handles[0], 1));
  EXPECT_EQ("Bob", EngineTest::Get(t, "NAME"));
  SDB_OK(SdbDisconnect(conn));
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbGotoTop(handles[0]));
}

TEST_F(SdbIndex, WideAndRawKeyValuesAsLocateSetsThem) {
  SDB_OK(
      Exec("CREATE TABLE W (WN NCHAR(8), I INTEGER); CREATE INDEX WN ON W (WN, I);"
           "INSERT INTO W (WN, I) VALUES ('Zoë', 2), ('Zoë', 1), ('Zorro', 1), ('Abel', 9);"));
  SDBHANDLE w = Open("W"), ix = Index(w, "WN");
  // A partial wide key: every name beginning with the text.
  std::u16string zo = U16("Zo");
  SDB_OK(SdbInitRawKey(ix));
  SDB_OK(SdbSetFieldW(ix, "WN", zo.c_str(), static_cast<uint32_t>(zo.size())));
  uint8_t key[4082];
  uint16_t len = sizeof key;
  SDB_OK(SdbBuildRawKey100(ix, key, &len, SDB_KEY_PARTIAL_WIDE));
  EXPECT_TRUE(Seek(ix, std::string(reinterpret_cast<char*>(key), len), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ(3u, RecNo(w));  // "Zor" sorts before "Zoë" byte by byte
  // The full key with the integer given as its image bytes.
  std::u16string zoe = U16("Zoë");
  int32_t two = 2;
  SDB_OK(SdbInitRawKey(ix));
  SDB_OK(SdbSetFieldW(ix, "WN", zoe.c_str(), static_cast<uint32_t>(zoe.size())));
  SDB_OK(SdbSetFieldRaw(ix, "I", reinterpret_cast<uint8_t*>(&two), 4));
  len = sizeof key;
  SDB_OK(SdbBuildRawKey100(ix, key, &len, SDB_KEY_FULL));
  EXPECT_TRUE(Seek(ix, std::string(reinterpret_cast<char*>(key), len), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_EQ(1u, RecNo(w));
  // The same wide text as a full key finds nothing without the rest of it.
  SDB_OK(SdbInitRawKey(ix));
  SDB_OK(SdbSetFieldW(ix, "WN", zo.c_str(), static_cast<uint32_t>(zo.size())));
  SDB_OK(SdbSetEmpty(ix, "I"));
  len = sizeof key;
  SDB_OK(SdbBuildRawKey100(ix, key, &len, SDB_KEY_FULL));
  EXPECT_FALSE(Seek(ix, std::string(reinterpret_cast<char*>(key), len), SDB_RAWKEY, SDB_HARDSEEK));
  EXPECT_TRUE(AtEof(w));
}

TEST_F(SdbIndex, PrefixKeysOfBytesFFOnlyReachEveryTextTheyBegin) {
  // A key of bytes 0xFF only has no successor: seeks and scopes by it must
  // still take in the longer texts it begins, in both directions.
  SDB_OK(
      Exec("CREATE TABLE T (K CHAR(5), N INTEGER); CREATE INDEX K ON T (K);"
           "CREATE INDEX KD ON T (K DESC);"
           "INSERT INTO T (K, N) VALUES ('A', 1), (CAST(x'FFFF41' AS TEXT), 2), "
           "(CAST(x'FFFF' AS TEXT), 3), (CAST(x'FF41' AS TEXT), 4);"));
  SDBHANDLE t = Open("T");
  const auto* ff = reinterpret_cast<const uint8_t*>("\xFF\xFF");
  for (const char* name : {"K", "KD"}) {
    SCOPED_TRACE(name);
    SDBHANDLE k = Index(t, name);
    const bool desc = name[1] == 'D';
    uint16_t found = 0;
    SDB_OK(SdbSeek(k, ff, 2, SDB_STRINGKEY, SDB_SOFTSEEKLAST, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(desc ? 3u : 2u, RecNo(t));  // the last of the texts it begins
    SDB_OK(SdbSeek(k, ff, 2, SDB_STRINGKEY, SDB_HARDSEEK, &found));
    EXPECT_EQ(desc ? 2u : 3u, RecNo(t));
    SDB_OK(SdbSeek(k, ff, 2, SDB_STRINGKEY, SDB_SEEKGT, &found));
    if (desc)
      EXPECT_EQ(4u, RecNo(t));
    else
      EXPECT_TRUE(AtEof(t));
    SDB_OK(SdbSetScope(k, SDB_TOP, ff, 2, SDB_STRINGKEY));
    SDB_OK(SdbSetScope(k, SDB_BOTTOM, ff, 2, SDB_STRINGKEY));
    EXPECT_EQ(Walk(k, t), (desc ? std::vector<uint32_t>{2, 3} : std::vector<uint32_t>{3, 2}));
    SDB_OK(SdbClearAllScopes(t));
  }
}

TEST_F(SdbIndex, AnIndexInAFileOfItsOwnIsSeenWhileThatFileIsOpen) {
  SDB_OK(
      Exec("CREATE TABLE Items (NAME CHAR(5), QTY INTEGER);"
           "CREATE INDEX NAME ON Items (NAME);"
           "CREATE INDEX QTY ON Items (QTY DESC) IN FILE 'extra.adi';"
           "INSERT INTO Items VALUES ('B', 2), ('A', 1), ('C', 3);"));
  SDBHANDLE t = Open("Items");
  uint16_t count = 0;
  SDB_OK(SdbGetNumIndexes(t, &count));
  EXPECT_EQ(1, count);
  SDBHANDLE qty = 0;
  EXPECT_EQ(SDB_E_NO_SUCH_OBJECT, SdbGetIndexHandle(t, "QTY", &qty));
  SDBHANDLE opened[4];
  uint16_t room = 4;
  SDB_OK(SdbOpenIndex(t, "/some/folder/EXTRA.adi", opened, &room));
  EXPECT_EQ(1, room);
  SDB_OK(SdbGetNumIndexes(t, &count));
  EXPECT_EQ(2, count);
  SDB_OK(SdbGetIndexHandle(t, "QTY", &qty));
  EXPECT_EQ(opened[0], qty);
  char file[64];
  uint16_t len = sizeof file;
  SDB_OK(SdbGetIndexFilename(qty, 2, file, &len));
  EXPECT_STREQ("extra.adi", file);
  EXPECT_EQ((std::vector<uint32_t>{3, 1, 2}), Walk(qty, t));
  SDB_OK(SdbCloseIndex(qty));
  SDB_OK(SdbGetNumIndexes(t, &count));
  EXPECT_EQ(1, count);
  // Another handle of the table does not see it until it opens the file.
  SDBHANDLE other = Open("Items");
  EXPECT_EQ(SDB_E_NO_SUCH_OBJECT, SdbGetIndexHandle(other, "QTY", &qty));
  // Nor once it has a filter (and so orders of its own): the file is still
  // not open there, and its own file's index is seen as before.
  SDB_OK(SdbSetAOF100(other, "QTY > 0", 0));
  SDB_OK(SdbGetNumIndexes(other, &count));
  EXPECT_EQ(1, count);
  EXPECT_EQ(SDB_E_NO_SUCH_OBJECT, SdbGetIndexHandle(other, "QTY", &qty));
  SDBHANDLE name = 0;
  SDB_OK(SdbGetIndexHandle(other, "NAME", &name));
}

// A key built on an index over a memo and a binary blob: the memo's value is
// text (a partial key finds what it begins), the blob's bytes; each finds
// its own record.
TEST_F(SdbIndex, KeysOfMemoAndBinaryFieldsFindTheirRecords) {
  SDB_OK(
      Exec("CREATE TABLE K (ID INTEGER, M MEMO, B BLOB);"
           "CREATE INDEX M ON K (M);"
           "CREATE INDEX B ON K (B);"
           "INSERT INTO K VALUES (1, 'zebra', x'7a'), (2, 'apple pie', x'0102'),"
           "(3, 'mango', x'ff01');"));
  SDBHANDLE t = Open("K");
  auto seek = [&](SDBHANDLE x, const char* field, const std::string& value,
                  uint16_t option) -> uint32_t {
    EXPECT_EQ(0u, SdbInitRawKey(x)) << LastError();
    EXPECT_EQ(0u, SdbSetField(x, field, value.data(), static_cast<uint32_t>(value.size())))
        << LastError();
    uint8_t key[4082];
    uint16_t length = sizeof key;
    EXPECT_EQ(0u, SdbBuildRawKey100(x, key, &length, option)) << LastError();
    uint16_t found = 0;
    EXPECT_EQ(0u, SdbSeek(x, key, length, SDB_RAWKEY, SDB_HARDSEEK, &found)) << LastError();
    return found ? RecNo(t) : 0;
  };
  SDBHANDLE m = Index(t, "M"), b = Index(t, "B");
  EXPECT_EQ(2u, seek(m, "M", "apple pie", SDB_KEY_FULL));
  EXPECT_EQ(3u, seek(m, "M", "mango", SDB_KEY_FULL));
  EXPECT_EQ(2u, seek(m, "M", "apple", SDB_KEY_PARTIAL_WIDE));
  EXPECT_EQ(0u, seek(m, "M", "apple", SDB_KEY_FULL));
  EXPECT_EQ(2u, seek(b, "B", std::string("\x01\x02", 2), SDB_KEY_FULL));
  EXPECT_EQ(3u, seek(b, "B", std::string("\xff\x01", 2), SDB_KEY_FULL));
  EXPECT_EQ(1u, seek(b, "B", "z", SDB_KEY_FULL));
  SDB_OK(SdbCloseTable(t));
}
