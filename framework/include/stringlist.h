// TStringList: a list of strings, kept in insertion order or sorted, that can
// ignore or refuse duplicates and tells a listener when it changed.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "exceptions.h"

/// A refused list operation: an index out of bounds, a duplicate the list
/// does not accept, an insertion at a place of a sorted list.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

/// What Add does with a string the list already holds: dupIgnore answers the
/// existing entry, dupError raises, dupAccept adds it again. Only a sorted
/// list looks for duplicates.
enum TDuplicates { dupIgnore, dupAccept, dupError };

/// Strings compared without regard to case unless CaseSensitive. Descendants
/// may take over Add, Insert, Delete and Clear (every change goes through
/// them); OnChanging runs before and OnChange after each change, once per
/// BeginUpdate/EndUpdate bracket.
class TStringList {
 public:
  using TNotifyEvent = std::function<void(TStringList* sender)>;

  TStringList() = default;
  virtual ~TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  /// Raises "List index out of bounds (%d)".
  const std::string& Strings(int index) const;
  const std::string& operator[](int index) const { return Strings(index); }
  /// Replaces an entry (not allowed on a sorted list).
  void Put(int index, std::string value);

  /// Appends (a sorted list inserts in order) and answers the index. A
  /// sorted list with dupIgnore answers the index of an equal entry; with
  /// dupError it raises "String list does not allow duplicates".
  virtual int Add(const std::string& value);
  /// Inserts at `index` (0..Count); raises "Operation not allowed on sorted
  /// list" on a sorted list.
  virtual void Insert(int index, const std::string& value);
  virtual void Delete(int index);
  virtual void Clear();
  void AddStrings(const TStringList& source);
  /// Replaces the content with `source`'s strings (Sorted and Duplicates stay).
  void Assign(const TStringList& source);

  /// -1 when absent.
  int IndexOf(std::string_view value) const;
  /// Binary search of a sorted list (a linear one otherwise): true when
  /// found; `index` is the entry, or where it would be inserted.
  bool Find(std::string_view value, int& index) const;

  bool Sorted() const { return FSorted; }
  /// Sorting an unsorted list sorts its entries.
  void SetSorted(bool value);
  void Sort();
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates value) { FDuplicates = value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  /// Re-sorts a sorted list under the new comparison.
  void SetCaseSensitive(bool value);

  /// The lines, each followed by "\n".
  std::string Text() const;
  /// Splits at "\r\n", "\n" or "\r"; a final line break adds no empty line.
  void SetText(std::string_view text);

  void BeginUpdate();
  void EndUpdate();

  TNotifyEvent OnChanging, OnChange;

 protected:
  /// The raw storage operations descendants build on (no checks but the
  /// index, events included).
  void InsertItem(int index, const std::string& value);
  void DeleteItem(int index);
  void ClearItems();
  void CheckIndex(int index, int limit) const;
  int CompareStrings(std::string_view a, std::string_view b) const;
  void Changing();
  void Changed();

 private:
  std::vector<std::string> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = dupIgnore;
  int FUpdateCount = 0;
};
