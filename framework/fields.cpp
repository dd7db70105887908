// TField: description, native access through the dataset, conversions that
// every field shares, the field class for each type, and UTF-16 helpers.
#include "fields.h"

#include <cstring>

#include "sysutils.h"

TField::TField(std::string fieldName, TFieldType dataType, int size)
    : FFieldName(std::move(fieldName)), FDataType(dataType), FSize(size) {}

TField::~TField() = default;

void TField::SetFieldName(std::string name) {
  if (FDataSet) {
    FDataSet->CheckInactive();
    TField* other = FDataSet->FindField(name);
    if (other && other != this) throw EDatabaseError(Format("Duplicate field name '%s'", {name}));
  }
  FFieldName = std::move(name);
}

const std::string& TField::DisplayName() const {
  return FDisplayLabel.empty() ? FFieldName : FDisplayLabel;
}

void TField::SetSize(int size) {
  if (FDataSet) FDataSet->CheckInactive();
  FSize = size;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (FDataSet) FDataSet->CheckInactive();
  FFieldKind = kind;
}

bool TField::CanModify() const {
  if (FReadOnly || !FDataSet) return false;
  if (FFieldKind != fkData) return FDataSet->State() == dsCalcFields;
  return FDataSet->CanModify();
}

bool TField::GetData(void* buffer) const {
  if (FValidating) {
    if (!FValidateBuffer) return false;
    if (buffer) std::memcpy(buffer, FValidateBuffer, DataSize());
    return true;
  }
  if (!FDataSet) throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  return FDataSet->GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) {
  if (!FDataSet) throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  FDataSet->PutFieldData(this, buffer);
}

bool TField::IsNull() const {
  return !GetData(nullptr);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  FValidating = true;
  FValidateBuffer = buffer;
  try {
    OnValidate(this);
  } catch (...) {
    FValidating = false;
    FValidateBuffer = nullptr;
    throw;
  }
  FValidating = false;
  FValidateBuffer = nullptr;
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

void TField::FocusControl() {
  if (FDataSet) FDataSet->DataEvent(deFocusControl, this);
}

Variant TField::AsVariant() const {
  return GetAsVariantValue();
}

void TField::SetAsVariant(const Variant& value) {
  if (value.IsClear())
    Clear();
  else
    SetAsVariantValue(value);
}

std::string TField::DisplayText() const {
  if (OnGetText) {
    std::string text;
    OnGetText(const_cast<TField*>(this), text, true);
    return text;
  }
  return GetDisplayText();
}

std::string TField::Text() const {
  if (OnGetText) {
    std::string text;
    OnGetText(const_cast<TField*>(this), text, false);
    return text;
  }
  return GetAsString();
}

void TField::SetText(const std::string& text) {
  if (OnSetText)
    OnSetText(this, text);
  else
    SetAsStringValue(text);
}

Variant TField::OldValue() const {
  if (!FDataSet) throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  TDataSetState old = FDataSet->SetTempState(dsOldValue);
  try {
    Variant value = AsVariant();
    FDataSet->RestoreState(old);
    return value;
  } catch (...) {
    FDataSet->RestoreState(old);
    throw;
  }
}

void TField::AccessError(const char* typeName) const {
  throw EDatabaseError(Format("Cannot access field '%s' as type %s", {DisplayName(), typeName}));
}

void TField::RangeError(const std::string& value, const std::string& min,
                        const std::string& max) const {
  throw EDatabaseError(
      Format("%s is not a valid value for field '%s'. The allowed range is %s to %s",
             {value, DisplayName(), min, max}));
}

std::string TField::GetAsString() const {
  AccessError("String");
}
void TField::SetAsStringValue(const std::string&) {
  AccessError("String");
}
int32_t TField::GetAsInteger() const {
  AccessError("Integer");
}
void TField::SetAsIntegerValue(int32_t) {
  AccessError("Integer");
}
int64_t TField::GetAsLargeInt() const {
  AccessError("LargeInt");
}
void TField::SetAsLargeIntValue(int64_t) {
  AccessError("LargeInt");
}
double TField::GetAsFloat() const {
  AccessError("Float");
}
void TField::SetAsFloatValue(double) {
  AccessError("Float");
}
Currency TField::GetAsCurrency() const {
  AccessError("Currency");
}
void TField::SetAsCurrencyValue(Currency) {
  AccessError("Currency");
}
bool TField::GetAsBoolean() const {
  AccessError("Boolean");
}
void TField::SetAsBooleanValue(bool) {
  AccessError("Boolean");
}
TDateTime TField::GetAsDateTime() const {
  AccessError("DateTime");
}
void TField::SetAsDateTimeValue(TDateTime) {
  AccessError("DateTime");
}
TBcd TField::GetAsBCD() const {
  AccessError("BCD");
}
void TField::SetAsBCDValue(const TBcd&) {
  AccessError("BCD");
}
Variant TField::GetAsVariantValue() const {
  AccessError("Variant");
}
void TField::SetAsVariantValue(const Variant&) {
  AccessError("Variant");
}

std::unique_ptr<TField> CreateFieldForType(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return std::make_unique<TStringField>();
    case ftWideString:
    case ftFixedWideChar:
      return std::make_unique<TWideStringField>();
    case ftSmallint:
      return std::make_unique<TSmallintField>();
    case ftInteger:
      return std::make_unique<TIntegerField>();
    case ftWord:
      return std::make_unique<TWordField>();
    case ftAutoInc:
      return std::make_unique<TAutoIncField>();
    case ftLargeint:
      return std::make_unique<TLargeintField>();
    case ftFloat:
      return std::make_unique<TFloatField>();
    case ftCurrency:
      return std::make_unique<TCurrencyField>();
    case ftBCD:
      return std::make_unique<TBCDField>();
    case ftFMTBcd:
      return std::make_unique<TFMTBCDField>();
    case ftBoolean:
      return std::make_unique<TBooleanField>();
    case ftDate:
      return std::make_unique<TDateField>();
    case ftTime:
      return std::make_unique<TTimeField>();
    case ftDateTime:
    case ftTimeStamp:
      return std::make_unique<TDateTimeField>();
    case ftBytes:
      return std::make_unique<TBytesField>();
    case ftVarBytes:
      return std::make_unique<TVarBytesField>();
    case ftBlob:
    case ftTypedBinary:
      return std::make_unique<TBlobField>();
    case ftMemo:
    case ftFmtMemo:
      return std::make_unique<TMemoField>();
    case ftWideMemo:
      return std::make_unique<TWideMemoField>();
    case ftGraphic:
      return std::make_unique<TGraphicField>();
    default:
      return nullptr;
  }
}

// -- UTF-8 / UTF-16 -----------------------------------------------------------------

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    auto byte = static_cast<unsigned char>(text[i]);
    char32_t cp = byte;
    size_t len = 1;
    if (byte >= 0x80) {
      size_t extra = 0;
      char32_t min = 0;
      if (byte >= 0xC2 && byte <= 0xDF) {
        extra = 1, cp = byte & 0x1F, min = 0x80;
      } else if (byte >= 0xE0 && byte <= 0xEF) {
        extra = 2, cp = byte & 0x0F, min = 0x800;
      } else if (byte >= 0xF0 && byte <= 0xF4) {
        extra = 3, cp = byte & 0x07, min = 0x10000;
      }
      bool ok = extra > 0 && i + extra < n;
      for (size_t k = 1; ok && k <= extra; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (next & 0x3F);
      }
      if (ok && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF))
        len = extra + 1;
      else
        cp = 0xFFFD;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}
