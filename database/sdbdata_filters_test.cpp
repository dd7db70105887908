// Filters and locate on a real table, with and without indexes, optimized and
// plain: the wildcard rule, Filtered switching, OnFilterRecord, counts,
// Locate and Lookup by seek and by filter, and keys holding a double quote.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtable.h"
#include "sdbtesting.h"

namespace {

using sdbtesting::ErrorOf;

class FilterTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    // Record numbers 1..7; index NAME orders by name.
    sdbtesting::RunSql(Dictionary(),
                       "CREATE TABLE Items (NAME CHAR(12), QTY INTEGER, WNAME NCHAR(8), "
                       "NOTE MEMO);"
                       "CREATE INDEX NAME ON Items (NAME);"
                       "CREATE INDEX WNAME ON Items (WNAME);"
                       "CREATE INDEX NAMEQTY ON Items (NAME, QTY);"
                       "INSERT INTO Items VALUES ('ABC', 1, 'Äpfel', 'the quick fox'), "
                       "('ABD', 2, 'Birnen', 'slow'), ('XAB', 3, 'Zürich', 'quiet'), "
                       "('*', 4, 'Stern', NULL), ('Zürich', 5, 'zug', NULL), "
                       "('say \"hi\"', 6, 'Quote', NULL), ('abe', 7, 'klein', NULL);"
                       "CREATE TABLE Plain (NAME CHAR(12), QTY INTEGER);"
                       "INSERT INTO Plain SELECT NAME, QTY FROM Items;");
    connection = std::make_unique<TSdbConnection>();
    connection->SetLoginPrompt(false);
    connection->SetConnectPath(Dictionary());
    table = Open("Items");
  }
  void TearDown() override {
    table.reset();
    connection.reset();
  }
  std::unique_ptr<TSdbTable> Open(const std::string& name) {
    auto t = std::make_unique<TSdbTable>();
    t->SetSdbConnection(connection.get());
    t->SetTableName(name);
    t->Open();
    return t;
  }
  static std::string Names(TSdbTable& t) {
    std::string names;
    for (t.First(); !t.Eof(); t.Next()) names += t.FieldByName("NAME")->AsString() + ",";
    return names;
  }

  std::unique_ptr<TSdbConnection> connection;
  std::unique_ptr<TSdbTable> table;
};

TEST(FilterText, TrailingAsterisksBecomePrefixMatches) {
  bool exact = true;
  EXPECT_EQ(SdbRewriteFilterWildcards("NAME = 'AB*'", exact), "NAME = 'AB'");
  EXPECT_FALSE(exact);
  EXPECT_EQ(SdbRewriteFilterWildcards("NAME = \"AB*\" AND X = 'c*'", exact),
            "NAME = \"AB\" AND X = 'c'");
  EXPECT_EQ(SdbRewriteFilterWildcards("NAME = '*'", exact), "NAME = '*'");
  EXPECT_TRUE(exact);
  EXPECT_EQ(SdbRewriteFilterWildcards("NAME = '**'", exact), "NAME = '**'");
  EXPECT_EQ(SdbRewriteFilterWildcards("NAME = 'a*b'", exact), "NAME = 'a*b'");
  EXPECT_TRUE(exact);
  // A quote of the other kind neither opens nor closes.
  EXPECT_EQ(SdbRewriteFilterWildcards("NAME = 'it\"s*'", exact), "NAME = 'it\"s'");
  EXPECT_FALSE(exact);
  // A text search keeps its own wildcards, in any letter case.
  EXPECT_EQ(SdbRewriteFilterWildcards("contains (NOTE, 'qu*') AND N = 'x*'", exact),
            "contains (NOTE, 'qu*') AND N = 'x'");
  EXPECT_EQ(SdbRewriteFilterWildcards("CONTAINS(NOTE, 'a (b*')", exact), "CONTAINS(NOTE, 'a (b*')");
  EXPECT_TRUE(exact);
  // An unclosed group is no group.
  EXPECT_EQ(SdbRewriteFilterWildcards("CONTAINS(NOTE, 'qu*'", exact), "CONTAINS(NOTE, 'qu'");
  EXPECT_FALSE(exact);
}

TEST_F(FilterTest, WildcardsFilterByPrefixOptimizedAndPlain) {
  for (bool optimized : {true, false}) {
    SCOPED_TRACE(optimized ? "optimized" : "plain");
    table->Close();
    table->SdbTableOptions().SetSdbOptimizedFilters(optimized);
    table->SetFilter("NAME = 'AB*'");
    table->SetFiltered(true);
    table->Open();
    EXPECT_EQ(Names(*table), "ABC,ABD,");
    table->SetFilter("NAME = '*'");
    EXPECT_EQ(Names(*table), "*,");
    table->SetFilter("NAME = 'Zü*'");  // more bytes than characters
    EXPECT_EQ(Names(*table), "Zürich,");
    table->SetFilter("WNAME = 'Zü*'");
    EXPECT_EQ(Names(*table), "XAB,");
    table->SetFilter("CONTAINS(NOTE, 'qu*')");
    EXPECT_EQ(Names(*table), "ABC,XAB,");
    table->SetFilter("");
    EXPECT_EQ(Names(*table), "ABC,ABD,XAB,*,Zürich,say \"hi\",abe,");
    table->SetFiltered(false);
  }
}

TEST_F(FilterTest, SwitchingFilteredMovesToTheFirstRecordAndCountsFollowTheOptions) {
  table->SetIndexName("NAME");
  table->Last();
  table->SetFilter("QTY > 2");
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "say \"hi\"");  // not filtered yet
  table->SetFiltered(true);
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "*");
  EXPECT_EQ(table->RecordCount(), 7);  // filters ignored when counting
  table->Close();
  table->SdbTableOptions().SetSdbFilterOptions(RESPECT_WHEN_COUNTING);
  table->Open();  // the filter comes back with the table
  EXPECT_EQ(table->RecordCount(), 5);
  EXPECT_EQ(Names(*table), "*,XAB,Zürich,abe,say \"hi\",");
  table->Last();
  table->SetFiltered(false);
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "*");
  EXPECT_EQ(table->RecordCount(), 7);
  // A filter the engine cannot read is its error; the flag stays off.
  table->SetFilter("QTY >");
  EXPECT_NE(ErrorOf([&] { table->SetFiltered(true); }), "<no error>");
  EXPECT_FALSE(table->Filtered());
}

TEST_F(FilterTest, SwitchingTheFilterFormKeepsTheRecordsAndGoesToTheFirst) {
  table->SetIndexName("NAME");
  table->SetFilter("QTY < 4");
  table->SetFiltered(true);
  table->Last();
  table->SdbTableOptions().SetSdbOptimizedFilters(false);
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "ABC");
  EXPECT_EQ(Names(*table), "ABC,ABD,XAB,");
  table->SdbTableOptions().SetSdbOptimizedFilters(true);
  EXPECT_EQ(Names(*table), "ABC,ABD,XAB,");
}

TEST_F(FilterTest, OnFilterRecordSeesEachRecordInTheFilterBuffer) {
  std::vector<int> offered;
  table->OnFilterRecord = [&](TDataSet* dataSet, bool& accept) {
    EXPECT_EQ(dataSet->State(), dsFilter);
    int qty = dataSet->FieldByName("QTY")->AsInteger();
    offered.push_back(qty);
    accept = qty % 2 == 0;
  };
  table->SetFilter("QTY < 6");
  table->SetFiltered(true);
  EXPECT_EQ(Names(*table), "ABD,*,");
  EXPECT_FALSE(offered.empty());
  // Locate with a record filter never takes an index and honours both.
  EXPECT_FALSE(table->Locate("NAME", Variant("ABC"), {}));
  EXPECT_TRUE(table->Locate("NAME", Variant("*"), {}));
  EXPECT_EQ(table->FieldByName("QTY")->AsInteger(), 4);
  table->SetFiltered(false);
  EXPECT_EQ(Names(*table), "ABC,ABD,XAB,*,Zürich,say \"hi\",abe,");
}

TEST_F(FilterTest, LocateWithAndWithoutIndexes) {
  auto plain = Open("Plain");
  for (TSdbTable* t : {table.get(), plain.get()}) {
    SCOPED_TRACE(t->TableName());
    for (bool useIndex : {false, true}) {
      if (useIndex && t == plain.get()) continue;
      t->SetIndexName(useIndex ? "NAME" : "");
      t->First();
      std::string start = t->FieldByName("NAME")->AsString();
      // Not found: the position stays.
      EXPECT_FALSE(t->Locate("NAME", Variant("ABX"), {}));
      EXPECT_EQ(t->FieldByName("NAME")->AsString(), start);
      EXPECT_TRUE(t->Locate("NAME", Variant("XAB"), {}));
      EXPECT_EQ(t->FieldByName("QTY")->AsInteger(), 3);
      // Exact unless a partial key is asked for.
      EXPECT_FALSE(t->Locate("NAME", Variant("AB"), {}));
      EXPECT_TRUE(t->Locate("NAME", Variant("AB"), {loPartialKey}));
      EXPECT_EQ(t->FieldByName("NAME")->AsString().substr(0, 2), "AB");
      // Letter case: ABE is found as abe only when case does not matter.
      EXPECT_FALSE(t->Locate("NAME", Variant("ABE"), {}));
      EXPECT_TRUE(t->Locate("NAME", Variant("ABE"), {loCaseInsensitive}));
      EXPECT_EQ(t->FieldByName("QTY")->AsInteger(), 7);
      EXPECT_TRUE(t->Locate("NAME", Variant("zür"), {loCaseInsensitive, loPartialKey}));
      EXPECT_EQ(t->FieldByName("QTY")->AsInteger(), 5);
      // A key holding a double quote.
      EXPECT_TRUE(t->Locate("NAME", Variant("say \"hi\""), {}));
      EXPECT_EQ(t->FieldByName("QTY")->AsInteger(), 6);
      // Several key fields.
      EXPECT_TRUE(t->Locate("NAME;QTY", Variant::Array({Variant("ABD"), Variant(2)}), {}));
      EXPECT_EQ(t->FieldByName("NAME")->AsString(), "ABD");
      EXPECT_FALSE(t->Locate("NAME;QTY", Variant::Array({Variant("ABD"), Variant(3)}), {}));
      EXPECT_EQ(t->FieldByName("NAME")->AsString(), "ABD");
      EXPECT_EQ(ErrorOf([&] { t->Locate("NOSUCH", Variant("x"), {}); }),
                "Field 'NOSUCH' not found");
    }
  }
  // Wide strings.
  table->SetIndexName("WNAME");
  EXPECT_TRUE(table->Locate("WNAME", Variant("Zürich"), {}));
  EXPECT_EQ(table->FieldByName("QTY")->AsInteger(), 3);
  EXPECT_TRUE(table->Locate("WNAME", Variant("zü"), {loPartialKey, loCaseInsensitive}));
  EXPECT_EQ(table->FieldByName("QTY")->AsInteger(), 3);
  EXPECT_TRUE(table->Locate("WNAME", Variant("Bir"), {loPartialKey}));
  EXPECT_EQ(table->FieldByName("QTY")->AsInteger(), 2);
  // Locate on a filtered table finds only what the filter shows.
  table->SetFilter("QTY > 3");
  table->SetFiltered(true);
  EXPECT_FALSE(table->Locate("NAME", Variant("ABC"), {}));
  EXPECT_TRUE(table->Locate("NAME", Variant("abe"), {}));
  EXPECT_TRUE(table->LocateLocally("QTY = 5"));
  EXPECT_FALSE(table->LocateLocally("QTY = 1"));
}

TEST_F(FilterTest, LookupLeavesTheCurrentRecordAlone) {
  table->SetIndexName("NAME");
  table->First();  // "*"
  EXPECT_EQ(table->Lookup("NAME", Variant("XAB"), "QTY").AsInteger(), 3);
  Variant both = table->Lookup("NAME", Variant("ABD"), "QTY;WNAME");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsInteger(), 2);
  EXPECT_EQ(both[1].AsString(), "Birnen");
  EXPECT_TRUE(table->Lookup("NAME", Variant("none"), "QTY").IsNull());
  EXPECT_TRUE(table->Lookup("NAME", Variant::Null(), "QTY").IsNull());
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "*");
  // The engine's cursor is back on the dataset's record, so that the next
  // move or edit acts on it, not on the record looked up.
  uint32_t recno = 0;
  ASSERT_EQ(SdbGetRecordNum(table->Handle(), SDB_IGNOREFILTERS, &recno), 0u);
  EXPECT_EQ(recno, 4u);
  table->Next();
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "ABC");
}

}  // namespace
