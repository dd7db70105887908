// The packed decimal: byte layout, exact text and number conversions,
// normalisation, comparison and arithmetic.
#include "bcd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::string Nibbles(const TBcd& bcd) {
  std::string digits;
  for (int i = 0; i < 64; ++i) {
    int nibble = i % 2 == 0 ? bcd.Fraction[i / 2] >> 4 : bcd.Fraction[i / 2] & 15;
    digits.push_back(static_cast<char>('0' + nibble));
  }
  return digits;
}

TFormatSettings Comma() {
  TFormatSettings s;
  s.DecimalSeparator = ',';
  s.ThousandSeparator = '.';
  return s;
}

TEST(Bcd, LayoutOfPrecisionSignPlacesAndNibbles) {
  TBcd b = StrToBcd("-12.50");
  EXPECT_EQ(b.Precision, 4);
  EXPECT_EQ(b.SignSpecialPlaces, 0x80 | 2);
  EXPECT_EQ(Nibbles(b), "1250" + std::string(60, '0'));
  EXPECT_EQ(BcdScale(b), 2);
  EXPECT_TRUE(IsBcdNegative(b));

  TBcd zero = StrToBcd("0");
  EXPECT_EQ(zero.Precision, 1);
  EXPECT_EQ(zero.SignSpecialPlaces, 0);
  EXPECT_EQ(Nibbles(zero), std::string(64, '0'));
  EXPECT_FALSE(IsBcdNegative(StrToBcd("-0.00")));  // no negative zero
  EXPECT_TRUE(IsBcdZero(StrToBcd("-0.00")));

  TBcd frac = StrToBcd("0.005");
  EXPECT_EQ(frac.Precision, 3);
  EXPECT_EQ(BcdScale(frac), 3);
  EXPECT_EQ(Nibbles(frac).substr(0, 3), "005");
}

TEST(Bcd, TextRoundTripsExactlyUpTo64Digits) {
  for (const char* text : {"0", "1", "-1", "0.1", "123456789.987654321", "-0.0001",
                           "9999999999999999999999999999999999999999999999999999999999999999",
                           "0.000000000000000000000000000000000000000000000000000000000000001",
                           "-1234567890123456789012345678901234.5678901234567890123456789012"}) {
    TBcd b = StrToBcd(text);
    EXPECT_EQ(BcdToStr(b), text);
  }
  EXPECT_EQ(BcdToStr(StrToBcd("  007.50 ")), "7.5");
  EXPECT_EQ(BcdToStr(StrToBcd("1.5E3")), "1500");
  EXPECT_EQ(BcdToStr(StrToBcd("+2e-3")), "0.002");
  EXPECT_EQ(BcdToStr(StrToBcd("12,75", Comma()), Comma()), "12,75");
}

TEST(Bcd, RefusesBadTextAndOverflow) {
  for (const char* bad : {"", "abc", "1.2.3", "1,5", "--1", "1e"}) {
    try {
      StrToBcd(bad);
      ADD_FAILURE() << bad;
    } catch (const EBcdException& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid BCD value");
    }
  }
  std::string tooLong(65, '9');
  EXPECT_THROW(StrToBcd(tooLong), EBcdOverflowException);
  EXPECT_THROW(StrToBcd("1e64"), EBcdOverflowException);
  // Decimals beyond what fits are rounded off, the integer part kept.
  EXPECT_EQ(BcdToStr(StrToBcd(std::string(60, '1') + ".123456789")),
            std::string(60, '1') + ".1235");
  TBcd b;
  EXPECT_FALSE(TryStrToBcd("x", b));
  EXPECT_TRUE(TryStrToBcd("-3.25", b));
  EXPECT_EQ(BcdToStr(b), "-3.25");
}

TEST(Bcd, MalformedLayoutIsRefused) {
  TBcd b = StrToBcd("12");
  b.Fraction[0] = 0xA0;
  EXPECT_THROW(BcdToStr(b), EBcdException);
  TBcd p = StrToBcd("12");
  p.Precision = 0;
  EXPECT_THROW(BcdToDouble(p), EBcdException);
  TBcd s = StrToBcd("12");
  s.SignSpecialPlaces = 5;  // more places than digits
  EXPECT_THROW(BcdCompare(s, p), EBcdException);
}

TEST(Bcd, DoublesConvertToTheirShortestDecimal) {
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0.1");
  EXPECT_EQ(BcdToStr(DoubleToBcd(-1234.5678)), "-1234.5678");
  EXPECT_EQ(BcdToStr(DoubleToBcd(1e20)), "100000000000000000000");
  EXPECT_EQ(BcdToStr(DoubleToBcd(5e-324)), "0");  // below 63 places
  EXPECT_THROW(DoubleToBcd(1e70), EBcdOverflowException);
  EXPECT_THROW(DoubleToBcd(std::nan("")), EBcdOverflowException);
  EXPECT_THROW(DoubleToBcd(INFINITY), EBcdOverflowException);
  for (double v : {0.1, 1.0921, -98765.4321, 3.141592653589793, 1e-10, 123456789012345678.0})
    EXPECT_EQ(BcdToDouble(DoubleToBcd(v)), v) << v;
}

TEST(Bcd, IntegersAndCurrency) {
  EXPECT_EQ(BcdToStr(IntegerToBcd(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(BcdToInt64(StrToBcd("9223372036854775807")), std::numeric_limits<int64_t>::max());
  EXPECT_THROW(BcdToInt64(StrToBcd("9223372036854775808")), EBcdOverflowException);
  EXPECT_EQ(BcdToInt64(StrToBcd("2.5")), 3);
  EXPECT_EQ(BcdToInt64(StrToBcd("-2.5")), -3);
  EXPECT_EQ(BcdToInt64(StrToBcd("-2.9"), true), -2);

  // A money value: precision 20 with 4 places, as the database layer stores it.
  TBcd money = CurrToBCD(Currency::FromScaled(-123456789), 20, 4);
  EXPECT_EQ(money.Precision, 20);
  EXPECT_EQ(BcdScale(money), 4);
  EXPECT_EQ(BcdToStr(money), "-12345.6789");
  Currency c;
  ASSERT_TRUE(BCDToCurr(money, c));
  EXPECT_EQ(c.Scaled, -123456789);
  ASSERT_TRUE(BCDToCurr(StrToBcd("0.00005"), c));
  EXPECT_EQ(c.Scaled, 1);  // rounded half away from zero
  EXPECT_FALSE(BCDToCurr(StrToBcd("1e15"), c));
  EXPECT_EQ(BcdToStr(CurrToBCD(Currency::FromScaled(std::numeric_limits<int64_t>::min()))),
            "-922337203685477.5808");
}

TEST(Bcd, NormalizeRoundsAndChecksTheIntegerPart) {
  TBcd b = NormalizeBcd(StrToBcd("12.345"), 6, 2);
  EXPECT_EQ(b.Precision, 6);
  EXPECT_EQ(BcdScale(b), 2);
  EXPECT_EQ(BcdToStr(b), "12.35");
  EXPECT_EQ(Nibbles(b).substr(0, 6), "001235");
  EXPECT_EQ(BcdToStr(NormalizeBcd(StrToBcd("-0.004"), 4, 2)), "0");
  EXPECT_EQ(BcdToStr(NormalizeBcd(StrToBcd("9.995"), 4, 2)), "10");
  EXPECT_THROW(NormalizeBcd(StrToBcd("9.995"), 3, 2), EBcdOverflowException);
  EXPECT_THROW(NormalizeBcd(StrToBcd("1"), 2, 3), EBcdOverflowException);
  TBcd r;
  EXPECT_FALSE(TryNormalizeBcd(StrToBcd("123"), 4, 2, r));
  EXPECT_TRUE(TryNormalizeBcd(StrToBcd("12"), 4, 2, r));
}

TEST(Bcd, ComparesByValueNotLayout) {
  EXPECT_EQ(StrToBcd("1.50"), StrToBcd("1.5"));
  EXPECT_EQ(StrToBcd("-0"), StrToBcd("0.000"));
  EXPECT_EQ(NormalizeBcd(StrToBcd("7"), 10, 3), StrToBcd("7"));
  EXPECT_LT(StrToBcd("-2"), StrToBcd("-1.5"));
  EXPECT_LT(StrToBcd("0.09"), StrToBcd("0.1"));
  EXPECT_LT(StrToBcd("99"), StrToBcd("100"));
  EXPECT_EQ(BcdCompare(StrToBcd("5"), StrToBcd("-5")), 1);
}

TEST(Bcd, ArithmeticIsExact) {
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("0.1"), StrToBcd("0.2"))), "0.3");
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("-5.25"), StrToBcd("2"))), "-3.25");
  EXPECT_EQ(BcdToStr(BcdSubtract(StrToBcd("1"), StrToBcd("1.0001"))), "-0.0001");
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("999.99"), StrToBcd("0.01"))), "1000");
  EXPECT_EQ(BcdToStr(BcdMultiply(StrToBcd("-1.5"), StrToBcd("2.25"))), "-3.375");
  EXPECT_EQ(BcdToStr(BcdMultiply(StrToBcd("123456789"), StrToBcd("987654321"))),
            "121932631112635269");
  EXPECT_EQ(BcdToStr(BcdMultiply(StrToBcd("0"), StrToBcd("-3"))), "0");
  std::string big(64, '9');
  EXPECT_THROW(BcdAdd(StrToBcd(big), StrToBcd("1")), EBcdOverflowException);
}

TEST(Bcd, FixedTextForNumericColumns) {
  // The numeric-column writer needs fixed text and "E" when the value is too wide.
  EXPECT_EQ(BcdToStrF(StrToBcd("12.5"), ffFixed, 4, 2), "12.50");
  EXPECT_EQ(BcdToStrF(StrToBcd("-0.125"), ffFixed, 10, 2), "-0.13");
  EXPECT_EQ(BcdToStrF(StrToBcd("123456.7"), ffFixed, 4, 2), "1.235E+005");
  EXPECT_EQ(BcdToStrF(StrToBcd("1234567.891"), ffNumber, 20, 2, Comma()), "1.234.567,89");
  EXPECT_EQ(BcdToStrF(StrToBcd("12345678901234567890.12"), ffFixed, 64, 2),
            "12345678901234567890.12");
}

}  // namespace
