// The data dictionary: listing tables and objects, properties, renaming.
#include <dirent.h>
#include <fnmatch.h>
#include <algorithm>
#include <cstdlib>

#include "sdbengineInt.h"

using namespace sdbengine;

namespace {

Connection& Conn(SDBHANDLE h, const char* call) {
  return As<Connection>(h, {Kind::Connection}, call);
}

Database& Dictionary(SDBHANDLE h, const char* call) {
  Connection& conn = Conn(h, call);
  if (!conn.dictionary)
    Throw(SDB_E_NOT_SUPPORTED,
          std::string(call) + ": " + conn.path + " is a folder, not a data dictionary.");
  return conn.Dictionary();
}

// The free-table files of a folder that match a mask ("*.adt" by default;
// a mask with a folder part lists that folder).
std::vector<std::string> FolderTables(const Connection& conn, std::string_view mask) {
  std::string m = LocalPath(mask);
  std::string folder = conn.folder, pattern = "*.adt";
  size_t slash = m.rfind('/');
  if (slash != std::string::npos) {
    folder = m.substr(0, slash);
    if (slash + 1 < m.size()) pattern = m.substr(slash + 1);
  } else if (!m.empty()) {
    pattern = m;
  }
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.' && ::fnmatch(pattern.c_str(), e->d_name, FNM_CASEFOLD) == 0)
        names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

SDBHANDLE NewSearch(Connection& conn, std::vector<std::string> names) {
  auto search = std::make_unique<Search>(&conn);
  search->names = std::move(names);
  return Register(std::move(search));
}

Search& TheSearch(Connection& conn, SDBHANDLE h, const char* call) {
  Search& s = As<Search>(h, {Kind::Search}, call);
  if (s.conn != &conn)
    Throw(SDB_E_INVALID_HANDLE,
          std::string(call) + ": the search " + std::to_string(h) + " is of another connection.");
  return s;
}

// The next name of a search; a name that does not fit is answered again.
uint32_t NextName(Search& s, uint32_t endCode, char* buf, uint16_t* len, char* link = nullptr,
                  uint16_t* linkLen = nullptr) {
  if (s.next >= s.names.size())
    return SetError(endCode, endCode == SDB_E_NO_MORE_TABLES ? "There are no more tables."
                                                             : "There are no more objects.");
  if (linkLen) {
    uint32_t rc = PutText("", link, linkLen);
    if (rc) return rc;
  }
  uint32_t rc = PutText(s.names[s.next], buf, len);
  if (rc == SDB_SUCCESS) ++s.next;
  return rc;
}

std::vector<std::string> TableNames(Connection& conn, const char* mask) {
  return conn.dictionary ? conn.Dictionary().ListTables() : FolderTables(conn, mask ? mask : "");
}

}  // namespace

extern "C" uint32_t SdbFindFirstTable(SDBHANDLE hConnect, const char* pucFileMask,
                                      char* pucFirstFile, uint16_t* pusFileLen,
                                      SDBHANDLE* phFindHandle) {
  return Api([&] {
    Need(phFindHandle, "search handle");
    *phFindHandle = 0;
    Connection& conn = Conn(hConnect, "SdbFindFirstTable");
    auto names = TableNames(conn, pucFileMask);
    if (names.empty()) return SetError(SDB_E_NO_MORE_TABLES, "There are no tables.");
    *phFindHandle = NewSearch(conn, std::move(names));
    return NextName(As<Search>(*phFindHandle, {Kind::Search}, "SdbFindFirstTable"),
                    SDB_E_NO_MORE_TABLES, pucFirstFile, pusFileLen);
  });
}

extern "C" uint32_t SdbFindNextTable(SDBHANDLE hConnect, SDBHANDLE hFindHandle, char* pucFileName,
                                     uint16_t* pusFileLen) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbFindNextTable");
    return NextName(TheSearch(conn, hFindHandle, "SdbFindNextTable"), SDB_E_NO_MORE_TABLES,
                    pucFileName, pusFileLen);
  });
}

extern "C" uint32_t SdbFindFirstTable62(SDBHANDLE hConnect, const char* pucFileMask,
                                        char* pucFirstDD, uint16_t* pusDDLen, char* pucFirstFile,
                                        uint16_t* pusFileLen, SDBHANDLE* phFindHandle) {
  return Api([&] {
    Need(phFindHandle, "search handle");
    *phFindHandle = 0;
    Connection& conn = Conn(hConnect, "SdbFindFirstTable62");
    auto names = TableNames(conn, pucFileMask);
    if (names.empty()) return SetError(SDB_E_NO_MORE_TABLES, "There are no tables.");
    *phFindHandle = NewSearch(conn, std::move(names));
    return NextName(As<Search>(*phFindHandle, {Kind::Search}, "SdbFindFirstTable62"),
                    SDB_E_NO_MORE_TABLES, pucFirstFile, pusFileLen, pucFirstDD,
                    Need(pusDDLen, "link name length"));
  });
}

extern "C" uint32_t SdbFindNextTable62(SDBHANDLE hConnect, SDBHANDLE hFindHandle, char* pucDDName,
                                       uint16_t* pusDDLen, char* pucFileName,
                                       uint16_t* pusFileLen) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbFindNextTable62");
    return NextName(TheSearch(conn, hFindHandle, "SdbFindNextTable62"), SDB_E_NO_MORE_TABLES,
                    pucFileName, pusFileLen, pucDDName, Need(pusDDLen, "link name length"));
  });
}

extern "C" uint32_t SdbFindClose(SDBHANDLE hConnect, SDBHANDLE hFindHandle) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbFindClose");
    TheSearch(conn, hFindHandle, "SdbFindClose");
    Unregister(hFindHandle);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbDDFindFirstObject(SDBHANDLE hConnect, uint16_t usFindObjectType,
                                         const char* pucParentName, char* pucObjectName,
                                         uint16_t* pusObjectNameLen, SDBHANDLE* phFindHandle) {
  return Api([&] {
    Need(phFindHandle, "search handle");
    *phFindHandle = 0;
    Database& dd = Dictionary(hConnect, "SdbDDFindFirstObject");
    auto names = dd.ListObjects(static_cast<sdbstore::ObjectType>(usFindObjectType),
                                pucParentName ? pucParentName : "");
    if (names.empty()) return SetError(SDB_E_NO_MORE_OBJECTS, "There are no such objects.");
    *phFindHandle = NewSearch(Conn(hConnect, "SdbDDFindFirstObject"), std::move(names));
    return NextName(As<Search>(*phFindHandle, {Kind::Search}, "SdbDDFindFirstObject"),
                    SDB_E_NO_MORE_OBJECTS, pucObjectName, pusObjectNameLen);
  });
}

extern "C" uint32_t SdbDDFindNextObject(SDBHANDLE hConnect, SDBHANDLE hFindHandle,
                                        char* pucObjectName, uint16_t* pusObjectNameLen) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbDDFindNextObject");
    return NextName(TheSearch(conn, hFindHandle, "SdbDDFindNextObject"), SDB_E_NO_MORE_OBJECTS,
                    pucObjectName, pusObjectNameLen);
  });
}

extern "C" uint32_t SdbDDFindClose(SDBHANDLE hConnect, SDBHANDLE hFindHandle) {
  return SdbFindClose(hConnect, hFindHandle);
}

namespace {

uint32_t PutProperty(uint16_t id, const std::optional<std::string>& value, void* pv, uint16_t* len,
                     const std::string& what) {
  Need(len, "property length");
  if (id == SDB_DD_VERSION_MAJOR || id == SDB_DD_VERSION_MINOR) {
    uint16_t number = static_cast<uint16_t>(value                        ? std::atoi(value->c_str())
                                            : id == SDB_DD_VERSION_MAJOR ? 1
                                                                         : 0);
    if (!pv || *len < 2) {
      *len = 2;
      return SetError(SDB_E_INSUFFICIENT_BUFFER,
                      "The property " + std::to_string(id) + " needs 2 bytes of room.");
    }
    std::memcpy(pv, &number, 2);
    *len = 2;
    return SDB_SUCCESS;
  }
  if (!value)
    return SetError(SDB_E_PROPERTY_NOT_SET,
                    "The property " + std::to_string(id) + " of " + what + " is not set.");
  return PutText(*value, static_cast<char*>(pv), len);
}

}  // namespace

extern "C" uint32_t SdbDDGetDatabaseProperty(SDBHANDLE hConnect, uint16_t usPropertyID,
                                             void* pvProperty, uint16_t* pusPropertyLen) {
  return Api([&] {
    Database& dd = Dictionary(hConnect, "SdbDDGetDatabaseProperty");
    return PutProperty(usPropertyID, dd.DatabaseProperty(usPropertyID), pvProperty, pusPropertyLen,
                       "the data dictionary");
  });
}

extern "C" uint32_t SdbDDGetUserProperty(SDBHANDLE hConnect, const char* pucUserName,
                                         uint16_t usPropertyID, void* pvProperty,
                                         uint16_t* pusPropertyLen) {
  return Api([&] {
    Database& dd = Dictionary(hConnect, "SdbDDGetUserProperty");
    std::string user =
        pucUserName && *pucUserName ? pucUserName : Conn(hConnect, "SdbDDGetUserProperty").user;
    std::optional<std::string> value;
    if (!user.empty()) value = dd.UserProperty(user, usPropertyID);
    return PutProperty(usPropertyID, value, pvProperty, pusPropertyLen,
                       user.empty() ? "the anonymous user" : "the user " + user);
  });
}

extern "C" uint32_t SdbDDGetTableProperty(SDBHANDLE hConnect, const char* pucTableName,
                                          uint16_t usPropertyID, void* pvProperty,
                                          uint16_t* pusPropertyLen) {
  return Api([&] {
    Database& dd = Dictionary(hConnect, "SdbDDGetTableProperty");
    std::string table = Need(pucTableName, "table name");
    return PutProperty(usPropertyID, dd.TableProperty(table, usPropertyID), pvProperty,
                       pusPropertyLen, "the table " + table);
  });
}

extern "C" uint32_t SdbDDRenameObject(SDBHANDLE hConnect, const char* pucObjectName,
                                      const char* pucNewObjectName, uint16_t usObjectType,
                                      uint32_t /*ulOptions*/) {
  return Api([&] {
    Database& dd = Dictionary(hConnect, "SdbDDRenameObject");
    dd.RenameObject(static_cast<sdbstore::ObjectType>(usObjectType),
                    Need(pucObjectName, "object name"), Need(pucNewObjectName, "new name"));
    BumpWriteEpoch();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetNumActiveLinks(SDBHANDLE hConnect, uint16_t* pusNumLinks) {
  return Api([&] {
    Conn(hConnect, "SdbGetNumActiveLinks");
    *Need(pusNumLinks, "count") = 0;  // links to other dictionaries do not exist here
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetActiveLinkInfo(SDBHANDLE hConnect, uint16_t usLinkNum,
                                         char* /*pucLinkInfo*/, uint16_t* /*pusBufferLen*/) {
  return Api([&] {
    Conn(hConnect, "SdbGetActiveLinkInfo");
    Throw(SDB_E_INVALID_ARGUMENT, "SdbGetActiveLinkInfo: there is no link " +
                                      std::to_string(usLinkNum) + " (the connection has none).");
    return SDB_SUCCESS;
  });
}
