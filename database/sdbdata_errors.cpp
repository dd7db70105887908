// ESDBDatabaseError, the result check and the per-thread composing flag.
#include <algorithm>
#include <cstring>

#include "sdbdata.h"
#include "sdbengine.h"
#include "sysutils.h"

namespace {

// True while an ESDBDatabaseError is being built on this thread.
thread_local bool tlsComposing = false;

// Room the result check reads the engine's text into.
constexpr uint16_t kErrorTextRoom = 600;

}  // namespace

bool SdbComposingError() {
  return tlsComposing;
}

std::string SdbLastErrorText(uint32_t& code) {
  char text[kErrorTextRoom] = {};
  uint16_t len = kErrorTextRoom;
  code = 0;
  uint32_t rc = SdbGetLastError(&code, text, &len);
  // A text longer than the room comes back cut (5005): what fits is still
  // the message, better than none.
  if (rc != SDB_SUCCESS && rc != SDB_E_INSUFFICIENT_BUFFER) {
    code = 0;
    return std::string();
  }
  return std::string(text, strnlen(text, kErrorTextRoom));
}

void SdbCheck(TSdbDataSetInterface* dataSet, uint32_t result) {
  if (result == SDB_SUCCESS) return;
  if (tlsComposing) return;
  uint32_t code = 0;
  std::string message = SdbLastErrorText(code);
  // An engine that reports no error keeps the result being checked, so that
  // no exception carries code 0.
  if (code == 0) code = result;
  throw ESDBDatabaseError(dataSet, message, code);
}

ESDBDatabaseError::ESDBDatabaseError(TSdbDataSetInterface* dataSet, const std::string& message,
                                     uint32_t errorCode)
    : EDatabaseError(message) {
  if (tlsComposing) {
    // Built while another error is composed: it stays empty, and its end
    // must not end the other's composition (see the destructor).
    SetMessage(std::string());
    mbNested = true;
    return;
  }
  tlsComposing = true;
  // Whatever escapes below, the flag never stays set.
  struct Clear {
    ~Clear() { tlsComposing = false; }
  } clear;
  ulEngineError = errorCode;
  try {
    if (dataSet) {
      if (TComponent* component = dataSet->DataSetComponent()) {
        strDataSetInstanceName = component->Name();
        if (component->Owner()) strDataSetInstanceOwner = component->Owner()->Name();
      }
      strDatabaseName = dataSet->DatabaseName();
      strDatabasePath = dataSet->GetDatabasePath();
      strTableName = dataSet->TableName();
      if (errorCode >= 5147 && errorCode <= 5149) {
        std::string head = message.substr(0, 900);
        const std::string marker = "column \"";
        size_t at = head.find(marker);
        if (at != std::string::npos) {
          std::string rest = head.substr(at + marker.size());
          strColumnName = rest.substr(0, rest.find('"'));
        }
      }
    }
    std::string upper = UpperCase(message);
    const std::string native = "NATIVEERROR = ";
    size_t at = upper.find(native);
    if (upper.find("ERROR 7200:") != std::string::npos && at != std::string::npos) {
      size_t from = at + native.size();
      size_t end = upper.find(';', from);
      std::string number = Trim(upper.substr(from, end == std::string::npos ? end : end - from));
      ulSQLErrorCode = StrToInt(number);
    }
  } catch (const Exception&) {
    // What was gathered so far stays.
  }
  if (!strDataSetInstanceName.empty()) SetMessage(strDataSetInstanceName + ": " + message);
}

ESDBDatabaseError::~ESDBDatabaseError() {
  if (!mbNested) tlsComposing = false;
}
