// Data sources, data links and master/detail links: which notices arrive
// when, and how a detail dataset follows its master.
#include "datalinks.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fields.h"
#include "testing/errorof.h"
#include "testing/memdataset.h"

namespace {

// Records every notice it receives.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> notices;

 protected:
  void ActiveChanged() override { notices.push_back(Active() ? "active" : "inactive"); }
  void CheckBrowseMode() override { notices.push_back("checkBrowseMode"); }
  void DataSetChanged() override { notices.push_back("dataSetChanged"); }
  void DataSetScrolled(int distance) override {
    notices.push_back("scrolled " + std::to_string(distance));
  }
  void EditingChanged() override { notices.push_back(Editing() ? "editing" : "notEditing"); }
  void FocusControl(TField* field) override { notices.push_back("focus " + field->FieldName()); }
  void LayoutChanged() override { notices.push_back("layoutChanged"); }
  void RecordChanged(TField* field) override {
    notices.push_back(field ? "recordChanged " + field->FieldName() : "recordChanged");
  }
  void UpdateData() override { notices.push_back("updateData"); }
};

class DataLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    customers.AddColumn("CUSTID", ftInteger, 0, true);
    customers.AddColumn("NAME", ftString, 20);
    customers.AddRow({1, "Ann"});
    customers.AddRow({2, "Bob"});
    customers.AddRow({3, "Cid"});
    orders.AddColumn("ORDERID", ftInteger);
    orders.AddColumn("CUSTID", ftInteger);
    orders.AddRow({10, 1});
    orders.AddRow({11, 2});
    orders.AddRow({12, 1});
    orders.AddRow({13, 2});
    orders.DetailFields = "CUSTID";
    source.SetDataSet(&customers);
    link.SetDataSource(&source);
  }
  std::vector<int> OrderIds() {
    std::vector<int> ids;
    for (orders.First(); !orders.Eof(); orders.Next())
      ids.push_back(orders.FieldByName("ORDERID")->AsInteger());
    return ids;
  }

  TMemDataSet customers, orders;
  TDataSource source;
  RecordingLink link;
};

TEST_F(DataLinksTest, NoticesFollowTheDataset) {
  std::vector<std::string> sourceLog;
  source.OnStateChange = [&](TDataSource* sender) {
    sourceLog.push_back("state " + std::to_string(sender->State()));
  };
  source.OnDataChange = [&](TDataSource*, TField* field) {
    sourceLog.push_back(field ? "data " + field->FieldName() : "data");
  };
  customers.Open();
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(source.State(), dsBrowse);
  customers.Next();
  customers.Edit();
  customers.FieldByName("NAME")->SetAsString("Bea");
  customers.Post();
  customers.Close();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.notices, (std::vector<std::string>{
                              "active", "checkBrowseMode", "scrolled 1", "checkBrowseMode",
                              "editing", "recordChanged", "recordChanged NAME", "updateData",
                              "checkBrowseMode", "notEditing", "dataSetChanged", "inactive"}));
  EXPECT_EQ(sourceLog, (std::vector<std::string>{"state 1", "data", "state 2", "data", "data NAME",
                                                 "state 1", "data", "state 0"}));
}

TEST_F(DataLinksTest, RequiredFieldFailureFocusesTheField) {
  customers.Open();
  customers.Append();
  link.notices.clear();
  EXPECT_EQ(ErrorOf([&] { customers.Post(); }), "Field 'CUSTID' must have a value");
  EXPECT_EQ(link.notices,
            (std::vector<std::string>{"updateData", "checkBrowseMode", "focus CUSTID"}));
}

TEST_F(DataLinksTest, DisabledSourceAndReadOnlyLink) {
  customers.Open();
  source.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(source.State(), dsInactive);
  link.notices.clear();
  customers.Next();
  EXPECT_TRUE(link.notices.empty());
  source.SetEnabled(true);
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(link.ActiveRecord(), 0);
  link.SetReadOnly(true);
  EXPECT_FALSE(link.Edit());
  source.SetAutoEdit(false);
  link.SetReadOnly(false);
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(customers.State(), dsBrowse);
  source.SetAutoEdit(true);
  EXPECT_TRUE(link.Edit());
  EXPECT_EQ(customers.State(), dsEdit);
  EXPECT_EQ(link.MoveBy(1), 1);  // the unmodified edit is cancelled first
  EXPECT_EQ(customers.State(), dsBrowse);
}

TEST_F(DataLinksTest, RingGrowsToTheLargestLink) {
  customers.Open();
  EXPECT_EQ(customers.BufferCount(), 1);
  RecordingLink grid;
  grid.SetBufferCount(3);
  grid.SetDataSource(&source);
  EXPECT_EQ(customers.BufferCount(), 3);
  EXPECT_EQ(grid.RecordCount(), 3);
  EXPECT_EQ(link.RecordCount(), 1);
  customers.Last();
  EXPECT_EQ(grid.ActiveRecord(), 2);
  EXPECT_EQ(link.ActiveRecord(), 0);
}

TEST_F(DataLinksTest, ScrollNoticesTellHowFarTheWindowMoved) {
  customers.AddRow({4, "Dan"});
  link.SetBufferCount(2);
  customers.Open();
  link.notices.clear();
  customers.Next();  // inside the window
  customers.Next();  // past its end: the window moves one record
  customers.MoveBy(-2);
  customers.Last();
  EXPECT_EQ(link.notices,
            (std::vector<std::string>{"checkBrowseMode", "scrolled 0", "checkBrowseMode",
                                      "scrolled 1", "checkBrowseMode", "scrolled -1",
                                      "checkBrowseMode", "dataSetChanged"}));
  EXPECT_EQ(link.ActiveRecord(), 1);
}

TEST_F(DataLinksTest, SourcesRefuseCircularLinks) {
  orders.SetMasterSource(&source);
  TDataSource ordersSource;
  ordersSource.SetDataSet(&orders);
  EXPECT_EQ(ErrorOf([&] { customers.SetMasterSource(&ordersSource); }), "Circular Data Link");
  TDataSource self;
  self.SetDataSet(&customers);
  EXPECT_EQ(ErrorOf([&] { customers.SetMasterSource(&self); }), "Circular Data Link");
  EXPECT_TRUE(orders.IsLinkedTo(&ordersSource));
  EXPECT_TRUE(orders.IsLinkedTo(&source) == false);
  EXPECT_EQ(ErrorOf([&] { source.SetDataSet(&orders); }), "Circular datalinks are not allowed");
}

TEST_F(DataLinksTest, DetailFollowsItsMaster) {
  orders.SetMasterSource(&source);
  orders.SetMasterFields("CUSTID");
  orders.Open();
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12, 13}));  // master closed: no range
  customers.Open();
  EXPECT_NE(std::find(orders.Log.begin(), orders.Log.end(), "MasterChange"), orders.Log.end());
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 12}));
  customers.Next();
  EXPECT_EQ(OrderIds(), (std::vector<int>{11, 13}));
  customers.Next();
  EXPECT_TRUE(orders.IsEmpty());

  customers.Prior();
  orders.Append();  // a new detail takes the master's key
  orders.FieldByName("ORDERID")->SetAsInteger(14);
  EXPECT_EQ(orders.FieldByName("CUSTID")->AsInteger(), 2);
  customers.First();  // the master moves: the pending detail is posted first
  EXPECT_EQ(orders.State(), dsBrowse);
  EXPECT_EQ(orders.RowCount(), 5u);
  customers.Next();
  EXPECT_EQ(OrderIds(), (std::vector<int>{11, 13, 14}));

  customers.Edit();  // changing the master's key field moves the detail
  customers.FieldByName("CUSTID")->SetAsInteger(1);
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 12}));
  customers.Cancel();
  EXPECT_EQ(OrderIds(), (std::vector<int>{11, 13, 14}));

  orders.Log.clear();
  customers.Close();
  ASSERT_FALSE(orders.Log.empty());
  EXPECT_EQ(orders.Log.front(), "MasterDisable") << ::testing::PrintToString(orders.Log);
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12, 13, 14}));
}

TEST_F(DataLinksTest, DetailFollowsWhileTheMastersControlsAreDisabled) {
  orders.SetMasterSource(&source);
  orders.SetMasterFields("CUSTID");
  orders.Open();
  customers.Open();
  customers.DisableControls();
  link.notices.clear();
  customers.Next();
  EXPECT_EQ(OrderIds(), (std::vector<int>{11, 13}));
  customers.Close();
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12, 13}));
  customers.Open();
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 12}));
  EXPECT_TRUE(link.notices.empty());
  customers.EnableControls();
  EXPECT_EQ(link.notices, (std::vector<std::string>{"layoutChanged"}));
}

TEST_F(DataLinksTest, MasterLinkNeedsKnownFields) {
  orders.SetMasterSource(&source);
  orders.SetMasterFields("NOSUCH");
  orders.Open();
  EXPECT_EQ(ErrorOf([&] { customers.Open(); }), "Field 'NOSUCH' not found");
}

TEST_F(DataLinksTest, DestroyingEitherSideDetaches) {
  auto temporary = std::make_unique<TDataSource>();
  RecordingLink other;
  other.SetDataSource(temporary.get());
  temporary->SetDataSet(&customers);
  temporary.reset();
  EXPECT_EQ(other.DataSource(), nullptr);
  {
    TMemDataSet shortLived;
    shortLived.AddColumn("A", ftInteger);
    source.SetDataSet(&shortLived);
    shortLived.Open();
    EXPECT_TRUE(link.Active());
  }
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
}

}  // namespace
