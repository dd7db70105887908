// Blob fields of TSdbDataSet: the cache each record buffer keeps per blob
// field (read from the engine once per record, written back on post), and
// the stream every blob access of the framework goes through.
#include <cstring>

#include "sdbdata.h"
#include "sdbengine.h"

namespace {

constexpr uint32_t kNoCurrentRecord = 5068;
constexpr uint32_t kNoSuchRecord = 5022;
constexpr uint16_t kTextMemo = SDB_MEMO_TEXT;

bool IsEngineBlobType(uint16_t type) {
  return (type >= SDB_MEMO && type <= SDB_VARCHAR) || type == SDB_NMEMO || type == 51 || type == 52;
}

}  // namespace

// ---- the cache ------------------------------------------------------------------------------

size_t TSdbBlobCache::Write(const void* buffer, size_t count) {
  size_t written = TMemoryStream::Write(buffer, count);
  mbBlobModified = true;
  return written;
}

void TSdbBlobCache::SetSize(int64_t size) {
  TMemoryStream::SetSize(size);
  mbBlobModified = true;
}

void TSdbBlobCache::Truncate() {
  Clear();
  mbBlobModified = true;
}

void TSdbBlobCache::ClearCache() {
  Clear();
  mhSdbTable = SdbNoHandle;
  mulFieldNo = 0;
  mulRecNum = 0;
  mbBlobModified = false;
}

void TSdbBlobCache::RefreshCache(uint32_t hSdbTable, uint32_t ulFieldNo, uint32_t ulRecNo,
                                 bool bForceReread) {
  if (!bForceReread && mhSdbTable == hSdbTable && mulRecNum == ulRecNo && mulFieldNo == ulFieldNo) {
    Seek(0, soBeginning);
    return;
  }
  Clear();
  mhSdbTable = hSdbTable;
  mulRecNum = ulRecNo;
  mulFieldNo = ulFieldNo;
  mbBlobModified = false;
  if (ulRecNo == 0) return;
  SDBFIELD field = SDB_FIELD(ulFieldNo);
  try {
    uint32_t current = 0;
    SdbCheck(nullptr, SdbGetRecordNum(hSdbTable, SDB_IGNOREFILTERS, &current));
    if (current != ulRecNo) SdbCheck(nullptr, SdbGotoRecord(hSdbTable, ulRecNo));
    uint16_t type = 0;
    SdbCheck(nullptr, SdbGetFieldType(hSdbTable, field, &type));
    bool text = type == SDB_VARCHAR || type == SDB_NMEMO || type == 51 || type == 52;
    if (type == SDB_MEMO) {
      uint16_t memoType = 0;
      SdbCheck(nullptr, SdbGetMemoDataType(hSdbTable, field, &memoType));
      text = memoType == kTextMemo;
    }
    uint32_t length = 0;
    uint32_t answer = text ? SdbGetDataLength(hSdbTable, field, 0, &length)
                           : SdbGetBinaryLength(hSdbTable, field, &length);
    if (answer == kNoCurrentRecord) {
      ClearCache();
      return;
    }
    SdbCheck(nullptr, answer);
    std::vector<uint8_t> bytes;
    if (type == SDB_NMEMO) {
      std::u16string wide(length + 1, u'\0');
      uint32_t characters = length + 1;
      SdbCheck(nullptr, SdbGetFieldW(hSdbTable, field, wide.data(), &characters, SDB_NONE));
      characters = std::min(characters, length);
      TMemoryStream::Write(wide.data(), characters * 2);
    } else if (text) {
      std::string value(length + 1, '\0');
      uint32_t room = length + 1;
      SdbCheck(nullptr, SdbGetField(hSdbTable, field, value.data(), &room, SDB_NONE));
      TMemoryStream::Write(value.data(), std::min(room, length));
    } else if (length > 0) {
      std::vector<uint8_t> value(length);
      uint32_t room = length;
      SdbCheck(nullptr, SdbGetBinary(hSdbTable, field, 0, value.data(), &room));
      TMemoryStream::Write(value.data(), std::min(room, length));
    }
    Seek(0, soBeginning);
  } catch (const ESDBDatabaseError& e) {
    ClearCache();
    if (e.EngineErrorCode() != kNoCurrentRecord && e.EngineErrorCode() != kNoSuchRecord) throw;
  }
}

void TSdbBlobCache::Flush() {
  if (!mbBlobModified) return;
  SDBFIELD field = SDB_FIELD(mulFieldNo);
  uint16_t type = 0;
  SdbCheck(nullptr, SdbGetFieldType(mhSdbTable, field, &type));
  const auto& bytes = Bytes();
  if (type == SDB_NMEMO) {
    std::u16string wide(bytes.size() / 2, u'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * 2);
    SdbCheck(nullptr,
             SdbSetFieldW(mhSdbTable, field, wide.data(), static_cast<uint32_t>(wide.size())));
  } else {
    SdbCheck(nullptr, SdbSetField(mhSdbTable, field, reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<uint32_t>(bytes.size())));
  }
  mbBlobModified = false;
}

// ---- the stream -----------------------------------------------------------------------------

TSdbBlobStream::TSdbBlobStream(TSdbDataSet* dataSet, TField* field, TBlobStreamMode mode)
    : TDataSetBlobStream(field, mode), FDataSet(dataSet) {
  TRecordBuffer buffer = nullptr;
  switch (dataSet->State()) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsCalcFields:
    case dsNewValue:
      buffer = dataSet->ActiveRecordBuffer();
      break;
    default:
      break;
  }
  uint16_t type = 0;
  dataSet->Check(SdbGetFieldType(dataSet->mlHandle, SDB_FIELD(field->FieldNo()), &type));
  if (!IsEngineBlobType(type)) dataSet->ComponentError("Invalid blob open on non-blob field.");
  if (!buffer) return;
  moSdbBlobCach = dataSet->BlobCacheOf(field, buffer);
  if (!moSdbBlobCach) return;
  const bool editing = dataSet->State() == dsEdit || dataSet->State() == dsInsert;
  try {
    moSdbBlobCach->RefreshCache(
        dataSet->mlHandle, static_cast<uint32_t>(field->FieldNo()),
        dataSet->BufferRecordNumber(buffer),
        editing && mode == bmReadWrite && !moSdbBlobCach->IsCacheModified());
  } catch (...) {
    MarkCursorMoved();  // the read may have moved the engine's cursor
    throw;
  }
  MarkCursorMoved();
  if (mode == bmWrite) {
    moSdbBlobCach->Truncate();
    mbModified = true;
  }
}

TSdbBlobStream::~TSdbBlobStream() {
  if (mbModified) MarkFieldModified();
}

size_t TSdbBlobStream::Read(void* buffer, size_t count) {
  return moSdbBlobCach ? moSdbBlobCach->Read(buffer, count) : 0;
}

void TSdbBlobStream::CheckWritable() {
  if (Mode() == bmRead)
    throw ESDBDatabaseError(nullptr, "Error modifying read only blob.", SDB_COMPONENT_ERROR);
  if (!moSdbBlobCach)
    throw ESDBDatabaseError(nullptr, "Cannot write to blob in current state.", SDB_COMPONENT_ERROR);
}

size_t TSdbBlobStream::Write(const void* buffer, size_t count) {
  CheckWritable();
  size_t written = moSdbBlobCach->Write(buffer, count);
  mbModified = true;
  return written;
}

int64_t TSdbBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
  return moSdbBlobCach ? moSdbBlobCach->Seek(offset, origin) : 0;
}

int64_t TSdbBlobStream::Size() {
  return moSdbBlobCach ? moSdbBlobCach->Size() : 0;
}

void TSdbBlobStream::SetSize(int64_t size) {
  CheckWritable();
  moSdbBlobCach->SetSize(size);
  mbModified = true;
}

std::unique_ptr<TStream> TSdbDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (mode != bmRead && State() != dsEdit && State() != dsInsert)
    ComponentError("Table must be in Edit or Insert state to open blob stream in Write Mode.");
  if (!field->IsBlob()) return TDataSet::CreateBlobStream(field, mode);
  return std::make_unique<TSdbBlobStream>(this, field, mode);
}
