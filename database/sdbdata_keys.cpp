// TSdbDataSet: key mode and the key buffers, seeks on the active index,
// ranges as the index's scopes, the scope switch and the master range.
#include <cstring>

#include "sdbdata.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

// Key room for a seek and for a range bound.
constexpr uint16_t kSeekKeyRoom = 4082;
constexpr uint16_t kRangeKeyRoom = 4083;
constexpr size_t kScopeTextLimit = 4083;

// Two key buffers hold the same key: the header and the record image, not
// the given lengths.
bool SameKey(const TSdbKeyBuffer& a, const TSdbKeyBuffer& b) {
  return a.Modified == b.Modified && a.Exclusive == b.Exclusive && a.FieldCount == b.FieldCount &&
         a.BufferSize == b.BufferSize && a.Data == b.Data;
}

}  // namespace

// -- key mode -------------------------------------------------------------------------------

void TSdbDataSet::BeginKeyMode(TSdbKeyIndex index, bool keep) {
  if (mlActiveHandle == mlHandle || mlActiveHandle == SdbNoHandle)
    ComponentError("Index is not set.");
  CheckBrowseMode();
  TSdbKeyBuffer& buffer = *mapKeyBuffers.at(index);
  mpstKeyBuffer = &buffer;
  *mapKeyBuffers[kiSave] = buffer;
  if (!keep) InitKeyBuffer(buffer);
  BeginKeyEdit();
  buffer.Modified = true;
}

void TSdbDataSet::KeyEditEndHook(bool post) {
  if (!mpstKeyBuffer) return;
  if (post)
    mpstKeyBuffer->Modified = Modified();
  else
    *mpstKeyBuffer = *mapKeyBuffers[kiSave];
}

void TSdbDataSet::SetKey() {
  BeginKeyMode(kiLookup, false);
}

void TSdbDataSet::EditKey() {
  BeginKeyMode(kiLookup, true);
}

void TSdbDataSet::SetRangeStart() {
  BeginKeyMode(kiRangeStart, false);
}

void TSdbDataSet::SetRangeEnd() {
  BeginKeyMode(kiRangeEnd, false);
}

void TSdbDataSet::EditRangeStart() {
  BeginKeyMode(kiRangeStart, true);
}

void TSdbDataSet::EditRangeEnd() {
  BeginKeyMode(kiRangeEnd, true);
}

void TSdbDataSet::CheckKeyMode() const {
  if (State() != dsSetKey || !mpstKeyBuffer) throw EDatabaseError("Dataset not in edit mode");
}

bool TSdbDataSet::KeyExclusive() const {
  CheckKeyMode();
  return mpstKeyBuffer->Exclusive;
}

void TSdbDataSet::SetKeyExclusive(bool value) {
  CheckKeyMode();
  mpstKeyBuffer->Exclusive = value;
}

int16_t TSdbDataSet::KeyFieldCount() const {
  CheckKeyMode();
  return static_cast<int16_t>(mpstKeyBuffer->FieldCount);
}

void TSdbDataSet::SetKeyFieldCount(int16_t value) {
  CheckKeyMode();
  mpstKeyBuffer->FieldCount = value;
}

// -- the active index -----------------------------------------------------------------------

uint16_t TSdbDataSet::KeySize() {
  if (mlActiveHandle == mlHandle || mlActiveHandle == SdbNoHandle) return 0;
  uint16_t length = 0;
  Check(SdbGetKeyLength(mlActiveHandle, &length));
  return length;
}

int TSdbDataSet::IndexFieldCount() {
  if (mlActiveHandle == mlHandle || mlActiveHandle == SdbNoHandle) return 0;
  uint16_t segments = 0;
  Check(SdbGetNumSegments(mlActiveHandle, &segments));
  return segments;
}

TField* TSdbDataSet::IndexFields(int index) {
  if (mlActiveHandle == mlHandle || mlActiveHandle == SdbNoHandle)
    ComponentError("Internal Error: GetSegmentFieldNum : No Active Index");
  char name[129];
  uint16_t length = 128;
  Check(SdbGetSegmentFieldname(mlActiveHandle, static_cast<uint16_t>(index), name, &length));
  return FieldByName(std::string(name, length));
}

void TSdbDataSet::SetIndexFields(int index, TField* value) {
  IndexFields(index)->SetValue(value->Value());
}

// -- building and seeking keys -------------------------------------------------------------

const std::vector<TSdbDataSet::TSdbKeySegment>& TSdbDataSet::ActiveKeySegments() {
  if (FKeySegmentsHandle == mlActiveHandle) return FKeySegments;
  FKeySegments.clear();
  FKeySegmentsHandle = SdbNoHandle;
  if (mlActiveHandle != mlHandle && mlActiveHandle != SdbNoHandle) {
    for (uint16_t j = 0;; ++j) {
      char name[129];
      uint16_t length = 128;
      if (SdbGetSegmentFieldname(mlActiveHandle, j, name, &length) != 0) break;
      TSdbKeySegment segment;
      segment.Name.assign(name, length);
      int engine = FEngineFieldDefs->IndexOf(segment.Name);
      if (engine >= 0) segment.FieldNo = FEngineFieldDefs->Items(engine).FNumber;
      FKeySegments.push_back(std::move(segment));
    }
  }
  FKeySegmentsHandle = mlActiveHandle;
  return FKeySegments;
}

std::vector<uint8_t> TSdbDataSet::BuildRawKey(TSdbKeyBuffer& buffer, uint16_t room) {
  Check(SdbInitRawKey(mlActiveHandle));
  const bool autoCount = mpoSdbTableOptions->SdbAutoKeyFieldCount();
  for (const TSdbKeySegment& segment : ActiveKeySegments()) {
    if (segment.FieldNo <= 0) break;  // an expression segment: no field to take it from
    const TEngineFieldDef& def = *FEngineFieldDefs->ByNumber(segment.FieldNo);
    const uint8_t* value = buffer.Data.data() + def.FOffset;
    const size_t slot = static_cast<size_t>(def.FNumber - 1);
    const bool given = slot < buffer.GivenLengths.size() && buffer.GivenLengths[slot] != 0xFFFF;
    if (given) {
      switch (def.FType) {
        case SDB_STRING:
        case SDB_CISTRING:
        case SDB_VARCHAR_FOX:
          Check(SdbSetField(mlActiveHandle, segment.Name.c_str(),
                            reinterpret_cast<const char*>(value), def.FLength));
          break;
        case SDB_NCHAR:
        case SDB_NVARCHAR: {
          std::u16string text(def.FLength / 2, u'\0');  // the image is not aligned for it
          std::memcpy(text.data(), value, text.size() * 2);
          Check(SdbSetFieldW(mlActiveHandle, segment.Name.c_str(), text.data(), def.FLength / 2));
        } break;
        default:
          Check(SdbSetFieldRaw(mlActiveHandle, segment.Name.c_str(), value, def.FLength));
          break;
      }
    } else if (!autoCount && buffer.FieldCount == 0) {
      Check(SdbSetEmpty(mlActiveHandle, segment.Name.c_str()));
    }
  }
  std::vector<uint8_t> key(room, 0);
  uint16_t length = room;
  Check(SdbBuildRawKey100(mlActiveHandle, key.data(), &length, SDB_KEY_FULL));
  key.resize(length);
  return key;
}

bool TSdbDataSet::SeekWithRecordFilter(const std::vector<uint8_t>& key) {
  if (!OnFilterRecord) ComponentError("Expected OnFilterRecord event.");
  uint16_t found = 0;
  Check(SdbSeek(mlActiveHandle, key.data(), static_cast<uint16_t>(key.size()), SDB_RAWKEY,
                SDB_HARDSEEK, &found));
  if (!found) return false;
  TRecordBuffer buffer = NewBufferHook();
  struct Free {
    TSdbDataSet* self;
    TRecordBuffer buffer;
    ~Free() { self->FreeBufferHook(buffer); }
  } release{this, buffer};
  const uint16_t keyLength = KeySize();
  std::vector<uint8_t> recordKey(std::max<size_t>(keyLength, key.size()), 0);
  ReadRecordImage(buffer, false);
  for (;;) {
    if (mpoSdbTableOptions->SdbCalcFieldsBeforeFilter()) CalculateFields(buffer);
    if (FilterRecord(buffer)) return true;
    Check(SdbSkip(mlActiveHandle, 1));
    uint16_t atEnd = 0;
    Check(SdbAtEOF(mlHandle, &atEnd));
    if (atEnd) return false;
    ReadRecordImage(buffer, false);
    uint16_t length = static_cast<uint16_t>(recordKey.size());
    Check(SdbBuildKeyFromRecord(mlActiveHandle, buffer, musRecordSize, recordKey.data(), &length));
    if (length < key.size()) ComponentError("Invalid key size.");
    if (std::memcmp(recordKey.data(), key.data(), key.size()) != 0) return false;
  }
}

bool TSdbDataSet::SeekKey(bool nearest) {
  bool found = false;
  PositionedJump([&] {
    const bool wasEof = Eof(), wasBof = Bof();
    const uint32_t before = IsEmpty() ? 0 : BufferRecordNumber(ActiveBuffer());
    std::vector<uint8_t> key = BuildRawKey(*mapKeyBuffers[kiLookup], kSeekKeyRoom);
    if (nearest) {
      uint16_t hit = 0;
      Check(SdbSeek(mlActiveHandle, key.data(), static_cast<uint16_t>(key.size()), SDB_RAWKEY,
                    SDB_SOFTSEEK, &hit));
      found = hit != 0;
      uint16_t atEnd = 0;
      Check(SdbAtEOF(mlHandle, &atEnd));
      if (!atEnd) return true;
      Last();  // nothing at or after the key
      return false;
    }
    // Not found: back to where the seek started (the last record when the
    // record it was on is gone).
    const auto goBack = [&] {
      if (wasEof) {
        Last();
      } else if (wasBof) {
        First();
      } else {
        uint32_t rc = SdbGotoRecord(mlHandle, before);
        if (rc == SDB_E_NO_SUCH_RECORD)
          Last();
        else
          Check(rc);
      }
    };
    if (OnFilterRecord && Filtered()) {
      found = SeekWithRecordFilter(key);
      if (!found) goBack();
      return found;
    }
    // The return to the record the cursor was on shares the seek's read of
    // the file.
    const uint32_t returnTo = wasEof || wasBof ? 0 : before;
    uint16_t hit = 0, back = 0;
    Check(SdbSeekOrGoto(mlActiveHandle, key.data(), static_cast<uint16_t>(key.size()), SDB_RAWKEY,
                        SDB_HARDSEEK, mlHandle, returnTo, &hit, &back));
    found = hit != 0;
    if (found) return true;
    if (returnTo == 0)
      goBack();
    else if (!back)
      Last();
    return false;
  });
  return found;
}

bool TSdbDataSet::GotoKey() {
  return SeekKey(false);
}

void TSdbDataSet::GotoNearest() {
  SeekKey(true);
}

bool TSdbDataSet::FindKey(const std::vector<Variant>& values) {
  SetKeyValues(kiLookup, values);
  return GotoKey();
}

void TSdbDataSet::FindNearest(const std::vector<Variant>& values) {
  SetKeyValues(kiLookup, values);
  GotoNearest();
}

// -- ranges ---------------------------------------------------------------------------------

void TSdbDataSet::SetKeyValues(TSdbKeyIndex index, const std::vector<Variant>& values) {
  mpoIndexDefs->Update();
  std::string fields;
  if (meActiveIndexType == ndxIndexName || meActiveIndexType == ndxDefault) {
    const std::string& name = meActiveIndexType == ndxIndexName ? mstrIndexName : mstrDefaultIndex;
    if (TIndexDef* def = mpoIndexDefs->FindIndexByName(name)) fields = def->Fields();
  } else if (meActiveIndexType == ndxIndexField) {
    fields = mstrIndexFieldNames;
  }
  std::vector<std::string> names = SplitFieldNames(fields);
  if (names.empty())
    ComponentError(
        "An index must be active to perform this operation. Set the IndexName property.");
  if (names.size() < values.size()) ComponentError("Too many values given for current index");
  TSdbKeyBuffer& buffer = *mapKeyBuffers.at(index);
  TSdbKeyBuffer* previous = mpstKeyBuffer;
  TDataSetState old = SetTempState(dsSetKey);
  try {
    InitKeyBuffer(buffer);
    mpstKeyBuffer = &buffer;
    for (size_t i = values.size(); i-- > 0;) FieldByName(names[i])->SetValue(values[i]);
  } catch (...) {
    RestoreState(old);
    mpstKeyBuffer = previous;
    throw;
  }
  RestoreState(old);
  mpstKeyBuffer = previous;
  buffer.FieldCount = static_cast<int32_t>(values.size());
  buffer.Modified = Modified();
}

void TSdbDataSet::SetRange(const std::vector<Variant>& startValues,
                           const std::vector<Variant>& endValues) {
  CheckBrowseMode();
  SetKeyValues(kiRangeStart, startValues);
  SetKeyValues(kiRangeEnd, endValues);
  ApplyRange();
}

bool TSdbDataSet::ApplyRangeScopes() {
  if (mbScoped) ComponentError("Cannot set range on table when there is an active scope.");
  TSdbKeyBuffer& start = *mapKeyBuffers[kiRangeStart];
  TSdbKeyBuffer& end = *mapKeyBuffers[kiRangeEnd];
  if (SameKey(start, *mapKeyBuffers[kiCurRangeStart]) &&
      SameKey(end, *mapKeyBuffers[kiCurRangeEnd]))
    return false;
  auto bound = [&](TSdbKeyBuffer& buffer, int16_t step, uint16_t scope, TSdbKeyIndex applied) {
    if (!buffer.Modified) return;
    std::vector<uint8_t> key = BuildRawKey(buffer, kRangeKeyRoom);
    if (buffer.Exclusive && musOpenTableType == 3) {
      // A key stepped past (or before) every key it begins.
      uint16_t length = 0;
      Check(SdbGetKeyLength(mlActiveHandle, &length));
      key.resize(length, 0);
      Check(SdbStepIndexKey(mlActiveHandle, key.data(), length, step));
    }
    Check(SdbSetScope(mlActiveHandle, scope, key.data(), static_cast<uint16_t>(key.size()),
                      SDB_RAWKEY));
    *mapKeyBuffers[applied] = buffer;
  };
  bound(start, 1, SDB_TOP, kiCurRangeStart);
  bound(end, -1, SDB_BOTTOM, kiCurRangeEnd);
  return true;
}

void TSdbDataSet::ApplyRange() {
  CheckBrowseMode();
  if (ApplyRangeScopes()) First();
}

void TSdbDataSet::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (ClearRange()) {
    CursorPosChanged();
    Resync({});
  }
}

// -- scopes ---------------------------------------------------------------------------------

void TSdbDataSet::SetScopeBegin(const std::string& value) {
  if (value.size() > kScopeTextLimit) ComponentError("Scope text length exceeded 4082");
  mstrScopeStart = value;
}

void TSdbDataSet::SetScopeEnd(const std::string& value) {
  if (value.size() > kScopeTextLimit) ComponentError("Scope text length exceeded 4082");
  mstrScopeEnd = value;
}

void TSdbDataSet::SetScoped(bool value) {
  if (value == mbScoped) return;
  if (Active()) {
    if (value) {
      PositionedJump([&] {
        UpdateCursorPos();
        ActivateScope();
        if (EngineRecordVisible() && !IsEmpty()) return true;
        mbScoped = true;
        First();
        return false;
      });
    } else {
      const uint32_t before = IsEmpty() ? 0 : BufferRecordNumber(ActiveBuffer());
      DeactivateScope();
      mbScoped = false;
      if (Bof() && Eof()) {
        First();
      } else {
        uint32_t rc = SdbGotoRecord(mlHandle, before);
        if (rc == SDB_E_NO_SUCH_RECORD) {
          Next();
        } else {
          Check(rc);
          CursorPosChanged();
          Resync({});
        }
      }
    }
  }
  mbScoped = value;
}

// -- the master link ------------------------------------------------------------------------

void TSdbDataSet::SetMasterSource(TDataSource* source) {
  if (source && IsLinkedTo(source)) ComponentError("Circular Data Link");
  if (!mpoMasterLink->OnMasterChange) {
    mpoMasterLink->OnMasterChange = [this](TMasterDataLink*) { ApplyMasterRange(); };
    mpoMasterLink->OnMasterDisable = [this](TMasterDataLink*) { CancelRange(); };
  }
  mpoMasterLink->SetDataSource(source);
  if (!source) SetMasterFields("");
}

void TSdbDataSet::SetMasterFields(const std::string& value) {
  if (!mpoMasterLink->OnMasterChange) {
    mpoMasterLink->OnMasterChange = [this](TMasterDataLink*) { ApplyMasterRange(); };
    mpoMasterLink->OnMasterDisable = [this](TMasterDataLink*) { CancelRange(); };
  }
  mpoMasterLink->SetFieldNames(value);
  mstrMasterField = value;
}

void TSdbDataSet::ApplyMasterRange() {
  CheckBrowseMode();
  const std::vector<TField*>& masters = mpoMasterLink->Fields();
  TSdbKeyBuffer& start = *mapKeyBuffers[kiRangeStart];
  TSdbKeyBuffer* previous = mpstKeyBuffer;
  TDataSetState old = SetTempState(dsSetKey);
  try {
    InitKeyBuffer(start);
    mpstKeyBuffer = &start;
    start.Modified = true;
    for (size_t i = 0; i < masters.size(); ++i)
      IndexFields(static_cast<int>(i))->SetValue(masters[i]->Value());
  } catch (...) {
    RestoreState(old);
    mpstKeyBuffer = previous;
    throw;
  }
  RestoreState(old);
  mpstKeyBuffer = previous;
  start.FieldCount = static_cast<int32_t>(masters.size());
  *mapKeyBuffers[kiRangeEnd] = start;
  ApplyRange();
}

void TSdbDataSet::DoAfterOpen() {
  TDataSet::DoAfterOpen();
  if (MasterSource() && MasterSource()->DataSet() && MasterSource()->DataSet()->Active() &&
      !mpoMasterLink->Fields().empty())
    ApplyMasterRange();
}
