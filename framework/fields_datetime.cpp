// Date, time and date-time fields: native day numbers and milliseconds,
// converted to the days-since-1899-12-30 date-time.
#include <cmath>

#include "fields.h"
#include "sysutils.h"

namespace {

// The date-time of a native value (day number x 86400000 + milliseconds).
// Computed directly so that any stored value reads without an error; before
// 1899-12-30 the fraction still counts forward from midnight.
TDateTime MSecsToDateTime(double msecs) {
  double days = std::floor(msecs / MSecsPerDay);
  double time = (msecs - days * MSecsPerDay) / MSecsPerDay;
  double count = days - DateDelta;
  return count >= 0 ? count + time : count - time;
}

}  // namespace

bool TDateTimeField::ReadValue(TDateTime& value) const {
  double msecs;
  if (!GetData(&msecs)) return false;
  value = MSecsToDateTime(msecs);
  return true;
}

void TDateTimeField::WriteValue(TDateTime value) {
  double msecs = TimeStampToMSecs(DateTimeToTimeStamp(value));
  SetData(&msecs);
}

std::string TDateTimeField::FormatValue(TDateTime value) const {
  return DateTimeToStr(value);
}

TDateTime TDateTimeField::ParseText(const std::string& text) const {
  return StrToDateTime(text);
}

std::string TDateTimeField::GetAsString() const {
  TDateTime value;
  return ReadValue(value) ? FormatValue(value) : std::string();
}

void TDateTimeField::SetAsStringValue(const std::string& value) {
  if (Trim(value).empty())
    Clear();
  else
    WriteValue(ParseText(value));
}

double TDateTimeField::GetAsFloat() const {
  return GetAsDateTime();
}

void TDateTimeField::SetAsFloatValue(double value) {
  WriteValue(value);
}

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime value;
  return ReadValue(value) ? value : 0;
}

void TDateTimeField::SetAsDateTimeValue(TDateTime value) {
  WriteValue(value);
}

Variant TDateTimeField::GetAsVariantValue() const {
  TDateTime value;
  return ReadValue(value) ? Variant::FromDateTime(value) : Variant::Null();
}

void TDateTimeField::SetAsVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    WriteValue(value.AsDateTime());
}

std::string TDateTimeField::GetDisplayText() const {
  TDateTime value;
  if (!ReadValue(value)) return {};
  if (!DisplayFormat().empty()) return FormatDateTime(DisplayFormat(), value);
  return FormatValue(value);
}

// -- TDateField -----------------------------------------------------------------------

bool TDateField::ReadValue(TDateTime& value) const {
  int32_t day;
  if (!GetData(&day)) return false;
  value = static_cast<double>(day) - DateDelta;
  return true;
}

void TDateField::WriteValue(TDateTime value) {
  // The date part: the fraction is a time of day whatever the sign.
  int32_t day = DateTimeToTimeStamp(std::trunc(value)).Date;
  SetData(&day);
}

std::string TDateField::FormatValue(TDateTime value) const {
  return DateToStr(value);
}

TDateTime TDateField::ParseText(const std::string& text) const {
  return StrToDate(text);
}

// -- TTimeField -----------------------------------------------------------------------

bool TTimeField::ReadValue(TDateTime& value) const {
  int32_t msecs;
  if (!GetData(&msecs)) return false;
  value = static_cast<double>(msecs) / MSecsPerDay;
  return true;
}

void TTimeField::WriteValue(TDateTime value) {
  int32_t msecs = DateTimeToTimeStamp(value).Time;
  SetData(&msecs);
}

std::string TTimeField::FormatValue(TDateTime value) const {
  return TimeToStr(value);
}

TDateTime TTimeField::ParseText(const std::string& text) const {
  return StrToTime(text);
}
