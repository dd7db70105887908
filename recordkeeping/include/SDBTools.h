// Record keeping shared by the family's programs: audited posting, station-
// ranged record IDs with their ID files, and small table helpers.

// Everything here runs on the main thread. Module start and finish are
// explicit calls: StartSDBTools after the installation settings
// (StartLANTools), FinishSDBTools before FinishLANTools.
#pragma once

#include <memory>
#include <string>

#include "exceptions.h"

class TDataSet;
class TSdbTable;

/// A file operation that failed; the message carries the system's reason and
/// the path.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

/// A record ID that cannot be handed out: the station's counter is used up,
/// or an allocation answered the error value -1.
class EIDAllocationError : public Exception {
 public:
  using Exception::Exception;
};

// ---------------------------------------------------------------------------
// Module start and finish

/// Builds UserStamp ("[" + program file name + " on " + computer name + "]")
/// and UserStampID (-1).
void StartSDBTools();
/// Forgets LastIDTableKey and the user stamp.
void FinishSDBTools();

const std::string& UserStamp();
double UserStampID();

// ---------------------------------------------------------------------------
// Audited posting

/// Posts the pending edit or insert of `table` with the audit fields it has:
/// FLDUPDATED (NowUTC), UPDATEDBYSTATION, and unless `noUserFields`
/// UPDATEDBYUSER and UPDATEDBYUSERID. An unmodified record is cancelled
/// instead. A failing assignment shows an error dialog and the record is
/// still posted; a failing post propagates.
void PostWithStamp(TDataSet& table, bool noUserFields);
/// False (and nothing happens) when `table` is not open; else PostWithStamp
/// with the displays held, and true. The displays are released also when
/// the post fails (the failure then propagates).
bool SafePost(TDataSet& table, bool noUserFields);
/// False when `table` is not open. An edit or insert is cancelled with the
/// displays held. Never raises: a failing cancel answers false.
bool SafeCancel(TDataSet& table) noexcept;

// ---------------------------------------------------------------------------
// Record IDs

/// The next record ID of the table for this station (see idfile.h for the
/// ID file): the file's number + 1 when that is free, else two above the
/// highest ID of the station's range found through index `indexName` (which
/// also names the ID field). -1 when the ID field does not read as a whole
/// number (an error dialog says so). Raises EInOutError for ID-file
/// failures and EIDAllocationError when the station's counter is used up.
/// The table need not be open.
double DBNextID(TSdbTable& table, const std::string& indexName);
/// The table key (connect path + base name) of the last completed DBNextID.
const std::string& LastIDTableKey();

// ---------------------------------------------------------------------------
// Table helpers

/// Whether the variable holds a table object.
inline bool IsValidTable(const TSdbTable* table) {
  return table != nullptr;
}
inline bool IsValidTable(const std::unique_ptr<TSdbTable>& table) {
  return table != nullptr;
}
/// Makes `table` (created when empty, else reused and closed) a second
/// cursor on the source's connection and table, in natural order, without
/// filter or master link, with the source's BeforeDelete handler, and opens
/// it. The caller owns the object.
void CloneTable(std::unique_ptr<TSdbTable>& table, TSdbTable& source);
/// Positions `table` (opened when closed) on a record whose field equals
/// `value` (texts compared exactly), seeking through the index named like
/// the field. The table's index and master source are the same afterwards,
/// whatever happens. False when there is no such record.
bool FindByField(TSdbTable& table, const std::string& fieldName, const std::string& value);
