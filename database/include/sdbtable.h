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

// ==== SQL queries (sdbtable_query.cpp) ==========================================

class TSdbQuery;

/// How a query would write changes back (kept only).
enum TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };

/// A query's link to the data source its parameters come from: the query is
/// opened again when the master opens or closes, or moves to another record.
class TSdbQueryDataLink : public TDetailDataLink {
 public:
  explicit TSdbQueryDataLink(TSdbQuery* query) : FQuery(query) {}
  TDataSet* DetailDataSet() const override;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;
  void CheckBrowseMode() override;

 private:
  TSdbQuery* FQuery;
};

/// A dataset over the cursor of an SQL statement. The query owns one engine
/// statement handle for its lifetime (made again when the engine no longer
/// knows it); each execution hands the dataset's settings to the statement,
/// prepares the text, binds Params by position (SdbBindParams) and executes.
/// A statement with a cursor is opened with Open; any other runs with
/// ExecSQL. All refusals are ESDBDatabaseError with code 5121.
class TSdbQuery : public TSdbExtendedDataSet {
 public:
  explicit TSdbQuery(TComponent* owner = nullptr);
  ~TSdbQuery() override;

  // -- the statement ---------------------------------------------------------
  /// The text; a change closes the query and, with ParamCheck, rebuilds
  /// Params from its markers (values kept by name).
  TStringList& SQL() { return *mSQL; }
  /// Closes and unprepares, then assigns, when the text differs.
  void SetSQL(const TStringList& value);
  void SetSQL(const std::string& text);
  std::string Text() const { return mSQL->Text(); }
  TParams& Params() { return *moParams; }
  /// Copies the values of `value` into Params by name.
  void SetParams(const TParams& value);
  TParam* ParamByName(std::string_view name) { return moParams->ParamByName(name); }
  uint16_t ParamCount() const;
  bool ParamCheck() const { return mbParamCheck; }
  void SetParamCheck(bool value) { mbParamCheck = value; }
  /// "Cannot perform this operation on an open dataset" on an open query.
  void Prepare();
  void UnPrepare();
  bool Prepared() const { return mbPrepared; }
  void SetPrepared(bool value);
  bool RequestLive() const { return mbRequestLive; }
  void SetRequestLive(bool value) { mbRequestLive = value; }
  bool ReadAllColumns() const { return mbReadAllColumns; }
  void SetReadAllColumns(bool value) { mbReadAllColumns = value; }
  bool Constrained() const { return mbConstrained; }
  void SetConstrained(bool value) { mbConstrained = value; }
  /// Seconds; handed to the statement at once when one exists; 0 keeps the
  /// engine's default. A negative value is refused.
  int32_t SQLTimeout() const { return FSQLTimeout; }
  void SetSQLTimeout(int32_t value);
  uint32_t StmtHandle() const { return mhStmt; }
  /// Rows the last execution affected (a SELECT: its rows); -1 unknown.
  int32_t RowsAffected() const { return mlRowsAffected; }
  const std::u16string& SQLBinary() const { return mpucSQLBinary; }
  void SetSQLBinary(std::u16string value) { mpucSQLBinary = std::move(value); }

  /// Executes a statement that yields no cursor (a cursor is closed at once).
  void ExecSQL();
  /// Closes the statement handle (refused on an open query).
  void SdbCloseSQLStatement();
  /// Forgets statement and connection handles without closing them.
  void InvalidateEngineHandles() override;

  // -- the master ------------------------------------------------------------
  TDataSource* DataSource() const override;
  /// Refuses a source leading back to the query ("Circular Data Link").
  void SetDataSource(TDataSource* source);
  void GetDetailLinkFields(std::vector<TField*>& masterFields,
                           std::vector<TField*>& detailFields) override;

  // -- location and kind -----------------------------------------------------
  void SetTableType(TSdbTableTypes value) override;
  /// Refuses ttSdbNTX unless `ignoreNTXError` or a dictionary connection.
  void InternalSetTableType(TSdbTableTypes value, bool ignoreNTXError);
  TSdbTableTypes SourceTableType() const { return TableType(); }
  void SetSourceTableType(TSdbTableTypes value) { SetTableType(value); }
  void SetDatabaseName(const std::string& value) override;

  // -- kept only, or refused -------------------------------------------------
  int WaitCursor() const { return 0; }
  void SetWaitCursor(int) {}
  TUpdateMode UpdateMode() const { return moUpdateMode; }
  void SetUpdateMode(TUpdateMode value) { moUpdateMode = value; }
  bool UniDirectional() const { return mbUniDirectional; }
  void SetUniDirectional(bool value) { mbUniDirectional = value; }
  bool Local() const { return mbLocal; }
  void SetLocal(bool value) { mbLocal = value; }
  [[noreturn]] void Constraints() const;
  [[noreturn]] void UpdateObject() const;

 protected:
  uint32_t OpenCursorHandle() override;
  void CloseHook() override;
  std::vector<uint32_t> LocateIndexes(bool onlyActive) override;

 private:
  friend class TSdbQueryDataLink;

  void SQLChanged();
  /// Closes and opens the query again when its master is open.
  void RefreshParams();
  void CheckQueryInactive() const;
  [[noreturn]] void ComponentErrorConst(const std::string& message) const;
  /// The statement handle: kept while the engine knows it, else made anew.
  void ObtainStatement();
  void PassSettings();
  /// Unbound parameters take the master's field values of their names.
  void TakeMasterValues();
  /// Runs the statement; answers its cursor or SdbNoHandle.
  uint32_t Execute();

  std::unique_ptr<TStringList> mSQL;
  std::unique_ptr<TParams> moParams;
  bool mbPrepared = false;
  bool mbReadAllColumns = false;
  bool mbRequestLive = false;
  bool mbConstrained = false;
  bool mbParamCheck = true;
  std::unique_ptr<TSdbQueryDataLink> moDataLink;
  uint32_t mhStmt = SdbNoHandle;
  uint32_t mhConnection = SdbNoHandle;
  int32_t mlRowsAffected = -1;
  std::u16string mpucSQLBinary;
  int32_t FSQLTimeout = 0;
  TUpdateMode moUpdateMode = upWhereAll;
  bool mbUniDirectional = false;
  bool mbLocal = false;
  std::string FTextBefore;  // the text before a change of SQL
};

// ==== end of SQL queries =========================================================
