// Names of the field types.
#include "fieldtypes.h"

const char* FieldTypeName(TFieldType type) {
  static const char* const names[] = {
      "Unknown",      "String",      "Smallint", "Integer",       "Word",
      "Boolean",      "Float",       "Currency", "BCD",           "Date",
      "Time",         "DateTime",    "Bytes",    "VarBytes",      "AutoInc",
      "Blob",         "Memo",        "Graphic",  "FmtMemo",       "ParadoxOle",
      "DBaseOle",     "TypedBinary", "Cursor",   "FixedChar",     "WideString",
      "Largeint",     "ADT",         "Array",    "Reference",     "DataSet",
      "OraBlob",      "OraClob",     "Variant",  "Interface",     "IDispatch",
      "Guid",         "TimeStamp",   "FMTBcd",   "FixedWideChar", "WideMemo",
      "OraTimeStamp", "OraInterval", "LongWord", "Shortint",      "Byte",
      "Extended",     "Connection",  "Params",   "Stream",        "TimeStampOffset",
      "Object",       "Single",
  };
  static_assert(sizeof(names) / sizeof(names[0]) == ftLastFieldType + 1);
  if (type < ftUnknown || type > ftLastFieldType) return "Unknown";
  return names[type];
}
