// TStringList: order, duplicates, search, text and change events.
#include "stringlist.h"

#include <gtest/gtest.h>

namespace {

std::string Joined(const TStringList& list) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) text += (i ? "," : "") + list[i];
  return text;
}

TEST(StringList, UnsortedKeepsInsertionOrderAndDuplicates) {
  TStringList list;
  list.Add("b");
  list.Add("a");
  list.Add("b");
  list.Insert(0, "c");
  EXPECT_EQ(Joined(list), "c,b,a,b");
  EXPECT_EQ(list.IndexOf("B"), 1);
  list.Delete(1);
  EXPECT_EQ(Joined(list), "c,a,b");
  EXPECT_THROW(list.Delete(3), EStringListError);
  EXPECT_THROW(list.Insert(5, "x"), EStringListError);
}

TEST(StringList, SortedInsertsInOrderAndHandlesDuplicatesAsAsked) {
  TStringList list;
  list.SetSorted(true);
  EXPECT_EQ(list.Add("Orders.idx"), 0);
  EXPECT_EQ(list.Add("alpha.idx"), 0);
  EXPECT_EQ(list.Add("zeta.idx"), 2);
  // Ignored duplicates answer the existing entry, in any letter case.
  EXPECT_EQ(list.Add("ORDERS.IDX"), 1);
  EXPECT_EQ(Joined(list), "alpha.idx,Orders.idx,zeta.idx");
  EXPECT_THROW(list.Insert(0, "b"), EStringListError);
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("Zeta.idx"), EStringListError);
  list.SetDuplicates(dupAccept);
  list.Add("zeta.idx");
  EXPECT_EQ(list.Count(), 4);
  int index;
  EXPECT_TRUE(list.Find("ZETA.idx", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("beta", index));
  EXPECT_EQ(index, 1);
}

TEST(StringList, SortingLaterSortsTheEntriesAndCaseSensitivityReorders) {
  TStringList list;
  list.SetText("b\r\nA\na\rB\n");
  EXPECT_EQ(Joined(list), "b,A,a,B");
  list.SetCaseSensitive(true);
  list.SetSorted(true);
  EXPECT_EQ(Joined(list), "A,B,a,b");
  EXPECT_EQ(list.IndexOf("b"), 3);
  EXPECT_EQ(list.IndexOf("c"), -1);
  EXPECT_EQ(list.Text(), "A\nB\na\nb\n");
}

TEST(StringList, ChangeEventsOncePerChangeOrUpdateBracket) {
  TStringList list;
  int changing = 0, changed = 0;
  list.OnChanging = [&](TStringList*) { ++changing; };
  list.OnChange = [&](TStringList* sender) {
    EXPECT_EQ(sender, &list);
    ++changed;
  };
  list.Add("a");
  list.Add("b");
  EXPECT_EQ(changed, 2);
  list.SetText("x\ny\nz");
  EXPECT_EQ(changing, 3);
  EXPECT_EQ(changed, 3);
  list.Clear();
  list.Clear();  // nothing left to clear: no event
  EXPECT_EQ(changed, 4);
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
