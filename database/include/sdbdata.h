// sdbdata: the dataset core of the database layer: ESDBDatabaseError and the
// result check every engine call passes through, then TSdbDataSet.
#pragma once

#include <cstdint>
#include <string>

#include "exceptions.h"
#include "sdbcnnct.h"

// ==== Database errors and the result check ====================================

/// The code the layer's own refusals carry ("Missing TableName property", ...).
constexpr uint32_t SDB_COMPONENT_ERROR = 5121;

/// An engine failure seen by a dataset (or by the layer without one), or one
/// of the layer's own refusals (code 5121). The message is the engine's or
/// the component's text, after "<dataset Name>: " when a named dataset is
/// given.
///
/// While one is being built on a thread (the thread's composing flag), the
/// result check lets engine failures pass silently and a second error built
/// meanwhile stays empty, so that composing one error never raises another.
class ESDBDatabaseError : public EDatabaseError {
 public:
  /// `dataSet` may be nullptr. For codes 5147-5149 ColumnName is the text
  /// after `column "` up to the next double quote; SQLErrorCode is read from
  /// "ERROR 7200:" ... "NATIVEERROR = n;" (any letter case).
  ESDBDatabaseError(TSdbDataSetInterface* dataSet, const std::string& message, uint32_t errorCode);
  ESDBDatabaseError(const ESDBDatabaseError&) = default;
  /// Clears the calling thread's composing flag (an error built while
  /// another was being composed leaves it to that one).
  ~ESDBDatabaseError() override;

  uint32_t EngineErrorCode() const { return ulEngineError; }
  int32_t SQLErrorCode() const { return ulSQLErrorCode; }
  const std::string& DataSetInstanceName() const { return strDataSetInstanceName; }
  const std::string& DataSetInstanceOwner() const { return strDataSetInstanceOwner; }
  const std::string& DatabaseName() const { return strDatabaseName; }
  const std::string& DatabasePath() const { return strDatabasePath; }
  const std::string& TableName() const { return strTableName; }
  const std::string& ColumnName() const { return strColumnName; }

 private:
  uint32_t ulEngineError = 0;
  int32_t ulSQLErrorCode = 0;
  std::string strDataSetInstanceName;
  std::string strDataSetInstanceOwner;
  std::string strDatabaseName;
  std::string strDatabasePath;
  std::string strTableName;
  std::string strColumnName;
  bool mbNested = false;  // built while another error was composed
};

/// The result check. 0 returns; while the calling thread composes an error
/// every result returns; otherwise the engine's last error (code and text,
/// read into 600 bytes) is raised as ESDBDatabaseError for `dataSet` (may be
/// nullptr). When the engine reports code 0, the checked result is kept.
void SdbCheck(TSdbDataSetInterface* dataSet, uint32_t result);

/// The calling thread's composing flag (tests and diagnostics).
bool SdbComposingError();

/// The engine's last error of the calling thread, read as the result check
/// reads it: `code` (0 when the engine has none) and the text (at most 600
/// bytes; cut when longer).
std::string SdbLastErrorText(uint32_t& code);

// ==== end of database errors ====================================================

// ==== the dataset ==============================================================

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component.h"
#include "datalinks.h"
#include "dataset.h"
#include "fields.h"
#include "indexdefs.h"
#include "sdbcnnct.h"
#include "sdbfunc_types.h"
#include "streams.h"
#include "stringlist.h"

class TSdbDataSet;

/// "No handle" inside a dataset (all bits set).
constexpr uint32_t SdbNoHandle = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------
// Field descriptions

/// The engine's view of one field: number, place in the record image, engine
/// type, decimals, permissions and nullability.
struct TEngineFieldDef {
  std::string FName;
  uint16_t FNumber = 0;
  uint32_t FOffset = 0;
  /// Bytes in the record image (twice the characters for nchar/nvarchar).
  uint32_t FLength = 0;
  uint16_t FType = 0;
  uint16_t FDecimals = 0;
  /// The value in the active buffer must be written at post.
  bool FModified = false;
  uint8_t FPermissions = 0;
  bool FNullable = false;
};

/// The engine field descriptions of a dataset, numbered from 1 in record
/// order (Items(i) has FNumber i + 1).
class TEngineFieldDefs {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TEngineFieldDef& Items(int index) { return FItems.at(static_cast<size_t>(index)); }
  const TEngineFieldDef& Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
  /// By field number from 1; nullptr outside the range.
  TEngineFieldDef* ByNumber(int number) {
    return number >= 1 && number <= Count() ? &FItems[static_cast<size_t>(number - 1)] : nullptr;
  }
  TEngineFieldDef& Add() { return FItems.emplace_back(); }
  void Clear() { FItems.clear(); }
  /// Without regard to case; -1 when absent.
  int IndexOf(std::string_view name) const;

 private:
  std::vector<TEngineFieldDef> FItems;
};

/// ftString fields of the layer; CaseInsensitive is set for the engine's
/// case-insensitive string type.
class TSdbStringField : public TStringField {
 public:
  explicit TSdbStringField(std::string fieldName = {}, int size = 20)
      : TStringField(std::move(fieldName), size) {}
  bool CaseInsensitive() const { return FCaseInsensitive; }
  void SetCaseInsensitive(bool value) { FCaseInsensitive = value; }

 private:
  bool FCaseInsensitive = false;
};

/// ftBCD fields of the layer: shown as money unless the field turns out to be
/// a numeric or row-version column.
class TSdbBCDField : public TBCDField {
 public:
  explicit TSdbBCDField(std::string fieldName = {}, int size = 4)
      : TBCDField(std::move(fieldName), size) {
    SetCurrency(true);
  }
};

// ---------------------------------------------------------------------------
// Key buffers (sdbdata_keys.cpp)

/// One of a dataset's six key buffers: a record image holding key values,
/// with the length given per engine field (0xFFFF: not given).
struct TSdbKeyBuffer {
  bool Modified = false;
  bool Exclusive = false;
  int32_t FieldCount = 0;
  /// Header + record image + one 16-bit length per engine field.
  uint32_t BufferSize = 0;
  std::vector<uint8_t> Data;
  std::vector<uint16_t> GivenLengths;
};

/// Indexes of the six key buffers.
enum TSdbKeyIndex {
  kiLookup,
  kiRangeStart,
  kiRangeEnd,
  kiCurRangeStart,
  kiCurRangeEnd,
  kiSave,
  kiKeyBufferCount
};

// ---------------------------------------------------------------------------
// Blob caches (sdbdata_blobs.cpp)

/// The in-memory copy of one blob field's value for the record of one record
/// buffer; a record buffer owns one per blob field. Unbound (holds nothing),
/// bound and clean (the engine's value of one table, record and field), or
/// bound and modified (a new value, written to the engine on post).
class TSdbBlobCache : public TMemoryStream {
 public:
  uint32_t mhSdbTable = SdbNoHandle;
  /// 0: holds nothing.
  uint32_t mulRecNum = 0;
  uint32_t mulFieldNo = 0;
  bool mbBlobModified = false;

  /// Binds the cache to a table, field and record and reads the value from
  /// the engine, unless it holds that value already (then it is rewound) and
  /// no fresh read is forced. Record 0 leaves it empty. The engine's answers
  /// 5068 and 5022 leave it empty and unbound; other failures unbind it and
  /// propagate (without a dataset).
  void RefreshCache(uint32_t hSdbTable, uint32_t ulFieldNo, uint32_t ulRecNo, bool bForceReread);
  /// Writing or cutting marks the cache modified.
  size_t Write(const void* buffer, size_t count) override;
  void SetSize(int64_t size) override;
  /// Empties the value and marks it modified.
  void Truncate();
  /// Empties and unbinds the cache (the next read fetches it again).
  void ClearCache();
  /// Writes a modified value to the engine's current record (the engine
  /// stands on the record being posted) and marks the cache clean. A Unicode
  /// memo is written as its characters, every other blob as its bytes.
  void Flush();
  bool IsCacheModified() const { return mbBlobModified; }
};

/// The stream CreateBlobStream hands out: it works on the blob cache of the
/// active record buffer. A stream for writing needs dsEdit or dsInsert;
/// bmWrite empties the value at once. A stream that changed the value marks
/// its field modified when it goes away.
class TSdbBlobStream : public TDataSetBlobStream {
 public:
  TSdbBlobStream(TSdbDataSet* dataSet, TField* field, TBlobStreamMode mode);
  ~TSdbBlobStream() override;
  size_t Read(void* buffer, size_t count) override;
  /// Refused in bmRead ("Error modifying read only blob.") and without a
  /// cache ("Cannot write to blob in current state.").
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  TSdbBlobCache* Cache() const { return moSdbBlobCach; }

 private:
  void CheckWritable();
  TSdbDataSet* FDataSet;
  TSdbBlobCache* moSdbBlobCach = nullptr;
  bool mbModified = false;
};

// ---------------------------------------------------------------------------
// Table options (rules of the setters: sdbdata_options.cpp)

/// The number of TSdbCharTypes values (ANSI, OEM and 116 collations).
constexpr int kSdbCharTypeCount = 118;

/// The engine-specific settings of a dataset. SdbLockType, SdbRightsCheck,
/// SdbCachingOption and SdbCharType refuse while the dataset is open
/// ("Table must not be Active.", code 5121); SdbCharType also refuses a
/// collation on a CDX or NTX table and a value outside the enumeration.
/// SdbRecordCache takes effect on an open table at once; SdbOptimizedFilters
/// switches an active filter over to the new form. A refused value leaves
/// the option as it was.
class TSdbTableOptions : public TPersistent {
 public:
  TSdbTableOptions() = default;
  /// Binds the options to their dataset (once, by the dataset).
  void SetTableInstance(TSdbDataSet* table) { mpoSdbTable = table; }
  TSdbDataSet* TableInstance() const { return mpoSdbTable; }

  TSdbLockTypes SdbLockType() const { return meSdbLockType; }
  void SetSdbLockType(TSdbLockTypes value);
  TSdbCharTypes SdbCharType() const { return meSdbCharType; }
  void SetSdbCharType(TSdbCharTypes value);
  TSdbRespectFilters SdbFilterOptions() const { return meSdbRespectFilters; }
  void SetSdbFilterOptions(TSdbRespectFilters value) { meSdbRespectFilters = value; }
  TSdbRespectScopes SdbScopeOptions() const { return meSdbRespectScopes; }
  void SetSdbScopeOptions(TSdbRespectScopes value) { meSdbRespectScopes = value; }
  bool SdbFreshRecordCount() const { return mbRefreshCount; }
  void SetSdbFreshRecordCount(bool value) { mbRefreshCount = value; }
  bool SdbAOFResolveImmediate() const { return mbAOFResolveImmediate; }
  void SetSdbAOFResolveImmediate(bool value) { mbAOFResolveImmediate = value; }
  bool SdbRightsCheck() const { return mbSdbRightsCheck; }
  void SetSdbRightsCheck(bool value);
  bool SdbOptimizedFilters() const { return mbSdbOptimizedFilters; }
  void SetSdbOptimizedFilters(bool value);
  uint16_t SdbIndexPageSize() const { return mulIndexPageSize; }
  void SetSdbIndexPageSize(uint16_t value) { mulIndexPageSize = value; }
  TSdbRecordCacheTypes SdbRecordCache() const { return meSdbRecordCache; }
  void SetSdbRecordCache(TSdbRecordCacheTypes value);
  TSdbAOFTypes SdbAOFType() const { return meSdbAOFType; }
  void SetSdbAOFType(TSdbAOFTypes value) { meSdbAOFType = value; }
  bool SdbAutoKeyFieldCount() const { return mbAutoKeyFieldCount; }
  void SetSdbAutoKeyFieldCount(bool value) { mbAutoKeyFieldCount = value; }
  bool SdbCalcFieldsBeforeFilter() const { return mbCalcFieldsBeforeFilter; }
  void SetSdbCalcFieldsBeforeFilter(bool value) { mbCalcFieldsBeforeFilter = value; }
  TSdbRecordLockingModes SdbRecordLockingMode() const { return meRecordLockingMode; }
  void SetSdbRecordLockingMode(TSdbRecordLockingModes value) { meRecordLockingMode = value; }
  bool SdbPreserveSpaces() const { return mbPreserveSpaces; }
  void SetSdbPreserveSpaces(bool value) { mbPreserveSpaces = value; }
  bool SdbNumericsAsFloats() const { return mbNumericsAsFloats; }
  void SetSdbNumericsAsFloats(bool value) { mbNumericsAsFloats = value; }
  const std::string& SdbCollation() const { return mstrCollation; }
  void SetSdbCollation(std::string value) { mstrCollation = std::move(value); }
  TSdbTableCachingOption SdbCachingOption() const { return meSdbCachingOption; }
  void SetSdbCachingOption(TSdbTableCachingOption value);
  TSdbLocateBehavior SdbLocateBehavior() const { return meSdbLocateBehavior; }
  void SetSdbLocateBehavior(TSdbLocateBehavior value) { meSdbLocateBehavior = value; }
  /// Stores the character type the engine reports for an open table or
  /// cursor, without the setter's rules.
  void StoreSdbCharType(TSdbCharTypes value) { meSdbCharType = value; }

 private:
  [[noreturn]] void Refuse(const std::string& message) const;
  void CheckTableInactive() const;

  TSdbDataSet* mpoSdbTable = nullptr;
  TSdbLockTypes meSdbLockType = Proprietary;
  TSdbCharTypes meSdbCharType = ANSI;
  TSdbRespectFilters meSdbRespectFilters = IGNORE_WHEN_COUNTING;
  TSdbRespectScopes meSdbRespectScopes = IGNORE_SCOPES_WHEN_COUNTING;
  bool mbRefreshCount = false;
  bool mbAOFResolveImmediate = false;
  bool mbSdbRightsCheck = true;
  bool mbSdbOptimizedFilters = true;
  uint16_t mulIndexPageSize = 0;
  TSdbRecordCacheTypes meSdbRecordCache = rcStandard;
  TSdbAOFTypes meSdbAOFType = atDynamic;
  bool mbAutoKeyFieldCount = false;
  bool mbCalcFieldsBeforeFilter = false;
  TSdbRecordLockingModes meRecordLockingMode = lmPessimistic;
  bool mbPreserveSpaces = false;
  bool mbNumericsAsFloats = false;
  std::string mstrCollation;
  TSdbTableCachingOption meSdbCachingOption = tcNone;
  TSdbLocateBehavior meSdbLocateBehavior = lbFastestPossible;
};

// ---------------------------------------------------------------------------
// Index files

/// The index files a table opens with it: a sorted list of file names that
/// ignores duplicates. While the owner is open, adding a name opens the file
/// and removing one closes it.
class TSdbIndexFiles : public TStringList {
 public:
  /// Raises ESDBDatabaseError 5121 "TSdbIndexFiles instances require a
  /// non-nil owner" without an owner.
  explicit TSdbIndexFiles(TSdbDataSet* owner);
  int Add(const std::string& value) override;
  void Insert(int index, const std::string& value) override;
  void Delete(int index) override;
  void Clear() override;

 private:
  TSdbDataSet* mpoOwner;
};

// ---------------------------------------------------------------------------
// The dataset

/// The record-information area of a record buffer.
struct TSdbRecInfo {
  int32_t SequenceNumber;
  uint8_t StatusByte;
  uint8_t BookmarkFlag;
};

/// The dataset over one engine handle. Hooks are the only place where it
/// calls the engine; state changes and events are the framework's.
///
/// Record buffer layout (offsets computed at open and on index changes):
///   [0, musRecordSize)            the engine record image, as delivered
///   [musRecordSize, +calc size)   calculated and lookup fields
///   [musBlobCacheOfs, ...)        one TSdbBlobCache* per blob field
///   [musRecInfoOfs, ...)          TSdbRecInfo
///   [musBookmarkOfs, +bookmark)   the engine bookmark (first 4 bytes: the
///                                 record number)
class TSdbDataSet : public TDataSet, public TSdbDataSetInterface {
 public:
  explicit TSdbDataSet(TComponent* owner = nullptr);
  ~TSdbDataSet() override;

  // -- what the connection sees (TSdbDataSetInterface) ------------------------
  TComponent* DataSetComponent() override { return this; }
  TSdbConnection* SdbConnection() const override { return mpoSdbConnection; }
  const std::string& DatabaseName() const override { return mstrDatabaseName; }
  const std::string& TableName() const override { return mstrTableName; }
  /// The folder of the dataset's tables, without a trailing separator.
  std::string GetDatabasePath() override;
  void CloseDataSet() override { Close(); }
  /// Drops engine handles the connection invalidated (a table holds none).
  void InvalidateEngineHandles() override {}
  void CancelPendingEdit() override;
  void RefreshIfBrowsing() override;
  /// Reads the table's default index from the dictionary.
  void UpdateDefaultIndex() override;
  void ConnectionDestroyed() override { mpoSdbConnection = nullptr; }
  void ConnectionRenamed(const std::string& databaseName) override {
    mstrDatabaseName = databaseName;
  }
  void FollowAliasTableType(TSdbConnectionTableTypes type) override;

  // -- location (sdbdata_location.cpp) --------------------------------------
  /// Only while closed. A connection's Name links the dataset to it; a path
  /// or an alias of the alias file names a folder.
  virtual void SetDatabaseName(const std::string& value);
  void SetTableName(const std::string& value);
  TSdbTableTypes TableType() const { return meTableType; }
  virtual void SetTableType(TSdbTableTypes value);
  /// The connection handle tables open on (connects when needed).
  uint32_t ConnectAndGetHandle();
  std::string GetNativeDatabasePath() { return GetDatabasePath(); }

  // -- opening (sdbdata_open.cpp) --------------------------------------------
  bool StoreActive() const { return FbStoreActive; }
  void SetStoreActive(bool value) { FbStoreActive = value; }
  bool Exclusive() const { return mbExclusive; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return mbReadOnly; }
  void SetReadOnly(bool value);
  TSdbIndexFiles& IndexFiles() { return *mpoIndexFiles; }
  TSdbTableOptions& SdbTableOptions() { return *mpoSdbTableOptions; }
  TEngineFieldDefs& EngineFieldDefs() { return *FEngineFieldDefs; }
  uint32_t Handle() const { return mlHandle; }
  uint32_t ActiveHandle() const { return mlActiveHandle; }
  /// Adopted as the table handle by the next open.
  void SetActiveHandle(uint32_t handle) { mlActiveHandle = handle; }
  int RecordSize() const { return musRecordSize; }
  const std::string& DefaultIndex() const { return mstrDefaultIndex; }
  /// "11.10.0.30 (Engine 12.03c)".
  std::string Version();
  /// The table option's collation, else the connection's, else the name of
  /// the character type.
  std::string GetEffectiveCollation();
  /// Opens or closes an index file of the open table ("Table must be Active.").
  void OpenIndexFile(const std::string& name);
  void CloseIndexFile(const std::string& name);
  bool CanModify() const override { return mbCanModify && !mbReadOnly; }

  // -- values (sdbdata_values.cpp) -------------------------------------------
  bool GetFieldData(TField* field, void* buffer) override;
  /// The checks of a field assignment, then WriteFieldValue into the state's
  /// buffer; marks the field's FModified.
  void PutFieldData(TField* field, const void* buffer) override;
  /// Converts a field of a record image into its native value; false when
  /// the field is blank (NULL). `value` may be nullptr.
  bool ReadFieldValue(TField* field, const uint8_t* image, void* value);
  /// Converts a native value (nullptr: NULL) into a field of a record image.
  void WriteFieldValue(int fieldNo, TFieldType nativeType, const void* value, uint8_t* image);
  bool FieldChecksBcdRange(const TField*) const override { return false; }
  bool GetCurrentRecord(TRecordBuffer buffer) override;

  // -- navigation (sdbdata_navigation.cpp) -----------------------------------
  int RecordCount() override;
  int RecNo() override;
  void SetRecNo(int value) override;
  bool IsSequenced() override { return mbIsSequenced; }
  bool Sequenced() const { return mbIsSequenced; }
  void SetSequenced(bool value) { mbIsSequenced = value; }
  TSdbSequencedLevel SequencedLevel() const { return meSeqLevel; }
  void SetSequencedLevel(TSdbSequencedLevel value) { meSeqLevel = value; }
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) override;

  // -- index selection (sdbdata_index.cpp) ----------------------------------
  const std::string& IndexName() const { return mstrIndexName; }
  /// "SDB_DEFAULT" (any case) selects the dictionary's default index.
  void SetIndexName(const std::string& value);
  const std::string& IndexFieldNames() const { return mstrIndexFieldNames; }
  void SetIndexFieldNames(const std::string& value);
  TIndexDefs& IndexDefs() { return *mpoIndexDefs; }
  /// Reads the index definitions from the engine (IndexDefs' updater).
  void RefreshIndexDefs(TIndexDefs& defs);
  bool IsIndexField(TField* field) override;
  bool Scoped() const { return mbScoped; }
  const std::string& ScopeBegin() const { return mstrScopeStart; }
  const std::string& ScopeEnd() const { return mstrScopeEnd; }
  const std::string& MasterFields() const { return mstrMasterField; }
  TDataSource* MasterSource() const { return mpoMasterLink->DataSource(); }
  TMasterDataLink& MasterLink() { return *mpoMasterLink; }
  TDataSource* DataSource() const override { return mpoMasterLink->DataSource(); }

  // == keys, ranges, scopes, master link (sdbdata_keys.cpp) ==================
  //   Members: mapKeyBuffers (allocated at open by AllocateKeyBuffers),
  //   mpstKeyBuffer, mbScoped, mstrScopeStart, mstrScopeEnd, mpoMasterLink,
  //   mstrMasterField.
  /// Key mode on the lookup key, emptied ("Index is not set." without an
  /// active index); EditKey keeps the key set before.
  void SetKey();
  void EditKey();
  /// Seeks the lookup key on the active index. Found: the dataset moves
  /// there. Not found: it stays on its record (at Eof: Last; at Bof: First).
  bool GotoKey();
  /// Moves to the first record whose key is the lookup key or follows it
  /// (Last when none follows).
  void GotoNearest();
  /// SetKey, the values assigned to the active index's fields in order
  /// (KeyFieldCount := their number), GotoKey / GotoNearest.
  bool FindKey(const std::vector<Variant>& values);
  void FindNearest(const std::vector<Variant>& values);
  /// Key mode on the range bounds: emptied (Set...) or as they are (Edit...).
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  /// Applies the range bounds as the active index's scopes and moves to
  /// First when that changed the range.
  void ApplyRange();
  /// Both bounds from values for the active index's leading fields, then
  /// ApplyRange.
  void SetRange(const std::vector<Variant>& startValues, const std::vector<Variant>& endValues);
  void CancelRange();
  /// The key buffer being edited ("Dataset not in edit mode" outside dsSetKey).
  bool KeyExclusive() const;
  void SetKeyExclusive(bool value);
  int16_t KeyFieldCount() const;
  void SetKeyFieldCount(int16_t value);
  /// The active index's key length and segment count; 0 without an index.
  uint16_t KeySize();
  int IndexFieldCount();
  /// The field of segment `index` of the active index; setting it assigns
  /// that field's value.
  TField* IndexFields(int index);
  void SetIndexFields(int index, TField* value);
  void SetScoped(bool value);
  /// At most 4083 characters ("Scope text length exceeded 4082").
  void SetScopeBegin(const std::string& value);
  void SetScopeStart(const std::string& value) { SetScopeBegin(value); }
  const std::string& ScopeStart() const { return mstrScopeStart; }
  void SetScopeEnd(const std::string& value);
  /// "Circular Data Link" for a source that leads back here; clearing the
  /// source clears MasterFields.
  void SetMasterSource(TDataSource* source);
  void SetMasterFields(const std::string& value);

  // == editing (sdbdata_editing.cpp) ========================================
  //   EditHook, PostHook, InsertHook, CancelHook, RefreshHook, NewRecordStep,
  //   default values in ClearBufferHook, LastAutoincVal.
  //   Members: FOldRecordBuffer, mulSavedCRC, mbAppendEOF, mbAppendBOF,
  //   TEngineFieldDef::FModified (set by PutFieldData).
  /// The last auto-increment value the engine generated through the handle
  /// (a range error outside 32 bits).
  virtual int32_t LastAutoincVal();

  // == filters and locate (sdbdata_filters.cpp) =============================
  /// Stores the text; an active filtered dataset switches the engine filter
  /// to it and moves to its first record.
  void SetFilter(const std::string& text) override;
  /// Switches the engine filter on or off (with a handle); an active
  /// dataset moves to its first record.
  void SetFiltered(bool value) override;
  /// By an index seek when a usable index fits the key fields, else by a
  /// temporary engine filter; the position is unchanged when not found.
  bool Locate(std::string_view keyFields, const Variant& keyValues,
              const TLocateOptions& options) override;
  /// The result fields of the first matching record (Null when none); the
  /// dataset's position is unchanged, the engine's cursor restored.
  Variant Lookup(std::string_view keyFields, const Variant& keyValues,
                 std::string_view resultFields) override;
  /// From the first record of the current order, the first record for which
  /// the engine evaluates `filter` true; the engine cursor stays there.
  bool LocateLocally(const std::string& filter);
  /// Filter in the engine's form, its trailing "*" wildcards removed;
  /// `exact` is false when one was (string comparisons then match prefixes).
  std::string EngineFilterExpression(bool& exact);

  // == blobs (sdbdata_blobs.cpp) ============================================
  /// A TSdbBlobStream on a blob field of the active record ("Table must be
  /// in Edit or Insert state to open blob stream in Write Mode." for a
  /// writing stream outside dsEdit and dsInsert).
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  /// Kept only; no field becomes a binary blob through it.
  int32_t SdbBinaryFldLen() const { return mlBinaryFldLen; }
  void SetSdbBinaryFldLen(int32_t value) { mlBinaryFldLen = value; }

  // == table options (sdbdata_options.cpp) ===================================
  /// Renames the table in the dictionary (closed datasets on a dictionary
  /// connection only).
  virtual void RenameTable(const std::string& newTableName);
  /// Members that exist only to refuse use (code 5121, "The method ... in
  /// TSdbDataSet is not supported.").
  [[noreturn]] void TableLevel() const;
  [[noreturn]] void SetTableLevel(int value);
  [[noreturn]] void Database() const;
  [[noreturn]] void DBHandle() const;
  [[noreturn]] void DBLocale() const;
  [[noreturn]] void DBSession() const;
  [[noreturn]] void Provider() const;
  [[noreturn]] void SessionName() const;
  [[noreturn]] void SetSessionName(const std::string& value);
  [[noreturn]] void CacheBlobs() const;
  [[noreturn]] void SetCacheBlobs(bool value);
  [[noreturn]] void CachedUpdates() const;
  [[noreturn]] void SetCachedUpdates(bool value);
  [[noreturn]] void ExpIndex() const;
  [[noreturn]] void Locale() const;
  [[noreturn]] virtual void UpdateObject() const;
  [[noreturn]] void SetUpdateObject(TComponent* value);
  [[noreturn]] void UpdatesPending() const;
  [[noreturn]] void UpdateRecordTypes() const;
  [[noreturn]] void SetUpdateRecordTypes(int value);
  [[noreturn]] virtual void BatchMove(TDataSet* source, int mode);
  [[noreturn]] void UpdateStatus() const;

 protected:
  // -- virtual operations the layer adds ---------------------------------------
  // (ApplyEngineFilter, RemoveEngineFilter: sdbdata_filters.cpp; the getter
  // of LastAutoincVal: sdbdata_editing.cpp; BatchMove, RenameTable:
  // sdbdata_options.cpp.)
  /// Sets the engine scopes of ScopeBegin/ScopeEnd on the active index.
  virtual void ActivateScope();
  virtual void DeactivateScope();
  /// The sequence number stored with a fetched record.
  virtual int32_t GetEngineRecordNumber();
  /// Opens a new engine handle for the dataset and answers it.
  virtual uint32_t OpenCursorHandle() = 0;
  /// Switches the engine filter on with Filter (off when empty) or off.
  virtual void ApplyEngineFilter();
  virtual void RemoveEngineFilter();
  /// The indexes Locate may try when the active one does not fit: with
  /// `onlyActive` (lbFindFirst) just the active index, else every index of
  /// the table. A query overrides both choices.
  virtual std::vector<uint32_t> LocateIndexes(bool onlyActive);

  // -- keys (sdbdata_keys.cpp) -------------------------------------------------
  void KeyEditEndHook(bool post) override;
  void DoAfterOpen() override;
  /// Enters key mode on one of the key buffers, emptied unless `keep`.
  void BeginKeyMode(TSdbKeyIndex index, bool keep);
  /// Builds the raw key of a key buffer for the active index (room bytes).
  std::vector<uint8_t> BuildRawKey(TSdbKeyBuffer& buffer, uint16_t room);
  /// Seeks the lookup key (hard or soft); see GotoKey and GotoNearest.
  bool SeekKey(bool nearest);
  /// The exact seek that also passes OnFilterRecord.
  bool SeekWithRecordFilter(const std::vector<uint8_t>& key);
  /// Fills a key buffer from values for the active index's fields.
  void SetKeyValues(TSdbKeyIndex index, const std::vector<Variant>& values);
  /// Puts the range bounds into the engine's scopes; true when that changed
  /// anything.
  bool ApplyRangeScopes();
  /// The master range from the master link's fields, and its removal.
  void ApplyMasterRange();
  /// One segment of the active index: its field name and engine field
  /// number (0 for an expression segment).
  struct TSdbKeySegment {
    std::string Name;
    int FieldNo = 0;
  };
  /// The active index's segments, read once per index handle (handles are
  /// never reused, so a cached list never describes another index).
  const std::vector<TSdbKeySegment>& ActiveKeySegments();
  std::vector<TSdbKeySegment> FKeySegments;
  uint32_t FKeySegmentsHandle = SdbNoHandle;
  void CheckKeyMode() const;

  // -- editing (sdbdata_editing.cpp) ----------------------------------------------
  void InsertHook() override;
  void EditHook() override;
  void PostHook() override;
  void CancelHook() override;
  void RefreshHook() override;
  void NewRecordStep() override;
  /// Writes the fields marked changed from the active buffer to the engine.
  void WriteChangedFields(TRecordBuffer buffer);
  /// Puts the default expressions of the dataset's fields into a new record.
  void ApplyDefaultValues(TRecordBuffer buffer);
  /// Hands a modified blob cache's value to the engine's pending update.
  void FlushBlobCache(TSdbBlobCache& cache, const TEngineFieldDef& def);

  // -- hooks of the framework ------------------------------------------------
  void OpenHook() override;
  void CloseHook() override;
  bool HasHandleHook() override { return mlHandle != SdbNoHandle; }
  void ReadFieldDefsHook() override;
  void UpdateFieldDefsHook() override;
  std::unique_ptr<TField> FieldClassHook(TFieldType type) override;
  void DataEvent(TDataEvent event, TField* field = nullptr, int distance = 0) override;

  void GoFirstHook() override;
  void GoLastHook() override;
  TGetResult FetchRecordHook(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
  void GoBookmarkHook(const TBookmark& bookmark) override;
  void GoBufferRecordHook(TRecordBuffer buffer) override;

  TRecordBuffer NewBufferHook() override;
  void FreeBufferHook(TRecordBuffer buffer) override;
  int RecordSizeHook() override { return musRecordSize; }
  void ClearCalculatedHook(TRecordBuffer buffer) override;
  void ReadBookmarkHook(TRecordBuffer buffer, TBookmark& bookmark) override;
  void WriteBookmarkHook(TRecordBuffer buffer, const TBookmark& bookmark) override;
  TBookmarkFlag ReadBookmarkFlagHook(TRecordBuffer buffer) override;
  void WriteBookmarkFlagHook(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void PrepareNewBuffer(TRecordBuffer buffer) override;
  void ClearBufferHook(TRecordBuffer buffer) override;
  void DeleteHook() override;
  TRecordBuffer ActiveRecordBuffer() override;

  // -- services of the layer ---------------------------------------------------
  /// Raises ESDBDatabaseError 5121 with `message` and this dataset.
  [[noreturn]] void ComponentError(const std::string& message);
  /// The result check with this dataset.
  void Check(uint32_t result);
  /// The effective engine table kind of the open handle: 3 ADT, 4 VFP, else DBF.
  bool IsAdtTable() const { return musEngineTableType == 3; }
  bool IsVfpTable() const { return musEngineTableType == 4; }
  /// The NULL rule of the open table's kind for a field of a record image.
  bool IsFieldBlank(const TEngineFieldDef& def, const uint8_t* image);
  /// The stored length of a varchar/varbinary field, bounded by the field.
  uint32_t VaryingLength(const TEngineFieldDef& def, uint8_t* image);
  /// The right-aligned decimal text of a numeric field ("Numeric out of range.").
  std::string NumericText(const TEngineFieldDef& def, TFieldType nativeType, const void* value);
  double JulianFromText(const char* text, uint16_t length);
  /// The blob cache of a blob field in a record buffer (nullptr for buffers
  /// without caches).
  TSdbBlobCache* BlobCacheOf(TField* field, TRecordBuffer buffer);
  /// A VFP table's system flags of a field in a record image: option 1 reads
  /// the null flag, 2 sets it (value 0 or -1), 3 sets the full-length flag
  /// (0 or 1), 4 reads it. The engine opens no VFP tables yet, so the base
  /// refuses (code 5004); tests of the VFP conversions supply the flags.
  virtual int32_t VfpSystemField(const TEngineFieldDef& def, uint8_t* image, uint16_t option,
                                 int32_t value = 0);
  /// Reads the engine's current record into a buffer (image, bookmark, blob
  /// indicators, OEM translation, optionally calculated fields).
  void ReadRecordImage(TRecordBuffer buffer, bool calcFields);
  /// What ReadRecordImage does once the image and bookmark are in the buffer.
  void FinishRecordImage(TRecordBuffer buffer, bool calcFields);
  /// Whether the engine shows the active handle's current record (false
  /// when there is none).
  bool EngineRecordVisible();
  /// The fetch loop: the move by `skip` first, end detection, engine
  /// visibility, OnFilterRecord.
  TGetResult FetchVisibleRecord(TRecordBuffer buffer, TGetMode mode, int32_t skip = 0);
  /// Sets mlActiveHandle from the index selection (index name, fields or
  /// the default index) and lays the buffers out again.
  void ActivateIndex();
  /// Computes the buffer offsets from the fields and the bookmark size;
  /// refuses layouts past the 16-bit sizes.
  void ComputeBufferLayout();
  /// Drops the applied range from the engine's scopes; true when something
  /// changed (always with Scoped on).
  bool ClearRange();
  TSdbRecInfo& RecInfo(TRecordBuffer buffer) const {
    return *reinterpret_cast<TSdbRecInfo*>(buffer + musRecInfoOfs);
  }
  uint32_t BufferRecordNumber(TRecordBuffer buffer) const;
  TSdbBlobCache** BlobCaches(TRecordBuffer buffer) const {
    return reinterpret_cast<TSdbBlobCache**>(buffer + musBlobCacheOfs);
  }
  int BlobFieldCount() const { return FBlobFieldCount; }
  /// The handle movement uses: the active index, else the table.
  uint32_t MoveHandle() const {
    return mlActiveHandle == 0 || mlActiveHandle == SdbNoHandle ? mlHandle : mlActiveHandle;
  }
  /// The six key buffers, allocated at open and freed at close.
  void AllocateKeyBuffers();
  void FreeKeyBuffers();
  void InitKeyBuffer(TSdbKeyBuffer& buffer);
  /// Links to a connection (attaching to its list) without the checks.
  void LinkConnection(TSdbConnection* connection);
  /// TableType and the engine table type code that goes with it.
  void StoreTableType(TSdbTableTypes type);
  /// Whether the connection names the folder (DatabaseName empty or the
  /// connection's name).
  bool ConnectionDecidesPath() const;
  /// Whether this dataset is being read from a form resource.
  bool IsLoading() const { return HasState(csLoading); }
  /// Closes a handle opened for a purpose, ignoring any failure.
  static void CloseHandleQuietly(uint32_t handle);
  /// Fills FieldDefs and EngineFieldDefs from an engine handle.
  void ReadFieldDefs(uint32_t handle);

  // -- fields, in declaration order -----------------------------------------
  std::unique_ptr<TEngineFieldDefs> FEngineFieldDefs;
  std::vector<uint8_t> FOldRecordBuffer;  // editing: copy at Edit
  uint32_t mlActiveHandle = SdbNoHandle;
  TSdbIndexTypes meActiveIndexType = ndxNone;
  uint16_t musBlobCacheOfs = 0, musBookmarkOfs = 0;
  bool mbCanModify = false;
  std::string mstrDatabaseName;
  TRecordBuffer mpFilterBuffer = nullptr;  // filters: the record offered in dsFilter
  uint32_t mlHandle = SdbNoHandle;
  std::string mstrIndexFieldNames;
  std::unique_ptr<TIndexDefs> mpoIndexDefs;
  std::string mstrIndexName;
  std::string mstrDefaultIndex;
  std::vector<std::unique_ptr<TSdbKeyBuffer>> mapKeyBuffers;  // keys: six while open
  TSdbKeyBuffer* mpstKeyBuffer = nullptr;                     // keys: edited in dsSetKey
  std::string mstrMasterField;
  std::unique_ptr<TMasterDataLink> mpoMasterLink;
  uint16_t musRecBufSize = 0, musRecInfoOfs = 0, musRecordSize = 0;
  uint32_t mulTableOptions = 0;
  bool mbScoped = false;
  std::string mstrAliasPath;
  std::string mstrScopeEnd, mstrScopeStart;
  std::string strBinaryFieldName;  // blobs: stays empty
  int32_t mlBinaryFldLen = 0;
  bool mbIsSequenced = false;
  bool mbAppendEOF = false, mbAppendBOF = false;  // editing
  uint32_t mulSavedCRC = 0;                       // editing
  uint16_t musOpenCharType = 0;
  std::unique_ptr<TSdbTableOptions> mpoSdbTableOptions;
  bool mbExclusive = false, mbReadOnly = false;
  std::string mstrTableName;
  TSdbTableTypes meTableType = ttSdbADT;
  uint16_t musOpenTableType = 3;
  std::unique_ptr<TSdbIndexFiles> mpoIndexFiles;
  bool FbStoreActive = true;
  TSdbSequencedLevel meSeqLevel = slStandard;
  uint16_t musEngineTableType = 0;
  TSdbConnection* mpoSdbConnection = nullptr;

  // The record number of the record the last fetch read (0: none).
  uint32_t FLastRecordNumber = 0;
  // Derived at open: the bookmark size, the blob fields in blob-slot order.
  uint32_t FBookmarkSize = 0;
  int FBlobFieldCount = 0;
  std::vector<TField*> FBlobFields;

 private:
  friend class TSdbIndexFiles;

  // == filters and locate (sdbdata_filters.cpp) =============================
  /// The search of Locate and Lookup: key values into the spare buffer in
  /// dsFilter, then a seek or a filter; the engine returns to its position
  /// when nothing is found (and on failure).
  bool LocateRecord(std::string_view keyFields, const Variant& keyValues,
                    const TLocateOptions& options);
  /// The engine's position (its bookmark, 0 at an end) and the way back.
  uint32_t SavedPosition();
  void RestorePosition(uint32_t bookmark);
  bool SeekOrFilter(const std::vector<TField*>& fields, const TLocateOptions& options);
  bool SeekWithIndex(uint32_t index, const std::vector<TField*>& fields,
                     const std::string& partialField, bool partialKey, int wideKeys);
  bool SearchByFilter(const std::vector<TField*>& fields, const TLocateOptions& options);
  /// The engine expression comparing the key fields with the values in the
  /// filter buffer (only in dsFilter).
  std::string BuildFilterString(const std::vector<TField*>& fields, const TLocateOptions& options);

  // == blobs (sdbdata_blobs.cpp) ============================================
  friend class TSdbBlobStream;

  // == table options (sdbdata_options.cpp) ===================================
  friend class TSdbTableOptions;
  [[noreturn]] void NotSupported(const char* method) const;
};

/// The trailing-wildcard rule of filter texts: in a quoted string, a "*"
/// right before the closing quote is removed (unless the string is only
/// asterisks) and `exact` becomes false; CONTAINS( ... ) groups are left as
/// they are.
std::string SdbRewriteFilterWildcards(std::string text, bool& exact);
