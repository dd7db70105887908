// Blob fields through the dataset: the cache read once per record, the
// stream modes and their refusals, Unicode memos, cancelling, and values of
// 0, 1 and 1,000,000 bytes as the sqlite3 shell stores them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtable.h"
#include "sdbtesting.h"

namespace {

using sdbtesting::ErrorOf;

class BlobTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    sdbtesting::RunSql(Dictionary(),
                       "CREATE TABLE B (ID INTEGER, M MEMO, BL BLOB, NM NMEMO, V VARCHAR(40));"
                       "INSERT INTO B VALUES (1, 'first memo', x'000102', 'Zürich €', 'var'), "
                       "(2, NULL, NULL, NULL, NULL), (3, 'x', x'ff', 'ü', 'v');");
    connection = std::make_unique<TSdbConnection>();
    connection->SetLoginPrompt(false);
    connection->SetConnectPath(Dictionary());
    table = std::make_unique<TSdbTable>();
    table->SetSdbConnection(connection.get());
    table->SetTableName("B");
    table->Open();
  }
  void TearDown() override {
    table.reset();
    connection.reset();
  }
  TField* F(const char* name) { return table->FieldByName(name); }
  // Changes a stored value behind the dataset's back.
  void StoreElsewhere(const std::string& sql) { sdbtesting::RunSql(Dictionary(), sql); }

  std::unique_ptr<TSdbConnection> connection;
  std::unique_ptr<TSdbTable> table;
};

TEST_F(BlobTest, ValuesReadThroughTheCacheOncePerRecord) {
  EXPECT_EQ(F("M")->AsString(), "first memo");
  EXPECT_EQ(static_cast<TBlobField*>(F("BL"))->AsBytes(), std::string("\0\1\2", 3));
  EXPECT_EQ(F("NM")->AsString(), "Zürich €");
  EXPECT_EQ(F("V")->AsString(), "var");
  // The second read of the record comes from the cache, not the engine.
  StoreElsewhere("UPDATE B SET M = 'changed' WHERE ID = 1");
  EXPECT_EQ(F("M")->AsString(), "first memo");
  // Reading the record again brings the new value.
  table->Next();
  EXPECT_TRUE(F("M")->IsNull());
  EXPECT_EQ(F("M")->AsString(), "");
  table->Prior();
  table->Refresh();
  EXPECT_EQ(F("M")->AsString(), "changed");
  table->Last();
  EXPECT_EQ(F("NM")->AsString(), "ü");
  EXPECT_EQ(static_cast<TBlobField*>(F("NM"))->BlobSize(), 2);  // two bytes per character
  table->SetSdbBinaryFldLen(12);
  EXPECT_EQ(table->SdbBinaryFldLen(), 12);
}

TEST_F(BlobTest, StreamModesAndTheirRefusals) {
  // Writing needs an edit.
  EXPECT_EQ(ErrorOf([&] { table->CreateBlobStream(F("M"), bmWrite); }),
            "Table must be in Edit or Insert state to open blob stream in Write Mode.");
  EXPECT_EQ(ErrorOf([&] { table->CreateBlobStream(F("M"), bmReadWrite); }),
            "Table must be in Edit or Insert state to open blob stream in Write Mode.");
  auto reader = table->CreateBlobStream(F("M"), bmRead);
  EXPECT_EQ(ErrorOf([&] { reader->Write("x", 1); }), "Error modifying read only blob.");
  reader.reset();
  EXPECT_EQ(ErrorOf([&] { TSdbBlobStream(table.get(), F("ID"), bmRead); }),
            "Invalid blob open on non-blob field.");

  table->Edit();
  {
    // bmWrite empties the value even when nothing is written.
    auto writer = table->CreateBlobStream(F("M"), bmWrite);
    EXPECT_EQ(writer->Size(), 0);
  }
  EXPECT_TRUE(F("M")->IsNull());
  EXPECT_TRUE(table->Modified());
  EXPECT_TRUE(static_cast<TBlobField*>(F("M"))->Modified());
  {
    // bmReadWrite starts from the engine's value, not from a stale cache.
    StoreElsewhere("UPDATE B SET BL = x'0a0b' WHERE ID = 1");
    auto both = table->CreateBlobStream(F("BL"), bmReadWrite);
    EXPECT_EQ(both->ReadAll(), "\x0a\x0b");
    both->Write("\x0c", 1);
  }
  {
    // A second one in the same edit sees the first one's unsaved change.
    auto both = table->CreateBlobStream(F("BL"), bmReadWrite);
    EXPECT_EQ(both->ReadAll(), "\x0a\x0b\x0c");
  }
  // Cancelling discards the cached changes: the stored values read again.
  table->Cancel();
  EXPECT_EQ(F("M")->AsString(), "first memo");
  EXPECT_EQ(static_cast<TBlobField*>(F("BL"))->AsBytes(), "\x0a\x0b");
}

TEST_F(BlobTest, AUnicodeMemoHoldsTwoBytesPerCharacterInTheCache) {
  table->Edit();
  F("NM")->SetAsString("Ωmega");
  auto stream = table->CreateBlobStream(F("NM"), bmRead);
  auto* blob = dynamic_cast<TSdbBlobStream*>(stream.get());
  ASSERT_NE(blob, nullptr);
  ASSERT_NE(blob->Cache(), nullptr);
  EXPECT_EQ(blob->Cache()->Size(), 10);
  EXPECT_TRUE(blob->Cache()->IsCacheModified());
  stream.reset();
  EXPECT_EQ(F("NM")->AsString(), "Ωmega");
  table->Cancel();
}

TEST_F(BlobTest, LargeValuesReadBackWhole) {
  std::string big(1000000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  std::string hex;
  static const char digits[] = "0123456789abcdef";
  for (unsigned char c : big) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  StoreElsewhere("UPDATE B SET BL = x'" + hex + "', M = '" + std::string(1000000, 'm') +
                 "' WHERE ID = 2");
  table->Refresh();
  table->First();
  table->Next();
  EXPECT_EQ(static_cast<TBlobField*>(F("BL"))->AsBytes(), big);
  EXPECT_EQ(F("M")->AsString().size(), 1000000u);
  StoreElsewhere("UPDATE B SET BL = x'41', M = 'm' WHERE ID = 2");
  table->Refresh();
  EXPECT_EQ(static_cast<TBlobField*>(F("BL"))->AsBytes(), "A");
  EXPECT_EQ(F("M")->AsString(), "m");
}

// A memo and a binary blob written through the blob streams with the record
// and write caches on, posted, land in the file as written: sqlite3 reads
// them back byte for byte (a memo as text, a blob as bytes).
TEST_F(BlobTest, StreamWritesPostThroughTheCachesIntoTheFile) {
  table->Close();
  table->SdbTableOptions().SetSdbCachingOption(tcWrites);
  table->SdbTableOptions().SetSdbRecordCache(rcAggressive);
  table->Open();
  std::string big(1000000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 % 256);
  std::string longMemo(1000000, 'm');
  for (size_t i = 0; i < longMemo.size(); i += 997) longMemo[i] = 'a' + i % 26;
  const std::vector<std::pair<std::string, std::string>> values = {
      {"", ""}, {"q", std::string(1, '\0')}, {longMemo, big}};
  int id = 10;
  for (const auto& [memo, bytes] : values) {
    table->Append();
    F("ID")->SetAsInteger(id++);
    table->CreateBlobStream(F("M"), bmWrite)->Write(memo.data(), memo.size());
    table->CreateBlobStream(F("BL"), bmWrite)->Write(bytes.data(), bytes.size());
    table->Post();
  }
  id = 10;
  for (const auto& [memo, bytes] : values) {
    auto rows = sdbtesting::SqliteRows(
        Dictionary(),
        "SELECT coalesce(M, ''), coalesce(BL, x''), typeof(M), typeof(BL) FROM B "
        "WHERE ID = " +
            std::to_string(id++));
    ASSERT_EQ(rows.size(), 1u) << memo.size();
    EXPECT_EQ(rows[0][0], memo) << memo.size();
    EXPECT_EQ(rows[0][1], bytes) << bytes.size();
    if (!memo.empty()) {
      EXPECT_EQ(rows[0][2], "text");
    }
    if (!bytes.empty()) {
      EXPECT_EQ(rows[0][3], "blob");
    }
  }
}

}  // namespace
