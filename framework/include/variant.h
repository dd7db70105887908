// Variant: a value of any of the framework's simple types, Null or
// Unassigned, or an array of Variants (key values of Locate and Lookup).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "bcd.h"
#include "exceptions.h"
#include "sysutils.h"

enum TVarType {
  varEmpty,  // Unassigned: converts to 0, "" and false
  varNull,   // Null: converts to nothing (EVariantTypeCastError)
  varBoolean,
  varInteger,  // 32 bits
  varInt64,
  varDouble,
  varCurrency,
  varDate,    // TDateTime
  varString,  // UTF-8 text
  varBcd,     // TBcd
  varBytes,   // raw bytes
  varArray,   // Variants
};

/// The type's name as used in messages: "Empty", "Null", "Boolean",
/// "Integer", "Int64", "Double", "Currency", "Date", "String", "FMTBcd",
/// "Bytes", "Array".
const char* VarTypeName(TVarType type);

/// Copyable value. Conversions between the scalar kinds follow the process
/// format settings (see the As... members); text that does not convert raises
/// the EConvertError of sysutils ("'%s' is not a valid integer value", ...);
/// Null, arrays and bytes asked for as a number raise EVariantTypeCastError.
class Variant {
 public:
  using Bytes = std::vector<uint8_t>;

  Variant() = default;  // Unassigned
  Variant(bool v) : FType(varBoolean), FInt(v ? 1 : 0) {}
  Variant(int v) : FType(varInteger), FInt(v) {}
  Variant(long v) : FType(varInt64), FInt(v) {}
  Variant(long long v) : FType(varInt64), FInt(v) {}
  Variant(unsigned v) : FType(varInt64), FInt(v) {}
  Variant(double v) : FType(varDouble), FDouble(v) {}
  Variant(Currency v) : FType(varCurrency), FInt(v.Scaled) {}
  Variant(const TBcd& v) : FType(varBcd), FBcd(v) {}
  Variant(const char* v) : FType(varString), FString(v ? v : "") {}
  Variant(std::string_view v) : FType(varString), FString(v) {}
  Variant(std::string v) : FType(varString), FString(std::move(v)) {}
  Variant(const void*) = delete;  // no pointer may silently become a boolean

  static Variant Null();
  static Variant Unassigned() { return Variant(); }
  static Variant FromDateTime(TDateTime value);
  static Variant FromBytes(Bytes value);
  static Variant FromBytes(const void* data, size_t size);
  static Variant Array(std::vector<Variant> items);

  TVarType VarType() const { return FType; }
  bool IsNull() const { return FType == varNull; }
  bool IsEmpty() const { return FType == varEmpty; }
  /// Null or Unassigned.
  bool IsClear() const { return FType == varNull || FType == varEmpty; }
  bool IsArray() const { return FType == varArray; }
  bool IsNumeric() const;

  /// Elements of an array; raise EVariantError "Variant is not an array" for
  /// other kinds and "Variant or safe array index out of bounds" for a bad
  /// index.
  size_t ArrayLength() const;
  const Variant& operator[](size_t index) const;
  Variant& operator[](size_t index);
  const std::vector<Variant>& Elements() const;

  /// Booleans: 0 is false, other numbers true; text as StrToBool.
  bool AsBoolean() const;
  /// Doubles, currency, decimals and dates are rounded to the nearest whole
  /// number (halves away from zero); text as StrToInt / StrToInt64. A value
  /// outside the result's range raises EVariantError "Arithmetic overflow in
  /// variant conversion".
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  /// Text as StrToFloat.
  double AsDouble() const;
  /// Text as StrToCurr.
  Currency AsCurrency() const;
  /// Numbers are day counts; text as StrToDateTime.
  TDateTime AsDateTime() const;
  /// Exact for integers, currency and decimals; text as StrToBcd.
  TBcd AsBcd() const;
  /// Unassigned: ""; booleans "True"/"False"; numbers as IntToStr,
  /// FloatToStr, CurrToStr, BcdToStr; dates as DateTimeToStr; bytes as their
  /// 8-bit text. Null and arrays raise EVariantTypeCastError.
  std::string AsString() const;
  /// Bytes as held; text as its bytes; Unassigned empty.
  Bytes AsBytes() const;

  /// Same kind family and equal value: numbers compare by value across
  /// kinds, Null equals Null, arrays element-wise, text exactly.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  [[noreturn]] void CastError(TVarType to) const;

  TVarType FType = varEmpty;
  int64_t FInt = 0;    // boolean, integers, currency (scaled)
  double FDouble = 0;  // double, date
  TBcd FBcd{};
  std::string FString;
  Bytes FBytes;
  std::vector<Variant> FArray;
};

inline Variant VarArrayOf(std::initializer_list<Variant> items) {
  return Variant::Array(std::vector<Variant>(items));
}
inline bool VarIsNull(const Variant& v) {
  return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) {
  return v.IsEmpty();
}
inline bool VarIsClear(const Variant& v) {
  return v.IsClear();
}
inline bool VarIsArray(const Variant& v) {
  return v.IsArray();
}
/// AsString, with "" for Null.
std::string VarToStr(const Variant& v);

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

/// Orders two values for Locate, Lookup and key comparisons: Null and
/// Unassigned sort before everything and equal each other; numbers (booleans,
/// integers, currency, doubles, decimals, dates) by value; text by bytes or,
/// with caseInsensitive, by CompareText; a number against text converts the
/// text (vrNotEqual when it does not convert); other mixes are vrNotEqual.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b,
                                     bool caseInsensitive = false);
