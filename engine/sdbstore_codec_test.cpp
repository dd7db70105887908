// Record images: layout, empty values, conversions, and the round trip
// through real SQLite storage for every field type.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "sdbstore.h"

using namespace sdbstore;

namespace {

std::vector<FieldDef> Fields(std::initializer_list<std::pair<const char*, const char*>> spec) {
  std::vector<FieldDef> out;
  for (auto [name, type] : spec) {
    FieldDef f = ParseTypeName(type);
    f.name = name;
    out.push_back(f);
  }
  ComputeLayout(out);
  return out;
}

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", p[i]);
    s += b;
  }
  return s;
}

uint32_t CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const StoreError& e) {
    return e.code();
  }
  return 0;
}

std::string TextOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const StoreError& e) {
    return e.what();
  }
  return {};
}

}  // namespace

TEST(SdbStoreTypes, ParsesTypeNamesAndComputesTheLayout) {
  auto f = Fields(
      {{"L", "LOGICAL"},      {"N", "numeric(8,2)"},   {"D", "DATE"},          {"C", "CHAR(10)"},
       {"M", "MEMO"},         {"V", "VARCHAR(300)"},   {"DB", "DOUBLE"},       {"I", "INTEGER"},
       {"S", "SHORT"},        {"T", "TIME"},           {"TS", "TIMESTAMP"},    {"A", "AUTOINC"},
       {"R", "RAW(5)"},       {"MO", "MONEY"},         {"CI", "CICHAR(4)"},    {"RV", "ROWVERSION"},
       {"MT", "MODTIME"},     {"VF", "VARCHARFOX(6)"}, {"VB", "VARBINARY(3)"}, {"NC", "NCHAR(5)"},
       {"NV", "NVARCHAR(4)"}, {"NM", "NMEMO"}});
  struct Want {
    FieldType type;
    uint32_t length, image, offset;
  };
  const Want want[] = {{FieldType::Logical, 1, 1, 0},        {FieldType::Numeric, 8, 8, 1},
                       {FieldType::Date, 4, 4, 9},           {FieldType::String, 10, 10, 13},
                       {FieldType::Memo, 4, 4, 23},          {FieldType::VarChar, 4, 4, 27},
                       {FieldType::Double, 8, 8, 31},        {FieldType::Integer, 4, 4, 39},
                       {FieldType::ShortInt, 2, 2, 43},      {FieldType::Time, 4, 4, 45},
                       {FieldType::TimeStamp, 8, 8, 49},     {FieldType::AutoInc, 4, 4, 57},
                       {FieldType::Raw, 5, 5, 61},           {FieldType::Money, 8, 8, 66},
                       {FieldType::CIString, 4, 4, 74},      {FieldType::RowVersion, 8, 8, 78},
                       {FieldType::ModTime, 8, 8, 86},       {FieldType::VarCharFox, 6, 6, 94},
                       {FieldType::VarBinaryFox, 3, 3, 102}, {FieldType::NChar, 5, 10, 107},
                       {FieldType::NVarChar, 4, 8, 117},     {FieldType::NMemo, 4, 4, 127}};
  ASSERT_EQ(f.size(), std::size(want));
  for (size_t i = 0; i < f.size(); ++i) {
    SCOPED_TRACE(f[i].name);
    EXPECT_EQ(f[i].type, want[i].type);
    EXPECT_EQ(f[i].length, want[i].length);
    EXPECT_EQ(f[i].imageLength, want[i].image);
    EXPECT_EQ(f[i].offset, want[i].offset);
    EXPECT_EQ(f[i].number, i + 1);
  }
  EXPECT_EQ(f[1].decimals, 2);
  EXPECT_EQ(f[5].maxLength, 300u);
  EXPECT_EQ(TypeSpelling(f[1]), "NUMERIC(8,2)");
  EXPECT_EQ(TypeSpelling(f[5]), "VARCHAR(300)");

  for (const char* bad : {"CHAR", "CHAR(0)", "NUMERIC(5,4)", "FLOATY", "INTEGER(4)", "CHAR(10",
                          "NCHAR(40000)", "CHAR(x)", "CHAR(10x)", "CHAR(1 0)", "NUMERIC(8,2x)",
                          "CHAR(10,)", "CHAR(+10)", "CHAR(10)x", "VARCHAR(0x10)"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(CodeOf([&] { ParseTypeName(bad); }), kErrSql);
  }
}

TEST(SdbStoreCodec, EmptyValuesHaveTheirExactBytes) {
  auto f = Fields({{"L", "LOGICAL"},
                   {"DB", "DOUBLE"},
                   {"I", "INTEGER"},
                   {"S", "SHORT"},
                   {"T", "TIME"},
                   {"A", "AUTOINC"},
                   {"TS", "TIMESTAMP"},
                   {"MO", "MONEY"},
                   {"NV", "NVARCHAR(2)"},
                   {"C", "CHAR(3)"},
                   {"M", "BLOB"}});
  std::vector<uint8_t> img(200, 0xAB);
  InitRecord(f, img.data());
  EXPECT_EQ(Hex(&img[f[0].offset], 1), "20");
  EXPECT_EQ(Hex(&img[f[1].offset], 8), "2000000000000080");
  EXPECT_EQ(Hex(&img[f[2].offset], 4), "00000080");
  EXPECT_EQ(Hex(&img[f[3].offset], 2), "0080");
  EXPECT_EQ(Hex(&img[f[4].offset], 4), "ffffffff");
  EXPECT_EQ(Hex(&img[f[5].offset], 4), "ffffffff");
  EXPECT_EQ(Hex(&img[f[6].offset], 8), "00000000ffffffff");
  EXPECT_EQ(Hex(&img[f[7].offset], 8), "0000000000000080");
  EXPECT_EQ(Hex(&img[f[8].offset], 6), "00000000ffff");
  EXPECT_EQ(Hex(&img[f[9].offset], 3), "000000");
  EXPECT_EQ(Hex(&img[f[10].offset], 4), "00000000");
  for (const FieldDef& x : f) EXPECT_TRUE(IsEmpty(x, img.data())) << x.name;

  // A stored -2147483648 reads as empty; zero money is a value.
  int32_t minInt = INT32_MIN;
  std::memcpy(&img[f[2].offset], &minInt, 4);
  EXPECT_TRUE(IsEmpty(f[2], img.data()));
  int64_t zero = 0;
  std::memcpy(&img[f[7].offset], &zero, 8);
  EXPECT_FALSE(IsEmpty(f[7], img.data()));
  // A string of blanks is a value, one of zero bytes is empty.
  std::memset(&img[f[9].offset], ' ', 3);
  EXPECT_FALSE(IsEmpty(f[9], img.data()));
}

TEST(SdbStoreCodec, CallerValuesConvertAndRefuseWhatDoesNotFit) {
  auto f = Fields({{"NUM", "NUMERIC(6,2)"},
                   {"NAME", "CHAR(3)"},
                   {"CNT", "INTEGER"},
                   {"DAY", "DATE"},
                   {"TS", "TIMESTAMP"},
                   {"OK", "LOGICAL"},
                   {"MO", "MONEY"},
                   {"SH", "SHORT"},
                   {"T", "TIME"},
                   {"W", "NCHAR(2)"}});
  std::vector<uint8_t> img(200);
  InitRecord(f, img.data());
  std::string s;

  PutDouble(f[0], 12.5, img.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[0].offset]), 6), " 12.50");
  EXPECT_EQ(CodeOf([&] { PutDouble(f[0], 123456.7, img.data()); }), kErrOutOfRange);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[0].offset]), 6), " 12.50") << "unchanged";
  PutText(f[0], "-3.456", img.data());
  EXPECT_TRUE(GetText(f[0], img.data(), s));
  EXPECT_EQ(s, "-3.46");

  EXPECT_EQ(CodeOf([&] { PutText(f[1], "ABCD", img.data()); }), kErrValueTooLong);
  EXPECT_NE(TextOf([&] { PutText(f[1], "ABCD", img.data()); }).find("column \"NAME\""),
            std::string::npos);
  PutText(f[1], "AB   ", img.data());  // trailing blanks do not count
  EXPECT_TRUE(GetText(f[1], img.data(), s));
  EXPECT_EQ(s, "AB");
  PutText(f[1], "", img.data());
  EXPECT_TRUE(IsEmpty(f[1], img.data()));

  EXPECT_EQ(CodeOf([&] { PutDouble(f[2], 3e9, img.data()); }), kErrOutOfRange);
  EXPECT_EQ(CodeOf([&] { PutInt64(f[2], INT32_MIN, img.data()); }), kErrOutOfRange);
  EXPECT_EQ(CodeOf([&] { PutText(f[2], "12x", img.data()); }), kErrInvalidValue);
  EXPECT_EQ(CodeOf([&] { PutInt64(f[7], 40000, img.data()); }), kErrOutOfRange);

  EXPECT_EQ(CodeOf([&] { PutText(f[3], "02/30/2021", img.data()); }), kErrInvalidValue);
  PutText(f[3], "02/29/2024", img.data());
  int32_t j;
  EXPECT_TRUE(GetJulian(f[3], img.data(), j));
  EXPECT_EQ(j, JulianFromYmd(2024, 2, 29));
  EXPECT_TRUE(GetText(f[3], img.data(), s, "DD.MM.CCYY"));
  EXPECT_EQ(s, "29.02.2024");

  // Day number 693594 (1899-12-30) at noon: julian 2415019 and 43200000 ms.
  PutDouble(f[4], 693594.0 * 86400000 + 43200000, img.data());
  int32_t words[2];
  std::memcpy(words, &img[f[4].offset], 8);
  EXPECT_EQ(words[0], 2415019);
  EXPECT_EQ(words[1], 43200000);
  double back;
  EXPECT_TRUE(GetDouble(f[4], img.data(), back));
  EXPECT_EQ(back, 693594.0 * 86400000 + 43200000);
  PutText(f[4], "2024-01-31 23:59:59.5", img.data());
  EXPECT_TRUE(GetText(f[4], img.data(), s, "CCYY-MM-DD"));
  EXPECT_EQ(s, "2024-01-31 23:59:59.500");

  img[f[5].offset] = 'y';
  bool b;
  EXPECT_TRUE(GetLogical(f[5], img.data(), b));
  EXPECT_TRUE(b);
  img[f[5].offset] = 'N';
  EXPECT_TRUE(GetLogical(f[5], img.data(), b));
  EXPECT_FALSE(b);
  EXPECT_EQ(CodeOf([&] { PutText(f[5], "maybe", img.data()); }), kErrInvalidValue);

  PutText(f[6], "-12.34565", img.data());  // exact decimal, rounded at the fifth place
  int64_t m;
  std::memcpy(&m, &img[f[6].offset], 8);
  EXPECT_EQ(m, -123457);
  EXPECT_TRUE(GetText(f[6], img.data(), s));
  EXPECT_EQ(s, "-12.3457");

  EXPECT_EQ(CodeOf([&] { PutText(f[8], "25:00", img.data()); }), kErrInvalidValue);
  PutText(f[8], "1:02 PM", img.data());
  int32_t ms;
  EXPECT_TRUE(GetMilliseconds(f[8], img.data(), ms));
  EXPECT_EQ(ms, (13 * 60 + 2) * 60000);

  EXPECT_EQ(CodeOf([&] { PutUtf16(f[9], u"abc", img.data()); }), kErrValueTooLong);
  PutText(f[9], "\xC3\x84", img.data());  // one character, two UTF-8 bytes
  std::u16string w;
  EXPECT_TRUE(GetUtf16(f[9], img.data(), w));
  EXPECT_EQ(w, u"\u00C4");
  EXPECT_EQ(img[f[9].offset + 2], ' ');  // padded with a UTF-16 blank
}

TEST(SdbStoreCodec, NumbersAndTextsReadAsLogicals) {
  auto f = Fields({{"N", "NUMERIC(6,2)"},
                   {"DB", "DOUBLE"},
                   {"I", "INTEGER"},
                   {"SH", "SHORT"},
                   {"MO", "MONEY"},
                   {"C", "CHAR(5)"}});
  std::vector<uint8_t> img(f.back().offset + f.back().imageLength);
  InitRecord(f, img.data());
  bool b = true;
  for (const FieldDef& field : f) {
    SCOPED_TRACE(field.name);
    EXPECT_FALSE(GetLogical(field, img.data(), b));  // empty: no value, false
    EXPECT_FALSE(b);
  }
  for (size_t i = 0; i + 1 < f.size(); ++i) {
    SCOPED_TRACE(f[i].name);
    for (double v : {0.0, 1.0, -1.0, 2.0}) {
      PutDouble(f[i], v, img.data());
      b = v == 0;
      EXPECT_TRUE(GetLogical(f[i], img.data(), b));
      EXPECT_EQ(b, v != 0) << v;
    }
  }
  PutDouble(f[0], 0.25, img.data());  // a fraction is not zero
  EXPECT_TRUE(GetLogical(f[0], img.data(), b));
  EXPECT_TRUE(b);
  for (auto [text, want] : {std::pair{"T", true},
                            {"y", true},
                            {"1", true},
                            {"F", false},
                            {"N", false},
                            {"0", false},
                            {"maybe", false}}) {
    SCOPED_TRACE(text);
    PutText(f[5], text, img.data());
    b = !want;
    EXPECT_TRUE(GetLogical(f[5], img.data(), b));
    EXPECT_EQ(b, want);
  }
}

TEST(SdbStoreCodec, RawBytesFillAFieldToItsLastByte) {
  auto f =
      Fields({{"C", "CHAR(3)"}, {"N", "NUMERIC(4,1)"}, {"R", "RAW(2)"}, {"VB", "VARBINARY(2)"}});
  std::vector<uint8_t> img(32);
  InitRecord(f, img.data());
  PutRaw(f[0], "abc", 3, img.data());
  PutRaw(f[1], "12.5", 4, img.data());
  PutRaw(f[2], "xy", 2, img.data());
  PutRaw(f[3], "xy", 2, img.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[0].offset]), 3), "abc");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[1].offset]), 4), "12.5");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[2].offset]), 2), "xy");
  for (const FieldDef& field : f) {
    SCOPED_TRACE(field.name);
    EXPECT_EQ(CodeOf([&] { PutRaw(field, "abcde", field.imageLength + 1, img.data()); }),
              kErrValueTooLong);
  }
}

TEST(SdbStoreCodec, NumericTextIsRightAlignedAndChecked) {
  auto f = Fields({{"A", "NUMERIC(4,2)"}, {"B", "NUMERIC(3,0)"}, {"C", "NUMERIC(20,12)"}});
  std::vector<uint8_t> img(64);
  auto text = [&](const FieldDef& x) {
    return std::string(reinterpret_cast<char*>(&img[x.offset]), x.imageLength);
  };
  PutDouble(f[0], 9.99, img.data());
  EXPECT_EQ(text(f[0]), "9.99");
  PutDouble(f[0], 0.125, img.data());
  EXPECT_EQ(text(f[0]), "0.13");
  PutDouble(f[0], -0.001, img.data());
  EXPECT_EQ(text(f[0]), "0.00") << "no negative zero";
  EXPECT_THROW(PutDouble(f[0], -9.99, img.data()), StoreError);
  PutDouble(f[1], -99, img.data());
  EXPECT_EQ(text(f[1]), "-99");
  EXPECT_THROW(PutDouble(f[1], 1000, img.data()), StoreError);
  PutDouble(f[2], 12345.678901234567, img.data());  // beyond the fast path
  EXPECT_EQ(text(f[2]), "  12345.678901234567");
  double d;
  EXPECT_TRUE(GetDouble(f[2], img.data(), d));
  EXPECT_DOUBLE_EQ(d, 12345.678901234567);
}

TEST(SdbStoreCodec, NumberTextsIgnoreTheCLocale) {
  // A GUI toolkit may switch LC_NUMERIC to the user's locale (decimal comma).
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  char tmpl[] = "/tmp/sdbstore_localeXXXXXX";
  std::string made;
  if (!comma && mkdtemp(tmpl)) {
    // No German locale installed: compile one into a private folder.
    made = tmpl;
    std::string cmd = "localedef -i de_DE -f UTF-8 " + made + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
      setenv("LOCPATH", made.c_str(), 1);
      comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  comma = comma && std::string(probe) == "1,5";
  auto f = Fields({{"N", "NUMERIC(20,12)"}, {"D", "DOUBLE(2)"}});
  std::vector<uint8_t> img(64);
  PutDouble(f[0], 1.5, img.data());
  PutText(f[1], "2.25", img.data());
  std::string n(reinterpret_cast<char*>(&img[f[0].offset]), 20), d;
  GetText(f[1], img.data(), d);
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!made.empty()) {
    unsetenv("LOCPATH");
    std::filesystem::remove_all(made);
  }
  EXPECT_EQ(n, "      1.500000000000");
  EXPECT_EQ(d, "2.25");
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma could be made; checked under C only";
}

TEST(SdbStoreDates, JulianDaysAndFormats) {
  EXPECT_EQ(JulianFromYmd(1, 1, 1), 1721426);
  EXPECT_EQ(JulianFromYmd(1899, 12, 30), 2415019);
  int y, m, d;
  ASSERT_TRUE(YmdFromJulian(2460370, y, m, d));
  EXPECT_EQ(FormatDate(2460370, "MM/DD/CCYY"), "02/29/2024");
  EXPECT_EQ(FormatDate(2460370, "YYYYMMDD"), "20240229");
  EXPECT_EQ(FormatDate(2460370, "DD.MM.YY"), "29.02.24");
  EXPECT_FALSE(YmdFromJulian(0, y, m, d));
  int32_t j;
  EXPECT_TRUE(ParseDate("2/9/2024", "MM/DD/CCYY", j));
  EXPECT_EQ(j, JulianFromYmd(2024, 2, 9));
  EXPECT_TRUE(ParseDate("09.02.49", "DD.MM.YY", j));
  EXPECT_EQ(j, JulianFromYmd(2049, 2, 9));
  EXPECT_TRUE(ParseDate("09.02.50", "DD.MM.YY", j));
  EXPECT_EQ(j, JulianFromYmd(1950, 2, 9));
  EXPECT_TRUE(ParseDate("20240229", "MM/DD/CCYY", j));
  EXPECT_TRUE(ParseDate("2024-02-29", "MM/DD/CCYY", j));
  EXPECT_FALSE(ParseDate("2023-02-29", "MM/DD/CCYY", j));
  EXPECT_FALSE(ParseDate("", "MM/DD/CCYY", j));
  EXPECT_FALSE(ParseDate("02/29/2024x", "MM/DD/CCYY", j));
}

// Every type written through the codec into a real SQLite table, read back as
// a shell user sees it, and decoded again into the same image bytes.
TEST(SdbStoreCodec, RoundTripThroughSqliteStorage) {
  auto f = Fields({{"L", "LOGICAL"},       {"N", "NUMERIC(8,2)"}, {"D", "DATE"},
                   {"C", "CHAR(10)"},      {"CD", "COMPACTDATE"}, {"DB", "DOUBLE"},
                   {"I", "INTEGER"},       {"S", "SHORT"},        {"T", "TIME"},
                   {"TS", "TIMESTAMP"},    {"A", "AUTOINC"},      {"R", "RAW(4)"},
                   {"CU", "CURDOUBLE"},    {"MO", "MONEY"},       {"CI", "CICHAR(5)"},
                   {"RV", "ROWVERSION"},   {"MT", "MODTIME"},     {"VF", "VARCHARFOX(6)"},
                   {"VB", "VARBINARY(3)"}, {"NC", "NCHAR(3)"},    {"NV", "NVARCHAR(4)"}});
  const char* values[] = {"T",
                          "-12.5",
                          "2024-02-29",
                          "Hello",
                          "1999-12-31",
                          "0.125",
                          "-7",
                          "123",
                          "12:34:56.789",
                          "2000-01-02 03:04:05.006",
                          "42",
                          "ab",
                          "9.75",
                          "1.0001",
                          "MiXeD",
                          "77",
                          "2020-05-06 07:08:09.010",
                          "abc",
                          "xy",
                          "\xC3\xA9t\xC3\xA9",
                          "wide"};
  const char* stored[] = {"1",
                          "-12.5",
                          "2024-02-29",
                          "Hello",
                          "1999-12-31",
                          "0.125",
                          "-7",
                          "123",
                          "12:34:56.789",
                          "2000-01-02 03:04:05.006",
                          "42",
                          "ab\0\0",
                          "9.75",
                          "1.0001",
                          "MiXeD",
                          "77",
                          "2020-05-06 07:08:09.010",
                          "abc",
                          "xy",
                          "\xC3\xA9t\xC3\xA9",
                          "wide"};
  std::vector<uint8_t> img(300), back(300);
  InitRecord(f, img.data());
  for (size_t i = 0; i < f.size(); ++i) PutText(f[i], values[i], img.data(), "CCYY-MM-DD");

  sqlite3* db;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  std::string ddl = "CREATE TABLE t(", ins = "INSERT INTO t VALUES(";
  for (size_t i = 0; i < f.size(); ++i) {
    ddl += (i ? ", " : "") + QuoteIdent(f[i].name) + " " + SqliteDeclaration(f[i].type);
    ins += i ? ", ?" : "?";
  }
  ASSERT_EQ(sqlite3_exec(db, (ddl + ")").c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_stmt* st;
  ASSERT_EQ(sqlite3_prepare_v2(db, (ins + ")").c_str(), -1, &st, nullptr), SQLITE_OK);
  for (size_t i = 0; i < f.size(); ++i) BindField(f[i], img.data(), st, static_cast<int>(i + 1));
  ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);

  ASSERT_EQ(
      sqlite3_prepare_v2(db, "SELECT *, typeof(N), typeof(R), typeof(I) FROM t", -1, &st, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  for (size_t i = 0; i < f.size(); ++i) {
    SCOPED_TRACE(f[i].name);
    int n = sqlite3_column_bytes(st, static_cast<int>(i));
    const char* p =
        sqlite3_column_type(st, static_cast<int>(i)) == SQLITE_BLOB
            ? static_cast<const char*>(sqlite3_column_blob(st, static_cast<int>(i)))
            : reinterpret_cast<const char*>(sqlite3_column_text(st, static_cast<int>(i)));
    size_t want = f[i].type == FieldType::Raw ? 4 : std::strlen(stored[i]);
    EXPECT_EQ(std::string(p, n), std::string(stored[i], want));
  }
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, static_cast<int>(f.size()))),
               "real");
  EXPECT_STREQ(
      reinterpret_cast<const char*>(sqlite3_column_text(st, static_cast<int>(f.size() + 1))),
      "blob");
  EXPECT_STREQ(
      reinterpret_cast<const char*>(sqlite3_column_text(st, static_cast<int>(f.size() + 2))),
      "integer");
  std::fill(back.begin(), back.end(), 0xEE);
  DecodeRow(f, st, 0, back.data());
  for (const FieldDef& x : f)
    EXPECT_EQ(Hex(&img[x.offset], x.slotLength), Hex(&back[x.offset], x.slotLength)) << x.name;
  sqlite3_finalize(st);

  // Empty fields are stored as NULL and come back empty.
  InitRecord(f, img.data());
  ASSERT_EQ(sqlite3_exec(db, "DELETE FROM t", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_prepare_v2(db, (ins + ")").c_str(), -1, &st, nullptr), SQLITE_OK);
  for (size_t i = 0; i < f.size(); ++i) BindField(f[i], img.data(), st, static_cast<int>(i + 1));
  ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT * FROM t", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  for (size_t i = 0; i < f.size(); ++i)
    EXPECT_EQ(sqlite3_column_type(st, static_cast<int>(i)), SQLITE_NULL) << f[i].name;
  DecodeRow(f, st, 0, back.data());
  for (const FieldDef& x : f) EXPECT_TRUE(IsEmpty(x, back.data())) << x.name;
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(SdbStoreCodec, BlanksAreAValueAndOnlyAnEmptyValueIsNull) {
  auto f = Fields({{"C", "CHAR(5)"},
                   {"VF", "VARCHARFOX(6)"},
                   {"NC", "NCHAR(3)"},
                   {"NV", "NVARCHAR(4)"},
                   {"E", "CHAR(5)"}});
  std::vector<uint8_t> img(100), back(100);
  InitRecord(f, img.data());
  PutText(f[0], "   ", img.data(), "CCYY-MM-DD");
  PutText(f[1], "   ", img.data(), "CCYY-MM-DD");
  PutUtf16(f[2], u" ", img.data(), "CCYY-MM-DD");
  PutUtf16(f[3], u"  ", img.data(), "CCYY-MM-DD");
  PutText(f[4], "", img.data(), "CCYY-MM-DD");
  EXPECT_EQ(Hex(&img[f[0].offset], 5), "2020202020");
  EXPECT_FALSE(IsEmpty(f[0], img.data()));
  EXPECT_FALSE(IsEmpty(f[1], img.data()));
  EXPECT_TRUE(IsEmpty(f[4], img.data()));

  sqlite3* db;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t(C TEXT, VF TEXT, NC TEXT, NV TEXT, E TEXT)", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_stmt* st;
  ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?, ?, ?)", -1, &st, nullptr),
            SQLITE_OK);
  for (size_t i = 0; i < f.size(); ++i) BindField(f[i], img.data(), st, static_cast<int>(i + 1));
  ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT quote(C), quote(VF), quote(NC), quote(NV), quote(E), *"
                               " FROM t",
                               -1, &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  const char* stored[] = {"' '", "'   '", "' '", "'  '", "NULL"};
  for (int i = 0; i < 5; ++i)
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), stored[i]);
  DecodeRow(f, st, 5, back.data());
  for (const FieldDef& x : f)
    EXPECT_EQ(Hex(&img[x.offset], x.slotLength), Hex(&back[x.offset], x.slotLength)) << x.name;
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(SdbStoreCodec, ValuesWrittenByHandDecodeSafely) {
  auto f = Fields(
      {{"C", "CHAR(3)"}, {"I", "INTEGER"}, {"D", "DATE"}, {"N", "NUMERIC(4,1)"}, {"L", "LOGICAL"}});
  sqlite3* db;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* st;
  // A text too long for the field is cut at a character boundary; a number
  // that is too wide shows as stars; text in a number column that is no
  // number, and a date that is no date, read as empty.
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT 'ab\xC3\xA9', 'many', 'not a date', 12345.6, 'y'", -1,
                               &st, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  std::vector<uint8_t> img(64);
  DecodeRow(f, st, 0, img.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[0].offset]), 3), "ab ");
  EXPECT_TRUE(IsEmpty(f[1], img.data()));
  EXPECT_TRUE(IsEmpty(f[2], img.data()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&img[f[3].offset]), 4), "****");
  double d = 1;
  EXPECT_TRUE(GetDouble(f[3], img.data(), d));
  EXPECT_EQ(d, 0);
  bool b;
  EXPECT_TRUE(GetLogical(f[4], img.data(), b));
  EXPECT_TRUE(b);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(SdbStoreCodec, StoredWholeNumbersReadAsTheSameNumericTextAsTheirDoubles) {
  // A whole number in storage takes a shortcut around the double; its text
  // must be the double's to the byte: sign, scale, width, stars.
  struct Case {
    const char* type;
    const char* value;
    const char* text;
  };
  const Case cases[] = {{"NUMERIC(16,0)", "100000000007", "    100000000007"},
                        {"NUMERIC(16,0)", "-999999999999999", "-999999999999999"},
                        {"NUMERIC(16,0)", "0", "               0"},
                        {"NUMERIC(6,2)", "42", " 42.00"},
                        {"NUMERIC(6,2)", "-5", " -5.00"},
                        {"NUMERIC(6,2)", "-100", "******"},
                        {"NUMERIC(4,0)", "-999", "-999"},
                        {"NUMERIC(4,0)", "10000", "****"},
                        {"NUMERIC(20,9)", "-123456", "   -123456.000000000"},
                        {"NUMERIC(20,0)", "-9223372036854775808", "-9223372036854775808"}};
  sqlite3* db;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.value);
    auto f = Fields({{"W", c.type}, {"R", c.type}});
    sqlite3_stmt* st;
    std::string sql = std::string("SELECT ") + c.value + ", CAST(" + c.value + " AS REAL)";
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    ASSERT_EQ(sqlite3_column_type(st, 0), SQLITE_INTEGER);
    std::vector<uint8_t> img(64);
    DecodeRow(f, st, 0, img.data());
    sqlite3_finalize(st);
    std::string whole(reinterpret_cast<char*>(&img[f[0].offset]), f[0].imageLength);
    std::string real(reinterpret_cast<char*>(&img[f[1].offset]), f[1].imageLength);
    EXPECT_EQ(whole, c.text);
    EXPECT_EQ(whole, real);
  }
  sqlite3_close(db);
}

TEST(SdbStoreCodec, CompactDateBytesReadOnlyAsCalendarDays) {
  // A caller's record image may hold any bytes: parts that name no day read
  // as no date rather than as some other day.
  auto f = Fields({{"CD", "COMPACTDATE"}});
  std::vector<uint8_t> img(8);
  auto put = [&](uint32_t y, uint32_t m, uint32_t d) {
    uint32_t packed = y << 9 | m << 5 | d;
    img[f[0].offset] = static_cast<uint8_t>(packed >> 16);
    img[f[0].offset + 1] = static_cast<uint8_t>(packed >> 8);
    img[f[0].offset + 2] = static_cast<uint8_t>(packed);
  };
  int32_t julian = 0;
  put(2024, 2, 29);
  EXPECT_TRUE(GetJulian(f[0], img.data(), julian));
  EXPECT_EQ(julian, JulianFromYmd(2024, 2, 29));
  const uint32_t bad[][3] = {{2024, 13, 5}, {2024, 0, 5},  {2024, 5, 0}, {0, 5, 5},
                             {2023, 2, 29}, {2024, 4, 31}, {12000, 1, 1}};
  for (const auto& ymd : bad) {
    SCOPED_TRACE(std::to_string(ymd[0]) + "-" + std::to_string(ymd[1]) + "-" +
                 std::to_string(ymd[2]));
    put(ymd[0], ymd[1], ymd[2]);
    EXPECT_FALSE(GetJulian(f[0], img.data(), julian));
    // Nor is such a value stored as a date text.
    sqlite3* db;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    sqlite3_stmt* st;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT quote(?1)", -1, &st, nullptr), SQLITE_OK);
    BindField(f[0], img.data(), st, 1);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "NULL");
    sqlite3_finalize(st);
    sqlite3_close(db);
  }
}

TEST(SdbStoreCodec, StoredDatesFollowTheCalendar) {
  auto f = Fields({{"D", "DATE"}});
  sqlite3* db;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  // Leap days by the 4/100/400 rule and every month's last day; a day past
  // the month's end reads as empty rather than rolling into the next month.
  const std::pair<const char*, int32_t> cases[] = {
      {"2024-02-29", 2460370}, {"2000-02-29", 2451604}, {"1900-02-29", 0},
      {"2023-02-29", 0},       {"2023-04-31", 0},       {"2023-12-31", 2460310},
      {"0001-01-01", 1721426}, {"2023-13-01", 0},       {"2023-00-10", 0}};
  for (const auto& [text, julian] : cases) {
    SCOPED_TRACE(text);
    sqlite3_stmt* st;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, (std::string("SELECT '") + text + "'").c_str(), -1, &st, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    std::vector<uint8_t> img(8, 0xEE);
    DecodeRow(f, st, 0, img.data());
    sqlite3_finalize(st);
    if (julian == 0) {
      EXPECT_TRUE(IsEmpty(f[0], img.data()));
    } else {
      int32_t got;
      std::memcpy(&got, &img[f[0].offset], 4);
      EXPECT_EQ(got, julian);
    }
  }
  sqlite3_close(db);
}

TEST(SdbStoreCodec, ATypeNoFieldCanHaveDecodesToNothing) {
  sqlite3* db;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* st;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT '12', 7, 2.5, 'text'", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  for (FieldType type : {FieldType::System, FieldType::Reserved1, static_cast<FieldType>(99)}) {
    FieldDef f;
    f.name = "X";
    f.type = type;
    std::vector<uint8_t> img(16, 0xEE);
    for (int col = 0; col < 4; ++col) DecodeColumn(f, st, col, img.data());
    EXPECT_EQ(std::vector<uint8_t>(16, 0xEE), img);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(SdbStoreCodec, Utf16Conversions) {
  std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::u16string u = Utf8ToUtf16(s);
  EXPECT_EQ(u, u"a\u00e9\u20ac\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u), s);
  EXPECT_EQ(Utf8ToUtf16("\xFF"), u"\uFFFD");
}
