// sdbtable: TSdbTable, a dataset over one table opened by name through a
// connection or from a folder.
#pragma once

#include <string>

#include "sdbfunc.h"

class TSdbTable : public TSdbExtendedTable {
 public:
  explicit TSdbTable(TComponent* owner = nullptr);
  ~TSdbTable() override;

  /// Only while closed ("Cannot perform this operation on an open dataset").
  TIndexCollationMismatchOptions IndexCollationMismatch() const { return meIndexCollationMismatch; }
  void SetIndexCollationMismatch(TIndexCollationMismatchOptions value);
  const std::string& EncryptionPassword() const { return FstrEncryptionPassword; }
  void SetEncryptionPassword(std::string value) { FstrEncryptionPassword = std::move(value); }
  /// True once field or index definitions were changed by hand.
  bool StoreDefs() const { return FStoreDefs; }
  void SetStoreDefs(bool value) { FStoreDefs = value; }
  /// True when open; when closed, whether the table's file exists in the
  /// database folder (".adt" or ".dbf" added to a name without extension).
  bool Exists();

 protected:
  /// Opens the table: option bits, lock and character type, rights check,
  /// collation; a table the dictionary does not know is tried once more as
  /// a free table of the dictionary's folder.
  uint32_t OpenCursorHandle() override;

 private:
  TIndexCollationMismatchOptions meIndexCollationMismatch = icmError;
  std::string FstrEncryptionPassword;
  bool FStoreDefs = false;
};
