// Record and table locks between owners of one process and between processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "sdbstore.h"

using namespace sdbstore;

namespace {

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sdbstore_lockXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    lock = dir + "/db.add.lck";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir, lock;
};

// Runs body in a child process; answers its exit status.
int InChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(LockTest, OwnersInOneProcessConflict) {
  LockOwner a(lock), b(lock);
  EXPECT_TRUE(a.LockRecord(1, 5));
  EXPECT_TRUE(a.LockRecord(1, 5)) << "a lock held again is still held";
  EXPECT_FALSE(b.LockRecord(1, 5));
  EXPECT_TRUE(b.LockedByOther(1, 5));
  EXPECT_FALSE(a.LockedByOther(1, 5));
  EXPECT_TRUE(b.LockRecord(2, 5)) << "another table";
  EXPECT_TRUE(b.LockRecord(1, 6));
  EXPECT_TRUE(a.HoldsRecord(1, 5));
  EXPECT_FALSE(b.UnlockRecord(1, 5)) << "not b's lock";
  EXPECT_FALSE(b.LockRecord(1, 5));
  EXPECT_TRUE(a.UnlockRecord(1, 5));
  EXPECT_TRUE(b.LockRecord(1, 5));
  EXPECT_EQ(b.HeldRecords(1), (std::vector<int64_t>{5, 6}));
  b.UnlockAll(1);
  EXPECT_TRUE(b.HeldRecords(1).empty());
  EXPECT_TRUE(b.HoldsRecord(2, 5));
  EXPECT_TRUE(a.LockRecord(1, 6));
  {
    LockOwner c(lock);
    EXPECT_TRUE(c.LockRecord(3, 1));
  }
  EXPECT_TRUE(a.LockRecord(3, 1)) << "a closed owner drops its locks";
  // Another owner closing its description does not drop ours.
  EXPECT_FALSE(b.LockRecord(1, 6));
}

TEST_F(LockTest, TableSharing) {
  LockOwner a(lock), b(lock), c(lock);
  EXPECT_TRUE(a.LockTable(7, false));
  EXPECT_TRUE(b.LockTable(7, false));
  EXPECT_FALSE(c.LockTable(7, true)) << "exclusive while others share";
  a.UnlockTable(7);
  b.UnlockTable(7);
  EXPECT_TRUE(c.LockTable(7, true));
  EXPECT_FALSE(a.LockTable(7, false));
  EXPECT_TRUE(c.LockRecord(7, 1)) << "record locks are apart from the table lock";
  c.UnlockTable(7);
  EXPECT_TRUE(a.LockTable(7, false));
}

TEST_F(LockTest, ProcessesConflictAndADeadProcessLosesItsLocks) {
  LockOwner mine(lock);
  ASSERT_TRUE(mine.LockRecord(1, 1));
  // The child cannot take our record, but takes another and keeps it.
  int pipeDown[2], pipeUp[2];
  ASSERT_EQ(pipe(pipeDown), 0);
  ASSERT_EQ(pipe(pipeUp), 0);
  pid_t pid = fork();
  if (pid == 0) {
    LockOwner child(lock);
    int code = child.LockRecord(1, 1) ? 10 : 0;
    if (!child.LockRecord(1, 2)) code = 11;
    char c = 'r';
    if (write(pipeUp[1], &c, 1) != 1) code = 12;
    if (read(pipeDown[0], &c, 1) != 1) code = 13;  // hold until told, then die holding it
    _exit(code);
  }
  char c;
  ASSERT_EQ(read(pipeUp[0], &c, 1), 1);
  EXPECT_FALSE(mine.LockRecord(1, 2));
  EXPECT_TRUE(mine.LockedByOther(1, 2));
  c = 'x';
  ASSERT_EQ(write(pipeDown[1], &c, 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(mine.LockRecord(1, 2)) << "the kernel dropped the dead child's lock";
  // After we unlock, another process can lock.
  ASSERT_TRUE(mine.UnlockRecord(1, 1));
  EXPECT_EQ(InChild([&] {
              LockOwner child(lock);
              return child.LockRecord(1, 1) && !child.LockRecord(1, 2) ? 0 : 1;
            }),
            0);
  close(pipeDown[0]), close(pipeDown[1]), close(pipeUp[0]), close(pipeUp[1]);
}

TEST_F(LockTest, ConflictTextNamesTheRecord) {
  EXPECT_EQ(LockConflictText("CD_Currency", 12),
            "The record 12 of table CD_Currency is locked by another user.");
  EXPECT_THROW(LockOwner(dir + "/no/such/folder/x.lck"), StoreError);
}
