// SQL statements: preparing engine SQL, binding :name parameters, executing
// on SQLite, and static cursors over SELECT results.
#include <sys/stat.h>

#include "sdbengineInt.h"

namespace sdbengine {
namespace {

// Finalizes a statement this file prepared itself.
struct Finalizer {
  sqlite3_stmt* stmt = nullptr;
  ~Finalizer() { sqlite3_finalize(stmt); }
};

sqlite3_stmt* PrepareOwn(Database& db, const std::string& sql, const std::string& context) {
  sqlite3_stmt* stmt = nullptr;
  int rc =
      sqlite3_prepare_v2(db.Handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    sdbstore::ThrowSqlite(db.Handle(), rc, context);
  }
  return stmt;
}

}  // namespace

void BindParam(Database& db, sqlite3_stmt* stmt, int index, const Param& p) {
  int rc = SQLITE_OK;
  switch (p.type) {
    case Param::Unset:
    case Param::Null:
      rc = sqlite3_bind_null(stmt, index);
      break;
    case Param::Integer:
      rc = sqlite3_bind_int64(stmt, index, p.i);
      break;
    case Param::Real:
      rc = sqlite3_bind_double(stmt, index, p.d);
      break;
    case Param::Text:
      rc = sqlite3_bind_text(stmt, index, p.s.data(), static_cast<int>(p.s.size()),
                             SQLITE_TRANSIENT);
      break;
    case Param::Blob:
      rc = sqlite3_bind_blob(stmt, index, p.s.data(), static_cast<int>(p.s.size()),
                             SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) sdbstore::ThrowSqlite(db.Handle(), rc, "binding a parameter");
}

namespace {

// Runs a prepared SELECT to its end and keeps its rows as a static cursor.
std::unique_ptr<StaticRows> Materialize(Database& db, sqlite3_stmt* stmt, std::string& table) {
  const int columns = sqlite3_column_count(stmt);
  std::vector<std::vector<sqlite3_value*>> values;
  std::vector<uint32_t> textBytes(columns, 0);
  struct Free {
    std::vector<std::vector<sqlite3_value*>>& v;
    ~Free() {
      for (auto& row : v)
        for (sqlite3_value* x : row) sqlite3_value_free(x);
    }
  } release{values};
  std::optional<sdbstore::ResultLayout> layout;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (!layout) layout = db.DescribeResult(stmt);
    std::vector<sqlite3_value*> row(columns);
    for (int c = 0; c < columns; ++c) {
      row[c] = sqlite3_value_dup(sqlite3_column_value(stmt, c));
      if (!row[c]) throw std::bad_alloc();
      if (sqlite3_value_type(row[c]) == SQLITE_TEXT)
        textBytes[c] = std::max<uint32_t>(textBytes[c], sqlite3_value_bytes(row[c]));
    }
    values.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) sdbstore::ThrowSqlite(db.Handle(), rc, "reading the result");
  if (!layout) layout = db.DescribeResult(stmt);

  auto rows = std::make_unique<StaticRows>();
  rows->fields = layout->fields;
  // Computed text columns: as wide as their longest value.
  bool relayout = false;
  for (size_t i = 0; i < rows->fields.size(); ++i) {
    FieldDef& f = rows->fields[i];
    int c = layout->columns[i];
    if ((f.type == sdbstore::FieldType::String || f.type == sdbstore::FieldType::CIString) &&
        sqlite3_column_table_name(stmt, c) == nullptr) {
      uint32_t width = std::max<uint32_t>(1, textBytes[c]);
      if (width != f.length) {
        f.length = f.maxLength = width;
        relayout = true;
      }
    }
  }
  rows->recordLength = relayout ? sdbstore::ComputeLayout(rows->fields) : layout->recordLength;
  table = layout->table;

  rows->rows = static_cast<int64_t>(values.size());
  rows->images.assign(values.size() * rows->recordLength, 0);
  rows->blobs.resize(values.size());
  for (size_t r = 0; r < values.size(); ++r) {
    uint8_t* image = rows->images.data() + r * rows->recordLength;
    sdbstore::InitRecord(rows->fields, image);
    for (size_t i = 0; i < rows->fields.size(); ++i) {
      const FieldDef& f = rows->fields[i];
      sqlite3_value* v = values[r][layout->columns[i]];
      if (sdbstore::IsBlobType(f.type)) {
        if (sqlite3_value_type(v) == SQLITE_NULL) continue;
        const void* data =
            sqlite3_value_type(v) == SQLITE_BLOB ? sqlite3_value_blob(v) : sqlite3_value_text(v);
        std::string value(static_cast<const char*>(data), sqlite3_value_bytes(v));
        if (value.empty()) continue;
        uint32_t indicator = static_cast<uint32_t>(value.size());
        if (sqlite3_value_type(v) == SQLITE_TEXT) {
          indicator = 0;
          for (unsigned char ch : value) indicator += (ch & 0xC0) != 0x80;
        }
        std::memcpy(image + f.offset, &indicator, 4);
        rows->blobs[r][static_cast<int>(i)] = std::move(value);
      } else {
        sdbstore::DecodeValue(f, v, image);
      }
    }
  }
  return rows;
}

Table& NewCursor(Statement& s, std::unique_ptr<StaticRows> rows, const std::string& table) {
  auto cursor = std::make_unique<Table>(Kind::Cursor, s.conn);
  cursor->name = table.empty() ? "the SQL result" : table;
  cursor->source = std::move(rows);
  cursor->statement = &s;
  Table& ref = *cursor;
  Register(std::move(cursor));
  s.cursors.insert(&ref);
  s.conn->tables.insert(&ref);
  return ref;
}

// The database a statement runs on: the dictionary, or for a folder the
// free-table file the statement names (created by CREATE TABLE).
Database& DatabaseFor(Connection& conn, std::string_view sql, sdbstore::Translation& tr) {
  if (conn.dictionary) {
    tr = conn.Dictionary().Translate(sql);
    return conn.Dictionary();
  }
  static thread_local std::unique_ptr<Database> scratch;
  if (!scratch) {
    sdbstore::OpenOptions open;
    open.create = true;
    scratch = Database::Open(":memory:", open);
  }
  auto fileOf = [&](const std::string& table) {
    std::string file = conn.folder + "/" + table;
    if (file.find('.', conn.folder.size() + 1) == std::string::npos) file += ".adt";
    return file;
  };
  // The statement alone names its table where no catalog is needed (CREATE
  // TABLE, most SELECTs); one that must know the table (CREATE INDEX, an
  // INSERT without a field list) works on the first name with a table file.
  sdbstore::Translation probe;
  try {
    probe = scratch->Translate(sql);
  } catch (const sdbstore::StoreError& e) {
    if (e.code() != sdbstore::kErrNotFound) throw;
    struct stat st {};
    for (const std::string& name : sdbstore::StatementNames(sql))
      if (::stat(fileOf(name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        probe.table = name;
        break;
      }
    if (probe.table.empty()) throw;
  }
  if (probe.table.empty())
    Throw(SDB_E_SQL,
          "Error 7200:  NativeError = 1; SQL on a folder of free tables must name "
          "one table: " +
              std::string(sql));
  std::string file = fileOf(probe.table);
  Database& db = conn.FreeFile(file, probe.kind == sdbstore::StatementKind::CreateTable);
  tr = db.Translate(sql);
  return db;
}

std::string ParamText(const Param& p) {
  switch (p.type) {
    case Param::Integer:
      return std::to_string(p.i);
    case Param::Real:
      return std::to_string(p.d);
    case Param::Text:
    case Param::Blob:
      return p.s;
    default:
      return "";
  }
}

// The record a statement of this thread was refused for, because another
// connection locks it (set by the lock check, read after the failed step).
struct LockConflict {
  bool hit = false;
  int64_t recno = 0;
};
thread_local LockConflict tLockConflict;

// sdb_record_lock_check(table id, record number): fails the statement when
// another connection holds the record's lock. The user data is the
// connection's lock owner of the database.
void RecordLockCheck(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* owner = static_cast<sdbstore::LockOwner*>(sqlite3_user_data(ctx));
  int64_t table = sqlite3_value_int64(argv[0]), recno = sqlite3_value_int64(argv[1]);
  if (owner->LockedByOther(table, recno)) {
    tLockConflict = {true, recno};
    sqlite3_result_error(ctx, "the record is locked by another user", -1);
    return;
  }
  sqlite3_result_null(ctx);
}

}  // namespace

void Connection::GuardLockedRecords(Database& db, const TableDef& table) {
  if (FGuarded.count({&db, table.id})) return;
  if (!FLockCheck.count(&db)) {
    int rc = sqlite3_create_function_v2(db.Handle(), "sdb_record_lock_check", 2,
                                        SQLITE_UTF8 | SQLITE_DIRECTONLY, &Locks(db),
                                        RecordLockCheck, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) sdbstore::ThrowSqlite(db.Handle(), rc, "registering the lock check");
    FLockCheck.insert(&db);
  }
  // Temporary triggers: this connection's own, gone with it, never stored.
  const std::string id = std::to_string(table.id);
  for (const char* event : {"UPDATE", "DELETE"})
    db.Exec(std::string("CREATE TEMP TRIGGER IF NOT EXISTS \"sdb_lock_") + event + "_" + id +
            "\" BEFORE " + event + " ON " + table.quotedName +
            " BEGIN SELECT sdb_record_lock_check(" + id + ", old.\"sdb_recno\"); END");
  FGuarded.insert({&db, table.id});
}

Statement::~Statement() = default;

void CloseStatement(Statement& s) {
  while (!s.cursors.empty()) CloseTable(**s.cursors.begin());
  s.conn->statements.erase(&s);
  Unregister(s.handle);
}

namespace {

using Prepared = Statement::Part;

// The statement's compiled first statement when it still fits the text.
Statement::Compiled* Reusable(Statement& s, const std::string& text) {
  Statement::Compiled* c = s.compiled.get();
  if (!c || c->text != text || c->db->SchemaGeneration() != c->generation) return nullptr;
  return c;
}

// Defers the schema check of a database while it lives.
class DeferredSchemaCheck {
 public:
  explicit DeferredSchemaCheck(Database* db) : FDb(db) {
    if (FDb) FDb->DeferSchemaCheck(true);
  }
  ~DeferredSchemaCheck() {
    if (FDb) FDb->DeferSchemaCheck(false);
  }
  DeferredSchemaCheck(const DeferredSchemaCheck&) = delete;
  DeferredSchemaCheck& operator=(const DeferredSchemaCheck&) = delete;

 private:
  Database* FDb;
};

// Gives a compiled statement back clean (no row pending, nothing bound), or
// finalizes one prepared for a single run.
struct StatementUse {
  sqlite3_stmt* stmt = nullptr;
  bool kept = false;
  ~StatementUse() {
    if (!kept) {
      sqlite3_finalize(stmt);
      return;
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }
};

// Splits the text into statements and numbers their parameters through the
// whole text. The first statement must translate now (its errors are the
// caller's); later ones may depend on what earlier ones create.
std::vector<Prepared> PrepareText(Statement& s, const std::string& sql) {
  std::vector<Prepared> out;
  size_t params = 0;
  for (const std::string& one : sdbstore::SplitStatements(sql)) {
    Prepared p;
    p.text = one;
    try {
      if (out.empty()) {
        if (Statement::Compiled* c = Reusable(s, one)) {
          p.params = c->tr.params;
          p.compiled = true;
          p.firstParam = 0;
          params = p.params.size();
          out.push_back(std::move(p));
          continue;
        }
        s.compiled.reset();
      }
      sdbstore::Translation tr;
      Database& db = DatabaseFor(*s.conn, one, tr);
      p.params = tr.params;
      using K = sdbstore::StatementKind;
      if (out.empty() && (tr.kind == K::Select || tr.kind == K::Insert || tr.kind == K::Update ||
                          tr.kind == K::Delete)) {
        auto c = std::make_unique<Statement::Compiled>();
        c->stmt = PrepareOwn(db, tr.sql, "");  // names SQLite does not know fail now
        if (s.conn->dictionary) {
          c->db = &db;
          c->generation = db.KnownGeneration();  // the translation just looked
          c->text = one;
          c->tr = std::move(tr);
          s.compiled = std::move(c);
          p.compiled = true;
        }
      }
    } catch (...) {
      if (out.empty()) throw;
      p.params = sdbstore::ParamNames(one);  // SplitStatements has closed every quote
    }
    p.firstParam = params;
    params += p.params.size();
    out.push_back(std::move(p));
  }
  if (out.empty()) Throw(SDB_E_SQL, "Error 7200:  NativeError = 21; the SQL text is empty.");
  return out;
}

// Executes prepared statements; answers the cursor of the last SELECT.
SDBHANDLE Run(Statement& s, const std::vector<Prepared>& list, bool wantCursor) {
  SDBHANDLE cursor = 0;
  s.rowsAffected = 0;
  for (const Prepared& p : list) {
    // The first statement runs as it was just compiled; later ones are
    // translated now, as they may depend on what earlier ones did.
    sdbstore::Translation own;
    Statement::Compiled* compiled = p.compiled ? s.compiled.get() : nullptr;
    Database& db = compiled ? *compiled->db : DatabaseFor(*s.conn, p.text, own);
    const sdbstore::Translation& tr = compiled ? compiled->tr : own;
    auto param = [&](size_t i) -> const Param& { return s.params.at(p.firstParam + i); };
    using K = sdbstore::StatementKind;
    if (tr.kind == K::Procedure) {
      std::string name = sdbstore::Upper(tr.procedure);
      auto arg = [&](size_t i) -> std::string {
        if (i >= tr.args.size()) return "";
        const std::string& a = tr.args[i];
        if (!a.empty() && a[0] == ':') {
          for (size_t k = 0; k < tr.params.size(); ++k)
            if (sdbstore::EqualNoCase(tr.params[k], a.substr(1))) return ParamText(param(k));
          return "";
        }
        return a;
      };
      if (name == "SP_SETAPPLICATIONID") {
        s.conn->applicationId = arg(0);
        continue;
      }
      if (name == "SP_GETAPPLICATIONID") {
        if (wantCursor) {
          Finalizer f{PrepareOwn(db, "SELECT ?1 AS ApplicationID", "sp_getapplicationid")};
          sqlite3_bind_text(f.stmt, 1, s.conn->applicationId.c_str(), -1, SQLITE_TRANSIENT);
          std::string table;
          auto rows = Materialize(db, f.stmt, table);
          rows->fields[0].name = "ApplicationID";
          cursor = NewCursor(s, std::move(rows), "").handle;
        }
        continue;
      }
      sdbstore::Translation call = tr;  // the catalog procedures take values, not markers
      for (size_t i = 0; i < call.args.size(); ++i) call.args[i] = arg(i);
      s.rowsAffected = db.Execute(call);
      BumpWriteEpoch();
      continue;
    }
    bool runsHere = tr.kind == K::Select || tr.kind == K::Insert || tr.kind == K::Update ||
                    tr.kind == K::Delete || tr.kind == K::Transaction || tr.kind == K::Other;
    if (!runsHere) {  // DDL, rights: the catalog's work
      db.Execute(tr);
      s.rowsAffected = 0;
      BumpWriteEpoch();
      continue;
    }
    StatementUse f{compiled ? compiled->stmt : PrepareOwn(db, tr.sql, ""), compiled != nullptr};
    for (size_t i = 0; i < tr.params.size(); ++i)
      BindParam(db, f.stmt, static_cast<int>(i + 1), param(i));
    if (sqlite3_column_count(f.stmt) > 0) {
      if (wantCursor && s.readOnly == 2 && tr.kind == K::Select) {  // a live cursor asked for
        std::vector<Param> bound;
        for (size_t i = 0; i < tr.params.size(); ++i) bound.push_back(param(i));
        if (Table* live = NewLiveCursor(s, db, tr, f.stmt, bound)) {
          s.rowsAffected = live->source->Count();
          cursor = live->handle;
          continue;
        }
      }
      std::string table;
      auto rows = Materialize(db, f.stmt, table);
      s.rowsAffected = rows->rows;
      if (wantCursor) cursor = NewCursor(s, std::move(rows), table).handle;
      continue;
    }
    if (tr.kind == K::Update || tr.kind == K::Delete) {
      auto def = db.FindTable(tr.table);
      if (def) s.conn->GuardLockedRecords(db, *def);  // the prepared statement follows
    }
    tLockConflict = {};
    int rc = sqlite3_step(f.stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
      if (tLockConflict.hit)  // the statement changed nothing
        Throw(SDB_E_RECORD_LOCKED, sdbstore::LockConflictText(tr.table, tLockConflict.recno));
      sdbstore::ThrowSqlite(db.Handle(), rc);
    }
    s.rowsAffected = sqlite3_changes(db.Handle());
    if (tr.kind == K::Other) db.InvalidateTables();  // it may have changed the schema
    if (tr.kind == K::Insert && s.rowsAffected > 0) {
      auto def = db.FindTable(tr.table);
      if (def && def->autoincField >= 0) s.lastAutoinc = sqlite3_last_insert_rowid(db.Handle());
    }
    BumpWriteEpoch();
  }
  return cursor;
}

// While a statement with a time-out of its own runs, that time-out bounds
// the waits for SQLite's locks on every file of the connection (files opened
// meanwhile included); the connection's own applies again afterwards.
class StatementTimeout {
 public:
  explicit StatementTimeout(const Statement& s)
      : FConn(*s.conn), FSaved(FConn.busyTimeoutMs), FActive(s.timeoutSec > 0) {
    if (FActive) Apply(s.timeoutSec * 1000);
  }
  ~StatementTimeout() {
    if (FActive) Apply(FSaved);
  }
  StatementTimeout(const StatementTimeout&) = delete;
  StatementTimeout& operator=(const StatementTimeout&) = delete;

 private:
  void Apply(int ms) {
    FConn.busyTimeoutMs = ms;
    for (Database* db : FConn.Databases()) db->SetBusyTimeout(ms);
  }
  Connection& FConn;
  const int FSaved;
  const bool FActive;
};

Statement& Stmt(SDBHANDLE h, const char* call) {
  if (IsClosedStatement(h))
    Throw(SDB_E_STATEMENT_CLOSED,
          std::string(call) + ": the statement " + std::to_string(h) + " is closed.");
  return As<Statement>(h, {Kind::Statement}, call);
}

}  // namespace
}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbCreateSQLStatement(SDBHANDLE hConnect, SDBHANDLE* phStatement) {
  return Api([&] {
    Need(phStatement, "statement handle");
    *phStatement = 0;
    Connection& conn = As<Connection>(hConnect, {Kind::Connection}, "SdbCreateSQLStatement");
    auto s = std::make_unique<Statement>(&conn);
    Statement* raw = s.get();
    *phStatement = Register(std::move(s));
    conn.statements.insert(raw);
    return SDB_SUCCESS;
  });
}

#define SDB_STMT_SETTING(Call, Member, Type)                   \
  extern "C" uint32_t Call(SDBHANDLE hStatement, Type value) { \
    return Api([&] {                                           \
      Stmt(hStatement, #Call).Member = value;                  \
      return SDB_SUCCESS;                                      \
    });                                                        \
  }
SDB_STMT_SETTING(SdbStmtSetTableLockType, lockType, uint16_t)
SDB_STMT_SETTING(SdbStmtSetTableRights, rights, uint16_t)
SDB_STMT_SETTING(SdbStmtSetTableReadOnly, readOnly, uint16_t)
SDB_STMT_SETTING(SdbStmtSetTableCharType, charType, uint16_t)
SDB_STMT_SETTING(SdbStmtConstrainUpdates, constrain, uint16_t)
SDB_STMT_SETTING(SdbStmtReadAllColumns, readAllColumns, uint16_t)
#undef SDB_STMT_SETTING

extern "C" uint32_t SdbStmtSetTableType(SDBHANDLE hStatement, uint16_t usTableType) {
  return Api([&] {
    Statement& s = Stmt(hStatement, "SdbStmtSetTableType");
    if (usTableType > SDB_TABLE_VFP)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbStmtSetTableType: unknown table type " + std::to_string(usTableType) + ".");
    s.tableType = usTableType;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbStmtSetTableCollation(SDBHANDLE hStatement, const char* pucCollation) {
  return Api([&] {
    Stmt(hStatement, "SdbStmtSetTableCollation").collation = pucCollation ? pucCollation : "";
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbPrepareSQLW(SDBHANDLE hStatement, const char16_t* pwcSQL) {
  return Api([&] {
    Statement& s = Stmt(hStatement, "SdbPrepareSQLW");
    s.prepared = false;
    s.parts.clear();
    s.paramNames.clear();
    s.params.clear();
    s.rowsAffected = -1;
    s.sql = sdbstore::Utf16ToUtf8(WideZ(Need(pwcSQL, "SQL text")));
    // The execution checks the schema in the read it runs in and translates
    // anew when it changed: the translation here can take the tables as last
    // seen and spare the file a read of its own. A text that fails so is
    // translated again on the tables as they are now, whose answer counts.
    try {
      DeferredSchemaCheck deferred(s.conn->dictionary ? &s.conn->Dictionary() : nullptr);
      s.parts = PrepareText(s, s.sql);
    } catch (...) {
      s.parts = PrepareText(s, s.sql);
    }
    for (const Prepared& p : s.parts)
      for (const std::string& name : p.params) s.paramNames.push_back(name);
    s.params.assign(s.paramNames.size(), Param{});
    s.prepared = true;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbExecuteSQL(SDBHANDLE hStatement, SDBHANDLE* phCursor) {
  return Api([&] {
    if (phCursor) *phCursor = 0;
    Statement& s = Stmt(hStatement, "SdbExecuteSQL");
    if (!s.prepared)
      Throw(SDB_E_INVALID_ARGUMENT, "SdbExecuteSQL: the statement has not been prepared.");
    StatementTimeout timeout(s);
    // Statements are translated as they run: the catalog they read may have
    // changed since the text was prepared. A single statement compiled by
    // the prepare runs as it is while the schema stays the same.
    bool single = s.parts.size() == 1 && s.parts[0].compiled && s.compiled;
    bool question = single && s.compiled->tr.kind == sdbstore::StatementKind::Select && phCursor &&
                    s.readOnly != 2;  // a static result: it only reads
    ReadTogether together(question ? s.compiled->db : nullptr);
    bool asPrepared = single && Reusable(s, s.parts[0].text);
    if (!asPrepared) s.parts = PrepareText(s, s.sql);
    SDBHANDLE cursor = Run(s, s.parts, phCursor != nullptr);
    if (phCursor) *phCursor = cursor;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbExecuteSQLDirectW(SDBHANDLE hStatement, const char16_t* pwcSQL,
                                         SDBHANDLE* phCursor) {
  return Api([&] {
    if (phCursor) *phCursor = 0;
    Statement& s = Stmt(hStatement, "SdbExecuteSQLDirectW");
    StatementTimeout timeout(s);
    s.sql = sdbstore::Utf16ToUtf8(WideZ(Need(pwcSQL, "SQL text")));
    s.prepared = false;
    s.parts.clear();
    s.paramNames.clear();
    s.parts = PrepareText(s, s.sql);
    for (const Prepared& p : s.parts)
      for (const std::string& name : p.params) s.paramNames.push_back(name);
    s.params.assign(s.paramNames.size(), Param{});  // markers without values bind NULL
    s.rowsAffected = -1;
    SDBHANDLE cursor = Run(s, s.parts, phCursor != nullptr);
    if (phCursor) *phCursor = cursor;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCloseSQLStatement(SDBHANDLE hStatement) {
  return Api([&] {
    CloseStatement(Stmt(hStatement, "SdbCloseSQLStatement"));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetSQLStmtParams(const char* pucStatement, char* pucParams,
                                        uint32_t* pulLen) {
  return Api([&] {
    std::string names;
    for (const std::string& name : sdbstore::ParamNames(Need(pucStatement, "SQL text")))
      names += name + ";";
    if (!pulLen) return SDB_SUCCESS;
    return PutText32(names, pucParams, pulLen);
  });
}

extern "C" uint32_t SdbSqlPeekStatement(SDBHANDLE hObj, uint16_t* pbIsCursor, uint16_t* pbIsLive) {
  return Api([&] {
    Table& t = TableOrCursor(hObj, "SdbSqlPeekStatement");
    if (pbIsCursor) *pbIsCursor = t.IsCursor() ? 1 : 0;
    if (pbIsLive) *pbIsLive = t.live ? 1 : 0;
    return SDB_SUCCESS;
  });
}
