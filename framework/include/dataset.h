// TDataSet: the generic dataset contract. States, the ring of record buffers,
// navigation, editing, events and fields; storage comes from a descendant's hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "component.h"
#include "exceptions.h"
#include "fielddefs.h"
#include "fieldtypes.h"
#include "streams.h"
#include "variant.h"

class TField;
class TDataSet;
class TDataSource;
class TDataLink;

/// A record buffer: a block the descendant allocates (NewBufferHook) and lays
/// out. The framework only moves these pointers around its ring.
using TRecordBuffer = uint8_t*;
/// A bookmark: the descendant's bytes that find a record again.
using TBookmark = std::vector<uint8_t>;

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
/// Where a buffer stands: a fetched record, before the first, after the last,
/// a new record.
enum TBookmarkFlag { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };
enum TResyncModeItem { rmExact, rmCenter };
using TResyncMode = std::set<TResyncModeItem>;
enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = std::set<TLocateOption>;
/// The answer of an error handler: raise the error, abort silently, retry.
enum TDataAction { daFail, daAbort, daRetry };
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

/// Notices a dataset sends to its data sources and links.
enum TDataEvent {
  deFieldChange,      // a field of the active record changed (field given)
  deRecordChange,     // the active record changed as a whole
  deDataSetChange,    // the buffered records changed
  deDataSetScroll,    // the active record moved (distance given)
  deLayoutChange,     // fields or buffers were rearranged
  deUpdateRecord,     // controls: hand over edited values
  deUpdateState,      // the state changed
  deCheckBrowseMode,  // controls: finish editing, the dataset leaves its edit
  dePropertyChange,   // a property that describes the data changed
  deFieldListChange,  // fields were added or removed
  deFocusControl,     // a control should take the focus of a field
};

using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* dataSet, EDatabaseError& error, TDataAction& action)>;
using TFilterRecordEvent = std::function<void(TDataSet* dataSet, bool& accept)>;

/// The process-wide handler for exceptions raised inside event handlers that
/// must not break the operation around them (OnCalcFields, OnFilterRecord).
/// Empty by default: such exceptions then propagate.
std::function<void(const std::exception&)>& ApplicationExceptionHandler();

/// The generic dataset. An open dataset is in one TDataSetState; it keeps a
/// small ring of record buffers (one for each record a data link shows, at
/// least one, plus a spare) of which one is the active record.
///
/// Every operation changes state and sends events here; the records come from
/// the descendant through the *Hook members, called in these orders:
///   Open    BeforeOpen, dsOpening, OpenHook (must leave the cursor before the
///           first record), buffers allocated (NewBufferHook), forward fetches
///           (FetchRecordHook gmNext), dsBrowse, DoAfterOpen (AfterOpen),
///           AfterScroll. A failing OpenHook or first fetch: FreeBufferHook,
///           CloseHook, default fields destroyed, dsInactive, rethrow.
///   Close   BeforeClose, Cancel of an edit, dsInactive, FreeBufferHook for
///           each buffer, CloseHook, default fields destroyed, AfterClose.
///   First   browse-mode check, BeforeScroll, GoFirstHook, forward fetches,
///           AfterScroll (Last: GoLastHook and backward fetches).
///   Edit    nothing in dsEdit/dsInsert, Insert on an empty dataset; else
///           browse-mode check, CanModify check, BeforeEdit, EditHook under
///           OnEditError, calculated fields, dsEdit, deRecordChange, AfterEdit.
///   Insert  browse-mode check, CanModify check, BeforeInsert, BeforeScroll,
///           PrepareNewBuffer (ClearBufferHook, ClearCalculatedHook), InsertHook,
///           dsInsert, NewRecordStep (OnNewRecord), Modified cleared,
///           deDataSetChange, AfterInsert, AfterScroll. Append: the same with
///           the buffers cleared, the new buffer flagged bfEOF and the prior
///           records fetched. A failing PrepareNewBuffer leaves the buffered
///           records as they were; a failing NewRecordStep drops the new
///           record (dsBrowse, Resync). Both rethrow.
///   Post    deUpdateRecord (refused outside dsEdit, dsInsert, dsSetKey);
///           in dsEdit/dsInsert: deCheckBrowseMode, BeforePost, PostHook under
///           OnPostError, dsBrowse, Resync, AfterPost; in dsSetKey: the key
///           edit ends (EndKeyEdit, keeping the key).
///   Cancel  deCheckBrowseMode, BeforeCancel (+BeforeScroll for an insert),
///           CancelHook, dsBrowse, Resync, AfterCancel (+AfterScroll); in
///           dsSetKey: the key edit ends (EndKeyEdit, restoring the key).
///   Delete  deCheckBrowseMode, BeforeDelete, BeforeScroll, DeleteHook under
///           OnDeleteError, dsBrowse, Resync, AfterDelete, AfterScroll; in
///           dsInsert or dsSetKey it is Cancel.
///   Refresh BeforeRefresh, browse-mode check, RefreshHook, Resync, AfterRefresh.
///   Resync  FetchRecordHook gmCurrent into the spare buffer (rmExact: it must
///           succeed; else gmNext, then gmPrior, else the dataset shows no
///           record), then backward and forward fetches around it.
/// Before a hook that works on the active record (EditHook, PostHook,
/// CancelHook, DeleteHook, RefreshHook) the cursor is put on that record with
/// GoBufferRecordHook (or GoFirstHook/GoLastHook for a bfBOF/bfEOF buffer).
///
/// A dataset is a component (TComponent: Name, Owner, component state); an
/// owner destroys its datasets with itself.
///
/// A descendant's destructor must call Destroying() and Close(): hooks cannot
/// run from this destructor.
class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner = nullptr);
  ~TDataSet() override;

  // -- state -----------------------------------------------------------------
  TDataSetState State() const { return FState; }
  bool Active() const { return FActive; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  /// Raise "Cannot perform this operation on a closed dataset" / "... on an
  /// open dataset".
  void CheckActive() const;
  void CheckInactive() const;
  /// Whether records may be changed; descendants narrow it.
  virtual bool CanModify() const { return true; }
  bool Modified() const { return FModified; }
  /// True once destruction began (no events are sent then).
  bool IsDestroying() const { return HasState(csDestroying); }
  /// The data source this dataset takes values from (a master), if any.
  virtual TDataSource* DataSource() const { return nullptr; }
  /// True when `source` leads back to this dataset through master sources.
  bool IsLinkedTo(TDataSource* source) const;
  /// The master fields this dataset follows and its own matching fields; the
  /// base has none (both lists emptied).
  virtual void GetDetailLinkFields(std::vector<TField*>& masterFields,
                                   std::vector<TField*>& detailFields) {
    masterFields.clear();
    detailFields.clear();
  }

  // -- fields ----------------------------------------------------------------
  TFieldDefs& FieldDefs() { return *FFieldDefs; }
  void SetFieldDefs(const TFieldDefs& defs);
  int FieldCount() const { return static_cast<int>(FFields.size()); }
  TField* Fields(int index) const { return FFields.at(index).get(); }
  /// Adds a persistent field (kept across Close); only while closed. Raises
  /// "Duplicate field name '%s'" for a name already used.
  TField* AddField(std::unique_ptr<TField> field);
  template <class T, class... Args>
  T* NewField(Args&&... args) {
    return static_cast<T*>(AddField(std::make_unique<T>(std::forward<Args>(args)...)));
  }
  /// Removes and destroys a field; only while closed.
  void RemoveField(TField* field);
  /// Case-insensitive; nullptr when absent.
  TField* FindField(std::string_view name) const;
  /// Raises EDatabaseError "Field '%s' not found".
  TField* FieldByName(std::string_view name) const;
  /// The fields named in a ";"-separated list, each as FieldByName.
  std::vector<TField*> GetFieldList(std::string_view names) const;
  /// Whether calculated fields are recomputed when a field changes in an edit.
  bool AutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool value) { FAutoCalcFields = value; }
  /// Bytes of the calculated-field area of a record buffer (per calculated
  /// or lookup field: a presence byte and the value, at the field's Offset).
  int CalcFieldsSize() const { return FCalcFieldsSize; }

  // -- navigation ------------------------------------------------------------
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  /// Answers the number of records moved (negative backwards).
  int MoveBy(int distance);
  /// Rebuilds the buffers around the cursor's record. rmExact: that record
  /// must exist ("Record not found"); rmCenter: it is put in the middle of
  /// the ring, otherwise at the active record's place.
  void Resync(const TResyncMode& mode);
  /// Posts an edit whose dataset is Modified, cancels one that is not, posts
  /// a key edit.
  void CheckBrowseMode();
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount > 0; }

  virtual int RecordCount() { return -1; }
  virtual int RecNo() { return -1; }
  virtual void SetRecNo(int) {}
  virtual bool IsSequenced() { return false; }

  // -- bookmarks -------------------------------------------------------------
  /// The active record's bookmark, empty when there is none.
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& bookmark);
  /// Both empty 0; an empty one sorts after a present one; else bytewise.
  virtual int CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2);

  // -- editing ---------------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  void Refresh();
  /// Controls hand over their values; raises "Dataset not in edit or insert
  /// mode" outside dsEdit, dsInsert and dsSetKey.
  void UpdateRecord();
  /// Empties every field of the record being edited or inserted
  /// (ClearBufferHook, so a new record gets its defaults again) and
  /// recomputes the calculated fields. The record counts as Modified, so a
  /// browse-mode check posts it. Raises "Dataset not in edit or insert mode"
  /// outside dsEdit and dsInsert.
  void ClearFields();
  /// Copies `values` (one per field in field order; Null clears) into a new
  /// record and posts it (Append when `append`, else Insert).
  void InsertRecord(const std::vector<Variant>& values) { AddRecord(values, false); }
  void AppendRecord(const std::vector<Variant>& values) { AddRecord(values, true); }

  // -- filtering and searching ----------------------------------------------
  /// The filter expression; the descendant evaluates it (the base only
  /// stores it). OnFilterRecord applies while Filtered.
  const std::string& Filter() const { return FFilterText; }
  virtual void SetFilter(const std::string& text) { FFilterText = text; }
  bool Filtered() const { return FFiltered; }
  /// Stores the flag; an active dataset then moves to its first record.
  virtual void SetFiltered(bool value);
  /// Moves to the first record whose key fields (";"-separated) hold the key
  /// values (one value, or an array of one per field). The generic form walks
  /// the records; descendants search their storage.
  virtual bool Locate(std::string_view keyFields, const Variant& keyValues,
                      const TLocateOptions& options);
  /// The result fields' values (one value or an array) of the first matching
  /// record, Null when none matches; the current record does not change.
  virtual Variant Lookup(std::string_view keyFields, const Variant& keyValues,
                         std::string_view resultFields);

  // -- blob access -----------------------------------------------------------
  /// A stream on a blob field of the active record; the base has none and
  /// raises "Field '%s' is not a blob field".
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);

  // -- field data (the descendant's storage) ---------------------------------
  /// True when the field has a value in the buffer of the current state; with
  /// `buffer` the value is copied there in the field's native format.
  virtual bool GetFieldData(TField* field, void* buffer) = 0;
  /// Stores a native value (nullptr for Null) into the buffer of the current
  /// state. Descendants use CheckFieldAssignment, the calc-area helpers and
  /// FieldChanged.
  virtual void PutFieldData(TField* field, const void* buffer) = 0;
  /// Copies the record under the cursor into `buffer`; false without one.
  virtual bool GetCurrentRecord(TRecordBuffer) { return false; }
  /// Whether a field is part of the active key (key edits accept only those).
  virtual bool IsIndexField(TField*) { return false; }
  /// Whether a BCD field refuses a value its Precision cannot hold itself
  /// (true, the default) or hands it on unchecked, rounded to its decimals,
  /// so that PutFieldData applies the storage's own range rule and error.
  virtual bool FieldChecksBcdRange(const TField*) const { return true; }
  /// The field-change notice after a stored value (not in dsCalcFields,
  /// dsFilter, dsNewValue): marks the dataset Modified for a data field, runs
  /// the field's OnChange, recomputes calculated fields in an edit. Blob
  /// streams call it when they go away modified.
  void FieldChanged(TField* field);

  // -- events ----------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TFilterRecordEvent OnFilterRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  // -- record window for data links -------------------------------------------
  int ActiveRecordIndex() const { return FActiveRecord; }
  int BufferedRecords() const { return FRecordCount; }
  int BufferCount() const { return FBufferCount; }

 protected:
  // -- hooks: opening and fields ---------------------------------------------
  virtual void OpenHook() = 0;
  virtual void CloseHook() = 0;
  virtual bool HasHandleHook() = 0;
  /// Fills FieldDefs from the open storage.
  virtual void ReadFieldDefsHook() = 0;
  /// Behind FieldDefs().Update(); the base reads the definitions.
  virtual void UpdateFieldDefsHook() { ReadFieldDefsHook(); }
  /// Creates a field object of the class used for `type` (nullptr: none).
  virtual std::unique_ptr<TField> FieldClassHook(TFieldType type);
  /// Hands an exception raised in an event handler to the application's
  /// handler; true when one took it.
  virtual bool ExceptionHook(const std::exception& error);

  // -- hooks: positioning ------------------------------------------------------
  virtual void GoFirstHook() = 0;
  virtual void GoLastHook() = 0;
  virtual TGetResult FetchRecordHook(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
  virtual void GoBookmarkHook(const TBookmark& bookmark) = 0;
  virtual void GoBufferRecordHook(TRecordBuffer buffer) = 0;

  // -- hooks: buffers ----------------------------------------------------------
  virtual TRecordBuffer NewBufferHook() = 0;
  virtual void FreeBufferHook(TRecordBuffer buffer) = 0;
  virtual int RecordSizeHook() = 0;
  /// Zeroes the calculated-field area (at RecordSizeHook()).
  virtual void ClearCalculatedHook(TRecordBuffer buffer);
  virtual void ReadBookmarkHook(TRecordBuffer buffer, TBookmark& bookmark) = 0;
  virtual void WriteBookmarkHook(TRecordBuffer buffer, const TBookmark& bookmark) = 0;
  virtual TBookmarkFlag ReadBookmarkFlagHook(TRecordBuffer buffer) = 0;
  virtual void WriteBookmarkFlagHook(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
  /// Initialises a new record buffer: ClearBufferHook, calculated fields
  /// cleared, flag bfInserted. Descendants may reset more after calling it.
  virtual void PrepareNewBuffer(TRecordBuffer buffer);
  virtual void ClearBufferHook(TRecordBuffer buffer) = 0;

  // -- hooks: editing ----------------------------------------------------------
  virtual void InsertHook() {}
  /// Runs when a new record enters dsInsert; the base runs OnNewRecord.
  virtual void NewRecordStep();
  virtual void EditHook() {}
  /// Stores the active record; the base checks the required fields.
  virtual void PostHook() { CheckRequiredFields(); }
  virtual void CancelHook() {}
  virtual void DeleteHook() = 0;
  virtual void RefreshHook() {}

  // -- steps a descendant may extend ---------------------------------------------
  virtual void DataEvent(TDataEvent event, TField* field = nullptr, int distance = 0);
  virtual void DoBeforeOpen();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoAfterClose();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();
  virtual void DoBeforeRefresh();
  virtual void DoAfterRefresh();
  /// The buffer field access uses in the current state: the active buffer in
  /// dsBrowse (none on an empty dataset), dsEdit, dsInsert, dsNewValue; the
  /// calculation buffer in dsCalcFields and dsInternalCalc; the filter buffer
  /// in dsFilter; none otherwise.
  virtual TRecordBuffer ActiveRecordBuffer();

  // -- services for descendants ------------------------------------------------
  void SetState(TDataSetState value);
  /// Switches state without notices; RestoreState puts the old one back.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value) { FState = value; }
  void SetModified(bool value) { FModified = value; }
  /// Stores Filtered without moving (for descendants that switch their own
  /// filter in between).
  void SetFilteredFlag(bool value) { FFiltered = value; }

  /// Creates one default field per definition unless persistent data fields
  /// exist (FieldDefs must be up to date).
  void CreateFields();
  /// Binds data fields to their definitions (field numbers, types) and lays
  /// out the calculated-field area; unbinding forgets the field numbers.
  void BindFields(bool binding);
  /// Destroys the default fields (those CreateFields made).
  void DestroyFields();
  /// Raises "Field '%s' must have a value" for the first required data field
  /// that is null.
  void CheckRequiredFields();
  /// Raises "Cannot modify a read-only dataset" unless CanModify.
  void CheckCanModify() const;
  /// The generic checks of a field assignment: a writing state ("Dataset not
  /// in edit mode"), key fields in dsSetKey ("Field '%s' is not indexed and
  /// cannot be modified"), no data fields in dsCalcFields, read-only fields
  /// ("Field '%s' cannot be modified") outside dsSetKey and dsFilter, and
  /// the field's validation in dsEdit and dsInsert.
  void CheckFieldAssignment(TField* field, const void* buffer);
  /// Calculated-field area access: presence byte then value at the field's
  /// Offset after RecordSizeHook().
  bool ReadCalcFieldData(TRecordBuffer buffer, TField* field, void* value);
  void WriteCalcFieldData(TRecordBuffer buffer, TField* field, const void* value);
  /// The calculated-field step on a buffer: dsCalcFields, area cleared,
  /// lookup fields resolved, OnCalcFields.
  void CalculateFields(TRecordBuffer buffer);
  /// Offers a record to OnFilterRecord in dsFilter; true when accepted or
  /// when no record filter applies (Filtered off or no handler).
  bool FilterRecord(TRecordBuffer buffer);

  TRecordBuffer ActiveBuffer() const { return FBuffers[FActiveRecord]; }
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  TRecordBuffer FilterBuffer() const { return FFilterBuffer; }
  void SetFilterBuffer(TRecordBuffer buffer) { FFilterBuffer = buffer; }
  /// The first buffer after those holding records.
  TRecordBuffer SpareBuffer() const { return FBuffers[FRecordCount]; }
  TRecordBuffer Buffer(int index) const { return FBuffers.at(index); }
  /// The storage cursor has moved: the next buffer operation repositions it.
  void CursorPosChanged() { FCurrentRecord = -1; }
  /// Puts the storage cursor on the active record.
  void UpdateCursorPos();
  /// Sets the minimum ring size (at least 1).
  void SetMinBufferCount(int count);

  // -- key edits and positioned jumps -------------------------------------------
  /// Enters key mode after the descendant made its key buffer current (it
  /// has run the browse-mode check): dsSetKey, Modified, deDataSetChange.
  void BeginKeyEdit();
  /// Ends key mode (nothing outside dsSetKey): deCheckBrowseMode (controls
  /// hand over their values), KeyEditEndHook(post), dsBrowse,
  /// deDataSetChange. Post ends a key edit with post true, Cancel (and
  /// Delete, Close) with post false.
  void EndKeyEdit(bool post);
  /// The descendant's part of ending a key edit: post keeps the key just
  /// edited, cancel puts back the key saved when key mode began.
  virtual void KeyEditEndHook(bool /*post*/) {}
  /// A jump to a record the descendant finds: browse-mode check,
  /// BeforeScroll, cursor marked moved, seek(). When seek answers true the
  /// buffers are rebuilt around the cursor's record (Resync exact and
  /// centred) and AfterScroll runs; when it answers false the descendant has
  /// put the cursor back or moved by other means. Answers seek's answer.
  bool PositionedJump(const std::function<bool()>& seek);
  /// Frees every buffer and allocates as many again (after a change of the
  /// buffer layout); the ring is then empty until Resync or First refills it.
  /// If an allocation fails the dataset is closed and the error propagates.
  void RecreateBuffers();

 private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;
  friend class TFieldDefs;
  friend class TDataSetBlobStream;

  void OpenCursor();
  void CloseCursor();
  void SetBufferCount(int count);
  void FreeBuffers();
  void UpdateBufferCount();
  void ClearBuffers();
  void ActivateBuffers();
  void SetCurrentRecord(int index);
  void MoveBuffer(int from, int to);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void BeginInsertAppend();
  void EndInsertAppend();
  void AddRecord(const std::vector<Variant>& values, bool append);
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& handler);
  void SetActiveRecordIndex(int index);
  bool RecordMatches(const std::vector<TField*>& fields, const Variant& keyValues,
                     const TLocateOptions& options);
  void NotifyDataSources(TDataEvent event, TField* field, int distance);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);

  TDataSetState FState = dsInactive;
  bool FActive = false;
  bool FModified = false;
  bool FBOF = false;
  bool FEOF = false;
  bool FAutoCalcFields = true;
  bool FFiltered = false;
  std::string FFilterText;

  std::unique_ptr<TFieldDefs> FFieldDefs;
  std::vector<std::unique_ptr<TField>> FFields;
  std::vector<bool> FDefaultField;
  int FCalcFieldsSize = 0;
  bool FHasCalcFields = false;

  // The ring: FBuffers holds FBufferCount buffers and a spare; the first
  // FRecordCount hold records; FCurrentRecord is the buffer the storage
  // cursor stands on (-1: unknown).
  std::vector<TRecordBuffer> FBuffers;
  int FBufferCount = 0;
  int FMinBufferCount = 1;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  TRecordBuffer FCalcBuffer = nullptr;
  TRecordBuffer FFilterBuffer = nullptr;

  int FDisableCount = 0;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  std::vector<TDataSource*> FDataSources;
};

/// The base of a descendant's blob streams (CreateBlobStream): a stream
/// on one blob field of a dataset that can tell the dataset what it did.
class TDataSetBlobStream : public TStream {
 public:
  TDataSetBlobStream(TField* field, TBlobStreamMode mode) : FField(field), FMode(mode) {}
  TField* Field() const { return FField; }
  TBlobStreamMode Mode() const { return FMode; }

 protected:
  /// Reading the value may have moved the storage cursor: the dataset puts
  /// it back on its active record before its next buffer operation.
  void MarkCursorMoved();
  /// The value was changed through this stream: the field counts as
  /// modified and the dataset gets the field-change notice (Modified, the
  /// field's OnChange, calculated fields).
  void MarkFieldModified();

 private:
  TField* FField;
  TBlobStreamMode FMode;
};

// Callers of FieldByName(...)->AsString() need the field classes as well.
#include "fields.h"  // IWYU pragma: export
