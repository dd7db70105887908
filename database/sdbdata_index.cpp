// TSdbDataSet: the index selection (index name, index fields, the
// dictionary's default index), index definitions, scopes on the active
// index, and the key buffers' life.
#include <cstring>

#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

constexpr const char* kDefaultIndexName = "SDB_DEFAULT";

std::string EngineText(const char* buffer, uint16_t length) {
  return std::string(buffer, length);
}

}  // namespace

// -- key buffers ------------------------------------------------------------------------

void TSdbDataSet::InitKeyBuffer(TSdbKeyBuffer& buffer) {
  buffer.Modified = false;
  buffer.Exclusive = false;
  buffer.FieldCount = 0;
  std::fill(buffer.GivenLengths.begin(), buffer.GivenLengths.end(), uint16_t{0xFFFF});
  uint32_t length = static_cast<uint32_t>(buffer.Data.size());
  if (length > 0) Check(SdbGetNullRecord(mlHandle, buffer.Data.data(), &length));
}

void TSdbDataSet::AllocateKeyBuffers() {
  FreeKeyBuffers();
  uint16_t fields = 0;
  Check(SdbGetNumFields(mlHandle, &fields));
  try {
    for (int i = 0; i < kiKeyBufferCount; ++i) {
      auto buffer = std::make_unique<TSdbKeyBuffer>();
      buffer->Data.assign(musRecordSize, 0);
      buffer->GivenLengths.assign(fields, 0xFFFF);
      buffer->BufferSize = static_cast<uint32_t>(sizeof(bool) * 2 + sizeof(int32_t) +
                                                 sizeof(uint32_t) + musRecordSize + 2u * fields);
      InitKeyBuffer(*buffer);
      mapKeyBuffers.push_back(std::move(buffer));
    }
  } catch (...) {
    FreeKeyBuffers();
    throw;
  }
}

void TSdbDataSet::FreeKeyBuffers() {
  mpstKeyBuffer = nullptr;
  mapKeyBuffers.clear();
}

// -- index selection ----------------------------------------------------------------------

void TSdbDataSet::ActivateIndex() {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  switch (meActiveIndexType) {
    case ndxNone:
      mlActiveHandle = mlHandle;
      break;
    case ndxIndexName:
    case ndxDefault: {
      const std::string& name =
          meActiveIndexType == ndxIndexName ? mstrIndexName : mstrDefaultIndex;
      SDBHANDLE index = 0;
      Check(SdbGetIndexHandle(mlHandle, name.c_str(), &index));
      mlActiveHandle = index;
      break;
    }
    case ndxIndexField: {
      mpoIndexDefs->Update();
      TIndexDef* def = mpoIndexDefs->GetIndexForFields(mstrIndexFieldNames);
      if (!def) ComponentError("Not a valid index field name:" + mstrIndexFieldNames);
      SDBHANDLE index = 0;
      Check(SdbGetIndexHandle(mlHandle, def->Name().c_str(), &index));
      mlActiveHandle = index;
      break;
    }
  }
  ComputeBufferLayout();
  if (Active()) RecreateBuffers();
}

void TSdbDataSet::SetIndexName(const std::string& value) {
  if (Active()) CheckBrowseMode();
  const std::string oldName = mstrIndexName;
  const std::string oldFields = mstrIndexFieldNames;
  const TSdbIndexTypes oldType = meActiveIndexType;
  mstrIndexName = value;
  mstrIndexFieldNames.clear();
  meActiveIndexType = value.empty()                           ? ndxNone
                      : UpperCase(value) == kDefaultIndexName ? ndxDefault
                                                              : ndxIndexName;
  if (mlHandle != SdbNoHandle) {
    try {
      if (mbScoped) {
        DeactivateScope();
        mbScoped = false;
      } else {
        ClearRange();
      }
      ActivateIndex();
    } catch (...) {
      mstrIndexName = oldName;
      mstrIndexFieldNames = oldFields;
      meActiveIndexType = oldType;
      throw;
    }
  }
  if (Active()) {
    CursorPosChanged();
    Resync({});
  }
}

void TSdbDataSet::SetIndexFieldNames(const std::string& value) {
  if (Active()) {
    CheckBrowseMode();
    if (mbScoped) {
      DeactivateScope();
      mbScoped = false;
    }
  }
  const std::string oldName = mstrIndexName;
  const std::string oldFields = mstrIndexFieldNames;
  const TSdbIndexTypes oldType = meActiveIndexType;
  mstrIndexFieldNames = Trim(value);
  mstrIndexName.clear();
  meActiveIndexType = mstrIndexFieldNames.empty() ? ndxNone : ndxIndexField;
  if (mlHandle != SdbNoHandle) {
    try {
      ActivateIndex();
    } catch (...) {
      mstrIndexName = oldName;
      mstrIndexFieldNames = oldFields;
      meActiveIndexType = oldType;
      throw;
    }
  }
  if (Active()) {
    CursorPosChanged();
    Resync({});
  }
}

bool TSdbDataSet::ClearRange() {
  if (mbScoped) return true;
  if (mapKeyBuffers.size() < kiKeyBufferCount) return false;
  TSdbKeyBuffer& start = *mapKeyBuffers[kiCurRangeStart];
  TSdbKeyBuffer& end = *mapKeyBuffers[kiCurRangeEnd];
  if (!start.Modified && !end.Modified) return false;
  Check(SdbClearAllScopes(mlHandle));
  uint16_t atEof = 0, atBof = 0;
  Check(SdbAtEOF(mlHandle, &atEof));
  Check(SdbAtBOF(mlHandle, &atBof));
  if (atEof && atBof) Check(SdbGotoTop(mlActiveHandle));
  InitKeyBuffer(start);
  InitKeyBuffer(end);
  return true;
}

void TSdbDataSet::RefreshIndexDefs(TIndexDefs& defs) {
  uint32_t handle = mlHandle;
  bool temporary = false;
  if (handle == SdbNoHandle) {
    handle = OpenCursorHandle();
    temporary = true;
  }
  try {
    defs.Clear();
    uint16_t count = 0;
    Check(SdbGetNumIndexes(handle, &count));
    std::vector<SDBHANDLE> indexes(count);
    uint16_t room = count;
    if (count > 0) Check(SdbGetAllIndexes(handle, indexes.data(), &room));
    for (uint16_t i = 0; i < room && i < count; ++i) {
      SDBHANDLE index = indexes[i];
      char name[261];
      uint16_t nameLength = 260;
      Check(SdbGetIndexName(index, name, &nameLength));
      uint16_t segments = 0;
      Check(SdbGetNumSegments(index, &segments));
      std::string fields;
      for (uint16_t j = 0; j < segments; ++j) {
        char segment[511];
        uint16_t segmentLength = 510;
        Check(SdbGetSegmentFieldname(index, j, segment, &segmentLength));
        if (j > 0) fields += ";";
        fields += EngineText(segment, segmentLength);
      }
      TIndexOptions options;
      uint16_t answer = 0;
      Check(SdbIsIndexDescending(index, &answer));
      if (answer == 1) options.Include(ixDescending);
      Check(SdbIsIndexUnique(index, &answer));
      if (answer == 1) options.Include(ixUnique);
      if (meTableType == ttSdbVFP) {
        Check(SdbIsIndexCandidate(index, &answer));
        if (answer == 1) options.Include(ixUnique);
      }
      Check(SdbIsIndexPrimaryKey(index, &answer));
      if (answer == 1) options.Include(ixPrimary);
      defs.Add(EngineText(name, nameLength), UpperCase(fields), options);
    }
  } catch (...) {
    if (temporary) CloseHandleQuietly(handle);
    throw;
  }
  if (temporary) CloseHandleQuietly(handle);
}

void TSdbDataSet::UpdateDefaultIndex() {
  if (!mpoSdbConnection || !mpoSdbConnection->IsDictionaryConn() ||
      !mpoSdbConnection->IsConnected() || mstrTableName.empty())
    return;
  char text[201];
  uint16_t length = 200;
  uint32_t rc = SdbDDGetTableProperty(mpoSdbConnection->ConnectionHandle(), mstrTableName.c_str(),
                                      SDB_DD_DEFAULT_INDEX, text, &length);
  if (rc == 0) {
    mstrDefaultIndex = std::string(text, std::min<uint16_t>(length, 200));
    if (!mstrDefaultIndex.empty() && mstrDefaultIndex.back() == '\0')
      mstrDefaultIndex = mstrDefaultIndex.c_str();
    if (mstrIndexName == kDefaultIndexName || (mstrIndexName.empty() && !IsLoading())) {
      meActiveIndexType = ndxDefault;
      mstrIndexName = kDefaultIndexName;
    }
  } else if (rc == SDB_E_PROPERTY_NOT_SET) {
    mstrDefaultIndex.clear();
    if (SameText(mstrIndexName, kDefaultIndexName)) SetIndexName("");
  }
}

bool TSdbDataSet::IsIndexField(TField* field) {
  const std::vector<TSdbKeySegment>& segments = ActiveKeySegments();
  if (State() == dsSetKey && segments.empty()) return true;
  if (field->FieldNo() <= 0) return false;
  for (const TSdbKeySegment& segment : segments)
    if (segment.FieldNo == field->FieldNo()) return true;
  return false;
}

// -- scopes -------------------------------------------------------------------------------

void TSdbDataSet::ActivateScope() {
  if (mlActiveHandle == mlHandle || mlActiveHandle == SdbNoHandle)
    ComponentError("Cannot activate scope when there is no active index.");
  std::vector<uint8_t> scope(4082);
  uint16_t room = 4082;
  bool top = SdbGetScope(mlActiveHandle, SDB_TOP, scope.data(), &room) == 0;
  room = 4082;
  bool bottom = SdbGetScope(mlActiveHandle, SDB_BOTTOM, scope.data(), &room) == 0;
  if (top || bottom) ComponentError("Cannot activate scope when there is an active range.");
  auto set = [&](uint16_t option, const std::string& text) {
    if (text.empty()) return;
    std::u16string wide = Utf8ToUtf16(text);
    Check(SdbSetScope(mlActiveHandle, option, reinterpret_cast<const uint8_t*>(wide.data()),
                      static_cast<uint16_t>(wide.size() * 2), SDB_WSTRINGKEY));
  };
  set(SDB_TOP, mstrScopeStart);
  set(SDB_BOTTOM, mstrScopeEnd);
}

void TSdbDataSet::DeactivateScope() {
  if (mlActiveHandle == mlHandle || mlActiveHandle == SdbNoHandle) return;
  for (uint16_t option : {SDB_TOP, SDB_BOTTOM}) {
    uint32_t rc = SdbClearScope(mlActiveHandle, option);
    if (rc != SDB_E_NO_SCOPE) Check(rc);
  }
}
