// The field classes: native values, conversions in both directions with their
// boundaries and refusals, validation, read-only fields and blobs.
#include "fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "testing/errorof.h"
#include "testing/memdataset.h"

namespace {

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddColumn("STR", ftString, 5);
    ds.AddColumn("WIDE", ftWideString, 4);
    ds.AddColumn("SMALL", ftSmallint);
    ds.AddColumn("INT", ftInteger);
    ds.AddColumn("WORD", ftWord);
    ds.AddColumn("AUTO", ftAutoInc);
    ds.AddColumn("LARGE", ftLargeint);
    ds.AddColumn("FLOAT", ftFloat);
    ds.AddColumn("MONEY", ftCurrency);
    ds.AddColumn("BCD", ftBCD, 4);
    ds.AddColumn("FMT", ftFMTBcd, 8);
    ds.AddColumn("FLAG", ftBoolean);
    ds.AddColumn("DAY", ftDate);
    ds.AddColumn("CLOCK", ftTime);
    ds.AddColumn("STAMP", ftDateTime);
    ds.AddColumn("RAW", ftBytes, 4);
    ds.AddColumn("VAR", ftVarBytes, 4);
    ds.AddColumn("BLOB", ftBlob);
    ds.AddColumn("MEMO", ftMemo);
    ds.AddColumn("WMEMO", ftWideMemo);
    ds.AddColumn("PIC", ftGraphic);
    ds.Open();
    ds.Append();
  }
  TField* F(const char* name) { return ds.FieldByName(name); }
  template <class T>
  T Native(const char* name) {
    T value{};
    EXPECT_TRUE(F(name)->GetData(&value));
    return value;
  }

  TFormatSettingsRestorer restore;
  TMemDataSet ds;
};

TEST_F(FieldsTest, EachTypeGetsItsClass) {
  EXPECT_NE(dynamic_cast<TStringField*>(F("STR")), nullptr);
  EXPECT_NE(dynamic_cast<TWideStringField*>(F("WIDE")), nullptr);
  EXPECT_NE(dynamic_cast<TSmallintField*>(F("SMALL")), nullptr);
  EXPECT_NE(dynamic_cast<TWordField*>(F("WORD")), nullptr);
  EXPECT_NE(dynamic_cast<TAutoIncField*>(F("AUTO")), nullptr);
  EXPECT_NE(dynamic_cast<TLargeintField*>(F("LARGE")), nullptr);
  EXPECT_NE(dynamic_cast<TCurrencyField*>(F("MONEY")), nullptr);
  EXPECT_NE(dynamic_cast<TFMTBCDField*>(F("FMT")), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(F("DAY")), nullptr);
  EXPECT_NE(dynamic_cast<TTimeField*>(F("CLOCK")), nullptr);
  EXPECT_NE(dynamic_cast<TVarBytesField*>(F("VAR")), nullptr);
  EXPECT_NE(dynamic_cast<TWideMemoField*>(F("WMEMO")), nullptr);
  EXPECT_NE(dynamic_cast<TGraphicField*>(F("PIC")), nullptr);
  for (int i = 0; i < ds.FieldCount(); ++i) {
    EXPECT_EQ(ds.Fields(i)->FieldNo(), i + 1);
    EXPECT_TRUE(ds.Fields(i)->IsNull()) << ds.Fields(i)->FieldName();
    EXPECT_TRUE(ds.Fields(i)->Value().IsNull()) << ds.Fields(i)->FieldName();
  }
  EXPECT_EQ(CreateFieldForType(ftCursor), nullptr);
}

TEST_F(FieldsTest, StringFields) {
  TField* s = F("STR");
  s->SetAsString("abc");
  EXPECT_EQ(s->AsString(), "abc");
  EXPECT_EQ(std::string(Native<std::array<char, 6>>("STR").data()), "abc");
  s->SetAsString("abcdefgh");  // cut to Size bytes
  EXPECT_EQ(s->AsString(), "abcde");
  s->SetAsString("abcd\xC3\xA9");  // "abcdé" is six bytes: the é does not fit whole
  EXPECT_EQ(s->AsString(), "abcd");
  s->SetAsInteger(-42);
  EXPECT_EQ(s->AsInteger(), -42);
  s->SetAsString("12x");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { s->AsInteger(); }), "'12x' is not a valid integer value");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { s->AsFloat(); }),
            "'12x' is not a valid floating point value");
  FormatSettings().DecimalSeparator = ',';
  s->SetAsFloat(1.5);
  EXPECT_EQ(s->AsString(), "1,5");
  EXPECT_DOUBLE_EQ(s->AsFloat(), 1.5);
  s->SetAsString("yes");
  EXPECT_TRUE(s->AsBoolean());
  s->SetAsBoolean(false);
  EXPECT_EQ(s->AsString(), "False");
  EXPECT_FALSE(s->AsBoolean());
  s->SetAsString("");
  EXPECT_FALSE(s->IsNull());  // an empty text is a value
  s->Clear();
  EXPECT_TRUE(s->IsNull());
  EXPECT_EQ(s->AsString(), "");
  EXPECT_EQ(s->AsInteger(), 0);
  s->SetValue(Variant(12.5));
  EXPECT_EQ(s->Value().AsString(), "12,5");
}

TEST_F(FieldsTest, WideStringFieldsHoldUtf16) {
  TField* w = F("WIDE");
  w->SetAsString("\xC3\xA9t\xC3\xA9");  // "été"
  auto native = Native<std::array<char16_t, 5>>("WIDE");
  EXPECT_EQ(native[0], u'\u00E9');
  EXPECT_EQ(native[1], u't');
  EXPECT_EQ(native[3], u'\0');
  EXPECT_EQ(w->AsString(), "\xC3\xA9t\xC3\xA9");
  w->SetAsString("abc\xF0\x9F\x98\x80");  // a surrogate pair would not fit in 4 units
  EXPECT_EQ(w->AsString(), "abc");
  w->SetAsString("abcdef");
  EXPECT_EQ(w->AsString(), "abcd");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"), u"a\uFFFD");
}

TEST_F(FieldsTest, IntegerFieldsAndTheirRanges) {
  TField* small = F("SMALL");
  small->SetAsInteger(-32768);
  EXPECT_EQ(Native<int16_t>("SMALL"), -32768);
  small->SetAsString("32767");
  EXPECT_EQ(small->AsInteger(), 32767);
  EXPECT_EQ(ErrorOf([&] { small->SetAsInteger(32768); }),
            "32768 is not a valid value for field 'SMALL'. The allowed range is -32768 to 32767");
  EXPECT_EQ(small->AsInteger(), 32767);

  TField* word = F("WORD");
  word->SetAsInteger(65535);
  EXPECT_EQ(Native<uint16_t>("WORD"), 65535);
  EXPECT_EQ(ErrorOf([&] { word->SetAsInteger(-1); }),
            "-1 is not a valid value for field 'WORD'. The allowed range is 0 to 65535");

  TField* i = F("INT");
  i->SetAsInteger(INT32_MIN);
  EXPECT_EQ(Native<int32_t>("INT"), INT32_MIN);
  EXPECT_EQ(i->AsString(), "-2147483648");
  EXPECT_EQ(ErrorOf([&] { i->SetAsLargeInt(2147483648LL); }),
            "2147483648 is not a valid value for field 'INT'. The allowed range is -2147483648 "
            "to 2147483647");
  i->SetAsFloat(2.5);
  EXPECT_EQ(i->AsInteger(), 3);  // halves away from zero
  i->SetAsFloat(-2.5);
  EXPECT_EQ(i->AsInteger(), -3);
  EXPECT_DOUBLE_EQ(i->AsFloat(), -3.0);
  EXPECT_EQ(i->AsCurrency().Scaled, -30000);
  i->SetAsCurrency(Currency::FromScaled(15000));
  EXPECT_EQ(i->AsInteger(), 2);
  i->SetAsBCD(StrToBcd("41.6"));
  EXPECT_EQ(i->AsInteger(), 42);
  EXPECT_EQ(BcdToStr(i->AsBCD()), "42");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { i->SetAsString("4 2"); }),
            "'4 2' is not a valid integer value");
  i->SetAsString(" ");
  EXPECT_TRUE(i->IsNull());
  i->SetValue(Variant("17"));
  EXPECT_EQ(i->Value().VarType(), varInteger);
  EXPECT_EQ(i->Value().AsInteger(), 17);
  EXPECT_EQ(ErrorOf([&] { i->AsBoolean(); }), "Cannot access field 'INT' as type Boolean");
  auto* bounded = static_cast<TIntegerField*>(i);
  bounded->SetMinValue(1);
  bounded->SetMaxValue(10);
  EXPECT_EQ(ErrorOf([&] { i->SetAsInteger(11); }),
            "11 is not a valid value for field 'INT'. The allowed range is 1 to 10");

  TField* large = F("LARGE");
  large->SetAsLargeInt(INT64_MAX);
  EXPECT_EQ(Native<int64_t>("LARGE"), INT64_MAX);
  EXPECT_EQ(large->AsString(), "9223372036854775807");
  EXPECT_EQ(large->Value().VarType(), varInt64);
  EXPECT_EQ(ErrorOf<EConvertError>([&] { large->AsInteger(); }),
            "'9223372036854775807' is not a valid integer value");
  EXPECT_THROW(large->AsCurrency(), EConvertError);
  F("AUTO")->SetAsInteger(5);
  EXPECT_EQ(F("AUTO")->DataType(), ftAutoInc);
  EXPECT_EQ(Native<int32_t>("AUTO"), 5);
}

TEST_F(FieldsTest, FloatFields) {
  TField* f = F("FLOAT");
  f->SetAsString("1.25");
  EXPECT_DOUBLE_EQ(Native<double>("FLOAT"), 1.25);
  EXPECT_EQ(f->AsString(), "1.25");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { f->SetAsString("1.2.3"); }),
            "'1.2.3' is not a valid floating point value");
  EXPECT_DOUBLE_EQ(f->AsFloat(), 1.25);
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(f->AsString(), "1,25");
  f->SetAsString("-0,5");
  EXPECT_DOUBLE_EQ(f->AsFloat(), -0.5);
  EXPECT_EQ(f->AsInteger(), -1);
  FormatSettings().DecimalSeparator = '.';
  f->SetAsFloat(1e300);
  EXPECT_THROW(f->AsInteger(), EConvertError);
  EXPECT_THROW(f->SetAsFloat(NAN), EDatabaseError);
  f->SetAsCurrency(Currency::FromScaled(12345));
  EXPECT_DOUBLE_EQ(f->AsFloat(), 1.2345);
  EXPECT_EQ(f->AsCurrency().Scaled, 12345);
  EXPECT_EQ(BcdToStr(f->AsBCD()), "1.2345");
  auto* display = static_cast<TFloatField*>(f);
  display->SetDisplayFormat("0.000");
  EXPECT_EQ(f->DisplayText(), "1.235");
  display->SetMinValue(0);
  display->SetMaxValue(2);
  EXPECT_THROW(f->SetAsFloat(2.5), EDatabaseError);

  TField* money = F("MONEY");
  money->SetAsFloat(1234.5);
  EXPECT_EQ(money->DisplayText(), "1,234.50");
  EXPECT_EQ(money->AsString(), "1234.5");
}

TEST_F(FieldsTest, PackedDecimalFieldsAreExact) {
  TField* b = F("BCD");
  b->SetAsString("12345678901234.5678");
  EXPECT_EQ(b->AsString(), "12345678901234.5678");
  TBcd native = Native<TBcd>("BCD");
  EXPECT_EQ(BcdScale(native), 4);
  EXPECT_EQ(BcdToStr(native), "12345678901234.5678");
  b->SetAsString("1.23456");  // rounded to Size decimals
  EXPECT_EQ(b->AsString(), "1.2346");
  b->SetAsString("-0.00005");
  EXPECT_EQ(b->AsString(), "-0.0001");
  EXPECT_EQ(ErrorOf([&] { b->SetAsString("123456789012345"); }),
            "123456789012345 is not a valid value for field 'BCD'. The allowed range is "
            "-99999999999999.9999 to 99999999999999.9999");
  EXPECT_THROW(b->SetAsString("ten"), EConvertError);
  b->SetAsCurrency(Currency::FromScaled(-15000));
  EXPECT_EQ(b->AsString(), "-1.5");
  EXPECT_EQ(b->AsCurrency().Scaled, -15000);
  EXPECT_DOUBLE_EQ(b->AsFloat(), -1.5);
  EXPECT_EQ(b->AsInteger(), -2);
  b->SetAsFloat(0.1);
  EXPECT_EQ(b->AsString(), "0.1");
  EXPECT_EQ(b->Value().VarType(), varBcd);
  FormatSettings().DecimalSeparator = ',';
  b->SetAsString("2,5");
  EXPECT_EQ(b->AsString(), "2,5");
  FormatSettings().DecimalSeparator = '.';

  TField* fmt = F("FMT");
  fmt->SetAsString("0.12345678");
  EXPECT_EQ(fmt->DataType(), ftFMTBcd);
  EXPECT_EQ(fmt->AsString(), "0.12345678");
}

TEST_F(FieldsTest, ADataSetMayTakeOverTheRangeCheckOfPackedDecimals) {
  // The storage applies its own range rule (and error) in PutFieldData; the
  // field then hands the value on, fitted to its decimals only.
  ds.BcdRangeByDataSet = true;
  TField* b = F("BCD");
  b->SetAsString("123456789012345678901.234567");
  EXPECT_EQ(b->AsString(), "123456789012345678901.2346");
  EXPECT_EQ(BcdScale(Native<TBcd>("BCD")), 4);
}

TEST_F(FieldsTest, BooleanFieldsUseMinusOneForTrue) {
  TField* b = F("FLAG");
  b->SetAsBoolean(true);
  EXPECT_EQ(Native<int16_t>("FLAG"), -1);
  EXPECT_EQ(b->AsString(), "True");
  b->SetAsString("f");
  EXPECT_EQ(Native<int16_t>("FLAG"), 0);
  EXPECT_FALSE(b->AsBoolean());
  b->SetAsString("TRUE");
  EXPECT_TRUE(b->AsBoolean());
  EXPECT_EQ(ErrorOf([&] { b->SetAsString("yes"); }),
            "'yes' is not a valid boolean value for field 'FLAG'");
  auto* flag = static_cast<TBooleanField*>(b);
  flag->SetDisplayValues("Yes;No");
  b->SetAsString("n");
  EXPECT_EQ(b->AsString(), "No");
  b->SetValue(Variant(true));
  EXPECT_EQ(b->Value().VarType(), varBoolean);
  EXPECT_EQ(b->AsInteger(), 1);
  EXPECT_EQ(ErrorOf([&] { b->AsFloat(); }), "Cannot access field 'FLAG' as type Float");
  EXPECT_EQ(ErrorOf([&] { b->SetAsDateTime(0); }), "Cannot access field 'FLAG' as type DateTime");
}

TEST_F(FieldsTest, DateFieldsHoldDayNumbers) {
  TField* d = F("DAY");
  d->SetAsDateTime(EncodeDate(1899, 12, 30) + 0.75);
  EXPECT_EQ(Native<int32_t>("DAY"), 693594);
  EXPECT_DOUBLE_EQ(d->AsDateTime(), 0.0);  // the time of day is dropped
  d->SetAsDateTime(EncodeDate(1, 1, 1));
  EXPECT_EQ(Native<int32_t>("DAY"), 1);
  d->SetAsDateTime(EncodeDate(9999, 12, 31));
  EXPECT_EQ(Native<int32_t>("DAY"), 3652059);
  d->SetAsDateTime(-1.25);  // 1899-12-29 06:00
  EXPECT_EQ(Native<int32_t>("DAY"), 693593);
  FormatSettings().ShortDateFormat = "dd/mm/yyyy";
  FormatSettings().DateSeparator = '.';
  d->SetAsString("24.12.2026");
  EXPECT_DOUBLE_EQ(d->AsDateTime(), EncodeDate(2026, 12, 24));
  EXPECT_EQ(d->AsString(), "24.12.2026");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { d->SetAsString("31.02.2026"); }),
            "'31.02.2026' is not a valid date");
  EXPECT_THROW(d->SetAsDateTime(EncodeDate(9999, 12, 31) + 1), EConvertError);
}

TEST_F(FieldsTest, TimeFieldsHoldMilliseconds) {
  TField* t = F("CLOCK");
  t->SetAsDateTime(EncodeTime(12, 0, 0, 0));
  EXPECT_EQ(Native<int32_t>("CLOCK"), 43200000);
  t->SetAsDateTime(EncodeDate(2026, 1, 1) + EncodeTime(23, 59, 59, 999));
  EXPECT_EQ(Native<int32_t>("CLOCK"), 86399999);  // the date is dropped
  t->SetAsDateTime(1.0 - 0.1 / MSecsPerDay);      // rounds to midnight
  EXPECT_EQ(Native<int32_t>("CLOCK"), 0);
  t->SetAsString("08:30:15");
  EXPECT_EQ(Native<int32_t>("CLOCK"), (8 * 3600 + 30 * 60 + 15) * 1000);
  EXPECT_EQ(t->AsString(), "08:30:15");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { t->SetAsString("25:00"); }),
            "'25:00' is not a valid time");
}

TEST_F(FieldsTest, DateTimeFieldsHoldDayNumberMilliseconds) {
  TField* s = F("STAMP");
  s->SetAsDateTime(0.5);  // 1899-12-30 12:00
  EXPECT_DOUBLE_EQ(Native<double>("STAMP"), 693594.0 * 86400000 + 43200000);
  EXPECT_DOUBLE_EQ(s->AsDateTime(), 0.5);
  s->SetAsDateTime(-1.25);
  EXPECT_DOUBLE_EQ(Native<double>("STAMP"), 693593.0 * 86400000 + 21600000);
  EXPECT_DOUBLE_EQ(s->AsDateTime(), -1.25);
  s->SetAsString("2026-12-09 10:30:00");
  EXPECT_DOUBLE_EQ(s->AsFloat(), EncodeDate(2026, 12, 9) + EncodeTime(10, 30, 0, 0));
  EXPECT_EQ(s->AsString(), "2026-12-09 10:30:00");
  static_cast<TDateTimeField*>(s)->SetDisplayFormat("yyyy");
  EXPECT_EQ(s->DisplayText(), "2026");
  s->SetValue(Variant::FromDateTime(1.0));
  EXPECT_EQ(s->Value().VarType(), varDate);
  EXPECT_DOUBLE_EQ(s->Value().AsDateTime(), 1.0);
  EXPECT_EQ(ErrorOf<EConvertError>([&] { s->SetAsString("later"); }),
            "'later' is not a valid date and time");
}

TEST_F(FieldsTest, ByteFields) {
  TField* raw = F("RAW");
  raw->SetAsString(std::string("ab", 2));
  auto fixed = Native<std::array<char, 4>>("RAW");
  EXPECT_EQ(std::string(fixed.data(), 4), std::string("ab\0\0", 4));
  EXPECT_EQ(raw->AsString(), std::string("ab\0\0", 4));
  raw->SetValue(Variant::FromBytes("wxyz!", 5));
  EXPECT_EQ(raw->AsString(), "wxyz");

  TField* var = F("VAR");
  var->SetAsString(std::string("a\0b", 3));
  auto native = Native<std::array<char, 6>>("VAR");
  uint16_t length;
  std::memcpy(&length, native.data(), 2);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(var->AsString(), std::string("a\0b", 3));
  EXPECT_EQ(var->Value().AsBytes().size(), 3u);
  var->SetAsString("toolong");
  EXPECT_EQ(var->AsString(), "tool");
}

TEST_F(FieldsTest, BlobFieldsGoThroughStreams) {
  auto* blob = static_cast<TBlobField*>(F("BLOB"));
  EXPECT_TRUE(blob->IsNull());
  EXPECT_EQ(blob->DisplayText(), "(Blob)");
  blob->SetAsBytes(std::string("\0\1\2", 3));
  EXPECT_FALSE(blob->IsNull());
  EXPECT_EQ(blob->BlobSize(), 3);
  EXPECT_EQ(blob->DisplayText(), "(BLOB)");
  EXPECT_EQ(blob->Value().VarType(), varBytes);
  TMemoryStream out;
  blob->SaveToStream(out);
  EXPECT_EQ(out.Size(), 3);
  TMemoryStream in;
  in.WriteAll("loaded");
  blob->LoadFromStream(in);
  EXPECT_EQ(blob->AsString(), "loaded");
  blob->SetAsString("");
  EXPECT_TRUE(blob->IsNull());

  F("MEMO")->SetAsString("a memo");
  EXPECT_EQ(F("MEMO")->DisplayText(), "a memo");
  EXPECT_EQ(F("MEMO")->Value().VarType(), varString);
  auto* wide = static_cast<TBlobField*>(F("WMEMO"));
  wide->SetAsString("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(wide->BlobSize(), 6);  // three UTF-16 units
  EXPECT_EQ(wide->AsString(), "\xC3\xA9t\xC3\xA9");
  F("PIC")->SetValue(Variant::FromBytes("GIF89a", 6));
  EXPECT_EQ(F("PIC")->AsString(), "GIF89a");
  ds.FieldByName("STR")->SetAsString("x");
  ds.Post();
  EXPECT_EQ(ds.Cell(0, "MEMO"), "a memo");
  EXPECT_EQ(ErrorOf([&] { blob->SetAsString("outside an edit"); }), "Dataset not in edit mode");
}

TEST(BlobFields, ClearingGoesThroughAWriteStream) {
  // A Clear, a Null value and a Null in AppendRecord empty the stored value,
  // not only the record buffer's presence mark.
  TMemDataSet ds;
  ds.AddColumn("ID", ftInteger);
  ds.AddColumn("MEMO", ftMemo);
  ds.AddRow({Variant(1), Variant("kept")});
  ds.AddRow({Variant(2), Variant("also kept")});
  ds.Open();
  auto* memo = static_cast<TBlobField*>(ds.FieldByName("MEMO"));
  int changes = 0;
  memo->OnChange = [&](TField*) { ++changes; };
  ds.Edit();
  memo->Clear();
  EXPECT_TRUE(memo->IsNull());
  EXPECT_TRUE(memo->Modified());
  EXPECT_TRUE(ds.Modified());
  EXPECT_EQ(changes, 1);
  ds.Post();
  EXPECT_EQ(memo->AsString(), "");
  ds.Next();
  ds.Edit();
  memo->SetValue(Variant::Null());
  ds.Post();
  EXPECT_EQ(memo->AsString(), "");
  memo->SetModified(false);
  ds.AppendRecord({Variant(3), Variant::Null()});
  EXPECT_TRUE(memo->Modified());
  EXPECT_EQ(ds.Cell(2, "MEMO"), "<null>");
  EXPECT_EQ(ErrorOf([&] { memo->Clear(); }), "Dataset not in edit mode");
}

TEST(BlobFields, AStreamMarksTheCursorAsMoved) {
  TMemDataSet ds;
  ds.AddColumn("ID", ftInteger);
  ds.AddColumn("MEMO", ftMemo);
  ds.AddRow({Variant(1), Variant("one")});
  ds.AddRow({Variant(2), Variant("two")});
  ds.Open();
  ds.Edit();  // the cursor stands on the active record
  ds.Cancel();
  ds.Log.clear();
  EXPECT_EQ(ds.FieldByName("MEMO")->AsString(), "one");
  ds.Edit();  // reading the blob may have moved it: put back first
  EXPECT_EQ(ds.Log.front(), "GoBufferRecordHook");
  ds.Cancel();
}

TEST_F(FieldsTest, ValidationReadOnlyAndChangeEvents) {
  TField* i = F("INT");
  std::vector<std::string> log;
  i->OnValidate = [&](TField* sender) {
    log.push_back("validate " + sender->AsString());
    if (sender->AsInteger() < 0) throw EDatabaseError("negative");
  };
  i->OnChange = [&](TField* sender) { log.push_back("change " + sender->AsString()); };
  i->SetAsInteger(5);
  EXPECT_EQ(ErrorOf([&] { i->SetAsInteger(-1); }), "negative");
  EXPECT_EQ(i->AsInteger(), 5);
  EXPECT_EQ(log, (std::vector<std::string>{"validate 5", "change 5", "validate -1"}));

  F("STR")->SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { F("STR")->SetAsString("x"); }), "Field 'STR' cannot be modified");
  EXPECT_FALSE(F("STR")->CanModify());
  EXPECT_TRUE(i->CanModify());

  i->OnGetText = [](TField*, std::string& text, bool display) {
    text = display ? "shown" : "edit";
  };
  EXPECT_EQ(i->DisplayText(), "shown");
  EXPECT_EQ(i->Text(), "edit");
  std::string received;
  i->OnSetText = [&](TField*, const std::string& text) { received = text; };
  i->SetText("typed");
  EXPECT_EQ(received, "typed");
}

TEST(FieldDefsTest, DefinitionsAreNamedUniquelyAndCopied) {
  TFieldDefs defs;
  TFieldDef* id = defs.Add("ID", ftInteger, 0, true);
  defs.Add("Name", ftString, 30);
  EXPECT_EQ(id->FieldNo(), 1);
  EXPECT_EQ(defs.Find("name")->FieldNo(), 2);
  EXPECT_EQ(defs.IndexOf("NAME"), 1);
  EXPECT_EQ(defs.IndexOf("other"), -1);
  EXPECT_EQ(ErrorOf([&] { defs.Add("id", ftString); }), "Duplicate field name 'id'");
  EXPECT_EQ(ErrorOf([&] { defs.Find("other"); }), "Field 'other' not found");
  TFieldDefs copy;
  copy.Assign(defs);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_TRUE(copy[0]->Required());
  EXPECT_EQ(copy[1]->Size(), 30);
  EXPECT_FALSE(copy.Updated());
  copy.Update();  // no dataset: nothing to read
  EXPECT_EQ(copy.Count(), 2);
}

TEST(FieldsBindingTest, PersistentFieldMustMatchItsDefinition) {
  TMemDataSet ds;
  ds.AddColumn("ID", ftInteger);
  ds.NewField<TStringField>("ID");
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }),
            "Type mismatch for field 'ID', expecting: String actual: Integer");
  EXPECT_FALSE(ds.Active());
  TMemDataSet other;
  other.AddColumn("ID", ftInteger);
  other.NewField<TIntegerField>("MISSING");
  EXPECT_EQ(ErrorOf([&] { other.Open(); }), "Field 'MISSING' not found");
  EXPECT_EQ(ErrorOf([&] { other.NewField<TIntegerField>("missing"); }),
            "Duplicate field name 'missing'");
  TIntegerField loose("LOOSE");
  EXPECT_EQ(ErrorOf([&] { loose.AsInteger(); }), "Field 'LOOSE' has no dataset");
}

}  // namespace
