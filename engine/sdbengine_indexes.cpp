// The index catalog through the C API: index handles of a table, their
// names, groups ("index files"), segments and properties.
#include <algorithm>
#include <filesystem>

#include "sdbengineIndex.h"

using namespace sdbengine;

namespace {

// The group an index is stored in is open: the table's own always, others
// once opened with SdbOpenIndex.
bool GroupOpen(Table& t, const std::string& group) {
  if (sdbstore::EqualNoCase(group, t.name) || group.empty()) return true;
  return t.orders && t.orders->openGroups.count(sdbstore::Upper(group));
}

// The table's indexes as the catalog has them now, in creation order.
std::vector<sdbstore::IndexDef> CatalogIndexes(Table& t) {
  auto fresh = t.db->FindTable(t.name);
  std::vector<sdbstore::IndexDef> all = fresh ? fresh->indexes : t.def->indexes;
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return a.ordinal < b.ordinal; });
  return all;
}

// The index handles of the open groups, in engine order.
std::vector<SDBHANDLE> OpenIndexes(Table& t) {
  std::vector<SDBHANDLE> out;
  if (t.IsCursor() || !t.db) return out;
  for (const auto& def : CatalogIndexes(t))
    if (GroupOpen(t, def.indexFile)) out.push_back(IndexHandle(t, def).handle);
  return out;
}

uint32_t PutHandles(const std::vector<SDBHANDLE>& handles, SDBHANDLE* array, uint16_t* len,
                    const char* call) {
  Need(len, "array length");
  size_t room = array ? *len : 0;
  size_t n = std::min(room, handles.size());
  std::copy(handles.begin(), handles.begin() + n, array);
  *len = static_cast<uint16_t>(n);
  if (handles.size() > room) {
    *len = static_cast<uint16_t>(std::min<size_t>(handles.size(), 0xFFFF));
    Throw(SDB_E_INSUFFICIENT_BUFFER, std::string(call) + ": " + std::to_string(handles.size()) +
                                         " index handles, room for " + std::to_string(room) + ".");
  }
  return SDB_SUCCESS;
}

// The group name of an index file name: no folder, no extension.
std::string GroupName(std::string_view file) {
  std::string s(file);
  for (char& c : s)
    if (c == '\\') c = '/';
  s = std::filesystem::path(s).filename().string();
  size_t dot = s.rfind('.');
  if (dot != std::string::npos && dot > 0) s.resize(dot);
  return s;
}

uint32_t PutFlag(bool value, uint16_t* out) {
  return PutBool(value, out, "answer");
}

}  // namespace

extern "C" uint32_t SdbGetIndexHandle(SDBHANDLE hTable, const char* pucName, SDBHANDLE* phIndex) {
  return Api([&] {
    Need(phIndex, "index handle");
    Need(pucName, "index name");
    Table& t = EngineTable(hTable, "SdbGetIndexHandle");
    for (const auto& def : CatalogIndexes(t))
      if (sdbstore::EqualNoCase(def.name, pucName) && GroupOpen(t, def.indexFile)) {
        *phIndex = IndexHandle(t, def).handle;
        return SDB_SUCCESS;
      }
    Throw(SDB_E_NO_SUCH_OBJECT, std::string("SdbGetIndexHandle: the table ") + t.name +
                                    " has no index named " + pucName + ".");
  });
}

extern "C" uint32_t SdbGetNumIndexes(SDBHANDLE hTable, uint16_t* pusNum) {
  return Api([&] {
    Need(pusNum, "count");
    Table& t = TableOrCursor(hTable, "SdbGetNumIndexes");
    *pusNum = static_cast<uint16_t>(OpenIndexes(t).size());
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetAllIndexes(SDBHANDLE hTable, SDBHANDLE* ahIndex, uint16_t* pusArrayLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetAllIndexes");
    return PutHandles(OpenIndexes(t), ahIndex, pusArrayLen, "SdbGetAllIndexes");
  });
}

extern "C" uint32_t SdbOpenIndex(SDBHANDLE hTable, const char* pucName, SDBHANDLE* ahIndex,
                                 uint16_t* pusArrayLen) {
  return Api([&] {
    Need(pucName, "index file name");
    Table& t = EngineTable(hTable, "SdbOpenIndex");
    std::string group = GroupName(pucName);
    std::vector<sdbstore::IndexDef> members;
    for (const auto& def : CatalogIndexes(t))
      if (sdbstore::EqualNoCase(def.indexFile.empty() ? t.name : def.indexFile, group))
        members.push_back(def);
    if (members.empty())
      Throw(SDB_E_FILE_NOT_FOUND, std::string("SdbOpenIndex: the table ") + t.name +
                                      " has no index file " + pucName + ".");
    if (!sdbstore::EqualNoCase(group, t.name))
      OrdersOf(t).openGroups.insert(sdbstore::Upper(group));
    std::vector<SDBHANDLE> handles;
    for (const auto& def : members) handles.push_back(IndexHandle(t, def).handle);
    if (!pusArrayLen) return SDB_SUCCESS;
    return PutHandles(handles, ahIndex, pusArrayLen, "SdbOpenIndex");
  });
}

extern "C" uint32_t SdbCloseIndex(SDBHANDLE hIndex) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbCloseIndex");
    Table& t = x.table;
    std::string group = x.def.indexFile.empty() ? t.name : x.def.indexFile;
    if (sdbstore::EqualNoCase(group, t.name))
      Throw(SDB_E_INVALID_ARGUMENT, "SdbCloseIndex: the index " + x.def.name +
                                        " belongs to the table's own index file, which stays "
                                        "open while the table is.");
    TableOrders& o = OrdersOf(t);
    o.openGroups.erase(sdbstore::Upper(group));
    std::vector<SDBHANDLE> keep;
    for (SDBHANDLE h : o.indexes) {
      Index& y = static_cast<Index&>(*Lookup(h));
      if (sdbstore::EqualNoCase(y.def.indexFile, group)) {
        if (t.order == &y.rows) t.order = nullptr;
        Unregister(h);
      } else {
        keep.push_back(h);
      }
    }
    o.indexes = keep;
    OrdersChanged(t);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetIndexName(SDBHANDLE hIndex, char* pucName, uint16_t* pusBufLen) {
  return Api(
      [&] { return PutText(IndexOf(hIndex, "SdbGetIndexName").def.name, pucName, pusBufLen); });
}

extern "C" uint32_t SdbGetIndexFilename(SDBHANDLE hIndex, uint16_t usOption, char* pucName,
                                        uint16_t* pusBufLen) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbGetIndexFilename");
    std::string file = (x.def.indexFile.empty() ? x.table.name : x.def.indexFile) + ".adi";
    if (usOption == 1)
      file = (std::filesystem::path(x.table.db->Path()).parent_path() / file).string();
    else if (usOption != 2)
      Throw(SDB_E_INVALID_ARGUMENT, "SdbGetIndexFilename: unknown option " +
                                        std::to_string(usOption) + " (1 full path, 2 name).");
    return PutText(file, pucName, pusBufLen);
  });
}

extern "C" uint32_t SdbGetNumSegments(SDBHANDLE hIndex, uint16_t* pusSegments) {
  return Api([&] {
    *Need(pusSegments, "count") =
        static_cast<uint16_t>(IndexOf(hIndex, "SdbGetNumSegments").segs.size());
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetSegmentFieldname(SDBHANDLE hIndex, uint16_t usSegmentNum, char* pucName,
                                           uint16_t* pusBufLen) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbGetSegmentFieldname");
    if (usSegmentNum >= x.def.segments.size())
      Throw(SDB_E_INVALID_ARGUMENT, "SdbGetSegmentFieldname: the index " + x.def.name + " has " +
                                        std::to_string(x.def.segments.size()) +
                                        " segments; there is no segment " +
                                        std::to_string(usSegmentNum) + " (counted from 0).");
    return PutText(x.def.segments[usSegmentNum].field, pucName, pusBufLen);
  });
}

extern "C" uint32_t SdbIsIndexDescending(SDBHANDLE hIndex, uint16_t* pbDescending) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbIsIndexDescending");
    // Descending when its first segment is (a key of several directions
    // orders by its first one).
    return PutFlag(!x.segs.empty() && x.segs[0].descending, pbDescending);
  });
}

extern "C" uint32_t SdbIsIndexUnique(SDBHANDLE hIndex, uint16_t* pbUnique) {
  return Api([&] { return PutFlag(IndexOf(hIndex, "SdbIsIndexUnique").def.unique, pbUnique); });
}

extern "C" uint32_t SdbIsIndexCandidate(SDBHANDLE hIndex, uint16_t* pbCandidate) {
  return Api(
      [&] { return PutFlag(IndexOf(hIndex, "SdbIsIndexCandidate").def.candidate, pbCandidate); });
}

extern "C" uint32_t SdbIsIndexPrimaryKey(SDBHANDLE hIndex, uint16_t* pbPrimaryKey) {
  return Api(
      [&] { return PutFlag(IndexOf(hIndex, "SdbIsIndexPrimaryKey").def.primary, pbPrimaryKey); });
}

extern "C" uint32_t SdbGetIndexFlags(SDBHANDLE hIndex, uint32_t* pulFlags) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbGetIndexFlags");
    uint32_t flags = 0;
    if (x.def.unique) flags |= SDB_INDEX_UNIQUE;
    if (!x.segs.empty() && x.segs[0].descending) flags |= SDB_INDEX_DESCENDING;
    if (!x.def.condition.empty()) flags |= SDB_INDEX_CONDITION;
    if (x.def.candidate) flags |= SDB_INDEX_CANDIDATE;
    if (x.def.primary) flags |= SDB_INDEX_PRIMARY;
    *Need(pulFlags, "flags") = flags;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetIndexCondition(SDBHANDLE hIndex, char* pucCondition,
                                         uint16_t* pusBufLen) {
  return Api([&] {
    return PutText(IndexOf(hIndex, "SdbGetIndexCondition").def.condition, pucCondition, pusBufLen);
  });
}

extern "C" uint32_t SdbGetIndexPageSize(SDBHANDLE hIndex, uint32_t* pulPageSize) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbGetIndexPageSize");
    Need(pulPageSize, "page size");
    auto size = x.Db().QueryText("PRAGMA page_size");
    *pulPageSize = size ? static_cast<uint32_t>(std::stoul(*size)) : 4096;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetKeyLength(SDBHANDLE hIndex, uint16_t* pusKeyLength) {
  return Api([&] {
    Index& x = IndexOf(hIndex, "SdbGetKeyLength");
    *Need(pusKeyLength, "key length") =
        static_cast<uint16_t>(std::min<uint32_t>(x.keyLength, 0xFFFF));
    return SDB_SUCCESS;
  });
}
