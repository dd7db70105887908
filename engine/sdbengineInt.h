// Internal structures of the sdbengine C API: handles, per-thread errors,
// connections, tables and their cursors, statements.
// Naming across the engine's internal classes: private data members are
// FName; public data of plain records (the fields a handle exposes to the
// rest of the engine) are lowerCamel, as in a struct.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sdbengine.h"
#include "sdbstore.h"

namespace sdbengine {

// ---------------------------------------------------------------------------
// Errors. Inside the engine a failure is an Error thrown; every C entry point
// runs its body through Api(), which turns it into the thread's last error and
// the answered code, so nothing ever escapes into a C caller.

struct Error {
  uint32_t code;
  std::string text;
};

[[noreturn]] void Throw(uint32_t code, std::string text);
/// Records code and text as the calling thread's last error; answers code.
uint32_t SetError(uint32_t code, std::string text);

template <class F>
uint32_t Api(F&& body) noexcept {
  try {
    return body();
  } catch (const Error& e) {
    return SetError(e.code, e.text);
  } catch (const sdbstore::StoreError& e) {
    return SetError(e.code(), e.what());
  } catch (const std::bad_alloc&) {
    return SetError(SDB_E_GENERAL, "Out of memory.");
  } catch (const std::exception& e) {
    return SetError(SDB_E_GENERAL, std::string("Unexpected failure: ") + e.what());
  } catch (...) {
    return SetError(SDB_E_GENERAL, "Unexpected failure.");
  }
}

/// Raises SDB_E_INVALID_ARGUMENT naming the argument when p is null.
template <class T>
T* Need(T* p, const char* what) {
  if (!p) Throw(SDB_E_INVALID_ARGUMENT, std::string("Missing argument: ") + what + ".");
  return p;
}

// Output buffers with an in/out length: in, the room; out, the length
// written without terminator, or on SDB_E_INSUFFICIENT_BUFFER the room needed
// including the terminator (the buffer then holds what fits).
uint32_t PutText(std::string_view text, char* buf, uint16_t* len);
uint32_t PutText32(std::string_view text, char* buf, uint32_t* len);
uint32_t PutTextW(std::u16string_view text, char16_t* buf, uint32_t* len);
uint32_t PutBytesChecked(const void* data, size_t size, uint8_t* buf, uint32_t* len);
inline uint32_t PutBytes(const void* data, size_t size, uint8_t* buf, uint32_t* len) {
  if (buf && len && size <= *len) {  // what fits, inline: a walk copies every record
    if (size) std::memcpy(buf, data, size);
    *len = static_cast<uint32_t>(size);
    return SDB_SUCCESS;
  }
  return PutBytesChecked(data, size, buf, len);
}
inline uint32_t PutBool(bool value, uint16_t* out, const char* what) {
  *Need(out, what) = value ? 1 : 0;
  return SDB_SUCCESS;
}

/// A zero-terminated UTF-16 text (null: empty).
std::u16string_view WideZ(const char16_t* text);

// ---------------------------------------------------------------------------
// Handles: every object the C API hands out lives in one registry keyed by a
// 32-bit number that is never 0 and not reused while the process runs.

enum class Kind : uint16_t {
  Connection = SDB_HANDLE_CONNECTION,
  Table = SDB_HANDLE_TABLE,
  Index = SDB_HANDLE_INDEX,
  Statement = SDB_HANDLE_STATEMENT,
  Cursor = SDB_HANDLE_CURSOR,
  Search = 6,  // a table or object listing
};

const char* KindName(Kind kind);

class Object {
 public:
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  const Kind kind;
  SDBHANDLE handle = 0;
};

/// Takes ownership and answers the new handle.
SDBHANDLE Register(std::unique_ptr<Object> object);
/// Gives up ownership of a handle's object (null when unknown). The handle
/// of a statement stays known as closed (IsClosedStatement).
std::unique_ptr<Object> Unregister(SDBHANDLE handle);
/// Whether the handle belonged to a statement that has been closed.
bool IsClosedStatement(SDBHANDLE handle);
/// The object of a handle, or null.
Object* Lookup(SDBHANDLE handle);
/// The object of a handle of one of the given kinds; raises
/// SDB_E_INVALID_HANDLE or SDB_E_WRONG_HANDLE_KIND with a text.
Object* Resolve(SDBHANDLE handle, std::initializer_list<Kind> kinds, const char* call);

template <class T>
T& As(SDBHANDLE handle, std::initializer_list<Kind> kinds, const char* call) {
  return static_cast<T&>(*Resolve(handle, kinds, call));
}

// ---------------------------------------------------------------------------
// Dates: julian days and date formats (the conversions live in sdbstore).

/// A date format of the letters CC, YY, MM, DD (CCYY/YYYY for the year) and
/// separators, at most 11 characters.
bool ValidDateFormat(std::string_view format);
/// The process-wide date format.
std::string ProcessDateFormat();
void SetProcessDateFormat(std::string format);

// ---------------------------------------------------------------------------
// Engine objects.

using sdbstore::Database;
using sdbstore::FieldDef;
using sdbstore::TableDef;

/// Process-wide count of writes, rollbacks and commits made through the
/// engine. Rows a cursor has cached stay valid only while it is unchanged and
/// for at most kCacheLifetimeMs (writes of other processes).
uint64_t WriteEpoch();
void BumpWriteEpoch();
constexpr int64_t kCacheLifetimeMs = 50;
int64_t NowMs();

class Table;
class Statement;
struct TableOrders;  // index handles, scopes and filters (sdbengineIndex.h)

class Connection : public Object {
 public:
  Connection() : Object(Kind::Connection) {}
  ~Connection() override;

  sdbstore::ConnectString options;
  std::string path;    // local path of the dictionary file or the folder
  std::string folder;  // folder of free tables (the dictionary's own folder)
  bool dictionary = false;
  std::string user;
  std::string dateFormat;  // empty: the process-wide one
  int busyTimeoutMs = 10000;
  std::string applicationId;
  std::vector<std::string> savepoints;
  std::set<Table*> tables;
  std::set<Statement*> statements;

  std::string DateFormat() const;
  /// REQUIRES: a dictionary connection.
  Database& Dictionary() { return *FDictionary; }
  void SetDictionary(std::unique_ptr<Database> db) { FDictionary = std::move(db); }
  /// A free-table file, opened (or with create, created) on first use; it
  /// joins a transaction in progress.
  Database& FreeFile(const std::string& file, bool create);
  std::vector<Database*> Databases();
  /// The connection's record locks on one file.
  sdbstore::LockOwner& Locks(Database& db);
  /// Makes SQL UPDATE and DELETE of the connection on a table respect the
  /// record locks of other connections (sdbengine_statements.cpp).
  void GuardLockedRecords(Database& db, const TableDef& table);

  bool InTransaction();
  void Begin();
  void Commit();
  void Rollback();
  void CreateSavepoint(const std::string& name);
  void RollbackTo(const std::string& name);
  /// Drops pending updates of every table (after a rollback).
  void DropPendingUpdates();

 private:
  std::unique_ptr<Database> FDictionary;
  std::map<std::string, std::unique_ptr<Database>> FFree;  // key: file path
  std::map<Database*, std::unique_ptr<sdbstore::LockOwner>> FLocks;
  std::set<Database*> FLockCheck;                    // lock check function registered
  std::set<std::pair<Database*, int64_t>> FGuarded;  // tables with lock triggers
  bool FInTransaction = false;
};

/// Adds the statement's current row to a batch: the record number in column
/// 0, the fields of `def` after it.
inline void AddRow(sqlite3_stmt* st, const TableDef& def, std::vector<int64_t>& recnos,
                   std::vector<uint8_t>& images) {
  recnos.push_back(sqlite3_column_int64(st, 0));
  size_t at = images.size();
  images.resize(at + def.recordLength);
  sdbstore::DecodeRow(def.fields, st, 1, images.data() + at);
}

/// Where a cursor's rows come from. Rows are fetched in batches; no read
/// transaction outlives one call. An order (physical now, an index later)
/// walks from a position given as record number and image.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<FieldDef>& Fields() const = 0;
  virtual uint32_t RecordLength() const = 0;
  /// Appends up to n rows after (forward) or before (backward) the position
  /// (fromRecno 0: from the first or the last row), in walk order.
  virtual void Fetch(int64_t fromRecno, const uint8_t* fromImage, bool forward, size_t n,
                     std::vector<int64_t>& recnos, std::vector<uint8_t>& images) = 0;
  virtual bool Read(int64_t recno, uint8_t* image) = 0;
  virtual int64_t Count() = 0;
  virtual std::optional<std::string> ReadBlob(int64_t recno, int fieldIndex) = 0;
  /// True when the rows never change (a static cursor): caches never expire.
  virtual bool Static() const = 0;
};

/// The rows of an engine table in record-number order.
class TableRows : public RowSource {
 public:
  TableRows(Database& db, std::shared_ptr<const TableDef> def);
  const std::vector<FieldDef>& Fields() const override { return FDef->fields; }
  uint32_t RecordLength() const override { return FDef->recordLength; }
  void Fetch(int64_t fromRecno, const uint8_t* fromImage, bool forward, size_t n,
             std::vector<int64_t>& recnos, std::vector<uint8_t>& images) override;
  bool Read(int64_t recno, uint8_t* image) override;
  int64_t Count() override;
  std::optional<std::string> ReadBlob(int64_t recno, int fieldIndex) override;
  bool Static() const override { return false; }

 private:
  Database& FDb;
  std::shared_ptr<const TableDef> FDef;
  std::string FForward, FBackward;
};

/// The rows of an SQL result, kept in memory (a static cursor). Record
/// numbers are row positions from 1.
class StaticRows : public RowSource {
 public:
  std::vector<FieldDef> fields;
  uint32_t recordLength = 0;
  std::vector<uint8_t> images;                    // recordLength bytes per row
  std::vector<std::map<int, std::string>> blobs;  // per row: field index -> value
  int64_t rows = 0;

  const std::vector<FieldDef>& Fields() const override { return fields; }
  uint32_t RecordLength() const override { return recordLength; }
  void Fetch(int64_t fromRecno, const uint8_t* fromImage, bool forward, size_t n,
             std::vector<int64_t>& recnos, std::vector<uint8_t>& images) override;
  bool Read(int64_t recno, uint8_t* image) override;
  int64_t Count() override { return rows; }
  std::optional<std::string> ReadBlob(int64_t recno, int fieldIndex) override;
  bool Static() const override { return true; }
};

/// A table handle or an SQL cursor: the field layout, a position, a batch of
/// rows read ahead, and the pending update of the current record.
class Table : public Object {
 public:
  Table(Kind kind, Connection* connection) : Object(kind), conn(connection) {}
  ~Table() override;

  Connection* conn;
  std::unique_ptr<RowSource> source;
  std::string name;
  // Engine tables only (null for a cursor):
  Database* db = nullptr;
  std::shared_ptr<const TableDef> def;
  std::unique_ptr<sdbstore::LockOwner> sharing;  // shared/exclusive open
  std::set<int64_t> heldLocks;                   // record locks this handle took
  Statement* statement = nullptr;                // a cursor's statement
  uint32_t openOptions = 0;                      // SDB_OPEN_EXCLUSIVE | SDB_OPEN_READONLY
  uint32_t rights = sdbstore::kRightAll;
  bool checkRights = false;
  uint16_t charType = 1;

  const std::vector<FieldDef>& Fields() const { return source->Fields(); }
  uint32_t RecordLength() const { return source->RecordLength(); }
  /// The field index (0-based) of a name or SDB_FIELD(n); SDB_E_FIELD_NOT_FOUND.
  int FieldIndex(SDBFIELD field, const char* call) const;
  bool Exclusive() const { return openOptions & SDB_OPEN_EXCLUSIVE; }
  bool IsCursor() const { return kind == Kind::Cursor; }
  /// A live SQL cursor: its rows are an engine table's (db, def set), writable.
  bool live = false;
  bool IsStaticCursor() const { return IsCursor() && !live; }

  // --- position (sdbengine_navigation.cpp)
  bool bof = true, eof = true;
  int64_t recno = 0;     // the current record; after a delete the one removed
  bool deleted = false;  // the current record was deleted (by this handle or another)
  std::vector<uint8_t> image;
  uint64_t imageEpoch = 0;
  int64_t imageAtMs = 0;
  size_t maxBatch = 2048;
  uint32_t cacheRecords = 2048;  // as SdbCacheRecords last set it (0: none)

  bool OnRecord() const { return !bof && !eof; }
  void GotoTop();
  void GotoBottom();
  void GotoBof();
  void GotoEof();
  void Skip(int32_t count);
  /// false when the record does not exist (the cursor is then at EOF).
  bool GotoRecord(int64_t number);
  /// The current image, re-read when it may be stale; SDB_E_NO_CURRENT_RECORD
  /// when there is none or it is gone.
  const uint8_t* Current(const char* call);
  /// Re-reads the current record; false when it is gone.
  bool Reread();
  void DropBatch();

  // --- index orders and filters (sdbengine_index*.cpp, sdbengine_filter.cpp)
  RowSource* order = nullptr;           // the order moves follow; null: `source`
  std::shared_ptr<TableOrders> orders;  // null until an index or filter is used

  // --- pending update (sdbengine_writing.cpp)
  struct Pending {
    bool active = false;
    bool append = false;
    int64_t recno = 0;
    std::vector<uint8_t> image;
    std::vector<bool> changed;
    std::map<int, std::optional<std::string>> blobs;
    // Where an append started, to return there when it is cancelled.
    bool savedBof = false, savedEof = false;
    int64_t savedRecno = 0;
  } pending;
  int64_t lastAutoinc = 0;

  /// The image reads and writes use: the pending one, else the current one.
  const uint8_t* ReadImage(const char* call);
  /// Starts (if needed) the pending update of the current record and answers
  /// its image; REQUIRES a writable engine table.
  uint8_t* EditImage(int fieldIndex, const char* call);
  void WritePending(const char* call);
  void CancelPending();
  void CheckWritable(const char* call, uint32_t right) const;

 private:
  std::vector<int64_t> FBatchRecnos;
  std::vector<uint8_t> FBatchImages;
  size_t FBatchPos = 0;
  bool FBatchForward = true;
  bool FBatchEnd = false;  // the batch reaches the end in its direction
  uint64_t FBatchEpoch = 0;
  int64_t FBatchAtMs = 0;
  size_t FBatchSize = 0;             // size of the next batch (grows on a walk)
  RowSource* FBatchOrder = nullptr;  // the order the batch was read in
  bool BatchValid() const;
  bool StepBatch(bool forward);
  void LoadBatch(int64_t fromRecno, const uint8_t* fromImage, bool forward);
  void TakeBatchRow();
  /// The first (top) or last record of the order, or BOF and EOF when none.
  void GotoEnd(bool top, const char* call);

 public:
  /// Whether the current image may still be used without reading it again.
  bool Fresh() const;
  /// The value of a blob-type field of the record being read (pending or stored).
  std::optional<std::string> BlobValue(int fieldIndex, const char* call);
};

/// The table or SQL cursor of a handle; raises as Resolve does.
inline Table& TableOrCursor(SDBHANDLE handle, const char* call) {
  return As<Table>(handle, {Kind::Table, Kind::Cursor}, call);
}

/// A statement parameter value.
struct Param {
  enum Type { Unset, Null, Integer, Real, Text, Blob } type = Unset;
  int64_t i = 0;
  double d = 0;
  std::string s;
};

class Statement : public Object {
 public:
  explicit Statement(Connection* connection) : Object(Kind::Statement), conn(connection) {}
  ~Statement() override;

  Connection* conn;
  // Settings (accepted and kept).
  uint16_t lockType = 1, rights = 1, readOnly = 1, tableType = 3, charType = 1;
  uint16_t constrain = 2, readAllColumns = 2;
  std::string collation;
  int timeoutSec = 0;

  std::string sql;  // UTF-8, as prepared
  bool prepared = false;
  std::vector<std::string> paramNames;  // the last statement's markers
  std::vector<Param> params;
  int64_t rowsAffected = -1;
  int64_t lastAutoinc = 0;
  std::set<Table*> cursors;

  // The text's first statement as SQLite compiled it, with the translation
  // it came from: kept from preparing to executing and from one execution to
  // the next, so that a text prepared and run (or run again) is translated
  // and compiled once. Valid while the text and the file's schema stay the
  // same (dictionary connections only).
  struct Compiled {
    Database* db = nullptr;
    uint64_t generation = 0;
    std::string text;  // the one statement, as split from sql
    sdbstore::Translation tr;
    sqlite3_stmt* stmt = nullptr;
    Compiled() = default;
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
    ~Compiled() { sqlite3_finalize(stmt); }
  };
  std::unique_ptr<Compiled> compiled;
  // The statements of sql as last prepared, with their parameter numbering.
  struct Part {
    std::string text;  // one statement
    std::vector<std::string> params;
    size_t firstParam = 0;
    bool compiled = false;  // runs on the statement's Compiled
  };
  std::vector<Part> parts;

  /// The parameter numbers (0-based) a name or SDB_FIELD(n) addresses.
  std::vector<size_t> ParamSlots(SDBFIELD field, const char* call) const;
};

/// Binds a statement parameter to SQLite parameter index (from 1).
void BindParam(Database& db, sqlite3_stmt* stmt, int index, const Param& p);
/// A live cursor over the one table of a translated SELECT, or null when the
/// statement does not allow one (the caller then makes a static cursor).
Table* NewLiveCursor(Statement& s, Database& db, const sdbstore::Translation& tr,
                     sqlite3_stmt* prepared, const std::vector<Param>& params);

/// Resets a cached statement on every exit, which ends its read transaction.
struct ResetOnExit {
  sqlite3_stmt* stmt;
  ~ResetOnExit() { sqlite3_reset(stmt); }
};

/// One read transaction over several reads of one call (or of calls made
/// together, such as a seek and the return to the record it started from),
/// which would otherwise take and drop the file's read lock each by itself:
/// every lock is a system call. Nothing is begun inside a transaction, where
/// the lock is held anyway, nor without a database. Only for reads: a write
/// made inside would be committed by the destructor, not by the write.
class ReadTogether {
 public:
  explicit ReadTogether(Database* db);
  ~ReadTogether();
  ReadTogether(const ReadTogether&) = delete;
  ReadTogether& operator=(const ReadTogether&) = delete;

 private:
  Database* FDb = nullptr;
};

/// Closes a table or cursor handle (its locks and pending update go too).
void CloseTable(Table& table);
/// Drops a record lock the handle holds. The connection's lock is released
/// only when no other handle of the connection holds the record as well: a
/// lock belongs to the handle that took it, so closing or unlocking one
/// handle never unprotects another handle's record.
void ReleaseRecordLock(Table& table, int64_t recno);

// Index orders, scopes and filters (sdbengine_index*.cpp, sdbengine_filter.cpp).
/// The cursor a navigation call moves: a table or SQL cursor in its own
/// order, or through an index handle its table in the index's order.
Table& NavCursor(SDBHANDLE handle, const char* call);
/// NavCursor for an object already resolved (a table, SQL cursor or index).
Table& AimCursor(Object& object);
/// SdbGetRecordCount of a table, cursor or index handle (option 1 respects
/// filters and scopes, 2 ignores both, 3 respects scopes only).
int64_t CountRecords(Object& object, uint16_t option);
/// Whether the current record passes the filters (and through an index
/// handle the index's condition and scopes). REQUIRES a current record.
bool PassesOrder(SDBHANDLE handle, Table& table);
/// The same through the handle's object (null: none).
bool PassesOrder(Object* through, Table& table);
/// Sets a key value on an index handle (SdbSetField... on an index).
void SetKeyField(Object& index, SDBFIELD field, const char* call,
                 const std::function<void(const FieldDef&, uint8_t*, const std::string&)>& put,
                 const std::function<std::optional<std::string>(const FieldDef&)>& blob);
/// Closes the index handles of a table (when the table closes).
void CloseOrders(Table& table);
/// Rethrows the failure being handled; a unique index violation of a write
/// gets a text naming the index (the code stays SDB_E_SQL).
[[noreturn]] void RethrowWriteFailure(const Table& table, int64_t recno, const char* call);
/// Closes a statement with its cursors.
void CloseStatement(Statement& statement);

/// A listing of names (tables, dictionary objects).
class Search : public Object {
 public:
  explicit Search(Connection* connection) : Object(Kind::Search), conn(connection) {}
  Connection* conn;
  std::vector<std::string> names;
  size_t next = 0;
};

/// Folder paths: "\" becomes "/" (a local path), a trailing separator goes.
std::string LocalPath(std::string_view path);
bool IsSharePath(std::string_view path);

}  // namespace sdbengine
