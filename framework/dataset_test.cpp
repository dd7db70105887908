// TDataSet through an in-memory dataset: states and refusals, the buffer
// ring, Resync, events and hook order, error handlers, calculated fields,
// filtering, Locate and Lookup.
#include "dataset.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "datalinks.h"
#include "fields.h"
#include "testing/errorof.h"
#include "testing/memdataset.h"

namespace {

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddColumn("ID", ftInteger, 0, true);
    ds.AddColumn("NAME", ftString, 20);
    ds.AddColumn("AMOUNT", ftFloat);
  }
  void Fill(int rows) {
    for (int i = 1; i <= rows; ++i) ds.AddRow({i, "Name" + std::to_string(i), i * 1.5});
  }
  int Id() { return ds.FieldByName("ID")->AsInteger(); }
  // The log without the buffer allocation and positioning noise.
  std::vector<std::string> Steps() {
    std::vector<std::string> steps;
    for (auto& entry : ds.Log)
      if (entry != "NewBufferHook" && entry != "FreeBufferHook" && entry != "GoBufferRecordHook" &&
          entry.rfind("Fetch", 0) != 0)
        steps.push_back(entry);
    ds.Log.clear();
    return steps;
  }
  void LogEvents() {
    ds.Log.clear();
    auto log = [this](const char* name) {
      return [this, name](TDataSet*) { ds.Log.push_back(name); };
    };
    ds.BeforeOpen = log("BeforeOpen");
    ds.AfterOpen = log("AfterOpen");
    ds.BeforeClose = log("BeforeClose");
    ds.AfterClose = log("AfterClose");
    ds.BeforeInsert = log("BeforeInsert");
    ds.AfterInsert = log("AfterInsert");
    ds.BeforeEdit = log("BeforeEdit");
    ds.AfterEdit = log("AfterEdit");
    ds.BeforePost = log("BeforePost");
    ds.AfterPost = log("AfterPost");
    ds.BeforeCancel = log("BeforeCancel");
    ds.AfterCancel = log("AfterCancel");
    ds.BeforeDelete = log("BeforeDelete");
    ds.AfterDelete = log("AfterDelete");
    ds.BeforeScroll = log("BeforeScroll");
    ds.AfterScroll = log("AfterScroll");
    ds.BeforeRefresh = log("BeforeRefresh");
    ds.AfterRefresh = log("AfterRefresh");
    ds.OnNewRecord = log("OnNewRecord");
  }
  // IDs of the records the link's window shows.
  std::vector<int> Window(TDataLink& link) {
    std::vector<int> ids;
    int active = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
      link.SetActiveRecord(i);
      ids.push_back(Id());
    }
    link.SetActiveRecord(active);
    return ids;
  }

  TMemDataSet ds;
};

// -- states, transitions and refusals -------------------------------------------

TEST_F(DataSetTest, OpenAndCloseCallHooksAndEventsInOrder) {
  Fill(3);
  LogEvents();
  ds.Open();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.Log, (std::vector<std::string>{"BeforeOpen", "OpenHook", "ReadFieldDefsHook",
                                              "NewBufferHook", "NewBufferHook", "Fetch(next)",
                                              "AfterOpen", "AfterOpenStep", "AfterScroll"}));
  EXPECT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(Id(), 1);
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  ds.Log.clear();
  ds.Close();
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.Log, (std::vector<std::string>{"BeforeClose", "FreeBufferHook", "FreeBufferHook",
                                              "CloseHook", "AfterClose"}));
  EXPECT_EQ(ds.FieldCount(), 0);  // default fields go with the data
  ds.Log.clear();
  ds.Close();  // closing a closed dataset does nothing
  EXPECT_TRUE(ds.Log.empty());
}

TEST_F(DataSetTest, AFailingOpenLeavesTheDatasetClosed) {
  Fill(1);
  ds.OpenFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Open failed");
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(Steps(), (std::vector<std::string>{"OpenHook", "CloseHook"}));
  ds.Open();
  EXPECT_EQ(Id(), 1);
}

TEST_F(DataSetTest, ClosedDatasetRefusesEveryRecordOperation) {
  const std::string closed = "Cannot perform this operation on a closed dataset";
  EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Insert(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Append(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Delete(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.First(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Next(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Last(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Refresh(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.RecordCount(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds.Lookup("ID", 1, "NAME"); }), closed);
  ds.Cancel();  // nothing to cancel
  EXPECT_EQ(ds.State(), dsInactive);
}

TEST_F(DataSetTest, OpenDatasetRefusesStructuralChanges) {
  ds.Open();
  const std::string open = "Cannot perform this operation on an open dataset";
  EXPECT_EQ(ErrorOf([&] { ds.AddColumn("X", ftInteger); }), open);
  EXPECT_EQ(ErrorOf([&] { ds.NewField<TIntegerField>("X"); }), open);
  EXPECT_EQ(ErrorOf([&] { ds.SetFieldDefs(TFieldDefs()); }), open);
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("NAME")->SetSize(5); }), open);
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("NAME")->SetFieldName("OTHER"); }), open);
}

TEST_F(DataSetTest, ReadOnlyAndEmptyDatasetsRefuseChanges) {
  Fill(2);
  ds.ReadOnlyData = true;
  ds.Open();
  const std::string readOnly = "Cannot modify a read-only dataset";
  EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), readOnly);
  EXPECT_EQ(ErrorOf([&] { ds.Insert(); }), readOnly);
  EXPECT_EQ(ErrorOf([&] { ds.Append(); }), readOnly);
  EXPECT_EQ(ErrorOf([&] { ds.Delete(); }), readOnly);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("NAME")->SetAsString("x"); }), "Dataset not in edit mode");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "Dataset not in edit or insert mode");

  TMemDataSet empty;
  empty.AddColumn("ID", ftInteger);
  empty.Open();
  EXPECT_EQ(ErrorOf([&] { empty.Delete(); }), "Cannot perform this operation on an empty dataset");
  EXPECT_EQ(ErrorOf([&] { empty.FieldByName("MISSING"); }), "Field 'MISSING' not found");
}

TEST_F(DataSetTest, EditPostAndCancelTransitions) {
  Fill(2);
  ds.Open();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_FALSE(ds.Modified());
  ds.Edit();  // already editing: nothing
  ds.FieldByName("NAME")->SetAsString("Changed");
  EXPECT_TRUE(ds.Modified());
  EXPECT_EQ(ds.FieldByName("NAME")->OldValue().AsString(), "Name1");
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_FALSE(ds.Modified());
  EXPECT_EQ(ds.Cell(0, "NAME"), "Changed");

  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("Dropped");
  ds.Cancel();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Changed");
  EXPECT_EQ(ds.Cell(0, "NAME"), "Changed");
  ds.Cancel();  // in browse: nothing
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DataSetTest, EditOfAnEmptyDatasetInserts) {
  ds.Open();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
  ds.Insert();  // the browse-mode check cancels the unmodified insert first
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("ID")->SetAsInteger(7);
  ds.Post();
  EXPECT_EQ(ds.RowCount(), 1u);
  EXPECT_EQ(Id(), 7);
}

TEST_F(DataSetTest, ClearFieldsEmptiesTheEditedRecordAndCountsAsAChange) {
  Fill(2);
  auto* twice = ds.NewField<TIntegerField>("TWICE");
  twice->SetFieldKind(fkCalculated);
  ds.OnCalcFields = [](TDataSet* sender) {
    TField* id = sender->FieldByName("ID");
    sender->FieldByName("TWICE")->SetAsInteger(id->IsNull() ? -1 : id->AsInteger() * 2);
  };
  ds.NewField<TIntegerField>("ID");
  ds.NewField<TStringField>("NAME", 20);
  ds.Open();
  EXPECT_EQ(ErrorOf([&] { ds.ClearFields(); }), "Dataset not in edit or insert mode");
  ds.Next();
  ds.Edit();
  ds.ClearFields();
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  EXPECT_TRUE(ds.FieldByName("NAME")->IsNull());
  EXPECT_EQ(twice->AsInteger(), -1);
  EXPECT_TRUE(ds.Modified());
  ds.FieldByName("ID")->SetAsInteger(9);
  ds.First();  // the browse-mode check posts the cleared record in place
  EXPECT_EQ(ds.RowCount(), 2u);
  EXPECT_EQ(ds.Cell(1, "ID"), "9");
  EXPECT_EQ(ds.Cell(1, "NAME"), "<null>");
  EXPECT_EQ(ds.Cell(0, "NAME"), "Name1");
}

TEST_F(DataSetTest, BrowseModeCheckPostsChangesAndCancelsUntouchedEdits) {
  Fill(3);
  ds.Open();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("Posted by Next");
  ds.Next();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.Cell(0, "NAME"), "Posted by Next");
  EXPECT_EQ(Id(), 2);
  ds.Edit();
  ds.Log.clear();
  ds.Next();
  std::vector<std::string> steps = Steps();
  EXPECT_NE(std::find(steps.begin(), steps.end(), "CancelHook"), steps.end());
  EXPECT_EQ(std::find(steps.begin(), steps.end(), "PostHook"), steps.end());
  EXPECT_EQ(Id(), 3);
}

TEST_F(DataSetTest, CloseCancelsAPendingEdit) {
  Fill(1);
  ds.Open();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("Lost");
  ds.Log.clear();
  ds.Close();
  EXPECT_EQ(Steps(), (std::vector<std::string>{"CancelHook", "CloseHook"}));
  EXPECT_EQ(ds.Cell(0, "NAME"), "Name1");
}

TEST_F(DataSetTest, KeyModeAcceptsOnlyKeyFields) {
  Fill(4);
  ds.IndexFields = "NAME";
  ds.NewField<TIntegerField>("ID");
  ds.NewField<TStringField>("NAME", 20);
  auto* label = ds.NewField<TStringField>("LABEL", 20);
  label->SetFieldKind(fkCalculated);
  ds.Open();
  ds.SetKey();
  EXPECT_EQ(ds.State(), dsSetKey);
  ds.FieldByName("NAME")->SetAsString("Name3");
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("ID")->SetAsInteger(3); }),
            "Field 'ID' is not indexed and cannot be modified");
  EXPECT_EQ(ErrorOf([&] { label->SetAsString("x"); }),
            "Field 'LABEL' is not indexed and cannot be modified");
  EXPECT_TRUE(ds.GotoKey());  // the browse-mode check posts the key edit
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(Id(), 3);
  ds.SetKey();
  ds.FieldByName("NAME")->SetAsString("Nobody");
  ds.Cancel();
  EXPECT_EQ(ds.State(), dsBrowse);
  ds.SetKey();
  ds.Delete();  // drops the key, not a record
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RowCount(), 4u);
  ds.SetKey();
  ds.Close();  // closing ends key mode too
  EXPECT_EQ(ds.State(), dsInactive);
}

class CountingLink : public TDataLink {
 public:
  int changes = 0, states = 0;

 protected:
  void DataSetChanged() override { ++changes; }
  void DataSetScrolled(int) override { ++changes; }
  void EditingChanged() override { ++states; }
};

TEST_F(DataSetTest, KeyEditsEndByPostKeepingOrCancelRestoringTheKey) {
  Fill(4);
  ds.IndexFields = "NAME";
  TDataSource source;
  source.SetDataSet(&ds);
  CountingLink link;
  link.SetDataSource(&source);
  ds.Open();
  ds.SetKey();
  EXPECT_EQ(ds.State(), dsSetKey);
  EXPECT_TRUE(ds.Modified());
  EXPECT_EQ(link.changes, 1);
  EXPECT_EQ(link.states, 1);
  ds.FieldByName("NAME")->SetAsString("Name3");
  ds.Log.clear();
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.KeyKept);
  EXPECT_EQ(link.changes, 2);
  EXPECT_EQ(link.states, 2);
  EXPECT_EQ(Steps(), (std::vector<std::string>{"KeyEditEnd(post)"}));  // no PostHook

  ds.SetKey();
  ds.FieldByName("NAME")->SetAsString("Name1");
  ds.Cancel();  // the key set before comes back
  EXPECT_EQ(Steps(), (std::vector<std::string>{"KeyEditEnd(cancel)"}));
  EXPECT_TRUE(ds.GotoKey());
  EXPECT_EQ(Id(), 3);
  ds.Log.clear();
  ds.Cancel();  // outside key mode nothing ends
  EXPECT_TRUE(Steps().empty());
}

TEST_F(DataSetTest, PositionedJumpsPostAnEditAndScrollOnlyWhenTheRecordIsFound) {
  Fill(5);
  ds.Open();
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("Edited");
  LogEvents();
  ds.SetRecNo(4);  // the jump posts the edit first
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(ds.Cell(0, "NAME"), "Edited");
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforePost", "PostHook", "AfterPost",
                                               "BeforeScroll", "AfterScroll"}));
  EXPECT_FALSE(ds.Locate("NAME", "Nobody", {}));
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeScroll", "GoFirstHook"}));
  EXPECT_EQ(Id(), 4);
  ds.Next();  // the cursor was marked moved: the ring goes on from record 4
  EXPECT_EQ(Id(), 5);
}

// -- the buffer ring ------------------------------------------------------------------

TEST_F(DataSetTest, EmptyDatasetIsAtBothEnds) {
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  ds.First();
  EXPECT_TRUE(ds.Bof() && ds.Eof());
  EXPECT_EQ(ds.MoveBy(1), 0);
  EXPECT_EQ(ds.MoveBy(-1), 0);
  ds.Last();
  EXPECT_TRUE(ds.Bof() && ds.Eof());
  EXPECT_EQ(ds.RecNo(), -1);
  EXPECT_TRUE(ds.GetBookmark().empty());
}

TEST_F(DataSetTest, WalkingForwardAndBackward) {
  Fill(5);
  ds.Open();
  std::vector<int> forward;
  for (ds.First(); !ds.Eof(); ds.Next()) forward.push_back(Id());
  EXPECT_EQ(forward, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Id(), 5);  // Next at the last record sets Eof without moving
  std::vector<int> backward;
  for (ds.Last(); !ds.Bof(); ds.Prior()) backward.push_back(Id());
  EXPECT_EQ(backward, (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(ds.MoveBy(10), 4);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(-10), -4);
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 1);
}

TEST_F(DataSetTest, RingMovesAtBothEnds) {
  Fill(6);
  TDataSource source;
  source.SetDataSet(&ds);
  TDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&source);
  ds.Open();
  EXPECT_EQ(ds.BufferCount(), 3);
  EXPECT_EQ(Window(link), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(link.ActiveRecord(), 0);
  ds.MoveBy(2);
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.Next();  // past the ring's end: the ring rotates
  EXPECT_EQ(Window(link), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(link.ActiveRecord(), 2);
  EXPECT_EQ(Id(), 4);
  ds.Last();
  EXPECT_EQ(Window(link), (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.MoveBy(-3);  // before the ring's start: records shift up
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(Window(link), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(link.ActiveRecord(), 0);
  ds.First();
  EXPECT_EQ(Window(link), (std::vector<int>{1, 2, 3}));
}

TEST_F(DataSetTest, ResyncCentresAfterJumpsAndFailsOnMissingRecords) {
  Fill(7);
  TDataSource source;
  source.SetDataSet(&ds);
  TDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&source);
  ds.Open();
  ds.SetRecNo(5);
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(Window(link), (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(link.ActiveRecord(), 1);

  TBookmark sixth;
  ds.Next();
  sixth = ds.GetBookmark();
  ds.First();
  ds.GotoBookmark(sixth);
  EXPECT_EQ(Id(), 6);
  EXPECT_EQ(Window(link), (std::vector<int>{5, 6, 7}));

  ds.Last();  // the last record cannot be centred: the ring fills backwards
  ds.GotoBookmark(ds.GetBookmark());
  EXPECT_EQ(Window(link), (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(Id(), 7);

  ds.Delete();  // now 6 is last
  EXPECT_EQ(Id(), 6);
  EXPECT_TRUE(ds.BookmarkValid(sixth));
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(sixth));
  EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(sixth); }), "Record not found");
}

TEST_F(DataSetTest, MovesFetchCheckedAndANonExactResyncTriesUnchecked) {
  Fill(5);
  ds.Open();
  // Moving relies on the record it fetches: a failing fetch raises and the
  // dataset stays where it was.
  ds.FetchFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Next(); }), "Fetch failed");
  EXPECT_EQ(Id(), 1);
  EXPECT_FALSE(ds.Eof());
  ds.Last();
  ds.FetchFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Prior(); }), "Fetch failed");
  EXPECT_EQ(Id(), 5);
  EXPECT_FALSE(ds.Bof());
  ds.FetchFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(ds.GetBookmark()); }), "Fetch failed");
  ds.FetchFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Locate("ID", 2, {}); }), "Fetch failed");
  ds.FetchFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Lookup("ID", 2, "NAME"); }), "Fetch failed");

  // A resync that need not be exact takes the record, else the next, else the
  // prior one, and a failure of each only sends it on.
  ds.SetRecNo(3);
  ds.FetchFailures = 1;
  ds.Resync({});
  EXPECT_EQ(Id(), 4);
  ds.SetRecNo(3);
  ds.FetchFailures = 2;
  ds.Resync({});
  EXPECT_EQ(Id(), 2);
  ds.FetchFailures = 3;
  ds.Resync({});
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
}

TEST_F(DataSetTest, InsertAndAppendInAFullRing) {
  Fill(6);
  TDataSource source;
  source.SetDataSet(&ds);
  TDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&source);
  ds.Open();
  ds.MoveBy(3);  // window 2 3 4, active 4
  ds.Insert();
  EXPECT_EQ(link.ActiveRecord(), 2);
  EXPECT_EQ(link.RecordCount(), 3);
  ds.FieldByName("ID")->SetAsInteger(40);
  ds.Post();
  EXPECT_EQ(Window(link), (std::vector<int>{2, 3, 40}));
  ds.Next();
  EXPECT_EQ(Id(), 4);
  ds.Insert();
  ds.Cancel();
  EXPECT_EQ(Window(link), (std::vector<int>{3, 40, 4}));
  EXPECT_EQ(Id(), 4);

  ds.Append();
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.FieldByName("ID")->SetAsInteger(70);
  EXPECT_EQ(Window(link), (std::vector<int>{5, 6, 70}));
  ds.Post();
  EXPECT_EQ(Window(link), (std::vector<int>{5, 6, 70}));
  ds.Append();
  ds.Cancel();
  EXPECT_EQ(Window(link), (std::vector<int>{5, 6, 70}));
  EXPECT_EQ(Id(), 70);
}

TEST_F(DataSetTest, RecreatedBuffersRefillOnResync) {
  Fill(5);
  TDataSource source;
  source.SetDataSet(&ds);
  TDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&source);
  ds.Open();
  ds.MoveBy(3);
  ds.CursorPosChanged();
  ds.Recreate();
  EXPECT_EQ(ds.BufferCount(), 3);
  EXPECT_TRUE(ds.IsEmpty());
  ds.Resync({});
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(Window(link), (std::vector<int>{2, 3, 4}));
}

TEST_F(DataSetTest, RefreshKeepsTheActiveRecordInPlace) {
  Fill(5);
  TDataSource source;
  source.SetDataSet(&ds);
  TDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&source);
  ds.Open();
  ds.MoveBy(3);
  EXPECT_EQ(Window(link), (std::vector<int>{2, 3, 4}));
  LogEvents();
  ds.Refresh();
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeRefresh", "RefreshHook", "AfterRefresh"}));
  EXPECT_EQ(Window(link), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(link.ActiveRecord(), 2);
}

TEST_F(DataSetTest, BookmarksCompareWithEmptyOnesLast) {
  Fill(3);
  ds.Open();
  TBookmark first = ds.GetBookmark();
  ds.Next();
  TBookmark second = ds.GetBookmark();
  EXPECT_EQ(ds.CompareBookmarks(first, first), 0);
  EXPECT_EQ(ds.CompareBookmarks({}, {}), 0);
  EXPECT_EQ(ds.CompareBookmarks(first, {}), -1);
  EXPECT_EQ(ds.CompareBookmarks({}, first), 1);
  EXPECT_NE(ds.CompareBookmarks(first, second), 0);
  EXPECT_FALSE(ds.BookmarkValid({}));
  std::vector<uint8_t> image(64);
  EXPECT_TRUE(ds.GetCurrentRecord(image.data()));
}

// -- editing: hook and event order -------------------------------------------------------

TEST_F(DataSetTest, EditAndPostOrder) {
  Fill(2);
  ds.Open();
  LogEvents();
  ds.Edit();
  ds.FieldByName("AMOUNT")->SetAsFloat(9);
  ds.Post();
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeEdit", "EditHook", "AfterEdit", "BeforePost",
                                               "PostHook", "AfterPost"}));
  EXPECT_EQ(ds.Cell(0, "AMOUNT"), "9");
}

TEST_F(DataSetTest, InsertPlacesTheRecordBeforeTheCurrentOne) {
  Fill(3);
  ds.Open();
  ds.Next();
  LogEvents();
  ds.Insert();
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_FALSE(ds.Modified());
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "ClearBufferHook",
                                               "InsertHook", "NewRecordStep", "OnNewRecord",
                                               "AfterInsert", "AfterScroll"}));
  ds.FieldByName("ID")->SetAsInteger(10);
  ds.Post();
  EXPECT_EQ(ds.Cell(1, "ID"), "10");
  EXPECT_EQ(Id(), 10);
  ds.Next();
  EXPECT_EQ(Id(), 2);

  ds.Insert();
  ds.Log.clear();
  ds.Cancel();
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeCancel", "BeforeScroll", "CancelHook",
                                               "AfterCancel", "AfterScroll"}));
  EXPECT_EQ(Id(), 2);  // back on the record that was current
  EXPECT_EQ(ds.RowCount(), 4u);
}

TEST_F(DataSetTest, AppendAddsAtTheEndAndCancelReturnsToTheLast) {
  Fill(3);
  ds.Open();
  ds.Append();
  EXPECT_TRUE(ds.Eof());
  ds.FieldByName("ID")->SetAsInteger(4);
  ds.Post();
  EXPECT_EQ(ds.Cell(3, "ID"), "4");
  ds.First();
  ds.Append();
  ds.Cancel();
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(ds.RowCount(), 4u);
  ds.AppendRecord({5, "Five"});
  ds.InsertRecord({6, "Six"});
  EXPECT_EQ(ds.Cell(4, "ID"), "6");
  EXPECT_EQ(ds.Cell(5, "NAME"), "Five");
}

TEST_F(DataSetTest, DeleteMovesToTheNextRecord) {
  Fill(3);
  ds.Open();
  ds.Next();
  LogEvents();
  ds.Delete();
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeDelete", "BeforeScroll", "DeleteHook",
                                               "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(Id(), 3);
  ds.Delete();  // the last one: back to the new last
  EXPECT_EQ(Id(), 1);
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof() && ds.Bof());
  ds.Insert();
  ds.Delete();  // deleting a new record cancels it
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RowCount(), 0u);
}

TEST_F(DataSetTest, RequiredFieldMustHaveAValue) {
  ds.Open();
  ds.Append();
  ds.FieldByName("NAME")->SetAsString("no id");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "Field 'ID' must have a value");
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("ID")->SetDisplayLabel("Identifier");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "Field 'Identifier' must have a value");
  ds.FieldByName("ID")->SetAsInteger(1);
  ds.Post();
  EXPECT_EQ(ds.RowCount(), 1u);
}

TEST_F(DataSetTest, FailingNewRecordStepDropsTheNewRecord) {
  Fill(2);
  ds.Open();
  ds.Next();
  ds.OnNewRecord = [](TDataSet*) { throw EDatabaseError("No new records today"); };
  EXPECT_EQ(ErrorOf([&] { ds.Insert(); }), "No new records today");
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(ds.RowCount(), 2u);
}

// -- error handlers ---------------------------------------------------------------------

TEST_F(DataSetTest, AFailingNewBufferLeavesTheRecordsShownAsTheyWere) {
  Fill(5);
  TDataSource source;
  source.SetDataSet(&ds);
  TDataLink link;
  link.SetBufferCount(3);
  link.SetDataSource(&source);
  ds.Open();
  ds.Next();
  for (bool append : {false, true}) {
    SCOPED_TRACE(append ? "Append" : "Insert");
    ds.ClearFailures = 1;
    EXPECT_EQ(ErrorOf([&] { append ? ds.Append() : ds.Insert(); }), "Default value failed");
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(Id(), 2);
    EXPECT_EQ(Window(link), (std::vector<int>{1, 2, 3}));
    ds.Next();
    EXPECT_EQ(Id(), 3);
    ds.Prior();
  }
}

TEST_F(DataSetTest, PostErrorHandlerFailsAbortsOrRetries) {
  ds.Open();
  int calls = 0;
  TDataAction answer = daFail;
  ds.OnPostError = [&](TDataSet* sender, EDatabaseError& error, TDataAction& action) {
    EXPECT_EQ(sender, &ds);
    EXPECT_EQ(error.Message(), "Write failed");
    EXPECT_EQ(action, daFail);
    ++calls;
    action = answer;
  };
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(1);

  ds.PostFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "Write failed");
  EXPECT_EQ(ds.State(), dsInsert);

  answer = daAbort;
  ds.PostFailures = 1;
  EXPECT_THROW(ds.Post(), EAbort);
  EXPECT_EQ(ds.State(), dsInsert);

  answer = daRetry;
  ds.PostFailures = 2;
  ds.Log.clear();
  ds.Post();
  EXPECT_EQ(std::count(ds.Log.begin(), ds.Log.end(), "PostHook"), 3);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RowCount(), 1u);  // one record, however often the post ran
  EXPECT_EQ(calls, 4);
}

TEST_F(DataSetTest, EditAndDeleteErrorHandlers) {
  Fill(2);
  ds.Open();
  ds.EditFailures = 1;
  EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), "Record is locked");
  EXPECT_EQ(ds.State(), dsBrowse);

  ds.OnEditError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daRetry; };
  ds.EditFailures = 1;
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  ds.Cancel();

  ds.OnDeleteError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; };
  ds.DeleteFailures = 1;
  EXPECT_THROW(ds.Delete(), EAbort);
  EXPECT_EQ(ds.RowCount(), 2u);
}

// -- controls ----------------------------------------------------------------------------

TEST_F(DataSetTest, DisableControlsNestsAndNotifiesOnceAtTheEnd) {
  Fill(5);
  TDataSource source;
  source.SetDataSet(&ds);
  CountingLink link;
  link.SetDataSource(&source);
  ds.Open();
  ds.DisableControls();
  ds.DisableControls();
  EXPECT_TRUE(ds.ControlsDisabled());
  ds.Next();
  ds.Last();
  ds.Edit();
  ds.EnableControls();
  EXPECT_EQ(link.changes, 0);
  EXPECT_EQ(link.states, 0);
  ds.EnableControls();
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_EQ(link.changes, 1);
  EXPECT_EQ(link.states, 1);  // the state changed meanwhile
  ds.EnableControls();        // unbalanced: ignored
  EXPECT_EQ(link.changes, 1);
}

// -- calculated fields, lookups, filters ---------------------------------------------------

TEST_F(DataSetTest, CalculatedFieldsFollowTheRecordAndItsEdits) {
  Fill(3);
  ds.NewField<TIntegerField>("ID");
  ds.NewField<TStringField>("NAME", 20);
  auto* twice = ds.NewField<TIntegerField>("TWICE");
  twice->SetFieldKind(fkCalculated);
  int runs = 0;
  ds.OnCalcFields = [&](TDataSet* sender) {
    ++runs;
    EXPECT_EQ(sender->State(), dsCalcFields);
    TField* id = sender->FieldByName("ID");
    if (!id->IsNull()) sender->FieldByName("TWICE")->SetAsInteger(id->AsInteger() * 2);
  };
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 3);  // persistent fields only: AMOUNT is not shown
  EXPECT_EQ(twice->FieldNo(), -1);
  EXPECT_EQ(twice->AsInteger(), 2);
  ds.Next();
  EXPECT_EQ(twice->AsInteger(), 4);
  ds.Edit();
  ds.FieldByName("ID")->SetAsInteger(21);
  EXPECT_EQ(twice->AsInteger(), 42);
  ds.Cancel();
  EXPECT_EQ(twice->AsInteger(), 4);
  EXPECT_GT(runs, 0);

  ds.OnCalcFields = [](TDataSet* sender) { sender->FieldByName("ID")->SetAsInteger(1); };
  EXPECT_EQ(ErrorOf([&] { ds.Next(); }), "Dataset not in edit mode");
  int handled = 0;
  ApplicationExceptionHandler() = [&](const std::exception&) { ++handled; };
  ds.Prior();  // the handler takes the error; navigation goes on
  ApplicationExceptionHandler() = nullptr;
  EXPECT_EQ(handled, 1);
}

TEST_F(DataSetTest, LookupFieldsReadAnotherDataset) {
  TMemDataSet codes;
  codes.AddColumn("CODE", ftString, 3);
  codes.AddColumn("TEXT", ftString, 20);
  codes.AddRow({"EUR", "Euro"});
  codes.AddRow({"USD", "Dollar"});
  codes.Open();

  ds.AddColumn("CURR", ftString, 3);
  ds.AddRow({1, "a", 1.0, "USD"});
  ds.AddRow({2, "b", 2.0, "XXX"});
  ds.AddRow({3, "c", 3.0});
  ds.NewField<TIntegerField>("ID");
  ds.NewField<TStringField>("CURR", 3);
  auto* text = ds.NewField<TStringField>("CURRTEXT", 20);
  text->SetFieldKind(fkLookup);
  text->SetLookupDataSet(&codes);
  text->SetKeyFields("CURR");
  text->SetLookupKeyFields("CODE");
  text->SetLookupResultField("TEXT");
  ds.Open();
  EXPECT_EQ(text->AsString(), "Dollar");
  ds.Next();
  EXPECT_TRUE(text->IsNull());
  ds.Next();
  EXPECT_TRUE(text->IsNull());
  EXPECT_EQ(ErrorOf([&] { text->SetAsString("x"); }), "Dataset not in edit mode");

  TMemDataSet broken;
  broken.AddColumn("A", ftString, 3);
  auto* incomplete = broken.NewField<TStringField>("L", 3);
  incomplete->SetFieldKind(fkLookup);
  EXPECT_EQ(ErrorOf([&] { broken.Open(); }), "Lookup information for field 'L' is incomplete");
  EXPECT_FALSE(broken.Active());
}

TEST_F(DataSetTest, RecordFilterSkipsRejectedRecords) {
  Fill(6);
  ds.OnFilterRecord = [this](TDataSet* sender, bool& accept) {
    EXPECT_EQ(sender->State(), dsFilter);
    accept = Id() % 2 == 0;
  };
  ds.Open();
  EXPECT_EQ(Id(), 1);  // not filtered yet
  ds.SetFiltered(true);
  EXPECT_EQ(Id(), 2);
  std::vector<int> seen;
  for (; !ds.Eof(); ds.Next()) seen.push_back(Id());
  EXPECT_EQ(seen, (std::vector<int>{2, 4, 6}));
  for (ds.Last(), seen.clear(); !ds.Bof(); ds.Prior()) seen.push_back(Id());
  EXPECT_EQ(seen, (std::vector<int>{6, 4, 2}));

  ds.OnFilterRecord = [](TDataSet*, bool& accept) { accept = false; };
  ds.First();
  EXPECT_TRUE(ds.Eof() && ds.Bof());
  ds.SetFiltered(false);
  EXPECT_EQ(Id(), 1);
}

TEST_F(DataSetTest, RecordFilterErrorsGoToTheApplicationHandler) {
  Fill(3);
  ds.OnFilterRecord = [this](TDataSet*, bool& accept) {
    accept = Id() != 1;
    if (Id() == 2) throw Exception("filter broke");
  };
  ds.SetFiltered(true);
  EXPECT_EQ(ErrorOf<Exception>([&] { ds.Open(); }), "filter broke");
  EXPECT_FALSE(ds.Active());
  std::vector<std::string> handled;
  ApplicationExceptionHandler() = [&](const std::exception& e) { handled.push_back(e.what()); };
  ds.Open();
  ApplicationExceptionHandler() = nullptr;
  EXPECT_EQ(handled, (std::vector<std::string>{"filter broke"}));
  EXPECT_EQ(Id(), 2);  // accepted as the handler had set it before raising
}

TEST_F(DataSetTest, LocateFindsOrStaysPut) {
  Fill(5);
  ds.AddRow({6, "Abacus", 0.0});
  ds.Open();
  ds.Next();
  LogEvents();
  EXPECT_TRUE(ds.Locate("NAME", "Name4", {}));
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(Steps(), (std::vector<std::string>{"BeforeScroll", "GoFirstHook", "AfterScroll"}));
  EXPECT_FALSE(ds.Locate("NAME", "Nobody", {}));
  EXPECT_EQ(Id(), 4);
  ds.Next();
  EXPECT_EQ(Id(), 5);  // the ring still moves from the old record
  EXPECT_FALSE(ds.Locate("NAME", "aba", {}));
  EXPECT_FALSE(ds.Locate("NAME", "aba", {loPartialKey}));
  EXPECT_TRUE(ds.Locate("NAME", "aba", {loPartialKey, loCaseInsensitive}));
  EXPECT_EQ(Id(), 6);
  EXPECT_TRUE(ds.Locate("ID;AMOUNT", VarArrayOf({3, 4.5}), {}));
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(ds.Locate("ID", "2", {}));  // a text key compares as a number
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(ErrorOf([&] { ds.Locate("ID;AMOUNT", 3, {}); }),
            "The number of key values does not match the key fields");
  EXPECT_EQ(ErrorOf([&] { ds.Locate("NOPE", 3, {}); }), "Field 'NOPE' not found");
}

TEST_F(DataSetTest, LookupLeavesTheCurrentRecord) {
  Fill(4);
  ds.Open();
  ds.Next();
  EXPECT_EQ(ds.Lookup("ID", 3, "NAME").AsString(), "Name3");
  EXPECT_EQ(Id(), 2);
  Variant both = ds.Lookup("NAME", "Name4", "ID;AMOUNT");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsInteger(), 4);
  EXPECT_DOUBLE_EQ(both[1].AsDouble(), 6.0);
  EXPECT_TRUE(ds.Lookup("ID", 99, "NAME").IsNull());
  EXPECT_TRUE(ds.Lookup("ID", Variant::Null(), "NAME").IsNull());
  ds.Next();
  EXPECT_EQ(Id(), 3);
}

}  // namespace
