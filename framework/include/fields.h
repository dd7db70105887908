// The field family: TField, one class per field data type, and calculated and
// lookup fields. Fields reach their record only through the dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bcd.h"
#include "dataset.h"
#include "exceptions.h"
#include "fieldtypes.h"
#include "sysutils.h"
#include "variant.h"

/// Where a field's value comes from: the record, OnCalcFields, or a lookup
/// in another dataset.
enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

/// A column of a dataset's active record. The value is read and written in
/// the field's native format through the dataset's GetFieldData and
/// PutFieldData, and converted by the As... members with the process format
/// settings. A conversion the field does not support raises EDatabaseError
/// "Cannot access field '%s' as type %s"; text that does not convert raises
/// the framework's EConvertError. Assigning an empty text clears a non-text
/// field. A field belongs to at most one dataset, which owns it.
class TField {
 public:
  using TFieldNotifyEvent = std::function<void(TField* sender)>;
  using TFieldGetTextEvent = std::function<void(TField* sender, std::string& text, bool display)>;
  using TFieldSetTextEvent = std::function<void(TField* sender, const std::string& text)>;

  TField(std::string fieldName, TFieldType dataType, int size);
  virtual ~TField();
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // -- description -------------------------------------------------------------
  TDataSet* DataSet() const { return FDataSet; }
  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(std::string name);
  const std::string& DisplayLabel() const { return FDisplayLabel; }
  void SetDisplayLabel(std::string label) { FDisplayLabel = std::move(label); }
  /// DisplayLabel, or FieldName when that is empty.
  const std::string& DisplayName() const;
  /// From 1 for a bound data field, -1 for calculated and lookup fields, 0
  /// while unbound.
  int FieldNo() const { return FFieldNo; }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  /// Only while the dataset is closed.
  void SetSize(int size);
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  bool Lookup() const { return FFieldKind == fkLookup; }
  bool Required() const { return FRequired; }
  void SetRequired(bool value) { FRequired = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }
  const std::string& DefaultExpression() const { return FDefaultExpression; }
  void SetDefaultExpression(std::string text) { FDefaultExpression = std::move(text); }
  /// Position of the value in the calculated-field area of a record buffer.
  int Offset() const { return FOffset; }
  /// Bytes of the native value (0 for blobs, which use streams).
  virtual int DataSize() const { return 0; }
  virtual bool IsBlob() const { return false; }
  /// Writable: not read-only, in a dataset that can modify, a data field (or
  /// calculated while calculating).
  bool CanModify() const;

  // -- lookup --------------------------------------------------------------------
  TDataSet* LookupDataSet() const { return FLookupDataSet; }
  void SetLookupDataSet(TDataSet* dataSet) { FLookupDataSet = dataSet; }
  /// Fields of this dataset holding the key (";"-separated).
  const std::string& KeyFields() const { return FKeyFields; }
  void SetKeyFields(std::string names) { FKeyFields = std::move(names); }
  /// Fields of the lookup dataset matched against the key.
  const std::string& LookupKeyFields() const { return FLookupKeyFields; }
  void SetLookupKeyFields(std::string names) { FLookupKeyFields = std::move(names); }
  const std::string& LookupResultField() const { return FLookupResultField; }
  void SetLookupResultField(std::string name) { FLookupResultField = std::move(name); }

  // -- events --------------------------------------------------------------------
  /// Runs before a new value is stored in an edit; reading the field inside
  /// gives the new value; raising refuses it.
  TFieldNotifyEvent OnValidate;
  /// Runs after a value was stored.
  TFieldNotifyEvent OnChange;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

  // -- values --------------------------------------------------------------------
  bool IsNull() const;
  /// Makes the value Null (blob fields: through a bmWrite blob stream).
  virtual void Clear() { SetData(nullptr); }
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& value) { SetAsVariant(value); }
  Variant AsVariant() const;
  void SetAsVariant(const Variant& value);
  std::string AsString() const { return GetAsString(); }
  void SetAsString(const std::string& value) { SetAsStringValue(value); }
  int32_t AsInteger() const { return GetAsInteger(); }
  void SetAsInteger(int32_t value) { SetAsIntegerValue(value); }
  int64_t AsLargeInt() const { return GetAsLargeInt(); }
  void SetAsLargeInt(int64_t value) { SetAsLargeIntValue(value); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double value) { SetAsFloatValue(value); }
  Currency AsCurrency() const { return GetAsCurrency(); }
  void SetAsCurrency(Currency value) { SetAsCurrencyValue(value); }
  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool value) { SetAsBooleanValue(value); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime value) { SetAsDateTimeValue(value); }
  TBcd AsBCD() const { return GetAsBCD(); }
  void SetAsBCD(const TBcd& value) { SetAsBCDValue(value); }
  /// The text shown to the user (OnGetText, else the class's display form).
  std::string DisplayText() const;
  /// The text for editing; setting it runs OnSetText, else AsString.
  std::string Text() const;
  void SetText(const std::string& text);
  /// The value when the edit began (dsOldValue).
  Variant OldValue() const;

  /// Native access: the dataset's GetFieldData / PutFieldData for this field.
  bool GetData(void* buffer) const;
  void SetData(const void* buffer);
  /// Runs OnValidate with `buffer` (nullptr: Null) as the field's value.
  void Validate(const void* buffer);
  /// Runs OnChange.
  void Change();
  /// Asks the controls to focus this field.
  void FocusControl();

 protected:
  virtual std::string GetAsString() const;
  virtual void SetAsStringValue(const std::string& value);
  virtual int32_t GetAsInteger() const;
  virtual void SetAsIntegerValue(int32_t value);
  virtual int64_t GetAsLargeInt() const;
  virtual void SetAsLargeIntValue(int64_t value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloatValue(double value);
  virtual Currency GetAsCurrency() const;
  virtual void SetAsCurrencyValue(Currency value);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBooleanValue(bool value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTimeValue(TDateTime value);
  virtual TBcd GetAsBCD() const;
  virtual void SetAsBCDValue(const TBcd& value);
  /// Null for a null field.
  virtual Variant GetAsVariantValue() const;
  /// Called with a value that is neither Null nor Unassigned.
  virtual void SetAsVariantValue(const Variant& value);
  virtual std::string GetDisplayText() const { return GetAsString(); }

  [[noreturn]] void AccessError(const char* typeName) const;
  /// Raises "%s is not a valid value for field '%s'. The allowed range is %s
  /// to %s".
  [[noreturn]] void RangeError(const std::string& value, const std::string& min,
                               const std::string& max) const;
  void SetDataTypeInternal(TFieldType type) { FDataType = type; }

 private:
  friend class TDataSet;

  TDataSet* FDataSet = nullptr;
  std::string FFieldName;
  std::string FDisplayLabel;
  TFieldType FDataType;
  int FSize;
  int FFieldNo = 0;
  int FOffset = 0;
  TFieldKind FFieldKind = fkData;
  bool FRequired = false;
  bool FReadOnly = false;
  bool FVisible = true;
  std::string FDefaultExpression;
  TDataSet* FLookupDataSet = nullptr;
  std::string FKeyFields, FLookupKeyFields, FLookupResultField;
  // While OnValidate runs, reads answer the value being validated.
  bool FValidating = false;
  const void* FValidateBuffer = nullptr;
};

// -- text ---------------------------------------------------------------------

/// ftString: 8-bit (UTF-8) text of at most Size bytes; native value the
/// zero-terminated text. Longer text is cut at a character boundary.
class TStringField : public TField {
 public:
  explicit TStringField(std::string fieldName = {}, int size = 20)
      : TField(std::move(fieldName), ftString, size) {}
  int DataSize() const override { return Size() + 1; }

 protected:
  TStringField(std::string fieldName, TFieldType type, int size)
      : TField(std::move(fieldName), type, size) {}
  /// False for a null field.
  virtual bool GetValue(std::string& value) const;
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerValue(int32_t value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(Currency value) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCDValue(const TBcd& value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
};

/// ftWideString: text of at most Size UTF-16 units; native value the
/// zero-terminated UTF-16 text. AsString converts to and from UTF-8.
class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(std::string fieldName = {}, int size = 20)
      : TStringField(std::move(fieldName), ftWideString, size) {}
  int DataSize() const override { return (Size() + 1) * 2; }

 protected:
  bool GetValue(std::string& value) const override;
  void SetAsStringValue(const std::string& value) override;
};

// -- numbers ------------------------------------------------------------------

/// Common base of numeric fields: DisplayFormat (FormatFloat patterns) and
/// EditFormat.
class TNumericField : public TField {
 public:
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(std::string format) { FDisplayFormat = std::move(format); }
  const std::string& EditFormat() const { return FEditFormat; }
  void SetEditFormat(std::string format) { FEditFormat = std::move(format); }

 protected:
  using TField::TField;

 private:
  std::string FDisplayFormat, FEditFormat;
};

/// Whole-number fields. ftInteger: signed 32 bits; MinValue/MaxValue (both 0:
/// the type's range) bound assignments.
class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(std::string fieldName = {})
      : TIntegerField(std::move(fieldName), ftInteger, INT32_MIN, INT32_MAX) {}
  int DataSize() const override { return 4; }
  int64_t MinValue() const { return FMinValue; }
  void SetMinValue(int64_t value) { FMinValue = value; }
  int64_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int64_t value) { FMaxValue = value; }

 protected:
  TIntegerField(std::string fieldName, TFieldType type, int64_t minRange, int64_t maxRange);
  /// Native value to and from 64 bits.
  virtual bool ReadValue(int64_t& value) const;
  virtual void WriteValue(int64_t value);
  void CheckRange(int64_t value) const;

  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerValue(int32_t value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(Currency value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCDValue(const TBcd& value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
  std::string GetDisplayText() const override;

  int64_t FMinRange, FMaxRange;

 private:
  int64_t FMinValue = 0, FMaxValue = 0;
};

/// ftSmallint: signed 16 bits.
class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(std::string fieldName = {})
      : TIntegerField(std::move(fieldName), ftSmallint, INT16_MIN, INT16_MAX) {}
  int DataSize() const override { return 2; }

 protected:
  bool ReadValue(int64_t& value) const override;
  void WriteValue(int64_t value) override;
};

/// ftWord: unsigned 16 bits.
class TWordField : public TIntegerField {
 public:
  explicit TWordField(std::string fieldName = {})
      : TIntegerField(std::move(fieldName), ftWord, 0, UINT16_MAX) {}
  int DataSize() const override { return 2; }

 protected:
  bool ReadValue(int64_t& value) const override;
  void WriteValue(int64_t value) override;
};

/// ftAutoInc: a signed 32-bit number the storage assigns.
class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(std::string fieldName = {})
      : TIntegerField(std::move(fieldName), ftAutoInc, INT32_MIN, INT32_MAX) {}
};

/// ftLargeint: signed 64 bits.
class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(std::string fieldName = {})
      : TIntegerField(std::move(fieldName), ftLargeint, INT64_MIN, INT64_MAX) {}
  int DataSize() const override { return 8; }

 protected:
  bool ReadValue(int64_t& value) const override;
  void WriteValue(int64_t value) override;
};

/// ftFloat: a double. Precision (significant digits of the display, 15) and
/// Currency (display in the currency form); MinValue/MaxValue (both 0: no
/// bound).
class TFloatField : public TNumericField {
 public:
  explicit TFloatField(std::string fieldName = {}) : TFloatField(std::move(fieldName), ftFloat) {}
  int DataSize() const override { return 8; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int value) { FPrecision = value < 2 ? 2 : value > 15 ? 15 : value; }
  bool Currency() const { return FCurrency; }
  void SetCurrency(bool value) { FCurrency = value; }
  double MinValue() const { return FMinValue; }
  void SetMinValue(double value) { FMinValue = value; }
  double MaxValue() const { return FMaxValue; }
  void SetMaxValue(double value) { FMaxValue = value; }

 protected:
  TFloatField(std::string fieldName, TFieldType type)
      : TNumericField(std::move(fieldName), type, 0) {}
  bool ReadValue(double& value) const;
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerValue(int32_t value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  ::Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(::Currency value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCDValue(const TBcd& value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
  std::string GetDisplayText() const override;

  bool FCurrency = false;

 private:
  int FPrecision = 15;
  double FMinValue = 0, FMaxValue = 0;
};

/// ftCurrency: a double shown as money.
class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(std::string fieldName = {})
      : TFloatField(std::move(fieldName), ftCurrency) {
    FCurrency = true;
  }
};

/// ftBCD: an exact decimal, native value the 34-byte packed decimal. Size is
/// the number of decimals, Precision the total digits (0: up to 64); values
/// are rounded to Size decimals and must fit Precision. Currency: display in
/// the currency form.
class TBCDField : public TNumericField {
 public:
  explicit TBCDField(std::string fieldName = {}, int size = 4)
      : TBCDField(std::move(fieldName), ftBCD, size) {}
  int DataSize() const override { return static_cast<int>(sizeof(TBcd)); }
  int Precision() const { return FPrecision; }
  void SetPrecision(int value) { FPrecision = value; }
  bool Currency() const { return FCurrency; }
  void SetCurrency(bool value) { FCurrency = value; }

 protected:
  TBCDField(std::string fieldName, TFieldType type, int size)
      : TNumericField(std::move(fieldName), type, size) {}
  bool ReadValue(TBcd& value) const;
  void WriteValue(const TBcd& value);
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerValue(int32_t value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  ::Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(::Currency value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCDValue(const TBcd& value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
  std::string GetDisplayText() const override;

 private:
  int FPrecision = 0;
  bool FCurrency = false;
};

/// ftFMTBcd: as TBCDField, for decimals of more digits or places.
class TFMTBCDField : public TBCDField {
 public:
  explicit TFMTBCDField(std::string fieldName = {}, int size = 8)
      : TBCDField(std::move(fieldName), ftFMTBcd, size) {}
};

// -- booleans -----------------------------------------------------------------

/// ftBoolean: native 16 bits, -1 true and 0 false. DisplayValues "True;False"
/// names the two texts; assigning text accepts either (or a prefix of it,
/// any case).
class TBooleanField : public TField {
 public:
  explicit TBooleanField(std::string fieldName = {}) : TField(std::move(fieldName), ftBoolean, 0) {}
  int DataSize() const override { return 2; }
  const std::string& DisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& values);

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool value) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerValue(int32_t value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;

 private:
  std::string FDisplayValues = "True;False";
  std::string FTrueText = "True", FFalseText = "False";
};

// -- dates and times ----------------------------------------------------------

/// ftDateTime: native double, day number (1 = 0001-01-01) x 86400000 +
/// milliseconds; AsDateTime days since 1899-12-30. DisplayFormat
/// (FormatDateTime patterns) shapes DisplayText.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(std::string fieldName = {})
      : TDateTimeField(std::move(fieldName), ftDateTime) {}
  int DataSize() const override { return 8; }
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(std::string format) { FDisplayFormat = std::move(format); }

 protected:
  TDateTimeField(std::string fieldName, TFieldType type) : TField(std::move(fieldName), type, 0) {}
  /// Native value to and from a date-time.
  virtual bool ReadValue(TDateTime& value) const;
  virtual void WriteValue(TDateTime value);
  virtual std::string FormatValue(TDateTime value) const;
  virtual TDateTime ParseText(const std::string& text) const;

  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
  std::string GetDisplayText() const override;

 private:
  std::string FDisplayFormat;
};

/// ftDate: native signed 32-bit day number (1 = 0001-01-01); the time of day
/// is dropped.
class TDateField : public TDateTimeField {
 public:
  explicit TDateField(std::string fieldName = {}) : TDateTimeField(std::move(fieldName), ftDate) {}
  int DataSize() const override { return 4; }

 protected:
  bool ReadValue(TDateTime& value) const override;
  void WriteValue(TDateTime value) override;
  std::string FormatValue(TDateTime value) const override;
  TDateTime ParseText(const std::string& text) const override;
};

/// ftTime: native signed 32-bit milliseconds since midnight; the date is
/// dropped.
class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(std::string fieldName = {}) : TDateTimeField(std::move(fieldName), ftTime) {}
  int DataSize() const override { return 4; }

 protected:
  bool ReadValue(TDateTime& value) const override;
  void WriteValue(TDateTime value) override;
  std::string FormatValue(TDateTime value) const override;
  TDateTime ParseText(const std::string& text) const override;
};

// -- bytes --------------------------------------------------------------------

/// ftBytes: exactly Size raw bytes (shorter values are zero-padded). AsString
/// and AsVariant carry the bytes.
class TBytesField : public TField {
 public:
  explicit TBytesField(std::string fieldName = {}, int size = 16)
      : TField(std::move(fieldName), ftBytes, size) {}
  int DataSize() const override { return Size(); }

 protected:
  TBytesField(std::string fieldName, TFieldType type, int size)
      : TField(std::move(fieldName), type, size) {}
  virtual bool ReadBytes(std::string& bytes) const;
  virtual void WriteBytes(const std::string& bytes);
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
};

/// ftVarBytes: up to Size bytes; native value a 16-bit length, then the bytes.
class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(std::string fieldName = {}, int size = 16)
      : TBytesField(std::move(fieldName), ftVarBytes, size) {}
  int DataSize() const override { return Size() + 2; }

 protected:
  bool ReadBytes(std::string& bytes) const override;
  void WriteBytes(const std::string& bytes) override;
};

// -- blobs --------------------------------------------------------------------

/// ftBlob: bytes of any length, read and written through the dataset's blob
/// streams (CreateBlobStream). Null when the record holds no value.
class TBlobField : public TField {
 public:
  explicit TBlobField(std::string fieldName = {}) : TBlobField(std::move(fieldName), ftBlob) {}
  bool IsBlob() const override { return true; }
  /// The value's size in bytes.
  int64_t BlobSize() const;
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  /// The stored bytes.
  std::string AsBytes() const;
  void SetAsBytes(const std::string& bytes);
  /// Empties the value by opening a bmWrite stream, as every blob assignment
  /// goes through a stream: the dataset then stores the empty value on Post.
  void Clear() override;
  /// Set when a blob stream changed the value; the dataset clears it when
  /// it loads another value into its buffers.
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }

 protected:
  TBlobField(std::string fieldName, TFieldType type) : TField(std::move(fieldName), type, 0) {}
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  Variant GetAsVariantValue() const override;
  void SetAsVariantValue(const Variant& value) override;
  std::string GetDisplayText() const override;

 private:
  bool FModified = false;
};

/// ftMemo: text stored as a blob.
class TMemoField : public TBlobField {
 public:
  explicit TMemoField(std::string fieldName = {}) : TBlobField(std::move(fieldName), ftMemo) {}

 protected:
  TMemoField(std::string fieldName, TFieldType type) : TBlobField(std::move(fieldName), type) {}
  Variant GetAsVariantValue() const override;
  std::string GetDisplayText() const override { return GetAsString(); }
};

/// ftWideMemo: text stored as UTF-16 in the blob; AsString converts.
class TWideMemoField : public TMemoField {
 public:
  explicit TWideMemoField(std::string fieldName = {})
      : TMemoField(std::move(fieldName), ftWideMemo) {}

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
};

/// ftGraphic: picture bytes stored as a blob.
class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(std::string fieldName = {})
      : TBlobField(std::move(fieldName), ftGraphic) {}
};

/// Creates the framework's field object for a data type (nullptr for a type
/// without a field class).
std::unique_ptr<TField> CreateFieldForType(TFieldType type);

/// UTF-8 and UTF-16 conversions of the wide field types (invalid sequences
/// become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
