// Record and table locks: open-file-description locks on a sidecar file, one
// description per owner, so owners conflict inside one process as well as
// between processes, and the kernel drops a dead process's locks.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sdbstore.h"

namespace sdbstore {

namespace {
int64_t RecordOffset(int64_t tableId, int64_t recno) {
  return (tableId << 32) | (recno & 0xFFFFFFFFll);
}
int64_t TableOffset(int64_t tableId) {
  return tableId << 32;
}
}  // namespace

LockOwner::LockOwner(const std::string& lockPath) : FPath(lockPath) {
  FFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (FFd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    // A database this user may only read: shared locks still coordinate
    // with the writers when the file exists; without it there is nothing to
    // coordinate with.
    FReadOnly = true;
    FFd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0 && errno == ENOENT) return;
  }
  if (FFd < 0)
    throw StoreError(kErrFileOpen, "The lock file " + lockPath +
                                       " cannot be opened: " + std::strerror(errno) + ".");
}

LockOwner::~LockOwner() {
  if (FFd >= 0) ::close(FFd);  // closing the description drops every lock it holds
}

bool LockOwner::SetLock(int64_t offset, short type) {
  if (FReadOnly && type == F_WRLCK)
    throw StoreError(kErrReadOnly, "The database beside " + FPath +
                                       " can only be read here: it cannot be locked for writing.");
  if (FFd < 0) return true;  // read-only, no lock file: nothing to coordinate
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = 1;
  while (::fcntl(FFd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return false;
    throw StoreError(kErrLocked, std::string("Locking failed: ") + std::strerror(errno) + ".");
  }
  return true;
}

bool LockOwner::LockRecord(int64_t tableId, int64_t recno) {
  if (FRecords.count({tableId, recno})) return true;
  if (!SetLock(RecordOffset(tableId, recno), F_WRLCK)) return false;
  FRecords.insert({tableId, recno});
  return true;
}

bool LockOwner::UnlockRecord(int64_t tableId, int64_t recno) {
  auto it = FRecords.find({tableId, recno});
  if (it == FRecords.end()) return false;
  SetLock(RecordOffset(tableId, recno), F_UNLCK);
  FRecords.erase(it);
  return true;
}

bool LockOwner::HoldsRecord(int64_t tableId, int64_t recno) const {
  return FRecords.count({tableId, recno}) != 0;
}

bool LockOwner::LockedByOther(int64_t tableId, int64_t recno) const {
  // A write lock this owner holds excludes every other owner: no need to ask.
  if (HoldsRecord(tableId, recno)) return false;
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = RecordOffset(tableId, recno);
  fl.l_len = 1;
  if (::fcntl(FFd, F_OFD_GETLK, &fl) != 0) return false;
  // Our own lock is never reported as a conflict by F_OFD_GETLK.
  return fl.l_type != F_UNLCK;
}

void LockOwner::UnlockAll(int64_t tableId) {
  for (auto it = FRecords.begin(); it != FRecords.end();) {
    if (tableId < 0 || it->first == tableId) {
      SetLock(RecordOffset(it->first, it->second), F_UNLCK);
      it = FRecords.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<int64_t> LockOwner::HeldRecords(int64_t tableId) const {
  std::vector<int64_t> out;
  for (const auto& [t, r] : FRecords)
    if (t == tableId) out.push_back(r);
  return out;
}

bool LockOwner::LockTable(int64_t tableId, bool exclusive) {
  if (!SetLock(TableOffset(tableId), exclusive ? F_WRLCK : F_RDLCK)) return false;
  FTables.insert(tableId);
  return true;
}

void LockOwner::UnlockTable(int64_t tableId) {
  if (!FTables.erase(tableId)) return;
  SetLock(TableOffset(tableId), F_UNLCK);
}

std::string LockConflictText(std::string_view table, int64_t recno) {
  return "The record " + std::to_string(recno) + " of table " + std::string(table) +
         " is locked by another user.";
}

}  // namespace sdbstore
