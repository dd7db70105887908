// Index definitions: the description of a dataset's indexes (name, key
// fields, options) that finds the index for a list of fields.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDataSet;
class TIndexDefs;

enum TIndexOption {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained,
};

/// A set of TIndexOption.
class TIndexOptions {
 public:
  constexpr TIndexOptions() = default;
  constexpr TIndexOptions(std::initializer_list<TIndexOption> options) {
    for (TIndexOption o : options) FBits |= Bit(o);
  }
  constexpr bool Contains(TIndexOption o) const { return (FBits & Bit(o)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TIndexOptions& Include(TIndexOption o) {
    FBits |= Bit(o);
    return *this;
  }
  constexpr TIndexOptions& Exclude(TIndexOption o) {
    FBits &= ~Bit(o);
    return *this;
  }
  /// True when the sets share an option.
  constexpr bool Intersects(TIndexOptions other) const { return (FBits & other.FBits) != 0; }
  friend constexpr bool operator==(TIndexOptions, TIndexOptions) = default;

 private:
  static constexpr uint32_t Bit(TIndexOption o) { return 1u << static_cast<unsigned>(o); }
  uint32_t FBits = 0;
};

/// One index: its name, the key fields as names joined by ";", the fields
/// kept in descending or case-insensitive order within a mixed key, the key
/// expression of an expression index, and the options.
class TIndexDef {
 public:
  TIndexDef(TIndexDefs* owner, std::string name, std::string fields, TIndexOptions options);

  TIndexDefs* Collection() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  const std::string& Fields() const { return FFields; }
  void SetFields(std::string fields) { FFields = std::move(fields); }
  const std::string& DescFields() const { return FDescFields; }
  void SetDescFields(std::string fields) { FDescFields = std::move(fields); }
  const std::string& CaseInsFields() const { return FCaseInsFields; }
  void SetCaseInsFields(std::string fields) { FCaseInsFields = std::move(fields); }
  const std::string& Expression() const { return FExpression; }
  /// Setting a non-empty expression includes ixExpression, an empty one
  /// excludes it.
  void SetExpression(std::string expression);
  TIndexOptions Options() const { return FOptions; }
  void SetOptions(TIndexOptions options) { FOptions = options; }
  /// The expression of an expression index, else the field list.
  const std::string& FieldExpression() const;
  /// Copies everything but the owner.
  void Assign(const TIndexDef& source);

 private:
  TIndexDefs* FOwner;
  std::string FName;
  std::string FFields;
  std::string FDescFields;
  std::string FCaseInsFields;
  std::string FExpression;
  TIndexOptions FOptions;
};

/// The index definitions of a dataset, in the order the storage lists them.
/// They are filled on demand: Update() runs the updater (the owning dataset's
/// way of reading its indexes) when the list is out of date and then marks it
/// up to date; a dataset marks it out of date when its table changes. Names
/// and field lists are compared without regard to case.
class TIndexDefs {
 public:
  using TUpdater = std::function<void(TIndexDefs&)>;

  explicit TIndexDefs(TDataSet* dataSet = nullptr, TUpdater updater = {})
      : FDataSet(dataSet), FUpdater(std::move(updater)) {}
  TIndexDefs(const TIndexDefs&) = delete;
  TIndexDefs& operator=(const TIndexDefs&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  void SetUpdater(TUpdater updater) { FUpdater = std::move(updater); }

  int Count() const { return static_cast<int>(FItems.size()); }
  /// Raises EDatabaseError "List index out of bounds (%d)" for a bad index.
  TIndexDef* Items(int index) const;
  TIndexDef* operator[](int index) const { return Items(index); }

  TIndexDef* Add(std::string name, std::string fields, TIndexOptions options = {});
  /// An empty definition at the end, for the caller to fill.
  TIndexDef* AddIndexDef();
  void Delete(int index);
  void Clear();
  /// Replaces the definitions with copies of `source`'s and takes its
  /// up-to-date mark.
  void Assign(const TIndexDefs& source);

  /// Position of the definition named `name`, -1 when there is none.
  int IndexOf(std::string_view name) const;
  /// nullptr when there is none.
  TIndexDef* FindIndexByName(std::string_view name) const;
  /// Raises EDatabaseError "Index '%s' not found".
  TIndexDef* Find(std::string_view name) const;

  /// The index that orders by `fields` (names joined by ";", blanks around
  /// names ignored): among definitions that are neither descending nor
  /// expression indexes (and, with caseInsensitive, only case-insensitive
  /// ones), the first whose field list equals `fields`, else the first whose
  /// list begins with them. nullptr when none fits.
  TIndexDef* GetIndexForFields(std::string_view fields, bool caseInsensitive = false) const;
  /// As GetIndexForFields; raises EDatabaseError "No index for fields '%s'".
  TIndexDef* FindIndexForFields(std::string_view fields) const;

  bool Updated() const { return FUpdated; }
  void SetUpdated(bool value) { FUpdated = value; }
  /// Runs the updater when out of date; marks the list up to date after it
  /// returns (a failing updater leaves it out of date).
  void Update();

 private:
  TDataSet* FDataSet;
  TUpdater FUpdater;
  std::vector<std::unique_ptr<TIndexDef>> FItems;
  bool FUpdated = false;
};

/// The names of a ";"-separated field list, each without surrounding blanks;
/// empty names are dropped.
std::vector<std::string> SplitFieldNames(std::string_view fields);
