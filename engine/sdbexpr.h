// The engine's expression language: parser with positioned errors, translation
// into SQLite conditions and index expressions, evaluation, and SQL functions.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sdbstore.h"

// Registers the engine's SQL functions (sdb_ctod, sdb_ctot, sdb_ctots,
// sdb_contains, ...) on a connection. Every connection the engine opens calls
// it right after opening. Returns SQLITE_OK or the SQLite error code.
int SdbRegisterSqlFunctions(sqlite3* db);

namespace sdbexpr {

// Engine error code for an expression that does not parse or does not type.
constexpr uint32_t kErrExpression = 5199;

// An expression that does not parse or mixes types. what() holds the detail,
// the column and an excerpt with a caret under the offending position.
class ExprError : public std::runtime_error {
 public:
  ExprError(const std::string& message, std::string detail, size_t position)
      : std::runtime_error(message), FDetail(std::move(detail)), FPosition(position) {}
  const std::string& Detail() const { return FDetail; }
  size_t Position() const { return FPosition; }    // byte offset, from 0
  size_t Column() const { return FPosition + 1; }  // from 1
 private:
  std::string FDetail;
  size_t FPosition;
};

// The value types of the language.
enum class ValueType { Character, Numeric, Date, Time, Timestamp, Logical, Binary };

// What the caller tells about a field name (matched as the table matches
// names, without regard to case): the SQLite expression that reads the
// column (e.g. "\"NAME\"" or "t.\"NAME\""), the engine field type, the length and decimals of the
// field. Answer nullopt for a name the table lacks (it becomes a positioned error): SQLite would
// read an unknown double-quoted name as a text.
struct FieldInfo {
  std::string sql;
  sdbstore::FieldType type = sdbstore::FieldType::String;
  uint32_t length = 0;
  uint16_t decimals = 0;
};
using FieldResolver = std::function<std::optional<FieldInfo>(std::string_view name)>;

// Settings a translation depends on.
struct Options {
  bool exact = false;  // string '=' compares the whole text; off: left begins with right
  std::string dateFormat = "MM/DD/CCYY";  // how CTOD and CTOTS read dates
};

// How much of a filter SQLite can resolve through indexes.
enum class OptLevel { None, Partial, Full };

// A filter translated into a SQLite condition (never NULL-dropping a row that
// the expression accepts). `level` tells how much of it uses index-friendly
// forms whose left side is one of `indexedSql` (see CompileFilter).
struct Condition {
  std::string sql;
  OptLevel level = OptLevel::None;
};

// Translates a logical expression into a SQLite condition. `indexedSql` lists
// the leading segment expressions of the table's indexes as IndexSegmentSql
// gives them (a plain column is its column expression); it only feeds `level`.
// Throws ExprError.
Condition CompileFilter(std::string_view text, const FieldResolver& resolve, const Options& options,
                        const std::vector<std::string>& indexedSql = {});

// Translates any expression into a SQLite value expression (never NULL; an
// empty field reads as '', 0 or false; fixed-length character fields padded).
struct Expression {
  std::string sql;
  ValueType type = ValueType::Logical;
};
// The value forms never use the index-friendly rewriting of CompileFilter,
// so they are the reference semantics: a filter selects exactly the rows for
// which the expression evaluates true.
Expression CompileExpression(std::string_view text, const FieldResolver& resolve,
                             const Options& options);
// The same for an expression that must be logical (else ExprError).
Expression CompileLogical(std::string_view text, const FieldResolver& resolve,
                          const Options& options);

// Translates an index segment expression (a field, UPPER(field), LEFT(f, n),
// DTOS(d), STR(n, len), f1 + f2, ...) into the SQLite expression stored in
// the schema: built-in functions only, NULL when the value is empty, trailing
// blanks removed. `type` receives the value type, `length` the key width in
// characters of a character result. Throws ExprError for functions SQLite
// has no built-in for (CTOD, CONTAINS, ...).
std::string IndexSegmentSql(std::string_view text, const FieldResolver& resolve,
                            ValueType* type = nullptr, uint32_t* length = nullptr);

// Translates an index condition (a filter stored with an index) into the
// WHERE clause of a partial SQLite index: built-in functions only.
std::string IndexConditionSql(std::string_view text, const FieldResolver& resolve,
                              const Options& options);

// Evaluates a logical SQL expression (CompileLogical's, or a Condition's)
// for one record: `from` is a FROM source (a quoted table name, or a
// subquery giving one row of values) and rowid the record (all rows of
// `from`, the first counting, when rowid < 0). Answers nullopt when there is
// no such row. Throws ExprError with SQLite's text on a SQLite failure.
std::optional<bool> EvalLogical(sqlite3* db, const std::string& from, int64_t rowid,
                                const std::string& logicalSql);

// EvalLogical with the statement prepared once, for evaluating one
// expression on many records. Throws ExprError like EvalLogical.
class LogicalEvaluator {
 public:
  LogicalEvaluator(sqlite3* db, const std::string& from, const std::string& logicalSql);
  ~LogicalEvaluator();
  LogicalEvaluator(const LogicalEvaluator&) = delete;
  LogicalEvaluator& operator=(const LogicalEvaluator&) = delete;
  std::optional<bool> Eval(int64_t rowid);

 private:
  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
};

// This thread's private in-memory connection with the engine's functions
// (double-quoted names never read as text there): computes values that need
// no table, such as constant folding and key values of unwritten records.
sqlite3* ScratchConnection();

// The short and long forms of an expression. Field names have no short form
// in this engine (they are up to 128 characters in both), so both forms hold
// the same text; the conversion checks that the text tokenizes (a quote that
// is never closed is refused with a positioned ExprError) and copies it.
std::string ExpressionLongToShort(std::string_view text);
std::string ExpressionShortToLong(std::string_view text);

// Date helpers shared with the key and record code: parse a date text by an
// engine date format ("MM/DD/CCYY", "DD.MM.YY", "YYYY-MM-DD", ...), also
// accepting ISO 'YYYY-MM-DD'; answers 'YYYY-MM-DD' or "" when it is no date.
std::string DateFromText(std::string_view text, std::string_view dateFormat);
// A timestamp text (date by format, then an optional time, "AM"/"PM" allowed)
// as 'YYYY-MM-DD HH:MM:SS.mmm', or "".
std::string TimestampFromText(std::string_view text, std::string_view dateFormat);
// A time text ("HH:MM[:SS[.mmm]]", "AM"/"PM" allowed) as 'HH:MM:SS.mmm', or "".
std::string TimeFromText(std::string_view text);

// The value type of an engine field type code.
ValueType ValueTypeOfField(sdbstore::FieldType engineType);

// Number text read and written with "." whatever the C locale says (a
// window may set a decimal comma): the leading number of `text` after blanks
// and an optional "+", 0 when there is none; the shortest text that reads
// back as `v`.
double ParseNumber(std::string_view text);
std::string FormatNumber(double v);

}  // namespace sdbexpr
