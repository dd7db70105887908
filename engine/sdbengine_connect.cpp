// Connections: connecting by connection string or folder, server questions,
// per-connection settings, and the engine version.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>

#include "sdbengineInt.h"
#include "sdbexpr.h"

namespace sdbengine {
namespace {

std::atomic<uint64_t> gWriteEpoch{1};

void InitEngineOnce() {
  static std::once_flag once;
  std::call_once(once, [] { sdbstore::SetConnectionInitHook(&SdbRegisterSqlFunctions); });
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         sdbstore::EqualNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// Opens the data source of a parsed connection string as a new connection.
std::unique_ptr<Connection> OpenConnection(const sdbstore::ConnectString& options) {
  InitEngineOnce();
  const std::string& source = options.dataSource;
  if (IsSharePath(source))
    Throw(SDB_E_SERVER_NOT_FOUND,
          "The server of \"" + source +
              "\" was not found: this engine serves local dictionaries and folders only.");
  auto conn = std::make_unique<Connection>();
  conn->options = options;
  conn->path = LocalPath(source);
  if (conn->path.empty()) Throw(SDB_E_CONNECT_STRING, "The connection names no data source.");
  // At most a day, as SdbSetSQLTimeout takes it: the milliseconds fit an int.
  if (options.sqlTimeout > 0) conn->busyTimeoutMs = std::min(options.sqlTimeout, 86400) * 1000;
  if (!options.dateFormat.empty()) {
    if (!ValidDateFormat(options.dateFormat))
      Throw(SDB_E_CONNECT_STRING, "Unrecognized DateFormat \"" + options.dateFormat + "\".");
    conn->dateFormat = options.dateFormat;
  }
  struct stat st {};
  bool exists = ::stat(conn->path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    conn->folder = conn->path;
    return conn;
  }
  if (!exists)
    Throw(SDB_E_FILE_NOT_FOUND,
          (EndsWithNoCase(conn->path, ".add") ? "The data dictionary \"" : "The folder \"") +
              conn->path + "\" does not exist.");
  conn->dictionary = true;
  size_t slash = conn->path.rfind('/');
  conn->folder = slash == std::string::npos ? "." : slash == 0 ? "/" : conn->path.substr(0, slash);
  sdbstore::OpenOptions open;
  open.busyTimeoutMs = conn->busyTimeoutMs;
  conn->SetDictionary(Database::Open(conn->path, open));
  conn->user = options.userId;
  if (!conn->user.empty() && !conn->Dictionary().CheckPassword(conn->user, options.password))
    Throw(SDB_E_PERMISSION, "The user name or password is not valid for \"" + conn->path + "\".");
  return conn;
}

Connection& Conn(SDBHANDLE h, const char* call) {
  return As<Connection>(h, {Kind::Connection}, call);
}

}  // namespace

uint64_t WriteEpoch() {
  return gWriteEpoch.load(std::memory_order_acquire);
}
void BumpWriteEpoch() {
  gWriteEpoch.fetch_add(1, std::memory_order_acq_rel);
}

int64_t NowMs() {
  // The coarse clock is enough to bound how long cached rows serve, and cheap.
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool IsSharePath(std::string_view path) {
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
         (path[1] == '\\' || path[1] == '/') && !(path[0] == '/' && path[1] == '/');
}

std::string LocalPath(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

Connection::~Connection() = default;

std::string Connection::DateFormat() const {
  return dateFormat.empty() ? ProcessDateFormat() : dateFormat;
}

Database& Connection::FreeFile(const std::string& file, bool create) {
  auto it = FFree.find(file);
  if (it != FFree.end()) return *it->second;
  struct stat st {};
  if (!create && ::stat(file.c_str(), &st) != 0)
    Throw(SDB_E_FILE_NOT_FOUND, "The table file \"" + file + "\" does not exist.");
  sdbstore::OpenOptions open;
  open.create = create;
  open.busyTimeoutMs = busyTimeoutMs;
  auto db = Database::Open(file, open);
  if (FInTransaction) db->Begin(true);
  Database& ref = *db;
  FFree.emplace(file, std::move(db));
  return ref;
}

std::vector<Database*> Connection::Databases() {
  std::vector<Database*> all;
  if (FDictionary) all.push_back(FDictionary.get());
  for (auto& [file, db] : FFree) all.push_back(db.get());
  return all;
}

sdbstore::LockOwner& Connection::Locks(Database& db) {
  auto& owner = FLocks[&db];
  if (!owner) owner = std::make_unique<sdbstore::LockOwner>(db.LockPath());
  return *owner;
}

}  // namespace sdbengine

using namespace sdbengine;

extern "C" uint32_t SdbConnect101(const char* pucConnectString, SDBHANDLE* phConnect) {
  return Api([&] {
    Need(phConnect, "connection handle");
    *phConnect = 0;
    auto options = sdbstore::ParseConnectString(Need(pucConnectString, "connection string"));
    *phConnect = Register(OpenConnection(options));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbConnect(const char* pucServerName, SDBHANDLE* phConnect) {
  return Api([&] {
    Need(phConnect, "connection handle");
    *phConnect = 0;
    sdbstore::ConnectString options;
    options.dataSource = Need(pucServerName, "server name");
    options.pairs.emplace_back("Data Source", options.dataSource);
    *phConnect = Register(OpenConnection(options));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbDisconnect(SDBHANDLE hConnect) {
  return Api([&] {
    Object* object = Lookup(hConnect);
    if (!object)
      Throw(SDB_E_NOT_CONNECTED,
            "SdbDisconnect: " + std::to_string(hConnect) + " is not an open connection.");
    Connection& conn = Conn(hConnect, "SdbDisconnect");
    while (!conn.statements.empty()) CloseStatement(**conn.statements.begin());
    while (!conn.tables.empty()) CloseTable(**conn.tables.begin());
    try {
      if (conn.InTransaction()) conn.Rollback();
    } catch (...) {
      // The files close below, which ends any transaction anyway.
    }
    Unregister(hConnect);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbIsConnectionAlive(SDBHANDLE hConnect, uint16_t* pbConnectionIsAlive) {
  return Api([&] {
    Need(pbConnectionIsAlive, "answer");
    Conn(hConnect, "SdbIsConnectionAlive");
    *pbConnectionIsAlive = 1;  // an embedded connection lives until it is closed
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetServerName(SDBHANDLE hConnect, char* pucName, uint16_t* pusBufLen) {
  return Api([&] { return PutText(Conn(hConnect, "SdbGetServerName").path, pucName, pusBufLen); });
}

extern "C" uint32_t SdbGetConnectionType(SDBHANDLE hConnect, uint16_t* pusConnectType) {
  return Api([&] {
    Need(pusConnectType, "connection type");
    Conn(hConnect, "SdbGetConnectionType");
    *pusConnectType = SDB_CONNECTION_LOCAL;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbSetSQLTimeout(SDBHANDLE hObj, uint32_t ulTimeout) {
  return Api([&] {
    Object& object = *Resolve(hObj, {Kind::Connection, Kind::Statement}, "SdbSetSQLTimeout");
    int ms = ulTimeout == 0 ? 10000 : static_cast<int>(std::min<uint32_t>(ulTimeout, 86400) * 1000);
    if (object.kind == Kind::Statement) {
      // Up to a day, as for the connection (the milliseconds must fit an int).
      static_cast<Statement&>(object).timeoutSec =
          static_cast<int>(std::min<uint32_t>(ulTimeout, 86400));
      return SDB_SUCCESS;
    }
    Connection& conn = static_cast<Connection&>(object);
    conn.busyTimeoutMs = ms;
    for (Database* db : conn.Databases()) db->SetBusyTimeout(ms);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetServerTime(SDBHANDLE hConnect, char* pucDateBuf, uint16_t* pusDateBufLen,
                                     uint32_t* pulTime, char* pucTimeBuf, uint16_t* pusTimeBufLen) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbGetServerTime");
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    int32_t julian = sdbstore::JulianFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    if (pulTime)
      *pulTime = static_cast<uint32_t>(
          ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms);
    uint32_t rc = SDB_SUCCESS;
    if (pusDateBufLen)
      rc = PutText(sdbstore::FormatDate(julian, conn.DateFormat()), pucDateBuf, pusDateBufLen);
    if (rc == SDB_SUCCESS && pusTimeBufLen) rc = PutText(time, pucTimeBuf, pusTimeBufLen);
    return rc;
  });
}

extern "C" uint32_t SdbGetVersion(uint32_t* pulMajor, uint32_t* pulMinor, char* pucLetter,
                                  char* pucDesc, uint16_t* pusDescLen) {
  return Api([&] {
    if (pulMajor) *pulMajor = 11;
    if (pulMinor) *pulMinor = 10;
    if (pucLetter) *pucLetter = ' ';
    if (pusDescLen)
      return PutText(std::string("sdbengine 11.10 on SQLite ") + sqlite3_libversion(), pucDesc,
                     pusDescLen);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbSetDateFormat60(SDBHANDLE hConnect, const char* pucFormat) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbSetDateFormat60");
    std::string format = Need(pucFormat, "date format");
    if (!ValidDateFormat(format))
      Throw(SDB_E_INVALID_ARGUMENT,
            "Unrecognized date format \"" + format + "\": use CC, YY, MM and DD with separators.");
    conn.dateFormat = format;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbConvertDateToJulian(SDBHANDLE hConnect, const char* pucDate, uint16_t usLen,
                                           double* pdJulian) {
  return Api([&] {
    std::string format =
        hConnect ? Conn(hConnect, "SdbConvertDateToJulian").DateFormat() : ProcessDateFormat();
    std::string_view text(Need(pucDate, "date text"), usLen);
    Need(pdJulian, "julian day");
    int32_t julian = 0;
    if (!sdbstore::ParseDate(text, format, julian))
      Throw(SDB_E_INVALID_ARGUMENT,
            "\"" + std::string(text) + "\" is not a date in the format " + format + ".");
    *pdJulian = julian;
    return SDB_SUCCESS;
  });
}
