// Database files: opening, the statement cache, transactions, the catalog's
// tables and indexes, and the row operations the cursors run.
#include <sys/stat.h>

#include <atomic>
#include <cstring>

#include "sdbstore.h"

namespace sdbstore {

namespace {

std::atomic<int (*)(sqlite3*)> gInitHook{nullptr};

const char* kCatalogSql = R"sql(
CREATE TABLE IF NOT EXISTS sdb_tables(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  table_type INTEGER NOT NULL DEFAULT 3,
  char_type INTEGER NOT NULL DEFAULT 1,
  collation TEXT NOT NULL DEFAULT '',
  rowversion INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS sdb_fields(
  table_id INTEGER NOT NULL,
  field_no INTEGER NOT NULL,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  length INTEGER NOT NULL DEFAULT 0,
  decimals INTEGER NOT NULL DEFAULT 0,
  nullable INTEGER NOT NULL DEFAULT 1,
  default_value TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(table_id, field_no),
  UNIQUE(table_id, name));
CREATE TABLE IF NOT EXISTS sdb_indexes(
  table_id INTEGER NOT NULL,
  name TEXT NOT NULL COLLATE NOCASE,
  sqlite_name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  expression TEXT NOT NULL DEFAULT '',
  is_unique INTEGER NOT NULL DEFAULT 0,
  is_candidate INTEGER NOT NULL DEFAULT 0,
  is_primary INTEGER NOT NULL DEFAULT 0,
  condition TEXT NOT NULL DEFAULT '',
  index_file TEXT NOT NULL DEFAULT '',
  ordinal INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(table_id, name));
CREATE TABLE IF NOT EXISTS sdb_segments(
  table_id INTEGER NOT NULL,
  index_name TEXT NOT NULL COLLATE NOCASE,
  seg_no INTEGER NOT NULL,
  field TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  expression TEXT NOT NULL,
  descending INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(table_id, index_name, seg_no));
CREATE TABLE IF NOT EXISTS sdb_table_props(
  table_id INTEGER NOT NULL,
  prop_id INTEGER NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(table_id, prop_id));
CREATE TABLE IF NOT EXISTS sdb_db_props(
  prop_id INTEGER PRIMARY KEY,
  value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS sdb_users(
  name TEXT PRIMARY KEY COLLATE NOCASE,
  password TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS sdb_groups(
  name TEXT PRIMARY KEY COLLATE NOCASE);
CREATE TABLE IF NOT EXISTS sdb_members(
  user_name TEXT NOT NULL COLLATE NOCASE,
  group_name TEXT NOT NULL COLLATE NOCASE,
  PRIMARY KEY(user_name, group_name));
CREATE TABLE IF NOT EXISTS sdb_rights(
  grantee TEXT NOT NULL COLLATE NOCASE,
  table_id INTEGER NOT NULL,
  field TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  rights INTEGER NOT NULL,
  PRIMARY KEY(grantee, table_id, field));
INSERT OR IGNORE INTO sdb_db_props(prop_id, value) VALUES (111, '1'), (112, '0');
)sql";

// At most `limit` bytes of UTF-8 text, never splitting a character; "..."
// marks a cut.
std::string Shortened(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "...";
}

// Error texts stay short enough to be read whole by a caller's 600-byte
// buffer: the message and the statement it came from are cut.
std::string SqlErrorText(int rc, const char* message, std::string_view context) {
  std::string text = "Error 7200:  State = HY000;   NativeError = " + std::to_string(rc) + ";  " +
                     Shortened(message ? message : sqlite3_errstr(rc), 200);
  if (!context.empty()) text += " -- " + Shortened(context, 120);
  return text;
}

// A file path as the path of a "file:" URI.
std::string UriPath(const std::string& path) {
  std::string out;
  for (unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

void ThrowSqlite(sqlite3* db, int rc, std::string_view context) {
  int code = rc;
  const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  if (db && sqlite3_extended_errcode(db) != 0) code = sqlite3_extended_errcode(db) & 0xFF;
  if (code == SQLITE_READONLY) {
    const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
    throw StoreError(kErrReadOnly,
                     "The database file " + std::string(file && *file ? file : "") +
                         " can only be read here (no write permission, or read-only "
                         "storage): the change was not stored. " +
                         SqlErrorText(code, msg, context),
                     code);
  }
  throw StoreError(kErrSql, SqlErrorText(code, msg, context), code);
}

void SetConnectionInitHook(int (*hook)(sqlite3*)) {
  gInitHook = hook;
}

// ---------------------------------------------------------------- TableDef

void TableDef::FinishLayout() {
  recordLength = ComputeLayout(fields);
  selectList = "\"sdb_recno\"";
  autoincField = -1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    selectList +=
        IsBlobType(f.type) ? ", length(" + QuoteIdent(f.name) + ")" : ", " + QuoteIdent(f.name);
    if (f.type == FieldType::AutoInc && autoincField < 0) autoincField = static_cast<int>(i);
  }
}

std::shared_ptr<const TableDef> TableDef::Projection(const std::vector<int>& fieldIndexes) const {
  auto p = std::make_shared<TableDef>(*this);
  p->fields.clear();
  for (int i : fieldIndexes) p->fields.push_back(fields.at(static_cast<size_t>(i)));
  p->FinishLayout();
  return p;
}

int TableDef::FieldIndex(std::string_view n) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (EqualNoCase(fields[i].name, n)) return static_cast<int>(i);
  return -1;
}

const IndexDef* TableDef::FindIndex(std::string_view n) const {
  for (const IndexDef& x : indexes)
    if (EqualNoCase(x.name, n)) return &x;
  return nullptr;
}

// ---------------------------------------------------------------- open / close

Database::Database(sqlite3* db, std::string path) : FDb(db), FPath(std::move(path)) {}

Database::~Database() {
  for (auto& [sql, stmt] : FStatements) sqlite3_finalize(stmt);
  FRowSql.clear();
  sqlite3_close_v2(FDb);
}

std::unique_ptr<Database> Database::Open(const std::string& path, const OpenOptions& options) {
  struct stat st;
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode))
    throw StoreError(kErrFileOpen, "The path " + path + " is a folder, not a database file.");
  if (!exists && !options.create)
    throw StoreError(kErrFileOpen, "The database file " + path + " does not exist.");
  // An empty file (a truncated copy, a full disk) is no database: opening it
  // would silently make it an empty one. Only creating may start from it.
  if (exists && st.st_size == 0 && !options.create)
    throw StoreError(kErrFileOpen, "The file " + path + " is empty: it is not a database.");
  // A file this user may only read (no write permission, read-only storage,
  // a folder where the journal cannot be made) is opened read-only: reads
  // work, writes answer 5046.
  bool readOnly = options.readOnly;
  std::string folder = path.find('/') == std::string::npos
                           ? std::string(".")
                           : path.substr(0, std::max<size_t>(path.rfind('/'), 1));
  if (exists && !readOnly && !options.create && path != ":memory:" &&
      (::access(path.c_str(), W_OK) != 0 || ::access(folder.c_str(), W_OK) != 0))
    readOnly = true;
  // A connection with everything opened through it is used by one thread at
  // a time (the C API's thread rule), so SQLite's own connection mutex would
  // only be taken and released around every step and column read, unshared.
  int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
              (options.create && !readOnly ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  std::string name = path;
  if (readOnly && ::access(folder.c_str(), W_OK) != 0 &&
      ::access((path + "-wal").c_str(), F_OK) != 0) {
    // Without a write-ahead log beside it the file is complete, and SQLite
    // cannot make its shared-memory file in this folder: read it as it is.
    name = "file:" + UriPath(path) + "?immutable=1";
    flags |= SQLITE_OPEN_URI;
  }
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    sqlite3_close_v2(raw);
    throw StoreError(kErrFileOpen, "The database file " + path + " cannot be opened: " + msg + ".");
  }
  std::unique_ptr<Database> db(new Database(raw, path));
  sqlite3_extended_result_codes(raw, 0);
  db->SetBusyTimeout(options.busyTimeoutMs);
  try {
    // The first statement reads the header: a file that is not a database fails here.
    if (readOnly)
      db->Exec("SELECT count(*) FROM sqlite_master");
    else
      db->Exec("PRAGMA journal_mode=WAL");
    db->Exec(
        "PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF; PRAGMA recursive_triggers=OFF;"
        " PRAGMA cache_size=-16384");
    if (!readOnly) db->EnsureCatalog();
  } catch (const StoreError& e) {
    if (e.native() == SQLITE_NOTADB || e.native() == SQLITE_CORRUPT)
      throw StoreError(kErrFileOpen, "The file " + path + " is not a database: " + e.what());
    throw;
  }
  if (auto hook = gInitHook.load()) {
    int hrc = hook(raw);
    if (hrc != SQLITE_OK) ThrowSqlite(raw, hrc, "registering the engine's functions");
  }
  return db;
}

void Database::EnsureCatalog() {
  // Cheap when it exists: one look at the schema.
  auto have = QueryText("SELECT 1 FROM sqlite_master WHERE type='table' AND name='sdb_rights'");
  if (have) return;
  Exec("SAVEPOINT sdb_catalog");
  try {
    Exec(kCatalogSql);
    Exec("RELEASE sdb_catalog");
  } catch (...) {
    sqlite3_exec(FDb, "ROLLBACK TO sdb_catalog; RELEASE sdb_catalog", nullptr, nullptr, nullptr);
    throw;
  }
}

void Database::SetBusyTimeout(int ms) {
  sqlite3_busy_timeout(FDb, ms);
}

// ---------------------------------------------------------------- statements

sqlite3_stmt* Database::Prepare(std::string_view sql) {
  auto it = FStatements.find(sql);
  if (it != FStatements.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(FDb, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(FDb, rc, sql);
  FStatements.emplace(std::string(sql), stmt);
  return stmt;
}

void Database::Exec(std::string_view sql) {
  std::string s(sql);
  char* err = nullptr;
  int rc = sqlite3_exec(FDb, s.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    int code = sqlite3_errcode(FDb) ? sqlite3_errcode(FDb) : rc;
    throw StoreError(kErrSql,
                     SqlErrorText(code & 0xFF, msg.c_str(), s.size() > 200 ? s.substr(0, 200) : s),
                     code & 0xFF);
  }
}

bool Database::Step(sqlite3_stmt* stmt) {
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);  // a finished statement holds no read transaction open
    return false;
  }
  const char* sql = sqlite3_sql(stmt);
  sqlite3_reset(stmt);
  ThrowSqlite(FDb, rc, sql ? sql : "");
}

namespace {
void BindArgs(sqlite3_stmt* stmt, std::initializer_list<std::string_view> args) {
  int i = 1;
  for (std::string_view a : args)
    sqlite3_bind_text(stmt, i++, a.data(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
}
}  // namespace

int Database::Run(std::string_view sql, std::initializer_list<std::string_view> args) {
  sqlite3_stmt* stmt = Prepare(sql);
  BindArgs(stmt, args);
  while (Step(stmt)) {
  }
  sqlite3_reset(stmt);
  return sqlite3_changes(FDb);
}

std::optional<std::string> Database::QueryText(std::string_view sql,
                                               std::initializer_list<std::string_view> args) {
  sqlite3_stmt* stmt = Prepare(sql);
  BindArgs(stmt, args);
  std::optional<std::string> out;
  if (Step(stmt) && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
    const unsigned char* t = sqlite3_column_text(stmt, 0);
    out.emplace(reinterpret_cast<const char*>(t), sqlite3_column_bytes(stmt, 0));
  }
  sqlite3_reset(stmt);
  return out;
}

// ---------------------------------------------------------------- transactions

void Database::Begin(bool immediate) {
  Exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}
void Database::Commit() {
  Exec("COMMIT");
}
void Database::Rollback() {
  if (InTransaction()) Exec("ROLLBACK");
}
void Database::Savepoint(std::string_view name) {
  Exec("SAVEPOINT " + QuoteIdent(name));
}
void Database::RollbackTo(std::string_view name) {
  Exec("ROLLBACK TO " + QuoteIdent(name) + "; RELEASE " + QuoteIdent(name));
}
void Database::Release(std::string_view name) {
  Exec("RELEASE " + QuoteIdent(name));
}

namespace {
// Runs body inside a savepoint: all or nothing, inside or outside a transaction.
template <class F>
void Atomically(Database& db, F&& body) {
  db.Exec("SAVEPOINT sdb_ddl");
  try {
    body();
    db.Exec("RELEASE sdb_ddl");
  } catch (...) {
    sqlite3_exec(db.Handle(), "ROLLBACK TO sdb_ddl; RELEASE sdb_ddl", nullptr, nullptr, nullptr);
    db.InvalidateTables();
    throw;
  }
}

std::string ColText(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(s, i))
           : std::string();
}

[[noreturn]] void NoTable(std::string_view name) {
  throw StoreError(kErrNotFound,
                   "The table " + std::string(name) + " is not in the data dictionary.");
}
}  // namespace

// ---------------------------------------------------------------- table cache

uint64_t Database::SchemaGeneration() {
  if (FDeferSchemaCheck && FSchemaVersion >= 0) return FGeneration;
  sqlite3_stmt* stmt = Prepare("PRAGMA schema_version");
  int version = Step(stmt) ? sqlite3_column_int(stmt, 0) : 0;
  sqlite3_reset(stmt);
  if (version != FSchemaVersion) {
    FSchemaVersion = version;
    FTables.clear();
    ++FGeneration;
  }
  return FGeneration;
}

void Database::InvalidateTables() {
  FTables.clear();
  FSchemaVersion = -1;
  ++FGeneration;
}

std::shared_ptr<const TableDef> Database::FindTable(std::string_view name) {
  SchemaGeneration();
  std::string key = Upper(name);
  auto it = FTables.find(key);
  if (it != FTables.end()) return it->second;
  auto def = LoadTable(name);
  if (def) FTables.emplace(key, def);
  return def;
}

std::shared_ptr<const TableDef> Database::GetTable(std::string_view name) {
  auto def = FindTable(name);
  if (!def) NoTable(name);
  return def;
}

namespace {

// The catalog is a table like any other: the shell or a stray UPDATE may leave
// a type, length or scale that no record image can hold. Such a field is
// refused as damage instead of being laid out.
void CheckCatalogField(const std::string& table, const FieldDef& f) {
  auto code = static_cast<uint16_t>(f.type);
  std::string why;
  if (code < 1 || code > 28 || f.type == FieldType::Reserved1 || f.type == FieldType::System) {
    why = "unknown type code " + std::to_string(code);
  } else {
    try {
      ParseTypeName(TypeSpelling(f));
    } catch (const StoreError& e) {
      why = e.what();  // its reason, without the SQL error's prefix
      size_t native = why.find("NativeError = ");
      size_t end = native == std::string::npos ? native : why.find(";  ", native);
      if (end != std::string::npos) why.erase(0, end + 3);
    }
  }
  if (why.empty()) return;
  std::string text = "The catalog gives field " + f.name + " of table " + table +
                     " a type the engine cannot use: " + why;
  throw StoreError(kErrSql, SqlErrorText(SQLITE_CORRUPT, text.c_str(), {}), SQLITE_CORRUPT);
}

}  // namespace

std::shared_ptr<const TableDef> Database::LoadTable(std::string_view name) {
  sqlite3_stmt* s =
      Prepare("SELECT id, name, table_type, char_type, collation FROM sdb_tables WHERE name = ?1");
  sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  if (!Step(s)) {
    sqlite3_reset(s);
    return nullptr;
  }
  auto t = std::make_shared<TableDef>();
  t->id = sqlite3_column_int64(s, 0);
  t->name = ColText(s, 1);
  t->tableType = static_cast<uint16_t>(sqlite3_column_int(s, 2));
  t->charType = static_cast<uint16_t>(sqlite3_column_int(s, 3));
  t->collation = ColText(s, 4);
  sqlite3_reset(s);
  // A table dropped by hand (the shell) leaves catalog rows: it is gone.
  if (!QueryText("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1", {t->name}))
    return nullptr;
  t->quotedName = QuoteIdent(t->name);

  s = Prepare(
      "SELECT name, type, length, decimals, nullable, default_value FROM sdb_fields "
      "WHERE table_id = ?1 ORDER BY field_no");
  sqlite3_bind_int64(s, 1, t->id);
  while (Step(s)) {
    FieldDef f;
    f.name = ColText(s, 0);
    f.type = static_cast<FieldType>(sqlite3_column_int(s, 1));
    uint32_t len = static_cast<uint32_t>(sqlite3_column_int64(s, 2));
    if (f.type == FieldType::VarChar)
      f.maxLength = len;
    else
      f.length = len;
    f.decimals = static_cast<uint16_t>(sqlite3_column_int(s, 3));
    f.nullable = sqlite3_column_int(s, 4) != 0;
    f.defaultValue = ColText(s, 5);
    try {
      CheckCatalogField(t->name, f);
    } catch (...) {
      sqlite3_reset(s);
      throw;
    }
    t->fields.push_back(std::move(f));
  }
  sqlite3_reset(s);
  t->FinishLayout();

  s = Prepare(
      "SELECT name, sqlite_name, expression, is_unique, is_candidate, is_primary, condition, "
      "index_file, ordinal FROM sdb_indexes WHERE table_id = ?1 ORDER BY ordinal, name");
  sqlite3_bind_int64(s, 1, t->id);
  while (Step(s)) {
    IndexDef x;
    x.name = ColText(s, 0);
    x.sqliteName = ColText(s, 1);
    x.keyExpression = ColText(s, 2);
    x.unique = sqlite3_column_int(s, 3) != 0;
    x.candidate = sqlite3_column_int(s, 4) != 0;
    x.primary = sqlite3_column_int(s, 5) != 0;
    x.condition = ColText(s, 6);
    x.indexFile = ColText(s, 7);
    x.ordinal = static_cast<uint16_t>(sqlite3_column_int(s, 8));
    t->indexes.push_back(std::move(x));
  }
  sqlite3_reset(s);
  s = Prepare(
      "SELECT field, expression, descending FROM sdb_segments WHERE table_id = ?1 AND "
      "index_name = ?2 ORDER BY seg_no");
  for (IndexDef& x : t->indexes) {
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, t->id);
    sqlite3_bind_text(s, 2, x.name.data(), static_cast<int>(x.name.size()), SQLITE_TRANSIENT);
    while (Step(s))
      x.segments.push_back({ColText(s, 0), ColText(s, 1), sqlite3_column_int(s, 2) != 0});
  }
  sqlite3_reset(s);
  return t;
}

int64_t Database::TableId(std::string_view name) {
  return GetTable(name)->id;
}

std::vector<std::string> Database::ListTables() {
  std::vector<std::string> out;
  sqlite3_stmt* s = Prepare("SELECT name FROM sdb_tables ORDER BY id");
  while (Step(s)) out.push_back(ColText(s, 0));
  sqlite3_reset(s);
  return out;
}

// ---------------------------------------------------------------- DDL

void Database::CreateTable(std::string_view name, std::vector<FieldDef> fields) {
  if (name.empty()) throw StoreError(kErrBadParameter, "A table needs a name.");
  if (name.size() >= 4 && EqualNoCase(name.substr(0, 4), "sdb_"))
    throw StoreError(kErrBadParameter,
                     "Table names beginning with sdb_ are reserved for the engine's catalog.");
  if (fields.empty())
    throw StoreError(kErrBadParameter, "The table " + std::string(name) + " has no fields.");
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name.empty()) throw StoreError(kErrBadParameter, "A field needs a name.");
    if (EqualNoCase(fields[i].name, "sdb_recno"))
      throw StoreError(kErrBadParameter,
                       "The field name sdb_recno is reserved for the record number.");
    if (fields[i].type == FieldType::Reserved1 || fields[i].type == FieldType::System ||
        static_cast<uint16_t>(fields[i].type) < 1 || static_cast<uint16_t>(fields[i].type) > 28)
      throw StoreError(kErrBadParameter, "The field " + fields[i].name + " has no storable type.");
    for (size_t k = 0; k < i; ++k)
      if (EqualNoCase(fields[i].name, fields[k].name))
        throw StoreError(kErrDuplicateObject, "The field name " + fields[i].name +
                                                  " is used twice in table " + std::string(name) +
                                                  ".");
  }
  SchemaGeneration();
  if (FindTable(name) ||
      QueryText("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", {name}))
    throw StoreError(kErrDuplicateObject, "The table " + std::string(name) + " already exists.");

  // Keep the declared lengths for the catalog before the layout rewrites them.
  std::vector<uint32_t> declared;
  for (const FieldDef& f : fields)
    declared.push_back(f.type == FieldType::VarChar ? f.maxLength : f.length);
  ComputeLayout(fields);

  std::string q = QuoteIdent(name);
  std::string ddl = "CREATE TABLE " + q + " (\"sdb_recno\" INTEGER PRIMARY KEY AUTOINCREMENT";
  for (const FieldDef& f : fields) {
    ddl += ", " + QuoteIdent(f.name) + " " + SqliteDeclaration(f.type);
    if (!f.defaultValue.empty()) ddl += " DEFAULT " + f.defaultValue;
  }
  ddl += ")";

  Atomically(*this, [&] {
    // Catalog rows left by a table dropped by hand go first.
    if (auto stale = QueryText("SELECT id FROM sdb_tables WHERE name = ?1", {name})) {
      for (const char* cat :
           {"sdb_fields", "sdb_indexes", "sdb_segments", "sdb_table_props", "sdb_rights"})
        Run(std::string("DELETE FROM ") + cat + " WHERE table_id = ?1", {*stale});
      Run("DELETE FROM sdb_tables WHERE id = ?1", {*stale});
    }
    Exec(ddl);
    Run("DELETE FROM sqlite_sequence WHERE name = ?1", {name});
    Run("INSERT INTO sqlite_sequence(name, seq) VALUES (?1, 0)", {name});
    Run("INSERT INTO sdb_tables(name) VALUES (?1)", {name});
    int64_t id = sqlite3_last_insert_rowid(FDb);
    sqlite3_stmt* s = Prepare(
        "INSERT INTO sdb_fields(table_id, field_no, name, type, length, decimals, nullable, "
        "default_value) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldDef& f = fields[i];
      sqlite3_reset(s);
      sqlite3_bind_int64(s, 1, id);
      sqlite3_bind_int(s, 2, static_cast<int>(i + 1));
      sqlite3_bind_text(s, 3, f.name.data(), static_cast<int>(f.name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int(s, 4, static_cast<int>(f.type));
      sqlite3_bind_int64(s, 5, declared[i]);
      sqlite3_bind_int(s, 6, f.decimals);
      sqlite3_bind_int(s, 7, f.nullable ? 1 : 0);
      sqlite3_bind_text(s, 8, f.defaultValue.data(), static_cast<int>(f.defaultValue.size()),
                        SQLITE_TRANSIENT);
      Step(s);
    }
    sqlite3_reset(s);

    // Engine-kept values, so SQL and shell inserts get them too. Update
    // triggers fire only for changes of the other columns, so their own
    // update never fires them again (the shell runs with recursive triggers).
    std::string ids = std::to_string(id);
    for (const FieldDef& f : fields) {
      std::string col = QuoteIdent(f.name);
      std::string others = "\"sdb_recno\"";
      for (const FieldDef& o : fields)
        if (&o != &f && o.type != FieldType::AutoInc && o.type != FieldType::RowVersion &&
            o.type != FieldType::ModTime)
          others += ", " + QuoteIdent(o.name);
      std::string where = " WHERE \"sdb_recno\" = NEW.\"sdb_recno\"; END";
      std::string tag = ids + "_" + std::to_string(f.number);
      if (f.type == FieldType::AutoInc) {
        Exec("CREATE TRIGGER \"sdb_autoinc_" + tag + "\" AFTER INSERT ON " + q + " WHEN NEW." +
             col + " IS NULL BEGIN UPDATE " + q + " SET " + col + " = NEW.\"sdb_recno\"" + where);
      } else if (f.type == FieldType::RowVersion) {
        std::string body =
            " BEGIN UPDATE sdb_tables SET rowversion = rowversion + 1 WHERE id = " + ids +
            "; UPDATE " + q + " SET " + col +
            " = (SELECT rowversion FROM sdb_tables WHERE id = " + ids + ")" + where;
        Exec("CREATE TRIGGER \"sdb_rowversion_i" + tag + "\" AFTER INSERT ON " + q + " WHEN NEW." +
             col + " IS NULL" + body);
        Exec("CREATE TRIGGER \"sdb_rowversion_u" + tag + "\" AFTER UPDATE OF " + others + " ON " +
             q + body);
      } else if (f.type == FieldType::ModTime) {
        std::string body = " BEGIN UPDATE " + q + " SET " + col +
                           " = strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')" + where;
        Exec("CREATE TRIGGER \"sdb_modtime_i" + tag + "\" AFTER INSERT ON " + q + " WHEN NEW." +
             col + " IS NULL" + body);
        Exec("CREATE TRIGGER \"sdb_modtime_u" + tag + "\" AFTER UPDATE OF " + others + " ON " + q +
             body);
      }
    }
  });
  InvalidateTables();
}

void Database::AddField(std::string_view table, FieldDef field) {
  auto t = GetTable(table);
  if (field.name.empty() || EqualNoCase(field.name, "sdb_recno"))
    throw StoreError(kErrBadParameter, "The new field needs a name other than sdb_recno.");
  if (t->FieldIndex(field.name) >= 0)
    throw StoreError(kErrDuplicateObject,
                     "The table " + t->name + " already has a field " + field.name + ".");
  if (field.type == FieldType::AutoInc || field.type == FieldType::RowVersion ||
      field.type == FieldType::ModTime)
    throw StoreError(kErrBadParameter,
                     std::string("A ") + TypeName(field.type) +
                         " field can only be declared when the table is created.");
  uint32_t declared = field.type == FieldType::VarChar ? field.maxLength : field.length;
  Atomically(*this, [&] {
    Exec("ALTER TABLE " + t->quotedName + " ADD COLUMN " + QuoteIdent(field.name) + " " +
         SqliteDeclaration(field.type) +
         (field.defaultValue.empty() ? "" : " DEFAULT " + field.defaultValue));
    Run("INSERT INTO sdb_fields(table_id, field_no, name, type, length, decimals, nullable, "
        "default_value) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
        {std::to_string(t->id), std::to_string(t->fields.size() + 1), field.name,
         std::to_string(static_cast<int>(field.type)), std::to_string(declared),
         std::to_string(field.decimals), field.nullable ? "1" : "0", field.defaultValue});
  });
  FRowSql.erase(t->id);
  InvalidateTables();
}

void Database::DropTable(std::string_view name) {
  auto t = GetTable(name);
  std::string ids = std::to_string(t->id);
  Atomically(*this, [&] {
    Exec("DROP TABLE " + t->quotedName);
    Run("DELETE FROM sqlite_sequence WHERE name = ?1", {t->name});
    for (const char* cat :
         {"sdb_fields", "sdb_indexes", "sdb_segments", "sdb_table_props", "sdb_rights"})
      Exec(std::string("DELETE FROM ") + cat + " WHERE table_id = " + ids);
    Exec("DELETE FROM sdb_tables WHERE id = " + ids);
  });
  FRowSql.erase(t->id);
  InvalidateTables();
}

void Database::CreateIndex(std::string_view table, IndexDef index) {
  auto t = GetTable(table);
  if (index.name.empty()) throw StoreError(kErrBadParameter, "An index needs a name.");
  if (index.segments.empty())
    throw StoreError(kErrBadParameter, "The index " + index.name + " has no key segments.");
  if (t->FindIndex(index.name))
    throw StoreError(kErrDuplicateObject,
                     "The table " + t->name + " already has an index named " + index.name + ".");
  // SQLite index names are unique per file; engine names only per table.
  std::string base = "sdbidx_" + t->name + "_" + index.name;
  std::string sqliteName = base;
  for (int n = 2;
       QueryText("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", {sqliteName}); ++n)
    sqliteName = base + "_" + std::to_string(n);
  index.sqliteName = sqliteName;
  if (index.indexFile.empty()) index.indexFile = t->name;
  if (index.keyExpression.empty()) {
    for (size_t i = 0; i < index.segments.size(); ++i) {
      if (i) index.keyExpression += ";";
      const IndexSegment& g = index.segments[i];
      index.keyExpression +=
          g.field.empty() || g.expression != QuoteIdent(g.field) ? g.expression : g.field;
    }
  }
  std::string ddl = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                    QuoteIdent(sqliteName) + " ON " + t->quotedName + " (";
  for (size_t i = 0; i < index.segments.size(); ++i) {
    if (i) ddl += ", ";
    ddl += index.segments[i].expression;
    if (index.segments[i].descending) ddl += " DESC";
  }
  ddl += ")";
  if (!index.condition.empty()) ddl += " WHERE " + index.condition;
  Atomically(*this, [&] {
    Exec(ddl);
    auto ord =
        QueryText("SELECT COALESCE(MAX(ordinal), 0) + 1 FROM sdb_indexes WHERE table_id = ?1",
                  {std::to_string(t->id)});
    sqlite3_stmt* s = Prepare(
        "INSERT INTO sdb_indexes(table_id, name, sqlite_name, expression, is_unique, is_candidate, "
        "is_primary, condition, index_file, ordinal) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
        "?10)");
    sqlite3_bind_int64(s, 1, t->id);
    sqlite3_bind_text(s, 2, index.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 3, sqliteName.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 4, index.keyExpression.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 5, index.unique);
    sqlite3_bind_int(s, 6, index.candidate);
    sqlite3_bind_int(s, 7, index.primary);
    sqlite3_bind_text(s, 8, index.condition.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 9, index.indexFile.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 10, ord ? std::stoi(*ord) : 1);
    Step(s);
    sqlite3_reset(s);
    s = Prepare(
        "INSERT INTO sdb_segments(table_id, index_name, seg_no, field, expression, descending) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    for (size_t i = 0; i < index.segments.size(); ++i) {
      const IndexSegment& g = index.segments[i];
      sqlite3_reset(s);
      sqlite3_bind_int64(s, 1, t->id);
      sqlite3_bind_text(s, 2, index.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(s, 3, static_cast<int>(i + 1));
      sqlite3_bind_text(s, 4, g.field.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 5, g.expression.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(s, 6, g.descending);
      Step(s);
    }
    sqlite3_reset(s);
  });
  InvalidateTables();
}

void Database::DropIndex(std::string_view table, std::string_view index) {
  auto t = GetTable(table);
  const IndexDef* x = t->FindIndex(index);
  if (!x)
    throw StoreError(kErrNoSuchObject,
                     "The table " + t->name + " has no index named " + std::string(index) + ".");
  std::string ids = std::to_string(t->id);
  std::string name = x->name;
  Atomically(*this, [&] {
    Exec("DROP INDEX IF EXISTS " + QuoteIdent(x->sqliteName));
    Run("DELETE FROM sdb_indexes WHERE table_id = ?1 AND name = ?2", {ids, name});
    Run("DELETE FROM sdb_segments WHERE table_id = ?1 AND index_name = ?2", {ids, name});
    // A default index that no longer exists is no default.
    Run("DELETE FROM sdb_table_props WHERE table_id = ?1 AND prop_id = 213 AND value = ?2 COLLATE "
        "NOCASE",
        {ids, name});
  });
  InvalidateTables();
}

void Database::DropIndexAnyTable(std::string_view index) {
  std::vector<std::string> owners;
  sqlite3_stmt* s = Prepare(
      "SELECT t.name FROM sdb_indexes i JOIN sdb_tables t ON t.id = i.table_id WHERE i.name = ?1");
  sqlite3_bind_text(s, 1, index.data(), static_cast<int>(index.size()), SQLITE_TRANSIENT);
  while (Step(s)) owners.push_back(ColText(s, 0));
  sqlite3_reset(s);
  if (owners.empty())
    throw StoreError(kErrNoSuchObject, "There is no index named " + std::string(index) + ".");
  if (owners.size() > 1)
    throw StoreError(kErrBadParameter, "Several tables have an index named " + std::string(index) +
                                           "; name the table: DROP INDEX table.index.");
  DropIndex(owners[0], index);
}

// ---------------------------------------------------------------- rows

Database::RowStatements& Database::RowSql(const TableDef& t) {
  // The texts depend on the name and the field list: a renamed or altered
  // table, or a projection of it, has texts of its own.
  auto& entries = FRowSql[t.id];
  for (auto& e : entries)
    if (e->selectList == t.selectList && e->insert.find(t.quotedName) != std::string::npos)
      return *e;
  if (entries.size() >= 8) entries.erase(entries.begin());  // old shapes of the table
  auto r = std::make_unique<RowStatements>();
  r->selectList = t.selectList;
  r->selectOne = "SELECT " + t.selectList + " FROM " + t.quotedName + " WHERE \"sdb_recno\" = ?1";
  r->insert = "INSERT INTO " + t.quotedName + " (\"sdb_recno\"";
  std::string values = "?1";
  for (size_t i = 0; i < t.fields.size(); ++i) {
    r->insert += ", " + QuoteIdent(t.fields[i].name);
    values += ", ?" + std::to_string(i + 2);
  }
  r->insert += ") VALUES (" + values + ")";
  r->remove = "DELETE FROM " + t.quotedName + " WHERE \"sdb_recno\" = ?1";
  r->count = "SELECT count(*) FROM " + t.quotedName;
  entries.push_back(std::move(r));
  return *entries.back();
}

int64_t Database::ReserveRecordNumber(const TableDef& t) {
  // One write transaction: raise the counter, read it back. (UPDATE ...
  // RETURNING on sqlite_sequence is prepared anew on every run: far slower.)
  bool own = !InTransaction();
  if (own) Run("BEGIN IMMEDIATE");
  try {
    int changed = Run("UPDATE sqlite_sequence SET seq = seq + 1 WHERE name = ?1", {t.name});
    if (!changed) {
      // No counter (removed by hand): start above the highest number.
      Run("INSERT INTO sqlite_sequence(name, seq) SELECT ?1, COALESCE(MAX(\"sdb_recno\"), 0) + 1 "
          "FROM " +
              t.quotedName,
          {t.name});
    }
    auto seq = QueryText("SELECT seq FROM sqlite_sequence WHERE name = ?1", {t.name});
    if (own) Run("COMMIT");
    return seq ? std::stoll(*seq) : 0;
  } catch (...) {
    if (own && InTransaction()) sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

bool Database::ReadRecord(const TableDef& t, int64_t recno, uint8_t* image) {
  sqlite3_stmt* s = Prepare(RowSql(t).selectOne);
  sqlite3_bind_int64(s, 1, recno);
  bool found = Step(s);
  if (found) DecodeRow(t.fields, s, 1, image);
  sqlite3_reset(s);
  return found;
}

int64_t Database::InsertRecord(const TableDef& t, int64_t recno, const uint8_t* image,
                               const std::map<int, std::optional<std::string>>& blobs) {
  sqlite3_stmt* s = Prepare(RowSql(t).insert);
  if (recno > 0)
    sqlite3_bind_int64(s, 1, recno);
  else
    sqlite3_bind_null(s, 1);
  static const std::optional<std::string> kNone;
  bool autoincLater = false;
  for (size_t i = 0; i < t.fields.size(); ++i) {
    const FieldDef& f = t.fields[i];
    int idx = static_cast<int>(i + 2);
    if (IsBlobType(f.type)) {
      auto it = blobs.find(static_cast<int>(i));
      BindBlob(f, it == blobs.end() ? kNone : it->second, s, idx);
    } else if (f.type == FieldType::AutoInc && IsEmpty(f, image)) {
      if (recno > 0)
        sqlite3_bind_int64(s, idx, recno);
      else
        autoincLater = true;  // NULL: the table's trigger gives it the record number
      if (autoincLater) sqlite3_bind_null(s, idx);
    } else {
      BindField(f, image, s, idx);
    }
  }
  Step(s);
  sqlite3_reset(s);
  return recno > 0 ? recno : sqlite3_last_insert_rowid(FDb);
}

bool Database::UpdateRecord(const TableDef& t, int64_t recno, const uint8_t* image,
                            const std::vector<bool>& changed,
                            const std::map<int, std::optional<std::string>>& blobs) {
  std::string sql = "UPDATE " + t.quotedName + " SET ";
  std::vector<int> cols;
  for (size_t i = 0; i < t.fields.size(); ++i) {
    bool want = changed.empty() ? !IsBlobType(t.fields[i].type) || blobs.count(static_cast<int>(i))
                                : (i < changed.size() && changed[i]);
    if (!want) continue;
    if (!cols.empty()) sql += ", ";
    sql += QuoteIdent(t.fields[i].name) + " = ?" + std::to_string(cols.size() + 2);
    cols.push_back(static_cast<int>(i));
  }
  if (cols.empty()) {
    // Nothing to write: answer whether the record is there.
    sqlite3_stmt* s = Prepare("SELECT 1 FROM " + t.quotedName + " WHERE \"sdb_recno\" = ?1");
    sqlite3_bind_int64(s, 1, recno);
    bool found = Step(s);
    sqlite3_reset(s);
    return found;
  }
  sql += " WHERE \"sdb_recno\" = ?1";
  sqlite3_stmt* s = Prepare(sql);
  sqlite3_bind_int64(s, 1, recno);
  static const std::optional<std::string> kNone;
  for (size_t k = 0; k < cols.size(); ++k) {
    const FieldDef& f = t.fields[cols[k]];
    int idx = static_cast<int>(k + 2);
    if (IsBlobType(f.type)) {
      auto it = blobs.find(cols[k]);
      BindBlob(f, it == blobs.end() ? kNone : it->second, s, idx);
    } else {
      BindField(f, image, s, idx);
    }
  }
  Step(s);
  sqlite3_reset(s);
  return sqlite3_changes(FDb) > 0;
}

bool Database::DeleteRecord(const TableDef& t, int64_t recno) {
  sqlite3_stmt* s = Prepare(RowSql(t).remove);
  sqlite3_bind_int64(s, 1, recno);
  Step(s);
  sqlite3_reset(s);
  return sqlite3_changes(FDb) > 0;
}

std::optional<std::string> Database::ReadBlob(const TableDef& t, int64_t recno, int field) {
  if (field < 0 || field >= static_cast<int>(t.fields.size()))
    throw StoreError(kErrBadParameter,
                     "No field number " + std::to_string(field + 1) + " in " + t.name + ".");
  sqlite3_stmt* s = Prepare("SELECT " + QuoteIdent(t.fields[field].name) + " FROM " + t.quotedName +
                            " WHERE \"sdb_recno\" = ?1");
  sqlite3_bind_int64(s, 1, recno);
  std::optional<std::string> out;
  if (Step(s) && sqlite3_column_type(s, 0) != SQLITE_NULL) {
    const void* p = sqlite3_column_type(s, 0) == SQLITE_BLOB
                        ? sqlite3_column_blob(s, 0)
                        : static_cast<const void*>(sqlite3_column_text(s, 0));
    int n = sqlite3_column_bytes(s, 0);
    out.emplace(static_cast<const char*>(p), static_cast<size_t>(n));
    if (out->empty()) out.reset();
  }
  sqlite3_reset(s);
  return out;
}

int64_t Database::RecordCount(const TableDef& t) {
  sqlite3_stmt* s = Prepare(RowSql(t).count);
  int64_t n = Step(s) ? sqlite3_column_int64(s, 0) : 0;
  sqlite3_reset(s);
  return n;
}

}  // namespace sdbstore
