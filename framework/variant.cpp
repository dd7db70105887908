// Variant: construction, conversions between the kinds, and comparison.
#include "variant.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr const char* kOverflow = "Arithmetic overflow in variant conversion";

int64_t RoundToInt64(double value) {
  int64_t result;
  if (!TryRoundToInt64(value, result)) throw EVariantError(kOverflow);
  return result;
}

int64_t RoundCurrency(Currency c) {
  int64_t whole = c.Scaled / Currency::Scale;
  int64_t rest = c.Scaled % Currency::Scale;
  if (rest >= Currency::Scale / 2) ++whole;
  if (rest <= -Currency::Scale / 2) --whole;
  return whole;
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

TVariantRelationship FromSign(int sign) {
  return sign < 0 ? vrLessThan : sign > 0 ? vrGreaterThan : vrEqual;
}

bool IsIntegral(TVarType t) {
  return t == varBoolean || t == varInteger || t == varInt64;
}
bool IsFloating(TVarType t) {
  return t == varDouble || t == varDate;
}

}  // namespace

const char* VarTypeName(TVarType type) {
  switch (type) {
    case varEmpty:
      return "Empty";
    case varNull:
      return "Null";
    case varBoolean:
      return "Boolean";
    case varInteger:
      return "Integer";
    case varInt64:
      return "Int64";
    case varDouble:
      return "Double";
    case varCurrency:
      return "Currency";
    case varDate:
      return "Date";
    case varString:
      return "String";
    case varBcd:
      return "FMTBcd";
    case varBytes:
      return "Bytes";
    case varArray:
      return "Array";
  }
  return "Unknown";
}

Variant Variant::Null() {
  Variant v;
  v.FType = varNull;
  return v;
}

Variant Variant::FromDateTime(TDateTime value) {
  Variant v;
  v.FType = varDate;
  v.FDouble = value;
  return v;
}

Variant Variant::FromBytes(Bytes value) {
  Variant v;
  v.FType = varBytes;
  v.FBytes = std::move(value);
  return v;
}

Variant Variant::FromBytes(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  return FromBytes(Bytes(p, p + size));
}

Variant Variant::Array(std::vector<Variant> items) {
  Variant v;
  v.FType = varArray;
  v.FArray = std::move(items);
  return v;
}

bool Variant::IsNumeric() const {
  return IsIntegral(FType) || IsFloating(FType) || FType == varCurrency || FType == varBcd;
}

void Variant::CastError(TVarType to) const {
  throw EVariantTypeCastError(std::string("Could not convert variant of type (") +
                              VarTypeName(FType) + ") into type (" + VarTypeName(to) + ")");
}

size_t Variant::ArrayLength() const {
  return Elements().size();
}

const std::vector<Variant>& Variant::Elements() const {
  if (FType != varArray) throw EVariantError("Variant is not an array");
  return FArray;
}

const Variant& Variant::operator[](size_t index) const {
  const auto& items = Elements();
  if (index >= items.size()) throw EVariantError("Variant or safe array index out of bounds");
  return items[index];
}

Variant& Variant::operator[](size_t index) {
  const auto& items = Elements();
  if (index >= items.size()) throw EVariantError("Variant or safe array index out of bounds");
  return FArray[index];
}

bool Variant::AsBoolean() const {
  switch (FType) {
    case varEmpty:
      return false;
    case varBoolean:
    case varInteger:
    case varInt64:
    case varCurrency:
      return FInt != 0;
    case varDouble:
    case varDate:
      return FDouble != 0;
    case varBcd:
      return !IsBcdZero(FBcd);
    case varString:
      return StrToBool(FString);
    default:
      CastError(varBoolean);
  }
}

int64_t Variant::AsInt64() const {
  switch (FType) {
    case varEmpty:
      return 0;
    case varBoolean:
    case varInteger:
    case varInt64:
      return FInt;
    case varCurrency:
      return RoundCurrency(Currency::FromScaled(FInt));
    case varDouble:
    case varDate:
      return RoundToInt64(FDouble);
    case varBcd:
      try {
        return BcdToInt64(FBcd);
      } catch (const EBcdOverflowException&) {
        throw EVariantError(kOverflow);
      }
    case varString:
      return StrToInt64(FString);
    default:
      CastError(varInt64);
  }
}

int32_t Variant::AsInteger() const {
  if (FType == varString) return StrToInt(FString);
  if (FType == varNull || FType == varBytes || FType == varArray) CastError(varInteger);
  int64_t value = AsInt64();
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    throw EVariantError(kOverflow);
  return static_cast<int32_t>(value);
}

double Variant::AsDouble() const {
  switch (FType) {
    case varEmpty:
      return 0;
    case varBoolean:
    case varInteger:
    case varInt64:
      return static_cast<double>(FInt);
    case varCurrency:
      return Currency::FromScaled(FInt).ToDouble();
    case varDouble:
    case varDate:
      return FDouble;
    case varBcd:
      return BcdToDouble(FBcd);
    case varString:
      return StrToFloat(FString);
    default:
      CastError(varDouble);
  }
}

Currency Variant::AsCurrency() const {
  switch (FType) {
    case varEmpty:
      return {};
    case varCurrency:
      return Currency::FromScaled(FInt);
    case varBoolean:
    case varInteger:
    case varInt64:
      if (FInt > std::numeric_limits<int64_t>::max() / Currency::Scale ||
          FInt < std::numeric_limits<int64_t>::min() / Currency::Scale)
        throw EVariantError(kOverflow);
      return Currency::FromScaled(FInt * Currency::Scale);
    case varDouble:
    case varDate: {
      Currency c;
      if (!TryFloatToCurr(FDouble, c)) throw EVariantError(kOverflow);
      return c;
    }
    case varBcd: {
      Currency c;
      if (!BCDToCurr(FBcd, c)) throw EVariantError(kOverflow);
      return c;
    }
    case varString:
      return StrToCurr(FString);
    default:
      CastError(varCurrency);
  }
}

TDateTime Variant::AsDateTime() const {
  switch (FType) {
    case varEmpty:
      return 0;
    case varDate:
    case varDouble:
      return FDouble;
    case varInteger:
    case varInt64:
      return static_cast<double>(FInt);
    case varCurrency:
      return Currency::FromScaled(FInt).ToDouble();
    case varBcd:
      return BcdToDouble(FBcd);
    case varString:
      return StrToDateTime(FString);
    default:
      CastError(varDate);
  }
}

TBcd Variant::AsBcd() const {
  switch (FType) {
    case varEmpty:
      return IntegerToBcd(0);
    case varBoolean:
    case varInteger:
    case varInt64:
      return IntegerToBcd(FInt);
    case varCurrency:
      return StrToBcd(CurrToStr(Currency::FromScaled(FInt), TFormatSettings()), TFormatSettings());
    case varDouble:
    case varDate:
      return DoubleToBcd(FDouble);
    case varBcd:
      return FBcd;
    case varString:
      return StrToBcd(FString);
    default:
      CastError(varBcd);
  }
}

std::string Variant::AsString() const {
  switch (FType) {
    case varEmpty:
      return {};
    case varBoolean:
      return FInt ? "True" : "False";
    case varInteger:
    case varInt64:
      return IntToStr(FInt);
    case varCurrency:
      return CurrToStr(Currency::FromScaled(FInt));
    case varDouble:
      return FloatToStr(FDouble);
    case varDate:
      return DateTimeToStr(FDouble);
    case varBcd:
      return BcdToStr(FBcd);
    case varString:
      return FString;
    case varBytes:
      return std::string(FBytes.begin(), FBytes.end());
    default:
      CastError(varString);
  }
}

Variant::Bytes Variant::AsBytes() const {
  switch (FType) {
    case varEmpty:
      return {};
    case varBytes:
      return FBytes;
    case varString:
      return Bytes(FString.begin(), FString.end());
    default:
      CastError(varBytes);
  }
}

std::string VarToStr(const Variant& v) {
  return v.IsNull() ? std::string() : v.AsString();
}

bool operator==(const Variant& a, const Variant& b) {
  TVarType ta = a.VarType(), tb = b.VarType();
  if (ta == varArray || tb == varArray) {
    if (ta != tb || a.ArrayLength() != b.ArrayLength()) return false;
    for (size_t i = 0; i < a.ArrayLength(); ++i)
      if (!(a[i] == b[i])) return false;
    return true;
  }
  if (a.IsClear() || b.IsClear()) return ta == tb;
  if (a.IsNumeric() != b.IsNumeric()) return false;
  if (!a.IsNumeric() && ta != tb) return false;
  return VarCompareValue(a, b) == vrEqual;
}

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b, bool caseInsensitive) {
  if (a.IsClear() || b.IsClear()) {
    if (a.IsClear() && b.IsClear()) return vrEqual;
    return a.IsClear() ? vrLessThan : vrGreaterThan;
  }
  TVarType ta = a.VarType(), tb = b.VarType();
  if (ta == varArray || tb == varArray) {
    if (ta != tb) return vrNotEqual;
    size_t n = std::min(a.ArrayLength(), b.ArrayLength());
    for (size_t i = 0; i < n; ++i) {
      TVariantRelationship r = VarCompareValue(a[i], b[i], caseInsensitive);
      if (r != vrEqual) return r;
    }
    return FromSign(Sign(a.ArrayLength(), b.ArrayLength()));
  }
  if (ta == varString && tb == varString) {
    const std::string x = a.AsString(), y = b.AsString();
    if (caseInsensitive) return FromSign(CompareText(x, y));
    int c = x.compare(y);
    return FromSign(c < 0 ? -1 : c > 0 ? 1 : 0);
  }
  if (ta == varBytes && tb == varBytes) {
    Variant::Bytes x = a.AsBytes(), y = b.AsBytes();
    return FromSign(Sign(x, y));
  }
  if (!(a.IsNumeric() || ta == varString) || !(b.IsNumeric() || tb == varString)) return vrNotEqual;
  try {
    if (IsFloating(ta) || IsFloating(tb)) {
      // A date against text reads the text as a date-time when it is no number.
      auto toDouble = [](const Variant& v, bool asDate) {
        double d;
        if (v.VarType() == varString && !TryStrToFloat(v.AsString(), d) && asDate) {
          if (!TryStrToDateTime(v.AsString(), d, FormatSettings())) throw EConvertError("");
          return d;
        }
        return v.AsDouble();
      };
      bool date = ta == varDate || tb == varDate;
      return FromSign(Sign(toDouble(a, date), toDouble(b, date)));
    }
    if (IsIntegral(ta) && IsIntegral(tb)) return FromSign(Sign(a.AsInt64(), b.AsInt64()));
    return FromSign(BcdCompare(a.AsBcd(), b.AsBcd()));
  } catch (const Exception&) {
    return vrNotEqual;  // text that is no number
  }
}
