// Stand-alone statements of a connection: Execute, the statement cache and
// its hash, parameter binding and the application id.
#include <cmath>
#include <cstring>

#include "fields.h"
#include "sdbcnnct.h"
#include "sdbdata.h"
#include "sdbengine.h"

namespace {

// The day count of 1899-12-30 as the engine's julian day number.
constexpr int32_t kJulianOffset = 2415019;
constexpr int64_t kMsPerDay = 86400000;

// Whole days (by floor, so a date before 1899-12-30 with a time part keeps a
// positive fraction) and the rounded milliseconds of the day; a rounding
// that reaches a whole day carries into the next.
void SplitDateTime(double value, int32_t& days, int32_t& milliseconds) {
  double whole = std::floor(value);
  int64_t ms = std::llround((value - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {
    whole += 1;
    ms -= kMsPerDay;
  }
  days = static_cast<int32_t>(whole);
  milliseconds = static_cast<int32_t>(ms);
}

void CloseQuietly(uint32_t statement) {
  SdbCloseSQLStatement(statement);
}

}  // namespace

int32_t SdbStatementHash(const std::u16string& text) {
  // Unsigned arithmetic gives the 32-bit wrap-around.
  uint32_t hash = 0;
  const size_t length = text.size();
  if (length < 16) {
    for (size_t i = 1; i < length; ++i) hash = hash * 37u + text[i];
    hash = hash * 37u;  // the terminating zero
  } else {
    const size_t step = length / 8;
    for (size_t k = 0; k * step <= length - 1; ++k) {
      size_t position = 1 + k * step;
      uint32_t unit = position < length ? text[position] : 0;  // length: the terminating zero
      hash = hash * 39u + unit;
    }
  }
  return static_cast<int32_t>(hash);
}

int32_t TSdbConnection::Execute(const std::string& sql, TParams* params, uint32_t* cursor,
                                bool cache) {
  return ExecuteStatement(nullptr, sql, params, cursor, cache);
}

int32_t TSdbConnection::Execute(const TSdbStatementOptions& options, const std::string& sql,
                                uint32_t* cursor, bool cache, TParams* params) {
  return ExecuteStatement(&options, sql, params, cursor, cache);
}

int32_t TSdbConnection::ExecuteStatement(const TSdbStatementOptions* options,
                                         const std::string& sql, TParams* params, uint32_t* cursor,
                                         bool cache) {
  if (!FConnected) Connect();
  const std::u16string text = Utf8ToUtf16(sql);
  uint32_t statement = 0;
  int32_t hash = 0;
  if (cache) {
    if (!FStmtList) FStmtList = std::make_unique<std::vector<TStmtInfo>>();
    hash = SdbStatementHash(text);
    // The texts must be equal exactly: two texts that differ only in letter
    // case (a quoted value) can hash alike, and the first one's prepared
    // statement would write the wrong value.
    for (const TStmtInfo& entry : *FStmtList)
      if (entry.HashCode == hash && entry.SQLText == sql) {
        statement = entry.StmtHandle;
        break;
      }
  }
  if (!statement) {
    SdbCheck(nullptr, SdbCreateSQLStatement(FhConnection, &statement));
    try {
      if (cursor) SdbCheck(nullptr, SdbStmtSetTableReadOnly(statement, 1));
      if (!options) {
        if (!FSdbCollation.empty())
          SdbCheck(nullptr, SdbStmtSetTableCollation(statement, FSdbCollation.c_str()));
      } else {
        SdbCheck(nullptr, SdbStmtSetTableType(statement, options->TableType));
        SdbCheck(nullptr, SdbStmtSetTableCharType(statement, options->CharType));
        SdbCheck(nullptr, SdbStmtSetTableLockType(statement, options->LockType));
        SdbCheck(nullptr, SdbStmtSetTableRights(statement, options->RightsCheck));
        if (!options->Collation.empty())
          SdbCheck(nullptr, SdbStmtSetTableCollation(statement, options->Collation.c_str()));
      }
      SdbCheck(nullptr, SdbPrepareSQLW(statement, text.c_str()));
      // Only a prepared statement joins the cache.
      if (cache) FStmtList->push_back(TStmtInfo{hash, statement, sql});
    } catch (...) {
      CloseQuietly(statement);
      throw;
    }
  }
  try {
    uint32_t handle = 0;
    if (params && params->Count() > 0) {
      BindParams(statement, *params);
      SdbCheck(nullptr, SdbExecuteSQL(statement, cursor ? &handle : nullptr));
    } else {
      SdbCheck(nullptr, SdbExecuteSQLDirectW(statement, text.c_str(), cursor ? &handle : nullptr));
    }
    int32_t rows = 0;
    if (cursor) {
      *cursor = handle;
    } else {
      uint32_t count = 0;
      uint32_t rc = SdbGetRecordCount(statement, SDB_IGNOREFILTERS, &count);
      if (!options && rc == SDB_E_NO_ROW_COUNT)
        count = 0;
      else
        SdbCheck(nullptr, rc);
      rows = static_cast<int32_t>(count);
    }
    // A statement that handed back a cursor stays open with it (closing the
    // statement would close the cursor); the engine closes it at disconnect.
    if (!cache && !cursor) SdbCheck(nullptr, SdbCloseSQLStatement(statement));
    return rows;
  } catch (...) {
    if (!cache) CloseQuietly(statement);
    throw;
  }
}

void TSdbConnection::CloseCachedStatements() {
  if (!FStmtList) return;
  // Every entry is closed and freed; the first failure is raised at the end.
  std::exception_ptr first;
  for (const TStmtInfo& entry : *FStmtList) {
    try {
      SdbCheck(nullptr, SdbCloseSQLStatement(entry.StmtHandle));
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  FStmtList->clear();
  if (first) std::rethrow_exception(first);
}

namespace {

[[noreturn]] void RefuseParam(TSdbDataSetInterface* dataSet, const TParam* param,
                              const std::string& why) {
  throw ESDBDatabaseError(dataSet, "The field named: '" + param->Name() + "' " + why,
                          SDB_COMPONENT_ERROR);
}

}  // namespace

void SdbBindParams(TSdbDataSetInterface* dataSet, uint32_t statement, TParams& params) {
  auto refuse = [&](TParam* param, const std::string& why) { RefuseParam(dataSet, param, why); };
  // Whole days and milliseconds of a date-time; days whose julian number
  // leaves 32 bits cannot be sent.
  auto split = [&](TParam* param, int32_t& julian, int32_t& ms) {
    double value = param->AsDateTime();
    double days = std::floor(value);
    if (!(days >= double(INT32_MIN) - kJulianOffset && days <= double(INT32_MAX) - kJulianOffset))
      refuse(param, "has a value out of range.");
    int32_t whole;
    SplitDateTime(value, whole, ms);
    julian = whole + kJulianOffset;
  };
  for (int i = 0; i < params.Count(); ++i) {
    TParam* param = params[i];
    SDBFIELD number = SDB_FIELD(i + 1);
    if (param->IsNull()) {
      SdbCheck(dataSet, SdbSetEmpty(statement, number));
      continue;
    }
    switch (param->DataType()) {
      case ftUnknown:
        RefuseParam(dataSet, param, "has the DataType of ftUnknown, which is invalid.");
      case ftBoolean:
        SdbCheck(dataSet, SdbSetLogical(statement, number, param->AsBoolean() ? 1 : 0));
        break;
      case ftFloat:
      case ftCurrency:
        SdbCheck(dataSet, SdbSetDouble(statement, number, param->AsFloat()));
        break;
      case ftDate: {
        int32_t julian, ms;
        split(param, julian, ms);
        SdbCheck(dataSet, SdbSetJulian(statement, number, julian));
        break;
      }
      case ftTime: {
        int32_t julian, ms;
        split(param, julian, ms);
        SdbCheck(dataSet, SdbSetMilliseconds(statement, number, ms));
        break;
      }
      case ftDateTime:
      case ftTimeStamp: {
        int32_t julian, ms;
        split(param, julian, ms);
        uint8_t raw[8];
        std::memcpy(raw, &julian, 4);
        std::memcpy(raw + 4, &ms, 4);
        SdbCheck(dataSet, SdbSetTimeStampRaw(statement, number, raw, sizeof raw));
        break;
      }
      case ftBytes:
      case ftVarBytes:
      case ftBlob:
      case ftGraphic: {
        Variant::Bytes bytes = param->AsBytes();
        auto size = static_cast<uint32_t>(bytes.size());
        SdbCheck(dataSet,
                 SdbSetBinary(statement, number, SDB_MEMO_BINARY, size, 0, bytes.data(), size));
        break;
      }
      case ftWideString:
      case ftWideMemo: {
        std::u16string wide = Utf8ToUtf16(param->AsString());
        SdbCheck(dataSet, SdbSetStringW(statement, number, wide.c_str(),
                                        static_cast<uint32_t>(wide.size())));
        break;
      }
      // Text. ftFMTBcd joins ftBCD: the layer gives large numerics that type,
      // and leaving it unbound would run the statement without its value.
      case ftString:
      case ftSmallint:
      case ftInteger:
      case ftWord:
      case ftBCD:
      case ftFMTBcd:
      case ftAutoInc:
      case ftMemo:
      case ftFmtMemo:
      case ftFixedChar:
      case ftLargeint: {
        std::string value = param->AsString();
        SdbCheck(dataSet, SdbSetString(statement, number, value.c_str(),
                                       static_cast<uint32_t>(value.size())));
        break;
      }
      // Every other type would be left without a value: refused before the
      // statement runs rather than run with an empty value in its place.
      default:
        refuse(param, "has a DataType that is not supported.");
    }
  }
}

void TSdbConnection::BindParams(uint32_t statement, TParams& params) {
  SdbBindParams(nullptr, statement, params);
}

// ---- application id -------------------------------------------------------------------------

void TSdbConnection::ApplyApplicationID(const std::string& id) {
  FAppID = id;
  if (!FConnected) return;
  TParams params;
  TParam* param = params.CreateParam(ftString, "FAppID", ptInput);
  param->SetAsString(id);
  Execute("execute procedure sp_setapplicationid(:FAppID)", &params);
}

void TSdbConnection::SetApplicationID(const std::string& id) {
  if (id != FAppID) ApplyApplicationID(id);
}

std::string TSdbConnection::GetApplicationID() {
  if (!FConnected) return FAppID;
  uint32_t statement = 0;
  SdbCheck(nullptr, SdbCreateSQLStatement(FhConnection, &statement));
  // The statement (and its cursor with it) is closed however the read ends.
  struct Close {
    uint32_t statement;
    ~Close() { CloseQuietly(statement); }
  } close{statement};
  uint32_t cursor = 0;
  SdbCheck(nullptr,
           SdbExecuteSQLDirectW(statement, u"execute procedure sp_getapplicationid( )", &cursor));
  SdbCheck(nullptr, SdbGotoTop(cursor));
  char value[301] = {};
  uint32_t len = 301;
  SdbCheck(nullptr, SdbGetField(cursor, "ApplicationID", value, &len, SDB_RTRIM));
  return std::string(value, strnlen(value, sizeof value));
}
