// Raw keys against SQLite's own index order, and the index navigation SQL
// against the keys: walks, seeks and bounds on random data of every kind.
#include "sdbkey.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

namespace {

using sdbkey::Cmp;
using sdbkey::Segment;
using sdbkey::Value;

struct Row {
  int64_t id;
  std::string key;
};

class KeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() /
           ("sdbkey_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
    ASSERT_EQ(sqlite3_open((FDir / "k.db").c_str(), &FDb), SQLITE_OK);
    ASSERT_EQ(SdbRegisterSqlFunctions(FDb), SQLITE_OK);
    Exec(
        "CREATE TABLE k(id INTEGER PRIMARY KEY, S TEXT, C TEXT COLLATE NOCASE, I INTEGER,"
        " R REAL, D TEXT, L INTEGER, B BLOB)");
  }
  void TearDown() override {
    for (auto& [sql, st] : FCache) sqlite3_finalize(st);
    sqlite3_close(FDb);
    std::filesystem::remove_all(FDir);
  }
  void Exec(const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK)
        << (err ? err : "") << "\n"
        << sql;
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    auto it = FCache.find(sql);
    if (it != FCache.end()) {
      sqlite3_reset(it->second);
      sqlite3_clear_bindings(it->second);
      return it->second;
    }
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(FDb, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(FDb) << "\n"
        << sql;
    FCache[sql] = st;
    return st;
  }
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

  // Random rows with duplicates, NULLs, mixed case, blanks and non-ASCII.
  void Fill(int n, unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int k) { return static_cast<int>(rng() % k); };
    const char* alphabet[] = {"a", "B", "b", "A", "_", "[", " ", "z", "\xC3\xA9", "0", "~"};
    auto text = [&]() -> std::string {
      int r = pick(20);
      if (r < 3) return "NULL";
      if (r == 3) return "''";
      std::string s;
      int len = 1 + pick(5);
      for (int i = 0; i < len; ++i) s += alphabet[pick(11)];
      while (!s.empty() && s.back() == ' ') s.pop_back();
      return s.empty() ? "NULL" : "'" + s + "'";
    };
    auto number = [&](bool real) -> std::string {
      if (pick(8) == 0) return "NULL";
      const char* ints[] = {
          "0", "1", "-1", "42", "-9223372036854775808", "9223372036854775807", "1000000", "-35"};
      const char* reals[] = {"0.0",     "-0.0", "1.5",   "-1.5",    "1e300",
                             "-1e-300", "42",   "0.001", "-2.5e10", "3.0"};
      return real ? reals[pick(10)] : ints[pick(8)];
    };
    auto date = [&]() -> std::string {
      if (pick(6) == 0) return "NULL";
      char buf[64];
      std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d'", 1990 + pick(40), 1 + pick(12),
                    1 + pick(28));
      return buf;
    };
    Exec("BEGIN");
    for (int i = 0; i < n; ++i) {
      std::string blob = pick(6) == 0 ? "NULL"
                                      : "x'" + std::string(pick(2) ? "00" : "FF") +
                                            std::string(pick(2) ? "7F" : "") + "'";
      std::string logical = pick(5) == 0 ? "NULL" : std::to_string(pick(2));
      Exec("INSERT INTO k(S, C, I, R, D, L, B) VALUES (" + text() + "," + text() + "," +
           number(false) + "," + number(true) + "," + date() + "," + logical + "," + blob + ")");
    }
    Exec("COMMIT");
  }

  // The rows in SQLite's index order, each with its encoded key.
  std::vector<Row> Ordered(const std::vector<Segment>& segs) {
    std::string cols;
    for (const auto& s : segs) cols += ", " + s.sql;
    std::string sql = "SELECT id" + cols + " FROM k ORDER BY " + sdbkey::OrderBy(segs, false);
    std::vector<Row> rows;
    sqlite3_stmt* st = Prepare(sql);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<Value> v;
      for (size_t j = 0; j < segs.size(); ++j)
        v.push_back(Value::FromColumn(st, static_cast<int>(j) + 1));
      rows.push_back({sqlite3_column_int64(st, 0), sdbkey::Encode(segs, v)});
    }
    return rows;
  }

  // The key values of one row and which of them are NULL.
  std::vector<Value> KeyOf(const std::vector<Segment>& segs, int64_t id, uint32_t* mask) {
    sqlite3_stmt* st = Prepare(sdbkey::KeyOfRowQuery("k", segs));
    sqlite3_bind_int64(st, 1, id);
    std::vector<Value> v;
    *mask = 0;
    if (sqlite3_step(st) == SQLITE_ROW) {
      for (size_t j = 0; j < segs.size(); ++j) {
        v.push_back(Value::FromColumn(st, static_cast<int>(j)));
        if (v.back().kind == Value::Null) *mask |= 1u << j;
      }
    }
    return v;
  }

  int64_t RunBound(const std::vector<Segment>& segs, const std::vector<Value>& v, Cmp cmp,
                   int64_t rowid, bool withRowid) {
    uint32_t mask = 0;
    for (size_t j = 0; j < v.size(); ++j)
      if (v[j].kind == Value::Null) mask |= 1u << j;
    sqlite3_stmt* st = Prepare(sdbkey::BoundQuery("k", segs, v.size(), mask, cmp, withRowid));
    for (size_t j = 0; j < v.size(); ++j)
      EXPECT_EQ(sdbkey::Bind(st, static_cast<int>(j) + 1, v[j]), SQLITE_OK);
    if (withRowid) sqlite3_bind_int64(st, sdbkey::kRowidParam, rowid);
    return sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  }

  std::filesystem::path FDir;
  sqlite3* FDb = nullptr;
  std::map<std::string, sqlite3_stmt*> FCache;
};

// Index definitions over every kind of value.
std::vector<std::vector<Segment>> Definitions() {
  Segment s{"S", sdbstore::FieldType::String, 10, false, false};
  Segment c{"C", sdbstore::FieldType::CIString, 10, false, true};
  Segment i{"I", sdbstore::FieldType::Integer, 4, false, false};
  Segment r{"R", sdbstore::FieldType::Double, 8, false, false};
  Segment d{"D", sdbstore::FieldType::Date, 4, false, false};
  Segment l{"L", sdbstore::FieldType::Logical, 1, false, false};
  Segment b{"B", sdbstore::FieldType::Raw, 4, false, false};
  Segment up{"upper(S)", sdbstore::FieldType::String, 10, false, false};
  auto desc = [](Segment x) {
    x.descending = true;
    return x;
  };
  return {{s},           {c}, {desc(i)},         {r}, {d, desc(s)}, {l, desc(c), i},
          {up, desc(r)}, {b}, {desc(c), desc(d)}};
}

std::string IndexSql(const std::vector<Segment>& segs, int n) {
  std::string cols;
  for (const auto& s : segs)
    cols += (cols.empty() ? "" : ", ") + s.sql + (s.nocase ? " COLLATE NOCASE" : "") +
            (s.descending ? " DESC" : "");
  return "CREATE INDEX ix" + std::to_string(n) + " ON k(" + cols + ")";
}

TEST_F(KeyTest, ByteOrderIsSqliteIndexOrder) {
  Fill(1500, 7);
  int n = 0;
  for (const auto& segs : Definitions()) {
    Exec(IndexSql(segs, ++n));
    std::vector<Row> rows = Ordered(segs);
    ASSERT_EQ(rows.size(), 1500u);
    std::vector<Row> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Row& a, const Row& b) {
      return a.key != b.key ? a.key < b.key : a.id < b.id;
    });
    size_t mismatch = 0;
    while (mismatch < rows.size() && rows[mismatch].id == sorted[mismatch].id) ++mismatch;
    EXPECT_EQ(mismatch, rows.size()) << "index " << n << " differs at position " << mismatch;
    // The order is the index's own: no temporary sort.
    std::string plan = Plan("SELECT id FROM k ORDER BY " + sdbkey::OrderBy(segs, false));
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << n << ": " << plan;
    for (const auto& row : rows) ASSERT_EQ(row.key.size(), sdbkey::KeyLength(segs));
  }
}

TEST_F(KeyTest, DecodePartialKeysAndSteps) {
  Fill(400, 11);
  std::vector<Segment> segs = {{"C", sdbstore::FieldType::CIString, 10, false, true},
                               {"S", sdbstore::FieldType::String, 10, true, false},
                               {"I", sdbstore::FieldType::Integer, 4, false, false}};
  std::vector<Row> rows = Ordered(segs);
  for (const auto& row : rows) {
    uint32_t mask;
    std::vector<Value> v = KeyOf(segs, row.id, &mask);
    if (v[0].kind == Value::Text)
      for (auto& ch : v[0].s)
        if (ch >= 'A' && ch <= 'Z') ch += 32;  // NOCASE keys hold folded text
    sdbkey::Decoded d = sdbkey::Decode(segs, row.key);
    EXPECT_EQ(d.bound, sdbkey::Decoded::Exact);
    EXPECT_FALSE(d.lastIsPrefix);
    ASSERT_EQ(d.values.size(), 3u);
    EXPECT_TRUE(d.values == v) << row.id;
    // Leading values give a prefix of the full key.
    std::string two = sdbkey::Encode(segs, {v[0], v[1]});
    EXPECT_EQ(row.key.compare(0, two.size(), two), 0);
    EXPECT_EQ(sdbkey::Decode(segs, two).values.size(), 2u);
    EXPECT_EQ(sdbkey::Decode(segs, two).bound, sdbkey::Decoded::Prefix);
  }
  // A text prefix: every key of a text beginning with it begins with it.
  std::string p = sdbkey::Encode(segs, {Value::OfText("a")}, true);
  sdbkey::Decoded dp = sdbkey::Decode(segs, p);
  ASSERT_EQ(dp.values.size(), 1u);
  EXPECT_TRUE(dp.lastIsPrefix);
  EXPECT_EQ(dp.values[0].s, "a");
  int starting = 0;
  for (const auto& row : rows) {
    uint32_t mask;
    std::vector<Value> v = KeyOf(segs, row.id, &mask);
    bool begins = v[0].kind == Value::Text && !v[0].s.empty() && (v[0].s[0] | 32) == 'a';
    EXPECT_EQ(begins, row.key.compare(0, p.size(), p) == 0) << row.id;
    starting += begins;
  }
  EXPECT_GT(starting, 0);
  // Steps: past every key with the prefix, before every one.
  for (const std::string& k : {p, rows[17].key, sdbkey::Encode(segs, {Value()})}) {
    std::string after = sdbkey::Step(segs, k, 1), before = sdbkey::Step(segs, k, -1);
    EXPECT_EQ(after.size(), sdbkey::KeyLength(segs));
    for (const auto& row : rows) {
      bool hasPrefix = row.key.compare(0, k.size(), k) == 0;
      EXPECT_EQ(row.key < after, hasPrefix || row.key < k);
      EXPECT_EQ(row.key > before, hasPrefix || row.key > k);
    }
    sdbkey::Decoded da = sdbkey::Decode(segs, after);
    EXPECT_EQ(da.bound, sdbkey::Decoded::After);
    EXPECT_EQ(sdbkey::Decode(segs, before).bound, sdbkey::Decoded::Before);
    sdbkey::Decoded dk = sdbkey::Decode(segs, k);
    EXPECT_EQ(da.values.size(), dk.values.size());
    EXPECT_EQ(da.lastIsPrefix, dk.lastIsPrefix);
  }
  // A stepped text prefix keeps its prefix on decoding.
  sdbkey::Decoded dpa = sdbkey::Decode(segs, sdbkey::Step(segs, p, 1));
  ASSERT_EQ(dpa.values.size(), 1u);
  EXPECT_EQ(dpa.values[0].s, "a");
  EXPECT_TRUE(dpa.lastIsPrefix);
  // Character values as a key buffer holds them.
  EXPECT_TRUE(sdbkey::TextValue("AB   ") == Value::OfText("AB"));
  EXPECT_EQ(sdbkey::TextValue("   ").kind, Value::Null);
}

TEST_F(KeyTest, StepsWalkTheIndexBothWays) {
  Fill(700, 23);
  int n = 0;
  for (const auto& segs : Definitions()) {
    Exec(IndexSql(segs, ++n));
    std::vector<Row> rows = Ordered(segs);
    // Forward from the first row, one bound query per step.
    sqlite3_stmt* first = Prepare(sdbkey::FirstQuery("k", segs, false));
    ASSERT_EQ(sqlite3_step(first), SQLITE_ROW);
    int64_t id = sqlite3_column_int64(first, 0);
    std::vector<int64_t> walked;
    while (id) {
      walked.push_back(id);
      uint32_t mask;
      std::vector<Value> v = KeyOf(segs, id, &mask);
      id = RunBound(segs, v, Cmp::GT, id, true);
      ASSERT_LE(walked.size(), rows.size()) << "index " << n << " loops";
    }
    std::vector<int64_t> expected;
    for (const auto& r : rows) expected.push_back(r.id);
    EXPECT_EQ(walked, expected) << "forward, index " << n;
    // Backward from the last.
    sqlite3_stmt* last = Prepare(sdbkey::FirstQuery("k", segs, true));
    ASSERT_EQ(sqlite3_step(last), SQLITE_ROW);
    id = sqlite3_column_int64(last, 0);
    walked.clear();
    while (id) {
      walked.push_back(id);
      uint32_t mask;
      std::vector<Value> v = KeyOf(segs, id, &mask);
      id = RunBound(segs, v, Cmp::LT, id, true);
      ASSERT_LE(walked.size(), rows.size());
    }
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(walked, expected) << "backward, index " << n;
    // One walk statement from a row in the middle goes on in index order.
    for (bool fwd : {true, false}) {
      size_t mid = rows.size() / 3;
      uint32_t mask;
      std::vector<Value> v = KeyOf(segs, rows[mid].id, &mask);
      sqlite3_stmt* walk =
          Prepare(sdbkey::WalkQuery("k", segs, segs.size(), mask, fwd ? Cmp::GT : Cmp::LT, true));
      sdbkey::BindAll(walk, v, 1);
      sqlite3_bind_int64(walk, sdbkey::kRowidParam, rows[mid].id);
      std::vector<int64_t> got, want;
      while (sqlite3_step(walk) == SQLITE_ROW) got.push_back(sqlite3_column_int64(walk, 0));
      if (fwd)
        for (size_t i = mid + 1; i < rows.size(); ++i) want.push_back(rows[i].id);
      else
        for (size_t i = mid; i-- > 0;) want.push_back(rows[i].id);
      EXPECT_EQ(got, want) << "walk statement, index " << n << (fwd ? " forward" : " backward");
      std::string wplan = Plan(sdbkey::WalkQuery("k", segs, segs.size(), mask, Cmp::GT, true));
      EXPECT_EQ(wplan.find("TEMP B-TREE"), std::string::npos) << n << "\n" << wplan;
    }
    // Every part of a step is an index range: no sort, no scan of the table.
    std::string plan = Plan(sdbkey::BoundQuery("k", segs, segs.size(), 0, Cmp::GT, true));
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << n << "\n" << plan;
    EXPECT_EQ(plan.find("SCAN k\n"), std::string::npos) << n << "\n" << plan;
  }
}

TEST_F(KeyTest, SeeksAndBoundsAgreeWithTheKeys) {
  Fill(500, 5);
  std::mt19937 rng(99);
  int n = 0;
  for (const auto& segs : Definitions()) {
    Exec(IndexSql(segs, ++n));
    std::vector<Row> rows = Ordered(segs);
    for (int probe = 0; probe < 40; ++probe) {
      // Values of a random row, or of a random row with its last segment cut.
      const Row& r = rows[rng() % rows.size()];
      uint32_t mask;
      std::vector<Value> v = KeyOf(segs, r.id, &mask);
      v.resize(1 + rng() % segs.size());
      if (probe % 5 == 0 && v.back().kind == Value::Integer && v.back().i < INT64_MAX)
        v.back().i += 1;
      std::string k = sdbkey::Encode(segs, v);
      size_t len = std::min<size_t>(k.size(), sdbkey::KeyLength(segs) - 1);
      k.resize(len);
      for (Cmp cmp : {Cmp::GE, Cmp::GT, Cmp::LE, Cmp::LT}) {
        int64_t want = 0;
        auto holds = [&](const Row& x) {
          int c = x.key.compare(0, len, k);
          return cmp == Cmp::GE ? c >= 0 : cmp == Cmp::GT ? c > 0 : cmp == Cmp::LE ? c <= 0 : c < 0;
        };
        if (cmp == Cmp::GE || cmp == Cmp::GT) {
          for (const auto& x : rows)
            if (holds(x)) {
              want = x.id;
              break;
            }
        } else {
          for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            if (holds(*it)) {
              want = it->id;
              break;
            }
        }
        EXPECT_EQ(RunBound(segs, v, cmp, 0, false), want)
            << "index " << n << " probe " << probe << " cmp " << static_cast<int>(cmp);
        // The same bound as a condition counts the same rows.
        uint32_t m = 0;
        for (size_t j = 0; j < v.size(); ++j)
          if (v[j].kind == Value::Null) m |= 1u << j;
        sqlite3_stmt* st = Prepare("SELECT count(*) FROM k WHERE " +
                                   sdbkey::KeyCondition(segs, v.size(), m, cmp, false, 101));
        for (size_t j = 0; j < v.size(); ++j) sdbkey::Bind(st, 101 + static_cast<int>(j), v[j]);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        int64_t count = std::count_if(rows.begin(), rows.end(), holds);
        EXPECT_EQ(sqlite3_column_int64(st, 0), count) << "index " << n << " probe " << probe;
      }
      // Equality on the given segments.
      uint32_t m = 0;
      for (size_t j = 0; j < v.size(); ++j)
        if (v[j].kind == Value::Null) m |= 1u << j;
      sqlite3_stmt* st =
          Prepare("SELECT count(*) FROM k WHERE " + sdbkey::KeyEquals(segs, v.size(), m, false, 1));
      for (size_t j = 0; j < v.size(); ++j) sdbkey::Bind(st, 1 + static_cast<int>(j), v[j]);
      ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
      int64_t count = std::count_if(rows.begin(), rows.end(),
                                    [&](const Row& x) { return x.key.compare(0, len, k) == 0; });
      EXPECT_EQ(sqlite3_column_int64(st, 0), count) << "index " << n << " probe " << probe;
    }
  }
}

TEST_F(KeyTest, RangeBoundsFromRawKeys) {
  Fill(500, 31);
  std::vector<std::vector<Segment>> defs = {{{"S", sdbstore::FieldType::String, 10, false, false},
                                             {"I", sdbstore::FieldType::Integer, 4, false, false}},
                                            {{"C", sdbstore::FieldType::CIString, 10, true, true},
                                             {"D", sdbstore::FieldType::Date, 4, false, false}},
                                            {{"L", sdbstore::FieldType::Logical, 1, false, false},
                                             {"S", sdbstore::FieldType::String, 10, true, false}}};
  std::mt19937 rng(3);
  for (const auto& segs : defs) {
    std::vector<Row> rows = Ordered(segs);
    std::vector<std::string> keys;
    for (int probe = 0; probe < 60; ++probe) {
      const Row& r = rows[rng() % rows.size()];
      uint32_t mask;
      std::vector<Value> v = KeyOf(segs, r.id, &mask);
      size_t m = 1 + rng() % segs.size();
      v.resize(m);
      bool prefix = v.back().kind == Value::Text && v.back().s.size() > 1 && rng() % 2;
      if (prefix) v.back().s.resize(1 + rng() % (v.back().s.size() - 1));
      std::string k = sdbkey::Encode(segs, v, prefix);
      keys.push_back(k);
      keys.push_back(sdbkey::Step(segs, k, 1));
      keys.push_back(sdbkey::Step(segs, k, -1));
    }
    for (const std::string& k : keys) {
      sdbkey::Decoded d = sdbkey::Decode(segs, k);
      for (bool top : {true, false}) {
        sdbkey::Bound b = sdbkey::RangeBound(segs, d, top);
        sqlite3_stmt* st =
            Prepare("SELECT id FROM k WHERE " +
                    sdbkey::KeyCondition(segs, b.values.size(), b.nullMask, b.cmp, false, 1) +
                    " ORDER BY " + sdbkey::OrderBy(segs, false));
        ASSERT_EQ(sdbkey::BindAll(st, b.values, 1), SQLITE_OK);
        std::vector<int64_t> got, want;
        while (sqlite3_step(st) == SQLITE_ROW) got.push_back(sqlite3_column_int64(st, 0));
        for (const auto& x : rows) {
          int c = x.key.compare(0, k.size(), k);
          if (top ? c >= 0 : c <= 0) want.push_back(x.id);
        }
        EXPECT_EQ(got, want) << (top ? "top" : "bottom") << " bound " << d.bound << " prefix "
                             << d.lastIsPrefix << " values " << d.values.size();
      }
    }
  }
}

TEST_F(KeyTest, ScopedWalkBetweenTwoKeys) {
  Fill(800, 41);
  std::vector<Segment> segs = {{"C", sdbstore::FieldType::CIString, 10, false, true},
                               {"I", sdbstore::FieldType::Integer, 4, true, false}};
  Exec(IndexSql(segs, 1));
  Exec("CREATE INDEX other ON k(I)");  // a tempting index for the conditions
  std::vector<Row> rows = Ordered(segs);
  // Scope from a text prefix to a full key further on.
  std::string top = sdbkey::Encode(segs, {Value::OfText("b")}, true);
  std::string bottom = rows[rows.size() * 3 / 4].key;
  sdbkey::Bound t = sdbkey::RangeBound(segs, sdbkey::Decode(segs, top), true);
  std::vector<int64_t> want;
  for (const auto& r : rows)
    if (r.key.compare(0, top.size(), top) >= 0 && r.key <= bottom) want.push_back(r.id);
  ASSERT_GT(want.size(), 50u);
  // The walk names its index, so a condition in `where` never turns the
  // plan into a sort; the bottom of the scope is a comparison of keys.
  const std::string from = "k INDEXED BY ix1";
  const std::string cols = "rowid, C, I";
  std::string where = sdbkey::KeyCondition(segs, t.values.size(), t.nullMask, t.cmp, false, 101);
  auto keyOf = [&](sqlite3_stmt* st) {
    return sdbkey::Encode(segs, {Value::FromColumn(st, 1), Value::FromColumn(st, 2)});
  };
  sqlite3_stmt* st =
      Prepare(sdbkey::BoundQuery(from, segs, t.values.size(), t.nullMask, t.cmp, false, cols));
  sdbkey::BindAll(st, t.values, 1);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  std::vector<int64_t> walked;
  std::vector<Value> v = {Value::FromColumn(st, 1), Value::FromColumn(st, 2)};
  if (keyOf(st) <= bottom) walked.push_back(sqlite3_column_int64(st, 0));
  while (!walked.empty()) {
    uint32_t mask = (v[0].kind == Value::Null ? 1u : 0u) | (v[1].kind == Value::Null ? 2u : 0u);
    sqlite3_stmt* step =
        Prepare(sdbkey::BoundQuery(from, segs, segs.size(), mask, Cmp::GT, true, cols, where));
    sdbkey::BindAll(step, v, 1);
    sqlite3_bind_int64(step, sdbkey::kRowidParam, walked.back());
    sdbkey::BindAll(step, t.values, 101);
    if (sqlite3_step(step) != SQLITE_ROW || keyOf(step) > bottom) break;
    walked.push_back(sqlite3_column_int64(step, 0));
    v = {Value::FromColumn(step, 1), Value::FromColumn(step, 2)};
    ASSERT_LE(walked.size(), want.size());
  }
  EXPECT_EQ(walked, want);
  std::string plan =
      Plan(sdbkey::BoundQuery(from, segs, segs.size(), 0, Cmp::GT, true, cols, where));
  EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
  EXPECT_EQ(plan.find("other"), std::string::npos) << plan;
}

TEST(KeyText, TextKeysSplitBySegmentWidths) {
  std::vector<Segment> pair = {{"C1", sdbstore::FieldType::String, 3, false, false},
                               {"C2", sdbstore::FieldType::CIString, 3, false, true}};
  sdbkey::Decoded d = sdbkey::DecodeText(pair, "USDEUR");
  ASSERT_EQ(d.values.size(), 2u);
  EXPECT_EQ(d.values[0].s, "USD");
  EXPECT_EQ(d.values[1].s, "EUR");
  EXPECT_EQ(d.bound, sdbkey::Decoded::Exact);
  d = sdbkey::DecodeText(pair, "\xC3\xA9 aE");  // characters, not bytes
  ASSERT_EQ(d.values.size(), 2u);
  EXPECT_EQ(d.values[0].s, "\xC3\xA9 a");
  EXPECT_EQ(d.values[1].s, "E");
  EXPECT_TRUE(d.lastIsPrefix);
  d = sdbkey::DecodeText(pair, "AB");
  ASSERT_EQ(d.values.size(), 1u);
  EXPECT_TRUE(d.lastIsPrefix);
  d = sdbkey::DecodeText(pair, "   X");  // a blank segment is empty
  ASSERT_EQ(d.values.size(), 2u);
  EXPECT_EQ(d.values[0].kind, Value::Null);
  std::vector<Segment> mixed = {{"D", sdbstore::FieldType::Date, 4, false, false},
                                {"L", sdbstore::FieldType::Logical, 1, false, false},
                                {"N", sdbstore::FieldType::Numeric, 12, false, false}};
  d = sdbkey::DecodeText(mixed, "20200131T 12.5");
  ASSERT_EQ(d.values.size(), 3u);
  EXPECT_EQ(d.values[0].s, "2020-01-31");
  EXPECT_EQ(d.values[1].i, 1);
  EXPECT_EQ(d.values[2].r, 12.5);
  std::vector<Segment> id = {{"ID", sdbstore::FieldType::Integer, 4, false, false}};
  d = sdbkey::DecodeText(id, "-42");
  ASSERT_EQ(d.values.size(), 1u);
  EXPECT_EQ(d.values[0].i, -42);
  EXPECT_TRUE(sdbkey::DecodeText(id, "").values.empty());
  std::vector<Segment> memo = {{"M", sdbstore::FieldType::Memo, 0, false, false}};
  d = sdbkey::DecodeText(memo, "long text");
  ASSERT_EQ(d.values.size(), 1u);
  EXPECT_EQ(d.values[0].s, "long text");
  EXPECT_TRUE(d.lastIsPrefix);
}

TEST_F(KeyTest, SegmentsOfIndexExpressions) {
  sdbexpr::FieldResolver resolve = [](std::string_view n) -> std::optional<sdbexpr::FieldInfo> {
    if (n == "C") return sdbexpr::FieldInfo{"\"C\"", sdbstore::FieldType::CIString, 12, 0};
    if (n == "S") return sdbexpr::FieldInfo{"\"S\"", sdbstore::FieldType::String, 10, 0};
    if (n == "D") return sdbexpr::FieldInfo{"\"D\"", sdbstore::FieldType::Date, 4, 0};
    return std::nullopt;
  };
  Segment c = sdbkey::SegmentOf(" C ", resolve, true);
  EXPECT_EQ(c.sql, "\"C\"");
  EXPECT_TRUE(c.nocase);
  EXPECT_TRUE(c.descending);
  EXPECT_EQ(c.length, 12u);
  Segment up = sdbkey::SegmentOf("UPPER(C)", resolve);
  EXPECT_EQ(up.sql, "upper(\"C\")");
  EXPECT_FALSE(up.nocase);
  EXPECT_EQ(up.type, sdbstore::FieldType::String);
  EXPECT_EQ(up.length, 12u);
  Segment both = sdbkey::SegmentOf("S + DTOS(D)", resolve);
  EXPECT_EQ(both.length, 18u);
  Segment year = sdbkey::SegmentOf("YEAR(D)", resolve);
  EXPECT_EQ(year.type, sdbstore::FieldType::Double);
  // The segments order rows as an index on them does.
  Exec(
      "INSERT INTO k(S, C, D) VALUES ('b', 'x', '2020-01-02'), ('b', 'X', '2019-05-05'),"
      " ('a', NULL, NULL), ('ab', 'y', '2021-01-01')");
  std::vector<Segment> segs = {both, c};
  Exec("CREATE INDEX ixe ON k(" + both.sql + ", " + c.sql + " DESC)");
  std::vector<Row> rows = Ordered(segs);
  ASSERT_EQ(rows.size(), 4u);
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LT(rows[i - 1].key, rows[i].key);
  EXPECT_EQ(Plan("SELECT id FROM k ORDER BY " + sdbkey::OrderBy(segs, false)).find("TEMP"),
            std::string::npos);
}

TEST_F(KeyTest, SegmentValuesOfARecordNotInTheTable) {
  std::vector<Segment> segs = {{"upper(\"S\")", sdbstore::FieldType::String, 10, false, false},
                               {"\"I\"", sdbstore::FieldType::Integer, 4, true, false},
                               {"\"C\"", sdbstore::FieldType::CIString, 10, false, true}};
  std::vector<Value> v = sdbkey::SegmentValues(
      segs, {{"s", Value::OfText("abc")}, {"I", Value::OfInt(7)}}, {"S", "C", "I", "R"});
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].s, "ABC");
  EXPECT_EQ(v[1].i, 7);
  EXPECT_EQ(v[2].kind, Value::Null);
  // The same values as the row would give once written.
  Exec("INSERT INTO k(id, S, I) VALUES (1, 'abc', 7)");
  uint32_t mask;
  EXPECT_EQ(sdbkey::Encode(segs, KeyOf(segs, 1, &mask)), sdbkey::Encode(segs, v));
  EXPECT_THROW(sdbkey::SegmentValues(segs, {{"S", Value::OfText("x")}}), sdbexpr::ExprError);
}

TEST_F(KeyTest, PrefixEqualityAndManyDuplicates) {
  Exec("CREATE INDEX ix ON k(C COLLATE NOCASE)");
  Exec("BEGIN");
  for (int i = 0; i < 20000; ++i) Exec("INSERT INTO k(C) VALUES ('Same')");
  Exec("INSERT INTO k(C) VALUES ('samE2'), ('sa'), (NULL), ('Sb')");
  Exec("COMMIT");
  std::vector<Segment> segs = {{"C", sdbstore::FieldType::CIString, 10, false, true}};
  sqlite3_stmt* st =
      Prepare("SELECT count(*) FROM k WHERE " + sdbkey::KeyEquals(segs, 1, 0, true, 1));
  sdbkey::Bind(st, 1, Value::OfText("SAM"));
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int64(st, 0), 20001);
  // A walk through the duplicates visits each once, in record-number order.
  int64_t id = 1, steps = 1;
  Value same = Value::OfText("Same");
  while ((id = RunBound(segs, {same}, Cmp::GT, id, true)) != 0 && id <= 20000) {
    ASSERT_EQ(id, steps + 1);
    ++steps;
  }
  EXPECT_EQ(steps, 20000);
  EXPECT_EQ(id, 20001);  // then 'samE2'
}

}  // namespace
