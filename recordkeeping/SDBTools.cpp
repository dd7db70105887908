// Module start and finish, the user stamp, audited posting and the cancel
// that never raises.
#include "SDBTools.h"

#include <filesystem>

#include "LANTools.h"
#include "dataset.h"
#include "idfile.h"
#include "mini_dialogs.h"

namespace {

std::string gUserStamp;
double gUserStampID = -1;

// Holds a dataset's displays for a scope, released however the scope ends.
class TControlsHeld {
 public:
  explicit TControlsHeld(TDataSet& table) : FTable(table) { FTable.DisableControls(); }
  ~TControlsHeld() {
    try {
      FTable.EnableControls();
    } catch (...) {
      // Releasing only refreshes displays; a failure there must not replace
      // the post's own outcome.
    }
  }
  TControlsHeld(const TControlsHeld&) = delete;
  TControlsHeld& operator=(const TControlsHeld&) = delete;

 private:
  TDataSet& FTable;
};

}  // namespace

void StartSDBTools() {
  gUserStamp = "[" + std::filesystem::path(ProgramFile()).filename().string() + " on " +
               LocalComputerName() + "]";
  gUserStampID = -1;
}

void FinishSDBTools() {
  sdbtools::ForgetLastIDTableKey();
  gUserStamp.clear();
}

const std::string& UserStamp() {
  return gUserStamp;
}

double UserStampID() {
  return gUserStampID;
}

void PostWithStamp(TDataSet& table, bool noUserFields) {
  if (!table.Modified()) {
    SafeCancel(table);
    return;
  }
  try {
    if (TField* field = table.FindField("FLDUPDATED")) field->SetAsDateTime(NowUTC());
    if (TField* field = table.FindField("UPDATEDBYSTATION")) field->SetAsInteger(StationNumber());
    if (!noUserFields) {
      if (TField* field = table.FindField("UPDATEDBYUSER")) field->SetAsString(UserStamp());
      if (TField* field = table.FindField("UPDATEDBYUSERID")) field->SetAsFloat(UserStampID());
    }
  } catch (const std::exception& error) {
    // The audit fields never stop a write: the user is told, the record goes
    // in with the stamps set so far.
    ShowError(std::string("Error while updating database timestamp.\r\n") +
                  "Error reported by database engine: <i>" + error.what() + "</i>",
              0);
  }
  table.Post();
}

bool SafePost(TDataSet& table, bool noUserFields) {
  if (!table.Active()) return false;
  TControlsHeld held(table);
  PostWithStamp(table, noUserFields);
  return true;
}

bool SafeCancel(TDataSet& table) noexcept {
  try {
    if (!table.Active()) return false;
    if (table.State() == dsEdit || table.State() == dsInsert) {
      TControlsHeld held(table);
      table.Cancel();
    }
    return true;
  } catch (...) {
    return false;
  }
}
