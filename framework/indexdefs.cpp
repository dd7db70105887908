// Index definitions and the search for the index of a field list.
#include "indexdefs.h"

#include "exceptions.h"
#include "sysutils.h"

std::vector<std::string> SplitFieldNames(std::string_view fields) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= fields.size()) {
    size_t end = fields.find(';', start);
    if (end == std::string_view::npos) end = fields.size();
    std::string name = Trim(fields.substr(start, end - start));
    if (!name.empty()) names.push_back(std::move(name));
    start = end + 1;
  }
  return names;
}

TIndexDef::TIndexDef(TIndexDefs* owner, std::string name, std::string fields, TIndexOptions options)
    : FOwner(owner), FName(std::move(name)), FFields(std::move(fields)), FOptions(options) {}

void TIndexDef::SetExpression(std::string expression) {
  FExpression = std::move(expression);
  if (FExpression.empty())
    FOptions.Exclude(ixExpression);
  else
    FOptions.Include(ixExpression);
}

const std::string& TIndexDef::FieldExpression() const {
  return FOptions.Contains(ixExpression) ? FExpression : FFields;
}

void TIndexDef::Assign(const TIndexDef& source) {
  if (&source == this) return;
  FName = source.FName;
  FFields = source.FFields;
  FDescFields = source.FDescFields;
  FCaseInsFields = source.FCaseInsFields;
  FExpression = source.FExpression;
  FOptions = source.FOptions;
}

TIndexDef* TIndexDefs::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EDatabaseError(Format("List index out of bounds (%d)", {index}));
  return FItems[index].get();
}

TIndexDef* TIndexDefs::Add(std::string name, std::string fields, TIndexOptions options) {
  FItems.push_back(std::make_unique<TIndexDef>(this, std::move(name), std::move(fields), options));
  return FItems.back().get();
}

TIndexDef* TIndexDefs::AddIndexDef() {
  return Add({}, {}, {});
}

void TIndexDefs::Delete(int index) {
  Items(index);  // range check
  FItems.erase(FItems.begin() + index);
}

void TIndexDefs::Clear() {
  FItems.clear();
}

void TIndexDefs::Assign(const TIndexDefs& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TIndexDef>> copies;
  copies.reserve(source.FItems.size());
  for (const auto& item : source.FItems) {
    auto copy = std::make_unique<TIndexDef>(this, std::string(), std::string(), TIndexOptions());
    copy->Assign(*item);
    copies.push_back(std::move(copy));
  }
  FItems = std::move(copies);
  FUpdated = source.FUpdated;
}

int TIndexDefs::IndexOf(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(FItems[i]->Name(), name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::FindIndexByName(std::string_view name) const {
  int index = IndexOf(name);
  return index < 0 ? nullptr : FItems[index].get();
}

TIndexDef* TIndexDefs::Find(std::string_view name) const {
  TIndexDef* def = FindIndexByName(name);
  if (!def) throw EDatabaseError(Format("Index '%s' not found", {name}));
  return def;
}

TIndexDef* TIndexDefs::GetIndexForFields(std::string_view fields, bool caseInsensitive) const {
  std::vector<std::string> wanted = SplitFieldNames(fields);
  if (wanted.empty()) return nullptr;
  auto usable = [&](const TIndexDef& def) {
    if (def.Options().Intersects({ixDescending, ixExpression})) return false;
    return !caseInsensitive || def.Options().Contains(ixCaseInsensitive);
  };
  // How many of the wanted names lead the definition's list; -1 if not all.
  auto leading = [&](const TIndexDef& def) {
    std::vector<std::string> names = SplitFieldNames(def.Fields());
    if (names.size() < wanted.size()) return -1;
    for (size_t i = 0; i < wanted.size(); ++i)
      if (!SameText(names[i], wanted[i])) return -1;
    return static_cast<int>(names.size());
  };
  for (const auto& def : FItems)
    if (usable(*def) && leading(*def) == static_cast<int>(wanted.size())) return def.get();
  for (const auto& def : FItems)
    if (usable(*def) && leading(*def) > 0) return def.get();
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(std::string_view fields) const {
  TIndexDef* def = GetIndexForFields(fields);
  if (!def) throw EDatabaseError(Format("No index for fields '%s'", {fields}));
  return def;
}

void TIndexDefs::Update() {
  if (FUpdated) return;
  if (FUpdater) FUpdater(*this);
  FUpdated = true;
}
