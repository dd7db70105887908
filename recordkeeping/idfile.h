// Record ID files: where a station keeps the last ID it handed out for a
// table, how the file is read, locked and rewritten, and the allocation steps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace sdbtools {

/// Counters per station: IDs are station × IDStationSpan + counter, the
/// counter running from 1 to IDCounterMax.
inline constexpr int64_t IDStationSpan = 100'000'000'000;
inline constexpr int64_t IDCounterMax = 99'999'999'999;

/// The table's name without folder ("\" or "/"), cut before its first ".".
std::string IDBaseName(std::string_view tableName);

/// DataFolder + "DB/" + base + "_" + station + ".ID", the file name upper
/// case. The DB folder and the file are matched whatever their case; a file
/// that does not exist yet keeps the upper-case spelling.
std::string IDFilePath(const std::string& dataFolder, std::string_view baseName, int32_t station);

/// Where the first write of a new ID file puts its content before it is
/// renamed to the file's name.
std::string IDFileTempPath(const std::string& idFilePath);

/// The first line of an ID file read as a whole decimal number (blanks
/// around it allowed, no other form); false for anything else.
bool ReadIDNumber(std::string_view text, int64_t& value);

/// Exclusive use of one ID file for the read-increment-rewrite of one
/// allocation. Two processes on this machine never interleave: an existing
/// file is held by an advisory lock on the file itself (taken again when a
/// rewrite of another process replaced the file while this one waited);
/// while there is no file, the DB folder is locked until this allocation has
/// created it. The locks go with the object. Other programs of the family
/// neither take nor notice them.
///
/// Failures (a missing DB folder, a read-only file, any system error) raise
/// EInOutError with the system's message and the path.
class TIDFile {
 public:
  explicit TIDFile(std::string path);
  ~TIDFile();
  TIDFile(const TIDFile&) = delete;
  TIDFile& operator=(const TIDFile&) = delete;

  const std::string& Path() const { return FPath; }
  bool Exists() const { return FFileHandle >= 0; }
  /// The number on the first line; 0 when the line is not one.
  int64_t ReadValue() const;
  /// Makes the file hold `text` + CR LF. An existing file is rewritten in
  /// place: the new line at the start, then the file cut to its length. A
  /// crash between the two leaves the new line followed by the tail of the
  /// old content, and only the first line is ever read, so the file always
  /// reads as the old or the new number. (Renaming a new file over it would
  /// cost about a millisecond per ID on ext4, which starts writing back a
  /// file that is renamed over another.) A file that does not exist yet is
  /// written whole to the temporary file beside it and renamed into place,
  /// so nobody ever sees it empty. A read-only file (owner's write bit
  /// clear) is refused and stays as it is.
  void Rewrite(std::string_view text);

 private:
  std::string FPath;
  int FFileHandle = -1;    // the locked ID file, when it exists
  int FFolderHandle = -1;  // the locked DB folder, while there is no file
  bool FWritable = false;  // FFileHandle may be written (opened so, not read-only)
  off_t FSize = 0;         // the file's length
};

/// LastIDTableKey's keeper: set by a completed DBNextID, cleared at finish.
void SetLastIDTableKey(std::string key);
void ForgetLastIDTableKey();

/// What the scan of the station's range found in the table.
struct TIDScan {
  enum { Empty, Found, Failed } Outcome = Empty;
  int64_t Highest = 0;  // the highest ID in the range (Found)
};

/// The allocation steps on a locked ID file:
///  - file step: the file's number + 1 is written back and taken when the
///    same table was served last (`sameTableAsLast`) or `isTaken` does not
///    find it; a candidate outside the station's range is never taken;
///  - otherwise the scan: `scan` reports the station's highest ID, the
///    counter becomes its counter + 2 (2 in an empty range), the file gets
///    station + 11-digit counter; a failed scan gives -1 and no rewrite.
/// A counter beyond IDCounterMax raises EIDAllocationError naming `table`
/// and the station.
double AllocateID(TIDFile& file, int32_t station, bool sameTableAsLast,
                  const std::function<bool(int64_t candidate)>& isTaken,
                  const std::function<TIDScan()>& scan, const std::string& table);

}  // namespace sdbtools
