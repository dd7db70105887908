// Writing: appends, field setters (on tables, and as parameters of
// statements), writing, cancelling and deleting records, and record locks.
#include <functional>

#include "sdbengineIndex.h"
#include "sdbengineInt.h"

namespace sdbengine {
namespace {

// Characters of a UTF-8 text, as SQLite's length() counts them.
uint32_t Utf8Length(std::string_view s) {
  uint32_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

uint8_t* Table::EditImage(int fieldIndex, const char* call) {
  if (!pending.active) {
    CheckWritable(call, sdbstore::kRightUpdate);
    const uint8_t* current = Current(call);
    pending = Pending{};
    pending.active = true;
    pending.recno = recno;
    pending.image.assign(current, current + RecordLength());
    pending.changed.assign(Fields().size(), false);
  } else {
    CheckWritable(call, pending.append ? sdbstore::kRightInsert : sdbstore::kRightUpdate);
  }
  if (fieldIndex >= 0) pending.changed[fieldIndex] = true;
  return pending.image.data();
}

void Table::WritePending(const char* call) {
  if (!pending.active) return;
  bool anything = pending.append || !pending.blobs.empty();
  for (bool c : pending.changed) anything = anything || c;
  if (!anything) {  // nothing changed: nothing to store
    pending = Pending{};
    return;
  }
  const TableDef& d = *def;
  if (!pending.append && !Exclusive() && conn->Locks(*db).LockedByOther(d.id, pending.recno))
    Throw(SDB_E_RECORD_LOCKED,
          std::string(call) + ": " + sdbstore::LockConflictText(name, pending.recno));
  std::vector<uint8_t> stored(RecordLength());
  // The write and the read of what the triggers made of it are one transaction.
  bool own = !conn->InTransaction();
  if (own) db->Begin(true);
  try {
    if (pending.append) {
      db->InsertRecord(d, pending.recno, pending.image.data(), pending.blobs);
    } else if (!db->UpdateRecord(d, pending.recno, pending.image.data(), pending.changed,
                                 pending.blobs)) {
      Throw(SDB_E_NO_CURRENT_RECORD, std::string(call) + ": the record " +
                                         std::to_string(pending.recno) + " of " + name +
                                         " was deleted by another user.");
    }
    if (!db->ReadRecord(d, pending.recno, stored.data()))
      Throw(SDB_E_NO_CURRENT_RECORD, std::string(call) + ": the record " +
                                         std::to_string(pending.recno) + " of " + name +
                                         " vanished while it was written.");
    if (own) db->Commit();
  } catch (...) {
    if (own) {
      try {
        db->Rollback();
      } catch (...) {
      }
    }
    RethrowWriteFailure(*this, pending.recno, call);  // a duplicate key names its index
  }
  BumpWriteEpoch();
  if (pending.append && d.autoincField >= 0) {
    int64_t value = 0;
    if (sdbstore::GetInt64(d.fields[d.autoincField], stored.data(), value)) lastAutoinc = value;
  }
  recno = pending.recno;
  image = std::move(stored);
  bof = eof = deleted = false;
  imageEpoch = WriteEpoch();
  imageAtMs = NowMs();
  pending = Pending{};
  DropBatch();
}

void Table::CancelPending() {
  if (!pending.active) return;
  if (pending.append) {
    bof = pending.savedBof;
    eof = pending.savedEof;
    recno = pending.savedRecno;
    imageEpoch = 0;  // read again when next needed
  }
  pending = Pending{};
}

std::vector<size_t> Statement::ParamSlots(SDBFIELD field, const char* call) const {
  uintptr_t number = reinterpret_cast<uintptr_t>(field);
  if (!prepared)
    Throw(SDB_E_INVALID_ARGUMENT, std::string(call) + ": the statement has not been prepared.");
  if (number < 0x10000) {
    if (number == 0 || number > params.size())
      Throw(SDB_E_FIELD_NOT_FOUND, std::string(call) + ": there is no parameter " +
                                       std::to_string(number) + " (the statement has " +
                                       std::to_string(params.size()) + ").");
    return {number - 1};
  }
  std::string_view name = field;
  if (!name.empty() && name.front() == ':') name.remove_prefix(1);
  std::vector<size_t> slots;
  for (size_t i = 0; i < paramNames.size(); ++i)
    if (sdbstore::EqualNoCase(paramNames[i], name)) slots.push_back(i);
  if (slots.empty())
    Throw(SDB_E_FIELD_NOT_FOUND,
          std::string(call) + ": the statement has no parameter :" + std::string(name) + ".");
  return slots;
}

}  // namespace sdbengine

using namespace sdbengine;

namespace {

// A value as a setter call gives it, applied to a table field or bound to
// statement parameters.
struct Setter {
  // Writes a non-blob field; may throw a column error.
  std::function<void(const FieldDef&, uint8_t*, const std::string& dateFormat)> field;
  // The value of a blob-type field (nullopt: empty).
  std::function<std::optional<std::string>(const FieldDef&)> blob;
  // The parameter value.
  std::function<Param()> param;
};

uint32_t Set(SDBHANDLE h, SDBFIELD field, const char* call, const Setter& setter) {
  Object& object = *Resolve(h, {Kind::Table, Kind::Cursor, Kind::Statement, Kind::Index}, call);
  if (object.kind == Kind::Index) {  // a key value
    SetKeyField(object, field, call, setter.field, setter.blob);
    return SDB_SUCCESS;
  }
  if (object.kind == Kind::Statement) {
    Statement& s = static_cast<Statement&>(object);
    auto slots = s.ParamSlots(field, call);
    Param p = setter.param();
    for (size_t slot : slots) s.params[slot] = p;
    return SDB_SUCCESS;
  }
  Table& t = static_cast<Table&>(object);
  int i = t.FieldIndex(field, call);
  const FieldDef& f = t.Fields()[i];
  uint8_t* image = t.EditImage(-1, call);
  if (sdbstore::IsBlobType(f.type)) {
    std::optional<std::string> value = setter.blob(f);
    if (value && value->empty()) value.reset();
    if (value && f.maxLength && (f.type == sdbstore::FieldType::VarChar) &&
        Utf8Length(*value) > f.maxLength)
      Throw(SDB_E_VALUE_TOO_LONG, std::string(call) + ": the value is too long for column \"" +
                                      f.name + "\" (at most " + std::to_string(f.maxLength) +
                                      " characters).");
    uint32_t indicator = 0;
    if (value)
      indicator = f.type == sdbstore::FieldType::Binary || f.type == sdbstore::FieldType::Image
                      ? static_cast<uint32_t>(value->size())
                      : Utf8Length(*value);
    std::memcpy(image + f.offset, &indicator, 4);  // little-endian hosts only
    t.pending.blobs[i] = std::move(value);
  } else {
    setter.field(f, image, t.conn->DateFormat());
  }
  t.pending.changed[i] = true;
  return SDB_SUCCESS;
}

// The most bytes one value may have: SQLite's default limit for a text or
// blob (SQLITE_MAX_LENGTH).
constexpr uint64_t kMaxValueBytes = 1000000000;

// Refuses (SDB_E_VALUE_TOO_LONG) a binary value of `total` bytes that the
// field, or the statement parameter, cannot take.
void CheckBinaryRoom(Object& object, SDBFIELD field, uint64_t total) {
  const char* call = "SdbSetBinary";
  uint64_t room = kMaxValueBytes;
  std::string column;
  if (object.kind == Kind::Statement) {
    static_cast<Statement&>(object).ParamSlots(field, call);  // an unknown parameter fails here
    column = "parameter";
  } else {
    const Table& t = object.kind == Kind::Index ? static_cast<Index&>(object).table
                                                : static_cast<Table&>(object);
    const FieldDef& f = t.Fields()[t.FieldIndex(field, call)];
    column = "column \"" + f.name + "\"";
    using FT = sdbstore::FieldType;
    if (!sdbstore::IsBlobType(f.type)) {
      switch (f.type) {
        case FT::Raw:
        case FT::VarBinaryFox:
        case FT::String:
        case FT::CIString:
        case FT::VarCharFox:
        case FT::Numeric:
          room = f.imageLength;
          break;
        default:  // fixed binary forms: their image bytes, or with the length word
          room = std::max<uint64_t>(f.imageLength, f.slotLength);
      }
    }
  }
  if (total > room)
    Throw(SDB_E_VALUE_TOO_LONG, std::string(call) + ": the value is too long (" +
                                    std::to_string(total) + " where " + std::to_string(room) +
                                    " fit) for " + column + ".");
}

Param TextParam(std::string s) {
  Param p;
  p.type = Param::Text;
  // A timestamp or time given as text is bound in its stored form.
  p.s = sdbstore::CanonicalTimeText(s);
  return p;
}

std::string TimeText(int32_t ms) {
  if (ms < 0 || ms >= 86400000)
    Throw(SDB_E_VALUE_OUT_OF_RANGE, std::to_string(ms) + " milliseconds are not a time of day.");
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return text;
}

std::string DateText(int32_t julian) {
  int y, m, d;
  if (!sdbstore::YmdFromJulian(julian, y, m, d))
    Throw(SDB_E_VALUE_OUT_OF_RANGE,
          "The julian day " + std::to_string(julian) + " is outside the years 1 to 9999.");
  return sdbstore::FormatDate(julian, "CCYY-MM-DD");
}

std::string Bytes(const uint8_t* p, uint32_t n) {
  if (n && !p) Throw(SDB_E_INVALID_ARGUMENT, "Missing argument: value.");
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

extern "C" uint32_t SdbSetField(SDBHANDLE hObj, SDBFIELD pucFldName, const char* pucBuf,
                                uint32_t ulLen) {
  return Api([&] {
    std::string value = Bytes(reinterpret_cast<const uint8_t*>(pucBuf), ulLen);
    return Set(hObj, pucFldName, "SdbSetField",
               {[&](const FieldDef& f, uint8_t* img, const std::string& fmt) {
                  sdbstore::PutText(f, value, img, fmt);
                },
                [&](const FieldDef&) { return std::optional<std::string>(value); },
                [&] { return TextParam(value); }});
  });
}

extern "C" uint32_t SdbSetString(SDBHANDLE hObj, SDBFIELD pucFldName, const char* pucBuf,
                                 uint32_t ulLen) {
  return SdbSetField(hObj, pucFldName, pucBuf, ulLen);
}

extern "C" uint32_t SdbSetFieldW(SDBHANDLE hObj, SDBFIELD pucFldName, const char16_t* pwcBuf,
                                 uint32_t ulLen) {
  return Api([&] {
    if (ulLen && !pwcBuf) Throw(SDB_E_INVALID_ARGUMENT, "Missing argument: value.");
    std::u16string_view value(pwcBuf ? pwcBuf : u"", ulLen);
    return Set(
        hObj, pucFldName, "SdbSetFieldW",
        {[&](const FieldDef& f, uint8_t* img, const std::string& fmt) {
           sdbstore::PutUtf16(f, value, img, fmt);
         },
         [&](const FieldDef&) { return std::optional<std::string>(sdbstore::Utf16ToUtf8(value)); },
         [&] { return TextParam(sdbstore::Utf16ToUtf8(value)); }});
  });
}

extern "C" uint32_t SdbSetStringW(SDBHANDLE hObj, SDBFIELD pucFldName, const char16_t* pwcBuf,
                                  uint32_t ulLen) {
  return SdbSetFieldW(hObj, pucFldName, pwcBuf, ulLen);
}

extern "C" uint32_t SdbSetFieldRaw(SDBHANDLE hObj, SDBFIELD pucFldName, const uint8_t* pucBuf,
                                   uint32_t ulLen) {
  return Api([&] {
    std::string value = Bytes(pucBuf, ulLen);
    return Set(hObj, pucFldName, "SdbSetFieldRaw",
               {[&](const FieldDef& f, uint8_t* img, const std::string&) {
                  sdbstore::PutRaw(f, value.data(), value.size(), img);
                },
                [&](const FieldDef&) { return std::optional<std::string>(value); },
                [&] {
                  Param p;
                  p.type = Param::Blob;
                  p.s = value;
                  return p;
                }});
  });
}

namespace {
uint32_t SetEmptyValue(SDBHANDLE hObj, SDBFIELD field, const char* call) {
  return Set(
      hObj, field, call,
      {[](const FieldDef& f, uint8_t* img, const std::string&) { sdbstore::SetEmpty(f, img); },
       [](const FieldDef&) { return std::optional<std::string>(); },
       [] {
         Param p;
         p.type = Param::Null;
         return p;
       }});
}
}  // namespace

extern "C" uint32_t SdbSetEmpty(SDBHANDLE hObj, SDBFIELD pucFldName) {
  return Api([&] { return SetEmptyValue(hObj, pucFldName, "SdbSetEmpty"); });
}

extern "C" uint32_t SdbSetNull(SDBHANDLE hObj, SDBFIELD pucFldName) {
  return Api([&] { return SetEmptyValue(hObj, pucFldName, "SdbSetNull"); });
}

namespace {
[[noreturn]] void NotForBlob(const FieldDef& f, const char* call) {
  Throw(SDB_E_INVALID_ARGUMENT,
        std::string(call) + ": the blob field \"" + f.name + "\" takes text or bytes.");
}
}  // namespace

extern "C" uint32_t SdbSetLogical(SDBHANDLE hObj, SDBFIELD pucFldName, uint16_t bValue) {
  return Api([&] {
    return Set(
        hObj, pucFldName, "SdbSetLogical",
        {[&](const FieldDef& f, uint8_t* img, const std::string&) {
           sdbstore::PutLogical(f, bValue != 0, img);
         },
         [&](const FieldDef& f) -> std::optional<std::string> { NotForBlob(f, "SdbSetLogical"); },
         [&] {
           Param p;
           p.type = Param::Integer;
           p.i = bValue != 0;
           return p;
         }});
  });
}

extern "C" uint32_t SdbSetDouble(SDBHANDLE hObj, SDBFIELD pucFldName, double dValue) {
  return Api([&] {
    return Set(
        hObj, pucFldName, "SdbSetDouble",
        {[&](const FieldDef& f, uint8_t* img, const std::string&) {
           sdbstore::PutDouble(f, dValue, img);
         },
         [&](const FieldDef& f) -> std::optional<std::string> { NotForBlob(f, "SdbSetDouble"); },
         [&] {
           Param p;
           p.type = Param::Real;
           p.d = dValue;
           return p;
         }});
  });
}

extern "C" uint32_t SdbSetJulian(SDBHANDLE hObj, SDBFIELD pucFldName, int32_t lDate) {
  return Api([&] {
    return Set(
        hObj, pucFldName, "SdbSetJulian",
        {[&](const FieldDef& f, uint8_t* img, const std::string&) {
           sdbstore::PutJulian(f, lDate, img);
         },
         [&](const FieldDef& f) -> std::optional<std::string> { NotForBlob(f, "SdbSetJulian"); },
         [&] { return TextParam(DateText(lDate)); }});
  });
}

extern "C" uint32_t SdbSetMilliseconds(SDBHANDLE hObj, SDBFIELD pucFldName, int32_t lTime) {
  return Api([&] {
    return Set(hObj, pucFldName, "SdbSetMilliseconds",
               {[&](const FieldDef& f, uint8_t* img, const std::string&) {
                  sdbstore::PutMilliseconds(f, lTime, img);
                },
                [&](const FieldDef& f) -> std::optional<std::string> {
                  NotForBlob(f, "SdbSetMilliseconds");
                },
                [&] { return TextParam(TimeText(lTime)); }});
  });
}

extern "C" uint32_t SdbSetTimeStampRaw(SDBHANDLE hObj, SDBFIELD pucFldName, const uint8_t* pucBuf,
                                       uint32_t ulLen) {
  return Api([&] {
    Need(pucBuf, "time stamp");
    if (ulLen != 8)
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbSetTimeStampRaw: a time stamp is 8 bytes, not " + std::to_string(ulLen) + ".");
    int32_t julian, ms;
    std::memcpy(&julian, pucBuf, 4);
    std::memcpy(&ms, pucBuf + 4, 4);
    return Set(hObj, pucFldName, "SdbSetTimeStampRaw",
               {[&](const FieldDef& f, uint8_t* img, const std::string&) {
                  sdbstore::PutTimeStamp(f, julian, ms, img);
                },
                [&](const FieldDef& f) -> std::optional<std::string> {
                  NotForBlob(f, "SdbSetTimeStampRaw");
                },
                [&] { return TextParam(DateText(julian) + " " + TimeText(ms)); }});
  });
}

extern "C" uint32_t SdbSetBinary(SDBHANDLE hObj, SDBFIELD pucFldName, uint16_t /*usBinaryType*/,
                                 uint32_t ulTotalLength, uint32_t ulOffset, const uint8_t* pucBuf,
                                 uint32_t ulLen) {
  return Api([&] {
    if (uint64_t(ulOffset) + ulLen > ulTotalLength)
      Throw(SDB_E_INVALID_ARGUMENT, "SdbSetBinary: the piece ends past the total length.");
    // The stated total is checked against what the target can hold before
    // anything of that size is allocated: a huge total on a small field must
    // be refused, not zero-filled first.
    CheckBinaryRoom(
        *Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Statement, Kind::Index}, "SdbSetBinary"),
        pucFldName, ulTotalLength);
    std::string piece = Bytes(pucBuf, ulLen);
    // A value in pieces: the first piece (offset 0) starts it, later ones fill in.
    auto assemble = [&](std::string value) {
      if (ulOffset == 0 || value.size() != ulTotalLength) value.assign(ulTotalLength, '\0');
      value.replace(ulOffset, piece.size(), piece);
      return value;
    };
    Object& object = *Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Statement}, "SdbSetBinary");
    std::string previous;
    if (object.kind == Kind::Statement) {
      Statement& s = static_cast<Statement&>(object);
      for (size_t slot : s.ParamSlots(pucFldName, "SdbSetBinary"))
        if (s.params[slot].type == Param::Blob) previous = s.params[slot].s;
    } else if (ulOffset != 0) {
      Table& t = static_cast<Table&>(object);
      int i = t.FieldIndex(pucFldName, "SdbSetBinary");
      const FieldDef& f = t.Fields()[i];
      if (t.pending.active && sdbstore::IsBlobType(f.type)) {
        auto it = t.pending.blobs.find(i);
        if (it != t.pending.blobs.end() && it->second) previous = *it->second;
      } else if (t.pending.active && t.pending.changed[i] && ulTotalLength <= f.imageLength) {
        // A field kept in the record image holds the pieces written so far
        // at its start (the rest is padding).
        previous.assign(reinterpret_cast<const char*>(t.pending.image.data() + f.offset),
                        ulTotalLength);
      }
    }
    std::string value = assemble(previous);
    return Set(hObj, pucFldName, "SdbSetBinary",
               {[&](const FieldDef& f, uint8_t* img, const std::string&) {
                  sdbstore::PutRaw(f, value.data(), value.size(), img);
                },
                [&](const FieldDef&) { return std::optional<std::string>(value); },
                [&] {
                  Param p;
                  p.type = Param::Blob;
                  p.s = value;
                  return p;
                }});
  });
}

extern "C" uint32_t SdbAppendRecord(SDBHANDLE hTable) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbAppendRecord");
    t.CheckWritable("SdbAppendRecord", sdbstore::kRightInsert);
    if (t.pending.active) t.WritePending("SdbAppendRecord");
    Table::Pending p;
    p.savedBof = t.bof;
    p.savedEof = t.eof;
    p.savedRecno = t.recno;
    p.recno = t.db->ReserveRecordNumber(*t.def);
    // Record numbers are 32-bit in bookmarks, record-number answers and lock
    // offsets; a larger one would read as another record (or as the table's
    // own lock), so the table is full.
    if (p.recno > int64_t(UINT32_MAX))
      Throw(SDB_E_VALUE_OUT_OF_RANGE, "SdbAppendRecord: the table " + t.name +
                                          " has used up its record numbers (at most " +
                                          std::to_string(UINT32_MAX) + "); no record is added.");
    p.image.assign(t.RecordLength(), 0);
    sdbstore::InitRecord(t.Fields(), p.image.data());
    if (t.def->autoincField >= 0)
      sdbstore::PutInt64(t.def->fields[t.def->autoincField], p.recno, p.image.data());
    p.changed.assign(t.Fields().size(), false);
    p.active = p.append = true;
    t.pending = std::move(p);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbWriteRecord(SDBHANDLE hTable) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbWriteRecord");
    if (t.pending.active) t.WritePending("SdbWriteRecord");
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCancelUpdate(SDBHANDLE hTable) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbCancelUpdate");
    if (t.pending.active) {
      t.CancelPending();
      return SDB_SUCCESS;
    }
    if (!t.OnRecord())
      Throw(SDB_E_NO_CURRENT_RECORD,
            "SdbCancelUpdate: there is no current record in " + t.name + ".");
    Throw(SDB_E_NO_PENDING_UPDATE, "SdbCancelUpdate: no update of " + t.name + " is pending.");
  });
}

extern "C" uint32_t SdbRefreshRecord(SDBHANDLE hTable) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbRefreshRecord");
    t.CancelPending();
    t.DropBatch();
    if (t.bof || t.eof)
      Throw(SDB_E_NO_CURRENT_RECORD,
            "SdbRefreshRecord: there is no current record in " + t.name + ".");
    if (!t.Reread())
      Throw(SDB_E_NO_CURRENT_RECORD, "SdbRefreshRecord: the record " + std::to_string(t.recno) +
                                         " of " + t.name + " was deleted.");
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbDeleteRecord(SDBHANDLE hTable) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbDeleteRecord");
    t.CheckWritable("SdbDeleteRecord", sdbstore::kRightDelete);
    if (t.pending.active && t.pending.append) {  // never stored: nothing to delete
      t.CancelPending();
      return SDB_SUCCESS;
    }
    t.pending = Table::Pending{};
    t.Current("SdbDeleteRecord");
    if (!t.Exclusive() && t.conn->Locks(*t.db).LockedByOther(t.def->id, t.recno))
      Throw(SDB_E_RECORD_LOCKED, "SdbDeleteRecord: " + sdbstore::LockConflictText(t.name, t.recno));
    bool gone = !t.db->DeleteRecord(*t.def, t.recno);
    BumpWriteEpoch();
    t.deleted = true;
    t.DropBatch();
    if (gone)
      Throw(SDB_E_NO_CURRENT_RECORD, "SdbDeleteRecord: the record " + std::to_string(t.recno) +
                                         " of " + t.name + " was already deleted.");
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetLastAutoinc(SDBHANDLE hObj, uint32_t* pulAutoIncVal) {
  return Api([&] {
    Need(pulAutoIncVal, "value");
    Object& object =
        *Resolve(hObj, {Kind::Table, Kind::Cursor, Kind::Statement}, "SdbGetLastAutoinc");
    int64_t value = object.kind == Kind::Statement ? static_cast<Statement&>(object).lastAutoinc
                                                   : static_cast<Table&>(object).lastAutoinc;
    *pulAutoIncVal = static_cast<uint32_t>(value);
    return SDB_SUCCESS;
  });
}

namespace {
int64_t LockTarget(Table& t, uint32_t rec, const char* call) {
  if (t.IsStaticCursor())
    Throw(SDB_E_STATIC_CURSOR,
          std::string(call) + ": the SQL cursor is static; its rows cannot be locked.");
  if (rec != 0) return rec;
  if (t.pending.active && t.pending.append) return t.pending.recno;
  t.Current(call);
  return t.recno;
}
}  // namespace

extern "C" uint32_t SdbLockRecord(SDBHANDLE hTable, uint32_t ulRec) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbLockRecord");
    int64_t rec = LockTarget(t, ulRec, "SdbLockRecord");
    if (t.Exclusive()) return SDB_SUCCESS;
    if (ulRec != 0) {
      std::vector<uint8_t> probe(t.RecordLength());
      if (!t.source->Read(rec, probe.data()))
        Throw(SDB_E_NO_SUCH_RECORD,
              "SdbLockRecord: there is no record " + std::to_string(rec) + " in " + t.name + ".");
    }
    if (!t.conn->Locks(*t.db).LockRecord(t.def->id, rec))
      Throw(SDB_E_RECORD_LOCKED, "SdbLockRecord: " + sdbstore::LockConflictText(t.name, rec));
    t.heldLocks.insert(rec);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbUnlockRecord(SDBHANDLE hTable, uint32_t ulRec) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbUnlockRecord");
    int64_t rec = LockTarget(t, ulRec, "SdbUnlockRecord");
    if (t.Exclusive()) return SDB_SUCCESS;
    if (t.heldLocks.count(rec)) ReleaseRecordLock(t, rec);
    return SDB_SUCCESS;
  });
}
