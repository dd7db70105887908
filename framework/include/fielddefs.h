// Field definitions: the description of a dataset's columns (name, type, size,
// precision, attributes) from which its default fields are created.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fieldtypes.h"

class TDataSet;
class TFieldDefs;

/// One column: name, data type, size (characters of a string, decimals of a
/// packed decimal, bytes of a byte field), precision, and whether it is
/// required or read-only. FieldNo counts from 1 in definition order.
class TFieldDef {
 public:
  TFieldDef(TFieldDefs* owner, std::string name, TFieldType dataType, int size, bool required,
            int fieldNo);

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType type) { FDataType = type; }
  int Size() const { return FSize; }
  void SetSize(int size) { FSize = size; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int precision) { FPrecision = precision; }
  bool Required() const { return FRequired; }
  void SetRequired(bool value) { FRequired = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  int FieldNo() const { return FFieldNo; }
  TFieldDefs* Collection() const { return FOwner; }

 private:
  TFieldDefs* FOwner;
  std::string FName;
  TFieldType FDataType;
  int FSize;
  int FPrecision = 0;
  bool FRequired;
  bool FReadOnly = false;
  int FFieldNo;
};

/// The field definitions of a dataset. Names are unique without regard to
/// case. Update() asks the dataset (UpdateFieldDefsHook) for them unless they
/// are up to date; a change of the table marks them out of date.
class TFieldDefs {
 public:
  explicit TFieldDefs(TDataSet* dataSet = nullptr) : FDataSet(dataSet) {}
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TFieldDef* Items(int index) const { return FItems.at(index).get(); }
  TFieldDef* operator[](int index) const { return Items(index); }

  /// Adds a definition numbered after the last one. Raises "Duplicate field
  /// name '%s'" for a name already present.
  TFieldDef* Add(std::string name, TFieldType dataType, int size = 0, bool required = false);
  void Clear();
  /// Case-insensitive; -1 when absent.
  int IndexOf(std::string_view name) const;
  /// Raises EDatabaseError "Field '%s' not found".
  TFieldDef* Find(std::string_view name) const;
  /// Copies every definition of `source`.
  void Assign(const TFieldDefs& source);

  bool Updated() const { return FUpdated; }
  void SetUpdated(bool value) { FUpdated = value; }
  /// Reads the definitions from the dataset when they are out of date.
  void Update();

 private:
  TDataSet* FDataSet;
  std::vector<std::unique_ptr<TFieldDef>> FItems;
  bool FUpdated = false;
};
