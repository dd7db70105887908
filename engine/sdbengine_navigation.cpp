// Navigation: row sources, the cursor's read-ahead batches, and the moving,
// counting and bookmark calls.
//
// A walk reads rows ahead in batches (16 growing to SdbCacheRecords' size,
// 256 by default), each batch one statement run to its end, so every read
// transaction ends inside the call that began it: WAL checkpoints are never
// held up by a browsing cursor. Cached rows serve while no engine write,
// commit or rollback happened in this process (WriteEpoch) and for at most
// kCacheLifetimeMs, which bounds how late a write of another process shows.
#include <climits>

#include "sdbengineInt.h"

namespace sdbengine {

// ---------------------------------------------------------------------------
// Row sources

TableRows::TableRows(Database& db, std::shared_ptr<const TableDef> def)
    : FDb(db), FDef(std::move(def)) {
  std::string select = "SELECT " + FDef->selectList + " FROM " + FDef->quotedName;
  FForward = select + " WHERE sdb_recno > ?1 ORDER BY sdb_recno LIMIT ?2";
  FBackward = select + " WHERE sdb_recno < ?1 ORDER BY sdb_recno DESC LIMIT ?2";
}

void TableRows::Fetch(int64_t fromRecno, const uint8_t*, bool forward, size_t n,
                      std::vector<int64_t>& recnos, std::vector<uint8_t>& images) {
  sqlite3_stmt* stmt = FDb.Prepare(forward ? FForward : FBackward);
  ResetOnExit reset{stmt};
  sqlite3_bind_int64(stmt, 1, fromRecno != 0 ? fromRecno : forward ? 0 : INT64_MAX);
  sqlite3_bind_int64(stmt, 2, static_cast<sqlite3_int64>(n));
  while (FDb.Step(stmt)) AddRow(stmt, *FDef, recnos, images);
}

bool TableRows::Read(int64_t recno, uint8_t* image) {
  return FDb.ReadRecord(*FDef, recno, image);
}

int64_t TableRows::Count() {
  return FDb.RecordCount(*FDef);
}

std::optional<std::string> TableRows::ReadBlob(int64_t recno, int fieldIndex) {
  return FDb.ReadBlob(*FDef, recno, fieldIndex);
}

void StaticRows::Fetch(int64_t fromRecno, const uint8_t*, bool forward, size_t n,
                       std::vector<int64_t>& recnos, std::vector<uint8_t>& out) {
  int64_t r = forward ? fromRecno + 1 : fromRecno == 0 ? rows : fromRecno - 1;
  for (; n > 0 && r >= 1 && r <= rows; --n, r += forward ? 1 : -1) {
    recnos.push_back(r);
    const uint8_t* row = images.data() + (r - 1) * recordLength;
    out.insert(out.end(), row, row + recordLength);
  }
}

bool StaticRows::Read(int64_t recno, uint8_t* image) {
  if (recno < 1 || recno > rows) return false;
  std::memcpy(image, images.data() + (recno - 1) * recordLength, recordLength);
  return true;
}

std::optional<std::string> StaticRows::ReadBlob(int64_t recno, int fieldIndex) {
  if (recno < 1 || recno > rows) return std::nullopt;
  const auto& row = blobs[recno - 1];
  auto it = row.find(fieldIndex);
  if (it == row.end()) return std::nullopt;
  return it->second;
}

// ---------------------------------------------------------------------------
// Cursor position

bool Table::Fresh() const {
  return source->Static() || (imageEpoch == WriteEpoch() && NowMs() - imageAtMs < kCacheLifetimeMs);
}

bool Table::BatchValid() const {
  return !FBatchRecnos.empty() && FBatchOrder == (order ? order : source.get()) &&
         (source->Static() ||
          (FBatchEpoch == WriteEpoch() && NowMs() - FBatchAtMs < kCacheLifetimeMs));
}

void Table::DropBatch() {
  FBatchRecnos.clear();
  FBatchImages.clear();
  FBatchPos = 0;
}

void Table::LoadBatch(int64_t fromRecno, const uint8_t* fromImage, bool forward) {
  FBatchSize =
      FBatchSize == 0 ? std::min<size_t>(16, maxBatch) : std::min<size_t>(FBatchSize * 2, maxBatch);
  DropBatch();
  FBatchEpoch = WriteEpoch();  // before reading: a write during the read makes it stale
  FBatchAtMs = NowMs();
  FBatchOrder = order ? order : source.get();  // an index order, or the filtered record order
  FBatchOrder->Fetch(fromRecno, fromImage, forward, FBatchSize, FBatchRecnos, FBatchImages);
  FBatchForward = forward;
  FBatchEnd = FBatchRecnos.size() < FBatchSize;
}

void Table::TakeBatchRow() {
  const size_t len = RecordLength();
  recno = FBatchRecnos[FBatchPos];
  image.resize(len);
  std::memcpy(image.data(), FBatchImages.data() + FBatchPos * len, len);
  imageEpoch = FBatchEpoch;
  imageAtMs = FBatchAtMs;
  bof = eof = deleted = false;
}

void Table::GotoTop() {
  GotoEnd(true, "SdbGotoTop");
}

void Table::GotoBottom() {
  GotoEnd(false, "SdbGotoBottom");
}

void Table::GotoEnd(bool top, const char* call) {
  if (pending.active) WritePending(call);
  FBatchSize = 0;
  LoadBatch(0, nullptr, top);
  if (FBatchRecnos.empty()) {
    bof = eof = true;
    recno = 0;
    deleted = false;
  } else {
    TakeBatchRow();
  }
}

void Table::GotoBof() {
  if (pending.active) WritePending("SdbGotoBOF");
  bof = true;
  eof = deleted = false;
  recno = 0;
  FBatchSize = 0;
  DropBatch();
}

void Table::GotoEof() {
  if (pending.active) WritePending("SdbGotoEOF");
  eof = true;
  bof = deleted = false;
  recno = 0;
  FBatchSize = 0;
  DropBatch();
}

bool Table::StepBatch(bool forward) {
  if (forward ? eof : bof) return false;
  bool atEnd = bof || eof;  // moving in from the other end
  if (!atEnd && BatchValid() && FBatchForward == forward && FBatchRecnos[FBatchPos] == recno) {
    if (FBatchPos + 1 < FBatchRecnos.size()) {
      ++FBatchPos;
      TakeBatchRow();
      return true;
    }
    LoadBatch(recno, image.data(), forward);  // at a batch end, even a short one: look again
  } else {
    LoadBatch(atEnd ? 0 : recno, atEnd ? nullptr : image.data(), forward);
  }
  if (FBatchRecnos.empty()) {
    eof = forward;
    bof = !forward;
    recno = 0;
    deleted = false;
    return false;
  }
  TakeBatchRow();
  return true;
}

void Table::Skip(int32_t count) {
  if (pending.active) WritePending("SdbSkip");
  if (count == 0) {
    if (!bof && !eof) Reread();
    return;
  }
  bool forward = count > 0;
  int64_t steps = forward ? int64_t(count) : -int64_t(count);
  while (steps-- > 0)
    if (!StepBatch(forward)) break;
}

bool Table::GotoRecord(int64_t number) {
  // A move onto the record whose update is pending keeps the update pending:
  // after a failed write the caller moves there to write the corrected values
  // and must not run into the old failure first.
  if (pending.active && (pending.append || pending.recno != number)) WritePending("SdbGotoRecord");
  DropBatch();
  FBatchSize = 0;
  if (number <= 0) {
    GotoEof();
    return true;
  }
  image.resize(RecordLength());
  uint64_t epoch = WriteEpoch();
  if (!source->Read(number, image.data())) {
    GotoEof();
    return false;
  }
  recno = number;
  bof = eof = deleted = false;
  imageEpoch = epoch;
  imageAtMs = NowMs();
  return true;
}

bool Table::Reread() {
  uint64_t epoch = WriteEpoch();
  image.resize(RecordLength());
  if (!source->Read(recno, image.data())) {
    deleted = true;
    return false;
  }
  deleted = false;
  imageEpoch = epoch;
  imageAtMs = NowMs();
  return true;
}

const uint8_t* Table::Current(const char* call) {
  if (bof || eof)
    Throw(SDB_E_NO_CURRENT_RECORD, std::string(call) +
                                       ": there is no current record (the cursor is at " +
                                       (bof ? "the beginning" : "the end") + " of " + name + ").");
  if (!deleted && !Fresh()) Reread();
  if (deleted)
    Throw(SDB_E_NO_CURRENT_RECORD, std::string(call) + ": the current record " +
                                       std::to_string(recno) + " of " + name + " was deleted.");
  return image.data();
}

}  // namespace sdbengine

using namespace sdbengine;

namespace {

// The cursor a navigation call moves: a table, an SQL cursor, or through an
// index handle its table in index order.
Table& Nav(SDBHANDLE h, const char* call) {
  return NavCursor(h, call);
}

// SdbIsRecordVisible's answer for the cursor `t` reached through `h`, the
// handle's object.
bool Shown(Object* h, Table& t) {
  if (t.bof || t.eof)
    Throw(SDB_E_NO_CURRENT_RECORD,
          "SdbIsRecordVisible: there is no current record in " + t.name + ".");
  bool visible = !t.deleted;
  if (visible && !t.Fresh()) visible = t.Reread();
  if (visible) visible = PassesOrder(h, t);  // filters, index condition, scopes
  return visible;
}

// A bookmark's bytes: the record number in four bytes, little-endian.
uint32_t PutBookmarkBytes(int64_t number, uint8_t* pucBookmark, uint32_t* pulLength) {
  uint8_t bytes[4] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16),
                      uint8_t(number >> 24)};
  return PutBytes(bytes, 4, pucBookmark, pulLength);
}

// SdbGetBookmark60's answer for the cursor `t`.
uint32_t PutBookmark60(Table& t, uint8_t* pucBookmark, uint32_t* pulLength) {
  int64_t number = t.pending.active && t.pending.append ? t.pending.recno : 0;
  if (!number) {
    t.Current("SdbGetBookmark60");
    number = t.recno;
  }
  return PutBookmarkBytes(number, pucBookmark, pulLength);
}

}  // namespace

extern "C" uint32_t SdbGotoTop(SDBHANDLE hObj) {
  return Api([&] {
    Nav(hObj, "SdbGotoTop").GotoTop();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGotoBottom(SDBHANDLE hObj) {
  return Api([&] {
    Nav(hObj, "SdbGotoBottom").GotoBottom();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGotoBOF(SDBHANDLE hObj) {
  return Api([&] {
    Nav(hObj, "SdbGotoBOF").GotoBof();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGotoEOF(SDBHANDLE hObj) {
  return Api([&] {
    Nav(hObj, "SdbGotoEOF").GotoEof();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbSkip(SDBHANDLE hObj, int32_t lRecs) {
  return Api([&] {
    Nav(hObj, "SdbSkip").Skip(lRecs);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbAtEOF(SDBHANDLE hObj, uint16_t* pbAtEOF) {
  return Api([&] { return PutBool(Nav(hObj, "SdbAtEOF").eof, pbAtEOF, "answer"); });
}

extern "C" uint32_t SdbAtBOF(SDBHANDLE hObj, uint16_t* pbAtBOF) {
  return Api([&] { return PutBool(Nav(hObj, "SdbAtBOF").bof, pbAtBOF, "answer"); });
}

extern "C" uint32_t SdbGotoRecord(SDBHANDLE hObj, uint32_t ulRec) {
  return Api([&] {
    Table& t = Nav(hObj, "SdbGotoRecord");
    if (!t.GotoRecord(ulRec))
      Throw(SDB_E_NO_SUCH_RECORD,
            "SdbGotoRecord: there is no record " + std::to_string(ulRec) + " in " + t.name + ".");
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetRecordNum(SDBHANDLE hObj, uint16_t /*usFilterOption*/, uint32_t* pulRec) {
  return Api([&] {
    Need(pulRec, "record number");
    Table& t = Nav(hObj, "SdbGetRecordNum");
    if (t.pending.active && t.pending.append)
      *pulRec = static_cast<uint32_t>(t.pending.recno);
    else
      *pulRec = t.bof || t.eof ? 0 : static_cast<uint32_t>(t.recno);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetRecordCount(SDBHANDLE hObj, uint16_t usFilterOption, uint32_t* pulCount) {
  return Api([&] {
    Need(pulCount, "count");
    Object& object = *Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Statement, Kind::Index},
                              "SdbGetRecordCount");
    if ((usFilterOption & ~SDB_FRESH) > SDB_RESPECTSCOPES)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbGetRecordCount: unknown filter option " + std::to_string(usFilterOption) + ".");
    if (object.kind == Kind::Statement) {
      Statement& s = static_cast<Statement&>(object);
      if (s.rowsAffected < 0)
        Throw(SDB_E_NO_ROW_COUNT, "SdbGetRecordCount: the statement has not been executed.");
      *pulCount = static_cast<uint32_t>(s.rowsAffected);
      return SDB_SUCCESS;
    }
    *pulCount = static_cast<uint32_t>(CountRecords(object, usFilterOption));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetBookmark(SDBHANDLE hObj, SDBHANDLE* phBookmark) {
  return Api([&] {
    Need(phBookmark, "bookmark");
    Table& t = Nav(hObj, "SdbGetBookmark");
    if (t.pending.active && t.pending.append) {
      *phBookmark = static_cast<SDBHANDLE>(t.pending.recno);
      return SDB_SUCCESS;
    }
    t.Current("SdbGetBookmark");
    *phBookmark = static_cast<SDBHANDLE>(t.recno);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetBookmark60(SDBHANDLE hObj, uint8_t* pucBookmark, uint32_t* pulLength) {
  return Api([&] { return PutBookmark60(Nav(hObj, "SdbGetBookmark60"), pucBookmark, pulLength); });
}

extern "C" uint32_t SdbGotoBookmark(SDBHANDLE hObj, SDBHANDLE hBookmark) {
  return Api([&] {
    Table& t = Nav(hObj, "SdbGotoBookmark");
    if (hBookmark == 0 || !t.GotoRecord(hBookmark))
      Throw(SDB_E_NO_SUCH_RECORD, "SdbGotoBookmark: the record " + std::to_string(hBookmark) +
                                      " of " + t.name + " does not exist.");
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCompareBookmarks(const uint8_t* pucBookmark1, const uint8_t* pucBookmark2,
                                        int32_t* plResult) {
  return Api([&] {
    Need(pucBookmark1, "first bookmark");
    Need(pucBookmark2, "second bookmark");
    auto number = [](const uint8_t* b) {
      return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    };
    uint32_t a = number(pucBookmark1), b = number(pucBookmark2);
    *Need(plResult, "result") = a < b ? -1 : a > b ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbIsRecordVisible(SDBHANDLE hObj, uint16_t* pbVisible) {
  return Api([&] {
    Need(pbVisible, "answer");
    *pbVisible = Shown(Lookup(hObj), Nav(hObj, "SdbIsRecordVisible")) ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbIsRecordDeleted(SDBHANDLE hTable, uint16_t* pbDeleted) {
  return Api([&] {
    Need(pbDeleted, "answer");
    Table& t = Nav(hTable, "SdbIsRecordDeleted");
    if (t.bof || t.eof)
      Throw(SDB_E_NO_CURRENT_RECORD,
            "SdbIsRecordDeleted: there is no current record in " + t.name + ".");
    *pbDeleted = t.deleted ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetDeleted(uint16_t* pbShowDeleted) {
  return Api([&] { return PutBool(false, pbShowDeleted, "answer"); });
}

extern "C" uint32_t SdbFetchRecord(SDBHANDLE hMove, SDBHANDLE hTable, int32_t lSkip,
                                   uint16_t usEnds, uint8_t* pucRec, uint32_t* pulRecLen,
                                   uint8_t* pucBookmark, uint32_t* pulBookmarkLen,
                                   uint16_t* pusFetched) {
  // The steps of the calls this one stands for, in their order and with
  // their texts, so that a failure reads as that call's failure. Each handle
  // is resolved once, by the first step that uses it; every step aims the
  // cursor at its handle's order as its call does.
  return Api([&] {
    *Need(pusFetched, "answer") = SDB_FETCH_HIDDEN;
    Object* move = nullptr;
    Object* table = nullptr;
    auto nav = [&](Object*& o, SDBHANDLE h, const char* call) -> Table& {
      if (!o) {
        // Without an index the dataset moves the table handle itself.
        Object* known = h == hMove ? move : h == hTable ? table : nullptr;
        o = known ? known : Resolve(h, {Kind::Table, Kind::Cursor, Kind::Index}, call);
      }
      return AimCursor(*o);
    };
    if (lSkip != 0) nav(move, hMove, "SdbSkip").Skip(lSkip);
    if ((usEnds & SDB_FETCH_AT_EOF) && nav(table, hTable, "SdbAtEOF").eof) {
      *pusFetched = SDB_FETCH_EOF;
      return SDB_SUCCESS;
    }
    if ((usEnds & SDB_FETCH_AT_BOF) && nav(table, hTable, "SdbAtBOF").bof) {
      *pusFetched = SDB_FETCH_BOF;
      return SDB_SUCCESS;
    }
    // No current record counts as a record not shown, its error kept as the
    // last one.
    bool shown = false;
    Table* cursor = nullptr;
    uint32_t rc = Api([&] {
      cursor = &nav(move, hMove, "SdbIsRecordVisible");
      shown = Shown(move, *cursor);
      return SDB_SUCCESS;
    });
    if (rc == SDB_E_NO_CURRENT_RECORD || (rc == SDB_SUCCESS && !shown)) return SDB_SUCCESS;
    if (rc != SDB_SUCCESS) return rc;
    Object* known = table ? table : hTable == hMove ? move : nullptr;
    Table& t = known && known->kind != Kind::Index ? static_cast<Table&>(*known)
                                                   : TableOrCursor(hTable, "SdbGetRecord");
    if (&t == cursor && !t.pending.active) {
      // The record just shown, through the handle the cursor is aimed at:
      // current and fresh, nothing pending.
      rc = PutBytes(t.image.data(), t.RecordLength(), pucRec, pulRecLen);
      if (rc != SDB_SUCCESS) return rc;
      rc = PutBookmarkBytes(t.recno, pucBookmark, pulBookmarkLen);
    } else {
      rc = PutBytes(t.ReadImage("SdbGetRecord"), t.RecordLength(), pucRec, pulRecLen);
      if (rc != SDB_SUCCESS) return rc;
      rc = PutBookmark60(AimCursor(*move), pucBookmark, pulBookmarkLen);
    }
    if (rc != SDB_SUCCESS) return rc;
    *pusFetched = SDB_FETCH_RECORD;
    return SDB_SUCCESS;
  });
}
