// Keys, ranges, scopes and master ranges on real tables: seeks on one- and
// two-field indexes, range refusals and repeats, scope and range exclusion,
// a detail following its master, index selection and index definitions.
#include <gtest/gtest.h>

#include "sdbengine.h"
#include "sdbtables.h"

namespace {

class KeysTest : public sdbtesting::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    // Record numbers 1..6; index NAME orders A B C D E F, PAIR by kind then name.
    sdbtesting::RunSql(Dictionary(),
                       "CREATE TABLE Items (NAME CHAR(5), KIND CHAR(3), QTY INTEGER);"
                       "CREATE INDEX NAME ON Items (NAME);"
                       "CREATE INDEX PAIR ON Items (KIND, NAME);"
                       "CREATE INDEX QTYDOWN ON Items (QTY DESC);"
                       "INSERT INTO Items VALUES ('B', 'x', 2), ('D', 'y', 4), ('A', 'x', 1),"
                       " ('C', NULL, 3), ('F', 'y', 6), ('E', 'x', 5);");
    items = Table("Items");
  }
  void TearDown() override {
    items.reset();
    TableTest::TearDown();
  }
  std::string Name() { return items->FieldByName("NAME")->AsString(); }
  std::string Walk() {
    std::string names;
    for (items->First(); !items->Eof(); items->Next()) names += Name();
    return names;
  }
  void Key(const std::string& kind, const std::string& name = "") {
    items->SetKey();
    items->FieldByName("KIND")->SetAsString(kind);
    if (!name.empty()) items->FieldByName("NAME")->SetAsString(name);
  }

  std::unique_ptr<TSdbTable> items;
};

TEST_F(KeysTest, KeyModeNeedsAnIndexAndTakesOnlyItsFields) {
  EXPECT_EQ(ErrorOf([&] { items->SetKey(); }), "tbItems: Index is not set.");
  EXPECT_EQ(items->State(), dsBrowse);
  EXPECT_EQ(ErrorOf([&] { items->FieldByName("NAME")->SetAsString("x"); }),
            "tbItems: Dataset not in edit mode");
  EXPECT_EQ(ErrorOf([&] { items->KeyFieldCount(); }), "Dataset not in edit mode");
  EXPECT_EQ(items->KeySize(), 0);
  EXPECT_EQ(items->IndexFieldCount(), 0);
  items->SetIndexName("PAIR");
  EXPECT_EQ(items->IndexFieldCount(), 2);
  EXPECT_GT(items->KeySize(), 0);
  EXPECT_EQ(items->IndexFields(1)->FieldName(), "NAME");
  items->SetKey();
  EXPECT_EQ(items->State(), dsSetKey);
  EXPECT_TRUE(items->Modified());
  EXPECT_EQ(ErrorOf([&] { items->FieldByName("QTY")->SetAsInteger(1); }),
            "Field 'QTY' is not indexed and cannot be modified");
  items->SetKeyFieldCount(1);
  EXPECT_EQ(items->KeyFieldCount(), 1);
  items->Cancel();
  EXPECT_EQ(items->State(), dsBrowse);
}

TEST_F(KeysTest, SeeksOnATwoFieldIndex) {
  items->SetIndexName("PAIR");
  Key("y", "F");
  EXPECT_TRUE(items->GotoKey());
  EXPECT_EQ(Name(), "F");
  EXPECT_EQ(items->FieldByName("QTY")->AsInteger(), 6);
  // A key field not assigned is sought as empty: only C has no kind, and no
  // record of kind x has an empty name.
  Key("x");
  EXPECT_FALSE(items->GotoKey());
  EXPECT_EQ(Name(), "F");  // stays where it was
  items->SetKey();
  items->FieldByName("NAME")->SetAsString("C");
  EXPECT_TRUE(items->GotoKey());
  EXPECT_EQ(Name(), "C");
  // With a key field count the later segment is left out: a partial key.
  Key("x");
  items->SetKeyFieldCount(1);
  EXPECT_TRUE(items->GotoKey());
  EXPECT_EQ(Name(), "A");
  // The same with the automatic key field count.
  items->SdbTableOptions().SetSdbAutoKeyFieldCount(true);
  Key("y");
  EXPECT_TRUE(items->GotoKey());
  EXPECT_EQ(Name(), "D");
  // FindKey gives the leading fields' values.
  EXPECT_TRUE(items->FindKey({Variant("x"), Variant("E")}));
  EXPECT_EQ(Name(), "E");
  EXPECT_EQ(ErrorOf([&] {
              items->FindKey({Variant("x"), Variant("E"), Variant(1)});
            }),
            "tbItems: Too many values given for current index");
}

TEST_F(KeysTest, MissingKeysAndNearestSeeks) {
  items->SetIndexName("NAME");
  items->First();
  items->Next();
  EXPECT_FALSE(items->FindKey({Variant("BB")}));
  EXPECT_EQ(Name(), "B");
  items->Last();
  items->Next();
  ASSERT_TRUE(items->Eof());
  EXPECT_FALSE(items->FindKey({Variant("Z")}));  // at the end: Last
  EXPECT_EQ(Name(), "F");
  items->First();
  ASSERT_TRUE(items->Bof());
  EXPECT_FALSE(items->FindKey({Variant("Z")}));  // at the beginning: First
  EXPECT_EQ(Name(), "A");
  items->FindNearest({Variant("BB")});
  EXPECT_EQ(Name(), "C");
  items->FindNearest({Variant("ZZ")});  // nothing follows: the last record
  EXPECT_EQ(Name(), "F");
  items->SetKey();
  items->FieldByName("NAME")->SetAsString("D");
  items->Post();  // the key is kept
  items->First();
  EXPECT_TRUE(items->GotoKey());
  EXPECT_EQ(Name(), "D");
  items->EditKey();  // the kept key, edited further
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "D");
  items->FieldByName("NAME")->SetAsString("E");
  items->Cancel();  // back to D
  items->First();
  EXPECT_TRUE(items->GotoKey());
  EXPECT_EQ(Name(), "D");
}

TEST_F(KeysTest, AMissingKeySeesWhatAnotherConnectionDidToTheRecordItLeaves) {
  items->SetIndexName("NAME");
  items->First();
  items->Next();
  ASSERT_EQ(Name(), "B");
  // Changed elsewhere: the seek goes back to B all the same.
  sdbtesting::RunSql(Dictionary(), "UPDATE Items SET QTY = 20 WHERE NAME = 'B'");
  EXPECT_FALSE(items->FindKey({Variant("BB")}));
  EXPECT_EQ(Name(), "B");
  // Deleted elsewhere: the seek ends on the last record.
  sdbtesting::RunSql(Dictionary(), "DELETE FROM Items WHERE NAME = 'B'");
  EXPECT_FALSE(items->FindKey({Variant("BB")}));
  EXPECT_EQ(Name(), "F");
  // The key added elsewhere between two seeks is found by the second.
  sdbtesting::RunSql(Dictionary(), "INSERT INTO Items VALUES ('BB', 'z', 9)");
  EXPECT_TRUE(items->FindKey({Variant("BB")}));
  EXPECT_EQ(items->FieldByName("QTY")->AsInteger(), 9);
}

TEST_F(KeysTest, RangesOnOneFieldAndTheirRefusals) {
  items->SetIndexName("NAME");
  int firsts = 0;
  items->AfterScroll = [&](TDataSet*) { ++firsts; };
  items->SetRange({Variant("B")}, {Variant("D")});
  EXPECT_EQ(Walk(), "BCD");
  items->Last();
  EXPECT_EQ(Name(), "D");
  firsts = 0;
  items->SetRange({Variant("B")}, {Variant("D")});  // the same range: no move
  EXPECT_EQ(firsts, 0);
  EXPECT_EQ(Name(), "D");
  EXPECT_EQ(ErrorOf([&] {
              items->SetRange({Variant("B"), Variant(1)}, {Variant("D")});
            }),
            "tbItems: Too many values given for current index");
  // Exclusive bounds, set in key mode.
  items->SetRangeStart();
  items->FieldByName("NAME")->SetAsString("B");
  items->SetKeyExclusive(true);
  items->SetRangeEnd();
  items->FieldByName("NAME")->SetAsString("E");
  items->SetKeyExclusive(true);
  items->ApplyRange();
  EXPECT_EQ(Walk(), "CD");
  items->CancelRange();
  EXPECT_EQ(Walk(), "ABCDEF");
  items->CancelRange();  // without a range: nothing
  EXPECT_EQ(Walk(), "ABCDEF");
  items->SetIndexName("");
  EXPECT_EQ(ErrorOf([&] { items->SetRange({Variant("B")}, {Variant("D")}); }),
            "tbItems: An index must be active to perform this operation. Set the IndexName "
            "property.");
}

TEST_F(KeysTest, ARangeOnTheLeadingFieldOfATwoFieldIndexAndLast) {
  items->SetIndexName("PAIR");
  items->SetRange({Variant("x")}, {Variant("x")});
  EXPECT_EQ(Walk(), "ABE");
  items->Last();
  EXPECT_EQ(Name(), "E");
  items->SetIndexName("NAME");  // an index change ends the range
  EXPECT_EQ(Walk(), "ABCDEF");
}

TEST_F(KeysTest, ScopesAndRangesExcludeEachOther) {
  items->SetIndexName("NAME");
  items->SetScopeBegin("B");
  items->SetScopeEnd("D");
  items->SetScoped(true);
  EXPECT_EQ(Walk(), "BCD");
  EXPECT_EQ(ErrorOf([&] { items->SetRange({Variant("A")}, {Variant("B")}); }),
            "tbItems: Cannot set range on table when there is an active scope.");
  items->CancelRange();  // with a scope: only the buffers again
  EXPECT_EQ(Walk(), "BCD");
  items->First();
  items->Next();
  items->SetScoped(false);
  EXPECT_EQ(Name(), "C");  // stays on its record
  EXPECT_EQ(Walk(), "ABCDEF");
  items->SetRange({Variant("E")}, {Variant("F")});
  EXPECT_EQ(ErrorOf([&] { items->SetScoped(true); }),
            "tbItems: Cannot activate scope when there is an active range.");
  EXPECT_FALSE(items->Scoped());
  items->CancelRange();
  items->FindKey({Variant("A")});
  items->SetScoped(true);  // A is outside: the scope's first record
  EXPECT_EQ(Name(), "B");
  EXPECT_EQ(ErrorOf([&] { items->SetScopeEnd(std::string(4084, 'x')); }),
            "tbItems: Scope text length exceeded 4082");
  items->SetIndexName("");
  EXPECT_FALSE(items->Scoped());
  EXPECT_EQ(ErrorOf([&] { items->SetScoped(true); }),
            "tbItems: Cannot activate scope when there is no active index.");
}

TEST_F(KeysTest, ADetailFollowsItsMastersScroll) {
  sdbtesting::RunSql(Dictionary(),
                     "CREATE TABLE Kinds (KIND CHAR(3));"
                     "INSERT INTO Kinds VALUES ('x'), ('y'), ('z');");
  auto kinds = Table("Kinds");
  TDataSource source;
  source.SetDataSet(kinds.get());
  items->SetIndexName("PAIR");
  items->SetMasterSource(&source);
  items->SetMasterFields("KIND");
  EXPECT_EQ(Walk(), "ABE");
  kinds->Next();
  EXPECT_EQ(Walk(), "DF");
  kinds->Next();
  EXPECT_TRUE(items->IsEmpty());
  // A new detail record takes the master's value.
  kinds->First();
  items->Append();
  EXPECT_EQ(items->FieldByName("KIND")->AsString(), "x");
  items->FieldByName("NAME")->SetAsString("G");
  items->Post();
  EXPECT_EQ(Walk(), "ABEG");
  EXPECT_EQ(ErrorOf([&] {
              TDataSource back;
              back.SetDataSet(items.get());
              kinds->SetMasterSource(&back);
            }),
            "tbKinds: Circular Data Link");
  items->SetMasterSource(nullptr);
  EXPECT_EQ(items->MasterFields(), "");
  kinds->Close();  // a closed master no longer restricts
  EXPECT_EQ(Walk(), "CABEGDF");
}

TEST_F(KeysTest, IndexSelectionDefaultsDescendingIndexesAndDefinitions) {
  auto currency = Table("CD_Currency");
  EXPECT_EQ(currency->IndexName(), "SDB_DEFAULT");  // the dictionary's default: SHORT
  EXPECT_EQ(currency->DefaultIndex(), "SHORT");
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "CHF");
  currency->SetIndexName("");
  currency->SetIndexName("sdb_default");
  currency->First();
  EXPECT_EQ(currency->FieldByName("SHORT")->AsString(), "CHF");
  EXPECT_TRUE(currency->FindKey({Variant("GBP")}));
  EXPECT_EQ(currency->FieldByName("Description")->AsString(), "Pound Sterling");

  items->SetIndexFieldNames("  KIND ; NAME ");
  EXPECT_EQ(items->IndexFieldNames(), "KIND ; NAME");
  EXPECT_EQ(Walk(), "CABEDF");
  items->SetIndexName("QTYDOWN");
  EXPECT_EQ(Walk(), "FEDCBA");
  EXPECT_TRUE(items->FindKey({Variant(3)}));
  EXPECT_EQ(Name(), "C");
  items->SetRange({Variant(5)}, {Variant(2)});
  EXPECT_EQ(Walk(), "EDCB");
  EXPECT_EQ(ErrorOf([&] { items->SetIndexFieldNames("QTY"); }),
            "tbItems: Not a valid index field name:QTY");
  EXPECT_EQ(items->IndexName(), "QTYDOWN");  // the failed change is undone

  items->IndexDefs().Update();
  EXPECT_EQ(items->IndexDefs().Count(), 3);
  connection->Execute("CREATE INDEX BYQTY ON Items (QTY)");
  items->Close();
  items->Open();
  ASSERT_EQ(items->IndexDefs().Count(), 4);
  TIndexDef* added = items->IndexDefs().FindIndexByName("BYQTY");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Fields(), "QTY");
  EXPECT_TRUE(items->IndexDefs().FindIndexByName("QTYDOWN")->Options().Contains(ixDescending));
  items->SetIndexFieldNames("qty");
  EXPECT_EQ(Walk(), "ABCDEF");
}

}  // namespace
