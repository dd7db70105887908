// Indexes, keys, scopes and filters: the calls of the index part of the
// engine. Until that part is built they answer SDB_E_NOT_SUPPORTED with a
// text that says so; tables then list no indexes and have no filter.
#include "sdbengineInt.h"

using namespace sdbe;

namespace {

uint32_t NotYet(const char* call) {
  return SetError(SDB_E_NOT_SUPPORTED, std::string(call) +
                                           ": indexes, keys, scopes and filters are not "
                                           "supported by this engine yet.");
}

Table& Tab(SDBHANDLE h, const char* call) {
  return As<Table>(h, {Kind::Table, Kind::Cursor}, call);
}

}  // namespace

extern "C" uint32_t SdbGetIndexHandle(SDBHANDLE /*hTable*/, const char* /*pucName*/,
                                      SDBHANDLE* /*phIndex*/) {
  return Api([&] { return NotYet("SdbGetIndexHandle"); });
}

extern "C" uint32_t SdbGetIndexName(SDBHANDLE /*hIndex*/, char* /*pucName*/,
                                    uint16_t* /*pusBufLen*/) {
  return Api([&] { return NotYet("SdbGetIndexName"); });
}

extern "C" uint32_t SdbGetIndexFilename(SDBHANDLE /*hIndex*/, uint16_t /*usOption*/,
                                        char* /*pucName*/, uint16_t* /*pusBufLen*/) {
  return Api([&] { return NotYet("SdbGetIndexFilename"); });
}

extern "C" uint32_t SdbOpenIndex(SDBHANDLE /*hTable*/, const char* /*pucName*/,
                                 SDBHANDLE* /*ahIndex*/, uint16_t* /*pusArrayLen*/) {
  return Api([&] { return NotYet("SdbOpenIndex"); });
}

extern "C" uint32_t SdbCloseIndex(SDBHANDLE /*hIndex*/) {
  return Api([&] { return NotYet("SdbCloseIndex"); });
}

extern "C" uint32_t SdbGetNumSegments(SDBHANDLE /*hIndex*/, uint16_t* /*pusSegments*/) {
  return Api([&] { return NotYet("SdbGetNumSegments"); });
}

extern "C" uint32_t SdbGetSegmentFieldname(SDBHANDLE /*hIndex*/, uint16_t /*usSegmentNum*/,
                                           char* /*pucName*/, uint16_t* /*pusBufLen*/) {
  return Api([&] { return NotYet("SdbGetSegmentFieldname"); });
}

extern "C" uint32_t SdbIsIndexDescending(SDBHANDLE /*hIndex*/, uint16_t* /*pbDescending*/) {
  return Api([&] { return NotYet("SdbIsIndexDescending"); });
}

extern "C" uint32_t SdbIsIndexUnique(SDBHANDLE /*hIndex*/, uint16_t* /*pbUnique*/) {
  return Api([&] { return NotYet("SdbIsIndexUnique"); });
}

extern "C" uint32_t SdbIsIndexCandidate(SDBHANDLE /*hIndex*/, uint16_t* /*pbCandidate*/) {
  return Api([&] { return NotYet("SdbIsIndexCandidate"); });
}

extern "C" uint32_t SdbIsIndexPrimaryKey(SDBHANDLE /*hIndex*/, uint16_t* /*pbPrimaryKey*/) {
  return Api([&] { return NotYet("SdbIsIndexPrimaryKey"); });
}

extern "C" uint32_t SdbGetIndexFlags(SDBHANDLE /*hIndex*/, uint32_t* /*pulFlags*/) {
  return Api([&] { return NotYet("SdbGetIndexFlags"); });
}

extern "C" uint32_t SdbGetIndexCondition(SDBHANDLE /*hIndex*/, char* /*pucCondition*/,
                                         uint16_t* /*pusBufLen*/) {
  return Api([&] { return NotYet("SdbGetIndexCondition"); });
}

extern "C" uint32_t SdbGetIndexPageSize(SDBHANDLE /*hIndex*/, uint32_t* /*pulPageSize*/) {
  return Api([&] { return NotYet("SdbGetIndexPageSize"); });
}

extern "C" uint32_t SdbGetKeyLength(SDBHANDLE /*hIndex*/, uint16_t* /*pusKeyLength*/) {
  return Api([&] { return NotYet("SdbGetKeyLength"); });
}

extern "C" uint32_t SdbGetKeyNum(SDBHANDLE /*hIndex*/, uint16_t /*usFilterOption*/,
                                 uint32_t* /*pulKey*/) {
  return Api([&] { return NotYet("SdbGetKeyNum"); });
}

extern "C" uint32_t SdbGetRelKeyPos(SDBHANDLE /*hIndex*/, double* /*pdPos*/) {
  return Api([&] { return NotYet("SdbGetRelKeyPos"); });
}

extern "C" uint32_t SdbSetRelKeyPos(SDBHANDLE /*hIndex*/, double /*dPos*/) {
  return Api([&] { return NotYet("SdbSetRelKeyPos"); });
}

extern "C" uint32_t SdbInitRawKey(SDBHANDLE /*hIndex*/) {
  return Api([&] { return NotYet("SdbInitRawKey"); });
}

extern "C" uint32_t SdbBuildRawKey(SDBHANDLE /*hIndex*/, uint8_t* /*pucKey*/,
                                   uint16_t* /*pusKeyLen*/) {
  return Api([&] { return NotYet("SdbBuildRawKey"); });
}

extern "C" uint32_t SdbBuildRawKey100(SDBHANDLE /*hIndex*/, uint8_t* /*pucKey*/,
                                      uint16_t* /*pusKeyLen*/, uint32_t /*ulOptions*/) {
  return Api([&] { return NotYet("SdbBuildRawKey100"); });
}

extern "C" uint32_t SdbBuildKeyFromRecord(SDBHANDLE /*hIndex*/, const uint8_t* /*pucRecBuffer*/,
                                          uint32_t /*ulRecLen*/, uint8_t* /*pucKey*/,
                                          uint16_t* /*pusKeyLen*/) {
  return Api([&] { return NotYet("SdbBuildKeyFromRecord"); });
}

extern "C" uint32_t SdbStepIndexKey(SDBHANDLE /*hIndex*/, uint8_t* /*pucKey*/,
                                    uint16_t /*usKeyLen*/, int16_t /*sDirection*/) {
  return Api([&] { return NotYet("SdbStepIndexKey"); });
}

extern "C" uint32_t SdbSeek(SDBHANDLE /*hIndex*/, const uint8_t* /*pucKey*/, uint16_t /*usKeyLen*/,
                            uint16_t /*usDataType*/, uint16_t /*usSeekType*/,
                            uint16_t* /*pbFound*/) {
  return Api([&] { return NotYet("SdbSeek"); });
}

extern "C" uint32_t SdbSetScope(SDBHANDLE /*hIndex*/, uint16_t /*usScopeOption*/,
                                const uint8_t* /*pucScope*/, uint16_t /*usScopeLen*/,
                                uint16_t /*usDataType*/) {
  return Api([&] { return NotYet("SdbSetScope"); });
}

extern "C" uint32_t SdbClearScope(SDBHANDLE /*hIndex*/, uint16_t /*usScopeOption*/) {
  return Api([&] { return NotYet("SdbClearScope"); });
}

extern "C" uint32_t SdbGetScope(SDBHANDLE /*hIndex*/, uint16_t /*usScopeOption*/,
                                uint8_t* /*pucScope*/, uint16_t* /*pusBufLen*/) {
  return Api([&] { return NotYet("SdbGetScope"); });
}

extern "C" uint32_t SdbSetAOF100(SDBHANDLE /*hTable*/, const void* /*pvFilter*/,
                                 uint32_t /*ulOptions*/) {
  return Api([&] { return NotYet("SdbSetAOF100"); });
}

extern "C" uint32_t SdbSetFilter100(SDBHANDLE /*hTable*/, const void* /*pvFilter*/,
                                    uint32_t /*ulOptions*/) {
  return Api([&] { return NotYet("SdbSetFilter100"); });
}

extern "C" uint32_t SdbGetAOF(SDBHANDLE /*hTable*/, char* /*pucFilter*/, uint16_t* /*pusLen*/) {
  return Api([&] { return NotYet("SdbGetAOF"); });
}

extern "C" uint32_t SdbGetFilter(SDBHANDLE /*hTable*/, char* /*pucFilter*/, uint16_t* /*pusLen*/) {
  return Api([&] { return NotYet("SdbGetFilter"); });
}

extern "C" uint32_t SdbEvalLogicalExpr(SDBHANDLE /*hTable*/, const char* /*pucExpr*/,
                                       uint16_t* /*pbResult*/) {
  return Api([&] { return NotYet("SdbEvalLogicalExpr"); });
}

extern "C" uint32_t SdbExpressionLongToShort90(SDBHANDLE /*hTable*/, const char* /*pucLongExpr*/,
                                               char* /*pucShortExpr*/, uint32_t* /*pulBufferLen*/) {
  return Api([&] { return NotYet("SdbExpressionLongToShort90"); });
}

extern "C" uint32_t SdbExpressionShortToLong90(SDBHANDLE /*hTable*/, const char* /*pucShortExpr*/,
                                               char* /*pucLongExpr*/, uint32_t* /*pulBufferLen*/) {
  return Api([&] { return NotYet("SdbExpressionShortToLong90"); });
}

extern "C" uint32_t SdbGetNumIndexes(SDBHANDLE hTable, uint16_t* pusNum) {
  return Api([&] {
    Tab(hTable, "SdbGetNumIndexes");
    *Need(pusNum, "count") = 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetAllIndexes(SDBHANDLE hTable, SDBHANDLE* /*ahIndex*/,
                                     uint16_t* pusArrayLen) {
  return Api([&] {
    Tab(hTable, "SdbGetAllIndexes");
    *Need(pusArrayLen, "array length") = 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbClearAllScopes(SDBHANDLE hTable) {
  return Api([&] {
    Tab(hTable, "SdbClearAllScopes");
    return SDB_SUCCESS;  // no scopes exist
  });
}

extern "C" uint32_t SdbClearAOF(SDBHANDLE hTable) {
  return Api([&] {
    Tab(hTable, "SdbClearAOF");
    return SetError(SDB_E_NO_FILTER, "SdbClearAOF: no optimized filter is set.");
  });
}

extern "C" uint32_t SdbClearFilter(SDBHANDLE hTable) {
  return Api([&] {
    Tab(hTable, "SdbClearFilter");
    return SetError(SDB_E_NO_FILTER, "SdbClearFilter: no filter is set.");
  });
}

extern "C" uint32_t SdbSetExact22(SDBHANDLE hObj, uint16_t /*bExact*/) {
  return Api([&] {
    Tab(hObj, "SdbSetExact22");
    return NotYet("SdbSetExact22");
  });
}

extern "C" uint32_t SdbGetExact22(SDBHANDLE hObj, uint16_t* /*pbExact*/) {
  return Api([&] {
    Tab(hObj, "SdbGetExact22");
    return NotYet("SdbGetExact22");
  });
}
