// TSdbDataSet: construction, the open and close sequence, field definitions
// and the type mapping, index files, and the process-wide dataset list.
#include <algorithm>
#include <cstdio>

#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

bool IsBlobEngineType(uint16_t type) {
  return (type >= 5 && type <= 8) || type == 28;
}

}  // namespace

// -- field descriptions ---------------------------------------------------------

int TEngineFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i].FName, name)) return static_cast<int>(i);
  return -1;
}

// -- construction -------------------------------------------------------------------

TSdbDataSet::TSdbDataSet(TComponent* owner)
    : TDataSet(owner),
      FEngineFieldDefs(std::make_unique<TEngineFieldDefs>()),
      mpoIndexDefs(
          std::make_unique<TIndexDefs>(this, [this](TIndexDefs& defs) { RefreshIndexDefs(defs); })),
      mpoMasterLink(std::make_unique<TMasterDataLink>(this)),
      mpoSdbTableOptions(std::make_unique<TSdbTableOptions>()),
      mpoIndexFiles(std::make_unique<TSdbIndexFiles>(this)) {
  mpoSdbTableOptions->SetTableInstance(this);
  TSdbDataSetList::Add(this);
}

TSdbDataSet::~TSdbDataSet() {
  if (mpoSdbConnection) mpoSdbConnection->RemoveTableFromConnectList(this);
  mpoSdbConnection = nullptr;
  Destroying();
  try {
    Close();
  } catch (...) {
    // Closing never fails for engine reasons; a descendant's event may.
  }
  FreeKeyBuffers();
  TSdbDataSetList::Remove(this);
}

void TSdbDataSet::CancelPendingEdit() {
  if (State() == dsEdit || State() == dsInsert) Cancel();
}

void TSdbDataSet::RefreshIfBrowsing() {
  if (Active() && State() == dsBrowse) Refresh();
}

void TSdbDataSet::SetExclusive(bool value) {
  CheckInactive();
  mbExclusive = value;
}

void TSdbDataSet::SetReadOnly(bool value) {
  CheckInactive();
  mbReadOnly = value;
}

// -- services -----------------------------------------------------------------------

void TSdbDataSet::ComponentError(const std::string& message) {
  throw ESDBDatabaseError(this, message, SDB_COMPONENT_ERROR);
}

void TSdbDataSet::Check(uint32_t result) {
  if (result != 0) SdbCheck(this, result);
}

void TSdbDataSet::CloseHandleQuietly(uint32_t handle) {
  if (handle != 0 && handle != SdbNoHandle) SdbCloseTable(handle);
}

// -- opening ------------------------------------------------------------------------

void TSdbDataSet::OpenHook() {
  if (mlHandle != SdbNoHandle) ComponentError("Table is already open.");
  if (mlActiveHandle != SdbNoHandle) {
    // A handle given by the caller becomes the dataset's table handle.
    mlHandle = mlActiveHandle;
    uint16_t type = 0;
    Check(SdbGetTableType(mlHandle, &type));
    musEngineTableType = type;
  } else {
    mlHandle = OpenCursorHandle();
  }
  // From here on a failure reaches CloseHook (the framework closes the
  // cursor), which closes mlHandle.

  uint32_t length = 0;
  Check(SdbGetRecordLength(mlHandle, &length));
  if (length > 0xFFFF)
    ComponentError(Format("The record of table %s is %d bytes long; at most 65535 are supported.",
                          {mstrTableName, static_cast<int64_t>(length)}));
  musRecordSize = musRecBufSize = static_cast<uint16_t>(length);

  uint32_t options = 0;
  Check(SdbGetTableOpenOptions(mlHandle, &options));
  mulTableOptions = options;
  mbCanModify = (options & SDB_OPEN_READONLY) == 0;
  if (mbCanModify && (options & SDB_OPEN_EXCLUSIVE)) {
    uint16_t isCursor = 1;
    if (SdbSqlPeekStatement(mlHandle, &isCursor, nullptr) == 0 && !isCursor) mbExclusive = true;
  }

  switch (mpoSdbTableOptions->SdbRecordCache()) {
    case rcNone:
      Check(SdbCacheRecords(mlHandle, 0));
      break;
    case rcAggressive:
      Check(SdbCacheRecords(mlHandle, 100));
      break;
    case rcStandard:
      break;
  }

  {
    SDBHANDLE first = 0;
    uint16_t room = 1;
    uint32_t rc = SdbGetAllIndexes(mlHandle, &first, &room);
    uint32_t pageSize = 0;
    if ((rc == 0 || rc == SDB_E_INSUFFICIENT_BUFFER) && room >= 1 &&
        SdbGetIndexPageSize(first, &pageSize) != 0)
      pageSize = 0;
    mpoSdbTableOptions->SetSdbIndexPageSize(static_cast<uint16_t>(pageSize));
  }

  {
    uint32_t bookmarkSize = 0;
    Check(SdbGetBookmarkLength(MoveHandle(), &bookmarkSize));
    FBookmarkSize = bookmarkSize;
  }

  AllocateKeyBuffers();

  FieldDefs().SetUpdated(false);
  FieldDefs().Update();
  CreateFields();

  // Field adjustments: money shown as money, numerics not; the engine's
  // case-insensitive strings marked.
  for (int i = 0; i < FieldCount(); ++i) {
    TField* field = Fields(i);
    int engine = FEngineFieldDefs->IndexOf(field->FieldName());
    uint16_t type = engine >= 0 ? FEngineFieldDefs->Items(engine).FType : 0;
    if (auto* sdbBcd = dynamic_cast<TSdbBCDField*>(field)) {
      if (type == 2 || type == 21) sdbBcd->SetCurrency(false);
    } else if (field->DataType() == ftBCD) {
      if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->SetCurrency(true);
    }
    if (auto* text = dynamic_cast<TSdbStringField*>(field))
      if (field->DataType() == ftString && type == 20) text->SetCaseInsensitive(true);
  }

  BindFields(true);
  FBlobFields.clear();
  for (int i = 0; i < FieldCount(); ++i) {
    TField* field = Fields(i);
    TEngineFieldDef* def = FEngineFieldDefs->ByNumber(field->FieldNo());
    if (field->FieldKind() == fkData && def && IsBlobEngineType(def->FType))
      FBlobFields.push_back(field);
  }
  FBlobFieldCount = static_cast<int>(FBlobFields.size());
  ComputeBufferLayout();

  mpoIndexDefs->SetUpdated(false);
  mpoIndexDefs->Update();

  if (mlHandle != 0) ActivateIndex();
  if (mbScoped) ActivateScope();
  if (Filtered()) ApplyEngineFilter();
  if (mlHandle != 0) GoFirstHook();
}

void TSdbDataSet::ComputeBufferLayout() {
  // Computed in 32 bits: a layout past the 16-bit sizes is refused rather
  // than wrapped into a buffer too small for what is written into it.
  uint32_t bookmarkSize = 0;
  Check(SdbGetBookmarkLength(MoveHandle(), &bookmarkSize));
  FBookmarkSize = bookmarkSize;
  uint32_t blobOfs = static_cast<uint32_t>(musRecordSize) + static_cast<uint32_t>(CalcFieldsSize());
  // The blob slots and the record information are read in place, so each
  // starts at its type's alignment (a few padding bytes after the image).
  auto align = [](uint32_t offset, uint32_t to) { return (offset + to - 1) / to * to; };
  blobOfs = align(blobOfs, alignof(TSdbBlobCache*));
  uint32_t infoOfs =
      align(blobOfs + static_cast<uint32_t>(FBlobFieldCount) * sizeof(TSdbBlobCache*),
            alignof(TSdbRecInfo));
  uint32_t bookmarkOfs = infoOfs + sizeof(TSdbRecInfo);
  uint32_t bufSize = bookmarkOfs + std::max<uint32_t>(bookmarkSize, 4);
  if (bufSize > 0xFFFF)
    ComponentError(
        Format("The record buffer of table %s would need %d bytes; at most 65535 are "
               "supported.",
               {mstrTableName, static_cast<int64_t>(bufSize)}));
  musBlobCacheOfs = static_cast<uint16_t>(blobOfs);
  musRecInfoOfs = static_cast<uint16_t>(infoOfs);
  musBookmarkOfs = static_cast<uint16_t>(bookmarkOfs);
  musRecBufSize = static_cast<uint16_t>(bufSize);
}

void TSdbDataSet::CloseHook() {
  BindFields(false);
  DestroyFields();
  FreeKeyBuffers();
  FOldRecordBuffer.clear();
  FOldRecordBuffer.shrink_to_fit();
  if (mlHandle != SdbNoHandle) CloseHandleQuietly(mlHandle);
  mlHandle = SdbNoHandle;
  mlActiveHandle = SdbNoHandle;
  mbCanModify = false;
  FBlobFields.clear();
  FBlobFieldCount = 0;
}

void TSdbDataSet::DataEvent(TDataEvent event, TField* field, int distance) {
  if (event == dePropertyChange) mpoIndexDefs->SetUpdated(false);
  TDataSet::DataEvent(event, field, distance);
}

// -- field definitions ----------------------------------------------------------------

void TSdbDataSet::ReadFieldDefsHook() {
  ReadFieldDefs(mlHandle);
}

void TSdbDataSet::UpdateFieldDefsHook() {
  if (Active() || mlHandle != SdbNoHandle) {
    ReadFieldDefs(mlHandle);
    return;
  }
  // A handle opened for the purpose is closed again on every path.
  uint32_t handle = OpenCursorHandle();
  try {
    ReadFieldDefs(handle);
  } catch (...) {
    CloseHandleQuietly(handle);
    throw;
  }
  Check(SdbCloseTable(handle));
}

void TSdbDataSet::ReadFieldDefs(uint32_t handle) {
  uint16_t count = 0;
  Check(SdbGetNumFields(handle, &count));
  FieldDefs().Clear();
  FEngineFieldDefs->Clear();
  const bool adt = musEngineTableType == 3;
  for (uint16_t number = 1; number <= count; ++number) {
    SDBFIELD fld = SDB_FIELD(number);
    uint16_t type = 0;
    uint32_t length = 0;
    uint16_t decimals = 0;
    Check(SdbGetFieldType(handle, fld, &type));
    Check(SdbGetFieldLength(handle, fld, &length));
    TFieldType dataType = ftUnknown;
    int size = 0;
    switch (type) {
      case 1:
        dataType = ftBoolean;
        break;
      case 2:
        Check(SdbGetFieldDecimals(handle, fld, &decimals));
        if (adt && !mpoSdbTableOptions->SdbNumericsAsFloats()) {
          dataType = decimals > 4 || length > 18 ? ftFMTBcd : ftBCD;
          size = decimals;
        } else {
          dataType = decimals != 0 || length >= 5 ? ftFloat : ftSmallint;
        }
        break;
      case 3:
      case 9:
        dataType = ftDate;
        break;
      case 4:
      case 20:
      case 23:
        dataType = ftString;
        size = static_cast<int>(length);
        break;
      case 5:
      case 8:
        dataType = ftMemo;
        size = 1;
        break;
      case 6:
      case 7:
      case 51:
      case 52:
        dataType = ftBlob;
        size = 1;
        break;
      case 10:
        dataType = ftFloat;
        break;
      case 11:
        dataType = ftInteger;
        break;
      case 12:
        dataType = ftSmallint;
        break;
      case 13:
        dataType = ftTime;
        break;
      case 14:
      case 22:
        dataType = ftDateTime;
        break;
      case 15:
        dataType = ftAutoInc;
        break;
      case 16:
        dataType = ftBytes;
        size = static_cast<int>(length);
        break;
      case 17:
        dataType = ftCurrency;
        break;
      case 18:
        dataType = ftBCD;
        size = 4;
        break;
      case 21:
        dataType = ftBCD;
        break;
      case 24:
        dataType = ftVarBytes;
        size = static_cast<int>(length);
        break;
      case 26:
      case 27:
        dataType = ftWideString;
        size = static_cast<int>(length);
        break;
      case 28:
        dataType = ftWideMemo;
        size = 1;
        break;
      default:
        ComponentError("Unknown field type (" + IntToStr(type) + ") encountered.");
    }
    char name[129];
    uint16_t nameLength = sizeof name;
    Check(SdbGetFieldName(handle, number, name, &nameLength));
    std::string fieldName(name, std::min<size_t>(nameLength, 128));
    TFieldDef* def = FieldDefs().Add(fieldName, dataType, size, false);
    if (dataType == ftBCD || dataType == ftFMTBcd) {
      if (type == 2)
        def->SetPrecision(static_cast<int>(length) - (decimals > 0 ? 2 : 1));
      else
        def->SetPrecision(20);
    }
    uint16_t nullable = 0;
    Check(SdbIsNullable(handle, fieldName.c_str(), &nullable));
    TEngineFieldDef& engine = FEngineFieldDefs->Add();
    engine.FName = fieldName;
    engine.FNumber = number;
    engine.FLength = type == 26 || type == 27 ? length * 2 : length;
    engine.FType = type;
    engine.FDecimals = decimals;
    engine.FNullable = nullable != 0;
    uint32_t offset = 0;
    Check(SdbGetFieldOffset(handle, fld, &offset));
    engine.FOffset = offset;
    uint8_t permissions = 0;
    Check(SdbGetColumnPermissions(handle, fld, &permissions));
    engine.FPermissions = permissions;
    engine.FModified = false;
  }
}

std::unique_ptr<TField> TSdbDataSet::FieldClassHook(TFieldType type) {
  if (type == ftString) return std::make_unique<TSdbStringField>();
  if (type == ftBCD) return std::make_unique<TSdbBCDField>();
  return TDataSet::FieldClassHook(type);
}

// -- version, collation -------------------------------------------------------------

std::string TSdbDataSet::Version() {
  uint32_t major = 0, minor = 0;
  char letter = ' ';
  char description[256];
  uint16_t length = sizeof description;
  Check(SdbGetVersion(&major, &minor, &letter, description, &length));
  std::string text = "11.10.0.30 (Engine " + std::to_string(major) + ".";
  if (minor < 10) text += "0";
  text += std::to_string(minor);
  if (letter != ' ' && letter != '\0') text += letter;
  return text + ")";
}

std::string TSdbDataSet::GetEffectiveCollation() {
  if (!mpoSdbTableOptions->SdbCollation().empty()) return mpoSdbTableOptions->SdbCollation();
  if (mpoSdbConnection && !mpoSdbConnection->SdbCollation().empty())
    return mpoSdbConnection->SdbCollation();
  return SdbCharTypeName(mpoSdbTableOptions->SdbCharType());
}

// -- index files --------------------------------------------------------------------

namespace {

std::string FileNamePart(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TSdbDataSet::OpenIndexFile(const std::string& name) {
  if (!Active()) ComponentError("Table must be Active.");
  std::string path =
      name.find_first_of("/\\") != std::string::npos ? name : GetDatabasePath() + "/" + name;
  SDBHANDLE indexes[256];
  uint16_t room = 256;
  Check(SdbOpenIndex(mlHandle, path.c_str(), indexes, &room));
  mpoIndexDefs->SetUpdated(false);
}

void TSdbDataSet::CloseIndexFile(const std::string& name) {
  if (!Active()) ComponentError("Table must be Active.");
  const std::string wanted = UpperCase(FileNamePart(name));
  uint16_t count = 0;
  Check(SdbGetNumIndexes(mlHandle, &count));
  if (count == 0) return;
  std::vector<SDBHANDLE> indexes(count);
  uint16_t room = count;
  Check(SdbGetAllIndexes(mlHandle, indexes.data(), &room));
  for (uint16_t i = 0; i < room; ++i) {
    char file[261];
    uint16_t length = 260;
    Check(SdbGetIndexFilename(indexes[i], 2, file, &length));
    if (UpperCase(std::string(file, length)) != wanted) continue;
    const bool active = indexes[i] == mlActiveHandle;
    Check(SdbCloseIndex(indexes[i]));
    mpoIndexDefs->SetUpdated(false);
    if (active) {
      // The active index is gone: the order falls back to the table's.
      mlActiveHandle = mlHandle;
      SetIndexName("");
    }
    return;
  }
}

TSdbIndexFiles::TSdbIndexFiles(TSdbDataSet* owner) : mpoOwner(owner) {
  if (!owner)
    throw ESDBDatabaseError(nullptr, "TSdbIndexFiles instances require a non-nil owner",
                            SDB_COMPONENT_ERROR);
  SetSorted(true);
  SetDuplicates(dupIgnore);
}

int TSdbIndexFiles::Add(const std::string& value) {
  if (mpoOwner->Active()) mpoOwner->OpenIndexFile(value);
  mpoOwner->mpoIndexDefs->SetUpdated(false);
  return TStringList::Add(value);
}

void TSdbIndexFiles::Insert(int, const std::string& value) {
  // A sorted list has no places to choose: the name goes where it sorts.
  Add(value);
}

void TSdbIndexFiles::Delete(int index) {
  CheckIndex(index, Count() - 1);
  if (mpoOwner->Active()) mpoOwner->CloseIndexFile(Strings(index));
  mpoOwner->mpoIndexDefs->SetUpdated(false);
  TStringList::Delete(index);
}

void TSdbIndexFiles::Clear() {
  if (mpoOwner->Active())
    for (int i = 0; i < Count(); ++i) mpoOwner->CloseIndexFile(Strings(i));
  mpoOwner->mpoIndexDefs->SetUpdated(false);
  TStringList::Clear();
}
