// TSdbDataSet: positioning, the record fetch with end detection and record
// filtering, record numbers and counts, bookmarks, and deleting a record.
#include <cmath>
#include <cstring>

#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbengine.h"

namespace {

uint32_t BookmarkRecord(const TBookmark& bookmark) {
  uint32_t record = 0;
  std::memcpy(&record, bookmark.data(), std::min<size_t>(bookmark.size(), 4));
  return record;
}

}  // namespace

void TSdbDataSet::GoFirstHook() {
  Check(SdbGotoBOF(mlActiveHandle));
}

void TSdbDataSet::GoLastHook() {
  Check(SdbGotoEOF(mlActiveHandle));
}

TGetResult TSdbDataSet::FetchRecordHook(TRecordBuffer buffer, TGetMode mode, bool) {
  if (mlHandle == SdbNoHandle || State() == dsInsert) return grError;
  int32_t skip = 0;
  switch (mode) {
    case gmNext:
      skip = 1;
      break;
    case gmPrior:
      skip = -1;
      break;
    case gmCurrent:
      break;
    default:
      return grError;
  }
  FLastRecordNumber = 0;
  TGetResult result = FetchVisibleRecord(buffer, mode, skip);
  if (result == grOK) {
    TSdbRecInfo& info = RecInfo(buffer);
    info.SequenceNumber = GetEngineRecordNumber();
    info.StatusByte = 0;
    info.BookmarkFlag = bfCurrent;
  }
  return result;
}

bool TSdbDataSet::EngineRecordVisible() {
  uint16_t visible = 0;
  uint32_t rc = SdbIsRecordVisible(mlActiveHandle, &visible);
  if (rc == SDB_E_NO_CURRENT_RECORD) return false;
  Check(rc);
  return visible != 0;
}

TGetResult TSdbDataSet::FetchVisibleRecord(TRecordBuffer buffer, TGetMode mode, int32_t skip) {
  const bool calcFirst = mpoSdbTableOptions->SdbCalcFieldsBeforeFilter();
  const bool calc = CalcFieldsSize() > 0 || static_cast<bool>(OnCalcFields);
  // (Each end matters only in the directions that can meet it.)
  const uint16_t ends =
      (mode != gmPrior ? SDB_FETCH_AT_EOF : 0) | (mode != gmNext ? SDB_FETCH_AT_BOF : 0);
  for (;;) {
    // One engine call moves, tells the end or whether the record is shown,
    // and delivers the image with its bookmark.
    uint16_t fetched = SDB_FETCH_HIDDEN;
    uint32_t length = musRecordSize;
    uint32_t bookmarkSize = FBookmarkSize;
    Check(SdbFetchRecord(mlActiveHandle, mlHandle, skip, ends, buffer, &length,
                         buffer + musBookmarkOfs, &bookmarkSize, &fetched));
    if (fetched == SDB_FETCH_EOF) return grEOF;
    if (fetched == SDB_FETCH_BOF) return grBOF;
    if (fetched == SDB_FETCH_RECORD) {
      FinishRecordImage(buffer, false);
      bool calculated = false;
      if (calcFirst && calc) {
        CalculateFields(buffer);
        calculated = true;
      }
      if (FilterRecord(buffer)) {
        if (!calculated && calc) CalculateFields(buffer);
        return grOK;
      }
    }
    if (mode == gmCurrent) return grError;
    skip = mode == gmNext ? 1 : -1;
  }
}

void TSdbDataSet::GoBookmarkHook(const TBookmark& bookmark) {
  if (State() == dsInsert) return;
  uint32_t rc = SdbGotoBookmark(mlHandle, BookmarkRecord(bookmark));
  if (rc != SDB_E_NO_SUCH_RECORD) Check(rc);
}

void TSdbDataSet::GoBufferRecordHook(TRecordBuffer buffer) {
  TBookmark bookmark;
  ReadBookmarkHook(buffer, bookmark);
  GoBookmarkHook(bookmark);
}

int32_t TSdbDataSet::GetEngineRecordNumber() {
  if ((mstrIndexName.empty() && mstrIndexFieldNames.empty()) || !mbIsSequenced) {
    // The record just read carries its number in its bookmark.
    if (FLastRecordNumber != 0) return static_cast<int32_t>(FLastRecordNumber);
    uint32_t record = 0;
    Check(SdbGetRecordNum(mlHandle, SDB_IGNOREFILTERS, &record));
    return static_cast<int32_t>(record);
  }
  if (meSeqLevel == slExact) {
    uint32_t key = 0;
    Check(SdbGetKeyNum(mlActiveHandle, SDB_RESPECTFILTERS, &key));
    return static_cast<int32_t>(key);
  }
  uint32_t count = 0;
  Check(SdbGetRecordCount(mlHandle, SDB_IGNOREFILTERS, &count));
  double position = 0;
  uint32_t rc = SdbGetRelKeyPos(mlActiveHandle, &position);
  if (rc == SDB_E_NO_KEY_POSITION)
    position = 0;
  else
    Check(rc);
  return static_cast<int32_t>(std::trunc(count * position));
}

int TSdbDataSet::RecNo() {
  CheckActive();
  if (State() == dsCalcFields) {
    TRecordBuffer calc = CalcBuffer();
    return calc ? static_cast<int>(BufferRecordNumber(calc)) : 0;
  }
  if (IsEmpty()) return 0;
  return RecInfo(ActiveBuffer()).SequenceNumber;
}

void TSdbDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  DoBeforeScroll();
  uint32_t rc;
  const bool indexed = mlActiveHandle != mlHandle;
  if (mbIsSequenced && meSeqLevel == slExact) {
    Check(SdbGotoTop(mlActiveHandle));
    rc = SdbSkip(mlActiveHandle, value - 1);
  } else if (indexed) {
    uint32_t count = 0;
    Check(SdbGetRecordCount(mlHandle, SDB_IGNOREFILTERS, &count));
    double position = count == 0 ? 0 : static_cast<double>(value) / count;
    if (position >= 1) position = 1;
    rc = SdbSetRelKeyPos(mlActiveHandle, position);
  } else if (Filtered()) {
    Check(SdbGotoTop(mlHandle));
    rc = SdbSkip(mlHandle, value - 1);
  } else {
    rc = SdbGotoRecord(mlHandle, static_cast<uint32_t>(value));
    if (rc == SDB_E_NO_SUCH_RECORD && mbIsSequenced) {
      Check(SdbGotoTop(mlHandle));
      rc = SdbSkip(mlHandle, value - 1);
    }
  }
  Check(rc);
  CursorPosChanged();
  Resync({rmCenter});
  DoAfterScroll();
}

int TSdbDataSet::RecordCount() {
  CheckActive();
  uint16_t option = SDB_IGNOREFILTERS;
  if (mpoSdbTableOptions->SdbFilterOptions() == RESPECT_WHEN_COUNTING)
    option = SDB_RESPECTFILTERS;
  else if (mpoSdbTableOptions->SdbScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING)
    option = SDB_RESPECTSCOPES;
  uint32_t handle = mlActiveHandle;
  if (option == SDB_RESPECTFILTERS && mlActiveHandle != mlHandle) {
    uint32_t flags = 0;
    bool checkIndex = meTableType == ttSdbADT;
    if (!checkIndex) {
      Check(SdbGetIndexFlags(mlActiveHandle, &flags));
      checkIndex = (flags & 1) == 0;
    }
    if (checkIndex) {
      // An index without condition or scopes counts as the table does.
      char condition[511];
      uint16_t length = 510;
      Check(SdbGetIndexCondition(mlActiveHandle, condition, &length));
      if (length == 0) {
        uint8_t scope[4];
        uint16_t room = sizeof scope;
        uint32_t top = SdbGetScope(mlActiveHandle, SDB_TOP, scope, &room);
        room = sizeof scope;
        uint32_t bottom = SdbGetScope(mlActiveHandle, SDB_BOTTOM, scope, &room);
        if (top == SDB_E_NO_SCOPE && bottom == SDB_E_NO_SCOPE) handle = mlHandle;
      }
    }
  }
  if (mpoSdbTableOptions->SdbFreshRecordCount()) option += SDB_FRESH;
  uint32_t count = 0;
  Check(SdbGetRecordCount(handle, option, &count));
  return static_cast<int>(count);
}

bool TSdbDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!Active() || bookmark.empty()) return false;
  CursorPosChanged();
  if (SdbGotoBookmark(mlHandle, BookmarkRecord(bookmark)) != 0) return false;
  uint16_t atEnd = 0;
  if (SdbAtEOF(mlHandle, &atEnd) != 0 || atEnd) return false;
  if (meTableType == ttSdbCDX || meTableType == ttSdbNTX || meTableType == ttSdbVFP) {
    uint16_t deleted = 0, shown = 0;
    if (SdbIsRecordDeleted(mlHandle, &deleted) == 0 && deleted)
      return SdbGetDeleted(&shown) == 0 && shown != 0;
  }
  return true;
}

int TSdbDataSet::CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  if (bookmark1.empty() && bookmark2.empty()) return 0;
  if (bookmark2.empty()) return -1;
  if (bookmark1.empty()) return 1;
  // The engine reads four bytes of each.
  uint8_t a[4] = {}, b[4] = {};
  std::memcpy(a, bookmark1.data(), std::min<size_t>(bookmark1.size(), 4));
  std::memcpy(b, bookmark2.data(), std::min<size_t>(bookmark2.size(), 4));
  int32_t result = 0;
  Check(SdbCompareBookmarks(a, b, &result));
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

void TSdbDataSet::DeleteHook() {
  uint32_t rc = SdbDeleteRecord(mlHandle);
  if (rc == 0) rc = SdbWriteRecord(mlHandle);
  try {
    Check(rc);
  } catch (...) {
    // The error is taken before the cancel, whose own answer would replace it.
    SdbCancelUpdate(mlHandle);
    throw;
  }
  uint16_t shown = 0;
  Check(SdbGetDeleted(&shown));
  if (!shown) Check(SdbSkip(mlActiveHandle, 1));
}
