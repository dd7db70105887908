#include "fielddefs.h"

#include "dataset.h"
#include "sysutils.h"

TFieldDef::TFieldDef(TFieldDefs* owner, std::string name, TFieldType dataType, int size,
                     bool required, int fieldNo)
    : FOwner(owner),
      FName(std::move(name)),
      FDataType(dataType),
      FSize(size),
      FRequired(required),
      FFieldNo(fieldNo) {}

TFieldDef* TFieldDefs::Add(std::string name, TFieldType dataType, int size, bool required) {
  if (IndexOf(name) >= 0) throw EDatabaseError(Format("Duplicate field name '%s'", {name}));
  FItems.push_back(
      std::make_unique<TFieldDef>(this, std::move(name), dataType, size, required, Count() + 1));
  return FItems.back().get();
}

void TFieldDefs::Clear() {
  FItems.clear();
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(FItems[i]->Name(), name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view name) const {
  int index = IndexOf(name);
  if (index < 0) throw EDatabaseError(Format("Field '%s' not found", {name}));
  return FItems[index].get();
}

void TFieldDefs::Assign(const TFieldDefs& source) {
  if (&source == this) return;
  Clear();
  for (const auto& def : source.FItems) {
    TFieldDef* copy = Add(def->Name(), def->DataType(), def->Size(), def->Required());
    copy->SetPrecision(def->Precision());
    copy->SetReadOnly(def->ReadOnly());
  }
  FUpdated = source.FUpdated;
}

void TFieldDefs::Update() {
  if (FUpdated || !FDataSet) return;
  FDataSet->UpdateFieldDefsHook();
  FUpdated = true;
}
