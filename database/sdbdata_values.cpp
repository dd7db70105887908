// TSdbDataSet: record buffers, reading a record into a buffer, the NULL rules
// of each table kind, and the conversions between record images and the
// framework's native values.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbdata_image.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

constexpr int32_t kJulianOffset = 1721425;  // julian day = day number + this
using sdbimage::IsBlobType;
using sdbimage::kMsPerDay;
using sdbimage::Load;
using sdbimage::Store;

bool AllBytes(const uint8_t* p, uint32_t n, uint8_t a, uint8_t b) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != a && p[i] != b) return false;
  return true;
}

// Engine numbers are written with "." whatever the process settings say.
const TFormatSettings& DotSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings s = FormatSettings();
    s.DecimalSeparator = '.';
    s.ThousandSeparator = ',';
    return s;
  }();
  return settings;
}

// The blank value of an nchar/nvarchar field: UTF-16 spaces over its n bytes,
// and for nvarchar (type 27) the NULL length word after them.
void FillWideBlanks(uint8_t* p, uint32_t n, uint16_t type, bool nullWord) {
  for (uint32_t i = 0; i + 1 < n; i += 2) Store<char16_t>(p + i, u' ');
  if (nullWord && type == 27) Store<uint16_t>(p + n, 0xFFFFu);
}

// Copies text of at most `n` bytes, stops at a zero byte, drops trailing blanks.
void CopyTrimmedText(char* out, const uint8_t* p, uint32_t n) {
  uint32_t len = 0;
  while (len < n && p[len] != 0) ++len;
  while (len > 0 && p[len - 1] == ' ') --len;
  std::memcpy(out, p, len);
  out[len] = '\0';
}

void CopyTrimmedWide(char16_t* out, const uint8_t* p, uint32_t chars) {
  uint32_t len = 0;
  while (len < chars && Load<char16_t>(p + 2 * len) != 0) ++len;
  while (len > 0 && Load<char16_t>(p + 2 * (len - 1)) == u' ') --len;
  std::memcpy(out, p, 2 * len);
  out[len] = u'\0';
}

}  // namespace

// -- record buffers -------------------------------------------------------------------

TRecordBuffer TSdbDataSet::NewBufferHook() {
  auto* buffer = new uint8_t[musRecBufSize];
  std::memset(buffer, 0, musRecBufSize);
  TSdbBlobCache** caches = BlobCaches(buffer);
  for (int i = 0; i < FBlobFieldCount; ++i) caches[i] = nullptr;
  try {
    for (int i = 0; i < FBlobFieldCount; ++i) caches[i] = new TSdbBlobCache();
  } catch (...) {
    FreeBufferHook(buffer);
    throw;
  }
  return buffer;
}

void TSdbDataSet::FreeBufferHook(TRecordBuffer buffer) {
  if (!buffer) return;
  TSdbBlobCache** caches = BlobCaches(buffer);
  for (int i = 0; i < FBlobFieldCount; ++i) delete caches[i];
  delete[] buffer;
}

void TSdbDataSet::ClearCalculatedHook(TRecordBuffer buffer) {
  if (CalcFieldsSize() > 0) std::memset(buffer + musRecordSize, 0, CalcFieldsSize());
}

void TSdbDataSet::ReadBookmarkHook(TRecordBuffer buffer, TBookmark& bookmark) {
  bookmark.assign(buffer + musBookmarkOfs, buffer + musBookmarkOfs + FBookmarkSize);
}

void TSdbDataSet::WriteBookmarkHook(TRecordBuffer buffer, const TBookmark& bookmark) {
  std::memcpy(buffer + musBookmarkOfs, bookmark.data(),
              std::min<size_t>(bookmark.size(), FBookmarkSize));
}

TBookmarkFlag TSdbDataSet::ReadBookmarkFlagHook(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(RecInfo(buffer).BookmarkFlag);
}

void TSdbDataSet::WriteBookmarkFlagHook(TRecordBuffer buffer, TBookmarkFlag flag) {
  RecInfo(buffer).BookmarkFlag = static_cast<uint8_t>(flag);
}

uint32_t TSdbDataSet::BufferRecordNumber(TRecordBuffer buffer) const {
  return FBookmarkSize >= 4 ? Load<uint32_t>(buffer + musBookmarkOfs) : 0;
}

void TSdbDataSet::PrepareNewBuffer(TRecordBuffer buffer) {
  TDataSet::PrepareNewBuffer(buffer);
  TSdbRecInfo& info = RecInfo(buffer);
  info.SequenceNumber = -1;
  info.StatusByte = 0;
  if (FBookmarkSize >= 4) Store<uint32_t>(buffer + musBookmarkOfs, 0);
}

void TSdbDataSet::ClearBufferHook(TRecordBuffer buffer) {
  // The engine's empty image; default values are applied on top of it by the
  // editing part.
  Check(SdbClearRecordBuffer(mlHandle, buffer, musRecordSize));
  ApplyDefaultValues(buffer);
  TDataSetState s = State();
  if (FBlobFieldCount > 0 &&
      (s == dsBrowse || s == dsEdit || s == dsInsert || s == dsCalcFields || s == dsNewValue)) {
    TSdbBlobCache** caches = BlobCaches(buffer);
    for (int i = 0; i < FBlobFieldCount; ++i)
      if (caches[i]) caches[i]->ClearCache();
  }
}

TRecordBuffer TSdbDataSet::ActiveRecordBuffer() {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsSetKey:
      return mpstKeyBuffer ? mpstKeyBuffer->Data.data() : nullptr;
    case dsCalcFields:
      return CalcBuffer();
    case dsFilter:
      return mpFilterBuffer ? mpFilterBuffer : FilterBuffer();
    case dsOldValue:
      return FOldRecordBuffer.empty() ? nullptr : FOldRecordBuffer.data();
    default:
      return nullptr;
  }
}

// -- reading a record ---------------------------------------------------------------------

void TSdbDataSet::ReadRecordImage(TRecordBuffer buffer, bool calcFields) {
  uint32_t length = musRecordSize;
  Check(SdbGetRecord(mlHandle, buffer, &length));
  uint32_t bookmarkSize = FBookmarkSize;
  Check(SdbGetBookmark60(MoveHandle(), buffer + musBookmarkOfs, &bookmarkSize));
  FinishRecordImage(buffer, calcFields);
}

void TSdbDataSet::FinishRecordImage(TRecordBuffer buffer, bool calcFields) {
  FLastRecordNumber = BufferRecordNumber(buffer);

  if (FBlobFieldCount > 0) {
    // The engine's indicator is 0 for an empty blob and its length otherwise;
    // the buffer keeps 0 or all one bits, whatever the length.
    for (int i = 0; i < FEngineFieldDefs->Count(); ++i) {
      const TEngineFieldDef& def = FEngineFieldDefs->Items(i);
      if (!IsBlobType(def.FType)) continue;
      uint8_t* p = buffer + def.FOffset;
      Store<uint32_t>(p, Load<uint32_t>(p) == 0 ? 0u : 0xFFFFFFFFu);
    }
    TDataSetState s = State();
    if (s == dsBrowse || s == dsEdit || s == dsInsert || s == dsCalcFields || s == dsNewValue) {
      TSdbBlobCache** caches = BlobCaches(buffer);
      for (int i = 0; i < FBlobFieldCount; ++i)
        if (caches[i]) caches[i]->ClearCache();
    }
  }

  if (musOpenCharType == 2) {
    // OEM tables: the engine translates the text fields. Each value is read
    // into a scratch buffer and copied into its place, so the terminator the
    // engine writes never touches the next field.
    for (int i = 0; i < FEngineFieldDefs->Count(); ++i) {
      const TEngineFieldDef& def = FEngineFieldDefs->Items(i);
      uint8_t* p = buffer + def.FOffset;
      if (def.FType == 4 || def.FType == 20 || def.FType == 23) {
        std::string text(def.FLength + 1, '\0');
        uint32_t room = def.FLength + 1;
        Check(SdbGetField(mlHandle, SDB_FIELD(def.FNumber), text.data(), &room, 0));
        std::memcpy(p, text.data(), std::min<uint32_t>(room, def.FLength));
      } else if (def.FType == 26 || def.FType == 27) {
        uint32_t chars = (def.FLength + 2) / 2;
        std::u16string text(chars, u'\0');
        uint32_t room = chars;
        Check(SdbGetFieldW(mlHandle, SDB_FIELD(def.FNumber), text.data(), &room, 0));
        std::memcpy(p, text.data(), std::min<uint32_t>(room * 2, def.FLength));
      }
    }
  }

  if (calcFields && (CalcFieldsSize() > 0 || OnCalcFields)) CalculateFields(buffer);
}

bool TSdbDataSet::GetCurrentRecord(TRecordBuffer buffer) {
  if (IsEmpty() || ReadBookmarkFlagHook(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  std::memcpy(buffer, ActiveBuffer(), musRecordSize);
  return true;
}

// -- field values -------------------------------------------------------------------------

int32_t TSdbDataSet::VfpSystemField(const TEngineFieldDef&, uint8_t*, uint16_t, int32_t) {
  // The engine opens no VFP tables yet; a VFP handle cannot reach this.
  throw ESDBDatabaseError(this, "VFP tables are not supported by the engine.", SDB_E_NOT_SUPPORTED);
}

bool TSdbDataSet::IsFieldBlank(const TEngineFieldDef& def, const uint8_t* image) {
  const uint8_t* p = image + def.FOffset;
  const uint32_t n = def.FLength;
  const uint16_t t = def.FType;
  if (musEngineTableType == 3) {
    switch (t) {
      case 1:
        return p[0] == ' ';
      case 2:
      case 3:
      case 4:
      case 9:
      case 16:
      case 20:
      case 26:
        return AllBytes(p, n, 0, 0);
      case 5:
      case 6:
      case 7:
      case 8:
      case 28:
        return Load<uint32_t>(p) == 0;
      case 10:
      case 17:
        return Load<uint32_t>(p) == 0x20u && Load<uint32_t>(p + 4) == 0x80000000u;
      case 11:
        return Load<uint32_t>(p) == 0x80000000u;
      case 12:
        return Load<uint16_t>(p) == 0x8000u;
      case 13:
      case 15:
        return Load<uint32_t>(p) == 0xFFFFFFFFu;
      case 14:
      case 22:
        return Load<uint32_t>(p) == 0;
      case 18:
      case 21:
        return Load<uint64_t>(p) == 0x8000000000000000ull;
      case 23:
      case 24:
      case 27:
        return Load<uint16_t>(p + n) == 0xFFFFu;
      default:
        return true;
    }
  }
  if (musEngineTableType == 4) {
    bool blank = false;
    switch (t) {
      case 1:
      case 2:
      case 3:
        blank = AllBytes(p, n, ' ', ' ');
        break;
      case 5:
      case 6:
      case 7:
      case 14:
      case 28:
        blank = Load<uint32_t>(p) == 0;
        break;
      case 27:
        blank = Load<uint16_t>(p + n) == 0xFFFFu;
        break;
      default:
        break;
    }
    if (!blank && def.FNullable) blank = VfpSystemField(def, const_cast<uint8_t*>(image), 1) != 0;
    return blank;
  }
  switch (t) {
    case 1:
    case 2:
    case 4:
      return AllBytes(p, n, 0, ' ');
    case 3:
      return n == 4 ? Load<uint32_t>(p) == 0 : AllBytes(p, n, 0, ' ');
    case 5:
    case 6:
    case 7:
    case 8:
    case 28:
      return Load<uint32_t>(p) == 0;
    case 9:
      return AllBytes(p, n, 0, 0);
    case 10:
    case 11:
    case 12:
    case 17:
      return false;
    case 26:
      for (uint32_t i = 0; i + 1 < n; i += 2) {
        char16_t c = Load<char16_t>(p + i);
        if (c != 0 && c != u' ') return false;
      }
      return true;
    case 27:
      return Load<uint16_t>(p + n) == 0xFFFFu;
    default:
      return true;
  }
}

uint32_t TSdbDataSet::VaryingLength(const TEngineFieldDef& def, uint8_t* image) {
  // A length read from the image never exceeds the field: a damaged row or a
  // peer's larger count must not make a read or a write run past it.
  const uint8_t* p = image + def.FOffset;
  uint32_t length = def.FLength;
  if (musEngineTableType == 3)
    length = Load<uint16_t>(p + def.FLength);
  else if (musEngineTableType == 4 && def.FLength > 0 && VfpSystemField(def, image, 4) == 0)
    length = p[def.FLength - 1];
  return std::min(length, def.FLength);
}

double TSdbDataSet::JulianFromText(const char* text, uint16_t length) {
  double julian = 0;
  Check(SdbConvertStringToJulian(text, length, &julian));
  return julian;
}

bool TSdbDataSet::ReadFieldValue(TField* field, const uint8_t* image, void* value) {
  const TEngineFieldDef* def = FEngineFieldDefs->ByNumber(field->FieldNo());
  if (!def) return false;
  uint8_t* record = const_cast<uint8_t*>(image);
  bool blank;
  TDataSetState s = State();
  if (IsBlobType(def->FType) && (s == dsEdit || s == dsInsert)) {
    TSdbBlobCache* cache = BlobCacheOf(field, record);
    if (cache && cache->mbBlobModified)
      blank = cache->Size() == 0;
    else
      blank = IsFieldBlank(*def, image);
  } else {
    blank = IsFieldBlank(*def, image);
  }
  if (blank) return false;
  if (!value) return true;

  const uint8_t* p = image + def->FOffset;
  const uint32_t n = def->FLength;
  switch (def->FType) {
    case 1: {
      char c = static_cast<char>(p[0]);
      Store<int16_t>(static_cast<uint8_t*>(value),
                     c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y' ? -1 : 0);
      break;
    }
    case 2: {
      std::string text(reinterpret_cast<const char*>(p), n);
      text = std::string(text.c_str());  // up to a zero byte
      TFieldType native = field->DataType();
      if (native == ftSmallint) {
        int32_t number = 0;
        if (!TryStrToInt(Trim(text), number) || number < INT16_MIN || number > INT16_MAX)
          number = 0;
        Store<int16_t>(static_cast<uint8_t*>(value), static_cast<int16_t>(number));
      } else if (native == ftBCD || native == ftFMTBcd) {
        TBcd bcd;
        if (!TryStrToBcd(TrimLeft(text), bcd, DotSettings())) bcd = IntegerToBcd(0);
        std::memcpy(value, &bcd, sizeof bcd);
      } else {
        double number = 0;
        if (!TryStrToFloat(text, number, DotSettings())) number = 0;
        Store<double>(static_cast<uint8_t*>(value), number);
      }
      break;
    }
    case 3: {
      int32_t day;
      if (n == 4) {
        day = Load<int32_t>(p) - kJulianOffset;
      } else {
        std::string text(reinterpret_cast<const char*>(p), n);
        day = static_cast<int32_t>(
            std::trunc(JulianFromText(text.c_str(), static_cast<uint16_t>(n)) - kJulianOffset));
      }
      Store<int32_t>(static_cast<uint8_t*>(value), day);
      break;
    }
    case 4:
    case 20:
      CopyTrimmedText(static_cast<char*>(value), p, n);
      break;
    case 9: {
      uint32_t packed = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
      uint32_t year = packed >> 9, month = (packed >> 5) & 0xF, day = packed & 0x1F;
      char text[16];
      std::snprintf(text, sizeof text, "%04u%02u%02u", year % 10000, month, day);
      Store<int32_t>(static_cast<uint8_t*>(value),
                     static_cast<int32_t>(std::trunc(JulianFromText(text, 8) - kJulianOffset)));
      break;
    }
    case 10:
    case 17:
      std::memcpy(value, p, 8);
      break;
    case 11:
    case 15:
    case 13:
      std::memcpy(value, p, 4);
      break;
    case 12:
      std::memcpy(value, p, 2);
      break;
    case 14:
    case 22: {
      int32_t julian = Load<int32_t>(p);
      int32_t ms = Load<int32_t>(p + 4);
      if (musEngineTableType == 4) ms = (ms + 500) / 1000 * 1000;
      double result = (static_cast<double>(julian) - kJulianOffset) * kMsPerDay + ms;
      if (!(result >= 0)) result = 0;
      Store<double>(static_cast<uint8_t*>(value), result);
      break;
    }
    case 16:
      std::memcpy(value, p, n);
      break;
    case 18: {
      int64_t scaled = Load<int64_t>(p);
      TBcd bcd = BcdMultiply(IntegerToBcd(scaled), StrToBcd("0.0001", DotSettings()));
      bcd = NormalizeBcd(bcd, 20, 4);
      std::memcpy(value, &bcd, sizeof bcd);
      break;
    }
    case 21: {
      TBcd bcd = IntegerToBcd(Load<int64_t>(p));
      std::memcpy(value, &bcd, sizeof bcd);
      break;
    }
    case 23: {
      std::memset(value, 0, n);
      uint32_t length = VaryingLength(*def, record);
      CopyTrimmedText(static_cast<char*>(value), p, length);
      break;
    }
    case 24: {
      uint32_t length = VaryingLength(*def, record);
      Store<uint16_t>(static_cast<uint8_t*>(value), static_cast<uint16_t>(length));
      std::memcpy(static_cast<uint8_t*>(value) + 2, p, length);
      break;
    }
    case 26:
      CopyTrimmedWide(static_cast<char16_t*>(value), p, n / 2);
      break;
    case 27: {
      std::memset(value, 0, n);
      uint32_t chars = std::min<uint32_t>(Load<uint16_t>(p + n), n / 2);
      CopyTrimmedWide(static_cast<char16_t*>(value), p, chars);
      break;
    }
    default:
      // Blobs are read through their cache or stream.
      break;
  }
  return true;
}

TSdbBlobCache* TSdbDataSet::BlobCacheOf(TField* field, TRecordBuffer buffer) {
  if (!buffer || buffer == (mpstKeyBuffer ? mpstKeyBuffer->Data.data() : nullptr) ||
      (!FOldRecordBuffer.empty() && buffer == FOldRecordBuffer.data()))
    return nullptr;
  for (int i = 0; i < FBlobFieldCount; ++i)
    if (FBlobFields[static_cast<size_t>(i)] == field) return BlobCaches(buffer)[i];
  return nullptr;
}

bool TSdbDataSet::GetFieldData(TField* field, void* buffer) {
  TRecordBuffer record = ActiveRecordBuffer();
  if (!record) return false;
  if (field->FieldNo() <= 0) {
    TDataSetState s = State();
    if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields && s != dsFilter)
      return false;
    return ReadCalcFieldData(record, field, buffer);
  }
  return ReadFieldValue(field, record, buffer);
}

// -- writing values -------------------------------------------------------------------------

std::string TSdbDataSet::NumericText(const TEngineFieldDef& def, TFieldType nativeType,
                                     const void* value) {
  const int length = static_cast<int>(def.FLength);
  const int decimals = def.FDecimals;
  std::string text;
  if (nativeType == ftSmallint) {
    text = IntToStr(Load<int16_t>(static_cast<const uint8_t*>(value)));
  } else if (nativeType == ftBCD || nativeType == ftFMTBcd) {
    TBcd bcd;
    std::memcpy(&bcd, value, sizeof bcd);
    text = BcdToStrF(bcd, ffFixed, decimals > 0 ? length - 2 : length - 1, decimals, DotSettings());
    if (text.empty() || (static_cast<int>(text.size()) == length && text[0] != '-'))
      ComponentError("Numeric out of range.");
  } else {
    double number = Load<double>(static_cast<const uint8_t*>(value));
    text = decimals > 0 ? FloatToStrF(number, ffFixed, length - 1, decimals, DotSettings())
                        : FloatToStrF(number, ffFixed, length, 0, DotSettings());
  }
  if (static_cast<int>(text.size()) > length || text.find('E') != std::string::npos)
    ComponentError("Numeric out of range.");
  return std::string(static_cast<size_t>(length) - text.size(), ' ') + text;
}

void TSdbDataSet::WriteFieldValue(int fieldNo, TFieldType nativeType, const void* value,
                                  uint8_t* image) {
  TEngineFieldDef* def = FEngineFieldDefs->ByNumber(fieldNo);
  if (!def) return;
  uint8_t* p = image + def->FOffset;
  const uint32_t n = def->FLength;
  const uint16_t t = def->FType;

  if (!value) {
    if (musEngineTableType == 3) {
      switch (t) {
        case 1:
          p[0] = ' ';
          break;
        case 10:
        case 17:
          Store<uint32_t>(p, 0x20u);
          Store<uint32_t>(p + 4, 0x80000000u);
          break;
        case 11:
          Store<uint32_t>(p, 0x80000000u);
          break;
        case 12:
          Store<uint16_t>(p, 0x8000u);
          break;
        case 13:
        case 15:
          Store<uint32_t>(p, 0xFFFFFFFFu);
          break;
        case 14:
        case 22:
          Store<uint32_t>(p, 0);
          Store<uint32_t>(p + 4, 0xFFFFFFFFu);
          break;
        case 18:
        case 21:
          Store<uint64_t>(p, 0x8000000000000000ull);
          break;
        case 23:
        case 24:
        case 27:
          Store<uint16_t>(p + n, 0xFFFFu);
          break;
        case 0:
        case 19:
        case 25:
          break;
        default:
          if (t <= 28) std::memset(p, 0, n);
          break;
      }
    } else if (musEngineTableType == 4) {
      switch (t) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 23:
        case 24:
          std::memset(p, ' ', n);
          break;
        case 5:
        case 6:
        case 7:
        case 10:
        case 11:
        case 12:
        case 14:
        case 15:
        case 17:
        case 18:
        case 28:
        case 51:
        case 52:
          std::memset(p, 0, n);
          break;
        case 26:
        case 27:
          FillWideBlanks(p, n, t, true);
          break;
        default:
          break;
      }
      if (def->FNullable) VfpSystemField(*def, image, 2, -1);
    } else {
      switch (t) {
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 17:
        case 28:
          std::memset(p, 0, n);
          break;
        case 26:
        case 27:
          FillWideBlanks(p, n, t, true);
          break;
        default:
          std::memset(p, ' ', n);
          break;
      }
    }
    return;
  }

  const auto* v = static_cast<const uint8_t*>(value);
  const bool blankRule = meTableType == ttSdbADT && !mpoSdbTableOptions->SdbPreserveSpaces();
  switch (t) {
    case 1:
      p[0] = Load<int16_t>(v) != 0 ? 'T' : 'F';
      break;
    case 2: {
      std::string text = NumericText(*def, nativeType, value);
      std::memcpy(p, text.data(), n);
      break;
    }
    case 3:
    case 9: {
      int32_t julian = Load<int32_t>(v) + kJulianOffset;
      if (t == 3 && n == 4) {
        Store<int32_t>(p, julian);
        break;
      }
      char text[14] = {};
      uint16_t room = 13;
      Check(SdbConvertJulianToString(julian, text, &room));
      if (t == 3) {
        if (room > n) ComponentError("Something's wrong with SDB date functions");
        std::memcpy(p, text, room);
        break;
      }
      if (room < 8) ComponentError("Something's wrong with SDB date functions");
      auto digits = [&](int from, int count) {
        int number = 0;
        for (int i = from; i < from + count; ++i) number = number * 10 + (text[i] - '0');
        return number;
      };
      int year = digits(0, 4), month = digits(4, 2), day = digits(6, 2);
      int high = year * 2 + month / 8;
      p[0] = static_cast<uint8_t>(high >> 8);
      p[1] = static_cast<uint8_t>(high);
      p[2] = static_cast<uint8_t>(day + 32 * (month % 8));
      break;
    }
    case 4:
    case 20: {
      const char* text = static_cast<const char*>(value);
      size_t len = std::strlen(text);
      std::memset(p, len == 0 && blankRule ? 0 : ' ', n);
      std::memcpy(p, text, std::min<size_t>(len, n));
      break;
    }
    case 10:
    case 17:
      std::memcpy(p, v, 8);
      break;
    case 11:
    case 15:
    case 13:
      std::memcpy(p, v, 4);
      break;
    case 12:
      std::memcpy(p, v, 2);
      break;
    case 14:
    case 22: {
      double stamp = Load<double>(v);
      double days = std::trunc(stamp / kMsPerDay);
      Store<int32_t>(p, static_cast<int32_t>(days) + kJulianOffset);
      Store<int32_t>(p + 4, static_cast<int32_t>(std::llround(stamp - days * kMsPerDay)));
      break;
    }
    case 16:
      std::memcpy(p, v, n);
      break;
    case 18: {
      TBcd bcd;
      std::memcpy(&bcd, v, sizeof bcd);
      Store<int64_t>(p, BcdToInt64(BcdMultiply(bcd, IntegerToBcd(10000))));
      break;
    }
    case 21: {
      TBcd bcd;
      std::memcpy(&bcd, v, sizeof bcd);
      Store<int64_t>(p, BcdToInt64(bcd));
      break;
    }
    case 23:
    case 24: {
      const uint8_t* bytes;
      size_t len;
      if (t == 23) {
        bytes = v;
        len = std::strlen(static_cast<const char*>(value));
      } else {
        bytes = v + 2;
        len = Load<uint16_t>(v);
      }
      size_t copied = std::min<size_t>(len, n);
      std::memset(p, ' ', n);
      std::memcpy(p, bytes, copied);
      if (musEngineTableType == 3) {
        Store<uint16_t>(p + n, static_cast<uint16_t>(copied));
      } else if (musEngineTableType == 4) {
        if (copied < n) {
          p[n - 1] = static_cast<uint8_t>(copied);
          VfpSystemField(*def, image, 3, 0);
        } else {
          VfpSystemField(*def, image, 3, 1);
        }
      }
      break;
    }
    case 26:
    case 27: {
      const char16_t* text = static_cast<const char16_t*>(value);
      size_t len = std::char_traits<char16_t>::length(text);
      if (len == 0 && blankRule)
        std::memset(p, 0, n);
      else
        FillWideBlanks(p, n, t, false);
      size_t chars = std::min<size_t>(len, n / 2);
      std::memcpy(p, text, chars * 2);
      if (t == 27) Store<uint16_t>(p + n, static_cast<uint16_t>(chars));
      break;
    }
    default:
      break;
  }
  if (musEngineTableType == 4 && def->FNullable) VfpSystemField(*def, image, 2, 0);
}

void TSdbDataSet::PutFieldData(TField* field, const void* buffer) {
  const TDataSetState s = State();
  if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter &&
      s != dsNewValue && s != dsInternalCalc)
    ComponentError("Dataset not in edit mode");
  if (s == dsSetKey && (field->FieldNo() < 0 || !IsIndexField(field)))
    throw EDatabaseError(
        Format("Field '%s' is not indexed and cannot be modified", {field->DisplayName()}));
  TRecordBuffer record = ActiveRecordBuffer();
  if (!record) ComponentError("Dataset not in edit mode");
  if (field->FieldNo() <= 0) {
    WriteCalcFieldData(record, field, buffer);
    return;
  }
  if (s == dsCalcFields) ComponentError("Dataset not in edit mode");
  if (field->ReadOnly() && s != dsSetKey && s != dsFilter)
    throw EDatabaseError(Format("Field '%s' cannot be modified", {field->DisplayName()}));
  if (s == dsEdit || s == dsInsert) field->Validate(buffer);

  TEngineFieldDef* def = FEngineFieldDefs->ByNumber(field->FieldNo());
  if (!def) ComponentError("Dataset not in edit mode");
  if (field->FieldKind() != fkInternalCalc) {
    if (s == dsEdit && !(def->FPermissions & SDB_PERMISSION_UPDATE))
      Check(SdbSetLastError(
          SDB_E_PERMISSION,
          ("Update permission not granted on this field: " + def->FName + ".").c_str()));
    if (s == dsInsert && !(def->FPermissions & SDB_PERMISSION_INSERT))
      Check(SdbSetLastError(
          SDB_E_PERMISSION,
          ("Insert permission not granted on this field: " + def->FName + ".").c_str()));
    WriteFieldValue(field->FieldNo(), field->DataType(), buffer, record);
    def->FModified = true;
  }
  if (s == dsSetKey && mpstKeyBuffer) {
    uint16_t given = 1;
    if (buffer && field->DataType() == ftString)
      given = static_cast<uint16_t>(std::strlen(static_cast<const char*>(buffer)));
    else if (buffer && field->DataType() == ftWideString)
      given = static_cast<uint16_t>(
          std::char_traits<char16_t>::length(static_cast<const char16_t*>(buffer)));
    size_t slot = static_cast<size_t>(field->FieldNo() - 1);
    if (slot < mpstKeyBuffer->GivenLengths.size()) mpstKeyBuffer->GivenLengths[slot] = given;
  }
  if (s != dsCalcFields && s != dsFilter && s != dsNewValue) FieldChanged(field);
}
