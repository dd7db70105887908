// The handle registry: opaque 32-bit numbers for every object of the C API.
#include "sdbengineInt.h"

namespace sdbe {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<SDBHANDLE, std::unique_ptr<Object>> objects;
  // Handles start at an odd value so that small integers (field numbers,
  // record numbers) passed by mistake are rarely valid handles.
  SDBHANDLE next = 0x1001;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // outlives static destructors of callers
  return *registry;
}

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Connection:
      return "a connection";
    case Kind::Table:
      return "a table";
    case Kind::Index:
      return "an index";
    case Kind::Statement:
      return "a statement";
    case Kind::Cursor:
      return "an SQL cursor";
    case Kind::Search:
      return "a search";
  }
  return "an object";
}

SDBHANDLE Register(std::unique_ptr<Object> object) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  SDBHANDLE h;
  do {
    h = r.next++;
    if (r.next == 0) r.next = 0x1001;
  } while (h == 0 || r.objects.count(h));
  object->handle = h;
  r.objects.emplace(h, std::move(object));
  return h;
}

std::unique_ptr<Object> Unregister(SDBHANDLE handle) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.objects.find(handle);
  if (it == r.objects.end()) return nullptr;
  std::unique_ptr<Object> object = std::move(it->second);
  r.objects.erase(it);
  return object;
}

Object* Lookup(SDBHANDLE handle) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.objects.find(handle);
  return it == r.objects.end() ? nullptr : it->second.get();
}

Object* Resolve(SDBHANDLE handle, std::initializer_list<Kind> kinds, const char* call) {
  Object* object = Lookup(handle);
  if (!object)
    Throw(SDB_E_INVALID_HANDLE,
          std::string(call) + ": " + std::to_string(handle) + " is not a valid handle.");
  for (Kind k : kinds)
    if (object->kind == k) return object;
  std::string wanted;
  size_t i = 0;
  for (Kind k : kinds) {
    if (i++) wanted += i == kinds.size() ? " or " : ", ";
    wanted += KindName(k);
  }
  Throw(SDB_E_WRONG_HANDLE_KIND, std::string(call) + ": handle " + std::to_string(handle) + " is " +
                                     KindName(object->kind) + ", not " + wanted + ".");
}

}  // namespace sdbe

using namespace sdbe;

extern "C" uint32_t SdbGetHandleType(SDBHANDLE hObj, uint16_t* pusType) {
  return Api([&] {
    Object* object = Lookup(hObj);
    if (!object || object->kind == Kind::Search)
      Throw(SDB_E_INVALID_HANDLE,
            "SdbGetHandleType: " + std::to_string(hObj) + " is not a valid handle.");
    *Need(pusType, "type") = static_cast<uint16_t>(object->kind);
    return SDB_SUCCESS;
  });
}
