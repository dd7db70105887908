// Record ID files: path, reading, locking, rewriting, allocation steps.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "LANTools.h"
#include "SDBTools.h"
#include "idfile.h"

namespace fs = std::filesystem;

namespace sdbtools {

namespace {

[[noreturn]] void RaiseIO(const std::string& what, const std::string& path, int error) {
  throw EInOutError(what + " \"" + path + "\": " + std::strerror(error));
}

void CloseHandle(int& handle) {
  if (handle >= 0) ::close(handle);
  handle = -1;
}

// Whether the opened file (its status in `opened`) is still the one the
// path names.
bool SameFile(const struct stat& opened, const std::string& path) {
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void LockExclusive(int handle, const std::string& path) {
  while (::flock(handle, LOCK_EX) != 0) {
    if (errno != EINTR) RaiseIO("Cannot lock", path, errno);
  }
}

void WriteAll(int handle, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t n = ::write(handle, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseIO("Cannot write the ID file", path, errno);
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

std::string gLastIDTableKey;

}  // namespace

void SetLastIDTableKey(std::string key) {
  gLastIDTableKey = std::move(key);
}

void ForgetLastIDTableKey() {
  gLastIDTableKey.clear();
}

std::string IDBaseName(std::string_view tableName) {
  const size_t slash = tableName.find_last_of("\\/");
  if (slash != std::string_view::npos) tableName.remove_prefix(slash + 1);
  return std::string(tableName.substr(0, tableName.find('.')));
}

std::string IDFilePath(const std::string& dataFolder, std::string_view baseName, int32_t station) {
  // The data folder is a configured value and used as given; what the
  // program adds is upper case, and found whatever case it has on disk.
  const std::string name = UpperText(std::string(baseName) + "_" + std::to_string(station) + ".ID");
  const std::string wanted = WithTrailingDelimiter(dataFolder) + "DB/" + name;
  // Matching the case reads the folders on the way (the installation's own
  // folder is "db"); an ID file found that way is remembered and only
  // checked for existence on the next call, which is most of the time of a
  // file step otherwise. Main thread only, like the rest of the unit.
  static std::unordered_map<std::string, std::string> found;
  struct stat st {};
  if (const auto it = found.find(wanted);
      it != found.end() && ::stat(it->second.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    return it->second;
  std::string path = CaselessPath(wanted);
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    found[wanted] = path;
  else
    found.erase(wanted);
  return path;
}

std::string IDFileTempPath(const std::string& idFilePath) {
  // One fixed name per ID file: only the holder of the file's lock writes
  // it, and a file left by a crash is simply overwritten by the next rewrite.
  return idFilePath + ".tmp";
}

bool ReadIDNumber(std::string_view text, int64_t& value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

TIDFile::TIDFile(std::string path) : FPath(std::move(path)) {
  for (;;) {
    FWritable = true;
    FFileHandle = ::open(FPath.c_str(), O_RDWR | O_CLOEXEC);
    if (FFileHandle < 0 && (errno == EACCES || errno == EROFS)) {
      // A file that cannot be written is still read; its rewrite is refused.
      FWritable = false;
      FFileHandle = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (FFileHandle >= 0) {
      LockExclusive(FFileHandle, FPath);
      // A process that created the file, or a program that replaces it
      // whole, may have put another file under the name while this one
      // waited: then the lock is on the old file and must be taken on the new.
      struct stat st {};
      if (::fstat(FFileHandle, &st) != 0) RaiseIO("Cannot open the ID file", FPath, errno);
      if (!SameFile(st, FPath)) {
        CloseHandle(FFileHandle);
        continue;
      }
      // The owner's write bit is this platform's read-only attribute; a
      // privileged process could write the file anyway, so honour it here.
      if ((st.st_mode & S_IWUSR) == 0) FWritable = false;
      FSize = st.st_size;
      return;
    }
    if (errno == EINTR) continue;
    if (errno != ENOENT) RaiseIO("Cannot open the ID file", FPath, errno);

    const std::string folder = fs::path(FPath).parent_path().string();
    FFolderHandle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FFolderHandle < 0) RaiseIO("Cannot open the ID file", FPath, errno);
    LockExclusive(FFolderHandle, folder);
    // Whoever held the folder may have created the file meanwhile.
    const std::string again = CaselessPath(FPath);
    struct stat st {};
    if (::stat(again.c_str(), &st) != 0 && errno == ENOENT) return;
    CloseHandle(FFolderHandle);
    FPath = again;
  }
}

TIDFile::~TIDFile() {
  CloseHandle(FFileHandle);
  CloseHandle(FFolderHandle);
}

int64_t TIDFile::ReadValue() const {
  if (FFileHandle < 0) return 0;
  char buffer[256];
  const ssize_t n = ::pread(FFileHandle, buffer, sizeof buffer, 0);
  if (n < 0) RaiseIO("Cannot read the ID file", FPath, errno);
  std::string_view line(buffer, static_cast<size_t>(n));
  line = line.substr(0, line.find_first_of("\r\n"));
  int64_t value = 0;
  return ReadIDNumber(line, value) ? value : 0;
}

void TIDFile::Rewrite(std::string_view text) {
  std::string content(text);
  content += "\r\n";
  if (FFileHandle >= 0) {
    if (!FWritable) RaiseIO("Cannot write the ID file", FPath, EACCES);
    // The new line first, then the cut: whatever happens between the two,
    // the first line is a whole number, the old one or the new one. No
    // fsync: the database commits without one too (WAL, synchronous=NORMAL),
    // and an ID file that lost its last rewrite in a power cut only offers
    // an ID that the lookup of the file step then finds used.
    size_t done = 0;
    while (done < content.size()) {
      const ssize_t n = ::pwrite(FFileHandle, content.data() + done, content.size() - done,
                                 static_cast<off_t>(done));
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseIO("Cannot write the ID file", FPath, errno);
      }
      done += static_cast<size_t>(n);
    }
    const off_t length = static_cast<off_t>(content.size());
    if (FSize > length) {
      while (::ftruncate(FFileHandle, length) != 0) {
        if (errno != EINTR) RaiseIO("Cannot write the ID file", FPath, errno);
      }
    }
    FSize = length;
    return;
  }

  // A new file: complete under a temporary name before it takes the ID
  // file's name, so no reader ever finds it empty or half written.
  const std::string temp = IDFileTempPath(FPath);
  int handle = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (handle < 0) RaiseIO("Cannot write the ID file", FPath, errno);
  try {
    // Locked before it takes the name, so the allocation keeps its hold: a
    // process that finds the new file waits for this allocation to end.
    LockExclusive(handle, temp);
    WriteAll(handle, content, FPath);
    if (::rename(temp.c_str(), FPath.c_str()) != 0)
      RaiseIO("Cannot write the ID file", FPath, errno);
  } catch (...) {
    CloseHandle(handle);
    ::unlink(temp.c_str());
    throw;
  }
  FFileHandle = handle;
  FWritable = true;
  FSize = static_cast<off_t>(content.size());
}

double AllocateID(TIDFile& file, int32_t station, bool sameTableAsLast,
                  const std::function<bool(int64_t candidate)>& isTaken,
                  const std::function<TIDScan()>& scan, const std::string& table) {
  const int64_t first = station * IDStationSpan + 1;
  const int64_t last = station * IDStationSpan + IDCounterMax;

  if (file.Exists()) {
    const int64_t value = file.ReadValue();
    const bool overflow = value == INT64_MAX;
    const int64_t candidate = overflow ? value : value + 1;
    file.Rewrite(std::to_string(candidate));
    // A damaged file may point outside this station's range (1 on a station
    // above 0, or beyond the last counter): such a number is never handed
    // out, the scan finds the right one.
    const bool inRange = !overflow && candidate >= first && candidate <= last;
    if (inRange && (sameTableAsLast || !isTaken(candidate))) return static_cast<double>(candidate);
  }

  const TIDScan found = scan();
  if (found.Outcome == TIDScan::Failed) return -1;
  const int64_t counter =
      found.Outcome == TIDScan::Empty ? 2 : found.Highest - station * IDStationSpan + 2;
  // Past the last counter the text would run into the next station's range
  // (or, cut to 11 digits, wrap to IDs already handed out).
  if (counter > IDCounterMax)
    throw EIDAllocationError("No record ID left for table " + table + " on station " +
                             std::to_string(station) + ": its counter has reached " +
                             std::to_string(IDCounterMax));
  const std::string text = std::to_string(station) + PadLeft(std::to_string(counter), 11, '0');
  file.Rewrite(text);
  return static_cast<double>(station * IDStationSpan + counter);
}

}  // namespace sdbtools

const std::string& LastIDTableKey() {
  return sdbtools::gLastIDTableKey;
}
