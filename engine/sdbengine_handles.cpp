// The handle registry: opaque 32-bit numbers for every object of the C API.
//
// Handles are handed out in increasing order and never reused, so a handle
// indexes a slot of a two-level table of atomic pointers: a lookup (every
// call makes one) takes no lock. Registering and unregistering take one.
#include <atomic>

#include "sdbengineInt.h"

namespace sdbengine {
namespace {

constexpr SDBHANDLE kFirstHandle = 0x1001;  // small numbers passed by mistake are no handles
constexpr size_t kChunkBits = 16, kChunkSize = size_t(1) << kChunkBits;
constexpr size_t kChunks = size_t(1) << (32 - kChunkBits);

struct Chunk {
  std::atomic<Object*> slots[kChunkSize];
};

struct Registry {
  std::mutex mutex;  // guards next, owners and chunk creation
  SDBHANDLE next = kFirstHandle;
  std::unordered_map<SDBHANDLE, std::unique_ptr<Object>> owners;
  std::atomic<Chunk*> chunks[kChunks];
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // outlives static destructors of callers
  return *registry;
}

std::atomic<Object*>* Slot(Registry& r, SDBHANDLE h, bool create) {
  size_t c = h >> kChunkBits;
  Chunk* chunk = r.chunks[c].load(std::memory_order_acquire);
  if (!chunk) {
    if (!create) return nullptr;
    chunk = new Chunk();
    for (auto& s : chunk->slots) s.store(nullptr, std::memory_order_relaxed);
    r.chunks[c].store(chunk, std::memory_order_release);
  }
  return &chunk->slots[h & (kChunkSize - 1)];
}

// The slot of a closed statement keeps this mark: handles are never reused,
// so closing it again is told from a handle that never was, at no cost but
// the slot it had anyway.
Object& ClosedStatementMark() {
  static Object mark(Kind::Statement);
  return mark;
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
  if (r.next == 0) Throw(SDB_E_GENERAL, "The engine has run out of handles.");
  SDBHANDLE h = r.next++;
  object->handle = h;
  Slot(r, h, true)->store(object.get(), std::memory_order_release);
  r.owners.emplace(h, std::move(object));
  return h;
}

std::unique_ptr<Object> Unregister(SDBHANDLE handle) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.owners.find(handle);
  if (it == r.owners.end()) return nullptr;
  Object* mark = it->second->kind == Kind::Statement ? &ClosedStatementMark() : nullptr;
  Slot(r, handle, false)->store(mark, std::memory_order_release);
  std::unique_ptr<Object> object = std::move(it->second);
  r.owners.erase(it);
  return object;
}

Object* Lookup(SDBHANDLE handle) {
  std::atomic<Object*>* slot = Slot(TheRegistry(), handle, false);
  Object* object = slot ? slot->load(std::memory_order_acquire) : nullptr;
  return object == &ClosedStatementMark() ? nullptr : object;
}

bool IsClosedStatement(SDBHANDLE handle) {
  std::atomic<Object*>* slot = Slot(TheRegistry(), handle, false);
  return slot && slot->load(std::memory_order_acquire) == &ClosedStatementMark();
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

}  // namespace sdbengine

using namespace sdbengine;

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
