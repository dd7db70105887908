// TDataSet: calculated and lookup fields, record filtering, and the generic
// Locate and Lookup.
#include <cstring>

#include "dataset.h"
#include "fields.h"
#include "sysutils.h"

namespace {

// Restores a temporary state and buffer however the scope is left.
class TTempStateScope {
 public:
  TTempStateScope(TDataSetState& state, TDataSetState value, TRecordBuffer& slot,
                  TRecordBuffer buffer)
      : FState(state), FOldState(state), FSlot(slot), FOldBuffer(slot) {
    state = value;
    slot = buffer;
  }
  ~TTempStateScope() {
    FState = FOldState;
    FSlot = FOldBuffer;
  }
  TTempStateScope(const TTempStateScope&) = delete;
  TTempStateScope& operator=(const TTempStateScope&) = delete;

 private:
  TDataSetState& FState;
  TDataSetState FOldState;
  TRecordBuffer& FSlot;
  TRecordBuffer FOldBuffer;
};

bool IsTextField(const TField* field) {
  switch (field->DataType()) {
    case ftString:
    case ftWideString:
    case ftFixedChar:
    case ftFixedWideChar:
    case ftMemo:
    case ftWideMemo:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TDataSet::ClearCalculatedHook(TRecordBuffer buffer) {
  if (FCalcFieldsSize > 0) std::memset(buffer + RecordSizeHook(), 0, FCalcFieldsSize);
}

bool TDataSet::ReadCalcFieldData(TRecordBuffer buffer, TField* field, void* value) {
  const uint8_t* area = buffer + RecordSizeHook() + field->Offset();
  if (area[0] == 0) return false;
  if (value) std::memcpy(value, area + 1, field->DataSize());
  return true;
}

void TDataSet::WriteCalcFieldData(TRecordBuffer buffer, TField* field, const void* value) {
  uint8_t* area = buffer + RecordSizeHook() + field->Offset();
  area[0] = value ? 1 : 0;
  if (value)
    std::memcpy(area + 1, value, field->DataSize());
  else
    std::memset(area + 1, 0, field->DataSize());
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  if (!FHasCalcFields || !buffer) return;
  TTempStateScope scope(FState, dsCalcFields, FCalcBuffer, buffer);
  try {
    ClearCalculatedHook(buffer);
    for (auto& field : FFields) {
      if (field->FieldKind() != fkLookup) continue;
      TDataSet* lookup = field->LookupDataSet();
      if (!lookup || !lookup->Active()) continue;
      std::vector<TField*> keys = GetFieldList(field->KeyFields());
      std::vector<Variant> values;
      bool complete = !keys.empty();
      for (TField* key : keys) {
        values.push_back(key->Value());
        if (values.back().IsNull()) complete = false;
      }
      if (!complete) continue;
      Variant keyValues = values.size() == 1 ? values[0] : Variant::Array(values);
      Variant result =
          lookup->Lookup(field->LookupKeyFields(), keyValues, field->LookupResultField());
      if (!result.IsClear()) field->SetValue(result);
    }
    if (OnCalcFields) OnCalcFields(this);
  } catch (const std::exception& error) {
    if (!ExceptionHook(error)) throw;
  }
}

bool TDataSet::FilterRecord(TRecordBuffer buffer) {
  if (!FFiltered || !OnFilterRecord) return true;
  TTempStateScope scope(FState, dsFilter, FFilterBuffer, buffer);
  bool accept = true;
  try {
    OnFilterRecord(this, accept);
  } catch (const std::exception& error) {
    if (!ExceptionHook(error)) throw;
  }
  return accept;
}

void TDataSet::SetFiltered(bool value) {
  FFiltered = value;
  if (FActive) First();
}

bool TDataSet::RecordMatches(const std::vector<TField*>& fields, const Variant& keyValues,
                             const TLocateOptions& options) {
  bool caseInsensitive = options.count(loCaseInsensitive) > 0;
  bool partial = options.count(loPartialKey) > 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const Variant& key = fields.size() == 1 && !keyValues.IsArray() ? keyValues : keyValues[i];
    Variant value = fields[i]->Value();
    if (key.IsClear()) {
      if (!value.IsNull()) return false;
      continue;
    }
    if (value.IsNull()) return false;
    if (partial && IsTextField(fields[i])) {
      std::string text = value.AsString(), wanted = key.AsString();
      if (text.size() < wanted.size()) return false;
      std::string_view head(text.data(), wanted.size());
      if (caseInsensitive ? !SameText(head, wanted) : head != wanted) return false;
    } else if (VarCompareValue(value, key, caseInsensitive) != vrEqual) {
      return false;
    }
  }
  return true;
}

namespace {
void CheckKeyValues(size_t fieldCount, const Variant& keyValues) {
  bool ok = fieldCount == 1 ? (!keyValues.IsArray() || keyValues.ArrayLength() == 1)
                            : (keyValues.IsArray() && keyValues.ArrayLength() == fieldCount);
  if (!ok) throw EDatabaseError("The number of key values does not match the key fields");
}
}  // namespace

bool TDataSet::Locate(std::string_view keyFields, const Variant& keyValues,
                      const TLocateOptions& options) {
  CheckBrowseMode();
  std::vector<TField*> fields = GetFieldList(keyFields);
  CheckKeyValues(fields.size(), keyValues);
  return PositionedJump([&] {
    bool found = false;
    TTempStateScope scope(FState, dsFilter, FFilterBuffer, SpareBuffer());
    GoFirstHook();
    while (!found && FetchRecordHook(FFilterBuffer, gmNext, true) == grOK)
      found = RecordMatches(fields, keyValues, options);
    return found;
  });
}

Variant TDataSet::Lookup(std::string_view keyFields, const Variant& keyValues,
                         std::string_view resultFields) {
  CheckActive();
  if (keyValues.IsNull()) return Variant::Null();
  CheckBrowseMode();
  std::vector<TField*> fields = GetFieldList(keyFields);
  std::vector<TField*> results = GetFieldList(resultFields);
  CheckKeyValues(fields.size(), keyValues);
  Variant answer = Variant::Null();
  TTempStateScope scope(FState, dsFilter, FFilterBuffer, SpareBuffer());
  CursorPosChanged();
  GoFirstHook();
  while (FetchRecordHook(FFilterBuffer, gmNext, true) == grOK) {
    if (!RecordMatches(fields, keyValues, TLocateOptions{})) continue;
    if (results.size() == 1) {
      answer = results[0]->Value();
    } else {
      std::vector<Variant> values;
      for (TField* field : results) values.push_back(field->Value());
      answer = Variant::Array(std::move(values));
    }
    break;
  }
  return answer;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* field, TBlobStreamMode) {
  throw EDatabaseError(Format("Field '%s' is not a blob field", {field->DisplayName()}));
}

void TDataSetBlobStream::MarkCursorMoved() {
  if (TDataSet* dataSet = FField->DataSet()) dataSet->CursorPosChanged();
}

void TDataSetBlobStream::MarkFieldModified() {
  if (auto* blob = dynamic_cast<TBlobField*>(FField)) blob->SetModified(true);
  if (TDataSet* dataSet = FField->DataSet()) dataSet->FieldChanged(FField);
}
