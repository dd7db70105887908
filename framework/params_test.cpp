// Parameters: typed values, null and bound state, lookup and copying by
// name, and the marker scan of SQL texts.
#include "params.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Names(const TParams& params) {
  std::vector<std::string> names;
  for (int i = 0; i < params.Count(); ++i) names.push_back(params[i]->Name());
  return names;
}

TEST(Params, TypedSettersSetTypeValueAndBound) {
  TParams params;
  TParam* p = params.CreateParam(ftUnknown, "p");
  EXPECT_TRUE(p->IsNull());
  EXPECT_FALSE(p->Bound());
  EXPECT_EQ(p->ParamType(), ptInput);
  EXPECT_EQ(p->Collection(), &params);

  p->SetAsInteger(-7);
  EXPECT_EQ(p->DataType(), ftInteger);
  EXPECT_TRUE(p->Bound());
  EXPECT_FALSE(p->IsNull());
  EXPECT_EQ(p->AsString(), "-7");
  EXPECT_EQ(p->AsFloat(), -7.0);

  p->SetAsFloat(1.0921);
  EXPECT_EQ(p->DataType(), ftFloat);
  EXPECT_EQ(p->AsString(), "1.0921");
  EXPECT_EQ(p->AsInteger(), 1);

  p->SetAsCurrency(Currency::FromScaled(123456));
  EXPECT_EQ(p->DataType(), ftCurrency);
  EXPECT_EQ(p->AsFloat(), 12.3456);

  p->SetAsBCD(StrToBcd("12.50"));
  EXPECT_EQ(p->DataType(), ftBCD);
  EXPECT_EQ(p->AsString(), "12.5");
  p->SetAsFMTBCD(StrToBcd("1"));
  EXPECT_EQ(p->DataType(), ftFMTBcd);

  p->SetAsLargeInt(100000000007);
  EXPECT_EQ(p->DataType(), ftLargeint);
  EXPECT_EQ(p->AsString(), "100000000007");

  p->SetAsBoolean(true);
  EXPECT_EQ(p->DataType(), ftBoolean);
  EXPECT_EQ(p->AsString(), "True");

  p->SetAsSmallInt(-32768);
  EXPECT_EQ(p->DataType(), ftSmallint);
  p->SetAsWord(65535);
  EXPECT_EQ(p->DataType(), ftWord);
  EXPECT_EQ(p->AsWord(), 65535);

  p->SetAsBytes({1, 0, 2});
  EXPECT_EQ(p->DataType(), ftBytes);
  EXPECT_EQ(p->AsBytes(), (Variant::Bytes{1, 0, 2}));
  p->SetAsBlob({9});
  EXPECT_EQ(p->DataType(), ftBlob);
  p->SetAsMemo("long text");
  EXPECT_EQ(p->DataType(), ftMemo);
  p->SetAsWideString("ünï");
  EXPECT_EQ(p->DataType(), ftWideString);
  EXPECT_EQ(p->AsString(), "ünï");
}

TEST(Params, SmallIntAndWordRefuseValuesOutOfRange) {
  TParam p(nullptr, "p");
  EXPECT_THROW(p.SetAsSmallInt(32768), EConvertError);
  EXPECT_THROW(p.SetAsWord(-1), EConvertError);
  try {
    p.SetAsWord(65536);
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'65536' is not a valid word value");
  }
  EXPECT_FALSE(p.Bound());  // a refused value changes nothing
  EXPECT_EQ(p.DataType(), ftUnknown);
}

TEST(Params, StringsKeepATextTypeAndDatesFormatByType) {
  TParam p(nullptr, "p", ptInput, ftWideString);
  p.SetAsString("abc");
  EXPECT_EQ(p.DataType(), ftWideString);
  p.SetDataType(ftInteger);
  p.SetAsString("12");
  EXPECT_EQ(p.DataType(), ftString);
  EXPECT_EQ(p.AsInteger(), 12);

  TDateTime v = EncodeDate(1899, 12, 30) + EncodeTime(12, 0, 0, 0);
  p.SetAsDate(EncodeDate(1899, 12, 30));
  EXPECT_EQ(p.DataType(), ftDate);
  EXPECT_EQ(p.AsDateTime(), 0);
  EXPECT_EQ(p.AsString(), "1899-12-30");
  p.SetAsTime(EncodeTime(12, 0, 0, 0));
  EXPECT_EQ(p.DataType(), ftTime);
  EXPECT_EQ(p.AsString(), "12:00:00");
  p.SetAsDateTime(v);
  EXPECT_EQ(p.DataType(), ftDateTime);
  EXPECT_EQ(p.AsString(), "1899-12-30 12:00:00");
  EXPECT_EQ(p.AsDate(), 0.5);
}

TEST(Params, NullValuesReadAsDefaultsAndKeepTheirType) {
  TParam p(nullptr, "p");
  p.SetAsFloat(2.5);
  p.Clear();
  EXPECT_TRUE(p.IsNull());
  EXPECT_EQ(p.DataType(), ftFloat);
  EXPECT_TRUE(p.Bound());
  EXPECT_EQ(p.AsString(), "");
  EXPECT_EQ(p.AsInteger(), 0);
  EXPECT_EQ(p.AsLargeInt(), 0);
  EXPECT_EQ(p.AsFloat(), 0);
  EXPECT_FALSE(p.AsBoolean());
  EXPECT_EQ(p.AsDateTime(), 0);
  EXPECT_EQ(p.AsCurrency().Scaled, 0);
  EXPECT_TRUE(IsBcdZero(p.AsBCD()));
  EXPECT_TRUE(p.AsBytes().empty());
  p.SetValue(Variant());  // Unassigned counts as null too
  EXPECT_TRUE(p.IsNull());
}

TEST(Params, ValueOfAnUntypedParameterGivesTheType) {
  struct Case {
    Variant value;
    TFieldType type;
  };
  for (const Case& c :
       {Case{Variant(true), ftBoolean}, Case{Variant(5), ftInteger},
        Case{Variant(int64_t{5}), ftLargeint}, Case{Variant(1.5), ftFloat},
        Case{Variant(Currency::FromScaled(1)), ftCurrency},
        Case{Variant::FromDateTime(2), ftDateTime}, Case{Variant("x"), ftString},
        Case{Variant(StrToBcd("1")), ftFMTBcd}, Case{Variant::FromBytes("a", 1), ftBytes},
        Case{Variant::Null(), ftUnknown}}) {
    TParam p(nullptr, "p");
    p.SetValue(c.value);
    EXPECT_EQ(p.DataType(), c.type) << VarTypeName(c.value.VarType());
    EXPECT_TRUE(p.Bound());
  }
  TParam typed(nullptr, "p", ptInput, ftString);
  typed.SetValue(Variant(42));
  EXPECT_EQ(typed.DataType(), ftString);  // a given type stays
  EXPECT_EQ(typed.AsString(), "42");
}

TEST(Params, BadTextRaisesTheConversionError) {
  TParam p(nullptr, "p");
  p.SetAsString("1,5");
  try {
    p.AsFloat();
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'1,5' is not a valid floating point value");
  }
  EXPECT_THROW(p.AsInteger(), EConvertError);
}

TEST(Params, ParamByNameIgnoresCaseAndNamesTheMissingOne) {
  TParams params;
  params.CreateParam(ftString, "FAppID");
  TParam* second = params.CreateParam(ftInteger, "Count", ptOutput);
  EXPECT_EQ(params.ParamByName("fappid"), params[0]);
  EXPECT_EQ(params.FindParam("COUNT"), second);
  EXPECT_EQ(params.FindParam("none"), nullptr);
  try {
    params.ParamByName("Missing");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Parameter 'Missing' not found");
  }
  EXPECT_THROW(params.Items(2), EDatabaseError);
  EXPECT_THROW(params.Items(-1), EDatabaseError);
  params.RemoveParam(second);
  EXPECT_EQ(params.Count(), 1);
  auto made = std::make_unique<TParam>(nullptr, "Extra");
  made->SetAsInteger(3);
  TParam* added = params.AddParam(std::move(made));
  EXPECT_EQ(added->Collection(), &params);
  EXPECT_EQ(params.ParamByName("extra")->AsInteger(), 3);
  params.Clear();
  EXPECT_EQ(params.Count(), 0);
}

TEST(Params, AssignCopiesEverythingAndAssignValuesCopiesByName) {
  TParams source;
  source.CreateParam(ftUnknown, "a")->SetAsInteger(1);
  source.CreateParam(ftUnknown, "B")->SetAsString("two");
  TParam* unbound = source.CreateParam(ftFloat, "c");

  TParams copy;
  copy.CreateParam(ftUnknown, "old");
  copy.Assign(source);
  EXPECT_EQ(Names(copy), (std::vector<std::string>{"a", "B", "c"}));
  EXPECT_TRUE(copy.IsEqual(source));
  EXPECT_EQ(copy[0]->Collection(), &copy);
  copy[0]->SetAsInteger(5);
  EXPECT_EQ(source[0]->AsInteger(), 1);  // independent copies
  EXPECT_FALSE(copy.IsEqual(source));

  // A rebuilt list (one parameter per marker) takes the old values by name.
  TParams rebuilt;
  rebuilt.ParseSQL("select * from t where x = :b or y = :B and z = :new and w = :c");
  rebuilt.AssignValues(source);
  ASSERT_EQ(rebuilt.Count(), 4);
  EXPECT_EQ(rebuilt[0]->AsString(), "two");
  EXPECT_EQ(rebuilt[0]->DataType(), ftString);
  EXPECT_EQ(rebuilt[0]->Name(), "b");  // names stay as written
  EXPECT_EQ(rebuilt[1]->AsString(), "two");
  EXPECT_TRUE(rebuilt[2]->IsNull());
  EXPECT_EQ(rebuilt[2]->DataType(), ftUnknown);
  EXPECT_FALSE(rebuilt[3]->Bound());
  EXPECT_EQ(rebuilt[3]->DataType(), unbound->DataType());
}

TEST(Params, MarkerScanOfSqlText) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ParseSQLParamNames("select * from t where a = :x and b = ':y' and c::int = 1"), V{"x"});
  EXPECT_EQ(ParseSQLParamNames("execute procedure sp_setapplicationid(:FAppID)"), V{"FAppID"});
  EXPECT_EQ(ParseSQLParamNames("where a = :\"my name\" and b = :`x y`"), (V{"my name", "x y"}));
  EXPECT_EQ(ParseSQLParamNames("values (:a,:b;:c\n:d\r:e\t:f)"), (V{"a", "b", "c", "d", "e", "f"}));
  EXPECT_EQ(ParseSQLParamNames(":a :a"), (V{"a", "a"}));
  EXPECT_EQ(ParseSQLParamNames("\"col:x\" = :y and `t:z` = 1"), V{"y"});
  EXPECT_EQ(ParseSQLParamNames("where a = :x and b = 'open :y"), V{"x"});  // ends at the quote
  // A single colon always starts a marker, with an empty name when none follows.
  EXPECT_EQ(ParseSQLParamNames("a = : 1 and b = :"), (V{"", ""}));
  EXPECT_EQ(ParseSQLParamNames("a = :)"), V{""});
  EXPECT_EQ(ParseSQLParamNames("a = :x+1 and b = :y"), (V{"x+1", "y"}));
  EXPECT_EQ(ParseSQLParamNames(""), V{});

  TParams params;
  params.ParseSQL("update t set a = :a where id = :id");
  ASSERT_EQ(params.Count(), 2);
  EXPECT_EQ(params[1]->Name(), "id");
  EXPECT_EQ(params[1]->ParamType(), ptInput);
  EXPECT_EQ(params[1]->DataType(), ftUnknown);
}

}  // namespace
