// Field definitions, record images and value conversions: every engine field
// type on a real table, the NULL patterns, the numeric text and its range
// error, and the DBF and VFP rules on record images built here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "sdbcnnct.h"
#include "sdbengine.h"
#include "sdbtable.h"
#include "sdbtesting.h"
#include "sysutils.h"

namespace {

const char* kAllTypes =
    "CREATE TABLE AllTypes (L LOGICAL, N NUMERIC(6,2), D DATE, S CHAR(10), M MEMO, B BLOB, "
    "I IMAGE, V VARCHAR(20), CD COMPACTDATE, DB DOUBLE, INT INTEGER, SH SHORT, TM TIME, "
    "TS TIMESTAMP, AI AUTOINC, R RAW(4), CUR CURDOUBLE, MO MONEY, CI CICHAR(5), RV ROWVERSION, "
    "MT MODTIME, VF VARCHARFOX(10), VB VARBINARY(6), NC NCHAR(10), NV NVARCHAR(10), NM NMEMO, "
    "N18 NUMERIC(18,4), N19 NUMERIC(19,4), N5 NUMERIC(10,5), ID NUMERIC(16,0));"
    "INSERT INTO AllTypes (L, N, D, S, M, B, I, V, CD, DB, INT, SH, TM, TS, R, CUR, MO, CI, VF, "
    "VB, NC, NV, NM, N18, ID) VALUES (TRUE, 12.5, '2026-12-09', 'abc', 'memo text', x'0102', "
    "x'03', 'varchar', '2026-12-09', 1.25, 42, -7, '12:34:56.789', '1899-12-30 12:00:00', "
    "x'01020304', 2.5, 12.3456, 'MiXeD', 'vf', x'0a0b', 'wide', 'nvar', 'nmemo', "
    "1234567.1234, 100099999999999);"
    "INSERT INTO AllTypes (L) VALUES (NULL);";

/// Exposes the conversions and lets a test choose the table kind and the
/// VFP system flags of a record image.
class TProbeTable : public TSdbTable {
 public:
  using TSdbDataSet::IsFieldBlank;
  using TSdbDataSet::musEngineTableType;
  std::map<std::pair<int, int>, int32_t> Flags;  // (field, 1 null / 3 full) -> value

 protected:
  int32_t VfpSystemField(const TEngineFieldDef& def, uint8_t*, uint16_t option,
                         int32_t value) override {
    if (option == 2) Flags[{def.FNumber, 1}] = value;
    if (option == 3) Flags[{def.FNumber, 3}] = value;
    if (option == 1) return Flags[{def.FNumber, 1}];
    if (option == 4) return Flags[{def.FNumber, 3}];
    return 0;
  }
};

class ValuesTest : public sdbtesting::DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    sdbtesting::RunSql(Dictionary(), kAllTypes);
    connection = std::make_unique<TSdbConnection>();
    connection->SetLoginPrompt(false);
    connection->SetConnectPath(Dictionary());
    table = std::make_unique<TProbeTable>();
    table->SetSdbConnection(connection.get());
    table->SetTableName("AllTypes");
    table->Open();
  }
  void TearDown() override {
    table.reset();
    connection.reset();
  }
  TField* F(const char* name) { return table->FieldByName(name); }
  const TEngineFieldDef& E(const char* name) {
    return table->EngineFieldDefs().Items(table->EngineFieldDefs().IndexOf(name));
  }
  /// A copy of the active record's image.
  std::vector<uint8_t> Image() {
    std::vector<uint8_t> image(table->RecordSize());
    uint32_t length = static_cast<uint32_t>(image.size());
    EXPECT_EQ(SdbGetRecord(table->Handle(), image.data(), &length), 0u);
    return image;
  }

  TFormatSettingsRestorer restore;
  std::unique_ptr<TSdbConnection> connection;
  std::unique_ptr<TProbeTable> table;
};

TEST_F(ValuesTest, EveryEngineTypeMapsToItsFieldType) {
  struct Row {
    const char* name;
    TFieldType type;
    int size;
    uint16_t engine;
  };
  const Row rows[] = {
      {"L", ftBoolean, 0, 1},       {"N", ftBCD, 2, 2},         {"D", ftDate, 0, 3},
      {"S", ftString, 10, 4},       {"M", ftMemo, 1, 5},        {"B", ftBlob, 1, 6},
      {"I", ftBlob, 1, 7},          {"V", ftMemo, 1, 8},        {"CD", ftDate, 0, 9},
      {"DB", ftFloat, 0, 10},       {"INT", ftInteger, 0, 11},  {"SH", ftSmallint, 0, 12},
      {"TM", ftTime, 0, 13},        {"TS", ftDateTime, 0, 14},  {"AI", ftAutoInc, 0, 15},
      {"R", ftBytes, 4, 16},        {"CUR", ftCurrency, 0, 17}, {"MO", ftBCD, 4, 18},
      {"CI", ftString, 5, 20},      {"RV", ftBCD, 0, 21},       {"MT", ftDateTime, 0, 22},
      {"VF", ftString, 10, 23},     {"VB", ftVarBytes, 6, 24},  {"NC", ftWideString, 10, 26},
      {"NV", ftWideString, 10, 27}, {"NM", ftWideMemo, 1, 28},  {"N18", ftBCD, 4, 2},
      {"N19", ftFMTBcd, 4, 2},      {"N5", ftFMTBcd, 5, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TFieldDef* def = table->FieldDefs().Find(row.name);
    EXPECT_EQ(def->DataType(), row.type);
    EXPECT_EQ(def->Size(), row.size);
    EXPECT_EQ(E(row.name).FType, row.engine);
    EXPECT_EQ(F(row.name)->DataType(), row.type);
  }
  // Precision: length - 2 with decimals, - 1 without; money and row version 20.
  EXPECT_EQ(table->FieldDefs().Find("N")->Precision(), 4);
  EXPECT_EQ(table->FieldDefs().Find("N18")->Precision(), 16);
  EXPECT_EQ(table->FieldDefs().Find("ID")->Precision(), 15);
  EXPECT_EQ(table->FieldDefs().Find("MO")->Precision(), 20);
  EXPECT_EQ(table->FieldDefs().Find("RV")->Precision(), 20);
  // nchar: characters in the definition, bytes in the record image.
  EXPECT_EQ(E("NC").FLength, 20u);
  EXPECT_EQ(E("NV").FLength, 20u);
  // The layer's two field classes and the adjustments made at open.
  EXPECT_FALSE(dynamic_cast<TSdbBCDField*>(F("N"))->Currency());
  EXPECT_TRUE(dynamic_cast<TSdbBCDField*>(F("MO"))->Currency());
  EXPECT_FALSE(dynamic_cast<TSdbBCDField*>(F("RV"))->Currency());
  EXPECT_TRUE(dynamic_cast<TSdbStringField*>(F("CI"))->CaseInsensitive());
  EXPECT_FALSE(dynamic_cast<TSdbStringField*>(F("S"))->CaseInsensitive());
  // Offsets follow the record order without overlap.
  for (int i = 1; i < table->EngineFieldDefs().Count(); ++i)
    EXPECT_GE(table->EngineFieldDefs().Items(i).FOffset,
              table->EngineFieldDefs().Items(i - 1).FOffset +
                  table->EngineFieldDefs().Items(i - 1).FLength);
  EXPECT_EQ(table->EngineFieldDefs().IndexOf("nv"), table->EngineFieldDefs().IndexOf("NV"));
  EXPECT_EQ(table->EngineFieldDefs().IndexOf("none"), -1);
}

TEST_F(ValuesTest, ValuesWrittenThroughTheEngineReadThroughTheFields) {
  table->First();
  EXPECT_TRUE(F("L")->AsBoolean());
  EXPECT_EQ(F("N")->AsString(), "12.5");
  EXPECT_EQ(F("D")->AsDateTime(), EncodeDate(2026, 12, 9));
  EXPECT_EQ(F("S")->AsString(), "abc");
  EXPECT_FALSE(F("M")->IsNull());
  EXPECT_FALSE(F("B")->IsNull());
  EXPECT_EQ(F("CD")->AsDateTime(), EncodeDate(2026, 12, 9));
  EXPECT_EQ(F("DB")->AsFloat(), 1.25);
  EXPECT_EQ(F("INT")->AsInteger(), 42);
  EXPECT_EQ(F("SH")->AsInteger(), -7);
  EXPECT_NEAR(F("TM")->AsDateTime(), (12 * 3600 + 34 * 60 + 56.789) / 86400.0, 1e-9);
  EXPECT_EQ(F("TS")->AsDateTime(), 0.5);  // 1899-12-30 12:00
  EXPECT_EQ(F("AI")->AsInteger(), 1);
  EXPECT_EQ(F("R")->AsString(), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(F("CUR")->AsFloat(), 2.5);
  EXPECT_EQ(F("MO")->AsString(), "12.3456");
  EXPECT_EQ(F("CI")->AsString(), "MiXeD");
  EXPECT_FALSE(F("RV")->IsNull());
  EXPECT_GT(F("MT")->AsDateTime(), EncodeDate(2020, 1, 1));
  EXPECT_EQ(F("VF")->AsString(), "vf");
  EXPECT_EQ(F("VB")->AsString(), std::string("\x0a\x0b", 2));
  EXPECT_EQ(F("NC")->AsString(), "wide");
  EXPECT_EQ(F("NV")->AsString(), "nvar");
  EXPECT_EQ(F("N18")->AsString(), "1234567.1234");
  // 15-digit record IDs (station 1000 and up) fit a NUMERIC(16,0).
  EXPECT_EQ(F("ID")->AsFloat(), 100099999999999.0);

  // The image of the timestamp holds julian day 2415019 and 43200000 ms.
  std::vector<uint8_t> image = Image();
  int32_t words[2];
  std::memcpy(words, image.data() + E("TS").FOffset, 8);
  EXPECT_EQ(words[0], 2415019);
  EXPECT_EQ(words[1], 43200000);
  // Reading never changes the record image (the wide types included).
  std::vector<uint8_t> before(table->RecordSize());
  table->GetCurrentRecord(before.data());
  for (int i = 0; i < table->FieldCount(); ++i)
    if (!table->Fields(i)->IsBlob()) table->Fields(i)->AsString();
  std::vector<uint8_t> after(table->RecordSize());
  table->GetCurrentRecord(after.data());
  EXPECT_EQ(before, after);

  table->Next();
  for (const char* name :
       {"L",  "N",  "D", "S",   "M",  "B",  "I",  "V",  "CD", "DB", "INT", "SH",
        "TM", "TS", "R", "CUR", "MO", "CI", "VF", "VB", "NC", "NV", "NM",  "N18"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(F(name)->IsNull());
  }
}

TEST_F(ValuesTest, ValuesWrittenThroughTheFieldsReadBackFromTheFile) {
  // Every type assigned through its field, posted by Append and by Edit, and
  // read back with plain SQLite: what the conversions put into the record
  // image must reach the file as the same value.
  auto stored = [&](const std::string& columns) {
    auto rows =
        sdbtesting::SqliteRows(Dictionary(), "SELECT " + columns + " FROM AllTypes WHERE AI = 3");
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? std::vector<std::string>() : rows[0];
  };
  FormatSettings().DecimalSeparator = ',';  // the file never sees the settings
  table->Append();
  F("L")->SetAsBoolean(true);
  F("N")->SetAsFloat(-12.5);
  F("D")->SetAsDateTime(EncodeDate(2026, 12, 9));
  F("S")->SetAsString("abc");
  F("M")->SetAsString("memo text");
  F("B")->SetAsString(std::string("\x01\x00\x02", 3));
  F("I")->SetAsString(std::string("\xff", 1));
  F("V")->SetAsString("varchar");
  F("CD")->SetAsDateTime(EncodeDate(1999, 2, 28));
  F("DB")->SetAsFloat(1.25);
  F("INT")->SetAsInteger(-2147483647);
  F("SH")->SetAsInteger(-7);
  F("TM")->SetAsDateTime((12 * 3600 + 34 * 60 + 56.789) / 86400.0);
  F("TS")->SetAsDateTime(0.5);  // 1899-12-30 12:00
  F("R")->SetAsString(std::string("\x01\x02\x03\x04", 4));
  F("CUR")->SetAsFloat(2.5);
  F("MO")->SetAsBCD(StrToBcd("-0,0001", FormatSettings()));
  F("CI")->SetAsString("MiXeD");
  F("VF")->SetAsString("vf");
  F("VB")->SetAsString(std::string("\x0a\x00\x0b", 3));
  F("NC")->SetAsString(
      "w\xc3\xaf"
      "de");
  F("NV")->SetAsString("nv\xc3\xa4r");
  F("NM")->SetAsString("nmemo \xe2\x82\xac");
  F("N18")->SetAsBCD(StrToBcd("1234567,1234", FormatSettings()));
  F("N19")->SetAsBCD(StrToBcd("-123456789012,5", FormatSettings()));
  F("N5")->SetAsFloat(1.23456);
  F("ID")->SetAsFloat(100099999999999.0);
  table->Post();

  std::vector<std::string> row = stored(
      "L, N, D, S, M, hex(B), hex(I), V, CD, DB, INT, SH, TM, TS, hex(R), CUR, MO, CI, VF, "
      "hex(VB), NC, NV, NM, N18, N19, N5, ID, RV IS NOT NULL, MT IS NOT NULL");
  const std::vector<std::string> expected = {"1",
                                             "-12.5",
                                             "2026-12-09",
                                             "abc",
                                             "memo text",
                                             "010002",
                                             "FF",
                                             "varchar",
                                             "1999-02-28",
                                             "1.25",
                                             "-2147483647",
                                             "-7",
                                             "12:34:56.789",
                                             "1899-12-30 12:00:00.000",
                                             "01020304",
                                             "2.5",
                                             "-0.0001",
                                             "MiXeD",
                                             "vf",
                                             "0A000B",
                                             "w\xc3\xaf"
                                             "de",
                                             "nv\xc3\xa4r",
                                             "nmemo \xe2\x82\xac",
                                             "1234567.1234",
                                             "-123456789012.5",
                                             "1.23456",
                                             "100099999999999.0",
                                             "1",
                                             "1"};
  EXPECT_EQ(row, expected);

  // An edit changes some values, empties others and leaves the rest alone.
  table->Edit();
  F("L")->SetAsBoolean(false);
  F("N")->Clear();
  F("S")->SetAsString("");
  F("INT")->Clear();
  F("TS")->SetAsDateTime(EncodeDate(2026, 12, 9) + (18 * 3600 + 0.123) / 86400.0);
  F("MO")->SetAsBCD(StrToBcd("123456789,1234", FormatSettings()));
  F("NC")->Clear();
  F("B")->Clear();
  table->Post();
  row = stored("L, N, S, INT, TS, MO, NC, B, D, DB");
  const std::vector<std::string> edited = {
      "0",      "<null>", "<null>",     "<null>", "2026-12-09 18:00:00.123", "123456789.1234",
      "<null>", "<null>", "2026-12-09", "1.25"};
  EXPECT_EQ(row, edited);
}

TEST_F(ValuesTest, ReadingADTNullPatterns) {
  table->First();
  std::vector<uint8_t> image = Image();
  auto blank = [&](const char* name) { return table->IsFieldBlank(E(name), image.data()); };
  auto put = [&](const char* name, const void* bytes, size_t n) {
    std::memcpy(image.data() + E(name).FOffset, bytes, n);
  };
  // Strings: all zero bytes are NULL; blanks are an empty string.
  std::memset(image.data() + E("S").FOffset, ' ', 10);
  EXPECT_FALSE(blank("S"));
  std::memset(image.data() + E("S").FOffset, 0, 10);
  EXPECT_TRUE(blank("S"));
  // Integer: -2147483648 is NULL; money: only 0x8000000000000000 is.
  int32_t minInt = INT32_MIN;
  put("INT", &minInt, 4);
  EXPECT_TRUE(blank("INT"));
  int64_t zero = 0, minMoney = INT64_MIN;
  put("MO", &zero, 8);
  EXPECT_FALSE(blank("MO"));
  put("MO", &minMoney, 8);
  EXPECT_TRUE(blank("MO"));
  // Logical: a blank is NULL.
  image[E("L").FOffset] = ' ';
  EXPECT_TRUE(blank("L"));
  // Varying types: the length word 0xFFFF is NULL.
  uint16_t nullWord = 0xFFFF;
  std::memcpy(image.data() + E("NV").FOffset + E("NV").FLength, &nullWord, 2);
  EXPECT_TRUE(blank("NV"));
}

TEST_F(ValuesTest, WritingConvertsIntoTheRecordImage) {
  table->First();
  std::vector<uint8_t> image = Image();
  auto bytes = [&](const char* name) {
    return std::string(reinterpret_cast<const char*>(image.data()) + E(name).FOffset,
                       E(name).FLength);
  };
  auto write = [&](const char* name, TFieldType type, const void* value) {
    table->WriteFieldValue(E(name).FNumber, type, value, image.data());
  };
  // Numeric text: right-aligned with "." whatever the settings say.
  FormatSettings().DecimalSeparator = ',';
  double d = 12.5;
  write("N", ftFloat, &d);
  EXPECT_EQ(bytes("N"), " 12.50");
  TBcd bcd = StrToBcd("-1,5", FormatSettings());
  write("N", ftBCD, &bcd);
  EXPECT_EQ(bytes("N"), " -1.50");
  d = 123456.7;
  try {
    write("N", ftFloat, &d);
    FAIL() << "no range error";
  } catch (const ESDBDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Numeric out of range.");
    EXPECT_EQ(e.EngineErrorCode(), 5121u);
  }
  bcd = StrToBcd("1000", FormatSettings());  // 4 digits + 2 decimals > 6 places
  EXPECT_THROW(write("N", ftBCD, &bcd), ESDBDatabaseError);
  // NULL patterns of an ADT table.
  write("INT", ftInteger, nullptr);
  EXPECT_EQ(bytes("INT"), std::string("\x00\x00\x00\x80", 4));
  write("DB", ftFloat, nullptr);
  EXPECT_EQ(bytes("DB"), std::string("\x20\x00\x00\x00\x00\x00\x00\x80", 8));
  write("TS", ftDateTime, nullptr);
  EXPECT_EQ(bytes("TS"), std::string("\x00\x00\x00\x00\xff\xff\xff\xff", 8));
  // A timestamp: 1899-12-30 12:00 as day number x 86400000 + ms.
  double stamp = 693594.0 * 86400000.0 + 43200000.0;
  write("TS", ftDateTime, &stamp);
  int32_t words[2];
  std::memcpy(words, image.data() + E("TS").FOffset, 8);
  EXPECT_EQ(words[0], 2415019);
  EXPECT_EQ(words[1], 43200000);
  // Logical and money.
  int16_t yes = -1;
  write("L", ftBoolean, &yes);
  EXPECT_EQ(bytes("L"), "T");
  bcd = StrToBcd("-0,0001", FormatSettings());
  write("MO", ftBCD, &bcd);
  int64_t money;
  std::memcpy(&money, image.data() + E("MO").FOffset, 8);
  EXPECT_EQ(money, -1);
  // Strings: empty zero-fills unless spaces are preserved.
  write("S", ftString, "");
  EXPECT_EQ(bytes("S"), std::string(10, '\0'));
  table->SdbTableOptions().SetSdbPreserveSpaces(true);
  write("S", ftString, "");
  EXPECT_EQ(bytes("S"), std::string(10, ' '));
  write("S", ftString, "abcdefghijklmn");
  EXPECT_EQ(bytes("S"), "abcdefghij");
  // nvarchar: blanks, the characters, their count after the field.
  write("NV", ftWideString, u"ab");
  uint16_t count;
  std::memcpy(&count, image.data() + E("NV").FOffset + E("NV").FLength, 2);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(bytes("NV").substr(0, 6), std::string("a\0b\0 \0", 6));
  // A date of 1899-12-30 is julian day 2415019.
  int32_t day = 693594;
  write("D", ftDate, &day);
  int32_t julian;
  std::memcpy(&julian, image.data() + E("D").FOffset, 4);
  EXPECT_EQ(julian, 2415019);
  // Compact date: year x 2 + month / 8, then day + 32 x (month mod 8).
  day = 693594 + 46000;
  write("CD", ftDate, &day);
  uint32_t packed = (uint32_t{image[E("CD").FOffset]} << 16) |
                    (uint32_t{image[E("CD").FOffset + 1]} << 8) | image[E("CD").FOffset + 2];
  int year, month, dom;
  DecodeDate(46000, year, month, dom);
  EXPECT_EQ(packed >> 9, static_cast<uint32_t>(year));
  EXPECT_EQ((packed >> 5) & 0xF, static_cast<uint32_t>(month));
  EXPECT_EQ(packed & 0x1F, static_cast<uint32_t>(dom));
}

TEST_F(ValuesTest, VfpAndDbfRulesOnBuiltImages) {
  table->First();
  std::vector<uint8_t> image = Image();
  const TEngineFieldDef& ts = E("TS");
  const TEngineFieldDef& vf = E("VF");
  // VFP: timestamps read to the nearest whole second.
  table->musEngineTableType = 4;
  int32_t words[2] = {2415019, 12499};
  std::memcpy(image.data() + ts.FOffset, words, 8);
  double value = 0;
  ASSERT_TRUE(table->ReadFieldValue(F("TS"), image.data(), &value));
  EXPECT_EQ(value, 693594.0 * 86400000.0 + 12000.0);
  words[1] = 12500;
  std::memcpy(image.data() + ts.FOffset, words, 8);
  ASSERT_TRUE(table->ReadFieldValue(F("TS"), image.data(), &value));
  EXPECT_EQ(value, 693594.0 * 86400000.0 + 13000.0);
  // VFP varchar: a shorter value keeps its length in the last byte.
  table->WriteFieldValue(vf.FNumber, ftString, "abc", image.data());
  EXPECT_EQ(image[vf.FOffset + vf.FLength - 1], 3);
  EXPECT_EQ((table->Flags[{vf.FNumber, 3}]), 0);
  char text[16] = {};
  ASSERT_TRUE(table->ReadFieldValue(F("VF"), image.data(), text));
  EXPECT_EQ(std::string(text), "abc");
  // A length byte past the field is bounded by it.
  image[vf.FOffset + vf.FLength - 1] = 250;
  ASSERT_TRUE(table->ReadFieldValue(F("VF"), image.data(), text));
  EXPECT_LE(std::strlen(text), vf.FLength);
  // VFP logical: blanks are NULL; "y" reads true, "N" false.
  image[E("L").FOffset] = ' ';
  EXPECT_TRUE(table->IsFieldBlank(E("L"), image.data()));
  image[E("L").FOffset] = 'y';
  int16_t flag = 0;
  ASSERT_TRUE(table->ReadFieldValue(F("L"), image.data(), &flag));
  EXPECT_EQ(flag, -1);
  image[E("L").FOffset] = 'N';
  ASSERT_TRUE(table->ReadFieldValue(F("L"), image.data(), &flag));
  EXPECT_EQ(flag, 0);

  // DBF: a date text of eight blanks is NULL; integers never are.
  table->musEngineTableType = 2;
  TEngineFieldDef textDate = E("S");
  textDate.FType = 3;
  textDate.FLength = 8;
  std::memset(image.data() + textDate.FOffset, ' ', 8);
  EXPECT_TRUE(table->IsFieldBlank(textDate, image.data()));
  std::memcpy(image.data() + textDate.FOffset, "20261209", 8);
  EXPECT_FALSE(table->IsFieldBlank(textDate, image.data()));
  EXPECT_FALSE(table->IsFieldBlank(E("INT"), image.data()));
  // DBF NULLs: blanks for text, zeros for numbers.
  table->WriteFieldValue(E("S").FNumber, ftString, nullptr, image.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image.data()) + E("S").FOffset, 10),
            std::string(10, ' '));
  table->musEngineTableType = 3;
}

}  // namespace
