// Text, byte and blob fields.
#include <algorithm>
#include <cstring>

#include "fields.h"
#include "sysutils.h"

namespace {

// The longest prefix of at most `limit` bytes that does not split a UTF-8
// sequence.
std::string_view Utf8Prefix(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

// -- TStringField ------------------------------------------------------------------

bool TStringField::GetValue(std::string& value) const {
  // Most string fields are short: read them without a heap buffer (a walk
  // reads a field of every record).
  const size_t size = static_cast<size_t>(DataSize()) + 1;
  char small[256];
  std::vector<char> large;
  char* buffer = small;
  if (size > sizeof small) {
    large.resize(size);
    buffer = large.data();
  }
  std::memset(buffer, 0, size);
  if (!GetData(buffer)) return false;
  value.assign(buffer);
  return true;
}

std::string TStringField::GetAsString() const {
  std::string value;
  GetValue(value);
  return value;
}

void TStringField::SetAsStringValue(const std::string& value) {
  std::vector<char> buffer(DataSize(), 0);
  std::string_view text = Utf8Prefix(value, static_cast<size_t>(std::max(0, Size())));
  std::memcpy(buffer.data(), text.data(), text.size());
  SetData(buffer.data());
}

int32_t TStringField::GetAsInteger() const {
  std::string value;
  return GetValue(value) ? StrToInt(value) : 0;
}
void TStringField::SetAsIntegerValue(int32_t value) {
  SetAsStringValue(IntToStr(value));
}
int64_t TStringField::GetAsLargeInt() const {
  std::string value;
  return GetValue(value) ? StrToInt64(value) : 0;
}
void TStringField::SetAsLargeIntValue(int64_t value) {
  SetAsStringValue(IntToStr(value));
}
double TStringField::GetAsFloat() const {
  std::string value;
  return GetValue(value) ? StrToFloat(value) : 0;
}
void TStringField::SetAsFloatValue(double value) {
  SetAsStringValue(FloatToStr(value));
}
Currency TStringField::GetAsCurrency() const {
  std::string value;
  return GetValue(value) ? StrToCurr(value) : Currency{};
}
void TStringField::SetAsCurrencyValue(Currency value) {
  SetAsStringValue(CurrToStr(value));
}
bool TStringField::GetAsBoolean() const {
  std::string value = GetAsString();
  return !value.empty() && std::strchr("TtYy", value[0]) != nullptr;
}
void TStringField::SetAsBooleanValue(bool value) {
  SetAsStringValue(value ? "True" : "False");
}
TDateTime TStringField::GetAsDateTime() const {
  std::string value;
  return GetValue(value) ? StrToDateTime(value) : 0;
}
void TStringField::SetAsDateTimeValue(TDateTime value) {
  SetAsStringValue(DateTimeToStr(value));
}
TBcd TStringField::GetAsBCD() const {
  std::string value;
  return GetValue(value) ? StrToBcd(value) : IntegerToBcd(0);
}
void TStringField::SetAsBCDValue(const TBcd& value) {
  SetAsStringValue(BcdToStr(value));
}
Variant TStringField::GetAsVariantValue() const {
  std::string value;
  return GetValue(value) ? Variant(value) : Variant::Null();
}
void TStringField::SetAsVariantValue(const Variant& value) {
  SetAsStringValue(value.AsString());
}

// -- TWideStringField -----------------------------------------------------------------

bool TWideStringField::GetValue(std::string& value) const {
  std::vector<char16_t> buffer(Size() + 2, 0);
  if (!GetData(buffer.data())) return false;
  value = Utf16ToUtf8(buffer.data());
  return true;
}

void TWideStringField::SetAsStringValue(const std::string& value) {
  std::u16string wide = Utf8ToUtf16(value);
  size_t limit = static_cast<size_t>(std::max(0, Size()));
  if (wide.size() > limit) {
    // Never keep half of a surrogate pair.
    if (limit > 0 && wide[limit - 1] >= 0xD800 && wide[limit - 1] <= 0xDBFF) --limit;
    wide.resize(limit);
  }
  std::vector<char16_t> buffer(Size() + 1, 0);
  std::copy(wide.begin(), wide.end(), buffer.begin());
  SetData(buffer.data());
}

// -- TBytesField, TVarBytesField --------------------------------------------------------

bool TBytesField::ReadBytes(std::string& bytes) const {
  std::vector<char> buffer(std::max(1, DataSize()), 0);
  if (!GetData(buffer.data())) return false;
  bytes.assign(buffer.data(), static_cast<size_t>(Size()));
  return true;
}

void TBytesField::WriteBytes(const std::string& bytes) {
  std::vector<char> buffer(std::max(1, DataSize()), 0);
  std::memcpy(buffer.data(), bytes.data(), std::min(bytes.size(), static_cast<size_t>(Size())));
  SetData(buffer.data());
}

std::string TBytesField::GetAsString() const {
  std::string bytes;
  ReadBytes(bytes);
  return bytes;
}

void TBytesField::SetAsStringValue(const std::string& value) {
  if (value.empty())
    Clear();
  else
    WriteBytes(value);
}

Variant TBytesField::GetAsVariantValue() const {
  std::string bytes;
  if (!ReadBytes(bytes)) return Variant::Null();
  return Variant::FromBytes(bytes.data(), bytes.size());
}

void TBytesField::SetAsVariantValue(const Variant& value) {
  Variant::Bytes bytes = value.AsBytes();
  WriteBytes(std::string(bytes.begin(), bytes.end()));
}

bool TVarBytesField::ReadBytes(std::string& bytes) const {
  std::vector<char> buffer(DataSize(), 0);
  if (!GetData(buffer.data())) return false;
  uint16_t length;
  std::memcpy(&length, buffer.data(), 2);
  length = std::min<uint16_t>(length, static_cast<uint16_t>(Size()));
  bytes.assign(buffer.data() + 2, length);
  return true;
}

void TVarBytesField::WriteBytes(const std::string& bytes) {
  std::vector<char> buffer(DataSize(), 0);
  auto length = static_cast<uint16_t>(std::min(bytes.size(), static_cast<size_t>(Size())));
  std::memcpy(buffer.data(), &length, 2);
  std::memcpy(buffer.data() + 2, bytes.data(), length);
  SetData(buffer.data());
}

// -- blobs ----------------------------------------------------------------------------

int64_t TBlobField::BlobSize() const {
  return DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead)->Size();
}

std::string TBlobField::AsBytes() const {
  if (!DataSet()) throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  return DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead)->ReadAll();
}

void TBlobField::SetAsBytes(const std::string& bytes) {
  if (!DataSet()) throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(this, bmWrite);
  stream->WriteAll(bytes);
}

void TBlobField::Clear() {
  if (!DataSet()) throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  DataSet()->CreateBlobStream(this, bmWrite);  // opening it for writing empties the value
}

void TBlobField::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  SetAsBytes(stream.ReadAll());
}

void TBlobField::SaveToStream(TStream& stream) const {
  stream.WriteAll(AsBytes());
}

std::string TBlobField::GetAsString() const {
  return AsBytes();
}

void TBlobField::SetAsStringValue(const std::string& value) {
  SetAsBytes(value);
}

Variant TBlobField::GetAsVariantValue() const {
  if (IsNull()) return Variant::Null();
  std::string bytes = AsBytes();
  return Variant::FromBytes(bytes.data(), bytes.size());
}

void TBlobField::SetAsVariantValue(const Variant& value) {
  if (value.VarType() == varBytes) {
    Variant::Bytes bytes = value.AsBytes();
    SetAsBytes(std::string(bytes.begin(), bytes.end()));
  } else {
    SetAsStringValue(value.AsString());
  }
}

std::string TBlobField::GetDisplayText() const {
  return IsNull() ? "(Blob)" : "(BLOB)";
}

Variant TMemoField::GetAsVariantValue() const {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}

std::string TWideMemoField::GetAsString() const {
  std::string bytes = AsBytes();
  std::u16string wide(bytes.size() / 2, u'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * 2);
  return Utf16ToUtf8(wide);
}

void TWideMemoField::SetAsStringValue(const std::string& value) {
  std::u16string wide = Utf8ToUtf16(value);
  SetAsBytes(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
}
