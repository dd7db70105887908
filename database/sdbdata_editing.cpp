// TSdbDataSet: new records (default values, the new-record step), editing
// with record locks and the record checksum, posting the changed fields,
// cancelling and refreshing.
#include <cmath>
#include <cstring>

#include "bcd.h"
#include "sdbdata.h"
#include "sdbdata_image.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

constexpr int32_t kDayNumberOffset = 693594;  // day number of 1899-12-30
using sdbimage::IsBlobType;
using sdbimage::kMsPerDay;
using sdbimage::Load;
using sdbimage::Store;

// The text between a leading and a trailing single quote; false without them.
bool QuotedText(const std::string& expression, std::string& text) {
  if (expression.size() < 2 || expression.front() != '\'' || expression.back() != '\'')
    return false;
  text = expression.substr(1, expression.size() - 2);
  return true;
}

}  // namespace

// -- new records ------------------------------------------------------------------------------

void TSdbDataSet::ApplyDefaultValues(TRecordBuffer buffer) {
  const bool editing = State() == dsEdit;  // a clear during an edit writes every field
  for (int i = 0; i < FEngineFieldDefs->Count(); ++i) {
    TEngineFieldDef& def = FEngineFieldDefs->Items(i);
    def.FModified = editing;
    if (IsBlobType(def.FType)) continue;
    if (def.FType == SDB_AUTOINC) {
      Store<uint32_t>(buffer + def.FOffset, IsVfpTable() ? 0u : 0xFFFFFFFFu);
      continue;
    }
    TField* field = FindField(def.FName);
    if (!field || field->DefaultExpression().empty()) continue;
    const std::string expression = Trim(field->DefaultExpression());
    try {
      auto range = [&] { throw EDatabaseError("Numeric out of range:" + expression); };
      std::string text;
      switch (def.FType) {
        case SDB_LOGICAL: {
          const std::string upper = UpperCase(expression);
          int16_t value =
              upper == "TRUE" || upper == "T" || upper == ".T." || upper == "1" ? -1 : 0;
          WriteFieldValue(def.FNumber, ftBoolean, &value, buffer);
          break;
        }
        case SDB_NUMERIC:
          if (IsAdtTable() && !mpoSdbTableOptions->SdbNumericsAsFloats()) {
            TBcd value = StrToBcd(expression);
            WriteFieldValue(def.FNumber, ftBCD, &value, buffer);
          } else {
            double value = StrToFloat(expression);
            WriteFieldValue(def.FNumber, ftFloat, &value, buffer);
          }
          break;
        case SDB_DATE:
        case SDB_COMPACTDATE: {
          int32_t value =
              static_cast<int32_t>(std::floor(StrToDate(expression))) + kDayNumberOffset;
          WriteFieldValue(def.FNumber, ftDate, &value, buffer);
          break;
        }
        case SDB_STRING:
        case SDB_CISTRING:
        case SDB_VARCHAR_FOX:
          if (QuotedText(expression, text))
            WriteFieldValue(def.FNumber, ftString, text.c_str(), buffer);
          break;
        case SDB_NCHAR:
        case SDB_NVARCHAR:
          if (QuotedText(expression, text)) {
            std::u16string wide = Utf8ToUtf16(text);
            WriteFieldValue(def.FNumber, ftWideString, wide.c_str(), buffer);
          }
          break;
        case SDB_DOUBLE:
        case SDB_CURDOUBLE: {
          double value = StrToFloat(expression);
          WriteFieldValue(def.FNumber, ftFloat, &value, buffer);
          break;
        }
        case SDB_INTEGER: {
          int32_t value = StrToInt(expression);
          if (value == INT32_MIN) range();  // the engine's empty integer
          WriteFieldValue(def.FNumber, ftInteger, &value, buffer);
          break;
        }
        case SDB_SHORTINT: {
          int32_t value = StrToInt(expression);
          if (value < -32767 || value > 32767) range();
          int16_t shortValue = static_cast<int16_t>(value);
          WriteFieldValue(def.FNumber, ftSmallint, &shortValue, buffer);
          break;
        }
        case SDB_TIME: {
          TDateTime time = StrToTime(expression);
          int32_t value = static_cast<int32_t>(std::llround((time - std::floor(time)) * kMsPerDay));
          WriteFieldValue(def.FNumber, ftTime, &value, buffer);
          break;
        }
        case SDB_TIMESTAMP:
        case SDB_MODTIME: {
          double value = std::round((StrToDateTime(expression) + kDayNumberOffset) * kMsPerDay);
          WriteFieldValue(def.FNumber, ftDateTime, &value, buffer);
          break;
        }
        case SDB_MONEY:
        case SDB_ROWVERSION: {
          TBcd value = StrToBcd(expression);
          WriteFieldValue(def.FNumber, ftBCD, &value, buffer);
          break;
        }
        default:  // raw and varbinary: nothing converted, but written
          break;
      }
    } catch (const Exception& error) {
      throw ESDBDatabaseError(
          this,
          "Error setting default field value. (" + field->DisplayName() + ")\r\n" + error.Message(),
          0);
    }
    def.FModified = true;
  }
}

void TSdbDataSet::NewRecordStep() {
  if (State() == dsInsert) {
    if (!(mulTableOptions & SDB_RIGHT_INSERT))
      Check(SdbSetLastError(SDB_E_PERMISSION, "Insert permission not granted on this table."));
    uint16_t atEof = 0, atBof = 0;
    SdbAtEOF(mlHandle, &atEof);  // answers not checked: a new table stands nowhere
    SdbAtBOF(mlHandle, &atBof);
    mbAppendEOF = atEof != 0;
    mbAppendBOF = atBof != 0;
  }
  if (mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) {
    const std::vector<TField*>& masters = mpoMasterLink->Fields();
    for (size_t i = 0; i < masters.size(); ++i)
      IndexFields(static_cast<int>(i))->SetValue(masters[i]->Value());
  }
  TDataSet::NewRecordStep();  // OnNewRecord, which sees the master values
}

void TSdbDataSet::InsertHook() {
  TRecordBuffer buffer = ActiveBuffer();
  if (FBookmarkSize >= 4) Store<uint32_t>(buffer + musBookmarkOfs, 0);
  FOldRecordBuffer.clear();
  FOldRecordBuffer.shrink_to_fit();
}

// -- editing ----------------------------------------------------------------------------------

void TSdbDataSet::EditHook() {
  if (!(mulTableOptions & SDB_RIGHT_UPDATE))
    Check(SdbSetLastError(SDB_E_PERMISSION, "Update permission not granted on this table."));
  TRecordBuffer buffer = ActiveBuffer();
  const uint32_t record = BufferRecordNumber(buffer);
  const bool optimistic = mpoSdbTableOptions->SdbRecordLockingMode() == lmOptimistic;
  bool locked = false;
  if (!mbExclusive && !optimistic) {
    uint32_t rc = SdbLockRecord(mlHandle, record);
    if (rc == SDB_E_STATIC_CURSOR)
      throw ESDBDatabaseError(
          this, "This table is based on a static VIEW. Static VIEWs can not be updated.",
          SDB_E_STATIC_CURSOR);
    Check(rc);
    locked = true;
  }
  try {
    ReadRecordImage(buffer, true);  // the edit starts from the stored record
    if (!mbExclusive && optimistic) Check(SdbGetRecordCRC(mlHandle, &mulSavedCRC, 0));
    FOldRecordBuffer.assign(buffer, buffer + musRecordSize);
    FOldRecordBuffer.push_back(0);
    for (int i = 0; i < FEngineFieldDefs->Count(); ++i)
      FEngineFieldDefs->Items(i).FModified = false;
  } catch (...) {
    // The dataset stays in browse state, where Cancel does nothing: a lock
    // kept here would bar every other station from the record until close.
    if (locked) SdbUnlockRecord(mlHandle, record);
    throw;
  }
}

void TSdbDataSet::WriteChangedFields(TRecordBuffer buffer) {
  const bool preserve = mpoSdbTableOptions->SdbPreserveSpaces();
  for (int number = FEngineFieldDefs->Count(); number >= 1; --number) {
    TEngineFieldDef& def = *FEngineFieldDefs->ByNumber(number);
    if (!def.FModified) continue;
    const SDBFIELD field = SDB_FIELD(number);
    uint8_t* p = buffer + def.FOffset;
    if (IsVfpTable() && VfpSystemField(def, buffer, 1) != 0) {  // the null flag
      uint16_t nullable = 0;
      Check(SdbIsNullable(mlHandle, field, &nullable));
      Check(nullable && !preserve ? SdbSetNull(mlHandle, field) : SdbSetEmpty(mlHandle, field));
      continue;
    }
    if (IsBlobType(def.FType) || def.FType == SDB_AUTOINC) continue;
    uint32_t length = def.FLength;
    if (def.FType == SDB_VARCHAR_FOX || def.FType == SDB_VARBINARY_FOX) {
      if (IsAdtTable())
        length = Load<uint16_t>(p + def.FLength);
      else if (IsVfpTable())
        length = VfpSystemField(def, buffer, 4) == 1 ? def.FLength : p[def.FLength - 1];
      // The length word 0xFFFF marks NULL, which the engine takes as no
      // length at all: such a value is written as empty.
      if (length == 0xFFFF) {
        Check(SdbSetEmpty(mlHandle, field));
        continue;
      }
    }
    switch (def.FType) {
      case SDB_STRING:
      case SDB_CISTRING:
      case SDB_VARCHAR_FOX: {
        bool blank = !preserve;
        for (uint32_t i = 0; blank && i < def.FLength; ++i) blank = p[i] == ' ';
        Check(blank ? SdbSetEmpty(mlHandle, field)
                    : SdbSetField(mlHandle, field, reinterpret_cast<const char*>(p), length));
        break;
      }
      case SDB_NCHAR:
      case SDB_NVARCHAR: {
        uint32_t chars = def.FLength / 2;
        if (def.FType == SDB_NVARCHAR) {
          chars = Load<uint16_t>(p + def.FLength);
          if (chars == 0xFFFF) {
            Check(SdbSetEmpty(mlHandle, field));
            break;
          }
        }
        // Blank means every UTF-16 unit is U+0020 (comparing bytes with 0x20
        // would take a value of U+2020 characters for blanks).
        // Copied out: the image holds the text at any byte offset.
        std::u16string text(chars, u'\0');
        std::memcpy(text.data(), p, chars * 2);
        bool blank = !preserve && chars > 0;
        for (uint32_t i = 0; blank && i < chars; ++i) blank = text[i] == u' ';
        Check(blank ? SdbSetEmpty(mlHandle, field)
                    : SdbSetFieldW(mlHandle, field, text.data(), chars));
        break;
      }
      default:
        Check(SdbSetFieldRaw(mlHandle, field, p, length));
        break;
    }
  }
}

void TSdbDataSet::PostHook() {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert) return;
  CheckRequiredFields();
  TRecordBuffer buffer = ActiveBuffer();
  const bool optimistic =
      !mbExclusive && mpoSdbTableOptions->SdbRecordLockingMode() == lmOptimistic;
  uint32_t record = BufferRecordNumber(buffer);
  bool tookLock = false;
  try {
    if (state == dsEdit) {
      Check(SdbGotoRecord(mlHandle, record));
      if (optimistic) {
        Check(SdbLockRecord(mlHandle, 0));
        tookLock = true;
        uint32_t crc = 0;
        Check(SdbGetRecordCRC(mlHandle, &crc, 0));
        if (crc != mulSavedCRC)
          throw ESDBDatabaseError(this, "Record was changed by another user.", 5186);
      }
    } else if (RecInfo(buffer).BookmarkFlag != bfInserted) {
      // Appended once: a post repeated after a failure writes the same record.
      Check(SdbAppendRecord(mlHandle));
      RecInfo(buffer).BookmarkFlag = bfInserted;
      Check(SdbGetRecordNum(mlHandle, SDB_IGNOREFILTERS, &record));
      if (FBookmarkSize >= 4) Store<uint32_t>(buffer + musBookmarkOfs, record);
    }
    WriteChangedFields(buffer);
    for (int i = 0; i < FBlobFieldCount; ++i) {
      TSdbBlobCache* cache = BlobCaches(buffer)[i];
      if (!cache || !cache->mbBlobModified) continue;
      TField* blob = FBlobFields[static_cast<size_t>(i)];
      TEngineFieldDef& def = *FEngineFieldDefs->ByNumber(blob->FieldNo());
      Store<uint32_t>(buffer + def.FOffset, cache->Size() == 0 ? 0u : 0xFFFFFFFFu);
      FlushBlobCache(*cache, def);
    }
    Check(SdbWriteRecord(mlHandle));
    if (state == dsEdit && !mbExclusive) Check(SdbUnlockRecord(mlHandle, record));
  } catch (...) {
    if (tookLock) SdbUnlockRecord(mlHandle, record);
    throw;
  }
}

void TSdbDataSet::FlushBlobCache(TSdbBlobCache& cache, const TEngineFieldDef& def) {
  const SDBFIELD field = SDB_FIELD(def.FNumber);
  const auto size = static_cast<uint32_t>(cache.Size());
  const auto* data = static_cast<const uint8_t*>(cache.Memory());
  if (size == 0) {
    Check(SdbSetEmpty(mlHandle, field));
  } else if (def.FType == SDB_BINARY || def.FType == SDB_IMAGE) {
    Check(SdbSetBinary(mlHandle, field, SDB_MEMO_BINARY, size, 0, data, size));
  } else if (def.FType == SDB_NMEMO) {
    Check(SdbSetFieldW(mlHandle, field, reinterpret_cast<const char16_t*>(data), size / 2));
  } else {
    Check(SdbSetField(mlHandle, field, reinterpret_cast<const char*>(data), size));
  }
  cache.mbBlobModified = false;
}

void TSdbDataSet::CancelHook() {
  const TDataSetState state = State();
  TRecordBuffer buffer = ActiveBuffer();
  const uint32_t record = BufferRecordNumber(buffer);
  const bool unlock =
      state == dsEdit && !mbExclusive && mpoSdbTableOptions->SdbRecordLockingMode() != lmOptimistic;
  try {
    uint32_t rc = SdbCancelUpdate(mlHandle);
    if (rc != SDB_E_NO_CURRENT_RECORD && rc != SDB_E_NO_PENDING_UPDATE) Check(rc);
    if (state == dsInsert) {
      if (Eof()) {
        GoLastHook();
      } else {
        // The record that was current when the insert began.
        const int next = ActiveRecordIndex() + 1;
        if (next < BufferedRecords()) {
          rc = SdbGotoBookmark(mlHandle, BufferRecordNumber(Buffer(next)));
          if (rc != SDB_E_NO_SUCH_RECORD) Check(rc);
        }
      }
    }
    FetchVisibleRecord(buffer, gmCurrent);
  } catch (...) {
    if (unlock) SdbUnlockRecord(mlHandle, record);  // the lock never outlives the edit
    throw;
  }
  if (unlock) Check(SdbUnlockRecord(mlHandle, record));
}

void TSdbDataSet::RefreshHook() {
  uint32_t rc = SdbRefreshRecord(mlHandle);
  if (rc != SDB_E_NO_CURRENT_RECORD) Check(rc);
}

int32_t TSdbDataSet::LastAutoincVal() {
  uint32_t value = 0;
  Check(SdbGetLastAutoinc(mlHandle, &value));
  if (value > static_cast<uint32_t>(INT32_MAX)) throw ERangeError("Range check error");
  return static_cast<int32_t>(value);
}
