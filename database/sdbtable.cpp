// TSdbTable: opening a table by name through a connection or from a folder,
// and whether its file exists.
#include "sdbtable.h"

#include <filesystem>

#include "sdbengine.h"
#include "sysutils.h"

TSdbTable::TSdbTable(TComponent* owner) : TSdbExtendedTable(owner) {}

TSdbTable::~TSdbTable() {
  // The table's handle must be closed while the object is whole.
  Destroying();
  try {
    Close();
  } catch (...) {
  }
}

void TSdbTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions value) {
  if (Active()) ComponentError("Cannot perform this operation on an open dataset");
  meIndexCollationMismatch = value;
}

uint32_t TSdbTable::OpenCursorHandle() {
  if (TableName().empty()) ComponentError("Missing TableName property");

  uint32_t options = 0;
  if (mbExclusive) options |= SDB_OPEN_EXCLUSIVE;
  if (mbReadOnly) options |= SDB_OPEN_READONLY;
  if (mpoSdbConnection && mpoSdbConnection->ReadOnly()) {
    options |= SDB_OPEN_READONLY;
    if (!HasState(csDesigning)) mbReadOnly = true;
  }
  if (meIndexCollationMismatch == icmIgnore) options |= SDB_OPEN_IGNORE_COLLATION;
  if (meIndexCollationMismatch == icmReindex) options |= SDB_OPEN_REINDEX;
  TSdbTableOptions& tableOptions = SdbTableOptions();
  if (tableOptions.SdbCachingOption() == tcReads) options |= SDB_OPEN_CACHE_READS;
  if (tableOptions.SdbCachingOption() == tcWrites) options |= SDB_OPEN_CACHE_WRITES;

  const uint16_t lockType = tableOptions.SdbLockType() == Proprietary ? 1 : 0;
  const uint16_t charType = static_cast<uint16_t>(tableOptions.SdbCharType() + 1);
  const uint16_t rights = tableOptions.SdbRightsCheck() ? SDB_CHECKRIGHTS : SDB_IGNORERIGHTS;

  const std::string path = GetDatabasePath();
  if (path.empty())
    ComponentError(
        "One of the DatabaseName property or the SdbConnection property must have a value.");
  const uint32_t connection = ConnectAndGetHandle();
  const bool dictionary = mpoSdbConnection && mpoSdbConnection->IsDictionaryConn();
  std::string name = dictionary ? TableName() : path + "/" + TableName();
  if (connection == 0 || connection == SdbNoHandle)
    ComponentError("Internal Error: invalid connection handle.");
  const std::string collation = GetEffectiveCollation();

  SDBHANDLE handle = 0;
  uint32_t rc = SdbOpenTable90(connection, name.c_str(), nullptr, dictionary ? 0 : musOpenTableType,
                               charType, lockType, rights, options, collation.c_str(), &handle);
  if (rc == SDB_E_TABLE_NOT_IN_DD && dictionary) {
    // Not in the dictionary: a free table in the dictionary's folder.
    name = path + "/" + TableName();
    rc = SdbOpenTable90(connection, name.c_str(), nullptr, musOpenTableType, charType, lockType,
                        rights, options, collation.c_str(), &handle);
  }
  Check(rc);

  // The handle is not the dataset's yet, so CloseHook cannot close it: every
  // failure from here on closes it (an exclusive open would otherwise keep
  // the table locked for the life of the process).
  try {
    uint16_t type = 0;
    Check(SdbGetTableType(handle, &type));
    musEngineTableType = type;
    if (dictionary) {
      musOpenTableType = type;
      meTableType = type == 2 ? ttSdbCDX : type == 1 ? ttSdbNTX : type == 4 ? ttSdbVFP : ttSdbADT;
    }

    uint16_t tableCharType = 0;
    Check(SdbGetTableCharType(handle, &tableCharType));
    musOpenCharType = tableCharType;
    char tableCollation[101];
    uint16_t length = 100;
    rc = SdbGetTableCollation(handle, tableCollation, &length);
    if (rc == SDB_E_NO_COLLATION || (rc == 0 && length == 0))
      tableOptions.SetSdbCharType(static_cast<TSdbCharTypes>(musOpenCharType - 1));
    else
      Check(rc);

    if (!EncryptionPassword().empty()) {
      uint16_t encrypted = 0, enabled = 0;
      Check(SdbIsTableEncrypted(handle, &encrypted));
      Check(SdbIsEncryptionEnabled(handle, &enabled));
      if (encrypted && !enabled) Check(SdbEnableEncryption(handle, EncryptionPassword().c_str()));
    }

    for (int i = 0; i < IndexFiles().Count(); ++i) {
      std::string file = path + "/" + IndexFiles()[i];
      SDBHANDLE indexes[256];
      uint16_t room = 256;
      Check(SdbOpenIndex(handle, file.c_str(), indexes, &room));
    }
  } catch (...) {
    CloseHandleQuietly(handle);
    throw;
  }
  return handle;
}

bool TSdbTable::Exists() {
  if (Active()) return true;
  if (TableName().empty()) return false;
  std::string file = GetNativeDatabasePath() + "/" + TableName();
  std::string leaf = file.substr(file.find_last_of("/\\") + 1);
  if (leaf.find('.') == std::string::npos) file += TableType() == ttSdbADT ? ".adt" : ".dbf";
  std::error_code error;
  if (std::filesystem::exists(file, error)) return true;
  // The tables of a dictionary live inside the dictionary file here, not
  // as files beside it: the dictionary is asked.
  if (!mpoSdbConnection || !mpoSdbConnection->IsDictionaryConn()) return false;
  const uint32_t connection = ConnectAndGetHandle();
  char name[261];
  uint16_t length = 260;
  SDBHANDLE search = 0;
  uint32_t rc =
      SdbDDFindFirstObject(connection, SDB_DD_TABLE_OBJECT, nullptr, name, &length, &search);
  if (rc == SDB_E_NO_MORE_OBJECTS) return false;
  Check(rc);
  bool found = false;
  while (rc == 0 && !found) {
    found = SameText(std::string(name, length), TableName());
    length = 260;
    if (!found) rc = SdbDDFindNextObject(connection, search, name, &length);
  }
  SdbDDFindClose(connection, search);
  if (rc != 0 && rc != SDB_E_NO_MORE_OBJECTS) Check(rc);
  return found;
}
