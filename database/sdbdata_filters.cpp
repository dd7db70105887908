// Filters and locate of TSdbDataSet: the Filter text turned into an engine
// filter (optimized or plain), Filtered switching, Locate and Lookup by an
// index seek or a temporary engine filter, and LocateLocally.
#include <algorithm>
#include <cstring>

#include "formatsettings.h"
#include "sdbdata.h"
#include "sdbengine.h"

namespace {

constexpr uint32_t kInsufficientBuffer = 5005;
constexpr uint32_t kNoFilter = 5037;
constexpr uint32_t kNoScope = 5038;
constexpr uint32_t kFilterSet = 5211;
constexpr uint32_t kFilterOptions = SDB_FILTER_UTF16;

// One of the engine's conversions between the long and the short form of an
// expression, into a buffer sized for the UTF-8 text (a text of non-ASCII
// characters has more bytes than characters) and grown when the engine asks
// for more.
template <class Convert>
uint32_t ConvertExpression(Convert convert, const std::string& in, std::string& out) {
  std::vector<char> buffer(in.size() + 51);
  for (int attempt = 0; attempt < 2; ++attempt) {
    uint32_t length = static_cast<uint32_t>(buffer.size());
    uint32_t result = convert(in.c_str(), buffer.data(), &length);
    if (result == kInsufficientBuffer && attempt == 0 && length >= buffer.size()) {
      buffer.resize(length + 1);
      continue;
    }
    if (result == 0) out.assign(buffer.data(), std::min<size_t>(length, buffer.size()));
    return result;
  }
  return kInsufficientBuffer;
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The position after the group a CONTAINS starting at `i` covers (its
// parentheses, with quoted texts and bracketed names inside skipped as
// units), or npos when none follows or it is never closed.
size_t ContainsGroupEnd(const std::string& s, size_t i) {
  static const char kWord[] = "CONTAINS";
  const size_t n = sizeof kWord - 1;
  if (i + n >= s.size()) return std::string::npos;  // at least one more byte
  if (i > 0 && IsWordChar(s[i - 1])) return std::string::npos;
  for (size_t k = 0; k < n; ++k)
    if (std::toupper(static_cast<unsigned char>(s[i + k])) != kWord[k]) return std::string::npos;
  size_t j = i + n;
  while (j < s.size() && s[j] == ' ') ++j;
  if (j >= s.size() || s[j] != '(') return std::string::npos;
  int depth = 0;
  for (; j < s.size(); ++j) {
    char c = s[j];
    if (c == '\'' || c == '"' || c == '[') {
      size_t close = s.find(c == '[' ? ']' : c, j + 1);
      if (close == std::string::npos) return std::string::npos;
      j = close;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return j + 1;
    }
  }
  return std::string::npos;
}

}  // namespace

// A trailing "*" inside a quoted string asks for the strings that begin with
// the rest: it is removed and string comparisons match on the given prefix.
std::string SdbRewriteFilterWildcards(std::string text, bool& exact) {
  exact = true;
  bool inQuote = false;
  char quote = 0;
  size_t opened = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (!inQuote) {
      size_t end = ContainsGroupEnd(text, i);
      if (end != std::string::npos) {
        i = end;  // a text search keeps its own wildcards
        continue;
      }
      if (c == '\'' || c == '"') {
        inQuote = true;
        quote = c;
        opened = i;
      }
      ++i;
      continue;
    }
    if (c == quote) {
      inQuote = false;
      ++i;
      continue;
    }
    if (c == '*' && i + 1 < text.size() && text[i + 1] == quote) {
      bool onlyStars = true;
      for (size_t k = opened + 1; k < i; ++k) onlyStars = onlyStars && text[k] == '*';
      if (!onlyStars) {
        text.erase(i, 1);
        exact = false;
        inQuote = false;
        ++i;  // past the closing quote
        continue;
      }
    }
    ++i;
  }
  return text;
}

std::string TSdbDataSet::EngineFilterExpression(bool& exact) {
  std::string text = Filter();
  const bool adt = musEngineTableType == SDB_TABLE_ADT;
  if (adt) {
    std::string shortForm;
    Check(ConvertExpression(
        [&](const char* in, char* out, uint32_t* length) {
          return SdbExpressionLongToShort90(mlHandle, in, out, length);
        },
        text, shortForm));
    text = std::move(shortForm);
  }
  text = SdbRewriteFilterWildcards(std::move(text), exact);
  if (adt) {
    std::string longForm;
    Check(ConvertExpression(
        [&](const char* in, char* out, uint32_t* length) {
          return SdbExpressionShortToLong90(mlHandle, in, out, length);
        },
        text, longForm));
    text = std::move(longForm);
  }
  return text;
}

void TSdbDataSet::ApplyEngineFilter() {
  if (Filter().empty()) {
    RemoveEngineFilter();
    return;
  }
  bool exact = true;
  std::u16string expression = Utf8ToUtf16(EngineFilterExpression(exact));
  Check(SdbSetExact22(mlHandle, exact ? 1 : 0));
  const TSdbTableOptions& options = SdbTableOptions();
  if (options.SdbOptimizedFilters()) {
    uint32_t kind = options.SdbAOFType() == atKeySet  ? SDB_AOF_KEYSET
                    : options.SdbAOFType() == atFixed ? SDB_AOF_FIXED
                                                      : SDB_AOF_DYNAMIC;
    uint32_t resolve =
        options.SdbAOFResolveImmediate() ? SDB_AOF_RESOLVE_IMMEDIATE : SDB_AOF_RESOLVE_DYNAMIC;
    Check(SdbSetAOF100(mlHandle, expression.c_str(), kFilterOptions + kind + resolve));
  } else {
    Check(SdbSetFilter100(mlHandle, expression.c_str(), kFilterOptions));
  }
}

void TSdbDataSet::RemoveEngineFilter() {
  uint32_t result =
      SdbTableOptions().SdbOptimizedFilters() ? SdbClearAOF(mlHandle) : SdbClearFilter(mlHandle);
  if (result != kNoFilter) Check(result);
}

void TSdbDataSet::SetFilter(const std::string& text) {
  if (Active() && Filtered()) {
    CheckBrowseMode();
    TDataSet::SetFilter(text);
    ApplyEngineFilter();
    First();  // the buffers held records of the old filter
    return;
  }
  TDataSet::SetFilter(text);
}

void TSdbDataSet::SetFiltered(bool value) {
  if (Active()) CheckBrowseMode();
  if (mlHandle != SdbNoHandle) {
    if (value)
      ApplyEngineFilter();
    else
      RemoveEngineFilter();
  }
  SetFilteredFlag(value);
  if (Active()) First();
}

// ---- locate ---------------------------------------------------------------------------------

namespace {

bool IsNarrowStringType(uint16_t type) {
  return type == SDB_STRING || type == SDB_CISTRING || type == SDB_VARCHAR_FOX;
}
bool IsWideStringType(uint16_t type) {
  return type == SDB_NCHAR || type == SDB_NVARCHAR;
}

// A text for the engine's expression language between double quotes; a
// double quote inside is joined in as Chr(34).
std::string QuotedExpressionText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"')
      out += "\"+ Chr(34) + \"";
    else
      out += c;
  }
  return out + "\"";
}

}  // namespace

std::string TSdbDataSet::BuildFilterString(const std::vector<TField*>& fields,
                                           const TLocateOptions& options) {
  if (State() != dsFilter) ComponentError("Internal Error, << BuildFilterString >>");
  const bool caseInsensitive = options.count(loCaseInsensitive) != 0;
  std::string result;
  for (TField* field : fields) {
    if (!result.empty()) result += " AND ";
    const std::string& name = field->FieldName();
    if (field->IsNull()) {
      result += "(empty(" + name + "))";
      continue;
    }
    const TEngineFieldDef* def = FEngineFieldDefs->ByNumber(field->FieldNo());
    uint16_t type = def ? def->FType : 0;
    std::string text = field->DisplayText();
    std::string left = name, right;
    switch (type) {
      case SDB_LOGICAL:
        right = field->AsBoolean() ? ".TRUE." : ".FALSE.";
        break;
      case SDB_NUMERIC:
      case SDB_DOUBLE:
      case SDB_CURDOUBLE:
      case SDB_MONEY:
        right = text;
        std::replace(right.begin(), right.end(), FormatSettings().DecimalSeparator, '.');
        break;
      case SDB_DATE:
      case SDB_COMPACTDATE:
        right = "ctod(\"" + text + "\")";
        break;
      case SDB_TIME:
        right = "ctot(\"" + text + "\")";
        break;
      case SDB_TIMESTAMP:
      case SDB_MODTIME:
        right = "ctots(\"" + text + "\")";
        break;
      case SDB_STRING:
      case SDB_CISTRING:
      case SDB_VARCHAR_FOX:
      case SDB_NCHAR:
      case SDB_NVARCHAR:
        right = QuotedExpressionText(text);
        if (caseInsensitive) {
          left = "UPPER(" + left + ")";
          right = "UPPER(" + right + ")";
        }
        break;
      default:
        right = text;
    }
    result += "(" + left + "=" + right + ")";
  }
  return result;
}

bool TSdbDataSet::LocateLocally(const std::string& filter) {
  uint32_t handle = MoveHandle();
  Check(SdbGotoTop(handle));
  for (;;) {
    uint16_t eof = 0;
    Check(SdbAtEOF(handle, &eof));
    if (eof) return false;
    uint16_t match = 0;
    Check(SdbEvalLogicalExpr(mlHandle, filter.c_str(), &match));
    if (match) return true;
    Check(SdbSkip(handle, 1));
  }
}

std::vector<uint32_t> TSdbDataSet::LocateIndexes(bool onlyActive) {
  std::vector<uint32_t> indexes;
  if (onlyActive) {
    if (mlActiveHandle != mlHandle && mlActiveHandle != 0 && mlActiveHandle != SdbNoHandle)
      indexes.push_back(mlActiveHandle);
    return indexes;
  }
  uint16_t count = 0;
  Check(SdbGetNumIndexes(mlHandle, &count));
  if (count == 0) return indexes;
  indexes.resize(count);
  uint16_t room = count;
  uint32_t result = SdbGetAllIndexes(mlHandle, indexes.data(), &room);
  if (result != kInsufficientBuffer) Check(result);
  indexes.resize(std::min(room, count));
  return indexes;
}

namespace {

// What Locate needs to know of an index.
struct TLocateIndex {
  std::vector<std::string> segments;  // segment fields in order
  bool scoped = false, condition = false, unique = false;
};

}  // namespace

// Whether the key fields are leading segments of the index with no gap;
// `partial` answers the field of the last segment they use.
static bool KeyFieldsMatch(const std::vector<TField*>& fields,
                           const std::vector<std::string>& segments, std::string& partial) {
  size_t highest = 0;
  std::vector<bool> used(std::min<size_t>(segments.size(), 100), false);
  for (TField* field : fields) {
    bool found = false;
    for (size_t k = 0; k < used.size(); ++k) {
      if (SameText(segments[k], field->FieldName())) {
        used[k] = true;
        highest = std::max(highest, k + 1);
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  for (size_t k = 0; k < highest; ++k)
    if (!used[k]) return false;
  if (highest == 0) return false;
  partial = segments[highest - 1];
  return true;
}

uint32_t TSdbDataSet::SavedPosition() {
  uint32_t bookmark = 0;
  if (SdbGetBookmark(MoveHandle(), &bookmark) != 0) return 0;  // at an end: no record
  return bookmark;
}

void TSdbDataSet::RestorePosition(uint32_t bookmark) {
  if (bookmark != 0)
    SdbGotoBookmark(MoveHandle(), bookmark);
  else
    SdbGotoEOF(MoveHandle());
}

bool TSdbDataSet::LocateRecord(std::string_view keyFields, const Variant& keyValues,
                               const TLocateOptions& options) {
  uint32_t saved = SavedPosition();
  std::vector<TField*> fields = GetFieldList(keyFields);
  if (fields.empty() ||
      (fields.size() == 1 ? keyValues.IsArray() && keyValues.ArrayLength() != 1
                          : !keyValues.IsArray() || keyValues.ArrayLength() != fields.size()))
    throw EDatabaseError("The number of key values does not match the key fields");

  TDataSetState oldState = SetTempState(dsFilter);
  TRecordBuffer oldFilterBuffer = mpFilterBuffer;
  bool found = false;
  try {
    mpFilterBuffer = SpareBuffer();
    PrepareNewBuffer(mpFilterBuffer);
    for (size_t i = 0; i < fields.size(); ++i) {
      const Variant& value = fields.size() == 1 && !keyValues.IsArray() ? keyValues : keyValues[i];
      fields[i]->SetValue(value);
    }
    found = SeekOrFilter(fields, options);
  } catch (...) {
    mpFilterBuffer = oldFilterBuffer;
    RestoreState(oldState);
    if (!found) RestorePosition(saved);
    throw;
  }
  mpFilterBuffer = oldFilterBuffer;
  RestoreState(oldState);
  if (!found) RestorePosition(saved);
  return found;
}

bool TSdbDataSet::SeekOrFilter(const std::vector<TField*>& fields, const TLocateOptions& options) {
  const bool caseInsensitive = options.count(loCaseInsensitive) != 0;
  const bool partialKey = options.count(loPartialKey) != 0;
  int narrow = 0, wide = 0;
  for (TField* field : fields) {
    const TEngineFieldDef* def = FEngineFieldDefs->ByNumber(field->FieldNo());
    uint16_t type = def ? def->FType : 0;
    if (IsNarrowStringType(type)) ++narrow;
    if (IsWideStringType(type)) ++wide;
  }
  // Our engine's indexes compare text with letter case, wide text too: a
  // search without regard to case takes no index when a text key is among
  // the key fields.
  bool noIndex = (caseInsensitive && (narrow > 0 || wide > 0 || !partialKey)) ||
                 (partialKey && wide > 0 && (fields.size() > 1 || !caseInsensitive)) ||
                 (OnFilterRecord && Filtered());

  uint32_t index = SdbNoHandle;
  std::string partialField;
  if (!noIndex) {
    auto describe = [&](uint32_t handle) {
      TLocateIndex d;
      uint16_t segments = 0;
      Check(SdbGetNumSegments(handle, &segments));
      for (uint16_t k = 0; k < segments; ++k) {
        char name[260];
        uint16_t length = sizeof name;
        Check(SdbGetSegmentFieldname(handle, k, name, &length));
        d.segments.emplace_back(name, length);
      }
      uint8_t key[4082];
      for (uint16_t which : {SDB_TOP, SDB_BOTTOM}) {
        uint16_t room = sizeof key;
        uint32_t result = SdbGetScope(handle, which, key, &room);
        if (result != kNoScope) {
          Check(result);
          d.scoped = true;
        }
      }
      char condition[512];
      uint16_t length = sizeof condition;
      uint32_t result = SdbGetIndexCondition(handle, condition, &length);
      if (result != kInsufficientBuffer) Check(result);
      d.condition = result == kInsufficientBuffer || length > 0;
      uint16_t unique = 0;
      Check(SdbIsIndexUnique(handle, &unique));
      d.unique = unique != 0 && musEngineTableType != SDB_TABLE_ADT;
      return d;
    };
    const bool indexActive =
        mlActiveHandle != mlHandle && mlActiveHandle != 0 && mlActiveHandle != SdbNoHandle;
    TLocateIndex active;
    if (indexActive) active = describe(mlActiveHandle);
    if (indexActive && (active.scoped || active.condition || active.unique)) {
      // An index that restricts the records decides alone.
      if (KeyFieldsMatch(fields, active.segments, partialField)) index = mlActiveHandle;
    } else if (indexActive && KeyFieldsMatch(fields, active.segments, partialField)) {
      index = mlActiveHandle;
    } else {
      bool findFirst = SdbTableOptions().SdbLocateBehavior() == lbFindFirst;
      for (uint32_t candidate : LocateIndexes(findFirst)) {
        TLocateIndex d = candidate == mlActiveHandle && indexActive ? active : describe(candidate);
        if (d.scoped || d.condition || d.unique) continue;
        if (KeyFieldsMatch(fields, d.segments, partialField)) {
          index = candidate;
          break;
        }
      }
    }
  }
  if (index != SdbNoHandle) return SeekWithIndex(index, fields, partialField, partialKey, wide);
  return SearchByFilter(fields, options);
}

bool TSdbDataSet::SeekWithIndex(uint32_t index, const std::vector<TField*>& fields,
                                const std::string& partialField, bool partialKey, int wideKeys) {
  Check(SdbInitRawKey(index));
  for (TField* field : fields) {
    const TEngineFieldDef* def = FEngineFieldDefs->ByNumber(field->FieldNo());
    const uint8_t* data = mpFilterBuffer + def->FOffset;
    uint32_t length = def->FLength;
    const std::string& name = def->FName;
    if (IsNarrowStringType(def->FType)) {
      if (partialKey && SameText(name, partialField))
        while (length > 0 && (data[length - 1] == ' ' || data[length - 1] == 0)) --length;
      if (!partialKey)
        length = static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(data), length));
      Check(SdbSetField(index, name.c_str(), reinterpret_cast<const char*>(data), length));
    } else if (IsWideStringType(def->FType)) {
      std::u16string text(length / 2, u'\0');
      std::memcpy(text.data(), data, text.size() * 2);
      size_t characters = text.find(u'\0');
      if (characters != std::u16string::npos) text.resize(characters);
      if (partialKey)
        while (!text.empty() && text.back() == u' ') text.pop_back();
      Check(SdbSetFieldW(index, name.c_str(), text.c_str(), static_cast<uint32_t>(text.size())));
    } else {
      Check(SdbSetFieldRaw(index, name.c_str(), data, length));
    }
  }
  uint8_t key[4082];
  uint16_t keyLength = sizeof key;
  if (partialKey && wideKeys == 0)
    Check(SdbBuildRawKey(index, key, &keyLength));
  else
    Check(SdbBuildRawKey100(index, key, &keyLength,
                            partialKey ? SDB_KEY_PARTIAL_WIDE : SDB_KEY_FULL));
  uint16_t found = 0;
  Check(SdbSeek(index, key, keyLength, SDB_RAWKEY, SDB_SOFTSEEK, &found));
  return found != 0;
}

bool TSdbDataSet::SearchByFilter(const std::vector<TField*>& fields,
                                 const TLocateOptions& options) {
  const std::string expression = BuildFilterString(fields, options);
  auto isSet = [&](uint32_t result) {
    if (result == kInsufficientBuffer || result == kFilterSet) return true;
    if (result != kNoFilter) Check(result);
    return false;
  };
  char none[1];
  uint16_t room = 0;
  bool aofSet = isSet(SdbGetAOF(mlHandle, none, &room));
  room = 0;
  bool filterSet = isSet(SdbGetFilter(mlHandle, none, &room));
  uint16_t savedExact = 1;
  Check(SdbGetExact22(mlHandle, &savedExact));

  enum { kNone, kAof, kPlain } temporary = kNone;
  bool found = false;
  try {
    Check(SdbSetExact22(mlHandle, options.count(loPartialKey) ? 0 : 1));
    if (aofSet && filterSet) {
      found = LocateLocally(expression);
    } else {
      std::u16string wide = Utf8ToUtf16(expression);
      if (aofSet) {
        Check(SdbSetFilter100(mlHandle, wide.c_str(), kFilterOptions));
        temporary = kPlain;
      } else {
        Check(SdbSetAOF100(mlHandle, wide.c_str(), kFilterOptions + SDB_AOF_RESOLVE_DYNAMIC));
        temporary = kAof;
      }
      uint32_t handle = MoveHandle();
      Check(SdbGotoTop(handle));
      uint16_t eof = 0;
      Check(SdbAtEOF(handle, &eof));
      found = !eof;
      if (found && OnFilterRecord && Filtered()) {
        // The record filter has the last word: the first record it accepts.
        TRecordBuffer buffer = mpFilterBuffer;
        found = false;
        while (!eof) {
          ReadRecordImage(buffer, SdbTableOptions().SdbCalcFieldsBeforeFilter());
          if (FilterRecord(buffer)) {
            found = true;
            break;
          }
          Check(SdbSkip(handle, 1));
          Check(SdbAtEOF(handle, &eof));
        }
      }
    }
  } catch (...) {
    SdbSetExact22(mlHandle, savedExact);
    if (temporary == kAof) SdbClearAOF(mlHandle);
    if (temporary == kPlain) SdbClearFilter(mlHandle);
    throw;
  }
  SdbSetExact22(mlHandle, savedExact);
  if (temporary == kAof) SdbClearAOF(mlHandle);
  if (temporary == kPlain) SdbClearFilter(mlHandle);
  return found;
}

bool TSdbDataSet::Locate(std::string_view keyFields, const Variant& keyValues,
                         const TLocateOptions& options) {
  CheckActive();
  return PositionedJump([&] { return LocateRecord(keyFields, keyValues, options); });
}

Variant TSdbDataSet::Lookup(std::string_view keyFields, const Variant& keyValues,
                            std::string_view resultFields) {
  CheckActive();
  if (keyValues.IsNull()) return Variant::Null();
  CheckBrowseMode();
  uint32_t saved = SavedPosition();
  std::vector<TField*> results = GetFieldList(resultFields);
  Variant answer = Variant::Null();
  // The looked-up record is read into the calculation buffer; the cursor goes
  // back to where it stood whatever happens, so that a following Next or
  // Edit acts on the dataset's own record, never on the looked-up one.
  try {
    CursorPosChanged();
    if (LocateRecord(keyFields, keyValues, {})) {
      // The spare buffer takes the record, its calculated fields included.
      TRecordBuffer buffer = SpareBuffer();
      ReadRecordImage(buffer, true);
      TDataSetState old = SetTempState(dsFilter);
      TRecordBuffer oldFilterBuffer = mpFilterBuffer;
      mpFilterBuffer = buffer;
      try {
        if (results.size() == 1) {
          answer = results[0]->Value();
        } else {
          std::vector<Variant> values;
          for (TField* field : results) values.push_back(field->Value());
          answer = Variant::Array(std::move(values));
        }
      } catch (...) {
        mpFilterBuffer = oldFilterBuffer;
        RestoreState(old);
        throw;
      }
      mpFilterBuffer = oldFilterBuffer;
      RestoreState(old);
    }
  } catch (...) {
    RestorePosition(saved);
    throw;
  }
  RestorePosition(saved);
  return answer;
}
