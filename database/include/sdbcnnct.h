// sdbcnnct: the connection component TSdbConnection, its connection string
// and encryption options, the connection errors, the statement cache and the
// process-wide lists of connections, datasets and folder connections.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "component.h"
#include "exceptions.h"
#include "params.h"

class TSdbConnection;

// ---- errors of the connection ---------------------------------------------

/// An engine failure noticed by the connection. The message is the engine's
/// last error text (SdbGetLastError); the result passed in is not kept.
class SdbError : public Exception {
 public:
  /// `ignored` has no effect (kept for callers that pass a second value).
  explicit SdbError(uint32_t result, int ignored = 0);
};

/// A misuse of a connection's state, such as changing ConnectPath while
/// connected.
class SdbConnectionError : public Exception {
 public:
  using Exception::Exception;
};

// ---- enumerations -----------------------------------------------------------

enum TSdbServerType { stSDB_REMOTE, stSDB_LOCAL, stSDB_AIS };
using TSdbServerTypes = std::set<TSdbServerType>;

/// The table type an alias names (";n", ";c", ";a", ";v" after its path).
enum TSdbConnectionTableTypes {
  ttSdbConnectUnspecified,
  ttSdbConnectCDX,
  ttSdbConnectNTX,
  ttSdbConnectADT,
  ttSdbConnectVFP,
};

enum TSdbCompressionTypes {
  ccSdbCompressionNotSet,
  ccSdbCompressInternet,
  ccSdbCompressAlways,
  ccSdbCompressNever,
};

enum TSdbCommunicationType { ctSdbDefault, ctSdbUDPIP, ctSdbIPX, ctSdbTCPIP, ctSdbTLS };

enum TSdbTLSCipherSuite { tlsAES128SHA, tlsAES256SHA, tlsRC4MD5 };
using TSdbTLSCipherSuites = std::set<TSdbTLSCipherSuite>;

enum TSdbEncryptionType { etSdbDefault, etSdbAES128, etSdbAES256, etSdbRC4 };

// ---- what the connection needs of a dataset ---------------------------------

/// The side of a dataset that its connection, the process-wide dataset list
/// and ESDBDatabaseError see. TSdbDataSet implements it; a test may implement
/// it with a small double. Names that TDataSet already uses (Close, Cancel,
/// Refresh) appear here under names of their own.
class TSdbDataSetInterface {
 public:
  virtual ~TSdbDataSetInterface() = default;

  /// The dataset as a component: its Name and Owner.
  virtual TComponent* DataSetComponent() = 0;
  /// The connection the dataset is linked to, or nullptr.
  virtual TSdbConnection* SdbConnection() const = 0;
  virtual const std::string& DatabaseName() const = 0;
  virtual const std::string& TableName() const = 0;
  /// The folder of the dataset's tables. May call the engine: the connection
  /// and ESDBDatabaseError call it only where an engine failure is harmless.
  virtual std::string GetDatabasePath() = 0;

  /// Closes the dataset (the generic Close); may raise.
  virtual void CloseDataSet() = 0;
  /// Forgets engine handles the connection's disconnect made invalid, without
  /// closing them.
  virtual void InvalidateEngineHandles() = 0;
  /// Cancels a pending edit or insert (the generic Cancel when editing).
  virtual void CancelPendingEdit() = 0;
  /// Refreshes an open dataset in dsBrowse (after a rollback).
  virtual void RefreshIfBrowsing() = 0;
  /// Reads the dictionary's default index of the table again.
  virtual void UpdateDefaultIndex() = 0;

  /// The connection is being destroyed: forget it (no call back into it).
  virtual void ConnectionDestroyed() = 0;
  /// The connection was renamed: store `databaseName` as DatabaseName as it
  /// stands (no search, no check of the dataset's state).
  virtual void ConnectionRenamed(const std::string& databaseName) = 0;
  /// The connection's alias names a table type: TableType follows it
  /// (CDX ttSdbCDX, NTX ttSdbNTX, ADT ttSdbADT, VFP ttSdbVFP), set only
  /// when different.
  virtual void FollowAliasTableType(TSdbConnectionTableTypes type) = 0;
};

/// Binds `params` to a prepared statement by position from 1, as both a
/// connection's Execute and a query bind them: a null as empty; Boolean,
/// Float, Currency, Date (julian day), Time (milliseconds), DateTime and
/// TimeStamp (julian day and milliseconds), the byte types (binary), the
/// wide types (UTF-16) by their own setters; String, Smallint, Integer,
/// Word, BCD, FMTBcd, AutoInc, Memo, FmtMemo, FixedChar and Largeint as
/// text. ftUnknown and every other type are refused (code 5121, carrying
/// `dataSet`, which may be nullptr), as is a date whose julian day leaves
/// 32 bits.
void SdbBindParams(TSdbDataSetInterface* dataSet, uint32_t statement, TParams& params);

// ---- process-wide lists ---------------------------------------------------------

/// Every TSdbConnection of the process, in order of creation, under a lock.
/// Connections add and remove themselves.
class TSdbConnectionList {
 public:
  /// Calls `visit` for each connection under the list's lock until it
  /// answers true; answers that connection, or nullptr.
  static TSdbConnection* FirstThat(const std::function<bool(TSdbConnection*)>& visit);
  static int Count();

 private:
  friend class TSdbConnection;
  static void Add(TSdbConnection* connection);
  static void Remove(TSdbConnection* connection);
};

/// Every dataset of the process, in order of creation, under a lock. A
/// dataset adds itself when created and removes itself when destroyed.
class TSdbDataSetList {
 public:
  static void Add(TSdbDataSetInterface* dataSet);
  static void Remove(TSdbDataSetInterface* dataSet);
  /// Calls `visit` for each dataset under the list's lock until it answers
  /// true; answers that dataset, or nullptr. `visit` must not add or remove
  /// datasets.
  static TSdbDataSetInterface* FirstThat(const std::function<bool(TSdbDataSetInterface*)>& visit);
  static int Count();
};

/// One plain engine connection opened for a folder path.
struct TDynamicConn {
  uint32_t FhEngineConn = 0;
  std::string FstrDatabasename;
};

/// Engine connections opened by folder path for datasets without a
/// connection component. One instance per process (Instance(), left to the
/// end of the process); an instance disconnects its entries when destroyed.
class TDynamicConnList {
 public:
  TDynamicConnList() = default;
  ~TDynamicConnList();
  TDynamicConnList(const TDynamicConnList&) = delete;
  TDynamicConnList& operator=(const TDynamicConnList&) = delete;

  static TDynamicConnList& Instance();

  /// The handle of the first entry whose path equals `path` ignoring case,
  /// else 0 (also when the search fails).
  uint32_t FindSameDatabasename(const std::string& path);
  /// Connects with SdbConnect(path) through the result check (raises
  /// ESDBDatabaseError), keeps the entry and answers its handle; 0 when the
  /// entry cannot be kept (the handle is then disconnected).
  uint32_t Add(const std::string& path);
  /// FindSameDatabasename, else Add, under one hold of the lock.
  uint32_t FindOrAdd(const std::string& path);
  int Count();

 private:
  uint32_t AddLocked(const std::string& path);
  std::mutex FLock;
  std::vector<std::unique_ptr<TDynamicConn>> FList;
};

// ---- encryption options -----------------------------------------------------------

/// The encryption and TLS settings of a connection, owned by it. Setting any
/// of them while the connection is connected raises SdbConnectionError
/// "Connection cannot be active when changing property." and keeps the value.
class TSdbEncryptionOptions : public TPersistent {
 public:
  TSdbEncryptionOptions() = default;
  /// Binds the options to their connection (once, by the connection).
  void SetConnectionInstance(TSdbConnection* connection) { FConnection = connection; }
  void Assign(const TPersistent& source) override;

  const std::string& DataDictionaryPassword() const { return FDDPassword; }
  void SetDataDictionaryPassword(const std::string& value);
  const std::string& TLSCertificate() const { return FCertificate; }
  void SetTLSCertificate(const std::string& value);
  const TSdbTLSCipherSuites& TLSCipherSuite() const { return FCipherSuites; }
  void SetTLSCipherSuite(const TSdbTLSCipherSuites& value);
  const std::string& TLSCommonName() const { return FCommonName; }
  void SetTLSCommonName(const std::string& value);
  bool FIPSMode() const { return FFIPSMode; }
  void SetFIPSMode(bool value);
  TSdbEncryptionType DataEncryptionType() const { return FDataEncryptionType; }
  void SetDataEncryptionType(TSdbEncryptionType value);

 private:
  void CheckNotConnected() const;

  TSdbConnection* FConnection = nullptr;
  std::string FDDPassword;
  std::string FCertificate;
  TSdbTLSCipherSuites FCipherSuites;
  std::string FCommonName;
  bool FFIPSMode = false;
  TSdbEncryptionType FDataEncryptionType = etSdbDefault;
};

// ---- statements ------------------------------------------------------------------

/// One entry of a connection's statement cache.
struct TStmtInfo {
  int32_t HashCode = 0;
  uint32_t StmtHandle = 0;
  std::string SQLText;
};

/// The settings the dataset form of Execute gives its statement (from a
/// dataset's table type and options), as engine values.
struct TSdbStatementOptions {
  uint16_t TableType = 3;    // engine table type code (SdbStmtSetTableType)
  uint16_t CharType = 1;     // engine character type (ANSI 1, OEM 2, ...)
  uint16_t LockType = 1;     // 1 proprietary, 0 compatible
  uint16_t RightsCheck = 1;  // 1 check rights, 2 ignore them
  std::string Collation;     // set on the statement when not empty
};

/// The hash that keys the statement cache: a 32-bit integer over the text's
/// UTF-16 code units, sampled for long texts, wrapping on overflow.
int32_t SdbStatementHash(const std::u16string& text);

// ---- the connection ----------------------------------------------------------------

using TSdbConnectionNotifyEvent = std::function<void(TSdbConnection* sender)>;
/// OnLogin: may change the user name and password before the connection is made.
using TSdbLoginEvent =
    std::function<void(TSdbConnection* sender, std::string& userName, std::string& password)>;

/// The component through which datasets reach one data dictionary or folder
/// of tables. It connects and disconnects the engine connection, closes its
/// attached datasets when it disconnects, runs transactions and savepoints,
/// executes stand-alone statements with a small cache and answers questions
/// about the server.
///
/// The connection does not own its datasets. A dataset linked to it calls
/// AddTableToConnectList when it attaches and RemoveTableFromConnectList when
/// it detaches; when the connection is destroyed it closes them and calls
/// their ConnectionDestroyed, so a dataset must not call back into a
/// connection that is being destroyed (its Notification only forgets it).
///
/// Belongs to the thread that created it (ConnectionThreadID).
class TSdbConnection : public TComponent {
 public:
  explicit TSdbConnection(TComponent* owner = nullptr);
  ~TSdbConnection() override;

  // -- published properties ------------------------------------------------------
  const std::string& AliasName() const { return FAliasName; }
  virtual void SetAliasName(const std::string& value);
  bool IsConnected() const { return FConnected; }
  virtual void SetIsConnected(bool value);
  std::string ConnectPath() const { return GetConnectPath(); }
  virtual void SetConnectPath(const std::string& value);
  std::string ServerName() { return GetServerName(); }
  uint32_t ConnectionHandle() { return GetConnectionHandle(); }
  const TSdbServerTypes& SdbServerTypes() const { return FSdbServerTypes; }
  void SetSdbServerTypes(const TSdbServerTypes& value) { FSdbServerTypes = value; }
  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool value) { FLoginPrompt = value; }
  const std::string& Username() const { return FUsername; }
  void SetUsername(const std::string& value) { FUsername = value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  bool MiddleTierConnection() const { return FMiddleTierConn; }
  void SetMiddleTierConnection(bool value) { FMiddleTierConn = value; }
  bool StoredProcedureConnection() const { return FStoredProcConn; }
  void SetStoredProcedureConnection(bool value) { FStoredProcConn = value; }
  /// Whether IsConnected is saved with a form.
  bool StoreConnected() const { return FbStoreConnected; }
  void SetStoreConnected(bool value) { FbStoreConnected = value; }
  TSdbCompressionTypes Compression() const { return FSdbCompression; }
  void SetCompression(TSdbCompressionTypes value) { FSdbCompression = value; }
  TSdbCommunicationType CommunicationType() const { return FSdbCommunicationType; }
  void SetCommunicationType(TSdbCommunicationType value) { FSdbCommunicationType = value; }
  /// Datasets opened through the connection are opened read-only.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  /// A rollback cancels the pending edits of the attached datasets first.
  bool CancelOnRollback() const { return FCancelOnRollback; }
  void SetCancelOnRollback(bool value) { FCancelOnRollback = value; }
  int32_t SQLTimeout() const { return FSQLTimeout; }
  void SetSQLTimeout(int32_t value);
  /// Reading asks the server while connected (sp_getapplicationid).
  std::string ApplicationID() { return GetApplicationID(); }
  const std::string& SdbCollation() const { return FSdbCollation; }
  void SetSdbCollation(const std::string& value) { FSdbCollation = value; }
  const std::string& ExtraConnectString() const { return FExtraConnectString; }
  virtual void SetExtraConnectString(const std::string& value);
  const std::string& DateFormat() const { return FDateFormat; }
  /// Checked by the engine: refused with "Unrecognized DateFormat String".
  virtual void SetDateFormat(const std::string& value);
  TSdbEncryptionOptions& EncryptionOptions() { return *FEncryptionOptions; }
  const TSdbEncryptionOptions& EncryptionOptions() const { return *FEncryptionOptions; }

  // -- public read-only properties -----------------------------------------------
  TSdbDataSetInterface* DataSets(int index) { return GetDataSet(index); }
  int DataSetCount() { return GetDataSetCount(); }
  std::string ConnectionType() { return GetConnectionType(); }
  bool TransactionActive() { return GetTransactionActive(); }
  uint32_t TransactionCount() { return GetTransactionCount(); }
  bool IsDictionaryConn() { return GetIsDictionaryConn(); }
  bool IsConnectionAlive() { return GetIsConnectionAlive(); }
  std::thread::id ConnectionThreadID() const { return FThreadID; }
  uint16_t DDVersionMajor();
  uint16_t DDVersionMinor();
  const std::vector<std::string>& UserGroups() { return GetUserGroups(); }
  const std::string& UserGroupsString() { return GetUserGroupsString(); }

  // -- events ----------------------------------------------------------------------
  TSdbConnectionNotifyEvent AfterCommit, BeforeCommit, AfterRollback, BeforeRollback;
  TSdbConnectionNotifyEvent OnConnect, OnDisconnect;
  TSdbLoginEvent OnLogin;
  TSdbConnectionNotifyEvent AfterConnect, AfterDisconnect, BeforeConnect, BeforeDisconnect;

  /// Renames; then the registered datasets that named the connection by its
  /// old name follow the new one.
  void SetName(const std::string& newName) override;

  // -- operations ------------------------------------------------------------------
  virtual std::string GetConnectionType();
  virtual std::string GetConnectPath() const;
  virtual std::string GetServerName();
  virtual bool GetTransactionActive();
  virtual bool GetIsConnectionAlive();
  virtual uint32_t GetConnectionHandle();
  virtual TSdbDataSetInterface* GetDataSet(int index);
  virtual int GetDataSetCount();
  /// Closes every cached statement (all of them, keeping the first failure,
  /// which is raised at the end) and empties the cache.
  virtual void CloseCachedStatements();
  /// The number of statements in the cache (diagnostics).
  int CachedStatementCount() const { return FStmtList ? static_cast<int>(FStmtList->size()) : 0; }
  virtual uint32_t GetTransactionCount();
  virtual bool GetIsDictionaryConn();
  virtual const std::vector<std::string>& GetUserGroups();
  virtual const std::string& GetUserGroupsString();
  virtual void ReadUserGroups();
  /// Stores the id and, while connected, sends it with sp_setapplicationid.
  virtual void ApplyApplicationID(const std::string& id);
  /// ApplyApplicationID when the value differs from the stored one.
  virtual void SetApplicationID(const std::string& id);
  virtual bool UsesConnectString() { return true; }
  virtual void Connect() { SetIsConnected(true); }
  virtual void Disconnect() { SetIsConnected(false); }
  virtual void AddTableToConnectList(TSdbDataSetInterface* dataSet);
  virtual void RemoveTableFromConnectList(TSdbDataSetInterface* dataSet);
  /// ConnectPath (or the alias path) without the file name of a dictionary
  /// (".add"): "/data/db.add" gives "/data", a bare "db.add" ".\".
  virtual std::string GetConnectionPath();
  /// The data source handed to the engine (":6262" after the server of a
  /// share path on a remote connection).
  virtual std::string GetConnectionWithDDPath();
  virtual TSdbConnectionTableTypes GetSdbTableType() { return meAliasTableType; }
  virtual void BeginTransaction();
  virtual void Commit();
  virtual void GetTableNames(std::vector<std::string>* list, const std::string& mask = "*.*");
  virtual void GetTableAndLinkNames(std::vector<std::string>* tableList,
                                    std::vector<std::string>* linkList,
                                    const std::string& mask = "*.*");
  virtual void GetProcedureNames(std::vector<std::string>* list);
  virtual std::string GetApplicationID();
  virtual void CreateSavepoint(const std::string& name);
  virtual void Rollback();
  /// An empty name rolls back the whole transaction (Rollback()).
  virtual void Rollback(const std::string& savepointName);
  /// Runs one statement; answers the rows affected (0 with a cursor). With
  /// `cursor` the cursor handle of a SELECT is handed back; with `cache`
  /// the prepared statement is kept for the next call with the same text.
  virtual int32_t Execute(const std::string& sql, TParams* params = nullptr,
                          uint32_t* cursor = nullptr, bool cache = false);
  /// The same with the settings of a dataset; every non-zero answer of the
  /// row count goes to the result check.
  virtual int32_t Execute(const TSdbStatementOptions& options, const std::string& sql,
                          uint32_t* cursor = nullptr, bool cache = false,
                          TParams* params = nullptr);
  virtual uint16_t GetNumActiveDDLinks();
  /// Adds each ";"-terminated piece of link `linkNumber`'s information.
  virtual void GetActiveDDLinkInfo(uint16_t linkNumber, std::vector<std::string>& list);
  /// The server's date and time as a day count since 1899-12-30.
  virtual double GetServerTime();
  virtual void CloseCachedTables();
  /// The whole connection string handed to SdbConnect101.
  virtual std::string ConnectString();

  // -- the alias file ------------------------------------------------------------
  /// The alias file sdb.ini: in the folder of the environment variable
  /// sdbini_path when it exists there; else the first sdb.ini in the
  /// program's folder, the current folder, then the folders of PATH; else
  /// "sdb.ini" in the current folder.
  static std::string AliasFilePath();
  /// The value of `alias` in the section "Databases" of the alias file, when
  /// present.
  static bool ReadAlias(const std::string& alias, std::string& value);
  /// Splits an alias value "path;letter" into the path and the letter's
  /// table type (N, C, A, V in either case; anything else unspecified).
  static void SplitAliasValue(const std::string& value, std::string& path,
                              TSdbConnectionTableTypes& type);
  /// The folder holding the running program (for the alias search); tests
  /// may set it.
  static std::string& ProgramFolder();

 protected:
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  virtual void DoRollback();
  virtual void DoAfterCommit();
  virtual void DoBeforeCommit();
  virtual void DoAfterRollback();
  virtual void DoBeforeRollback();
  virtual void DoOnConnect();
  virtual void DoOnDisconnect();
  /// The login step: asks for user name and password when LoginPrompt is
  /// set on a dictionary connection.
  virtual void DoConnect();

 private:
  void ConnectNow();
  void DisconnectNow();
  void CheckConnected() const;
  int32_t ExecuteStatement(const TSdbStatementOptions* options, const std::string& sql,
                           TParams* params, uint32_t* cursor, bool cache);
  void BindParams(uint32_t statement, TParams& params);
  void CheckStructuralValue(const std::string& value, const char* property, bool quoted) const;

  std::string FAliasName;
  bool FValidAlias = true;
  bool FConnected = false;
  std::string FConnectString;
  uint32_t FhConnection = 0;
  std::vector<TSdbDataSetInterface*> FTablesList;
  bool bConnectAfterLoad = false;
  std::string mstrAliasPath;
  TSdbConnectionTableTypes meAliasTableType = ttSdbConnectUnspecified;
  std::string mFormName;
  bool FIsDictionaryConn = false;
  bool FLoginPrompt = true;
  std::string FUsername, FPassword;
  TSdbServerTypes FSdbServerTypes;
  std::unique_ptr<std::vector<TStmtInfo>> FStmtList;
  bool FMiddleTierConn = false, FStoredProcConn = false, FbStoreConnected = true;
  TSdbCompressionTypes FSdbCompression = ccSdbCompressionNotSet;
  TSdbCommunicationType FSdbCommunicationType = ctSdbDefault;
  bool FReadOnly = false;
  std::thread::id FThreadID;
  std::vector<std::string> FUserGroups;
  std::string FUserGroupsString;
  bool FReadUserGroups = false;
  bool FCancelOnRollback = true;
  int32_t FSQLTimeout = 0;
  std::string FAppID;
  std::string FSdbCollation;
  std::unique_ptr<TSdbEncryptionOptions> FEncryptionOptions;
  std::string FExtraConnectString, FDateFormat;
};
