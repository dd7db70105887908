#include "datalinks.h"

#include <algorithm>

#include "fields.h"

// -- TDataSource ------------------------------------------------------------------

TDataSource::~TDataSource() {
  for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) link->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

bool TDataSource::IsLinkedTo(TDataSet* dataSet) const {
  TDataSource* source = dataSet ? dataSet->DataSource() : nullptr;
  while (source) {
    if (source == this) return true;
    source = source->DataSet() ? source->DataSet()->DataSource() : nullptr;
  }
  return false;
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == FDataSet) return;
  if (IsLinkedTo(dataSet)) throw EDatabaseError("Circular datalinks are not allowed");
  if (FDataSet) FDataSet->RemoveDataSource(this);
  FDataSet = dataSet;
  if (FDataSet) FDataSet->AddDataSource(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (FAutoEdit && FDataSet && FDataSet->State() == dsBrowse) FDataSet->Edit();
}

void TDataSource::UpdateState() {
  TDataSetState state = FEnabled && FDataSet ? FDataSet->State() : dsInactive;
  if (state == dsOpening) state = dsInactive;  // controls see the open dataset only
  for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) link->UpdateState();
  if (state != FState) {
    FState = state;
    if (OnStateChange) OnStateChange(this);
  }
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int distance) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FEnabled || FState == dsInactive) return;
  for (TDataLink* link : std::vector<TDataLink*>(FDataLinks))
    link->DataEvent(event, field, distance);
  switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, event == deFieldChange ? field : nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::DetailEvent(TDataEvent event, TField* field, int distance) {
  if (!FEnabled) return;
  for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) {
    if (!dynamic_cast<TDetailDataLink*>(link)) continue;
    if (event == deUpdateState)
      link->UpdateState();
    else
      link->DataEvent(event, field, distance);
  }
}

void TDataSource::AddDataLink(TDataLink* link) {
  FDataLinks.push_back(link);
  if (FDataSet) FDataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), link), FDataLinks.end());
}

// -- TDataLink --------------------------------------------------------------------

TDataLink::~TDataLink() {
  if (FDataSource) FDataSource->RemoveDataLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == FDataSource) return;
  if (FDataSource) FDataSource->RemoveDataLink(this);
  FDataSource = source;
  if (FDataSource) FDataSource->AddDataLink(this);
  UpdateState();
}

void TDataLink::UpdateState() {
  TDataSet* dataSet = DataSet();
  bool active = FDataSource && FDataSource->Enabled() && dataSet &&
                dataSet->State() != dsInactive && dataSet->State() != dsOpening;
  if (active != FActive) {
    FFirstRecord = 0;
    if (active) UpdateRange(0);
    SetActive(active);
  }
  TDataSetState state = active ? dataSet->State() : dsInactive;
  SetEditing(!FReadOnly && (state == dsEdit || state == dsInsert || state == dsSetKey));
}

void TDataLink::SetActive(bool value) {
  FActive = value;
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (value == FEditing) return;
  FEditing = value;
  EditingChanged();
}

void TDataLink::SetReadOnly(bool value) {
  if (value == FReadOnly) return;
  FReadOnly = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int count) {
  count = std::max(1, count);
  if (count == FBufferCount) return;
  FBufferCount = count;
  if (TDataSet* dataSet = DataSet()) dataSet->UpdateBufferCount();
  if (FActive) UpdateRange(0);
}

int TDataLink::UpdateRange(int shift) {
  TDataSet* dataSet = DataSet();
  int oldFirst = FFirstRecord - shift;
  int count = dataSet->BufferedRecords();
  int active = dataSet->ActiveRecordIndex();
  FFirstRecord -= shift;
  if (active < FFirstRecord) FFirstRecord = active;
  if (active >= FFirstRecord + FBufferCount) FFirstRecord = active - FBufferCount + 1;
  if (FFirstRecord + FBufferCount > count) FFirstRecord = count - FBufferCount;
  if (FFirstRecord < 0) FFirstRecord = 0;
  return FFirstRecord - oldFirst;
}

int TDataLink::ActiveRecord() const {
  TDataSet* dataSet = DataSet();
  return FActive && dataSet ? dataSet->ActiveRecordIndex() - FFirstRecord : 0;
}

void TDataLink::SetActiveRecord(int index) {
  if (FActive) DataSet()->SetActiveRecordIndex(FFirstRecord + index);
}

int TDataLink::RecordCount() const {
  if (!FActive) return 0;
  return std::min(FBufferCount, DataSet()->BufferedRecords() - FFirstRecord);
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  try {
    UpdateData();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

int TDataLink::MoveBy(int distance) {
  return FActive ? DataSet()->MoveBy(distance) : 0;
}

void TDataLink::DataSetScrolled(int) {
  DataSetChanged();
}

void TDataLink::DataEvent(TDataEvent event, TField* field, int distance) {
  if (!FActive) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdating) RecordChanged(field);
      break;
    case deDataSetChange:
      UpdateRange(0);
      DataSetChanged();
      break;
    case deDataSetScroll:
      DataSetScrolled(UpdateRange(distance));
      break;
    case deLayoutChange:
      UpdateRange(0);
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(field);
      break;
    default:
      break;
  }
}

// -- TMasterDataLink ----------------------------------------------------------------

void TMasterDataLink::SetFieldNames(const std::string& names) {
  if (names == FFieldNames) return;
  FFieldNames = names;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  FFields.clear();
  if (Active()) {
    try {
      FFields = DataSet()->GetFieldList(FFieldNames);
    } catch (...) {
      FFields.clear();
      throw;
    }
  }
  if (FDetail->IsDestroying() || !FDetail->Active()) return;
  if (Active() && !FFields.empty()) {
    if (OnMasterChange) OnMasterChange(this);
  } else if (OnMasterDisable) {
    OnMasterDisable(this);
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDetail->Active() && (FDetail->State() == dsEdit || FDetail->State() == dsInsert))
    FDetail->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() {
  ActiveChanged();
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (!FDetail->Active() || FFields.empty() || DataSource()->State() == dsSetKey) return;
  if (field && std::find(FFields.begin(), FFields.end(), field) == FFields.end()) return;
  if (OnMasterChange) OnMasterChange(this);
}
