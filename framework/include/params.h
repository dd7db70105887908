// Parameters of statements and queries: a named, typed value with a null
// state and a bound flag, and the list that finds parameters by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bcd.h"
#include "fieldtypes.h"
#include "sysutils.h"
#include "variant.h"

class TParams;

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

/// One parameter. The value is a Variant: Null or Unassigned means no value
/// (IsNull). Each typed setter stores the value, sets the matching data type
/// and marks the parameter bound; the typed getters convert the value and
/// answer 0, "" or false for a null one. Assigning a Value to a parameter of
/// type ftUnknown takes the type from the value.
class TParam {
 public:
  explicit TParam(TParams* owner = nullptr, std::string name = {}, TParamType paramType = ptUnknown,
                  TFieldType dataType = ftUnknown);

  TParams* Collection() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  TFieldType DataType() const { return FDataType; }
  /// Changes the type only; the value stays as it is.
  void SetDataType(TFieldType type) { FDataType = type; }
  TParamType ParamType() const { return FParamType; }
  void SetParamType(TParamType type) { FParamType = type; }
  /// Whether a value was given (set by every value assignment; a detail
  /// query clears it for parameters that follow its master).
  bool Bound() const { return FBound; }
  void SetBound(bool value) { FBound = value; }
  int Size() const { return FSize; }
  void SetSize(int size) { FSize = size; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int precision) { FPrecision = precision; }
  int NumericScale() const { return FNumericScale; }
  void SetNumericScale(int scale) { FNumericScale = scale; }

  bool IsNull() const { return FValue.IsClear(); }
  /// Makes the value Null, keeping type and bound flag.
  void Clear() { FValue = Variant::Null(); }

  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& value);

  /// Dates, times and date-times as DateToStr, TimeToStr, DateTimeToStr;
  /// booleans "True"/"False"; otherwise the Variant's text.
  std::string AsString() const;
  /// Keeps ftString, ftFixedChar, ftMemo, ftFmtMemo, ftWideString,
  /// ftFixedWideChar and ftWideMemo; any other type becomes ftString.
  void SetAsString(std::string_view value);
  void SetAsWideString(std::string_view value);  // ftWideString, UTF-8
  void SetAsMemo(std::string_view value);        // ftMemo
  void SetAsFixedChar(std::string_view value);   // ftFixedChar

  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);  // ftInteger
  int32_t AsSmallInt() const { return AsInteger(); }
  /// Raises EConvertError "'%d' is not a valid small integer value" outside
  /// 16 bits.
  void SetAsSmallInt(int32_t value);  // ftSmallint
  int32_t AsWord() const { return AsInteger(); }
  /// Raises EConvertError "'%d' is not a valid word value" outside 0..65535.
  void SetAsWord(int32_t value);  // ftWord
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);  // ftLargeint

  double AsFloat() const;
  void SetAsFloat(double value);  // ftFloat
  Currency AsCurrency() const;
  void SetAsCurrency(Currency value);  // ftCurrency
  TBcd AsBCD() const;
  void SetAsBCD(const TBcd& value);     // ftBCD
  void SetAsFMTBCD(const TBcd& value);  // ftFMTBcd

  bool AsBoolean() const;
  void SetAsBoolean(bool value);  // ftBoolean

  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);  // ftDateTime
  TDateTime AsDate() const { return AsDateTime(); }
  void SetAsDate(TDateTime value);  // ftDate
  TDateTime AsTime() const { return AsDateTime(); }
  void SetAsTime(TDateTime value);  // ftTime

  Variant::Bytes AsBytes() const;
  void SetAsBytes(Variant::Bytes value);  // ftBytes
  void SetAsBlob(Variant::Bytes value);   // ftBlob

  /// Copies name, types, sizes, value and bound flag (not the owner).
  void Assign(const TParam& source);
  /// Copies type and value (and so the bound flag); the name stays.
  void AssignValue(const TParam& source);

 private:
  friend class TParams;  // takes ownership in AddParam
  void Store(Variant value, TFieldType type);

  TParams* FOwner;
  std::string FName;
  TFieldType FDataType;
  TParamType FParamType;
  Variant FValue;
  bool FBound = false;
  int FSize = 0;
  int FPrecision = 0;
  int FNumericScale = 0;
};

/// The parameters of a statement, in order (a name may occur more than once:
/// one parameter per marker). Names are found without regard to case.
class TParams {
 public:
  TParams() = default;
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  /// Raises EDatabaseError "List index out of bounds (%d)" for a bad index.
  TParam* Items(int index) const;
  TParam* operator[](int index) const { return Items(index); }

  TParam* CreateParam(TFieldType dataType, std::string name, TParamType paramType = ptInput);
  /// Adds a parameter made elsewhere; the list becomes its owner.
  TParam* AddParam(std::unique_ptr<TParam> param);
  void RemoveParam(TParam* param);
  void Clear();

  /// The first parameter of that name, nullptr when none.
  TParam* FindParam(std::string_view name) const;
  /// Raises EDatabaseError "Parameter '%s' not found".
  TParam* ParamByName(std::string_view name) const;

  /// Replaces the list with copies of `source`'s parameters.
  void Assign(const TParams& source);
  /// Copying by name: every parameter here whose name `source` knows takes
  /// the type, value and bound flag of the first such parameter there;
  /// the others keep theirs.
  void AssignValues(const TParams& source);
  /// Same count, and pairwise the same name, types and value.
  bool IsEqual(const TParams& other) const;

  /// Appends one input parameter of type ftUnknown per marker in `sql`
  /// (see ParseSQLParamNames).
  void ParseSQL(std::string_view sql);

 private:
  std::vector<std::unique_ptr<TParam>> FItems;
};

/// The parameter markers of an SQL text, in text order, one per occurrence.
/// A colon starts a marker; two colons in a row are a literal colon; text
/// within double, single or back quotes is skipped (an unterminated quote
/// ends the scan). After the colon a quoted name runs to its closing quote;
/// otherwise the name runs up to a line feed, carriage return, tab, blank,
/// ")", "," or ";" or the end; a colon followed by none of a name is a
/// marker with an empty name. The engine numbers the markers of the text it
/// is given by the same rule, so parameters bind by position.
std::vector<std::string> ParseSQLParamNames(std::string_view sql);
