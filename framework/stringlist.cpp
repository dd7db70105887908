// TStringList: storage, sorted insertion, duplicates and change events.
#include "stringlist.h"

#include <algorithm>

#include "sysutils.h"

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index, Count() - 1);
  return FItems[static_cast<size_t>(index)];
}

void TStringList::Put(int index, std::string value) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index, Count() - 1);
  Changing();
  FItems[static_cast<size_t>(index)] = std::move(value);
  Changed();
}

int TStringList::Add(const std::string& value) {
  int index = Count();
  if (FSorted && Find(value, index)) {
    if (FDuplicates == dupIgnore) return index;
    if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, value);
  return index;
}

void TStringList::Insert(int index, const std::string& value) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index, Count());
  InsertItem(index, value);
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count() - 1);
  DeleteItem(index);
}

void TStringList::Clear() {
  ClearItems();
}

void TStringList::AddStrings(const TStringList& source) {
  BeginUpdate();
  try {
    for (const std::string& item : std::vector<std::string>(source.FItems)) Add(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStringList::Assign(const TStringList& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStringList::IndexOf(std::string_view value) const {
  int index;
  return Find(value, index) ? index : -1;
}

bool TStringList::Find(std::string_view value, int& index) const {
  if (!FSorted) {
    for (int i = 0; i < Count(); ++i)
      if (CompareStrings(FItems[static_cast<size_t>(i)], value) == 0) {
        index = i;
        return true;
      }
    index = Count();
    return false;
  }
  // The first entry not below `value`, so a duplicate is found at its first place.
  int low = 0, high = Count();
  while (low < high) {
    int mid = (low + high) / 2;
    if (CompareStrings(FItems[static_cast<size_t>(mid)], value) < 0)
      low = mid + 1;
    else
      high = mid;
  }
  index = low;
  return low < Count() && CompareStrings(FItems[static_cast<size_t>(low)], value) == 0;
}

void TStringList::SetSorted(bool value) {
  if (value == FSorted) return;
  if (value) Sort();
  FSorted = value;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(
      FItems.begin(), FItems.end(),
      [this](const std::string& a, const std::string& b) { return CompareStrings(a, b) < 0; });
  Changed();
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == FCaseSensitive) return;
  FCaseSensitive = value;
  if (FSorted) Sort();
}

std::string TStringList::Text() const {
  std::string text;
  for (const std::string& item : FItems) {
    text += item;
    text += '\n';
  }
  return text;
}

void TStringList::SetText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      Add(std::string(text.substr(pos, end - pos)));
      pos = end;
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStringList::BeginUpdate() {
  if (FUpdateCount == 0) Changing();
  ++FUpdateCount;
}

void TStringList::EndUpdate() {
  if (--FUpdateCount == 0) Changed();
}

void TStringList::InsertItem(int index, const std::string& value) {
  Changing();
  FItems.insert(FItems.begin() + index, value);
  Changed();
}

void TStringList::DeleteItem(int index) {
  Changing();
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TStringList::ClearItems() {
  if (FItems.empty()) return;
  Changing();
  FItems.clear();
  Changed();
}

void TStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit)
    throw EStringListError(Format("List index out of bounds (%d)", {index}));
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  if (FCaseSensitive) return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
  return CompareText(a, b);
}

void TStringList::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}
