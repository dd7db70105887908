// Record images and field values: reading the current (or pending) record.
#include <zlib.h>

#include "sdbengineInt.h"

namespace sdbengine {

const uint8_t* Table::ReadImage(const char* call) {
  if (pending.active) return pending.image.data();
  return Current(call);
}

std::optional<std::string> Table::BlobValue(int fieldIndex, const char* call) {
  if (pending.active) {
    auto it = pending.blobs.find(fieldIndex);
    if (it != pending.blobs.end()) return it->second;
    if (pending.append) return std::nullopt;
    return source->ReadBlob(pending.recno, fieldIndex);
  }
  Current(call);
  return source->ReadBlob(recno, fieldIndex);
}

}  // namespace sdbengine

using namespace sdbengine;

namespace {

bool IsFixedText(sdbstore::FieldType t) {
  return t == sdbstore::FieldType::String || t == sdbstore::FieldType::CIString ||
         t == sdbstore::FieldType::NChar;
}

template <class S>
void ApplyTrim(S& text, uint16_t option, size_t padTo, bool fixed) {
  using C = typename S::value_type;
  if (fixed && (option & SDB_RTRIM) == 0 && text.size() < padTo)
    text.append(padTo - text.size(), C(' '));
  if (option & SDB_RTRIM)
    while (!text.empty() && text.back() == C(' ')) text.pop_back();
  if (option & SDB_LTRIM) {
    size_t n = 0;
    while (n < text.size() && text[n] == C(' ')) ++n;
    text.erase(0, n);
  }
}

// The text of a field of the record being read.
std::string FieldText(Table& t, int i, uint16_t option, const char* call) {
  const FieldDef& f = t.Fields()[i];
  if (sdbstore::IsBlobType(f.type)) return t.BlobValue(i, call).value_or("");
  const uint8_t* image = t.ReadImage(call);
  std::string text;
  sdbstore::GetText(f, image, text, t.conn->DateFormat());
  ApplyTrim(text, option, f.imageLength,
            IsFixedText(f.type) && f.type != sdbstore::FieldType::NChar);
  return text;
}

}  // namespace

extern "C" uint32_t SdbGetRecord(SDBHANDLE hTable, uint8_t* pucRec, uint32_t* pulLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetRecord");
    const uint8_t* image = t.ReadImage("SdbGetRecord");
    return PutBytes(image, t.RecordLength(), pucRec, pulLen);
  });
}

extern "C" uint32_t SdbGetNullRecord(SDBHANDLE hTable, uint8_t* pucBuf, uint32_t* pulLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetNullRecord");
    std::vector<uint8_t> image(t.RecordLength());
    sdbstore::InitRecord(t.Fields(), image.data());
    return PutBytes(image.data(), image.size(), pucBuf, pulLen);
  });
}

extern "C" uint32_t SdbClearRecordBuffer(SDBHANDLE hTable, uint8_t* pucBuf, uint32_t ulLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbClearRecordBuffer");
    Need(pucBuf, "record buffer");
    if (ulLen < t.RecordLength())
      Throw(SDB_E_INSUFFICIENT_BUFFER, "SdbClearRecordBuffer: the buffer holds " +
                                           std::to_string(ulLen) + " bytes, the record " +
                                           std::to_string(t.RecordLength()) + ".");
    sdbstore::InitRecord(t.Fields(), pucBuf);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetField(SDBHANDLE hTable, SDBFIELD pucFldName, char* pucBuf,
                                uint32_t* pulLen, uint16_t usOption) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetField");
    int i = t.FieldIndex(pucFldName, "SdbGetField");
    return PutText32(FieldText(t, i, usOption, "SdbGetField"), pucBuf, pulLen);
  });
}

extern "C" uint32_t SdbGetFieldW(SDBHANDLE hTable, SDBFIELD pucFldName, char16_t* pwcBuf,
                                 uint32_t* pulLen, uint16_t usOption) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetFieldW");
    int i = t.FieldIndex(pucFldName, "SdbGetFieldW");
    const FieldDef& f = t.Fields()[i];
    std::u16string text;
    if (sdbstore::IsBlobType(f.type)) {
      text = sdbstore::Utf8ToUtf16(t.BlobValue(i, "SdbGetFieldW").value_or(""));
    } else {
      sdbstore::GetUtf16(f, t.ReadImage("SdbGetFieldW"), text, t.conn->DateFormat());
      size_t pad = f.type == sdbstore::FieldType::NChar ? f.length
                   : IsFixedText(f.type)                ? f.imageLength
                                                        : 0;
      ApplyTrim(text, usOption, pad, IsFixedText(f.type));
    }
    return PutTextW(text, pwcBuf, pulLen);
  });
}

extern "C" uint32_t SdbIsEmpty(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pbEmpty) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbIsEmpty");
    const FieldDef& f = t.Fields()[t.FieldIndex(pucFldName, "SdbIsEmpty")];
    return PutBool(sdbstore::IsEmpty(f, t.ReadImage("SdbIsEmpty")), pbEmpty, "answer");
  });
}

extern "C" uint32_t SdbIsNull(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pbNull) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbIsNull");
    const FieldDef& f = t.Fields()[t.FieldIndex(pucFldName, "SdbIsNull")];
    return PutBool(sdbstore::IsEmpty(f, t.ReadImage("SdbIsNull")), pbNull, "answer");
  });
}

extern "C" uint32_t SdbGetRecordCRC(SDBHANDLE hTable, uint32_t* pulCRC, uint32_t /*ulOption*/) {
  return Api([&] {
    Need(pulCRC, "checksum");
    Table& t = TableOrCursor(hTable, "SdbGetRecordCRC");
    t.Current("SdbGetRecordCRC");
    // Always the stored record: the checksum must see other users' writes.
    std::string data(t.RecordLength(), '\0');
    if (!t.source->Read(t.recno, reinterpret_cast<uint8_t*>(data.data()))) {
      t.deleted = true;
      Throw(SDB_E_NO_CURRENT_RECORD, "SdbGetRecordCRC: the current record " +
                                         std::to_string(t.recno) + " of " + t.name +
                                         " was deleted.");
    }
    const auto& fields = t.Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (!sdbstore::IsBlobType(fields[i].type)) continue;
      auto blob = t.source->ReadBlob(t.recno, static_cast<int>(i));
      data += blob ? "\1" + *blob : std::string("\0", 1);
    }
    *pulCRC = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetBinary(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t ulOffset,
                                 uint8_t* pucBuf, uint32_t* pulLen) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetBinary");
    int i = t.FieldIndex(pucFldName, "SdbGetBinary");
    Need(pulLen, "length");
    std::string value = FieldText(t, i, SDB_RTRIM, "SdbGetBinary");
    size_t from = std::min<size_t>(ulOffset, value.size());
    size_t n = std::min<size_t>(value.size() - from, pucBuf ? *pulLen : 0);
    if (n) std::memcpy(pucBuf, value.data() + from, n);
    *pulLen = static_cast<uint32_t>(n);  // a piece: as much as the room holds
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetBinaryLength(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t* pulLength) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetBinaryLength");
    int i = t.FieldIndex(pucFldName, "SdbGetBinaryLength");
    Need(pulLength, "length");
    *pulLength = static_cast<uint32_t>(FieldText(t, i, SDB_RTRIM, "SdbGetBinaryLength").size());
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetDataLength(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t /*ulOptions*/,
                                     uint32_t* pulLength) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetDataLength");
    int i = t.FieldIndex(pucFldName, "SdbGetDataLength");
    Need(pulLength, "length");
    const FieldDef& f = t.Fields()[i];
    if (f.type == sdbstore::FieldType::NMemo) {
      *pulLength = static_cast<uint32_t>(
          sdbstore::Utf8ToUtf16(t.BlobValue(i, "SdbGetDataLength").value_or("")).size());
    } else if (sdbstore::IsBlobType(f.type)) {
      *pulLength = static_cast<uint32_t>(t.BlobValue(i, "SdbGetDataLength").value_or("").size());
    } else {
      *pulLength = sdbstore::DataLength(f, t.ReadImage("SdbGetDataLength"));
    }
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetMemoDataType(SDBHANDLE hTable, SDBFIELD pucFldName,
                                       uint16_t* pusMemoType) {
  return Api([&] {
    Table& t = TableOrCursor(hTable, "SdbGetMemoDataType");
    const FieldDef& f = t.Fields()[t.FieldIndex(pucFldName, "SdbGetMemoDataType")];
    Need(pusMemoType, "memo type");
    if (!sdbstore::IsBlobType(f.type))
      Throw(SDB_E_INVALID_ARGUMENT,
            "SdbGetMemoDataType: " + f.name + " is not a memo or blob field.");
    *pusMemoType = f.type == sdbstore::FieldType::Binary || f.type == sdbstore::FieldType::Image
                       ? SDB_MEMO_BINARY
                       : SDB_MEMO_TEXT;
    return SDB_SUCCESS;
  });
}
