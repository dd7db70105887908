// Statement parameters: typed values, the list, and the marker scan of SQL.
#include "params.h"

#include <algorithm>

#include "exceptions.h"

namespace {

TFieldType TypeOfVariant(const Variant& value) {
  switch (value.VarType()) {
    case varBoolean:
      return ftBoolean;
    case varInteger:
      return ftInteger;
    case varInt64:
      return ftLargeint;
    case varDouble:
      return ftFloat;
    case varCurrency:
      return ftCurrency;
    case varDate:
      return ftDateTime;
    case varString:
      return ftString;
    case varBcd:
      return ftFMTBcd;
    case varBytes:
      return ftBytes;
    default:
      return ftUnknown;
  }
}

bool IsTextType(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftFmtMemo:
    case ftWideString:
    case ftFixedWideChar:
    case ftWideMemo:
      return true;
    default:
      return false;
  }
}

}  // namespace

TParam::TParam(TParams* owner, std::string name, TParamType paramType, TFieldType dataType)
    : FOwner(owner), FName(std::move(name)), FDataType(dataType), FParamType(paramType) {}

void TParam::Store(Variant value, TFieldType type) {
  FValue = std::move(value);
  FDataType = type;
  FBound = true;
}

void TParam::SetValue(const Variant& value) {
  FValue = value;
  if (FDataType == ftUnknown) FDataType = TypeOfVariant(value);
  FBound = true;
}

std::string TParam::AsString() const {
  if (IsNull()) return {};
  switch (FDataType) {
    case ftDate:
      return DateToStr(FValue.AsDateTime());
    case ftTime:
      return TimeToStr(FValue.AsDateTime());
    case ftDateTime:
    case ftTimeStamp:
      return DateTimeToStr(FValue.AsDateTime());
    case ftBoolean:
      return FValue.AsBoolean() ? "True" : "False";
    default:
      return FValue.AsString();
  }
}

void TParam::SetAsString(std::string_view value) {
  Store(Variant(value), IsTextType(FDataType) ? FDataType : ftString);
}
void TParam::SetAsWideString(std::string_view value) {
  Store(Variant(value), ftWideString);
}
void TParam::SetAsMemo(std::string_view value) {
  Store(Variant(value), ftMemo);
}
void TParam::SetAsFixedChar(std::string_view value) {
  Store(Variant(value), ftFixedChar);
}

int32_t TParam::AsInteger() const {
  return IsNull() ? 0 : FValue.AsInteger();
}
void TParam::SetAsInteger(int32_t value) {
  Store(Variant(value), ftInteger);
}

void TParam::SetAsSmallInt(int32_t value) {
  if (value < -32768 || value > 32767)
    throw EConvertError(Format("'%d' is not a valid small integer value", {value}));
  Store(Variant(value), ftSmallint);
}

void TParam::SetAsWord(int32_t value) {
  if (value < 0 || value > 65535)
    throw EConvertError(Format("'%d' is not a valid word value", {value}));
  Store(Variant(value), ftWord);
}

int64_t TParam::AsLargeInt() const {
  return IsNull() ? 0 : FValue.AsInt64();
}
void TParam::SetAsLargeInt(int64_t value) {
  Store(Variant(value), ftLargeint);
}

double TParam::AsFloat() const {
  return IsNull() ? 0 : FValue.AsDouble();
}
void TParam::SetAsFloat(double value) {
  Store(Variant(value), ftFloat);
}

Currency TParam::AsCurrency() const {
  return IsNull() ? Currency{} : FValue.AsCurrency();
}
void TParam::SetAsCurrency(Currency value) {
  Store(Variant(value), ftCurrency);
}

TBcd TParam::AsBCD() const {
  return IsNull() ? IntegerToBcd(0) : FValue.AsBcd();
}
void TParam::SetAsBCD(const TBcd& value) {
  Store(Variant(value), ftBCD);
}
void TParam::SetAsFMTBCD(const TBcd& value) {
  Store(Variant(value), ftFMTBcd);
}

bool TParam::AsBoolean() const {
  return IsNull() ? false : FValue.AsBoolean();
}
void TParam::SetAsBoolean(bool value) {
  Store(Variant(value), ftBoolean);
}

TDateTime TParam::AsDateTime() const {
  return IsNull() ? 0 : FValue.AsDateTime();
}
void TParam::SetAsDateTime(TDateTime value) {
  Store(Variant::FromDateTime(value), ftDateTime);
}
void TParam::SetAsDate(TDateTime value) {
  Store(Variant::FromDateTime(value), ftDate);
}
void TParam::SetAsTime(TDateTime value) {
  Store(Variant::FromDateTime(value), ftTime);
}

Variant::Bytes TParam::AsBytes() const {
  return IsNull() ? Variant::Bytes{} : FValue.AsBytes();
}
void TParam::SetAsBytes(Variant::Bytes value) {
  Store(Variant::FromBytes(std::move(value)), ftBytes);
}
void TParam::SetAsBlob(Variant::Bytes value) {
  Store(Variant::FromBytes(std::move(value)), ftBlob);
}

void TParam::Assign(const TParam& source) {
  if (&source == this) return;
  FName = source.FName;
  FParamType = source.FParamType;
  FSize = source.FSize;
  FPrecision = source.FPrecision;
  FNumericScale = source.FNumericScale;
  AssignValue(source);
}

void TParam::AssignValue(const TParam& source) {
  if (&source == this) return;
  FDataType = source.FDataType;
  FValue = source.FValue;
  FBound = source.FBound;
}

// ---------------------------------------------------------------------------

TParam* TParams::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EDatabaseError(Format("List index out of bounds (%d)", {index}));
  return FItems[index].get();
}

TParam* TParams::CreateParam(TFieldType dataType, std::string name, TParamType paramType) {
  return AddParam(std::make_unique<TParam>(this, std::move(name), paramType, dataType));
}

TParam* TParams::AddParam(std::unique_ptr<TParam> param) {
  TParam* raw = param.get();
  raw->FOwner = this;
  FItems.push_back(std::move(param));
  return raw;
}

void TParams::RemoveParam(TParam* param) {
  auto it = std::find_if(FItems.begin(), FItems.end(),
                         [&](const std::unique_ptr<TParam>& p) { return p.get() == param; });
  if (it != FItems.end()) FItems.erase(it);
}

void TParams::Clear() {
  FItems.clear();
}

TParam* TParams::FindParam(std::string_view name) const {
  for (const auto& p : FItems)
    if (SameText(p->Name(), name)) return p.get();
  return nullptr;
}

TParam* TParams::ParamByName(std::string_view name) const {
  TParam* p = FindParam(name);
  if (!p) throw EDatabaseError(Format("Parameter '%s' not found", {name}));
  return p;
}

void TParams::Assign(const TParams& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TParam>> copies;
  copies.reserve(source.FItems.size());
  for (const auto& p : source.FItems) {
    auto copy = std::make_unique<TParam>(this);
    copy->Assign(*p);
    copies.push_back(std::move(copy));
  }
  FItems = std::move(copies);
}

void TParams::AssignValues(const TParams& source) {
  for (const auto& p : FItems)
    if (const TParam* from = source.FindParam(p->Name())) p->AssignValue(*from);
}

bool TParams::IsEqual(const TParams& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam& a = *FItems[i];
    const TParam& b = *other.FItems[i];
    if (a.Name() != b.Name() || a.DataType() != b.DataType() || a.ParamType() != b.ParamType() ||
        a.IsNull() != b.IsNull() || !(a.IsNull() || a.Value() == b.Value()))
      return false;
  }
  return true;
}

void TParams::ParseSQL(std::string_view sql) {
  for (std::string& name : ParseSQLParamNames(sql)) CreateParam(ftUnknown, std::move(name));
}

std::vector<std::string> ParseSQLParamNames(std::string_view sql) {
  auto isQuote = [](char c) { return c == '"' || c == '\'' || c == '`'; };
  // A tab ends a name as a blank does: it is white space in SQL.
  auto endsName = [](char c) {
    return c == '\n' || c == '\r' || c == '\t' || c == ' ' || c == ')' || c == ',' || c == ';';
  };
  std::vector<std::string> names;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (isQuote(c)) {
      size_t close = sql.find(c, i + 1);
      if (close == std::string_view::npos) break;  // an unterminated quote ends the scan
      i = close + 1;
      continue;
    }
    if (c != ':') {
      ++i;
      continue;
    }
    if (i + 1 < sql.size() && sql[i + 1] == ':') {
      i += 2;  // a literal colon
      continue;
    }
    ++i;
    std::string name;
    if (i < sql.size() && isQuote(sql[i])) {
      char quote = sql[i];
      size_t close = sql.find(quote, i + 1);
      size_t end = close == std::string_view::npos ? sql.size() : close;
      name = sql.substr(i + 1, end - i - 1);
      i = close == std::string_view::npos ? sql.size() : close + 1;
    } else {
      size_t start = i;
      while (i < sql.size() && !endsName(sql[i])) ++i;
      name = sql.substr(start, i - start);
    }
    names.push_back(std::move(name));  // an empty name is a marker too
  }
  return names;
}
