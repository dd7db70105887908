// Editing and posting on real tables, across two connections on one file
// and, for the locks, across two processes: locking modes, the record
// checksum, failed posts and their retry, cancels, deletes and refreshes,
// new records with default values, field assignment checks, and the rate
// store's write sequence.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sdbengine.h"
#include "sdbtables.h"

namespace {

class EditingTest : public sdbtesting::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    sdbtesting::RunSql(Dictionary(),
                       "CREATE TABLE Items (NAME CHAR(5), QTY INTEGER, NOTE CHAR(8), "
                       "WIDE NCHAR(3), VF VARCHARFOX(6));"
                       "CREATE UNIQUE INDEX NAME ON Items (NAME);"
                       "INSERT INTO Items (NAME, QTY) VALUES ('A', 1), ('B', 2), ('C', 3);");
    items = Table("Items");
    other = Connect();
    theirs = Table("Items", other.get());
  }
  void TearDown() override {
    theirs.reset();
    other.reset();
    items.reset();
    TableTest::TearDown();
  }
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    return sdbtesting::SqliteRows(Dictionary(), sql);
  }
  std::string Stored(const std::string& name, const std::string& column) {
    auto rows = Rows("SELECT quote(" + column + ") FROM Items WHERE NAME = '" + name + "'");
    return rows.empty() ? "<no row>" : rows[0][0];
  }
  void Goto(TSdbTable& table, const std::string& name) {
    table.SetIndexName("NAME");
    ASSERT_TRUE(table.FindKey({Variant(name)})) << name;
  }

  std::unique_ptr<TSdbTable> items;
  std::unique_ptr<TSdbConnection> other;
  std::unique_ptr<TSdbTable> theirs;
};

TEST_F(EditingTest, AppendAssignPostWritesOneRecordAndOnlyTheAssignedFields) {
  items->Append();
  EXPECT_EQ(items->State(), dsInsert);
  items->FieldByName("NAME")->SetAsString("D");
  items->FieldByName("QTY")->SetAsInteger(4);
  items->Post();
  EXPECT_EQ(items->State(), dsBrowse);
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "D");
  EXPECT_EQ(Stored("D", "QTY"), "4");
  EXPECT_EQ(Stored("D", "NOTE"), "NULL");
  EXPECT_EQ(items->RecordCount(), 4);

  // An edit writes only what it assigned: another connection's change of
  // another field made meanwhile (optimistic, before the edit) survives.
  Goto(*items, "A");
  items->Edit();
  items->FieldByName("QTY")->SetAsInteger(10);
  items->Post();
  EXPECT_EQ(Stored("A", "QTY"), "10");
  EXPECT_EQ(Stored("A", "NAME"), "'A'");
}

TEST_F(EditingTest, PessimisticEditsLockUntilPostOrCancelEvenAfterAFailedPost) {
  Goto(*items, "B");
  Goto(*theirs, "B");
  items->Edit();
  EXPECT_EQ(CodeOf([&] { theirs->Edit(); }), 5035u);  // the second editor fails at Edit
  EXPECT_EQ(theirs->State(), dsBrowse);
  EXPECT_EQ(CodeOf([&] { other->Execute("UPDATE Items SET QTY = 9 WHERE NAME = 'B'"); }), 5035u);
  items->FieldByName("NAME")->SetAsString("A");  // a duplicate of the unique index
  EXPECT_NE(CodeOf([&] { items->Post(); }), 0u);
  EXPECT_EQ(items->State(), dsEdit);
  EXPECT_EQ(CodeOf([&] { theirs->Edit(); }), 5035u);  // still locked
  items->Cancel();
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "B");
  theirs->Edit();  // released by the cancel
  theirs->FieldByName("QTY")->SetAsInteger(20);
  theirs->Post();
  EXPECT_EQ(Stored("B", "QTY"), "20");
  // Correcting the value and posting again works.
  items->Edit();
  items->FieldByName("NAME")->SetAsString("A");
  EXPECT_NE(CodeOf([&] { items->Post(); }), 0u);
  items->FieldByName("NAME")->SetAsString("BB");
  items->Post();
  EXPECT_EQ(Stored("BB", "QTY"), "20");
  theirs->Refresh();
  EXPECT_EQ(theirs->FieldByName("NAME")->AsString(), "BB");
}

TEST_F(EditingTest, OptimisticEditsFindChangesOfOtherUsers) {
  items->SdbTableOptions().SetSdbRecordLockingMode(lmOptimistic);
  Goto(*items, "C");
  Goto(*theirs, "C");
  items->Edit();
  theirs->Edit();  // nothing is locked while editing
  theirs->FieldByName("QTY")->SetAsInteger(30);
  theirs->Post();
  items->FieldByName("NOTE")->SetAsString("mine");
  try {
    items->Post();
    FAIL() << "the post must fail";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), 5186u);
    EXPECT_EQ(e.Message(), "tbItems: Record was changed by another user.");
  }
  EXPECT_EQ(items->State(), dsEdit);
  theirs->Edit();  // the post's lock was released
  theirs->Cancel();
  items->Cancel();
  items->Edit();  // the stored state is read again
  EXPECT_EQ(items->FieldByName("QTY")->AsInteger(), 30);
  items->FieldByName("NOTE")->SetAsString("mine");
  items->Post();
  EXPECT_EQ(Stored("C", "NOTE"), "'mine'");
  EXPECT_EQ(Stored("C", "QTY"), "30");
}

TEST_F(EditingTest, AFailedInsertPostedAgainAppendsOnceAndARetryByTheHandlerWorks) {
  items->Append();
  items->FieldByName("NAME")->SetAsString("A");  // duplicate
  EXPECT_NE(CodeOf([&] { items->Post(); }), 0u);
  EXPECT_EQ(items->State(), dsInsert);
  items->FieldByName("NAME")->SetAsString("D");
  items->Post();
  EXPECT_EQ(Rows("SELECT count(*) FROM Items")[0][0], "4");

  int calls = 0;
  items->OnPostError = [&](TDataSet* dataSet, EDatabaseError&, TDataAction& action) {
    ++calls;
    dataSet->FieldByName("NAME")->SetAsString("E");
    action = daRetry;
  };
  items->Append();
  items->FieldByName("NAME")->SetAsString("B");
  items->Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Rows("SELECT count(*) FROM Items WHERE NAME = 'E'")[0][0], "1");
  EXPECT_EQ(Rows("SELECT count(*) FROM Items")[0][0], "5");

  // The same in an edit: the retry moves to the record whose update failed.
  calls = 0;
  Goto(*items, "E");
  items->Edit();
  items->FieldByName("NAME")->SetAsString("A");
  items->OnPostError = [&](TDataSet* dataSet, EDatabaseError&, TDataAction& action) {
    ++calls;
    dataSet->FieldByName("NAME")->SetAsString("EE");
    action = daRetry;
  };
  items->Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Rows("SELECT count(*) FROM Items WHERE NAME = 'EE'")[0][0], "1");

  // A cancelled append, or one whose post failed, leaves nothing.
  items->OnPostError = nullptr;
  items->Append();
  items->FieldByName("NAME")->SetAsString("A");
  EXPECT_NE(CodeOf([&] { items->Post(); }), 0u);
  items->Cancel();
  EXPECT_EQ(Rows("SELECT count(*) FROM Items")[0][0], "5");
}

TEST_F(EditingTest, CancelledInsertsReturnToWhereTheyBegan) {
  items->SetIndexName("NAME");
  items->Last();
  items->Append();
  items->Cancel();
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "C");
  items->First();
  items->Next();
  items->Insert();
  items->FieldByName("NAME")->SetAsString("X");
  items->Cancel();
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "B");
  EXPECT_EQ(items->RecordCount(), 3);
}

TEST_F(EditingTest, BlanksNullsAndAnEditThatAssignsNothing) {
  Goto(*items, "A");
  items->Edit();
  items->FieldByName("NOTE")->SetAsString("   ");
  items->FieldByName("WIDE")->SetAsString("   ");
  items->Post();
  EXPECT_EQ(Stored("A", "NOTE"), "NULL");  // spaces only: stored empty
  EXPECT_EQ(Stored("A", "WIDE"), "NULL");
  items->SdbTableOptions().SetSdbPreserveSpaces(true);
  items->Edit();
  items->FieldByName("NOTE")->SetAsString("  ");
  items->Post();
  EXPECT_EQ(Stored("A", "NOTE"), "' '");  // blanks, not NULL
  items->SdbTableOptions().SetSdbPreserveSpaces(false);
  // A value of U+2020 characters is a value, not blanks.
  items->Edit();
  items->FieldByName("WIDE")->SetAsString("\u2020\u2020");
  items->Post();
  EXPECT_EQ(Stored("A", "WIDE"), "'\u2020\u2020'");
  // A varying-length field set to NULL is written empty.
  items->Edit();
  items->FieldByName("VF")->SetAsString("abc");
  items->Post();
  EXPECT_EQ(Stored("A", "VF"), "'abc'");
  items->Edit();
  items->FieldByName("VF")->Clear();
  items->Post();
  EXPECT_EQ(Stored("A", "VF"), "NULL");

  // Nothing assigned: nothing written, so a change made elsewhere stays.
  items->Edit();
  items->Post();
  other->Execute("UPDATE Items SET QTY = 77 WHERE NAME = 'A'");
  items->Edit();
  items->Cancel();
  EXPECT_EQ(Stored("A", "QTY"), "77");
}

TEST_F(EditingTest, DeletesAndRefreshesAgainstAnotherConnection) {
  Goto(*items, "B");
  Goto(*theirs, "B");
  theirs->Edit();
  EXPECT_EQ(CodeOf([&] { items->Delete(); }), 5035u);
  EXPECT_EQ(Rows("SELECT count(*) FROM Items")[0][0], "3");
  theirs->Cancel();
  items->Delete();
  EXPECT_EQ(items->FieldByName("NAME")->AsString(), "C");
  EXPECT_EQ(Rows("SELECT count(*) FROM Items")[0][0], "2");

  Goto(*items, "A");
  other->Execute("UPDATE Items SET QTY = 11 WHERE NAME = 'A'");
  items->Refresh();
  EXPECT_EQ(items->FieldByName("QTY")->AsInteger(), 11);
}

TEST_F(EditingTest, AnEditThatFailsAfterTakingItsLockReleasesIt) {
  auto t = Table("Items", nullptr, false);
  t->NewField<TStringField>("NAME", 5);
  t->NewField<TIntegerField>("TWICE")->SetFieldKind(fkCalculated);
  bool fail = false;
  t->OnCalcFields = [&](TDataSet*) {
    if (fail) throw EDatabaseError("calculation failed");
  };
  t->Open();
  Goto(*t, "A");
  fail = true;
  EXPECT_EQ(ErrorOf([&] { t->Edit(); }), "calculation failed");
  EXPECT_EQ(t->State(), dsBrowse);  // where Cancel would not release anything
  Goto(*theirs, "A");
  theirs->Edit();
  theirs->Cancel();
}

TEST_F(EditingTest, TwoDatasetsOfOneConnectionEachKeepTheirLock) {
  auto second = Table("Items");
  Goto(*items, "A");
  Goto(*second, "A");
  items->Edit();
  second->Edit();    // the same connection: no conflict
  second->Cancel();  // releases only the second dataset's hold
  Goto(*theirs, "A");
  EXPECT_EQ(CodeOf([&] { theirs->Edit(); }), 5035u);
  second.reset();  // nor does closing it
  EXPECT_EQ(CodeOf([&] { theirs->Edit(); }), 5035u);
  items->Cancel();
  theirs->Edit();
  theirs->Cancel();
}

TEST_F(EditingTest, ALockHeldByAnotherProcessRefusesTheEdit) {
  Goto(*items, "C");
  items->Edit();
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  pid_t child = fork();
  if (child == 0) {
    int status = 0;
    try {
      TSdbConnection c;
      c.SetLoginPrompt(false);
      c.SetConnectPath(Dictionary());
      c.Connect();
      TSdbTable t;
      t.SetSdbConnection(&c);
      t.SetTableName("Items");
      t.SetIndexName("NAME");
      t.Open();
      if (!t.FindKey({Variant("C")})) status = 2;
      try {
        t.Edit();
        status = 3;
      } catch (const ESDBDatabaseError& e) {
        if (e.EngineErrorCode() != 5035) status = 4;
      }
      t.FindKey({Variant("A")});
      t.Edit();  // another record is free; the child dies holding it
      char byte = static_cast<char>(status);
      (void)!write(ready[1], &byte, 1);
    } catch (...) {
      status = 5;
      char byte = static_cast<char>(status);
      (void)!write(ready[1], &byte, 1);
    }
    _exit(status);
  }
  char byte = 1;
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  EXPECT_EQ(0, byte);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  items->Cancel();
  Goto(*items, "A");
  items->Edit();  // the dead process's lock is gone
  items->Cancel();
}

TEST_F(EditingTest, AssignmentsOutsideEditingAndTheAutoIncrementMarker) {
  EXPECT_EQ(ErrorOf([&] { items->FieldByName("QTY")->SetAsInteger(1); }),
            "tbItems: Dataset not in edit mode");
  sdbtesting::RunSql(Dictionary(), "CREATE TABLE Counted (N AUTOINC, LABEL CHAR(4));");
  auto counted = Table("Counted");
  counted->Append();
  EXPECT_TRUE(counted->FieldByName("N")->IsNull());  // all one bits
  counted->FieldByName("LABEL")->SetAsString("one");
  counted->Post();
  EXPECT_EQ(counted->FieldByName("N")->AsInteger(), 1);
  EXPECT_EQ(counted->LastAutoincVal(), 1);
  counted->Append();
  counted->FieldByName("LABEL")->SetAsString("two");
  counted->Post();
  EXPECT_EQ(counted->LastAutoincVal(), 2);
}

TEST_F(EditingTest, TableAndFieldRightsArePostedToTheEngineAs5054) {
  sdbtesting::RunSql(Dictionary(),
                     "EXECUTE PROCEDURE sp_CreateUser('clerk', 'secret');"
                     "GRANT SELECT, INSERT ON Items TO clerk;"
                     "CREATE TABLE Notes (A INTEGER, B CHAR(5));"
                     "GRANT SELECT, UPDATE ON Notes TO clerk;"
                     "INSERT INTO Notes VALUES (1, 'x');");
  TSdbConnection clerk;
  clerk.SetLoginPrompt(false);
  clerk.SetConnectPath(Dictionary());
  clerk.SetUsername("clerk");
  clerk.SetPassword("secret");
  clerk.Connect();
  auto mine = Table("Items", &clerk);
  auto edit = [&] { mine->Edit(); };
  EXPECT_EQ(CodeOf(edit), 5054u);
  EXPECT_EQ(ErrorOf(edit), "tbItems: Update permission not granted on this table.");
  mine->Append();  // inserting is granted
  mine->FieldByName("NAME")->SetAsString("N");
  mine->Post();
  EXPECT_EQ(Stored("N", "NAME"), "'N'");

  auto notes = Table("Notes", &clerk);
  EXPECT_EQ(ErrorOf([&] { notes->Append(); }),
            "tbNotes: Insert permission not granted on this table.");
  EXPECT_EQ(notes->State(), dsBrowse);  // the new record is dropped
  notes->Edit();
  notes->FieldByName("B")->SetAsString("y");
  notes->Post();
  EXPECT_EQ(sdbtesting::SqliteRows(Dictionary(), "SELECT B FROM Notes")[0][0], "y");
}

class DefaultsTest : public sdbtesting::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    sdbtesting::RunSql(Dictionary(),
                       "CREATE TABLE D (L LOGICAL, S SHORT, I INTEGER, T CHAR(6), W NCHAR(4), "
                       "N NUMERIC(8,2), DB DOUBLE, E CHAR(3));");
    table = Table("D");  // the default fields carry the expressions
  }
  std::string Error(const char* field, const std::string& expression) {
    table->FieldByName(field)->SetDefaultExpression(expression);
    std::string message = ErrorOf([&] { table->Append(); });
    if (table->State() == dsInsert) table->Cancel();
    table->FieldByName(field)->SetDefaultExpression("");
    return message;
  }
  std::unique_ptr<TSdbTable> table;
};

TEST_F(DefaultsTest, DefaultExpressionsFillNewRecords) {
  table->FieldByName("L")->SetDefaultExpression(".T.");
  table->FieldByName("S")->SetDefaultExpression(" -32767 ");
  table->FieldByName("I")->SetDefaultExpression("42");
  table->FieldByName("T")->SetDefaultExpression("'abc'");
  table->FieldByName("W")->SetDefaultExpression("'wx'");
  table->FieldByName("N")->SetDefaultExpression("12.5");
  table->FieldByName("DB")->SetDefaultExpression("0.25");
  table->Append();
  EXPECT_TRUE(table->FieldByName("L")->AsBoolean());
  EXPECT_EQ(table->FieldByName("S")->AsInteger(), -32767);
  EXPECT_EQ(table->FieldByName("I")->AsInteger(), 42);
  EXPECT_EQ(table->FieldByName("T")->AsString(), "abc");
  EXPECT_EQ(table->FieldByName("W")->AsString(), "wx");
  EXPECT_DOUBLE_EQ(table->FieldByName("N")->AsFloat(), 12.5);
  EXPECT_DOUBLE_EQ(table->FieldByName("DB")->AsFloat(), 0.25);
  EXPECT_TRUE(table->FieldByName("E")->IsNull());  // no default: as cleared
  table->Post();
  auto rows = sdbtesting::SqliteRows(Dictionary(), "SELECT L, S, I, T, W, N, DB, E FROM D");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"1", "-32767", "42", "abc", "wx", "12.5", "0.25", "<null>"}));
  table->FieldByName("L")->SetDefaultExpression("YES");
  table->FieldByName("T")->SetDefaultExpression("abc");  // no quotes: nothing written
  table->Append();
  EXPECT_FALSE(table->FieldByName("L")->AsBoolean());
  EXPECT_TRUE(table->FieldByName("T")->IsNull());
  table->Cancel();
  table->FieldByName("L")->SetDefaultExpression("1");
  table->Append();
  EXPECT_TRUE(table->FieldByName("L")->AsBoolean());
  table->Cancel();
}

TEST_F(DefaultsTest, DefaultsThatDoNotConvertAreReported) {
  EXPECT_EQ(Error("S", "-32768"),
            "tbD: Error setting default field value. (S)\r\nNumeric out of range:-32768");
  EXPECT_EQ(Error("I", "-2147483648"),
            "tbD: Error setting default field value. (I)\r\nNumeric out of range:-2147483648");
  EXPECT_NE(Error("I", "many").find("Error setting default field value. (I)\r\n"),
            std::string::npos);
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(sdbtesting::SqliteRows(Dictionary(), "SELECT count(*) FROM D")[0][0], "0");
}

TEST_F(EditingTest, TheRateStoresSequenceEndToEnd) {
  auto rates = Table("CD_ExchangeRates");
  auto store = [&](const std::string& local, const std::string& foreign, double rate, double id) {
    rates->SetIndexName("CURRPAIR");
    rates->SetKey();
    rates->FieldByName("LocalCurrency")->SetAsString(local);
    rates->FieldByName("ForeignCurrency")->SetAsString(foreign);
    if (rates->GotoKey()) {
      rates->Edit();
    } else {
      rates->Append();
      rates->FieldByName("ID")->SetAsFloat(id);
      rates->FieldByName("LocalCurrency")->SetAsString(local);
      rates->FieldByName("ForeignCurrency")->SetAsString(foreign);
    }
    rates->FieldByName("ExchangeRate")->SetAsFloat(rate);
    rates->Post();
  };
  store("EUR", "USD", 1.08, 100000000001);
  store("EUR", "CHF", 0.95, 100000000002);
  store("USD", "EUR", 0.92, 200000000001);
  store("EUR", "USD", 1.09, 100000000003);  // found: edited, no new record
  auto rows = sdbtesting::SqliteRows(
      Dictionary(),
      "SELECT LocalCurrency, ForeignCurrency, ExchangeRate, CAST(ID AS INTEGER) FROM "
      "CD_ExchangeRates ORDER BY ID");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"EUR", "USD", "1.09", "100000000001"}));

  // The highest ID of station 1: a range on ID and Last.
  auto ids = Table("CD_ExchangeRates");
  ids->SetIndexName("ID");
  ids->SetRange({Variant(100000000000.0)}, {Variant(199999999999.0)});
  ids->Last();
  EXPECT_DOUBLE_EQ(ids->FieldByName("ID")->AsFloat(), 100000000002.0);
  ids->CancelRange();
  ids->Last();
  EXPECT_DOUBLE_EQ(ids->FieldByName("ID")->AsFloat(), 200000000001.0);
}

}  // namespace
