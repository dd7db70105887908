// The process-wide lists: connections, datasets, and the plain engine
// connections opened by folder path (TDynamicConnList).
#include <algorithm>

#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

// Recursive: a visitor may reach a list again (a dataset's DatabaseName
// setter searches the connections while the rename walks the datasets).
template <class T>
struct GuardedList {
  std::recursive_mutex lock;
  std::vector<T*> items;
};

GuardedList<TSdbConnection>& Connections() {
  static auto* list = new GuardedList<TSdbConnection>();  // outlives static destructors
  return *list;
}

GuardedList<TSdbDataSetInterface>& DataSets() {
  static auto* list = new GuardedList<TSdbDataSetInterface>();
  return *list;
}

template <class T>
void Erase(GuardedList<T>& list, T* item) {
  std::lock_guard<std::recursive_mutex> hold(list.lock);
  auto it = std::find(list.items.begin(), list.items.end(), item);
  if (it != list.items.end()) list.items.erase(it);
}

template <class T>
T* First(GuardedList<T>& list, const std::function<bool(T*)>& visit) {
  std::lock_guard<std::recursive_mutex> hold(list.lock);
  // A copy: a visitor may make a component that joins the list.
  std::vector<T*> items = list.items;
  for (T* item : items)
    if (visit(item)) return item;
  return nullptr;
}

}  // namespace

void TSdbConnectionList::Add(TSdbConnection* connection) {
  std::lock_guard<std::recursive_mutex> hold(Connections().lock);
  Connections().items.push_back(connection);
}

void TSdbConnectionList::Remove(TSdbConnection* connection) {
  Erase(Connections(), connection);
}

TSdbConnection* TSdbConnectionList::FirstThat(const std::function<bool(TSdbConnection*)>& visit) {
  return First(Connections(), visit);
}

int TSdbConnectionList::Count() {
  std::lock_guard<std::recursive_mutex> hold(Connections().lock);
  return static_cast<int>(Connections().items.size());
}

void TSdbDataSetList::Add(TSdbDataSetInterface* dataSet) {
  std::lock_guard<std::recursive_mutex> hold(DataSets().lock);
  DataSets().items.push_back(dataSet);
}

void TSdbDataSetList::Remove(TSdbDataSetInterface* dataSet) {
  Erase(DataSets(), dataSet);
}

TSdbDataSetInterface* TSdbDataSetList::FirstThat(
    const std::function<bool(TSdbDataSetInterface*)>& visit) {
  return First(DataSets(), visit);
}

int TSdbDataSetList::Count() {
  std::lock_guard<std::recursive_mutex> hold(DataSets().lock);
  return static_cast<int>(DataSets().items.size());
}

// ---- TDynamicConnList --------------------------------------------------------

TDynamicConnList& TDynamicConnList::Instance() {
  // Never destroyed: the engine's own process-wide state may be gone by the
  // time static destructors run, and the end of the process closes the files.
  static auto* list = new TDynamicConnList();
  return *list;
}

TDynamicConnList::~TDynamicConnList() {
  std::lock_guard<std::mutex> hold(FLock);
  for (auto& entry : FList) {
    try {
      SdbCheck(nullptr, SdbDisconnect(entry->FhEngineConn));
    } catch (const std::exception&) {
      // The process is ending; a refused disconnect changes nothing.
    }
  }
  FList.clear();
}

uint32_t TDynamicConnList::FindSameDatabasename(const std::string& path) {
  std::lock_guard<std::mutex> hold(FLock);
  try {
    for (auto& entry : FList)
      if (SameText(entry->FstrDatabasename, path)) return entry->FhEngineConn;
  } catch (const std::exception&) {
  }
  return 0;
}

uint32_t TDynamicConnList::Add(const std::string& path) {
  std::lock_guard<std::mutex> hold(FLock);
  return AddLocked(path);
}

uint32_t TDynamicConnList::FindOrAdd(const std::string& path) {
  std::lock_guard<std::mutex> hold(FLock);
  for (auto& entry : FList)
    if (SameText(entry->FstrDatabasename, path)) return entry->FhEngineConn;
  return AddLocked(path);
}

uint32_t TDynamicConnList::AddLocked(const std::string& path) {
  uint32_t handle = 0;
  SdbCheck(nullptr, SdbConnect(path.c_str(), &handle));
  try {
    auto entry = std::make_unique<TDynamicConn>();
    entry->FhEngineConn = handle;
    entry->FstrDatabasename = path;
    FList.push_back(std::move(entry));
  } catch (const std::exception&) {
    SdbDisconnect(handle);
    return 0;
  }
  return handle;
}

int TDynamicConnList::Count() {
  std::lock_guard<std::mutex> hold(FLock);
  return static_cast<int>(FList.size());
}
