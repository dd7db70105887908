// TDataSet: construction, opening and closing, states, and the field list.
#include <algorithm>

#include "datalinks.h"
#include "dataset.h"
#include "fields.h"
#include "sysutils.h"

std::function<void(const std::exception&)>& ApplicationExceptionHandler() {
  static std::function<void(const std::exception&)> handler;
  return handler;
}

TDataSet::TDataSet(TComponent* owner)
    : TComponent(owner), FFieldDefs(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
  // A descendant closes in its own destructor (hooks cannot run from here);
  // the data sources and fields only have to forget this dataset.
  Destroying();
  for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) source->SetDataSet(nullptr);
  for (auto& field : FFields) field->FDataSet = nullptr;
}

void TDataSet::CheckActive() const {
  if (!FActive) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive() const {
  if (FActive) throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::SetActive(bool value) {
  if (value == FActive) return;
  if (value) {
    DoBeforeOpen();
    OpenCursor();
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    if (!IsDestroying()) DoBeforeClose();
    if (FState == dsEdit || FState == dsInsert || FState == dsSetKey) Cancel();
    SetState(dsInactive);
    CloseCursor();
    if (!IsDestroying()) DoAfterClose();
  }
}

void TDataSet::OpenCursor() {
  SetState(dsOpening);
  try {
    OpenHook();
    FActive = true;
    UpdateBufferCount();
    ClearBuffers();
    GetNextRecords();
    FBOF = true;
    FEOF = FRecordCount == 0;
  } catch (...) {
    FActive = false;
    FreeBuffers();
    try {
      CloseHook();
    } catch (...) {
    }
    BindFields(false);
    DestroyFields();
    FState = dsInactive;
    DataEvent(deUpdateState);
    throw;
  }
  SetState(dsBrowse);
}

void TDataSet::CloseCursor() {
  FActive = false;
  FreeBuffers();
  CloseHook();
  // Idempotent: a descendant's CloseHook may have done this already.
  BindFields(false);
  DestroyFields();
  FBOF = FEOF = false;
}

void TDataSet::SetState(TDataSetState value) {
  if (FState == value) return;
  FState = value;
  FModified = false;
  DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState old = FState;
  FState = value;
  return old;
}

bool TDataSet::IsLinkedTo(TDataSource* source) const {
  while (source) {
    TDataSet* dataSet = source->DataSet();
    if (!dataSet) break;
    if (dataSet == this) return true;
    source = dataSet->DataSource();
  }
  return false;
}

// -- fields ---------------------------------------------------------------------

void TDataSet::SetFieldDefs(const TFieldDefs& defs) {
  CheckInactive();
  FFieldDefs->Assign(defs);
}

TField* TDataSet::AddField(std::unique_ptr<TField> field) {
  CheckInactive();
  if (!field) throw EDatabaseError("Field is missing");
  if (!field->FieldName().empty() && FindField(field->FieldName()))
    throw EDatabaseError(Format("Duplicate field name '%s'", {field->FieldName()}));
  if (field->FDataSet) throw EDatabaseError("Field belongs to another dataset");
  field->FDataSet = this;
  FFields.push_back(std::move(field));
  FDefaultField.push_back(false);
  DataEvent(deFieldListChange);
  return FFields.back().get();
}

void TDataSet::RemoveField(TField* field) {
  CheckInactive();
  for (size_t i = 0; i < FFields.size(); ++i) {
    if (FFields[i].get() == field) {
      FFields.erase(FFields.begin() + static_cast<std::ptrdiff_t>(i));
      FDefaultField.erase(FDefaultField.begin() + static_cast<std::ptrdiff_t>(i));
      DataEvent(deFieldListChange);
      return;
    }
  }
}

TField* TDataSet::FindField(std::string_view name) const {
  for (auto& field : FFields)
    if (SameText(field->FieldName(), name)) return field.get();
  return nullptr;
}

TField* TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (!field) throw EDatabaseError(Format("Field '%s' not found", {name}));
  return field;
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view names) const {
  std::vector<TField*> result;
  size_t pos = 0;
  while (pos <= names.size()) {
    size_t end = names.find(';', pos);
    if (end == std::string_view::npos) end = names.size();
    std::string name = Trim(names.substr(pos, end - pos));
    if (!name.empty()) result.push_back(FieldByName(name));
    pos = end + 1;
  }
  return result;
}

std::unique_ptr<TField> TDataSet::FieldClassHook(TFieldType type) {
  return CreateFieldForType(type);
}

void TDataSet::CreateFields() {
  for (auto& field : FFields)
    if (field->FieldKind() == fkData) return;  // persistent data fields are kept
  for (int i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* def = FFieldDefs->Items(i);
    std::unique_ptr<TField> field = FieldClassHook(def->DataType());
    if (!field) continue;
    field->SetFieldName(def->Name());
    field->FSize = def->Size();
    field->SetRequired(def->Required());
    field->SetReadOnly(def->ReadOnly());
    if (auto* bcd = dynamic_cast<TBCDField*>(field.get())) bcd->SetPrecision(def->Precision());
    field->FDataSet = this;
    FFields.push_back(std::move(field));
    FDefaultField.push_back(true);
  }
}

void TDataSet::DestroyFields() {
  bool removed = false;
  for (size_t i = FFields.size(); i-- > 0;) {
    if (FDefaultField[i]) {
      FFields.erase(FFields.begin() + static_cast<std::ptrdiff_t>(i));
      FDefaultField.erase(FDefaultField.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
    }
  }
  if (removed) DataEvent(deFieldListChange);
}

void TDataSet::BindFields(bool binding) {
  FCalcFieldsSize = 0;
  FHasCalcFields = false;
  for (auto& field : FFields) {
    if (!binding) {
      if (field->FieldKind() == fkData) field->FFieldNo = 0;
      continue;
    }
    if (field->FieldKind() == fkData) {
      TFieldDef* def = FFieldDefs->Find(field->FieldName());
      TFieldType expected = def->DataType();
      TFieldType actual = field->DataType();
      auto family = [](TFieldType t) {
        // Fields of one family may stand for each other (an auto-increment
        // column read by an integer field, a memo by a blob field).
        switch (t) {
          case ftAutoInc:
            return ftInteger;
          case ftFixedChar:
            return ftString;
          case ftFMTBcd:
            return ftBCD;
          case ftMemo:
          case ftGraphic:
          case ftFmtMemo:
          case ftTypedBinary:
            return ftBlob;
          default:
            return t;
        }
      };
      if (family(expected) != family(actual))
        throw EDatabaseError(
            Format("Type mismatch for field '%s', expecting: %s actual: %s",
                   {field->DisplayName(), FieldTypeName(actual), FieldTypeName(expected)}));
      field->FFieldNo = def->FieldNo();
    } else {
      field->FFieldNo = -1;
      field->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += field->DataSize() + 1;
      FHasCalcFields = true;
      if (field->FieldKind() == fkLookup &&
          (!field->LookupDataSet() || field->KeyFields().empty() ||
           field->LookupKeyFields().empty() || field->LookupResultField().empty()))
        throw EDatabaseError(
            Format("Lookup information for field '%s' is incomplete", {field->DisplayName()}));
      if (field->FieldKind() == fkLookup && field->LookupDataSet() == this)
        throw EDatabaseError(
            Format("Field '%s' cannot look up its own dataset", {field->DisplayName()}));
    }
  }
}

// -- events ---------------------------------------------------------------------

void TDataSet::DoBeforeOpen() {
  if (BeforeOpen) BeforeOpen(this);
}
void TDataSet::DoAfterOpen() {
  if (AfterOpen) AfterOpen(this);
}
void TDataSet::DoBeforeClose() {
  if (BeforeClose) BeforeClose(this);
}
void TDataSet::DoAfterClose() {
  if (AfterClose) AfterClose(this);
}
void TDataSet::DoBeforeScroll() {
  if (BeforeScroll) BeforeScroll(this);
}
void TDataSet::DoAfterScroll() {
  if (AfterScroll) AfterScroll(this);
}
void TDataSet::DoBeforeRefresh() {
  if (BeforeRefresh) BeforeRefresh(this);
}
void TDataSet::DoAfterRefresh() {
  if (AfterRefresh) AfterRefresh(this);
}

bool TDataSet::ExceptionHook(const std::exception& error) {
  auto& handler = ApplicationExceptionHandler();
  if (!handler) return false;
  handler(error);
  return true;
}
