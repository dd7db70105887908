// Tests of record images and field values through the C API: every field
// type's empty value, a round trip of values, their stored SQL form, and
// column errors.
#include <cstring>

#include "sdbengineTesting.h"

using namespace sdbtest;

namespace {

class SdbRecords : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SDB_OK(
        Exec("CREATE TABLE T (L LOGICAL, N NUMERIC(6,2), D DATE, S CHAR(10), M MEMO, B BLOB, "
             "IM IMAGE, V VARCHAR(20), DB DOUBLE, I INTEGER, SH SHORT, TM TIME, TS TIMESTAMP, "
             "AI AUTOINC, R RAW(4), CD CURDOUBLE, MO MONEY, CI CICHAR(5), RV ROWVERSION, "
             "MT MODTIME, NC NCHAR(4), NV NVARCHAR(6), NM NMEMO, CP COMPACTDATE, VF VARCHARFOX(8), "
             "VB VARBINARY(4))"));
    t = Open("T");
    SDB_OK(SdbGetRecordLength(t, &length));
  }

  uint32_t Offset(const char* field) {
    uint32_t offset = 0;
    EXPECT_EQ(0u, SdbGetFieldOffset(t, field, &offset)) << LastError();
    return offset;
  }
  std::vector<uint8_t> Image() {
    std::vector<uint8_t> image(length);
    uint32_t len = length;
    EXPECT_EQ(0u, SdbGetRecord(t, image.data(), &len)) << LastError();
    EXPECT_EQ(length, len);
    return image;
  }
  template <class V>
  V At(const std::vector<uint8_t>& image, const char* field, uint32_t plus = 0) {
    V v;
    std::memcpy(&v, image.data() + Offset(field) + plus, sizeof v);
    return v;
  }
  bool Empty(const char* field) {
    uint16_t empty = 0;
    EXPECT_EQ(0u, SdbIsEmpty(t, field, &empty)) << LastError();
    return empty;
  }
  // The value as the sqlite3 shell sees it.
  std::string Stored(const std::string& column) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(dd.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT quote(\"" + column + "\") FROM T ORDER BY rowid DESC LIMIT 1";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::string out = sqlite3_step(st) == SQLITE_ROW
                          ? reinterpret_cast<const char*>(sqlite3_column_text(st, 0))
                          : "<no row>";
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }

  SDBHANDLE t = 0;
  uint32_t length = 0;
};

}  // namespace

TEST_F(SdbRecords, FieldDescriptionsAndLayout) {
  uint16_t fields = 0, type = 0, decimals = 0;
  SDB_OK(SdbGetNumFields(t, &fields));
  EXPECT_EQ(26, fields);
  char name[129];
  uint16_t len = sizeof name;
  SDB_OK(SdbGetFieldName(t, 2, name, &len));
  EXPECT_STREQ("N", name);
  SDB_OK(SdbGetFieldType(t, "n", &type));
  EXPECT_EQ(SDB_NUMERIC, type);
  SDB_OK(SdbGetFieldDecimals(t, SDB_FIELD(2), &decimals));
  EXPECT_EQ(2, decimals);
  uint32_t flen = 0;
  SDB_OK(SdbGetFieldLength(t, "NC", &flen));
  EXPECT_EQ(4u, flen);  // characters
  SDB_OK(SdbGetFieldType(t, "SH", &type));
  EXPECT_EQ(SDB_SHORTINT, type);
  EXPECT_EQ(0u, Offset("L"));
  EXPECT_EQ(1u, Offset("N"));
  EXPECT_EQ(7u, Offset("D"));
  EXPECT_EQ(SDB_E_FIELD_NOT_FOUND, SdbGetFieldType(t, "NOPE", &type));
  EXPECT_EQ(SDB_E_FIELD_NOT_FOUND, SdbGetFieldType(t, SDB_FIELD(27), &type));
  len = 1;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetFieldName(t, 1, name, &len));
  EXPECT_EQ(2, len);
  uint32_t options = 0;
  SDB_OK(SdbGetTableOpenOptions(t, &options));
  EXPECT_EQ(SDB_RIGHT_UPDATE | SDB_RIGHT_INSERT, options);
  uint8_t perms = 0;
  SDB_OK(SdbGetColumnPermissions(t, "S", &perms));
  EXPECT_EQ(SDB_PERMISSION_READ | SDB_PERMISSION_UPDATE | SDB_PERMISSION_INSERT, perms);
  char collation[101];
  len = sizeof collation;
  EXPECT_EQ(SDB_E_NO_COLLATION, SdbGetTableCollation(t, collation, &len));
}

TEST_F(SdbRecords, EmptyRecordHoldsEveryTypesEmptyValue) {
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(SdbWriteRecord(t));
  auto image = Image();
  EXPECT_EQ(' ', image[Offset("L")]);
  EXPECT_EQ(0x80000000u, At<uint32_t>(image, "I"));
  EXPECT_EQ(0x8000, At<uint16_t>(image, "SH"));
  EXPECT_EQ(0x8000000000000020ull, At<uint64_t>(image, "DB"));
  EXPECT_EQ(0xFFFFFFFFu, At<uint32_t>(image, "TM"));
  EXPECT_EQ(0u, At<uint32_t>(image, "TS"));  // julian day 0
  EXPECT_EQ(0x8000000000000000ull, At<uint64_t>(image, "MO"));
  EXPECT_EQ(0u, At<uint32_t>(image, "M"));  // blob indicator
  EXPECT_EQ(0u, At<uint32_t>(image, "D"));
  EXPECT_EQ(0xFFFF, At<uint16_t>(image, "NV", 12));
  for (const char* f : {"L",  "N", "D",  "S",  "M",  "B",  "IM", "V",  "DB", "I",  "SH", "TM",
                        "TS", "R", "CD", "MO", "CI", "NC", "NV", "NM", "CP", "VF", "VB"})
    EXPECT_TRUE(Empty(f)) << f;
  // The engine fills AUTOINC, ROWVERSION and MODTIME.
  uint32_t recno = RecNo(t);
  EXPECT_EQ(recno, At<uint32_t>(image, "AI"));
  uint32_t autoinc = 0;
  SDB_OK(SdbGetLastAutoinc(t, &autoinc));
  EXPECT_EQ(recno, autoinc);
  EXPECT_FALSE(Empty("RV"));
  EXPECT_FALSE(Empty("MT"));
  EXPECT_EQ("NULL", Stored("S"));
  EXPECT_EQ("NULL", Stored("L"));

  std::vector<uint8_t> null(length);
  uint32_t len = length;
  SDB_OK(SdbGetNullRecord(t, null.data(), &len));
  EXPECT_EQ(0x80000000u, At<uint32_t>(null, "I"));
  std::vector<uint8_t> cleared(length, 0xAB);
  SDB_OK(SdbClearRecordBuffer(t, cleared.data(), length));
  EXPECT_EQ(null, cleared);
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbClearRecordBuffer(t, cleared.data(), length - 1));
}

TEST_F(SdbRecords, ValuesRoundTripThroughImageTextAndStorage) {
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(SdbSetLogical(t, "L", 1));
  SDB_OK(SdbSetDouble(t, "N", 12.5));
  SDB_OK(SdbSetJulian(t, "D", 2460370));  // 2024-02-29
  SDB_OK(Set(t, "S", "abc"));
  SDB_OK(Set(t, "M", "a memo text"));
  const uint8_t bytes[] = {1, 0, 2, 255};
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 4, 0, bytes, 4));
  SDB_OK(Set(t, "V", "varying"));
  SDB_OK(SdbSetDouble(t, "DB", -2.25));
  SDB_OK(Set(t, "I", "-2147483647"));
  SDB_OK(Set(t, "SH", "-7"));
  SDB_OK(SdbSetMilliseconds(t, "TM", 45296789));  // 12:34:56.789
  uint8_t ts[8];
  int32_t julian = 2415019, ms = 43200000;
  std::memcpy(ts, &julian, 4);
  std::memcpy(ts + 4, &ms, 4);
  SDB_OK(SdbSetTimeStampRaw(t, "TS", ts, 8));
  SDB_OK(SdbSetFieldRaw(t, "R", bytes, 4));
  SDB_OK(Set(t, "MO", "1234.5678"));
  SDB_OK(Set(t, "CI", "MiXed"));
  std::u16string wide = u"\u00e4\u00f6\u00fc";
  SDB_OK(SdbSetFieldW(t, "NC", wide.c_str(), 3));
  SDB_OK(SdbSetFieldW(t, "NV", wide.c_str(), 3));
  SDB_OK(SdbSetStringW(t, "NM", u"wide memo", 9));
  SDB_OK(SdbWriteRecord(t));

  // Read through a second handle so nothing comes from the writer's buffers.
  SDBHANDLE r = Open("T");
  SDB_OK(SdbGotoTop(r));
  std::swap(t, r);
  auto image = Image();
  EXPECT_EQ('T', image[Offset("L")]);
  EXPECT_EQ(" 12.50", std::string(reinterpret_cast<char*>(&image[Offset("N")]), 6));
  EXPECT_EQ(2460370u, At<uint32_t>(image, "D"));
  EXPECT_EQ(-2147483647, At<int32_t>(image, "I"));
  EXPECT_EQ(-7, At<int16_t>(image, "SH"));
  EXPECT_EQ(45296789u, At<uint32_t>(image, "TM"));
  EXPECT_EQ(2415019u, At<uint32_t>(image, "TS"));
  EXPECT_EQ(43200000u, At<uint32_t>(image, "TS", 4));
  EXPECT_EQ(12345678, At<int64_t>(image, "MO"));
  EXPECT_EQ(0, std::memcmp(bytes, &image[Offset("R")], 4));
  EXPECT_EQ(3, At<uint16_t>(image, "NV", 12));
  EXPECT_EQ(11u, At<uint32_t>(image, "M"));

  EXPECT_EQ("T", Get(t, "L"));
  EXPECT_EQ("12.50", Get(t, "N"));
  EXPECT_EQ("02/29/2024", Get(t, "D"));
  EXPECT_EQ("abc", Get(t, "S"));
  EXPECT_EQ("a memo text", Get(t, "M"));
  EXPECT_EQ("varying", Get(t, "V"));
  EXPECT_EQ("MiXed", Get(t, "CI"));
  char padded[32];
  uint32_t len = sizeof padded;
  SDB_OK(SdbGetField(t, "S", padded, &len, SDB_NONE));
  EXPECT_EQ("abc       ", std::string(padded, len));
  char16_t w[16];
  len = 16;
  SDB_OK(SdbGetFieldW(t, "NV", w, &len, SDB_NONE));
  EXPECT_EQ(wide, std::u16string(w, len));
  len = 16;
  SDB_OK(SdbGetFieldW(t, "NM", w, &len, SDB_NONE));
  EXPECT_EQ(u"wide memo", std::u16string(w, len));

  uint8_t blob[8];
  len = 0;
  SDB_OK(SdbGetBinaryLength(t, "B", &len));
  EXPECT_EQ(4u, len);
  len = sizeof blob;
  SDB_OK(SdbGetBinary(t, "B", 1, blob, &len));
  EXPECT_EQ(3u, len);
  EXPECT_EQ(0, std::memcmp(bytes + 1, blob, 3));
  uint16_t memoType = 0;
  SDB_OK(SdbGetMemoDataType(t, "M", &memoType));
  EXPECT_EQ(SDB_MEMO_TEXT, memoType);
  SDB_OK(SdbGetMemoDataType(t, "IM", &memoType));
  EXPECT_EQ(SDB_MEMO_BINARY, memoType);
  uint32_t dataLength = 0;
  SDB_OK(SdbGetDataLength(t, "NM", 0, &dataLength));
  EXPECT_EQ(9u, dataLength);

  // What a user of the sqlite3 shell sees.
  EXPECT_EQ("1", Stored("L"));
  EXPECT_EQ("12.5", Stored("N"));
  EXPECT_EQ("'2024-02-29'", Stored("D"));
  EXPECT_EQ("'abc'", Stored("S"));
  EXPECT_EQ("'12:34:56.789'", Stored("TM"));
  EXPECT_EQ("'1899-12-30 12:00:00.000'", Stored("TS"));
  EXPECT_EQ("X'010002FF'", Stored("B"));
  EXPECT_EQ("-7", Stored("SH"));
  std::swap(t, r);
}

TEST_F(SdbRecords, ValuesThatDoNotFitAreColumnErrors) {
  SDB_OK(SdbAppendRecord(t));
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, Set(t, "CI", "toolong"));
  EXPECT_NE(LastError().find("column \"CI\""), std::string::npos) << LastError();
  EXPECT_EQ(SDB_E_VALUE_OUT_OF_RANGE, Set(t, "SH", "70000"));
  EXPECT_NE(LastError().find("column \"SH\""), std::string::npos) << LastError();
  EXPECT_EQ(SDB_E_VALUE_OUT_OF_RANGE, SdbSetDouble(t, "N", 123456.7));
  EXPECT_EQ(SDB_E_INVALID_VALUE, Set(t, "D", "no date"));
  EXPECT_EQ(SDB_E_VALUE_TOO_LONG, Set(t, "V", std::string(21, 'x')));
  // A refused value leaves the field as it was.
  SDB_OK(Set(t, "SH", "5"));
  EXPECT_EQ(SDB_E_VALUE_OUT_OF_RANGE, Set(t, "SH", "-40000"));
  EXPECT_EQ("5", Get(t, "SH"));
  SDB_OK(SdbWriteRecord(t));
  EXPECT_EQ("5", Get(t, "SH"));
}

TEST_F(SdbRecords, ReadsWithoutCurrentRecordAndBadBuffersAnswerCodes) {
  uint16_t b = 0;
  std::vector<uint8_t> image(length);
  uint32_t len = length;
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbGetRecord(t, image.data(), &len));
  EXPECT_EQ(SDB_E_NO_CURRENT_RECORD, SdbIsEmpty(t, "S", &b));
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(Set(t, "S", "x"));
  SDB_OK(SdbWriteRecord(t));
  len = length - 1;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetRecord(t, image.data(), &len));
  EXPECT_EQ(length, len);
  char one[1];
  uint32_t len32 = 1;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetField(t, "S", one, &len32, SDB_RTRIM));
  EXPECT_EQ(2u, len32);
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbGetField(t, "S", one, nullptr, SDB_RTRIM));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbIsNull(t, "S", nullptr));
}

TEST_F(SdbRecords, BinaryValuesWrittenInPiecesAtOffsets) {
  const uint8_t all[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 10, 0, all, 4));
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 10, 4, all + 4, 3));
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 10, 7, all + 7, 3));
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbSetBinary(t, "B", SDB_MEMO_BINARY, 10, 8, all, 3));
  // A field kept in the record image takes its pieces alike.
  SDB_OK(SdbSetBinary(t, "R", SDB_MEMO_BINARY, 4, 0, all, 2));
  SDB_OK(SdbSetBinary(t, "R", SDB_MEMO_BINARY, 4, 2, all + 2, 2));
  SDB_OK(SdbSetBinary(t, "VB", SDB_MEMO_BINARY, 3, 0, all, 1));
  SDB_OK(SdbSetBinary(t, "VB", SDB_MEMO_BINARY, 3, 1, all + 1, 2));
  SDB_OK(SdbWriteRecord(t));
  EXPECT_EQ("X'6162636465666768696A'", Stored("B"));
  EXPECT_EQ("X'61626364'", Stored("R"));
  EXPECT_EQ("X'616263'", Stored("VB"));

  // A first piece starts a value afresh, also over a stored one.
  SDB_OK(SdbGotoTop(t));
  SDB_OK(SdbSetBinary(t, "B", SDB_MEMO_BINARY, 3, 0, all + 7, 3));
  SDB_OK(SdbWriteRecord(t));
  EXPECT_EQ("X'68696A'", Stored("B"));

  // Statement parameters too.
  SDBHANDLE stmt = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  SDB_OK(SdbPrepareSQLW(stmt, u"UPDATE T SET B = :b"));
  SDB_OK(SdbSetBinary(stmt, SDB_FIELD(1), SDB_MEMO_BINARY, 5, 0, all, 2));
  SDB_OK(SdbSetBinary(stmt, SDB_FIELD(1), SDB_MEMO_BINARY, 5, 2, all + 2, 3));
  SDB_OK(SdbExecuteSQL(stmt, nullptr));
  SDB_OK(SdbCloseSQLStatement(stmt));
  EXPECT_EQ("X'6162636465'", Stored("B"));
}
