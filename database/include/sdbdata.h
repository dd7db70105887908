// sdbdata: the dataset core of the database layer: ESDBDatabaseError and the
// result check every engine call passes through, then TSdbDataSet.
#pragma once

#include <cstdint>
#include <string>

#include "exceptions.h"
#include "sdbcnnct.h"

// ==== Database errors and the result check ====================================

/// The code the layer's own refusals carry ("Missing TableName property", ...).
constexpr uint32_t SDB_COMPONENT_ERROR = 5121;

/// An engine failure seen by a dataset (or by the layer without one), or one
/// of the layer's own refusals (code 5121). The message is the engine's or
/// the component's text, after "<dataset Name>: " when a named dataset is
/// given.
///
/// While one is being built on a thread (the thread's composing flag), the
/// result check lets engine failures pass silently and a second error built
/// meanwhile stays empty, so that composing one error never raises another.
class ESDBDatabaseError : public EDatabaseError {
 public:
  /// `dataSet` may be nullptr. For codes 5147-5149 ColumnName is the text
  /// after `column "` up to the next double quote; SQLErrorCode is read from
  /// "ERROR 7200:" ... "NATIVEERROR = n;" (any letter case).
  ESDBDatabaseError(TSdbDataSetInterface* dataSet, const std::string& message, uint32_t errorCode);
  ESDBDatabaseError(const ESDBDatabaseError&) = default;
  /// Clears the calling thread's composing flag (an error built while
  /// another was being composed leaves it to that one).
  ~ESDBDatabaseError() override;

  uint32_t EngineErrorCode() const { return ulEngineError; }
  int32_t SQLErrorCode() const { return ulSQLErrorCode; }
  const std::string& DataSetInstanceName() const { return strDataSetInstanceName; }
  const std::string& DataSetInstanceOwner() const { return strDataSetInstanceOwner; }
  const std::string& DatabaseName() const { return strDatabaseName; }
  const std::string& DatabasePath() const { return strDatabasePath; }
  const std::string& TableName() const { return strTableName; }
  const std::string& ColumnName() const { return strColumnName; }

 private:
  uint32_t ulEngineError = 0;
  int32_t ulSQLErrorCode = 0;
  std::string strDataSetInstanceName;
  std::string strDataSetInstanceOwner;
  std::string strDatabaseName;
  std::string strDatabasePath;
  std::string strTableName;
  std::string strColumnName;
  bool mbNested = false;  // built while another error was composed
};

/// The result check. 0 returns; while the calling thread composes an error
/// every result returns; otherwise the engine's last error (code and text,
/// read into 600 bytes) is raised as ESDBDatabaseError for `dataSet` (may be
/// nullptr). When the engine reports code 0, the checked result is kept.
void SdbCheck(TSdbDataSetInterface* dataSet, uint32_t result);

/// The calling thread's composing flag (tests and diagnostics).
bool SdbComposingError();

/// The engine's last error of the calling thread, read as the result check
/// reads it: `code` (0 when the engine has none) and the text (at most 600
/// bytes; cut when longer).
std::string SdbLastErrorText(uint32_t& code);

// ==== end of database errors ====================================================
