// Whole-number, floating-point, packed-decimal and boolean fields.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fields.h"
#include "sysutils.h"

namespace {

int32_t NarrowToInt32(int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX)
    throw EConvertError(Format("'%s' is not a valid integer value", {IntToStr(value)}));
  return static_cast<int32_t>(value);
}

}  // namespace

// -- TIntegerField and its sizes --------------------------------------------------

TIntegerField::TIntegerField(std::string fieldName, TFieldType type, int64_t minRange,
                             int64_t maxRange)
    : TNumericField(std::move(fieldName), type, 0), FMinRange(minRange), FMaxRange(maxRange) {}

bool TIntegerField::ReadValue(int64_t& value) const {
  int32_t native;
  if (!GetData(&native)) return false;
  value = native;
  return true;
}

void TIntegerField::WriteValue(int64_t value) {
  auto native = static_cast<int32_t>(value);
  SetData(&native);
}

bool TSmallintField::ReadValue(int64_t& value) const {
  int16_t native;
  if (!GetData(&native)) return false;
  value = native;
  return true;
}

void TSmallintField::WriteValue(int64_t value) {
  auto native = static_cast<int16_t>(value);
  SetData(&native);
}

bool TWordField::ReadValue(int64_t& value) const {
  uint16_t native;
  if (!GetData(&native)) return false;
  value = native;
  return true;
}

void TWordField::WriteValue(int64_t value) {
  auto native = static_cast<uint16_t>(value);
  SetData(&native);
}

bool TLargeintField::ReadValue(int64_t& value) const {
  return GetData(&value);
}

void TLargeintField::WriteValue(int64_t value) {
  SetData(&value);
}

void TIntegerField::CheckRange(int64_t value) const {
  int64_t min = FMinRange, max = FMaxRange;
  if (FMinValue != 0 || FMaxValue != 0) {
    min = std::max(min, FMinValue);
    max = std::min(max, FMaxValue);
  }
  if (value < min || value > max) RangeError(IntToStr(value), IntToStr(min), IntToStr(max));
}

std::string TIntegerField::GetAsString() const {
  int64_t value;
  return ReadValue(value) ? IntToStr(value) : std::string();
}

void TIntegerField::SetAsStringValue(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  SetAsLargeIntValue(StrToInt64(value));
}

int32_t TIntegerField::GetAsInteger() const {
  int64_t value;
  return ReadValue(value) ? NarrowToInt32(value) : 0;
}

void TIntegerField::SetAsIntegerValue(int32_t value) {
  SetAsLargeIntValue(value);
}

int64_t TIntegerField::GetAsLargeInt() const {
  int64_t value;
  return ReadValue(value) ? value : 0;
}

void TIntegerField::SetAsLargeIntValue(int64_t value) {
  CheckRange(value);
  WriteValue(value);
}

double TIntegerField::GetAsFloat() const {
  return static_cast<double>(GetAsLargeInt());
}

void TIntegerField::SetAsFloatValue(double value) {
  int64_t whole;
  if (!TryRoundToInt64(value, whole))
    RangeError(FloatToStr(value), IntToStr(FMinRange), IntToStr(FMaxRange));
  SetAsLargeIntValue(whole);
}

Currency TIntegerField::GetAsCurrency() const {
  int64_t value = GetAsLargeInt();
  if (value > INT64_MAX / Currency::Scale || value < INT64_MIN / Currency::Scale)
    throw EConvertError(Format("'%s' is not a valid currency value", {IntToStr(value)}));
  return Currency::FromScaled(value * Currency::Scale);
}

void TIntegerField::SetAsCurrencyValue(Currency value) {
  int64_t whole = value.Scaled / Currency::Scale;
  int64_t rest = value.Scaled % Currency::Scale;
  if (rest >= Currency::Scale / 2) ++whole;
  if (rest <= -Currency::Scale / 2) --whole;
  SetAsLargeIntValue(whole);
}

TBcd TIntegerField::GetAsBCD() const {
  return IntegerToBcd(GetAsLargeInt());
}

void TIntegerField::SetAsBCDValue(const TBcd& value) {
  SetAsLargeIntValue(BcdToInt64(value));
}

Variant TIntegerField::GetAsVariantValue() const {
  int64_t value;
  if (!ReadValue(value)) return Variant::Null();
  if (DataType() == ftLargeint) return Variant(static_cast<long long>(value));
  return Variant(static_cast<int>(value));
}

void TIntegerField::SetAsVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsLargeIntValue(value.AsInt64());
}

std::string TIntegerField::GetDisplayText() const {
  int64_t value;
  if (!ReadValue(value)) return {};
  if (!DisplayFormat().empty()) return FormatFloat(DisplayFormat(), static_cast<double>(value));
  return IntToStr(value);
}

// -- TFloatField ------------------------------------------------------------------------

bool TFloatField::ReadValue(double& value) const {
  return GetData(&value);
}

std::string TFloatField::GetAsString() const {
  double value;
  return ReadValue(value) ? FloatToStrF(value, ffGeneral, Precision(), 0) : std::string();
}

void TFloatField::SetAsStringValue(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  SetAsFloatValue(StrToFloat(value));
}

int32_t TFloatField::GetAsInteger() const {
  return NarrowToInt32(GetAsLargeInt());
}

void TFloatField::SetAsIntegerValue(int32_t value) {
  SetAsFloatValue(value);
}

int64_t TFloatField::GetAsLargeInt() const {
  double value;
  if (!ReadValue(value)) return 0;
  int64_t whole;
  if (!TryRoundToInt64(value, whole))
    throw EConvertError(Format("'%s' is not a valid integer value", {FloatToStr(value)}));
  return whole;
}

void TFloatField::SetAsLargeIntValue(int64_t value) {
  SetAsFloatValue(static_cast<double>(value));
}

double TFloatField::GetAsFloat() const {
  double value;
  return ReadValue(value) ? value : 0;
}

void TFloatField::SetAsFloatValue(double value) {
  if (!std::isfinite(value))
    throw EDatabaseError(
        Format("%s is not a valid value for field '%s'", {FloatToStr(value), DisplayName()}));
  if ((FMinValue != 0 || FMaxValue != 0) && (value < FMinValue || value > FMaxValue))
    RangeError(FloatToStr(value), FloatToStr(FMinValue), FloatToStr(FMaxValue));
  SetData(&value);
}

::Currency TFloatField::GetAsCurrency() const {
  return FloatToCurr(GetAsFloat());
}

void TFloatField::SetAsCurrencyValue(::Currency value) {
  SetAsFloatValue(value.ToDouble());
}

TBcd TFloatField::GetAsBCD() const {
  return DoubleToBcd(GetAsFloat());
}

void TFloatField::SetAsBCDValue(const TBcd& value) {
  SetAsFloatValue(BcdToDouble(value));
}

Variant TFloatField::GetAsVariantValue() const {
  double value;
  return ReadValue(value) ? Variant(value) : Variant::Null();
}

void TFloatField::SetAsVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsFloatValue(value.AsDouble());
}

std::string TFloatField::GetDisplayText() const {
  double value;
  if (!ReadValue(value)) return {};
  if (!DisplayFormat().empty()) return FormatFloat(DisplayFormat(), value);
  if (FCurrency) return FloatToStrF(value, ffCurrency, Precision(), 2);
  return FloatToStrF(value, ffGeneral, Precision(), 0);
}

// -- TBCDField ----------------------------------------------------------------------------

bool TBCDField::ReadValue(TBcd& value) const {
  return GetData(&value);
}

void TBCDField::WriteValue(const TBcd& value) {
  int precision = FPrecision > 0 ? std::min(FPrecision, TBcd::MaxDigits) : TBcd::MaxDigits;
  int places = std::max(0, std::min(Size(), precision));
  TBcd stored;
  if (!TryNormalizeBcd(value, precision, places, stored)) {
    if (DataSet() && !DataSet()->FieldChecksBcdRange(this)) {
      // The dataset judges the range; only the decimals are fitted here.
      SetData(&(stored = NormalizeBcd(value, TBcd::MaxDigits, places)));
      return;
    }
    // The bound is the largest value of `precision` digits with `places` decimals.
    std::string nines = precision > places ? std::string(precision - places, '9') : "0";
    if (places > 0) nines += FormatSettings().DecimalSeparator + std::string(places, '9');
    RangeError(BcdToStr(value), "-" + nines, nines);
  }
  SetData(&stored);
}

std::string TBCDField::GetAsString() const {
  TBcd value;
  return ReadValue(value) ? BcdToStr(value) : std::string();
}

void TBCDField::SetAsStringValue(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  WriteValue(StrToBcd(value));
}

int32_t TBCDField::GetAsInteger() const {
  return NarrowToInt32(GetAsLargeInt());
}

void TBCDField::SetAsIntegerValue(int32_t value) {
  WriteValue(IntegerToBcd(value));
}

int64_t TBCDField::GetAsLargeInt() const {
  TBcd value;
  return ReadValue(value) ? BcdToInt64(value) : 0;
}

void TBCDField::SetAsLargeIntValue(int64_t value) {
  WriteValue(IntegerToBcd(value));
}

double TBCDField::GetAsFloat() const {
  TBcd value;
  return ReadValue(value) ? BcdToDouble(value) : 0;
}

void TBCDField::SetAsFloatValue(double value) {
  WriteValue(DoubleToBcd(value));
}

::Currency TBCDField::GetAsCurrency() const {
  TBcd value;
  if (!ReadValue(value)) return {};
  ::Currency result;
  if (!BCDToCurr(value, result))
    throw EConvertError(Format("'%s' is not a valid currency value", {BcdToStr(value)}));
  return result;
}

void TBCDField::SetAsCurrencyValue(::Currency value) {
  WriteValue(CurrToBCD(value));
}

TBcd TBCDField::GetAsBCD() const {
  TBcd value;
  return ReadValue(value) ? value : IntegerToBcd(0);
}

void TBCDField::SetAsBCDValue(const TBcd& value) {
  WriteValue(value);
}

Variant TBCDField::GetAsVariantValue() const {
  TBcd value;
  return ReadValue(value) ? Variant(value) : Variant::Null();
}

void TBCDField::SetAsVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    WriteValue(value.AsBcd());
}

std::string TBCDField::GetDisplayText() const {
  TBcd value;
  if (!ReadValue(value)) return {};
  if (!DisplayFormat().empty()) return FormatFloat(DisplayFormat(), BcdToDouble(value));
  if (FCurrency) return BcdToStrF(value, ffCurrency, TBcd::MaxDigits, 2);
  return BcdToStr(value);
}

// -- TBooleanField --------------------------------------------------------------------------

void TBooleanField::SetDisplayValues(const std::string& values) {
  size_t separator = values.find(';');
  std::string trueText = values.substr(0, separator);
  std::string falseText = separator == std::string::npos ? "" : values.substr(separator + 1);
  if (trueText.empty() && falseText.empty())
    throw EDatabaseError(
        Format("'%s' is not a valid boolean value for field '%s'", {values, DisplayName()}));
  FDisplayValues = values;
  FTrueText = trueText;
  FFalseText = falseText;
}

bool TBooleanField::GetAsBoolean() const {
  int16_t native;
  return GetData(&native) && native != 0;
}

void TBooleanField::SetAsBooleanValue(bool value) {
  int16_t native = value ? -1 : 0;
  SetData(&native);
}

std::string TBooleanField::GetAsString() const {
  int16_t native;
  if (!GetData(&native)) return {};
  return native != 0 ? FTrueText : FFalseText;
}

void TBooleanField::SetAsStringValue(const std::string& value) {
  std::string text = Trim(value);
  if (text.empty()) {
    Clear();
    return;
  }
  auto starts = [&](const std::string& full) {
    return !full.empty() && text.size() <= full.size() &&
           SameText(std::string_view(full).substr(0, text.size()), text);
  };
  if (SameText(text, FTrueText))
    SetAsBooleanValue(true);
  else if (SameText(text, FFalseText))
    SetAsBooleanValue(false);
  else if (starts(FTrueText))
    SetAsBooleanValue(true);
  else if (starts(FFalseText))
    SetAsBooleanValue(false);
  else
    throw EDatabaseError(
        Format("'%s' is not a valid boolean value for field '%s'", {value, DisplayName()}));
}

int32_t TBooleanField::GetAsInteger() const {
  return GetAsBoolean() ? 1 : 0;
}

void TBooleanField::SetAsIntegerValue(int32_t value) {
  SetAsBooleanValue(value != 0);
}

Variant TBooleanField::GetAsVariantValue() const {
  int16_t native;
  if (!GetData(&native)) return Variant::Null();
  return Variant(native != 0);
}

void TBooleanField::SetAsVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsBooleanValue(value.AsBoolean());
}
