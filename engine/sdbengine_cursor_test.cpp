// Tests of navigation, writing, record locks, change detection and
// transactions through the C API, with two connections and two processes.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ostream>

#include "sdbengineTesting.h"

using namespace sdbtest;

namespace {

class SdbCursor : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SDB_OK(Exec("CREATE TABLE T (ID INTEGER, NAME CHAR(10));"));
  }
  void Fill(int n) {
    std::string sql = "INSERT INTO T (ID, NAME) VALUES ";
    for (int i = 1; i <= n; ++i)
      sql += (i > 1 ? "," : "") + std::string("(") + std::to_string(i) + ", 'n" +
             std::to_string(i) + "')";
    SDB_OK(Exec(sql));
  }
  SDBHANDLE Other() {
    SDBHANDLE c = 0;
    EXPECT_EQ(0u, SdbConnect(dd.c_str(), &c)) << LastError();
    return c;
  }
  static uint32_t Append(SDBHANDLE t, int id) {
    uint32_t rc = SdbAppendRecord(t);
    if (!rc) rc = Set(t, "ID", std::to_string(id));
    if (!rc) rc = SdbWriteRecord(t);
    return rc;
  }
};

}  // namespace

TEST_F(SdbCursor, EmptyTableIsAtBothEnds) {
  SDBHANDLE t = Open("T");
  SDB_OK(SdbGotoTop(t));
  EXPECT_TRUE(AtEof(t));
  EXPECT_TRUE(AtBof(t));
  SDB_OK(SdbGotoBottom(t));
  EXPECT_TRUE(AtEof(t) && AtBof(t));
  SDB_OK(SdbSkip(t, 1));
  EXPECT_TRUE(AtEof(t));
  EXPECT_EQ(0u, RecNo(t));
  EXPECT_EQ(0u, Count(t));
  uint16_t visible = 0;
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbIsRecordVisible(t, &visible));
  EXPECT_EQ(SDB_E_NO_SUCH_RECORD, SdbGotoRecord(t, 1));
}

TEST_F(SdbCursor, WalksBothWaysAcrossBatchesAndStopsAtTheEnds) {
  Fill(1000);
  SDBHANDLE t = Open("T");
  SDB_OK(SdbGotoTop(t));
  EXPECT_FALSE(AtBof(t));
  int expected = 1;
  while (!AtEof(t)) {
    ASSERT_EQ(std::to_string(expected), Get(t, "ID"));
    ASSERT_EQ(uint32_t(expected), RecNo(t));
    ++expected;
    SDB_OK(SdbSkip(t, 1));
  }
  EXPECT_EQ(1001, expected);
  SDB_OK(SdbSkip(t, -1));  // from EOF back to the last record
  EXPECT_EQ("1000", Get(t, "ID"));
  SDB_OK(SdbGotoBottom(t));
  for (int i = 1000; i >= 1; --i) {
    ASSERT_EQ(uint32_t(i), RecNo(t));
    SDB_OK(SdbSkip(t, -1));
  }
  EXPECT_TRUE(AtBof(t));
  EXPECT_FALSE(AtEof(t));
  SDB_OK(SdbSkip(t, 1));  // from BOF forward to the first record
  EXPECT_EQ(1u, RecNo(t));
  SDB_OK(SdbSkip(t, 10));
  EXPECT_EQ(11u, RecNo(t));
  SDB_OK(SdbSkip(t, -5));
  EXPECT_EQ(6u, RecNo(t));
  SDB_OK(SdbSkip(t, 5000));
  EXPECT_TRUE(AtEof(t));
  SDB_OK(SdbGotoBOF(t));
  EXPECT_TRUE(AtBof(t));
  SDB_OK(SdbGotoEOF(t));
  EXPECT_TRUE(AtEof(t));
  uint32_t count = 0;
  SDB_OK(SdbGetRecordCount(t, SDB_RESPECTFILTERS + SDB_FRESH, &count));
  EXPECT_EQ(1000u, count);
}

TEST_F(SdbCursor, GotoRecordAndBookmarks) {
  Fill(5);
  SDBHANDLE t = Open("T");
  SDB_OK(SdbGotoRecord(t, 3));
  EXPECT_EQ("3", Get(t, "ID"));
  uint8_t mark3[4], mark5[4];
  uint32_t len = 4;
  SDB_OK(SdbGetBookmark60(t, mark3, &len));
  EXPECT_EQ(3u, mark3[0] | mark3[1] << 8 | mark3[2] << 16 | mark3[3] << 24);
  SDBHANDLE bookmark = 0;
  SDB_OK(SdbGetBookmark(t, &bookmark));
  EXPECT_EQ(3u, bookmark);
  SDB_OK(SdbGotoBottom(t));
  len = 4;
  SDB_OK(SdbGetBookmark60(t, mark5, &len));
  int32_t order = 0;
  SDB_OK(SdbCompareBookmarks(mark3, mark5, &order));
  EXPECT_LT(order, 0);
  SDB_OK(SdbCompareBookmarks(mark5, mark5, &order));
  EXPECT_EQ(0, order);
  SDB_OK(SdbGotoBookmark(t, bookmark));
  EXPECT_EQ(3u, RecNo(t));
  SDB_OK(SdbSkip(t, 1));  // walking continues from a jump
  EXPECT_EQ(4u, RecNo(t));
  EXPECT_EQ(SDB_E_NO_SUCH_RECORD, SdbGotoRecord(t, 99));
  EXPECT_TRUE(AtEof(t));
  len = 2;
  SDB_OK(SdbGotoTop(t));
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetBookmark60(t, mark3, &len));
  uint32_t bookmarkLength = 0;
  SDB_OK(SdbGetBookmarkLength(t, &bookmarkLength));
  EXPECT_EQ(4u, bookmarkLength);
}

TEST_F(SdbCursor, AppendKeepsItsNumberThroughFailedWritesAndCancelLeavesNothing) {
  SDB_OK(Exec("CREATE UNIQUE INDEX UID ON T (ID);"));
  SDBHANDLE t = Open("T");
  SDB_OK(Append(t, 1));
  SDB_OK(SdbAppendRecord(t));
  uint32_t reserved = RecNo(t);
  EXPECT_EQ(2u, reserved);
  SDB_OK(Set(t, "ID", "1"));  // duplicate of the unique index
  EXPECT_EQ(SDB_E_SQL, SdbWriteRecord(t));
  EXPECT_NE(LastError().find("NativeError = "), std::string::npos) << LastError();
  EXPECT_EQ(reserved, RecNo(t));
  SDB_OK(Set(t, "ID", "2"));
  SDB_OK(SdbWriteRecord(t));
  EXPECT_EQ(reserved, RecNo(t));
  EXPECT_EQ(2u, Count(t));

  SDB_OK(SdbGotoTop(t));
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(Set(t, "ID", "3"));
  SDB_OK(SdbCancelUpdate(t));
  EXPECT_EQ(2u, Count(t));
  EXPECT_EQ(1u, RecNo(t));  // back where the append began
  EXPECT_EQ(SDB_E_NO_PENDING_UPDATE, SdbCancelUpdate(t));
  SDB_OK(SdbGotoEOF(t));
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbCancelUpdate(t));
  SDB_OK(Append(t, 4));
  EXPECT_EQ(4u, RecNo(t));  // a cancelled number is not handed out again
}

TEST_F(SdbCursor, EditWriteRefreshAndDelete) {
  Fill(3);
  SDBHANDLE t = Open("T");
  SDB_OK(SdbGotoRecord(t, 2));
  SDB_OK(Set(t, "NAME", "changed"));
  EXPECT_EQ("changed", Get(t, "NAME"));  // the pending value is read
  SDB_OK(SdbRefreshRecord(t));           // drops it
  EXPECT_EQ("n2", Get(t, "NAME"));
  SDB_OK(Set(t, "NAME", "changed"));
  SDB_OK(SdbSkip(t, 1));  // moving writes a pending update
  SDB_OK(SdbGotoRecord(t, 2));
  EXPECT_EQ("changed", Get(t, "NAME"));

  SDB_OK(SdbDeleteRecord(t));
  uint16_t deleted = 0, visible = 1;
  SDB_OK(SdbIsRecordDeleted(t, &deleted));
  EXPECT_EQ(1, deleted);
  SDB_OK(SdbIsRecordVisible(t, &visible));
  EXPECT_EQ(0, visible);
  SDB_OK(SdbSkip(t, 1));
  EXPECT_EQ(3u, RecNo(t));
  EXPECT_EQ(2u, Count(t));
  uint16_t show = 1;
  SDB_OK(SdbGetDeleted(&show));
  EXPECT_EQ(0, show);
}

TEST_F(SdbCursor, RecordDeletedOrChangedByAnotherConnection) {
  Fill(3);
  SDBHANDLE other = Other();
  SDBHANDLE mine = Open("T"), theirs = Open("T", 0, other);
  SDB_OK(SdbGotoRecord(mine, 2));
  uint32_t crc = 0, again = 0;
  SDB_OK(SdbGetRecordCRC(mine, &crc, 0));
  SDB_OK(SdbGetRecordCRC(mine, &again, 0));
  EXPECT_EQ(crc, again);

  SDB_OK(SdbGotoRecord(theirs, 2));
  SDB_OK(Set(theirs, "NAME", "theirs"));
  SDB_OK(SdbWriteRecord(theirs));
  SDB_OK(SdbGetRecordCRC(mine, &again, 0));
  EXPECT_NE(crc, again);
  EXPECT_EQ("theirs", Get(mine, "NAME"));

  SDB_OK(SdbDeleteRecord(theirs));
  uint16_t visible = 1;
  SDB_OK(SdbIsRecordVisible(mine, &visible));
  EXPECT_EQ(0, visible);
  std::vector<uint8_t> image(64);
  uint32_t len = 64;
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbGetRecord(mine, image.data(), &len));
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbGetRecordCRC(mine, &crc, 0));
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, Set(mine, "NAME", "x"));
  SDB_OK(SdbSkip(mine, 1));
  EXPECT_EQ(3u, RecNo(mine));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, WritesOfAnotherConnectionShowInAWalk) {
  Fill(100);
  SDBHANDLE other = Other();
  SDBHANDLE mine = Open("T"), theirs = Open("T", 0, other);
  SDB_OK(SdbGotoTop(mine));
  SDB_OK(SdbSkip(mine, 1));  // a batch is cached now
  SDB_OK(SdbGotoRecord(theirs, 3));
  SDB_OK(Set(theirs, "NAME", "fresh"));
  SDB_OK(SdbWriteRecord(theirs));
  SDB_OK(SdbSkip(mine, 1));
  EXPECT_EQ(3u, RecNo(mine));
  EXPECT_EQ("fresh", Get(mine, "NAME"));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, RecordLocksConflictBetweenConnections) {
  Fill(3);
  SDBHANDLE other = Other();
  SDBHANDLE mine = Open("T"), theirs = Open("T", 0, other), second = Open("T");
  SDB_OK(SdbGotoRecord(mine, 2));
  SDB_OK(SdbLockRecord(mine, 0));
  SDB_OK(SdbLockRecord(second, 2));  // the same connection does not conflict
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(theirs, 2));
  EXPECT_NE(LastError().find("locked"), std::string::npos);
  SDB_OK(SdbLockRecord(theirs, 3));
  SDB_OK(SdbGotoRecord(theirs, 2));
  SDB_OK(Set(theirs, "NAME", "blocked"));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbWriteRecord(theirs));
  SDB_OK(SdbCancelUpdate(theirs));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbDeleteRecord(theirs));
  EXPECT_EQ(SDB_E_NO_SUCH_RECORD, SdbLockRecord(theirs, 77));
  SDB_OK(SdbUnlockRecord(mine, 2));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(theirs, 2));  // `second` still holds it
  SDB_OK(SdbUnlockRecord(second, 2));
  SDB_OK(SdbLockRecord(theirs, 2));
  SDB_OK(SdbCloseTable(theirs));  // closing releases its locks
  SDB_OK(SdbLockRecord(mine, 3));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, RecordLocksConflictBetweenProcessesAndDieWithThem) {
  Fill(2);
  SDBHANDLE t = Open("T");
  SDB_OK(SdbLockRecord(t, 1));
  int ready[2], release[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(release));
  pid_t child = fork();
  if (child == 0) {
    // The child: its own connection must see the parent's lock, then hold one.
    SDBHANDLE c = 0, h = 0;
    int status = 0;
    if (SdbConnect(dd.c_str(), &c) || SdbOpenTable90(c, "T", nullptr, 0, 1, 1, 2, 0, nullptr, &h))
      status = 10;
    else if (SdbLockRecord(h, 1) != SDB_E_RECORD_LOCKED)
      status = 11;
    else if (SdbLockRecord(h, 2) != 0)
      status = 12;
    char byte = static_cast<char>(status);
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);
    _exit(status);  // dies holding record 2
  }
  char byte = 0;
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  EXPECT_EQ(0, byte);
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(t, 2));
  (void)!write(release[1], &byte, 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  SDB_OK(SdbLockRecord(t, 2));  // the kernel freed the dead process's lock
}

TEST_F(SdbCursor, ExclusiveAndReadOnlyOpens) {
  Fill(1);
  SDBHANDLE shared = Open("T");
  SDBHANDLE x = 0;
  EXPECT_EQ(SDB_E_TABLE_IN_USE,
            SdbOpenTable90(conn, "T", nullptr, 0, 1, 1, 2, SDB_OPEN_EXCLUSIVE, nullptr, &x));
  SDB_OK(SdbCloseTable(shared));
  x = Open("T", SDB_OPEN_EXCLUSIVE);
  SDBHANDLE other = Other(), y = 0;
  EXPECT_EQ(SDB_E_TABLE_IN_USE, SdbOpenTable90(other, "T", nullptr, 0, 1, 1, 2, 0, nullptr, &y));
  uint32_t options = 0;
  SDB_OK(SdbGetTableOpenOptions(x, &options));
  EXPECT_TRUE(options & SDB_OPEN_EXCLUSIVE);
  SDB_OK(SdbGotoTop(x));
  SDB_OK(SdbLockRecord(x, 0));  // exclusive handles need no locks
  SDB_OK(SdbCloseTable(x));

  SDBHANDLE ro = Open("T", SDB_OPEN_READONLY, other);
  SDB_OK(SdbGotoTop(ro));
  EXPECT_EQ(SDB_E_READ_ONLY, Set(ro, "NAME", "x"));
  EXPECT_EQ(SDB_E_READ_ONLY, SdbAppendRecord(ro));
  SDB_OK(SdbGetTableOpenOptions(ro, &options));
  EXPECT_TRUE(options & SDB_OPEN_READONLY);
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, TransactionsAndSavepoints) {
  SDBHANDLE t = Open("T");
  uint16_t in = 1;
  SDB_OK(SdbInTransaction(conn, &in));
  EXPECT_EQ(0, in);
  EXPECT_EQ(SDB_E_NO_TRANSACTION, SdbCommitTransaction(conn));
  EXPECT_EQ(SDB_E_NO_TRANSACTION, SdbCreateSavepoint(conn, "a", 0));
  SDB_OK(SdbBeginTransaction(conn));
  EXPECT_EQ(SDB_E_IN_TRANSACTION, SdbBeginTransaction(conn));
  uint32_t count = 0;
  SDB_OK(SdbGetTransactionCount(conn, &count));
  EXPECT_EQ(1u, count);
  SDB_OK(Append(t, 1));
  SDB_OK(SdbCreateSavepoint(conn, "sp1", 0));
  SDB_OK(Append(t, 2));
  EXPECT_EQ(2u, Count(t));
  SDB_OK(SdbRollbackTransaction80(conn, "sp1", 0));
  EXPECT_EQ(1u, Count(t));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbRollbackTransaction80(conn, "nosuch", 0));
  SDB_OK(SdbCommitTransaction(conn));
  SDB_OK(SdbInTransaction(conn, &in));
  EXPECT_EQ(0, in);
  EXPECT_EQ(1u, Count(t));

  SDB_OK(SdbBeginTransaction(conn));
  SDB_OK(Append(t, 3));
  SDB_OK(SdbGotoTop(t));
  SDB_OK(Set(t, "NAME", "pending"));
  SDB_OK(SdbRollbackTransaction(conn));
  EXPECT_EQ(1u, Count(t));
  SDB_OK(SdbGotoTop(t));
  EXPECT_EQ("", Get(t, "NAME"));  // the pending update went with the rollback

  // Another connection does not see uncommitted work.
  SDBHANDLE other = Other();
  SDBHANDLE theirs = Open("T", 0, other);
  SDB_OK(SdbBeginTransaction(conn));
  SDB_OK(Append(t, 4));
  EXPECT_EQ(1u, Count(theirs));
  SDB_OK(SdbCommitTransaction(conn));
  EXPECT_EQ(2u, Count(theirs));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, ALockStaysWhileAnyHandleOfTheConnectionHoldsIt) {
  Fill(2);
  SDBHANDLE other = Other();
  SDBHANDLE first = Open("T"), second = Open("T"), theirs = Open("T", 0, other);
  SDB_OK(SdbLockRecord(first, 1));
  SDB_OK(SdbLockRecord(second, 1));
  SDB_OK(SdbUnlockRecord(first, 1));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(theirs, 1));
  SDB_OK(SdbUnlockRecord(first, 1));  // not held by `first` any more: changes nothing
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(theirs, 1));
  SDB_OK(SdbGotoRecord(theirs, 1));
  SDB_OK(Set(theirs, "NAME", "lost"));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbWriteRecord(theirs));
  SDB_OK(SdbCancelUpdate(theirs));

  SDB_OK(SdbLockRecord(first, 2));
  SDB_OK(SdbLockRecord(second, 2));
  SDB_OK(SdbCloseTable(first));  // closing one handle leaves the other's locks
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(theirs, 2));
  SDB_OK(SdbCloseTable(second));
  SDB_OK(SdbLockRecord(theirs, 1));
  SDB_OK(SdbLockRecord(theirs, 2));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, AFailedWriteStaysPendingOnAMoveToItsOwnRecord) {
  SDB_OK(Exec("CREATE UNIQUE INDEX UID ON T (ID);"));
  Fill(2);
  SDBHANDLE t = Open("T");
  SDB_OK(SdbGotoRecord(t, 2));
  SDB_OK(Set(t, "ID", "1"));
  EXPECT_EQ(SDB_E_SQL, SdbWriteRecord(t));  // duplicate key
  SDB_OK(SdbGotoRecord(t, 2));              // does not write the failed update again
  SDB_OK(Set(t, "ID", "5"));
  SDB_OK(SdbWriteRecord(t));
  SDB_OK(SdbGotoRecord(t, 2));
  EXPECT_EQ("5", Get(t, "ID"));

  SDB_OK(Set(t, "ID", "1"));
  EXPECT_EQ(SDB_E_SQL, SdbWriteRecord(t));
  SDB_OK(SdbGotoBookmark(t, 2));
  EXPECT_EQ("1", Get(t, "ID"));  // still pending
  SDB_OK(SdbCancelUpdate(t));
  EXPECT_EQ("5", Get(t, "ID"));

  SDB_OK(Set(t, "ID", "1"));
  EXPECT_EQ(SDB_E_SQL, SdbGotoRecord(t, 1));  // a move elsewhere writes it (and fails)
  SDB_OK(SdbCancelUpdate(t));
  SDB_OK(Set(t, "NAME", "kept"));
  SDB_OK(SdbGotoRecord(t, 2));  // a pending update that does not fail is kept, not lost
  SDB_OK(SdbWriteRecord(t));
  SDB_OK(SdbGotoRecord(t, 1));
  SDB_OK(SdbGotoRecord(t, 2));
  EXPECT_EQ("kept", Get(t, "NAME"));
}

TEST_F(SdbCursor, AppendsStopWhereRecordNumbersEnd) {
  Fill(1);
  sqlite3* raw = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(dd.c_str(), &raw));
  ASSERT_EQ(SQLITE_OK,
            sqlite3_exec(raw, "UPDATE sqlite_sequence SET seq = 4294967294 WHERE name = 'T'",
                         nullptr, nullptr, nullptr));
  sqlite3_close(raw);
  SDBHANDLE other = Other();
  SDBHANDLE t = Open("T"), theirs = Open("T", 0, other);
  SDB_OK(Append(t, 2));
  EXPECT_EQ(4294967295u, RecNo(t));
  SDB_OK(SdbLockRecord(t, 0));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, SdbLockRecord(theirs, 4294967295u));
  SDB_OK(SdbLockRecord(theirs, 1));  // the last number's lock is its own

  EXPECT_EQ(SDB_E_VALUE_OUT_OF_RANGE, SdbAppendRecord(t));
  EXPECT_NE(LastError().find("record numbers"), std::string::npos) << LastError();
  EXPECT_EQ(SDB_E_VALUE_OUT_OF_RANGE, SdbAppendRecord(theirs));
  EXPECT_EQ(2u, Count(t));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, SqlUpdatesAndDeletesRespectRecordLocksOfOtherConnections) {
  Fill(3);
  SDBHANDLE other = Other();
  SDBHANDLE theirs = Open("T", 0, other);
  SDB_OK(SdbLockRecord(theirs, 2));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, Exec("UPDATE T SET NAME = 'sql' WHERE ID >= 1"));
  EXPECT_NE(LastError().find("locked"), std::string::npos) << LastError();
  EXPECT_EQ(SDB_E_RECORD_LOCKED, Exec("DELETE FROM T WHERE ID = 2"));
  EXPECT_EQ(SDB_E_RECORD_LOCKED, Exec("DELETE FROM T"));
  SDBHANDLE t = Open("T");
  EXPECT_EQ(3u, Count(t));
  SDB_OK(SdbGotoRecord(t, 1));
  EXPECT_EQ("n1", Get(t, "NAME"));  // the refused statement changed no row
  SDB_OK(Exec("UPDATE T SET NAME = 'sql' WHERE ID <> 2"));
  SDB_OK(Exec(other, "UPDATE T SET NAME = 'owner' WHERE ID = 2"));  // the holder may
  SDB_OK(SdbUnlockRecord(theirs, 2));
  SDB_OK(Exec("DELETE FROM T WHERE ID = 2"));
  EXPECT_EQ(2u, Count(t));
  SDB_OK(SdbDisconnect(other));
}

TEST_F(SdbCursor, TheRecordCacheSizeReadsBackAndAWalkHonoursIt) {
  Fill(30);
  SDBHANDLE t = Open("T");
  uint32_t n = 0;
  SDB_OK(SdbGetCacheRecords(t, &n));
  EXPECT_EQ(2048u, n);
  for (uint16_t size : {10, 0, 100}) {
    SDB_OK(SdbCacheRecords(t, size));
    SDB_OK(SdbGetCacheRecords(t, &n));
    EXPECT_EQ(size, n);
    int seen = 0;
    SDB_OK(SdbGotoTop(t));
    while (!AtEof(t) && seen <= 30) {
      ++seen;
      SDB_OK(SdbSkip(t, 1));
    }
    EXPECT_EQ(30, seen);
  }
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbGetCacheRecords(t, nullptr));
  SdbCloseTable(t);
}

namespace {

// One step of a walk as SdbFetchRecord answers it, or as the calls it stands
// for answer it one after the other.
struct FetchStep {
  uint32_t rc = 0;
  uint16_t fetched = SDB_FETCH_HIDDEN;
  std::vector<uint8_t> image;
  std::vector<uint8_t> bookmark;
  std::string error;  // the last error after the step
  bool operator==(const FetchStep&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FetchStep& s) {
  return out << "rc " << s.rc << ", fetched " << s.fetched << ", " << s.image.size()
             << " image bytes, bookmark "
             << (s.bookmark.empty() ? 0 : s.bookmark[0] | s.bookmark[1] << 8) << ", last error "
             << s.error;
}

constexpr uint32_t kRoom = 64;

FetchStep FetchBySeparateCalls(SDBHANDLE move, SDBHANDLE table, int32_t skip, uint16_t ends,
                               uint32_t room = kRoom) {
  SdbSetLastError(0, "");
  FetchStep s;
  auto done = [&](uint32_t rc) {
    s.rc = rc;
    s.error = LastError();
    return s;
  };
  uint32_t rc = skip != 0 ? SdbSkip(move, skip) : 0;
  if (rc) return done(rc);
  uint16_t at = 0;
  if ((ends & SDB_FETCH_AT_EOF) && ((rc = SdbAtEOF(table, &at)) != 0 || at)) {
    if (at) s.fetched = SDB_FETCH_EOF;
    return done(rc);
  }
  if ((ends & SDB_FETCH_AT_BOF) && ((rc = SdbAtBOF(table, &at)) != 0 || at)) {
    if (at) s.fetched = SDB_FETCH_BOF;
    return done(rc);
  }
  uint16_t visible = 0;
  rc = SdbIsRecordVisible(move, &visible);
  if (rc == SDB_E_NO_CURRENT_RECORD || (rc == 0 && !visible)) return done(0);
  if (rc) return done(rc);
  s.image.resize(room);
  uint32_t length = room;
  rc = SdbGetRecord(table, s.image.data(), &length);
  s.image.resize(std::min(length, room));
  if (rc) return done(rc);
  s.bookmark.resize(4);
  uint32_t bookmarkLength = 4;
  if ((rc = SdbGetBookmark60(move, s.bookmark.data(), &bookmarkLength)) != 0) return done(rc);
  s.fetched = SDB_FETCH_RECORD;
  return done(0);
}

FetchStep FetchByOneCall(SDBHANDLE move, SDBHANDLE table, int32_t skip, uint16_t ends,
                         uint32_t room = kRoom) {
  SdbSetLastError(0, "");
  FetchStep s;
  s.image.resize(room);
  s.bookmark.resize(4);
  uint32_t length = room, bookmarkLength = 4;
  s.rc = SdbFetchRecord(move, table, skip, ends, s.image.data(), &length, s.bookmark.data(),
                        &bookmarkLength, &s.fetched);
  s.error = LastError();
  // Only what the separate calls would have written is compared.
  if (s.fetched == SDB_FETCH_RECORD || s.rc == SDB_E_INSUFFICIENT_BUFFER)
    s.image.resize(std::min(length, room));
  else
    s.image.clear();
  if (s.fetched != SDB_FETCH_RECORD) s.bookmark.clear();
  return s;
}

}  // namespace

TEST_F(SdbCursor, FetchRecordAnswersAsTheCallsItStandsFor) {
  Fill(40);
  SDB_OK(Exec("CREATE INDEX NAME ON T (NAME);"));
  // Two cursors on the same rows: one moved by the separate calls, one by
  // SdbFetchRecord; every step must answer alike.
  SDBHANDLE a = Open("T"), b = Open("T");
  int records = 0;
  auto same = [&](SDBHANDLE moveA, SDBHANDLE moveB, int32_t skip, uint16_t ends,
                  uint32_t room = kRoom) {
    FetchStep want = FetchBySeparateCalls(moveA, a, skip, ends, room);
    FetchStep got = FetchByOneCall(moveB, b, skip, ends, room);
    EXPECT_EQ(want, got) << "skip " << skip << ", ends " << ends;
    if (got.fetched == SDB_FETCH_RECORD) ++records;
    return got;
  };

  // Forward across batch ends to EOF and on past it, the way back to BOF.
  SDB_OK(SdbGotoBOF(a));
  SDB_OK(SdbGotoBOF(b));
  while (same(a, b, 1, SDB_FETCH_AT_EOF).fetched == SDB_FETCH_RECORD) {
  }
  EXPECT_EQ(40, records);
  EXPECT_EQ(SDB_FETCH_EOF, same(a, b, 1, SDB_FETCH_AT_EOF).fetched);
  same(a, b, 0, 0);  // no current record: not shown, the error kept
  records = 0;
  while (same(a, b, -1, SDB_FETCH_AT_BOF).fetched == SDB_FETCH_RECORD) {
  }
  EXPECT_EQ(40, records);

  // Through an index handle with a scope: index order, the table's image.
  SDBHANDLE xa = 0, xb = 0;
  SDB_OK(SdbGetIndexHandle(a, "NAME", &xa));
  SDB_OK(SdbGetIndexHandle(b, "NAME", &xb));
  for (SDBHANDLE x : {xa, xb}) {
    SDB_OK(SdbSetScope(x, SDB_TOP, reinterpret_cast<const uint8_t*>("n2"), 2, SDB_STRINGKEY));
    SDB_OK(SdbSetScope(x, SDB_BOTTOM, reinterpret_cast<const uint8_t*>("n2"), 2, SDB_STRINGKEY));
    SDB_OK(SdbGotoBOF(x));
  }
  records = 0;
  while (same(xa, xb, 1, SDB_FETCH_AT_EOF | SDB_FETCH_AT_BOF).fetched == SDB_FETCH_RECORD) {
  }
  EXPECT_EQ(11, records);  // n2, n20..n29

  // Filtered: a record written by another connection out of the filter while
  // it is current is not shown; the next one is.
  SDBHANDLE other = Other();
  SDBHANDLE theirs = Open("T", 0, other);
  for (SDBHANDLE t : {a, b}) {
    SDB_OK(SdbSetAOF100(t, "ID > 30", 0));
    SDB_OK(SdbGotoTop(t));
  }
  EXPECT_EQ(SDB_FETCH_RECORD, same(a, b, 1, SDB_FETCH_AT_EOF).fetched);  // 32
  SDB_OK(SdbGotoRecord(theirs, 32));
  SDB_OK(Set(theirs, "ID", "5"));
  SDB_OK(SdbWriteRecord(theirs));
  EXPECT_EQ(SDB_FETCH_HIDDEN, same(a, b, 0, SDB_FETCH_AT_EOF | SDB_FETCH_AT_BOF).fetched);
  // Deleted by the other connection while current: not shown either.
  EXPECT_EQ(SDB_FETCH_RECORD, same(a, b, 1, SDB_FETCH_AT_EOF).fetched);  // 33
  SDB_OK(SdbGotoRecord(theirs, 33));
  SDB_OK(SdbDeleteRecord(theirs));
  EXPECT_EQ(SDB_FETCH_HIDDEN, same(a, b, 0, SDB_FETCH_AT_EOF | SDB_FETCH_AT_BOF).fetched);
  EXPECT_EQ(SDB_FETCH_RECORD, same(a, b, 1, SDB_FETCH_AT_EOF).fetched);  // 34

  // A pending update: its image is the one delivered.
  SDB_OK(Set(a, "NAME", "pending"));
  SDB_OK(Set(b, "NAME", "pending"));
  FetchStep pending = same(a, b, 0, SDB_FETCH_AT_EOF | SDB_FETCH_AT_BOF);
  EXPECT_NE(pending.image.end(),
            std::search(pending.image.begin(), pending.image.end(), "pending", "pending" + 7));
  SDB_OK(SdbCancelUpdate(a));
  SDB_OK(SdbCancelUpdate(b));

  // Failures answer the failing call's code and text.
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, same(a, b, 0, SDB_FETCH_AT_EOF, 4).rc);
  EXPECT_EQ(SDB_E_INVALID_HANDLE, same(0x7FFFFFF0, 0x7FFFFFF0, 1, SDB_FETCH_AT_EOF).rc);
  uint16_t fetched = 0;
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT,
            SdbFetchRecord(b, b, 0, SDB_FETCH_AT_EOF, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbFetchRecord(b, b, 0, SDB_FETCH_AT_EOF, nullptr, nullptr,
                                                   nullptr, nullptr, &fetched));
  SDB_OK(SdbDisconnect(other));
}
