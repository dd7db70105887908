// The process-wide format settings: defaults, switching and restoring.
#include "formatsettings.h"

#include <gtest/gtest.h>

#include "sysutils.h"
#include "testing/commalocale.h"

namespace {

TEST(FormatSettings, Defaults) {
  TFormatSettings d = TFormatSettings::Default();
  EXPECT_EQ(d.DecimalSeparator, '.');
  EXPECT_EQ(d.ThousandSeparator, ',');
  EXPECT_EQ(d.TimeSeparator, ':');
  EXPECT_EQ(d.ShortTimeFormat, "hh:nn");
}

TEST(FormatSettings, ConversionsIgnoreADecimalCommaCLocale) {
  TCommaLocale comma;
  if (!comma.Active()) GTEST_SKIP() << TCommaLocale::SkipReason();
  EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
  EXPECT_EQ(TFormatSettings::Default().DecimalSeparator, '.');
  EXPECT_EQ(FloatToStr(1.5), "1.5");
  EXPECT_EQ(StrToFloat("1.5"), 1.5);
  EXPECT_THROW(StrToFloat("1,5"), EConvertError);
  EXPECT_EQ(Format("%.3f", {2.0}), "2.000");
  EXPECT_EQ(FormatFloat("0.00", 2.5), "2.50");
  EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 1), "1,234.5");
}

TEST(FormatSettings, ProcessWideChangesReachEveryConversionAndAreRestored) {
  {
    TFormatSettingsRestorer restore;
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ThousandSeparator = '.';
    EXPECT_EQ(FloatToStr(1234.5), "1234,5");
    EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 1), "1.234,5");
    EXPECT_EQ(StrToFloat("2,25"), 2.25);
    EXPECT_THROW(StrToFloat("2.25"), EConvertError);
    EXPECT_EQ(Format("%.3f", {1.0921}), "1,092");
    {
      // A nested run switches to "." decimals and "," thousands, then restores.
      TFormatSettingsRestorer inner;
      FormatSettings().DecimalSeparator = '.';
      FormatSettings().ThousandSeparator = ',';
      EXPECT_EQ(Format("%.3f", {1.0921}), "1.092");
    }
    EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
    EXPECT_EQ(FormatSettings().ThousandSeparator, '.');
  }
  EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
  EXPECT_EQ(FloatToStr(1234.5), "1234.5");
}

TEST(FormatSettings, TimeFormatAndSeparatorDriveTimeTexts) {
  TFormatSettingsRestorer restore;
  TDateTime t = EncodeTime(7, 8, 9, 0);
  FormatSettings().ShortTimeFormat = "hh:mm:ss";
  FormatSettings().TimeSeparator = '.';
  EXPECT_EQ(FormatDateTime("t", t), "07.08.09");
  FormatSettings().TimeSeparator = ':';
  EXPECT_EQ(FormatDateTime("t", t), "07:08:09");
  EXPECT_EQ(StrToTime("07:08:09"), t);
}

}  // namespace
