// Conversions of numbers, currency, booleans and date-times to and from text.
#include "sysutils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "testing/errorof.h"

namespace {

TFormatSettings Comma() {
  TFormatSettings s;
  s.DecimalSeparator = ',';
  s.ThousandSeparator = '.';
  return s;
}

TEST(SysUtilsIntegers, ReadsDecimalAndHexAtTheLimits) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("  -17 "), -17);
  EXPECT_EQ(StrToInt("+5"), 5);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x7fffffff"), 2147483647);
  EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(StrToInt64("000000000007"), 7);
}

TEST(SysUtilsIntegers, RefusesBadTextWithItsMessage) {
  for (const char* bad :
       {"", " ", "-", "2147483648", "-2147483649", "1.5", "12a", "1 2", "$", "0x", "--1", "1e3"})
    EXPECT_EQ(ErrorOf<EConvertError>([&] { StrToInt(bad); }),
              std::string("'") + bad + "' is not a valid integer value")
        << bad;
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToInt64("9223372036854775808"); }),
            "'9223372036854775808' is not a valid integer value");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToInt64("99999999999999999999"); }),
            "'99999999999999999999' is not a valid integer value");
  EXPECT_EQ(StrToIntDef("x", -3), -3);
  EXPECT_EQ(StrToInt64Def("", 9), 9);
}

TEST(SysUtilsIntegers, WritesDecimalAndHex) {
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0, 0), "0");
}

TEST(SysUtilsFloats, ReadsWithTheSettingsSeparator) {
  EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat(" -0.25 "), -0.25);
  EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("5."), 5.0);
  EXPECT_DOUBLE_EQ(StrToFloat("1.5E3"), 1500.0);
  EXPECT_DOUBLE_EQ(StrToFloat("2e-2"), 0.02);
  EXPECT_EQ(StrToFloat("1e-400"), 0.0);  // underflow reads as zero
  EXPECT_DOUBLE_EQ(StrToFloat("1,5", Comma()), 1.5);
  EXPECT_EQ(StrToFloat("1.7976931348623157e308"), std::numeric_limits<double>::max());
  EXPECT_EQ(StrToFloat("0.1"), 0.1);  // correctly rounded
  EXPECT_EQ(StrToFloat("1.0921"), 1.0921);
}

TEST(SysUtilsFloats, RefusesBadTextWithItsMessage) {
  for (const char* bad :
       {"", "abc", "1,5", "1.2.3", "1e", "1e+", "INF", "NAN", "1e400", "- 1", "1,234.5", "0x10"})
    EXPECT_EQ(ErrorOf<EConvertError>([&] { StrToFloat(bad); }),
              std::string("'") + bad + "' is not a valid floating point value")
        << bad;
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToFloat("1.5", Comma()); }),
            "'1.5' is not a valid floating point value");
  EXPECT_EQ(StrToFloatDef("x", 2.5), 2.5);
}

TEST(SysUtilsFloats, WritesShortestTextUpTo15Digits) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(-0.0), "0");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToStr(-12.5), "-12.5");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(0.00001), "1E-5");
  EXPECT_EQ(FloatToStr(1.5, Comma()), "1,5");
  EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
  EXPECT_EQ(FloatToStr(-INFINITY), "-INF");
  // Every double written reads back within 15 significant digits.
  for (double v : {3.141592653589793, 1e-300, 2.2250738585072014e-308, 987654.321})
    EXPECT_NEAR(StrToFloat(FloatToStr(v)) / v, 1.0, 1e-14) << v;
}

TEST(SysUtilsFloats, FixedFormsRoundHalfAwayAndSwitchToExponent) {
  EXPECT_EQ(FloatToStrF(12.5, ffFixed, 5, 2), "12.50");
  EXPECT_EQ(FloatToStrF(2.675, ffFixed, 15, 2), "2.68");  // as written, not as stored
  EXPECT_EQ(FloatToStrF(-2.5, ffFixed, 15, 0), "-3");
  EXPECT_EQ(FloatToStrF(-0.001, ffFixed, 15, 2), "0.00");
  EXPECT_EQ(FloatToStrF(123456.7, ffFixed, 5, 2), "1.2346E+005");
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1,234,567.89");
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2, Comma()), "1.234.567,89");
  EXPECT_EQ(FloatToStrF(999.5, ffNumber, 15, 0), "1,000");
  EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2), "1.235E+03");
  EXPECT_EQ(FloatToStrF(0.000123, ffExponent, 3, 0), "1.23E-4");
  EXPECT_EQ(FloatToStrF(1.0 / 3, ffGeneral, 4, 0), "0.3333");
}

TEST(SysUtilsFloats, FormatFloatPatterns) {
  EXPECT_EQ(FormatFloat("0.000", 1.0005), "1.001");
  EXPECT_EQ(FormatFloat("0.000", 1.0921), "1.092");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.5), "1,234,567.50");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.5, Comma()), "1.234.567,50");
  EXPECT_EQ(FormatFloat("0.##", 2.5), "2.5");
  EXPECT_EQ(FormatFloat("0.##", 2), "2");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("00000", 42), "00042");
  EXPECT_EQ(FormatFloat("0.00", -1.005), "-1.01");
  EXPECT_EQ(FormatFloat("0.00;(0.00)", -3), "(3.00)");
  EXPECT_EQ(FormatFloat("0.00;(0.00);'zero'", 0.001), "zero");
  EXPECT_EQ(FormatFloat("'Rate: '0.0' %'", 12.34), "Rate: 12.3 %");
  EXPECT_EQ(FormatFloat("0.0' (a;b)';\"neg;\"0.0", 1.5), "1.5 (a;b)");  // ";" quoted
  EXPECT_EQ(FormatFloat("0.0' (a;b)';\"neg;\"0.0", -1.5), "neg;1.5");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.00E-0", 0.00012), "1.20E-4");
  // Optional "#" decimals of a mantissa drop their trailing zeros; an
  // exponent of 0 is written with its digits and the sign "+" asks for.
  EXPECT_EQ(FormatFloat("0.##E+00", 12345), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.##E+00", 12000), "1.2E+04");
  EXPECT_EQ(FormatFloat("0.##E+00", 10000), "1E+04");
  EXPECT_EQ(FormatFloat("0.0#E+00", 10000), "1.0E+04");
  EXPECT_EQ(FormatFloat("0.##E+00", 0.0125), "1.25E-02");
  EXPECT_EQ(FormatFloat("0.##E+00", 1.5), "1.5E+00");
  EXPECT_EQ(FormatFloat("0.##E-00", 1.5), "1.5E00");
  EXPECT_EQ(FormatFloat("0.00E+0", 7), "7.00E+0");
  EXPECT_EQ(FormatFloat("0.##E+00", 0), "0E+00");
  EXPECT_EQ(FormatFloat("00.#E+0", 1234), "12.3E+2");
  EXPECT_EQ(FormatFloat("0.##E+00", 9.999), "1E+01");  // rounding carries into the exponent
  EXPECT_EQ(FormatFloat("0.##E+00;(0.##E+00)", -250), "(2.5E+02)");
}

TEST(SysUtilsFloats, RoundingToWholeNumbersStaysInside64Bits) {
  int64_t whole = 0;
  EXPECT_TRUE(TryRoundToInt64(2.5, whole));
  EXPECT_EQ(whole, 3);
  EXPECT_TRUE(TryRoundToInt64(-2.5, whole));
  EXPECT_EQ(whole, -3);
  EXPECT_TRUE(TryRoundToInt64(-9223372036854775808.0, whole));
  EXPECT_EQ(whole, std::numeric_limits<int64_t>::min());
  EXPECT_FALSE(TryRoundToInt64(9223372036854775808.0, whole));  // 2^63
  EXPECT_FALSE(TryRoundToInt64(std::nan(""), whole));
  EXPECT_FALSE(TryRoundToInt64(-std::numeric_limits<double>::infinity(), whole));
}

TEST(SysUtilsCurrency, ExactTextBothWays) {
  EXPECT_EQ(StrToCurr("12.5").Scaled, 125000);
  EXPECT_EQ(StrToCurr("-0.0001").Scaled, -1);
  EXPECT_EQ(StrToCurr("0.00005").Scaled, 1);  // rounded half away from zero
  EXPECT_EQ(StrToCurr("-0.00005").Scaled, -1);
  EXPECT_EQ(StrToCurr("922337203685477.5807").Scaled, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(StrToCurr("-922337203685477.5808").Scaled, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToCurr("922337203685477.5808"); }),
            "'922337203685477.5808' is not a valid floating point value");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToCurr("12x"); }),
            "'12x' is not a valid floating point value");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(125000)), "12.5");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(-1)), "-0.0001");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(std::numeric_limits<int64_t>::min())),
            "-922337203685477.5808");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(125000), Comma()), "12,5");
  EXPECT_EQ(CurrToStrF(Currency::FromScaled(12345678), ffNumber, 2), "1,234.57");
  EXPECT_EQ(CurrToStrF(Currency::FromScaled(std::numeric_limits<int64_t>::max()), ffFixed, 4),
            "922337203685477.5807");
}

TEST(SysUtilsCurrency, FromDoubleRoundsAndChecksRange) {
  EXPECT_EQ(FloatToCurr(1.23456).Scaled, 12346);
  EXPECT_EQ(FloatToCurr(-1.00005).Scaled, -10001);
  EXPECT_EQ(FloatToCurr(0.1).Scaled, 1000);
  EXPECT_THROW(FloatToCurr(1e20), EConvertError);
  EXPECT_THROW(FloatToCurr(std::nan("")), EConvertError);
  EXPECT_EQ((Currency::FromScaled(5) + Currency::FromScaled(7)).Scaled, 12);
  EXPECT_LT(Currency::FromScaled(-1), Currency{});
}

TEST(SysUtilsBooleans, TextBothWays) {
  EXPECT_EQ(BoolToStr(true), "-1");
  EXPECT_EQ(BoolToStr(false, true), "False");
  EXPECT_TRUE(StrToBool("TRUE"));
  EXPECT_FALSE(StrToBool("false"));
  EXPECT_TRUE(StrToBool("-1"));
  EXPECT_FALSE(StrToBool("0"));
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToBool("yes"); }), "'yes' is not a valid boolean value");
}

TEST(SysUtilsDates, DayNumbersOfTheDatabaseLayer) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1, 1, 1), 1 - DateDelta);
  EXPECT_EQ(EncodeDate(1970, 1, 1), UnixDateDelta);
  EXPECT_EQ(EncodeDate(2000, 2, 29), 36585);
  EXPECT_EQ(JulianDateDelta, 2415019);
  EXPECT_EQ(DateTimeToTimeStamp(0).Date, 693594);
  EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
  EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(9999, 12, 31)).Date, 3652059);

  // 1899-12-30 12:00 is day number 693594 and 43200000 ms.
  TTimeStamp noon = DateTimeToTimeStamp(0.5);
  EXPECT_EQ(noon, (TTimeStamp{43200000, 693594}));
  EXPECT_EQ(TimeStampToMSecs(noon), 693594.0 * 86400000 + 43200000);
  EXPECT_EQ(MSecsToTimeStamp(693594.0 * 86400000 + 43200000), noon);
  EXPECT_EQ(TimeStampToDateTime(noon), 0.5);
  // Before 1899-12-30 the fraction still counts forward: -1.25 is 12-29 06:00.
  TTimeStamp before = DateTimeToTimeStamp(-1.25);
  EXPECT_EQ(before, (TTimeStamp{6 * 3600000, 693593}));
  EXPECT_EQ(TimeStampToDateTime(before), -1.25);
  // A time that rounds to 24:00 belongs to the next day.
  EXPECT_EQ(DateTimeToTimeStamp(1.9999999999), (TTimeStamp{0, 693596}));
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{86400000, 5}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
  EXPECT_THROW(DateTimeToTimeStamp(3e6), EConvertError);
  EXPECT_THROW(DateTimeToTimeStamp(std::nan("")), EConvertError);
}

TEST(SysUtilsDates, EncodeDecodeRoundTripsEveryFourHundredYears) {
  // Every day of one 400-year cycle and the ends of the range.
  for (TDateTime d = EncodeDate(1600, 1, 1); d < EncodeDate(2000, 1, 1); d += 1) {
    int y, m, day;
    DecodeDate(d, y, m, day);
    ASSERT_EQ(EncodeDate(y, m, day), d);
  }
  int y, m, d;
  DecodeDate(EncodeDate(9999, 12, 31), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 99991231);
  DecodeDate(EncodeDate(1, 1, 1), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  DecodeDate(EncodeDate(2024, 12, 31), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20241231);
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 9)), 4);  // a Wednesday
  EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);      // a Monday
}

TEST(SysUtilsDates, RefusesImpossibleDatesAndTimes) {
  for (auto [y, m, d] : {std::tuple{2023, 2, 29},
                         {1900, 2, 29},
                         {0, 1, 1},
                         {10000, 1, 1},
                         {2020, 13, 1},
                         {2020, 4, 31},
                         {2020, 1, 0}})
    EXPECT_EQ(ErrorOf<EConvertError>([&] { EncodeDate(y, m, d); }),
              "Invalid argument to date encode");
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_EQ(ErrorOf<EConvertError>([] { EncodeTime(24, 0, 0, 0); }),
            "Invalid argument to time encode");
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  EXPECT_THROW(EncodeTime(-1, 0, 0, 0), EConvertError);
}

TEST(SysUtilsDates, TimesDecodeToTheMillisecond) {
  TDateTime t = EncodeTime(23, 59, 59, 999);
  int h, n, s, ms;
  DecodeTime(t, h, n, s, ms);
  EXPECT_EQ((std::vector{h, n, s, ms}), (std::vector{23, 59, 59, 999}));
  DecodeTime(EncodeDate(2020, 5, 17) + EncodeTime(12, 34, 56, 789), h, n, s, ms);
  EXPECT_EQ((std::vector{h, n, s, ms}), (std::vector{12, 34, 56, 789}));
  // Every millisecond of a minute survives the round trip.
  for (int i = 0; i < 60000; ++i) {
    DecodeTime(EncodeDate(2030, 1, 1) + EncodeTime(17, 3, i / 1000, i % 1000), h, n, s, ms);
    ASSERT_EQ(s * 1000 + ms, i);
  }
}

TEST(SysUtilsDates, FormatsWithTheSettingsPatterns) {
  TDateTime v = EncodeDate(2026, 3, 7) + EncodeTime(9, 5, 4, 30);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", v), "2026-03-07 09:05:04.030");
  EXPECT_EQ(FormatDateTime("d/m/yy h:mm", v), "7-3-26 9:05");  // mm after h is minutes
  EXPECT_EQ(FormatDateTime("dddd d mmmm, ddd mmm", v), "Saturday 7 March, Sat Mar");
  EXPECT_EQ(FormatDateTime("h:nn am/pm", v + 0.5), "9:05 pm");
  EXPECT_EQ(FormatDateTime("hh:nn AMPM", v), "09:05 AM");
  EXPECT_EQ(FormatDateTime("'at' hh\"h\"", v), "at 09h");
  EXPECT_EQ(DateToStr(v), "2026-03-07");
  EXPECT_EQ(TimeToStr(v), "09:05:04");
  EXPECT_EQ(DateTimeToStr(v), "2026-03-07 09:05:04");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 3, 7)), "2026-03-07");

  TFormatSettings s;
  s.ShortDateFormat = "dd/mm/yyyy";
  s.DateSeparator = '.';
  s.LongTimeFormat = "hh:nn:ss";
  s.TimeSeparator = '.';
  EXPECT_EQ(DateTimeToStr(v, s), "07.03.2026 09.05.04");
}

TEST(SysUtilsDates, ReadsTextInTheSettingsOrder) {
  EXPECT_EQ(StrToDate("2026-03-07"), EncodeDate(2026, 3, 7));
  EXPECT_EQ(StrToDateTime("2026-03-07 09:05:04"), EncodeDate(2026, 3, 7) + EncodeTime(9, 5, 4, 0));
  EXPECT_EQ(StrToDateTime("2026-03-07  9:05:04.25"),
            EncodeDate(2026, 3, 7) + EncodeTime(9, 5, 4, 250));
  EXPECT_EQ(StrToTime("13:45"), EncodeTime(13, 45, 0, 0));
  EXPECT_EQ(StrToTime("1:45 pm"), EncodeTime(13, 45, 0, 0));
  EXPECT_EQ(StrToTime("12:00 AM"), 0);
  EXPECT_EQ(StrToDateTime("13:45:10"), EncodeTime(13, 45, 10, 0));

  TFormatSettings s;
  s.ShortDateFormat = "dd/mm/yyyy";
  s.DateSeparator = '.';
  EXPECT_EQ(StrToDate("07.03.2026", s), EncodeDate(2026, 3, 7));
  EXPECT_EQ(StrToDate("2026.03.07", s), EncodeDate(2026, 3, 7));  // a leading year is a year
  s.ShortDateFormat = "m/d/yy";
  s.DateSeparator = '/';
  s.TwoDigitYearCenturyWindow = 0;
  int year, m, d;
  DecodeDate(Now(), year, m, d);
  EXPECT_EQ(StrToDate("3/7/26", s), EncodeDate(year / 100 * 100 + 26, 3, 7));
  EXPECT_EQ(StrToDate("3/7", s), EncodeDate(year, 3, 7));
}

TEST(SysUtilsDates, RefusesBadTextWithItsMessage) {
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToDate("2026-02-30"); }),
            "'2026-02-30' is not a valid date");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToDate("today"); }), "'today' is not a valid date");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToTime("25:00"); }), "'25:00' is not a valid time");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToTime("13:00 pm"); }),
            "'13:00 pm' is not a valid time");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToDateTime("2026-03-07 x"); }),
            "'2026-03-07 x' is not a valid date and time");
  EXPECT_EQ(ErrorOf<EConvertError>([] { StrToDateTime(""); }), "'' is not a valid date and time");
}

TEST(SysUtilsDates, RefusesMalformedTimeTexts) {
  TDateTime t = -1;
  for (const char* bad :
       {"12:",           "12:30:",      "12::30",     ":30",      "12:30:15.", "12:30:15.1234",
        "12:30:15.0001", "12:30:15:10", "12:30.5",    "12 30",    "12-30",     "24:00",
        "12:60",         "12:30:60",    "0:30 PM",    "13:00 AM", "PM",        "12:30 PM PM",
        "AM 12:30 PM",   "12:3x",       "1234567890", "-1:00",    "+1:00"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(TryStrToTime(bad, t, FormatSettings()));
    EXPECT_EQ(t, -1);  // a refused text leaves the value alone
    EXPECT_FALSE(TryStrToDateTime(std::string("2026-03-07 ") + bad, t, FormatSettings()));
    EXPECT_EQ(t, -1);
  }
  for (auto [good, want] : {std::pair{" 7:05 ", EncodeTime(7, 5, 0, 0)},
                            {"23:59:59.999", EncodeTime(23, 59, 59, 999)},
                            {"12:30:15.5", EncodeTime(12, 30, 15, 500)},
                            {"12:30 AM", EncodeTime(0, 30, 0, 0)},
                            {"PM 1:00", EncodeTime(13, 0, 0, 0)},
                            {"11:59:59 pm", EncodeTime(23, 59, 59, 0)}}) {
    SCOPED_TRACE(good);
    EXPECT_TRUE(TryStrToTime(good, t, FormatSettings()));
    EXPECT_EQ(t, want);
  }
}

TEST(SysUtilsText, CaseAndBlanks) {
  EXPECT_EQ(UpperCase("abc-Zé"), "ABC-Zé");
  EXPECT_EQ(LowerCase("ABC"), "abc");
  EXPECT_TRUE(SameText("CurrPair", "CURRPAIR"));
  EXPECT_FALSE(SameText("a", "ab"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
}

TEST(SysUtilsFormat, ThreeDecimalsRoundHalvesAwayFromZeroWithTheProcessSeparator) {
  EXPECT_EQ(FormatThreeDecimals(1.0921), "1.092");
  EXPECT_EQ(FormatThreeDecimals(1.0924), "1.092");
  EXPECT_EQ(FormatThreeDecimals(1.0926), "1.093");
  // Halfway by the decimal text, whichever side the binary value lies on.
  EXPECT_EQ(FormatThreeDecimals(1.0925), "1.093");
  EXPECT_EQ(FormatThreeDecimals(1.0005), "1.001");
  EXPECT_EQ(FormatThreeDecimals(2.0625), "2.063");
  EXPECT_EQ(FormatThreeDecimals(-1.0925), "-1.093");
  EXPECT_EQ(FormatThreeDecimals(0), "0.000");
  EXPECT_EQ(FormatThreeDecimals(1234.5), "1234.500");
  TFormatSettingsRestorer restore;
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(FormatThreeDecimals(1.0925), "1,093");
}

TEST(SysUtilsFormat, SpecifiersArgumentsAndErrors) {
  EXPECT_EQ(Format("%.3f", {1.0921}), "1.092");
  EXPECT_EQ(Format("%.3f", {1.0921}, Comma()), "1,092");
  EXPECT_EQ(Format("%f", {2.0}), "2.00");
  EXPECT_EQ(Format("%d items, %s", {3, "done"}), "3 items, done");
  EXPECT_EQ(Format("%5d|%-5d|%.3d", {42, 42, 7}), "   42|42   |007");
  EXPECT_EQ(Format("%x %u", {255, 7u}), "FF 7");
  EXPECT_EQ(Format("%n", {1234567.891}), "1,234,567.89");
  EXPECT_EQ(Format("%1:s %0:s", {"a", "b"}), "b a");
  EXPECT_EQ(Format("%*d", {4, 1}), "   1");
  EXPECT_EQ(Format("100%%", {}), "100%");
  EXPECT_EQ(Format("%.2s", {std::string("abc")}), "ab");
  EXPECT_EQ(Format("%d", {std::numeric_limits<int64_t>::min()}), "-9223372036854775808");
  EXPECT_EQ(Format("%e", {1234.5}), "1.23450000000000E+003");
  EXPECT_EQ(ErrorOf<EConvertError>([] { Format("%d", {"x"}); }),
            "Format '%d' invalid or incompatible with argument");
  EXPECT_EQ(ErrorOf<EConvertError>([] { Format("%s %s", {"x"}); }),
            "Format '%s %s' invalid or incompatible with argument");
  EXPECT_EQ(ErrorOf<EConvertError>([] { Format("%q", {1}); }),
            "Format '%q' invalid or incompatible with argument");
  EXPECT_EQ(ErrorOf<EConvertError>([] { Format("%", {1}); }),
            "Format '%' invalid or incompatible with argument");
}

}  // namespace
