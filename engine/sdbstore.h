// sdbstore: the storage half of the engine. SQLite files, the catalog, the engine's
// field types and record images, the engine's SQL dialect, record locks, connect strings.
#pragma once

/*
** STORAGE
**
** A data dictionary (`db.add`) is one SQLite database file. It holds the
** engine's tables as SQLite tables of the same name, their SQLite indexes,
** and the catalog in tables whose names begin with `sdb_`. A free table is a
** SQLite file of its own (`<folder>/<name>.adt`) with the same catalog
** holding that one table. Every file is opened in WAL mode with a busy
** time-out and reads and writes with the standard sqlite3 shell.
**
** Catalog (all names compared case-insensitively):
**   sdb_tables     (id, name, table_type, char_type, collation, rowversion)
**                  id is stable for the life of the table and numbers its
**                  locks; rowversion is the table's ROWVERSION counter.
**   sdb_fields     (table_id, field_no, name, type, length, decimals, nullable,
**                  default_value)  the engine type of every column
**   sdb_indexes    (table_id, name, sqlite_name, expression, is_unique,
**                  is_candidate, is_primary, condition, index_file, ordinal)
**                  engine index names are unique per table; sqlite_name is
**                  unique per database (two tables may each have an index ID)
**   sdb_segments   (table_id, index_name, seg_no, field, expression, descending)
**   sdb_table_props(table_id, prop_id, value)  e.g. 213 the default index
**   sdb_db_props   (prop_id, value)            e.g. 111/112 the version
**   sdb_users, sdb_groups, sdb_members          users, groups, membership
**   sdb_rights     (grantee, table_id, field, rights)  field '' = the table
**
** RECORD NUMBERS
**
** Every engine table's first SQLite column is the hidden
**   "sdb_recno" INTEGER PRIMARY KEY AUTOINCREMENT
** an alias of the row id, so the record number is the row id, a VACUUM keeps
** it, and a deleted number is never handed out again (sqlite_sequence).
** The field list, SELECT * through the engine and the record image hide it.
** ReserveRecordNumber() takes the next number before the row exists, so an
** append keeps its number through failed writes; a cancelled append leaves a
** gap, never a row.
**
** STORED VALUES (what a shell user sees)
**
**   CHAR CICHAR VARCHAR NCHAR NVARCHAR MEMO NMEMO  TEXT, UTF-8, no trailing
**        blanks (CICHAR columns are declared COLLATE NOCASE)
**   LOGICAL                                        INTEGER 1/0
**   DATE COMPACTDATE                               TEXT 'YYYY-MM-DD'
**   TIME                                           TEXT 'HH:MM:SS.mmm'
**   TIMESTAMP MODTIME                              TEXT 'YYYY-MM-DD HH:MM:SS.mmm'
**   SHORT INTEGER AUTOINC ROWVERSION               INTEGER
**   DOUBLE CURDOUBLE NUMERIC MONEY                 REAL (MONEY to 4 decimals)
**   RAW BLOB IMAGE VARBINARY                       BLOB
** An empty field is NULL: empty and null coincide in storage. Columns carry
** only the affinities TEXT, INTEGER, REAL or BLOB; the engine type, length
** and decimals live in sdb_fields. AUTOINC, ROWVERSION and MODTIME are kept
** by triggers (built-in functions only), so SQL and shell inserts get them:
** AUTOINC = the record number unless a value is given; ROWVERSION = a
** per-table counter raised on every insert and update; MODTIME = local time.
**
** RECORD IMAGE
**
** The fields lie in record order from offset 0, each FieldDef::imageLength
** bytes, the varying types (VARCHARFOX, VARBINARY, NVARCHAR) followed by a
** 16-bit word holding the stored length (bytes; characters for NVARCHAR).
** All numbers are little-endian. By type (code: bytes, content, empty value):
**    1 LOGICAL       1  'T'/'F' ('1','T','Y','t','y' read true)   ' '
**    2 NUMERIC(p,s)  p  decimal text, right-aligned, '.' point    all 0
**    3 DATE          4  julian day (day number + 1721425)         all 0
**    4 CHAR(n)       n  text, blank-padded                        all 0
**   20 CICHAR(n)     n  as CHAR                                   all 0
**    9 COMPACTDATE   3  year<<9 | month<<5 | day, big-endian      all 0
**   10 DOUBLE        8  IEEE double                   0x8000000000000020
**   17 CURDOUBLE     8  IEEE double                   0x8000000000000020
**   11 INTEGER       4  int32                                     0x80000000
**   15 AUTOINC       4  uint32 (0 .. 2^31-1)                      0xFFFFFFFF
**   12 SHORT         2  int16                                     0x8000
**   13 TIME          4  milliseconds since midnight               0xFFFFFFFF
**   14 TIMESTAMP     8  julian day, milliseconds       day 0, ms 0xFFFFFFFF
**   22 MODTIME       8  as TIMESTAMP                   day 0, ms 0xFFFFFFFF
**   16 RAW(n)        n  bytes                                     all 0
**   18 MONEY         8  int64 count of 1/10000        0x8000000000000000
**   21 ROWVERSION    8  int64                         0x8000000000000000
**   23 VARCHARFOX(n) n+2 text blank-padded, length word           word 0xFFFF
**   24 VARBINARY(n)  n+2 bytes zero-padded, length word           word 0xFFFF
**   26 NCHAR(n)      2n UTF-16, blank-padded                      all 0
**   27 NVARCHAR(n)   2n+2 UTF-16 blank-padded, length word (chars) word 0xFFFF
**   5 MEMO, 6 BLOB, 7 IMAGE, 8 VARCHAR(n), 28 NMEMO
**                    4  uint32 indicator: 0 when empty, else the SQLite
**                       length() of the value (bytes of a BLOB, characters
**                       of a text); the value itself is read with ReadBlob
** The field length the engine reports (FieldDef::length) is the image length,
** except NCHAR/NVARCHAR (characters) and VARCHAR(n) (4, its limit n is
** FieldDef::maxLength). A value that does not fit is refused with a column
** error naming `column "NAME"`: 5147 too long, 5148 out of range, 5149 not a
** valid value of the type.
**
** LOCKS
**
** Record and table locks live in the sidecar file "<database>.lck" as
** open-file-description locks of one byte each (never in the database file):
** (table id << 32) | record number for a record, (table id << 32) for the
** table's sharing lock. Each LockOwner opens its own description, so two
** connections of one process conflict like two processes, and the kernel
** drops the locks of a process that dies.
**
** THREADS
**
** A Database belongs to one thread at a time (SQLite's serialized mode guards
** the handle; the statement cache and table cache are not locked). So does a
** LockOwner; owners need no shared state: the kernel tells them apart.
**
** COSTS
**
** FindTable/GetTable read PRAGMA schema_version (one cached statement) to
** notice DDL of other connections: keep the shared_ptr on hot paths. Outside
** a transaction every write is a commit of its own (WAL, synchronous=NORMAL,
** about 60 us here): ReserveRecordNumber is one, InsertRecord another.
*/

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sdbstore {

// ---------------------------------------------------------------- errors

/// Engine codes this part answers. Callers may pass them on unchanged.
enum ErrorCode : uint32_t {
  kErrBadParameter = 5012,     // a value the call cannot use
  kErrRecordNotFound = 5022,   // no record with that number
  kErrLocked = 5035,           // record locked by another user
  kErrTableInUse = 5036,       // exclusive/shared open conflict
  kErrNoCurrentRecord = 5068,  // the record vanished
  kErrNotFound = 5132,         // the dictionary does not know the table
  kErrPropertyNotSet = 5138,   // a property that was never set
  kErrNoSuchObject = 5139,     // index, field, user, group ... not found
  kErrDuplicateObject = 5140,  // an object of that name exists
  kErrValueTooLong = 5147,     // column error: value longer than the field
  kErrOutOfRange = 5148,       // column error: number/date outside the type
  kErrInvalidValue = 5149,     // column error: text that is not a value
  kErrConnectString = 5031,    // malformed connection string
  kErrFileOpen = 5030,         // the database file cannot be opened/created
  kErrReadOnly = 5046,         // a write to a file this process may only read
  kErrSql = 7200,              // SQLite failed; text carries NativeError = n;
};

/// Every failure of this part. code() is an ErrorCode; native() is the SQLite
/// result code behind a 7200 (0 otherwise). what() is the text to report.
class StoreError : public std::runtime_error {
 public:
  StoreError(uint32_t code, const std::string& text, int native = 0)
      : std::runtime_error(text), FCode(code), FNative(native) {}
  uint32_t code() const noexcept { return FCode; }
  int native() const noexcept { return FNative; }

 private:
  uint32_t FCode;
  int FNative;
};

/// Throws the 7200 error for a failed SQLite call: "Error 7200:  ...
/// NativeError = <rc>; <sqlite message> [context]". Never returns.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, std::string_view context = {});

// ---------------------------------------------------------------- field types

enum class FieldType : uint16_t {
  Logical = 1,
  Numeric = 2,
  Date = 3,
  String = 4,
  Memo = 5,
  Binary = 6,
  Image = 7,
  VarChar = 8,
  CompactDate = 9,
  Double = 10,
  Integer = 11,
  ShortInt = 12,
  Time = 13,
  TimeStamp = 14,
  AutoInc = 15,
  Raw = 16,
  CurDouble = 17,
  Money = 18,
  Reserved1 = 19,
  CIString = 20,
  RowVersion = 21,
  ModTime = 22,
  VarCharFox = 23,
  VarBinaryFox = 24,
  System = 25,
  NChar = 26,
  NVarChar = 27,
  NMemo = 28,
};

/// True for the types whose value lives outside the image (5, 6, 7, 8, 28).
bool IsBlobType(FieldType t);
/// True for the types followed by a 16-bit length word (23, 24, 27).
bool HasLengthWord(FieldType t);
/// True for types holding text (4, 5, 8, 20, 23, 26, 27, 28).
bool IsTextType(FieldType t);
/// The engine's SQL type name: "CHAR", "CICHAR", "NUMERIC", ... ("" for 19, 25).
const char* TypeName(FieldType t);
/// The SQLite declaration of a column of the type: "TEXT", "TEXT COLLATE
/// NOCASE", "INTEGER", "REAL" or "BLOB".
const char* SqliteDeclaration(FieldType t);

/// One field of a table or of a result: engine description and image place.
struct FieldDef {
  std::string name;
  uint16_t number = 0;  // 1-based, record order
  FieldType type = FieldType::String;
  uint32_t length = 0;       // what the engine reports: characters for 26/27
  uint16_t decimals = 0;     // NUMERIC scale; DOUBLE display decimals
  uint32_t maxLength = 0;    // VARCHAR(n) limit (0 = none); = length otherwise
  uint32_t offset = 0;       // first byte in the record image
  uint32_t imageLength = 0;  // bytes of the value in the image (FLength)
  uint32_t slotLength = 0;   // imageLength + 2 for a length word
  bool nullable = true;
  std::string defaultValue;  // SQL literal text of DEFAULT, or empty
};

/// Parses an engine type spelling, e.g. "CHAR(10)", "numeric(8,2)", "Memo",
/// into type, length, decimals, maxLength (offsets untouched). Lengths are
/// checked (CHAR 1..65530, NUMERIC 1..32 with scale < precision, ...).
/// REQUIRES nothing; throws StoreError 7200 (native 1) naming the text.
FieldDef ParseTypeName(std::string_view spelling);
/// The engine spelling of a field's type, e.g. "NUMERIC(8,2)", "CHAR(10)".
std::string TypeSpelling(const FieldDef& f);
/// Sets imageLength, slotLength and offset of every field in order; answers
/// the record length. Fields must carry type/length/decimals already.
uint32_t ComputeLayout(std::vector<FieldDef>& fields);

// ---------------------------------------------------------------- dates

constexpr int32_t kJulianOffset = 1721425;  // julian day = day number + this
constexpr int64_t kMsPerDay = 86400000;

/// Whether the parts name a day of the calendar, years 1 to 9999.
bool ValidYmd(int year, int month, int day);
/// Julian day of a proleptic Gregorian date (1 <= year <= 9999 expected).
int32_t JulianFromYmd(int year, int month, int day);
/// The date of a julian day; false for days before 0001-01-01 / after 9999.
bool YmdFromJulian(int32_t julian, int& year, int& month, int& day);
/// Formats a julian day with an engine date format: CCYY/YYYY (4-digit
/// year), YY (2 digits), MM, DD, any other character copied ("MM/DD/CCYY").
std::string FormatDate(int32_t julian, std::string_view format);
/// Parses text written with that format (also always 'YYYY-MM-DD' and the 8
/// digits CCYYMMDD); false when it is not a valid date. Two-digit years:
/// below 50 -> 20xx, else 19xx. Blank/empty text is not a date.
bool ParseDate(std::string_view text, std::string_view format, int32_t& julian);
/// The stored form of a timestamp or time text: "YYYY-MM-DD HH:MM[:SS[.f]]"
/// becomes "YYYY-MM-DD HH:MM:SS.mmm", "HH:MM[:SS[.f]]" becomes
/// "HH:MM:SS.mmm" (fractions cut or padded to milliseconds). Any other text
/// is answered unchanged. SQL literals and text parameters pass through it,
/// so a value reads and compares alike however it was written.
std::string CanonicalTimeText(std::string_view text);

// ---------------------------------------------------------------- record image codec
// All of these work on the bytes of one field inside a record image and on
// the FieldDef's offset. They never allocate on the hot read path.

/// Writes the empty value of the field into the image.
void SetEmpty(const FieldDef& f, uint8_t* image);
/// Writes the empty value of every field (a fresh record image).
void InitRecord(const std::vector<FieldDef>& fields, uint8_t* image);
/// True when the field's bytes hold its empty value (NULL).
bool IsEmpty(const FieldDef& f, const uint8_t* image);

/// Reads the SQLite value of column col of a stepped statement into the
/// field's bytes (any storage class is converted; what cannot convert
/// becomes the empty value). Blob types get their length() indicator, so
/// select them as length("x") (TableDef::selectList does).
void DecodeColumn(const FieldDef& f, sqlite3_stmt* stmt, int col, uint8_t* image);
/// DecodeColumn for every field; field i is column firstCol + i.
void DecodeRow(const std::vector<FieldDef>& fields, sqlite3_stmt* stmt, int firstCol,
               uint8_t* image);
/// The same from an sqlite3_value (functions, old rows).
void DecodeValue(const FieldDef& f, sqlite3_value* v, uint8_t* image);
/// Binds the value the field's bytes hold as parameter idx (NULL when empty),
/// in the stored form listed above. Not for blob types (see BindBlob).
void BindField(const FieldDef& f, const uint8_t* image, sqlite3_stmt* stmt, int idx);
/// Binds a blob-type value: TEXT for MEMO/VARCHAR/NMEMO, BLOB for BLOB/IMAGE,
/// NULL when value is nullopt or empty. Checks VARCHAR(n) limits (5147).
void BindBlob(const FieldDef& f, const std::optional<std::string>& value, sqlite3_stmt* stmt,
              int idx);

/// Setting a field from a caller's value. Each checks the value against the
/// field and throws the column error (5147/5148/5149, `column "NAME"`) when
/// it does not fit, leaving the image unchanged. An empty text sets empty.
/// PutText: the value's text form: numbers in C form ("12.5"), logical
/// "T"/"F"/"TRUE"/"1"..., dates in `dateFormat` or ISO, times "HH:MM[:SS[.mmm]]",
/// timestamps "<date> <time>", RAW/VARBINARY the bytes themselves; text
/// fields take UTF-8 and cut nothing: too long is 5147.
void PutText(const FieldDef& f, std::string_view text, uint8_t* image,
             std::string_view dateFormat = "MM/DD/CCYY");
void PutUtf16(const FieldDef& f, std::u16string_view text, uint8_t* image,
              std::string_view dateFormat = "MM/DD/CCYY");
void PutDouble(const FieldDef& f, double value,
               uint8_t* image);  // numbers, logical (!=0), dates (julian), time (ms)
void PutInt64(const FieldDef& f, int64_t value, uint8_t* image);
void PutLogical(const FieldDef& f, bool value, uint8_t* image);
void PutJulian(const FieldDef& f, int32_t julian,
               uint8_t* image);  // DATE, COMPACTDATE, TIMESTAMP (time 0)
void PutMilliseconds(const FieldDef& f, int32_t ms,
                     uint8_t* image);  // TIME, TIMESTAMP (keeps the day)
void PutTimeStamp(const FieldDef& f, int32_t julian, int32_t ms, uint8_t* image);
/// Copies raw bytes of the image form (SdbSetFieldRaw): exactly imageLength
/// bytes, or fewer for RAW/VARBINARY/strings (padded). 5147 when longer.
void PutRaw(const FieldDef& f, const void* bytes, size_t size, uint8_t* image);

/// Reading a field's value. Each answers false when the field is empty.
/// GetText: the value as text: strings without trailing blanks, numbers in
/// C form with the field's decimals, dates in `dateFormat`, times
/// "HH:MM:SS.mmm", timestamps date + " " + time, logical "T"/"F", raw bytes
/// as they are. Blob types answer "" (read them with ReadBlob).
bool GetText(const FieldDef& f, const uint8_t* image, std::string& out,
             std::string_view dateFormat = "MM/DD/CCYY");
bool GetUtf16(const FieldDef& f, const uint8_t* image, std::u16string& out,
              std::string_view dateFormat = "MM/DD/CCYY");
bool GetDouble(const FieldDef& f, const uint8_t* image,
               double& out);  // numbers, logical 1/0, dates julian, time ms
bool GetInt64(const FieldDef& f, const uint8_t* image, int64_t& out);
bool GetLogical(const FieldDef& f, const uint8_t* image, bool& out);
bool GetJulian(const FieldDef& f, const uint8_t* image,
               int32_t& out);  // DATE, COMPACTDATE, TIMESTAMP
bool GetMilliseconds(const FieldDef& f, const uint8_t* image, int32_t& out);  // TIME, TIMESTAMP
/// The data length of the value: characters of text without trailing
/// blanks, bytes otherwise; the indicator for blob types.
uint32_t DataLength(const FieldDef& f, const uint8_t* image);

/// UTF-8 <-> UTF-16 for the W calls (invalid input is replaced, never fails).
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// ---------------------------------------------------------------- catalog structures

struct IndexSegment {
  std::string field;       // the field the segment reads ("" when none)
  std::string expression;  // SQLite expression as in the index: "\"CODE\"", "UPPER(\"NAME\")"
  bool descending = false;
};

struct IndexDef {
  std::string name;           // engine name, unique per table
  std::string sqliteName;     // the SQLite index behind it, unique per file
  std::string keyExpression;  // engine form: "CODE;DATE", "UPPER(NAME)"
  std::vector<IndexSegment> segments;
  bool unique = false;  // SQLite UNIQUE: duplicates are refused
  bool candidate = false;
  bool primary = false;
  std::string condition;  // SQL condition of a partial index ("" none)
  std::string indexFile;  // name of the index group (free tables: the table's)
  uint16_t ordinal = 0;   // creation order, from 1
};

/// A table as the catalog describes it. Immutable once loaded; reload after DDL.
struct TableDef {
  int64_t id = 0;  // stable; numbers the table's locks
  std::string name;
  uint16_t tableType = 3;  // engine table type (3 = ADT)
  uint16_t charType = 1;   // 1 ANSI
  std::string collation;   // "" none
  std::vector<FieldDef> fields;
  uint32_t recordLength = 0;
  std::vector<IndexDef> indexes;
  int autoincField = -1;  // index into fields, -1 none
  /// Column list reading a whole record for DecodeRow: "sdb_recno","A",
  /// length("M"),... ; column 0 is the record number, field i is column i+1.
  std::string selectList;
  std::string quotedName;  // "\"name\"" for SQL text

  /// Field index (0-based) by name, case-insensitive; -1 when none.
  int FieldIndex(std::string_view name) const;
  /// Index by engine name, case-insensitive; nullptr when none.
  const IndexDef* FindIndex(std::string_view name) const;
  /// Lays out `fields` and sets recordLength, selectList and autoincField.
  void FinishLayout();
  /// The same table seen through some of its fields (by index, in the order
  /// given): rows read and written through it touch only those columns.
  std::shared_ptr<const TableDef> Projection(const std::vector<int>& fieldIndexes) const;
};

/// Dictionary object kinds for listings and renames.
enum class ObjectType : uint16_t {
  Table = 1,
  Index = 3,
  Field = 4,
  User = 7,
  Group = 8,
  Procedure = 10,
  View = 6,
};

/// Rights bits, for tables and columns alike.
enum Rights : uint32_t {
  kRightRead = 0x1,
  kRightUpdate = 0x2,
  kRightInsert = 0x4,
  kRightDelete = 0x8,
  kRightAll = 0xF
};

/// Well-known property ids.
enum PropertyId : uint32_t {
  kDbVersionMajor = 111,
  kDbVersionMinor = 112,        // database
  kTableDefaultIndex = 213,     // table
  kUserGroupMembership = 1102,  // user: groups joined by ";"
};

// ---------------------------------------------------------------- SQL translation

enum class StatementKind {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  DropTable,
  CreateIndex,
  DropIndex,
  Procedure,    // EXECUTE PROCEDURE name(args)
  Transaction,  // BEGIN/COMMIT/ROLLBACK/SAVEPOINT passed through
  Other,        // anything else, passed through to SQLite
  Grant,        // GRANT rights ON table TO grantee, ... (catalog only)
  Revoke,       // REVOKE rights ON table FROM grantee, ... (catalog only)
  AlterTable,   // ALTER TABLE t ADD [COLUMN] f TYPE | RENAME TO n | RENAME [COLUMN] a TO b
};

/// One engine statement made ready for SQLite by Translate().
struct Translation {
  StatementKind kind = StatementKind::Other;
  std::string sql;                  // what runs on SQLite (DDL, procedures, GRANT: the text
                                    // as given; Execute does their work)
  std::vector<std::string> params;  // marker names in text order ("" for "?"); bind i+1
  std::string table;                // target table (DML, DDL) or the one table of a SELECT
  bool singleTable = false;         // SELECT of one table without join/group/distinct/union
  std::string procedure;            // EXECUTE PROCEDURE: the name as written
  std::vector<std::string> args;    // its arguments: literals unquoted, markers as written
                                    // (":p", "?"); GRANT/REVOKE: the grantees
  std::vector<std::pair<uint32_t, std::string>> rights;  // GRANT/REVOKE: bits, field ("" table)
  // DDL details
  std::vector<FieldDef> fields;  // CREATE TABLE
  IndexDef index;                // CREATE INDEX
  bool ifExists = false;
};

/// Splits a script into statements at top-level ";" (quotes, brackets and
/// comments respected); empty statements dropped.
std::vector<std::string> SplitStatements(std::string_view script);

/// The names of a statement in text order (plain, quoted and bracketed
/// identifiers, unquoted), for finding which free table it works on.
std::vector<std::string> StatementNames(std::string_view sql);

/// The parameter markers of a statement or script in text order, one per
/// occurrence (":name", ":\"a name\"", "?" with an empty name); raises
/// kErrSql for a quote that is never closed.
std::vector<std::string> ParamNames(std::string_view sql);

// ---------------------------------------------------------------- result description

/// A SELECT result in engine terms: fields with a layout, so a cursor builds
/// record images with DecodeRow(fields, stmt, 0, image) after mapping columns.
struct ResultLayout {
  std::vector<FieldDef> fields;  // visible columns, offsets set
  std::vector<int> columns;      // SQLite column of fields[i]
  int recnoColumn = -1;          // column holding sdb_recno of the one table, or -1
  uint32_t recordLength = 0;
  std::string table;  // the single origin table, "" when several/none
};

// ---------------------------------------------------------------- database file

struct OpenOptions {
  bool create = false;    // create the file (with an empty catalog) if missing
  bool readOnly = false;  // SQLITE_OPEN_READONLY
  int busyTimeoutMs = 10000;
};

/// Called on every SQLite connection right after it opens (the expression
/// part registers its functions and collation here). Set once, at start, by
/// the API part: SetConnectionInitHook(&SdbRegisterSqlFunctions).
void SetConnectionInitHook(int (*hook)(sqlite3*));

/// One open SQLite file: a dictionary or a free-table file.
class Database {
 public:
  /// Opens (or with options.create creates) the file. Sets WAL, the busy
  /// time-out, foreign_keys off, recursive_triggers off, creates a missing
  /// catalog, runs the init hook. Throws 5030 when the file cannot be opened
  /// (missing without create) and 7200 on SQLite failures.
  static std::unique_ptr<Database> Open(const std::string& path, const OpenOptions& options = {});
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* Handle() const { return FDb; }
  const std::string& Path() const { return FPath; }
  /// The sidecar lock file of this database ("<path>.lck").
  std::string LockPath() const { return FPath + ".lck"; }
  void SetBusyTimeout(int ms);

  // --- statements
  /// A prepared statement for sql, cached per connection, reset and with
  /// bindings cleared. Owned by the Database; valid until it closes. Do not
  /// finalize it; do not hold two uses of the same text at once.
  sqlite3_stmt* Prepare(std::string_view sql);
  /// Runs one or more statements without results (sqlite3_exec). Throws 7200.
  void Exec(std::string_view sql);
  /// Runs sql (cached) with text arguments bound 1..n and steps to the end;
  /// answers the changes count.
  int Run(std::string_view sql, std::initializer_list<std::string_view> args = {});
  /// First column of the first row as text, nullopt when no row or NULL.
  std::optional<std::string> QueryText(std::string_view sql,
                                       std::initializer_list<std::string_view> args = {});
  /// Steps a prepared statement once; true on a row; false when done (the
  /// statement is then reset); throws 7200 on error (after a reset).
  bool Step(sqlite3_stmt* stmt);

  // --- transactions (plain SQLite ones; nesting is the caller's)
  void Begin(bool immediate = false);  // BEGIN [IMMEDIATE]
  void Commit();
  void Rollback();
  void Savepoint(std::string_view name);
  void RollbackTo(std::string_view name);  // ROLLBACK TO + RELEASE
  void Release(std::string_view name);
  bool InTransaction() const { return !sqlite3_get_autocommit(FDb); }

  // --- tables
  /// The table by name (case-insensitive), cached; reloaded when the schema
  /// changed (also by another connection). nullptr when the catalog lacks it.
  std::shared_ptr<const TableDef> FindTable(std::string_view name);
  /// As FindTable; throws 5132 "The table NAME is not in the data dictionary."
  std::shared_ptr<const TableDef> GetTable(std::string_view name);
  std::vector<std::string> ListTables();  // catalog order (creation)
  /// Drops cached table descriptions (after DDL through other paths).
  void InvalidateTables();

  /// Creates a table with the fields given (names unique, types parsed):
  /// SQLite table with sdb_recno first, catalog rows, triggers. 5140 if it exists.
  void CreateTable(std::string_view name, std::vector<FieldDef> fields);
  /// Drops the table, its indexes, triggers and catalog rows (5132 if unknown).
  void DropTable(std::string_view name);
  /// Creates the SQLite index and its catalog rows; the sqliteName is chosen
  /// here (index.sqliteName is ignored). 5140 for a duplicate engine name.
  void CreateIndex(std::string_view table, IndexDef index);
  void DropIndex(std::string_view table, std::string_view index);
  /// Drops an index by engine name alone when exactly one table has it.
  void DropIndexAnyTable(std::string_view index);
  /// Adds a field at the end of the table (empty in every record). 5140 if
  /// the name is taken.
  void AddField(std::string_view table, FieldDef field);

  // --- rows (the hot paths; statements cached)
  /// Takes the next record number of the table without creating the row.
  int64_t ReserveRecordNumber(const TableDef& t);
  /// Reads record recno into image; false when no such record.
  bool ReadRecord(const TableDef& t, int64_t recno, uint8_t* image);
  /// Inserts record recno from the image; blob fields from blobs[fieldIndex]
  /// (missing = NULL). AUTOINC: an empty image value gets recno. recno <= 0
  /// lets SQLite number the record (one commit less than reserving first).
  /// Answers the record number. Throws 7200 (e.g. a unique index: native
  /// SQLITE_CONSTRAINT).
  /// Cost: ReserveRecordNumber outside a transaction is a commit of its own.
  int64_t InsertRecord(const TableDef& t, int64_t recno, const uint8_t* image,
                       const std::map<int, std::optional<std::string>>& blobs = {});
  /// Updates the fields whose changed[i] is true (all when changed is empty);
  /// blob fields from blobs. Answers false when the record is gone.
  bool UpdateRecord(const TableDef& t, int64_t recno, const uint8_t* image,
                    const std::vector<bool>& changed,
                    const std::map<int, std::optional<std::string>>& blobs = {});
  bool DeleteRecord(const TableDef& t, int64_t recno);
  /// A blob-type field's value (text or bytes); nullopt when empty/NULL.
  std::optional<std::string> ReadBlob(const TableDef& t, int64_t recno, int field);
  /// Number of records (SELECT count(*)).
  int64_t RecordCount(const TableDef& t);

  // --- properties
  std::optional<std::string> DatabaseProperty(uint32_t id);
  void SetDatabaseProperty(uint32_t id, std::string_view value);
  std::optional<std::string> TableProperty(std::string_view table,
                                           uint32_t id);  // 5132 if unknown table
  void SetTableProperty(std::string_view table, uint32_t id, std::string_view value);

  // --- users, groups, rights
  bool HasUsers();
  void CreateUser(std::string_view name, std::string_view password);  // 5140 if exists
  void DropUser(std::string_view name);
  bool CheckPassword(std::string_view user, std::string_view password);  // false if unknown
  void CreateGroup(std::string_view name);
  void DropGroup(std::string_view name);
  void AddUserToGroup(std::string_view user, std::string_view group);
  void RemoveUserFromGroup(std::string_view user, std::string_view group);
  std::vector<std::string> UserGroups(std::string_view user);
  /// User properties: 1102 = the groups joined by ";" (nullopt when none).
  std::optional<std::string> UserProperty(std::string_view user, uint32_t id);
  /// Grants rights bits to a user or group on a table (field "") or a column.
  void Grant(std::string_view grantee, std::string_view table, std::string_view field,
             uint32_t rights);
  void Revoke(std::string_view grantee, std::string_view table, std::string_view field,
              uint32_t rights);
  /// Effective rights of a user: kRightAll when the dictionary has no users
  /// or user is empty and no users exist; else the union of the user's and
  /// its groups' grants on the table (field ""), or on the table | the column.
  uint32_t TableRights(std::string_view user, std::string_view table);
  uint32_t ColumnRights(std::string_view user, std::string_view table, std::string_view field);

  // --- objects
  std::vector<std::string> ListObjects(ObjectType type, std::string_view parent = {});
  /// Renames a table, index (parent = table), field (parent = table), user or
  /// group, in SQLite and the catalog. 5139 unknown, 5140 new name taken.
  void RenameObject(ObjectType type, std::string_view oldName, std::string_view newName,
                    std::string_view parent = {});

  // --- engine SQL
  /// Translates one engine statement. Throws 7200 (native 1) on syntax the
  /// translator refuses. DML keeps the SQL with ":name" markers turned into
  /// "?N"; INSERT without a column list gets the engine fields named; a
  /// single-table SELECT gets "<table or alias>"."sdb_recno" as its first
  /// column (DescribeResult hides it and answers it as recnoColumn).
  Translation Translate(std::string_view engineSql);
  /// Runs a translated statement that yields no rows and has no markers:
  /// DDL and GRANT/REVOKE do their catalog work, DML/Other/Transaction run
  /// tr.sql. Procedures: the catalog ones run here with tr.args as values (a
  /// caller with markers puts the values into args first): sp_CreateUser(user,
  /// password), sp_DropUser(user), sp_CreateGroup(group), sp_DropGroup(group),
  /// sp_AddUserToGroup(user, group), sp_RemoveUserFromGroup(user, group),
  /// sp_ModifyTableProperty(table, property, value) with TABLE_DEFAULT_INDEX or
  /// a number, sp_ModifyDatabase(property number, value),
  /// sp_RenameDDObject(old, new, type number[, parent]). sp_setapplicationid
  /// and sp_getapplicationid are the caller's; they and unknown procedures
  /// answer 7200 (native 1). Answers rows changed.
  int Execute(const Translation& tr);
  /// Describes the result columns of a prepared SELECT in engine types.
  /// Catalog columns keep their field type; computed columns by declared
  /// type or, when stepped, the current row's storage class (INTEGER ->
  /// INTEGER, REAL -> DOUBLE, BLOB -> BLOB, TEXT -> CHAR(textLengths[col]
  /// or 254), NULL -> CHAR(254)). sdb_recno is hidden.
  ResultLayout DescribeResult(sqlite3_stmt* stmt,
                              const std::vector<uint32_t>* textLengths = nullptr);

  /// Monotonic count of DDL changes seen by this connection (cheap cache key).
  uint64_t SchemaGeneration();
  /// The generation as last seen, without asking the file: it may lag behind
  /// a change made meanwhile (the next SchemaGeneration() then moves on).
  uint64_t KnownGeneration() const { return FGeneration; }
  /// While deferred, SchemaGeneration() (and so FindTable) answers what was
  /// last seen without asking the file, once it has been asked at all: for
  /// translating a statement whose generation is checked again, for real,
  /// before it runs (a change made meanwhile then translates it anew).
  void DeferSchemaCheck(bool deferred) { FDeferSchemaCheck = deferred; }

 private:
  Database(sqlite3* db, std::string path);
  void EnsureCatalog();
  std::shared_ptr<const TableDef> LoadTable(std::string_view name);
  int64_t TableId(std::string_view name);  // 5132 if unknown
  struct RowStatements {                   // SQL texts of one table's row operations
    std::string selectList;                // of the field list they were made for
    std::string selectOne, insert, remove, count;
  };
  RowStatements& RowSql(const TableDef& t);

  sqlite3* FDb = nullptr;
  std::string FPath;
  struct TextHash {  // lets the cache be searched with a string_view, no copy
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> FStatements;
  std::map<std::string, std::shared_ptr<const TableDef>> FTables;  // key: upper-case name
  // By table id; one entry per field list in use (the table and projections).
  std::unordered_map<int64_t, std::vector<std::unique_ptr<RowStatements>>> FRowSql;
  int FSchemaVersion = -1;
  bool FDeferSchemaCheck = false;
  uint64_t FGeneration = 0;
};

/// Quotes an identifier for SQLite: "na""me".
std::string QuoteIdent(std::string_view name);
/// Quotes a text literal: 'it''s'.
std::string QuoteText(std::string_view text);
// The engine's text rules compare names and keys in ASCII case, whatever
// the process locale: these helpers are the one way to fold case.
/// ASCII upper case of one character.
constexpr char UpperChar(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
/// ASCII upper case (names are compared so).
std::string Upper(std::string_view s);
/// ASCII lower case of one character.
constexpr char LowerChar(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
/// ASCII lower case.
std::string Lower(std::string_view s);
bool EqualNoCase(std::string_view a, std::string_view b);

// ---------------------------------------------------------------- record locks

/// Locks of one owner (a connection, or a table handle for sharing modes) on
/// one database file. Between processes: open-file-description locks on the
/// sidecar lock file, one description per owner, so owners in one process
/// conflict too and a dead process loses its locks. The owner remembers what
/// it holds (the in-process table) for UnlockAll and queries.
/// Lock offsets: (tableId << 32) | recno for records, (tableId << 32) for the
/// table itself (record numbers start at 1), 0 for the whole file.
class LockOwner {
 public:
  /// Opens (creating) lockPath. Throws 5030 when it cannot. Where the file
  /// may only be read (or, in a folder that may only be read, cannot be
  /// made) the owner takes shared locks only, and none without a file: such
  /// a database is read-only here, and write locks answer 5046.
  explicit LockOwner(const std::string& lockPath);
  ~LockOwner();  // releases everything
  LockOwner(const LockOwner&) = delete;
  LockOwner& operator=(const LockOwner&) = delete;

  /// Locks a record; true when held (also when already held by this owner),
  /// false when another owner holds it. Never waits.
  bool LockRecord(int64_t tableId, int64_t recno);
  /// Releases one record; false when this owner did not hold it.
  bool UnlockRecord(int64_t tableId, int64_t recno);
  bool HoldsRecord(int64_t tableId, int64_t recno) const;
  /// True when some other owner (any process) holds the record.
  bool LockedByOther(int64_t tableId, int64_t recno) const;
  /// Releases every record of the table (tableId) or of all tables (-1).
  void UnlockAll(int64_t tableId = -1);
  std::vector<int64_t> HeldRecords(int64_t tableId) const;

  /// Table sharing: shared for a normal open, exclusive for an exclusive
  /// open; false on conflict. Another LockTable call on the same table
  /// converts the lock.
  bool LockTable(int64_t tableId, bool exclusive);
  void UnlockTable(int64_t tableId);

 private:
  bool SetLock(int64_t offset, short type);
  int FFd = -1;
  bool FReadOnly = false;  // opened read-only, or no file could be made
  std::string FPath;
  std::set<std::pair<int64_t, int64_t>> FRecords;
  std::set<int64_t> FTables;
};

/// The text of a lock conflict: "The record NNN of table NAME is locked by
/// another user." (code kErrLocked).
std::string LockConflictText(std::string_view table, int64_t recno);

// ---------------------------------------------------------------- connection string

/// A parsed connection string: "Key=Value;" pairs, values optionally in
/// double quotes (which may hold ";"). Keys are case-insensitive; every pair
/// is kept in order, known ones are also decoded. Known keys: Data Source,
/// User ID, Password, FIPS, DDPassword, EncryptionType, TLSCertificate,
/// TLSCommonName, TLSCiphers, CommType, Compression, SQLTimeout,
/// IncrementUserCount, StoredProcedureConnection, ServerType, DateFormat,
/// TableType.
struct ConnectString {
  std::vector<std::pair<std::string, std::string>> pairs;  // as written (unquoted values)
  std::string dataSource, userId, password, ddPassword;
  bool fips = false;
  std::string encryptionType;  // "", AES128, AES256, RC4
  std::string tlsCertificate, tlsCommonName;
  std::vector<std::string> tlsCiphers;  // AES128-SHA, AES256-SHA, RC4-MD5
  std::string commType;                 // "", UDP_IP, IPX, TCP_IP, TLS
  std::string compression;              // "", INTERNET, ALWAYS, NEVER
  int sqlTimeout = 0;
  bool incrementUserCount = false, storedProcedureConnection = false;
  bool serverLocal = false, serverRemote = false, serverInternet = false;
  std::string dateFormat;
  uint16_t tableType = 0;  // 0 unset, 1 NTX, 2 CDX, 3 ADT, 4 VFP

  /// A value by key (case-insensitive), the last one written; nullopt when absent.
  std::optional<std::string> Get(std::string_view key) const;
};

/// Parses a connection string. Throws StoreError 5031 with a text naming the
/// fault: a pair without "=", an empty key, an unterminated quote, a known
/// key with a value it cannot take, or no Data Source.
ConnectString ParseConnectString(std::string_view text);

}  // namespace sdbstore
