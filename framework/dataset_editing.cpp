// TDataSet: editing, inserting, posting, cancelling, deleting and refreshing,
// and the generic checks of field assignments.
#include <algorithm>
#include <cstring>

#include "dataset.h"
#include "fields.h"
#include "sysutils.h"

namespace {
bool IsEditing(TDataSetState state) {
  return state == dsEdit || state == dsInsert;
}
}  // namespace

void TDataSet::CheckCanModify() const {
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
}

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& handler) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (EDatabaseError& error) {
      if (!handler) throw;
      TDataAction action = daFail;
      handler(this, error, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      // daRetry: run the operation again
    }
  }
}

void TDataSet::Edit() {
  if (IsEditing(FState)) return;
  CheckActive();
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  if (BeforeEdit) BeforeEdit(this);
  CheckOperation(&TDataSet::EditHook, OnEditError);
  CalculateFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange);
  if (AfterEdit) AfterEdit(this);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  if (BeforeInsert) BeforeInsert(this);
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    NewRecordStep();
  } catch (...) {
    // The new record is dropped; the buffers show the stored records again.
    UpdateCursorPos();
    SetState(dsBrowse);
    Resync({});
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange);
  if (AfterInsert) AfterInsert(this);
  DoAfterScroll();
}

// Insert and Append prepare the spare buffer before it joins the ring: when
// ClearBufferHook fails (a default value that does not convert), the records
// stay shown as they were.

void TDataSet::Insert() {
  BeginInsertAppend();
  bool empty = FRecordCount == 0;
  TRecordBuffer buffer = SpareBuffer();
  PrepareNewBuffer(buffer);
  if (empty) {
    WriteBookmarkFlagHook(buffer, bfBOF);
  } else {
    TBookmark current;
    ReadBookmarkHook(ActiveBuffer(), current);
    WriteBookmarkHook(buffer, current);
  }
  MoveBuffer(FRecordCount, FActiveRecord);
  if (FRecordCount < FBufferCount) ++FRecordCount;
  FBOF = false;
  FEOF = empty;
  InsertHook();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  int spare = FRecordCount;
  TRecordBuffer buffer = SpareBuffer();
  PrepareNewBuffer(buffer);
  WriteBookmarkFlagHook(buffer, bfEOF);
  ClearBuffers();
  MoveBuffer(spare, 0);
  FRecordCount = 1;
  FCurrentRecord = -1;
  GetPriorRecords();
  FBOF = false;
  FEOF = true;
  InsertHook();
  EndInsertAppend();
}

void TDataSet::PrepareNewBuffer(TRecordBuffer buffer) {
  ClearBufferHook(buffer);
  ClearCalculatedHook(buffer);
  WriteBookmarkFlagHook(buffer, bfInserted);
}

void TDataSet::NewRecordStep() {
  if (OnNewRecord) OnNewRecord(this);
}

void TDataSet::UpdateRecord() {
  if (!IsEditing(FState) && FState != dsSetKey)
    throw EDatabaseError("Dataset not in edit or insert mode");
  DataEvent(deUpdateRecord);
}

void TDataSet::ClearFields() {
  if (!IsEditing(FState)) throw EDatabaseError("Dataset not in edit or insert mode");
  DataEvent(deCheckBrowseMode);
  TRecordBuffer buffer = ActiveBuffer();
  ClearBufferHook(buffer);
  ClearCalculatedHook(buffer);
  CalculateFields(buffer);
  FModified = true;
  DataEvent(deRecordChange);
}

void TDataSet::Post() {
  CheckActive();
  UpdateRecord();
  if (FState == dsSetKey) {
    EndKeyEdit(true);
    return;
  }
  if (!IsEditing(FState)) return;
  DataEvent(deCheckBrowseMode);
  if (BeforePost) BeforePost(this);
  CheckOperation(&TDataSet::PostHook, OnPostError);
  SetState(dsBrowse);
  Resync({});
  if (AfterPost) AfterPost(this);
}

void TDataSet::Cancel() {
  if (FState == dsSetKey) {
    EndKeyEdit(false);
    return;
  }
  if (!IsEditing(FState)) return;
  DataEvent(deCheckBrowseMode);
  bool inserting = FState == dsInsert;
  if (BeforeCancel) BeforeCancel(this);
  if (inserting) DoBeforeScroll();
  UpdateCursorPos();
  CancelHook();
  SetState(dsBrowse);
  Resync({});
  if (AfterCancel) AfterCancel(this);
  if (inserting) DoAfterScroll();
}

void TDataSet::BeginKeyEdit() {
  SetState(dsSetKey);
  FModified = true;
  DataEvent(deDataSetChange);
}

void TDataSet::EndKeyEdit(bool post) {
  if (FState != dsSetKey) return;
  DataEvent(deCheckBrowseMode);
  KeyEditEndHook(post);
  SetState(dsBrowse);
  DataEvent(deDataSetChange);
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();  // a new record or a key is dropped, no stored record
    return;
  }
  if (FRecordCount == 0) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  CheckCanModify();
  DataEvent(deCheckBrowseMode);
  if (BeforeDelete) BeforeDelete(this);
  DoBeforeScroll();
  CheckOperation(&TDataSet::DeleteHook, OnDeleteError);
  SetState(dsBrowse);
  Resync({});
  if (AfterDelete) AfterDelete(this);
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckActive();
  DoBeforeRefresh();
  CheckBrowseMode();
  UpdateCursorPos();
  RefreshHook();
  Resync({});
  DoAfterRefresh();
}

void TDataSet::AddRecord(const std::vector<Variant>& values, bool append) {
  if (append)
    Append();
  else
    Insert();
  try {
    size_t count = std::min(values.size(), FFields.size());
    for (size_t i = 0; i < count; ++i)
      if (FFields[i]->FieldKind() == fkData) FFields[i]->SetValue(values[i]);
    Post();
  } catch (...) {
    if (IsEditing(FState)) Cancel();
    throw;
  }
}

// -- field assignment -------------------------------------------------------------

void TDataSet::CheckRequiredFields() {
  for (auto& field : FFields) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
        field->IsNull()) {
      field->FocusControl();
      throw EDatabaseError(Format("Field '%s' must have a value", {field->DisplayName()}));
    }
  }
}

void TDataSet::CheckFieldAssignment(TField* field, const void* buffer) {
  switch (FState) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc:
      break;
    default:
      throw EDatabaseError("Dataset not in edit mode");
  }
  if (FState == dsSetKey && (field->FieldNo() < 0 || !IsIndexField(field)))
    throw EDatabaseError(
        Format("Field '%s' is not indexed and cannot be modified", {field->DisplayName()}));
  if (field->FieldNo() <= 0 && field->FieldKind() != fkData) return;
  if (FState == dsCalcFields) throw EDatabaseError("Dataset not in edit mode");
  if (field->ReadOnly() && FState != dsSetKey && FState != dsFilter)
    throw EDatabaseError(Format("Field '%s' cannot be modified", {field->DisplayName()}));
  if (IsEditing(FState)) field->Validate(buffer);
}

void TDataSet::FieldChanged(TField* field) {
  if (FState == dsCalcFields || FState == dsFilter || FState == dsNewValue) return;
  DataEvent(deFieldChange, field);
}
