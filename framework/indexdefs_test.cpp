// Index definitions: options, lookup by name, the index for a field list,
// copying, and the on-demand update.
#include "indexdefs.h"

#include <gtest/gtest.h>

#include "exceptions.h"

namespace {

void Fill(TIndexDefs& defs) {
  defs.Add("PRIMARY", "ID", {ixPrimary, ixUnique});
  defs.Add("CURRPAIR", "LOCALCURRENCY;FOREIGNCURRENCY", {ixUnique});
  defs.Add("DESCDATE", "FLDUPDATED", {ixDescending});
  defs.Add("SHORT", "SHORT");
  defs.Add("UPPERNAME", "", {})->SetExpression("UPPER(NAME)");
  defs.Add("NAMECI", "NAME", {ixCaseInsensitive});
  defs.Add("UPDATED_ID", "FLDUPDATED;ID");
}

TEST(IndexDefs, OptionsAreASet) {
  TIndexOptions o{ixPrimary, ixUnique};
  EXPECT_TRUE(o.Contains(ixPrimary));
  EXPECT_FALSE(o.Contains(ixDescending));
  o.Include(ixDescending).Exclude(ixPrimary);
  EXPECT_EQ(o, (TIndexOptions{ixUnique, ixDescending}));
  EXPECT_TRUE(o.Intersects({ixDescending, ixExpression}));
  EXPECT_FALSE(o.Intersects({ixExpression}));
  EXPECT_TRUE(TIndexOptions().Empty());
}

TEST(IndexDefs, DefinitionsAndExpressions) {
  TIndexDefs defs;
  Fill(defs);
  ASSERT_EQ(defs.Count(), 7);
  TIndexDef* pair = defs[1];
  EXPECT_EQ(pair->Name(), "CURRPAIR");
  EXPECT_EQ(pair->Fields(), "LOCALCURRENCY;FOREIGNCURRENCY");
  EXPECT_EQ(pair->Collection(), &defs);
  EXPECT_EQ(pair->FieldExpression(), pair->Fields());
  TIndexDef* upper = defs.Find("uppername");
  EXPECT_TRUE(upper->Options().Contains(ixExpression));
  EXPECT_EQ(upper->FieldExpression(), "UPPER(NAME)");
  upper->SetExpression("");
  EXPECT_FALSE(upper->Options().Contains(ixExpression));
  EXPECT_THROW(defs.Items(7), EDatabaseError);
  defs.Delete(0);
  EXPECT_EQ(defs[0]->Name(), "CURRPAIR");
  TIndexDef* blank = defs.AddIndexDef();
  EXPECT_TRUE(blank->Name().empty());
  EXPECT_EQ(defs.Count(), 7);
}

TEST(IndexDefs, FindByNameIgnoresCase) {
  TIndexDefs defs;
  Fill(defs);
  EXPECT_EQ(defs.IndexOf("currpair"), 1);
  EXPECT_EQ(defs.IndexOf("nope"), -1);
  EXPECT_EQ(defs.FindIndexByName("Short"), defs[3]);
  EXPECT_EQ(defs.FindIndexByName("nope"), nullptr);
  try {
    defs.Find("Nope");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Index 'Nope' not found");
  }
}

TEST(IndexDefs, IndexForFieldsPrefersExactListsAndSkipsDescendingAndExpressions) {
  TIndexDefs defs;
  Fill(defs);
  EXPECT_EQ(defs.GetIndexForFields("id")->Name(), "PRIMARY");
  EXPECT_EQ(defs.GetIndexForFields(" LocalCurrency ; ForeignCurrency ")->Name(), "CURRPAIR");
  EXPECT_EQ(defs.GetIndexForFields("localcurrency")->Name(), "CURRPAIR");  // a leading part
  // The descending index on FLDUPDATED is passed over for the ascending one
  // that merely begins with it.
  EXPECT_EQ(defs.GetIndexForFields("FLDUPDATED")->Name(), "UPDATED_ID");
  EXPECT_EQ(defs.GetIndexForFields("FOREIGNCURRENCY"), nullptr);  // not leading
  EXPECT_EQ(defs.GetIndexForFields("UPPER(NAME)"), nullptr);
  EXPECT_EQ(defs.GetIndexForFields("ID;LOCALCURRENCY"), nullptr);
  EXPECT_EQ(defs.GetIndexForFields(""), nullptr);
  EXPECT_EQ(defs.GetIndexForFields("NAME", true)->Name(), "NAMECI");
  EXPECT_EQ(defs.GetIndexForFields("SHORT", true), nullptr);

  // An exact list wins over an earlier index that only begins with it.
  TIndexDefs order;
  order.Add("AB", "A;B");
  order.Add("A", "A");
  EXPECT_EQ(order.GetIndexForFields("a")->Name(), "A");
  try {
    order.FindIndexForFields("C");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "No index for fields 'C'");
  }
}

TEST(IndexDefs, AssignCopiesDefinitionsAndTheUpToDateMark) {
  TIndexDefs source;
  Fill(source);
  source[1]->SetDescFields("FOREIGNCURRENCY");
  source.SetUpdated(true);
  TIndexDefs copy;
  copy.Add("STALE", "X");
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), source.Count());
  EXPECT_TRUE(copy.Updated());
  EXPECT_EQ(copy[1]->DescFields(), "FOREIGNCURRENCY");
  EXPECT_EQ(copy[1]->Options(), TIndexOptions{ixUnique});
  EXPECT_EQ(copy[1]->Collection(), &copy);
  copy[1]->SetName("CHANGED");
  EXPECT_EQ(source[1]->Name(), "CURRPAIR");
}

TEST(IndexDefs, UpdateAsksTheOwnerOnlyWhenOutOfDate) {
  int calls = 0;
  TIndexDefs defs(nullptr, [&](TIndexDefs& d) {
    ++calls;
    d.Clear();
    d.Add("SHORT", "SHORT");
  });
  EXPECT_FALSE(defs.Updated());
  defs.Update();
  defs.Update();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(defs.Updated());
  EXPECT_EQ(defs.Count(), 1);
  defs.SetUpdated(false);  // the table changed
  defs.Update();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(defs.Count(), 1);

  // A failing read leaves the list out of date, so the next Update tries again.
  bool fail = true;
  TIndexDefs flaky(nullptr, [&](TIndexDefs&) {
    if (fail) throw EDatabaseError("engine down");
  });
  EXPECT_THROW(flaky.Update(), EDatabaseError);
  EXPECT_FALSE(flaky.Updated());
  fail = false;
  flaky.Update();
  EXPECT_TRUE(flaky.Updated());
}

TEST(IndexDefs, SplitFieldNamesTrimsAndDropsEmptyNames) {
  EXPECT_EQ(SplitFieldNames(" A ; B;;C; "), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(SplitFieldNames("").empty());
}

}  // namespace
