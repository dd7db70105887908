// Tests of SdbSetBinary's stated total length: a total that the field or
// parameter cannot hold is refused before memory of that size is taken.
// This executable counts the largest single allocation made through
// operator new, so the refusal can be shown to come first.
#include <atomic>
#include <cstdlib>
#include <new>

#include "sdbengineTesting.h"

namespace {
std::atomic<size_t> gLargest{0};

void* Take(size_t n) {
  size_t seen = gLargest.load();
  while (n > seen && !gLargest.compare_exchange_weak(seen, n)) {
  }
  // Nothing here needs more; a larger request is the fault under test, and
  // failing it keeps a faulty engine from taking gigabytes.
  if (n > (size_t(256) << 20)) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(size_t n) {
  return Take(n);
}
void* operator new[](size_t n) {
  return Take(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}
// The standard library takes its temporary buffers through the nothrow forms;
// they must come from the same allocator as the plain ones.
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  try {
    return Take(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  try {
    return Take(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

using namespace sdbtest;

namespace {

class SdbBinary : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SDB_OK(Exec("CREATE TABLE T (R RAW(200), B BLOB, I INTEGER)"));
    t = Open("T");
    SDB_OK(SdbAppendRecord(t));
  }
  void TearDown() override {
    SdbCloseTable(t);
    EngineTest::TearDown();
  }
  // The code of SdbSetBinary with a 10-byte first piece of `total` bytes,
  // and the largest allocation the call made.
  uint32_t SetHuge(SDBHANDLE h, SDBFIELD field, uint32_t total, size_t& largest) {
    static const uint8_t piece[10] = {1, 2, 3};
    gLargest = 0;
    uint32_t rc = SdbSetBinary(h, field, SDB_MEMO_BINARY, total, 0, piece, sizeof piece);
    largest = gLargest;
    return rc;
  }
  SDBHANDLE t = 0;
};

constexpr uint32_t kTwoGiB = 0x80000000u;
constexpr size_t kSmall = 1 << 20;

}  // namespace

TEST_F(SdbBinary, AHugeTotalIsRefusedBeforeItIsAllocated) {
  size_t largest = 0;
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, SetHuge(t, "R", kTwoGiB, largest));
  EXPECT_LT(largest, kSmall);
  EXPECT_NE(LastError().find("\"R\""), std::string::npos) << LastError();
  // A blob field takes what SQLite can store, no more.
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, SetHuge(t, "B", kTwoGiB, largest));
  EXPECT_LT(largest, kSmall);
  // A field of the wrong size refuses before allocating as well.
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, SetHuge(t, "I", kTwoGiB, largest));
  EXPECT_LT(largest, kSmall);
  // Statement parameters and key values: the same rule.
  SDBHANDLE stmt = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  SDB_OK(SdbPrepareSQLW(stmt, u"SELECT * FROM T WHERE B = :b"));
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, SetHuge(stmt, SDB_FIELD(1), kTwoGiB, largest));
  EXPECT_LT(largest, kSmall);
  EXPECT_EQ(SDB_E_FIELD_NOT_FOUND, SetHuge(stmt, SDB_FIELD(2), kTwoGiB, largest));
  EXPECT_LT(largest, kSmall);
  SdbCloseSQLStatement(stmt);
  SDB_OK(Exec("CREATE INDEX RX ON T (R)"));
  SdbCloseTable(t);
  t = Open("T");
  SDBHANDLE index = 0;
  SDB_OK(SdbGetIndexHandle(t, "RX", &index));
  SDB_OK(SdbInitRawKey(index));
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, SetHuge(index, "R", kTwoGiB, largest));
  EXPECT_LT(largest, kSmall);
}

TEST_F(SdbBinary, ValuesThatFitAreStillWrittenInPieces) {
  const uint8_t a[3] = {'a', 'b', 'c'}, b[2] = {'d', 'e'};
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 5, 0, a, 3));
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 5, 3, b, 2));
  SDB_OK(SdbSetBinary(t, "R", SDB_MEMO_BINARY, 200, 0, a, 3));
  SDB_OK(SdbWriteRecord(t));
  uint8_t out[8];
  uint32_t len = sizeof out;
  SDB_OK(SdbGetBinary(t, "B", 0, out, &len));
  EXPECT_EQ("abcde", std::string(reinterpret_cast<char*>(out), len));
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, SdbSetBinary(t, "R", SDB_MEMO_BINARY, 201, 0, a, 3));
}
