// TDataSet: the ring of record buffers and navigation over it.
//
// FBuffers holds FBufferCount buffers plus one spare. The first FRecordCount
// hold consecutive records in storage order; FActiveRecord is the active one.
// Fetching forward past the last buffer rotates the ring (the first buffer
// becomes the spare); fetching backward shifts every buffer up by one.
#include <algorithm>

#include "datalinks.h"
#include "dataset.h"
#include "fields.h"

void TDataSet::SetMinBufferCount(int count) {
  FMinBufferCount = std::max(1, count);
  if (FActive) UpdateBufferCount();
}

void TDataSet::UpdateBufferCount() {
  if (!FActive) return;
  int wanted = FMinBufferCount;
  for (TDataSource* source : FDataSources)
    for (TDataLink* link : source->DataLinks()) wanted = std::max(wanted, link->BufferCount());
  if (wanted > FBufferCount) SetBufferCount(wanted);
}

void TDataSet::SetBufferCount(int count) {
  // The ring only grows while open: buffers already holding records stay.
  if (count <= FBufferCount && !FBuffers.empty()) return;
  std::vector<TRecordBuffer> added;
  try {
    int needed = count + 1 - static_cast<int>(FBuffers.size());
    for (int i = 0; i < needed; ++i) added.push_back(NewBufferHook());
  } catch (...) {
    for (TRecordBuffer buffer : added) FreeBufferHook(buffer);
    throw;
  }
  FBuffers.insert(FBuffers.end(), added.begin(), added.end());
  FBufferCount = count;
  if (FState == dsBrowse && FRecordCount > 0) {
    GetNextRecords();
    GetPriorRecords();
    DataEvent(deLayoutChange);
  }
}

void TDataSet::RecreateBuffers() {
  int count = FBufferCount;
  int active = FActiveRecord;
  FreeBuffers();
  try {
    SetBufferCount(count);
  } catch (...) {
    Close();
    throw;
  }
  FActiveRecord = active;  // a Resync keeps the active record's place
}

void TDataSet::FreeBuffers() {
  std::vector<TRecordBuffer> buffers;
  buffers.swap(FBuffers);
  FBufferCount = 0;
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FCalcBuffer = FFilterBuffer = nullptr;
  for (TRecordBuffer buffer : buffers) FreeBufferHook(buffer);
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = FEOF = false;
}

void TDataSet::ActivateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FCurrentRecord = 0;
  FBOF = FEOF = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  TRecordBuffer current = FCurrentRecord >= 0 ? FBuffers[FCurrentRecord] : nullptr;
  TRecordBuffer moved = FBuffers[from];
  FBuffers.erase(FBuffers.begin() + from);
  FBuffers.insert(FBuffers.begin() + to, moved);
  FCurrentRecord = -1;
  if (current && current != moved) {
    auto it = std::find(FBuffers.begin(), FBuffers.end(), current);
    FCurrentRecord = static_cast<int>(it - FBuffers.begin());
  }
}

void TDataSet::SetCurrentRecord(int index) {
  if (FCurrentRecord == index) return;
  TRecordBuffer buffer = FBuffers[index];
  switch (ReadBookmarkFlagHook(buffer)) {
    case bfCurrent:
    case bfInserted:
      GoBufferRecordHook(buffer);
      break;
    case bfBOF:
      GoFirstHook();
      break;
    case bfEOF:
      GoLastHook();
      break;
  }
  FCurrentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
  if (FetchRecordHook(FBuffers[FRecordCount], gmNext, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else if (FRecordCount < FBufferCount) {
    ++FRecordCount;
  } else {
    MoveBuffer(0, FRecordCount);
    if (FActiveRecord > 0) --FActiveRecord;
  }
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0) SetCurrentRecord(0);
  if (FetchRecordHook(FBuffers[FRecordCount], gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(FRecordCount, 0);
    if (FRecordCount < FBufferCount) ++FRecordCount;
    if (FActiveRecord < FRecordCount - 1) ++FActiveRecord;
  }
  FCurrentRecord = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int count = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++count;
  return count;
}

int TDataSet::GetPriorRecords() {
  int count = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++count;
  return count;
}

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    GoFirstHook();
    GetNextRecords();
  } catch (...) {
    FBOF = true;
    FEOF = FRecordCount == 0;
    DataEvent(deDataSetChange);
    throw;
  }
  FBOF = true;
  FEOF = FRecordCount == 0;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  auto finish = [this] {
    FEOF = true;
    FBOF = FRecordCount == 0;
    DataEvent(deDataSetChange);
  };
  try {
    GoLastHook();
    GetPriorRecords();
    if (FRecordCount > 0) FActiveRecord = FRecordCount - 1;
  } catch (...) {
    finish();
    throw;
  }
  finish();
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int moved = 0;
  DoBeforeScroll();
  if ((distance > 0 && !FEOF) || (distance < 0 && !FBOF)) {
    FBOF = FEOF = false;
    int shift = 0;  // how far the buffered records moved towards index 0
    try {
      while (distance > 0) {
        if (FActiveRecord < FRecordCount - 1) {
          ++FActiveRecord;
        } else {
          int before = FRecordCount;
          if (!GetNextRecord()) {
            FEOF = true;
            break;
          }
          if (FRecordCount == before) ++shift;
          FActiveRecord = FRecordCount - 1;
        }
        --distance;
        ++moved;
      }
      while (distance < 0) {
        if (FActiveRecord > 0) {
          --FActiveRecord;
        } else {
          if (!GetPriorRecord()) {
            FBOF = true;
            break;
          }
          --shift;
          FActiveRecord = 0;
        }
        ++distance;
        --moved;
      }
    } catch (...) {
      DataEvent(deDataSetScroll, nullptr, shift);
      throw;
    }
    DataEvent(deDataSetScroll, nullptr, shift);
    DoAfterScroll();
  }
  return moved;
}

void TDataSet::Resync(const TResyncMode& mode) {
  CheckActive();
  TRecordBuffer spare = FBuffers[FRecordCount];
  if (mode.count(rmExact)) {
    CursorPosChanged();
    if (FetchRecordHook(spare, gmCurrent, true) != grOK) throw EDatabaseError("Record not found");
  } else if (FetchRecordHook(spare, gmCurrent, false) != grOK &&
             FetchRecordHook(spare, gmNext, false) != grOK &&
             FetchRecordHook(spare, gmPrior, false) != grOK) {
    ClearBuffers();
    FBOF = FEOF = true;
    DataEvent(deDataSetChange);
    return;
  }
  int count = mode.count(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  MoveBuffer(FRecordCount, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange);
    throw;
  }
  DataEvent(deDataSetChange);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

bool TDataSet::PositionedJump(const std::function<bool()>& seek) {
  CheckBrowseMode();
  DoBeforeScroll();
  CursorPosChanged();
  if (!seek()) return false;
  static const TResyncMode kAroundTheRecord{rmExact, rmCenter};
  Resync(kAroundTheRecord);
  DoAfterScroll();
  return true;
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount > 0) return;
  if (FDisableState != FState) DataEvent(deUpdateState);
  if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent);
}

void TDataSet::SetActiveRecordIndex(int index) {
  if (index >= 0 && index < std::max(FRecordCount, 1)) FActiveRecord = index;
}

TRecordBuffer TDataSet::ActiveRecordBuffer() {
  switch (FState) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
    case dsInternalCalc:
      return FCalcBuffer;
    case dsFilter:
      return FFilterBuffer;
    default:
      return nullptr;
  }
}

// -- bookmarks ------------------------------------------------------------------

TBookmark TDataSet::GetBookmark() {
  TBookmark bookmark;
  if (FActive && !IsEmpty() && FState != dsInactive && FState != dsOpening &&
      ReadBookmarkFlagHook(ActiveBuffer()) == bfCurrent)
    ReadBookmarkHook(ActiveBuffer(), bookmark);
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  GoBookmarkHook(bookmark);
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) {
  return false;
}

int TDataSet::CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  if (bookmark1.empty() && bookmark2.empty()) return 0;
  if (bookmark1.empty()) return 1;
  if (bookmark2.empty()) return -1;
  if (bookmark1 == bookmark2) return 0;
  return std::lexicographical_compare(bookmark1.begin(), bookmark1.end(), bookmark2.begin(),
                                      bookmark2.end())
             ? -1
             : 1;
}
