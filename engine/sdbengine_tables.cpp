// Tables: opening dictionary and free tables, sharing modes, closing, and the
// description of a table and its fields.
#include <dirent.h>
#include <sys/stat.h>

#include "sdbengineInt.h"

namespace sdbengine {
namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The free-table file a name stands for: a folder + name, ".adt" added when
// the name has no extension, matched without regard to case when the exact
// spelling does not exist.
std::string FreeTableFile(const Connection& conn, std::string_view name) {
  std::string file = LocalPath(name);
  if (file.find('/') == std::string::npos) file = conn.folder + "/" + file;
  size_t slash = file.rfind('/');
  if (file.find('.', slash + 1) == std::string::npos) file += ".adt";
  if (FileExists(file)) return file;
  std::string dir = file.substr(0, slash), base = file.substr(slash + 1);
  if (DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      if (sdbstore::EqualNoCase(e->d_name, base)) {
        file = dir + "/" + e->d_name;
        break;
      }
    }
    ::closedir(d);
  }
  return file;
}

std::string Stem(const std::string& file) {
  size_t slash = file.rfind('/');
  std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
  size_t dot = base.rfind('.');
  return dot == std::string::npos ? base : base.substr(0, dot);
}

}  // namespace

int Table::FieldIndex(SDBFIELD field, const char* call) const {
  const auto& fields = Fields();
  uintptr_t number = reinterpret_cast<uintptr_t>(field);
  if (number < 0x10000) {
    if (number == 0 || number > fields.size())
      Throw(SDB_E_FIELD_NOT_FOUND, std::string(call) + ": there is no field number " +
                                       std::to_string(number) + " in " + name + " (it has " +
                                       std::to_string(fields.size()) + " fields).");
    return static_cast<int>(number - 1);
  }
  for (size_t i = 0; i < fields.size(); ++i)
    if (sdbstore::EqualNoCase(fields[i].name, field)) return static_cast<int>(i);
  Throw(SDB_E_FIELD_NOT_FOUND,
        std::string(call) + ": the field \"" + field + "\" is not in " + name + ".");
}

Table::~Table() = default;

void ReleaseRecordLock(Table& table, int64_t recno) {
  table.heldLocks.erase(recno);
  for (const Table* other : table.conn->tables)
    if (other != &table && other->db == table.db && other->def && table.def &&
        other->def->id == table.def->id && other->heldLocks.count(recno))
      return;  // still held through another handle of the connection
  table.conn->Locks(*table.db).UnlockRecord(table.def->id, recno);
}

void CloseTable(Table& table) {
  table.CancelPending();
  while (table.db && !table.heldLocks.empty()) ReleaseRecordLock(table, *table.heldLocks.begin());
  CloseOrders(table);  // its index handles
  table.conn->tables.erase(&table);
  if (table.statement) table.statement->cursors.erase(&table);
  Unregister(table.handle);  // destroys the table
}

void Table::CheckWritable(const char* call, uint32_t right) const {
  if (IsStaticCursor())
    Throw(SDB_E_STATIC_CURSOR,
          std::string(call) + ": the SQL cursor is static; its rows cannot be changed.");
  if (openOptions & SDB_OPEN_READONLY)
    Throw(SDB_E_READ_ONLY, std::string(call) + ": the table " + name + " is open read-only.");
  if (checkRights && !(rights & right))
    Throw(SDB_E_PERMISSION, std::string(call) + ": " +
                                (right == sdbstore::kRightInsert   ? "insert"
                                 : right == sdbstore::kRightDelete ? "delete"
                                                                   : "update") +
                                " permission is not granted on the table " + name + ".");
}

}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbOpenTable90(SDBHANDLE hConnect, const char* pucName,
                                   const char* /*pucAlias*/, uint16_t usTableType,
                                   uint16_t /*usCharType*/, uint16_t /*usLockType*/,
                                   uint16_t usCheckRights, uint32_t ulOptions,
                                   const char* /*pucCollation*/, SDBHANDLE* phTable) {
  return Api([&] {
    Need(phTable, "table handle");
    *phTable = 0;
    Connection& conn = As<Connection>(hConnect, {Kind::Connection}, "SdbOpenTable90");
    std::string name = Need(pucName, "table name");
    if (name.empty()) Throw(SDB_E_INVALID_ARGUMENT, "SdbOpenTable90: the table name is empty.");
    if (usTableType == SDB_TABLE_NTX || usTableType == SDB_TABLE_CDX ||
        usTableType == SDB_TABLE_VFP)
      Throw(SDB_E_NOT_SUPPORTED,
            "SdbOpenTable90: DBF and VFP tables are not supported yet; "
            "open " +
                name + " as an ADT table (type 3).");
    if (usTableType > SDB_TABLE_VFP)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbOpenTable90: unknown table type " + std::to_string(usTableType) + ".");

    auto table = std::make_unique<Table>(Kind::Table, &conn);
    bool path = name.find('/') != std::string::npos || name.find('\\') != std::string::npos;
    if (conn.dictionary && !path) {
      table->db = &conn.Dictionary();
      table->def = table->db->FindTable(name);
      if (!table->def)
        Throw(SDB_E_TABLE_NOT_IN_DD,
              "The table " + name + " is not in the data dictionary " + conn.path + ".");
    } else {
      std::string file = FreeTableFile(conn, name);
      table->db = &conn.FreeFile(file, false);
      table->def = table->db->FindTable(Stem(file));
      if (!table->def) {
        auto names = table->db->ListTables();
        if (names.size() == 1) table->def = table->db->FindTable(names[0]);
      }
      if (!table->def)
        Throw(SDB_E_TABLE_NOT_IN_DD, "The file " + file + " holds no table " + Stem(file) + ".");
    }
    table->name = table->def->name;
    table->charType = table->def->charType;
    table->openOptions = ulOptions & (SDB_OPEN_EXCLUSIVE | SDB_OPEN_READONLY);
    table->checkRights = usCheckRights == SDB_CHECKRIGHTS && conn.dictionary && !path;
    if (table->checkRights) {
      table->rights = table->db->TableRights(conn.user, table->name);
      if (!(table->rights & sdbstore::kRightRead))
        Throw(SDB_E_PERMISSION, "Read permission is not granted on the table " + table->name + ".");
    }
    table->sharing = std::make_unique<sdbstore::LockOwner>(table->db->LockPath());
    if (!table->sharing->LockTable(table->def->id, table->Exclusive()))
      Throw(SDB_E_TABLE_IN_USE,
            table->Exclusive()
                ? "The table " + table->name +
                      " cannot be opened exclusively: another user has it open."
                : "The table " + table->name + " is opened exclusively by another user.");
    table->source = std::make_unique<TableRows>(*table->db, table->def);
    Table* raw = table.get();
    *phTable = Register(std::move(table));
    conn.tables.insert(raw);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCloseTable(SDBHANDLE hTable) {
  return Api([&] {
    CloseTable(TableOrCursor(hTable, "SdbCloseTable"));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCloseCachedTables(SDBHANDLE hConnect) {
  return Api([&] {
    As<Connection>(hConnect, {Kind::Connection}, "SdbCloseCachedTables");
    return SDB_SUCCESS;  // tables are never kept open behind the caller's back
  });
}

extern "C" uint32_t SdbGetTableType(SDBHANDLE hTable, uint16_t* pusType) {
  return Api([&] {
    Need(pusType, "table type");
    TableOrCursor(hTable, "SdbGetTableType");
    *pusType = SDB_TABLE_ADT;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetTableOpenOptions(SDBHANDLE hTable, uint32_t* pulOptions) {
  return Api([&] {
    Need(pulOptions, "options");
    Table& t = TableOrCursor(hTable, "SdbGetTableOpenOptions");
    uint32_t options = t.openOptions;
    if (t.IsStaticCursor()) {
      options |= SDB_OPEN_READONLY;
    } else {
      if (t.rights & sdbstore::kRightUpdate) options |= SDB_RIGHT_UPDATE;
      if (t.rights & sdbstore::kRightInsert) options |= SDB_RIGHT_INSERT;
    }
    *pulOptions = options;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetRecordLength(SDBHANDLE hTable, uint32_t* pulLength) {
  return Api([&] {
    *Need(pulLength, "length") = TableOrCursor(hTable, "SdbGetRecordLength").RecordLength();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetNumFields(SDBHANDLE hTable, uint16_t* pusCount) {
  return Api([&] {
    *Need(pusCount, "count") =
        static_cast<uint16_t>(TableOrCursor(hTable, "SdbGetNumFields").Fields().size());
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetFieldName(SDBHANDLE hTable, uint16_t usFld, char* pucName,
                                    uint16_t* pusBufLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetFieldName");
    int i = t.FieldIndex(SDB_FIELD(usFld), "SdbGetFieldName");
    return PutText(t.Fields()[i].name, pucName, pusBufLen);
  });
}

namespace {
const FieldDef& FieldOf(SDBHANDLE h, SDBFIELD field, const char* call) {
  Table& t = TableOrCursor(h, call);
  return t.Fields()[t.FieldIndex(field, call)];
}
}  // namespace

extern "C" uint32_t SdbGetFieldType(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pusType) {
  return Api([&] {
    Need(pusType, "type");
    *pusType = static_cast<uint16_t>(FieldOf(hTable, pucFldName, "SdbGetFieldType").type);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetFieldLength(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t* pulLength) {
  return Api([&] {
    Need(pulLength, "length");
    *pulLength = FieldOf(hTable, pucFldName, "SdbGetFieldLength").length;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetFieldOffset(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t* pulOffset) {
  return Api([&] {
    Need(pulOffset, "offset");
    *pulOffset = FieldOf(hTable, pucFldName, "SdbGetFieldOffset").offset;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetFieldDecimals(SDBHANDLE hTable, SDBFIELD pucFldName,
                                        uint16_t* pusDecimals) {
  return Api([&] {
    Need(pusDecimals, "decimals");
    *pusDecimals = FieldOf(hTable, pucFldName, "SdbGetFieldDecimals").decimals;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbIsNullable(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pbNullable) {
  return Api([&] {
    Need(pbNullable, "answer");
    *pbNullable = FieldOf(hTable, pucFldName, "SdbIsNullable").nullable ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetColumnPermissions(SDBHANDLE hTable, SDBFIELD pucFldName,
                                            uint8_t* pucPermissions) {
  return Api([&] {
    Need(pucPermissions, "permissions");
    Table& t = TableOrCursor(hTable, "SdbGetColumnPermissions");
    const FieldDef& f = t.Fields()[t.FieldIndex(pucFldName, "SdbGetColumnPermissions")];
    uint32_t rights = sdbstore::kRightAll;
    if (t.IsStaticCursor())
      rights = sdbstore::kRightRead;
    else if (t.checkRights)
      rights = t.db->ColumnRights(t.conn->user, t.name, f.name);
    *pucPermissions = static_cast<uint8_t>(rights & 0x7);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetTableCharType(SDBHANDLE hTable, uint16_t* pusCharType) {
  return Api([&] {
    *Need(pusCharType, "character type") = TableOrCursor(hTable, "SdbGetTableCharType").charType;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetTableCollation(SDBHANDLE hTable, char* pucCollation, uint16_t* pusLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetTableCollation");
    if (!t.def || t.def->collation.empty())
      Throw(SDB_E_NO_COLLATION, "The table " + t.name + " has no collation of its own.");
    return PutText(t.def->collation, pucCollation, pusLen);
  });
}

extern "C" uint32_t SdbIsTableEncrypted(SDBHANDLE hTable, uint16_t* pbEncrypted) {
  return Api([&] {
    TableOrCursor(hTable, "SdbIsTableEncrypted");
    return PutBool(false, pbEncrypted, "answer");
  });
}

extern "C" uint32_t SdbIsEncryptionEnabled(SDBHANDLE hTable, uint16_t* pbEnabled) {
  return Api([&] {
    TableOrCursor(hTable, "SdbIsEncryptionEnabled");
    return PutBool(false, pbEnabled, "answer");
  });
}

extern "C" uint32_t SdbEnableEncryption(SDBHANDLE hTable, const char* /*pucPassword*/) {
  return Api([&] {
    TableOrCursor(hTable, "SdbEnableEncryption");
    return SDB_SUCCESS;  // tables are not encrypted; nothing to enable
  });
}

extern "C" uint32_t SdbCacheRecords(SDBHANDLE hTable, uint16_t usNumRecords) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbCacheRecords");
    t.maxBatch = usNumRecords == 0 ? 1 : usNumRecords;
    t.cacheRecords = usNumRecords;
    t.DropBatch();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetCacheRecords(SDBHANDLE hTable, uint32_t* pulNumRecords) {
  return Api([&] {
    Need(pulNumRecords, "number of records");
    *pulNumRecords = TableOrCursor(hTable, "SdbGetCacheRecords").cacheRecords;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetBookmarkLength(SDBHANDLE hObj, uint32_t* pulLength) {
  return Api([&] {
    Need(pulLength, "length");
    Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Index}, "SdbGetBookmarkLength");
    *pulLength = 4;
    return SDB_SUCCESS;
  });
}
