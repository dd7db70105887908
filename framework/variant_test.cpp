// Variant: kinds, conversions with their errors, arrays and comparison.
#include "variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "testing/errorof.h"

namespace {

TEST(Variant, KindsOfConstruction) {
  EXPECT_EQ(Variant().VarType(), varEmpty);
  EXPECT_EQ(Variant::Null().VarType(), varNull);
  EXPECT_EQ(Variant(true).VarType(), varBoolean);
  EXPECT_EQ(Variant(5).VarType(), varInteger);
  EXPECT_EQ(Variant(int64_t{5}).VarType(), varInt64);
  EXPECT_EQ(Variant(5u).VarType(), varInt64);
  EXPECT_EQ(Variant(1.5).VarType(), varDouble);
  EXPECT_EQ(Variant(Currency::FromScaled(1)).VarType(), varCurrency);
  EXPECT_EQ(Variant::FromDateTime(1).VarType(), varDate);
  EXPECT_EQ(Variant("x").VarType(), varString);
  EXPECT_EQ(Variant(std::string("x")).VarType(), varString);
  EXPECT_EQ(Variant(StrToBcd("1.5")).VarType(), varBcd);
  EXPECT_EQ(Variant::FromBytes("ab", 2).VarType(), varBytes);
  EXPECT_EQ(VarArrayOf({1, "a"}).VarType(), varArray);
  EXPECT_TRUE(Variant::Null().IsClear());
  EXPECT_TRUE(Variant().IsClear());
  EXPECT_FALSE(Variant(0).IsClear());
  EXPECT_TRUE(Variant::FromDateTime(2).IsNumeric());
  EXPECT_FALSE(Variant("1").IsNumeric());
}

TEST(Variant, NumbersConvertBetweenKinds) {
  EXPECT_EQ(Variant(2.5).AsInteger(), 3);  // halves away from zero
  EXPECT_EQ(Variant(-2.5).AsInt64(), -3);
  EXPECT_EQ(Variant(Currency::FromScaled(25000)).AsInteger(), 3);
  EXPECT_EQ(Variant(Currency::FromScaled(-24999)).AsInteger(), -2);
  EXPECT_EQ(Variant(StrToBcd("7.5")).AsInt64(), 8);
  EXPECT_EQ(Variant(true).AsInteger(), 1);
  EXPECT_EQ(Variant(12).AsDouble(), 12.0);
  EXPECT_EQ(Variant(1.23456).AsCurrency().Scaled, 12346);
  EXPECT_EQ(Variant(int64_t{7}).AsCurrency().Scaled, 70000);
  EXPECT_EQ(Variant(Currency::FromScaled(15000)).AsDouble(), 1.5);
  EXPECT_EQ(BcdToStr(Variant(Currency::FromScaled(-15)).AsBcd()), "-0.0015");
  EXPECT_EQ(BcdToStr(Variant(0.1).AsBcd()), "0.1");
  EXPECT_EQ(BcdToStr(Variant(std::numeric_limits<int64_t>::max()).AsBcd()), "9223372036854775807");
  EXPECT_EQ(Variant(StrToBcd("0.1")).AsDouble(), 0.1);
  EXPECT_TRUE(Variant(0.5).AsBoolean());
  EXPECT_FALSE(Variant(StrToBcd("0.00")).AsBoolean());
  EXPECT_EQ(Variant(3).AsDateTime(), 3.0);
}

TEST(Variant, OverflowIsAnError) {
  const std::string overflow = "Arithmetic overflow in variant conversion";
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(int64_t{1} << 31).AsInteger(); }), overflow);
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(-2147483649.0).AsInteger(); }), overflow);
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(1e19).AsInt64(); }), overflow);
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(std::nan("")).AsInt64(); }), overflow);
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(1e300).AsCurrency(); }), overflow);
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(std::numeric_limits<int64_t>::max()).AsCurrency(); }),
            overflow);
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(StrToBcd("1e30")).AsInt64(); }), overflow);
  EXPECT_EQ(Variant(-2147483648.0).AsInteger(), std::numeric_limits<int32_t>::min());
}

TEST(Variant, TextConvertsWithTheSettingsAndTheFrameworkMessages) {
  EXPECT_EQ(Variant("42").AsInteger(), 42);
  EXPECT_EQ(Variant("1.5").AsDouble(), 1.5);
  EXPECT_EQ(Variant("12.3456").AsCurrency().Scaled, 123456);
  EXPECT_EQ(BcdToStr(Variant("12.30").AsBcd()), "12.3");
  EXPECT_TRUE(Variant("True").AsBoolean());
  EXPECT_EQ(Variant("2026-03-07").AsDateTime(), EncodeDate(2026, 3, 7));
  EXPECT_EQ(ErrorOf<Exception>([] { Variant("12a").AsInteger(); }),
            "'12a' is not a valid integer value");
  EXPECT_EQ(ErrorOf<Exception>([] { Variant("1,5").AsDouble(); }),
            "'1,5' is not a valid floating point value");
  EXPECT_EQ(ErrorOf<Exception>([] { Variant("x").AsCurrency(); }),
            "'x' is not a valid floating point value");
  EXPECT_THROW(Variant("x").AsBcd(), EConvertError);
  EXPECT_THROW(Variant("maybe").AsBoolean(), EConvertError);

  TFormatSettingsRestorer restore;
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(Variant("1,5").AsDouble(), 1.5);
  EXPECT_EQ(Variant(1.5).AsString(), "1,5");
  EXPECT_EQ(Variant(Currency::FromScaled(15000)).AsString(), "1,5");
  EXPECT_EQ(Variant(StrToBcd("1,25")).AsString(), "1,25");
}

TEST(Variant, AsStringOfEachKind) {
  EXPECT_EQ(Variant().AsString(), "");
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_EQ(Variant(-7).AsString(), "-7");
  EXPECT_EQ(Variant(0.1).AsString(), "0.1");
  EXPECT_EQ(Variant(Currency::FromScaled(-1)).AsString(), "-0.0001");
  EXPECT_EQ(Variant::FromDateTime(EncodeDate(2026, 3, 7) + 0.5).AsString(), "2026-03-07 12:00:00");
  EXPECT_EQ(Variant::FromBytes("a\0b", 3).AsString(), std::string("a\0b", 3));
  EXPECT_EQ(Variant("é").AsBytes(), (Variant::Bytes{0xC3, 0xA9}));
  EXPECT_EQ(VarToStr(Variant::Null()), "");
  EXPECT_EQ(VarToStr(Variant(3)), "3");
}

TEST(Variant, NullAndNonScalarsRefuseScalarConversions) {
  Variant null = Variant::Null();
  EXPECT_EQ(ErrorOf<Exception>([&] { null.AsInteger(); }),
            "Could not convert variant of type (Null) into type (Integer)");
  EXPECT_EQ(ErrorOf<Exception>([&] { null.AsString(); }),
            "Could not convert variant of type (Null) into type (String)");
  EXPECT_THROW(null.AsDouble(), EVariantTypeCastError);
  EXPECT_THROW(null.AsBoolean(), EVariantTypeCastError);
  EXPECT_THROW(null.AsDateTime(), EVariantTypeCastError);
  EXPECT_THROW(null.AsBcd(), EVariantTypeCastError);
  EXPECT_THROW(null.AsCurrency(), EVariantTypeCastError);
  EXPECT_THROW(null.AsBytes(), EVariantTypeCastError);
  EXPECT_EQ(ErrorOf<Exception>([] { VarArrayOf({1}).AsInteger(); }),
            "Could not convert variant of type (Array) into type (Integer)");
  EXPECT_THROW(Variant::FromBytes("1", 1).AsDouble(), EVariantTypeCastError);
  EXPECT_THROW(Variant(1).AsBytes(), EVariantTypeCastError);
  // Unassigned is the quiet one.
  EXPECT_EQ(Variant().AsInteger(), 0);
  EXPECT_FALSE(Variant().AsBoolean());
  EXPECT_EQ(Variant().AsDouble(), 0);
}

TEST(Variant, ArraysHoldKeyValues) {
  Variant keys = VarArrayOf({"EUR", "USD", Variant::Null(), VarArrayOf({1, 2})});
  ASSERT_EQ(keys.ArrayLength(), 4u);
  EXPECT_EQ(keys[0].AsString(), "EUR");
  EXPECT_TRUE(keys[2].IsNull());
  EXPECT_EQ(keys[3][1].AsInteger(), 2);
  keys[1] = Variant("CHF");
  EXPECT_EQ(keys[1].AsString(), "CHF");
  Variant copy = keys;
  copy[0] = Variant(1);
  EXPECT_EQ(keys[0].AsString(), "EUR");  // copies are independent
  EXPECT_EQ(ErrorOf<Exception>([&] { keys[4]; }), "Variant or safe array index out of bounds");
  EXPECT_EQ(ErrorOf<Exception>([] { Variant(1).ArrayLength(); }), "Variant is not an array");
  EXPECT_EQ(Variant::Array({}).ArrayLength(), 0u);
}

TEST(Variant, EqualityAcrossNumericKinds) {
  EXPECT_EQ(Variant(1), Variant(1.0));
  EXPECT_EQ(Variant(1), Variant(Currency::FromScaled(10000)));
  EXPECT_EQ(Variant(StrToBcd("1.50")), Variant(1.5));
  EXPECT_EQ(Variant(true), Variant(1));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_FALSE(Variant::Null() == Variant());
  EXPECT_FALSE(Variant(1) == Variant("1"));  // no text conversion in equality
  EXPECT_FALSE(Variant("a") == Variant("A"));
  EXPECT_EQ(VarArrayOf({1, "x"}), VarArrayOf({1.0, "x"}));
  EXPECT_FALSE(VarArrayOf({1}) == VarArrayOf({1, 2}));
  EXPECT_EQ(Variant::FromBytes("ab", 2), Variant::FromBytes("ab", 2));
}

TEST(Variant, CompareValueOrdersForLocateAndKeys) {
  EXPECT_EQ(VarCompareValue(Variant::Null(), Variant()), vrEqual);
  EXPECT_EQ(VarCompareValue(Variant::Null(), Variant(-1e300)), vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant(""), Variant::Null()), vrGreaterThan);
  EXPECT_EQ(VarCompareValue(Variant(2), Variant(10)), vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant("2"), Variant("10")), vrGreaterThan);  // text by bytes
  EXPECT_EQ(VarCompareValue(Variant("eur"), Variant("EUR")), vrGreaterThan);
  EXPECT_EQ(VarCompareValue(Variant("eur"), Variant("EUR"), true), vrEqual);
  EXPECT_EQ(VarCompareValue(Variant(10), Variant("10.0")), vrEqual);  // text read as number
  EXPECT_EQ(VarCompareValue(Variant("9"), Variant(10)), vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant(10), Variant("ten")), vrNotEqual);
  EXPECT_EQ(VarCompareValue(Variant(std::numeric_limits<int64_t>::max()),
                            Variant(std::numeric_limits<int64_t>::max() - 1)),
            vrGreaterThan);
  EXPECT_EQ(VarCompareValue(Variant(StrToBcd("0.1")), Variant(Currency::FromScaled(1000))),
            vrEqual);
  EXPECT_EQ(VarCompareValue(Variant::FromDateTime(EncodeDate(2026, 3, 7)), Variant("2026-03-07")),
            vrEqual);
  EXPECT_EQ(VarCompareValue(VarArrayOf({"a", 1}), VarArrayOf({"a", 2})), vrLessThan);
  EXPECT_EQ(VarCompareValue(VarArrayOf({"a"}), Variant("a")), vrNotEqual);
  EXPECT_EQ(VarCompareValue(Variant::FromBytes("a", 1), Variant::FromBytes("b", 1)), vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant::FromBytes("a", 1), Variant(1)), vrNotEqual);
}

}  // namespace
