// TComponent: ownership and destruction order, names, state, notifications.
#include "component.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;

class TLogged : public TComponent {
 public:
  explicit TLogged(TComponent* owner, std::string name) : TComponent(owner) { SetName(name); }
  // "?" marks a component that nobody marked as being destroyed before its
  // own destructor ran (only a root is).
  ~TLogged() override {
    bool marked = HasState(csDestroying);
    Destroying();
    gLog.push_back("destroy " + Name() + (marked ? "" : "?"));
  }
  void Loaded() override {
    TComponent::Loaded();
    gLog.push_back("loaded " + Name());
  }
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    gLog.push_back(Name() + " hears " + (operation == opInsert ? "insert " : "remove ") +
                   component->Name());
    if (operation == opRemove && component == watched) watched = nullptr;
  }
  TComponent* watched = nullptr;
};

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { gLog.clear(); }
};

TEST_F(ComponentTest, OwnerDestroysItsComponentsLastCreatedFirst) {
  auto* form = new TLogged(nullptr, "form");
  auto* a = new TLogged(form, "a");
  new TLogged(form, "b");
  new TLogged(a, "a1");
  ASSERT_EQ(2, form->ComponentCount());
  EXPECT_EQ(form, a->Owner());
  EXPECT_EQ(a, form->Components(0));
  EXPECT_EQ(1, form->FindComponent("B")->ComponentIndex());
  gLog.clear();
  delete form;
  // The owner marked everything it owns; b goes before a, a's own
  // component with a.
  std::vector<std::string> destroyed;
  for (auto& line : gLog)
    if (line.rfind("destroy", 0) == 0) destroyed.push_back(line);
  EXPECT_EQ((std::vector<std::string>{"destroy form?", "destroy b", "destroy a", "destroy a1"}),
            destroyed);
}

TEST_F(ComponentTest, AComponentDestroyedAloneLeavesItsOwnerAndTheOthersHear) {
  TLogged form(nullptr, "form");
  auto* a = new TLogged(&form, "a");
  auto* b = new TLogged(&form, "b");
  gLog.clear();
  delete a;
  EXPECT_EQ(1, form.ComponentCount());
  EXPECT_EQ(b, form.Components(0));
  EXPECT_NE(std::find(gLog.begin(), gLog.end(), "b hears remove a"), gLog.end());
}

TEST_F(ComponentTest, NamesAreUniqueAmongAnOwnersComponents) {
  TLogged form(nullptr, "form");
  auto* a = new TLogged(&form, "a");
  auto* b = new TLogged(&form, "b");
  EXPECT_THROW(b->SetName("A"), EComponentError);
  EXPECT_EQ("b", b->Name());
  a->SetName("");
  b->SetName("");  // empty names never clash
  TLogged loose(nullptr, "a");
  loose.SetName("form");  // no owner, no clash
  EXPECT_EQ("form", loose.Name());
}

TEST_F(ComponentTest, FreeNotificationReachesAComponentOfAnotherOwner) {
  TLogged formA(nullptr, "formA");
  TLogged formB(nullptr, "formB");
  auto* connection = new TLogged(&formA, "con");
  auto* table = new TLogged(&formB, "table");
  table->watched = connection;
  connection->FreeNotification(table);
  delete connection;
  EXPECT_EQ(nullptr, table->watched);
  // The registration is gone on both sides: destroying the table later
  // reaches nothing freed.
  auto* other = new TLogged(&formA, "other");
  other->FreeNotification(table);
  delete table;
  delete other;
}

TEST_F(ComponentTest, LoadingEndsWithLoadedOwnerFirstAndDesigningSpreads) {
  TLogged form(nullptr, "form");
  auto* a = new TLogged(&form, "a");
  form.BeginLoading();
  EXPECT_TRUE(a->HasState(csLoading));
  gLog.clear();
  form.EndLoading();
  EXPECT_EQ((std::vector<std::string>{"loaded form", "loaded a"}), gLog);
  EXPECT_FALSE(a->HasState(csLoading));
  form.SetDesigning(true);
  EXPECT_TRUE(a->HasState(csDesigning));
  auto* late = new TLogged(&form, "late");
  EXPECT_FALSE(late->HasState(csDesigning));
  form.SetDesigning(false);
  EXPECT_FALSE(a->HasState(csDesigning));
}

TEST_F(ComponentTest, InsertingMovesAComponentBetweenOwners) {
  TLogged formA(nullptr, "formA");
  TLogged formB(nullptr, "formB");
  auto* a = new TLogged(&formA, "a");
  formB.InsertComponent(a);
  EXPECT_EQ(&formB, a->Owner());
  EXPECT_EQ(0, formA.ComponentCount());
  new TLogged(&formA, "b");
  auto* clash = new TLogged(&formA, "a");
  EXPECT_THROW(formB.InsertComponent(clash), EComponentError);
  EXPECT_EQ(&formA, clash->Owner());
}

}  // namespace
