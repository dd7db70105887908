// Raw index keys: an order-preserving byte encoding of index segment values,
// and the SQL text that walks, seeks and bounds a SQLite index in key order.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sdbexpr.h"

namespace sdbkey {

// One segment of an index, as the index stores it.
struct Segment {
  std::string sql;  // the column or expression as written in the index
  sdbstore::FieldType type = sdbstore::FieldType::String;  // of the segment value
  uint32_t length = 0;      // field length (characters, or bytes for raw types)
  bool descending = false;  // DESC in the index
  bool nocase = false;      // the index compares this segment with NOCASE
};

// The engine field type that encodes an index expression's value type.
sdbstore::FieldType SegmentTypeOf(sdbexpr::ValueType type);

// The segment of an index on `expression` (a field name or an expression
// of the language): its SQL as IndexSegmentSql gives it, the type and width
// of its values, NOCASE for a plain case-insensitive character field.
// Throws sdbexpr::ExprError.
Segment SegmentOf(std::string_view expression, const sdbexpr::FieldResolver& resolve,
                  bool descending = false);

// A segment value in its stored SQLite form, as the record codec writes it:
// text without trailing blanks, NULL for an empty field, dates and times as
// ISO text, logicals 1/0, integers and reals as numbers.
struct Value {
  enum Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Null;
  int64_t i = 0;
  double r = 0;
  std::string s;  // text (UTF-8) or blob bytes

  static Value FromSqlite(sqlite3_value* v);
  static Value FromColumn(sqlite3_stmt* st, int col);
  static Value OfText(std::string t) { return Value{Text, 0, 0, std::move(t)}; }
  static Value OfInt(int64_t v) { return Value{Integer, v, 0, {}}; }
  static Value OfReal(double v) { return Value{Real, 0, v, {}}; }
  bool operator==(const Value& o) const {
    return kind == o.kind && i == o.i && r == o.r && s == o.s;
  }
};

// Binds a value to a statement parameter; a parameter number the statement
// does not use is ignored (SQL of a NULL segment does not reference its
// value). Answers the SQLite result code.
int Bind(sqlite3_stmt* st, int param, const Value& v);
// Binds values[j] at ?(firstParam + j); answers the first failure.
int BindAll(sqlite3_stmt* st, const std::vector<Value>& values, int firstParam);

// Key layout. Each segment takes a fixed number of bytes: a class byte
// (0 NULL, 1 number, 2 text, 3 blob: SQLite's order of storage classes)
// and a payload (numbers 8 bytes, logicals 1 byte, dates 10, times 12,
// timestamps 23, character fields their length in bytes (three per
// character for the Unicode types), memos and blobs 240, at most 1024; text
// padded with zero bytes, NOCASE text with ASCII letters folded to lower
// case); descending segments have every byte inverted. A full key ends
// with one bound byte: 0x01 for a key built from values, 0xFF for a key
// stepped past its prefix, 0x00 for a key stepped before it. Comparing two
// keys byte by byte therefore gives the index order; equal keys are ties
// broken by record number. A shorter key is a prefix (a partial key).
uint32_t SegmentWidth(const Segment& seg);
uint32_t KeyLength(const std::vector<Segment>& segs);  // SdbGetKeyLength

// Encodes values for the leading segments (values.size() <= segs.size()).
// With all segments given and !partialLast the key is full (bound byte
// 0x01). With partialLast, the last value is a text prefix and is written
// without padding, so every text that begins with it has this key as prefix.
// Values too long for their width are cut (their order then only holds on
// the leading bytes).
std::string Encode(const std::vector<Segment>& segs, const std::vector<Value>& values,
                   bool partialLast = false);

// The stored form of a character field value for a key: trailing blanks
// removed, an empty text is NULL.
Value TextValue(std::string_view text);

// A key read back into values to bind.
struct Decoded {
  enum Bound { Prefix, Exact, After, Before };
  std::vector<Value> values;  // the complete leading segments given
  bool lastIsPrefix = false;  // values.back() is a text prefix (partial segment)
  Bound bound = Prefix;       // Exact: a full key; After/Before: stepped keys
};
Decoded Decode(const std::vector<Segment>& segs, std::string_view key);

// A key given as text (string seeks and scopes): the index's value as one
// string, each character segment taking its length in characters (the last
// one given may be shorter: a prefix), a date segment 8 digits YYYYMMDD (or a
// date text in `dateFormat`), a logical segment T or F, and a numeric segment
// the rest of the text as a number. Trailing blanks of a piece do not count.
Decoded DecodeText(const std::vector<Segment>& segs, std::string_view text,
                   std::string_view dateFormat = "MM/DD/CCYY");

// SdbStepIndexKey: the smallest key after every key that begins with `key`
// (direction > 0), or the greatest before all of them (direction < 0).
// Answers a key of full length.
std::string Step(const std::vector<Segment>& segs, std::string_view key, int direction);

// The smallest text after every text that begins with `prefix` under BINARY
// or (nocase) NOCASE order; empty when there is none.
std::string PrefixSuccessor(std::string prefix, bool nocase);

// ------------------------------------------------------------- SQL builders
//
// Parameters: the value of segment j is ?(j+1); the record number is
// ?kRowidParam. A NULL value is written as IS NULL / IS NOT NULL and its
// parameter is not referenced (Bind ignores it). `nullMask` bit j tells that
// the value of segment j is NULL.

//
// Walking: name the index in `from` ("t INDEXED BY ix"), so that a filter
// in `where` can never make SQLite pick another index and sort; select the
// segment columns with the row ("rowid, seg1, seg2") and Encode them to
// test the found row against scope keys byte by byte (a scope end in SQL
// would make the last step scan on to the end of the index).

constexpr int kRowidParam = 99;

enum class Cmp { GE, GT, LE, LT };  // in index order (DESC segments included)

// ORDER BY terms of the index order, or the reverse.
std::string OrderBy(const std::vector<Segment>& segs, bool reverse);

// The first (or last) row of the index order:
//   SELECT <columns> FROM <from> [WHERE <where>] ORDER BY ... LIMIT 1
std::string FirstQuery(const std::string& from, const std::vector<Segment>& segs, bool last,
                       const std::string& columns = "rowid", const std::string& where = "");

// The first row in walk order whose key compares `cmp` to the values of the
// first m segments (followed by the record number when withRowid): GE/GT walk
// forward, LE/LT backward. Split into one UNION ALL part per segment so that
// every part is a plain index range (no rescans of duplicates).
//   Step forward from the current row: m = segs.size(), GT, withRowid.
//   Soft seek: m values, GE (a seek for the last key: LE walking backward).
// `where` (index condition, filter, scopes) is added to every part; give its
// own parameters numbers from 100 on (KeyCondition's firstParam).
std::string BoundQuery(const std::string& from, const std::vector<Segment>& segs, size_t m,
                       uint32_t nullMask, Cmp cmp, bool withRowid,
                       const std::string& columns = "rowid", const std::string& where = "");

// The same bound as a statement that goes on: stepping it yields every
// row from the bound on in walk order, at the speed of one ordered SELECT.
// A cursor keeps it open while it moves on in one direction and prepares a
// BoundQuery or a new WalkQuery only where it jumps or turns.
std::string WalkQuery(const std::string& from, const std::vector<Segment>& segs, size_t m,
                      uint32_t nullMask, Cmp cmp, bool withRowid,
                      const std::string& columns = "rowid", const std::string& where = "");

// A condition true for rows whose key (first m segments, then the record
// number when withRowid) compares `cmp` to the values bound from parameter
// ?firstParam on (segment j at ?(firstParam+j), the record number at
// ?(firstParam+m)): scopes, and counting rows before a position.
std::string KeyCondition(const std::vector<Segment>& segs, size_t m, uint32_t nullMask, Cmp cmp,
                         bool withRowid, int firstParam);

// A condition true for rows whose first m segments equal the values bound at
// ?firstParam... (with lastIsPrefix: the last segment begins with its value).
std::string KeyEquals(const std::vector<Segment>& segs, size_t m, uint32_t nullMask,
                      bool lastIsPrefix, int firstParam);

// A decoded key as one bound for BoundQuery or KeyCondition. A top bound
// (scope top, soft seek) keeps the rows at or after the key: with bound After
// strictly after every key that begins with it. A bottom bound keeps the rows
// at or before every key that begins with it: with bound Before strictly
// before them. A text prefix becomes the comparison that fits the segment's
// direction (with PrefixSuccessor where needed).
struct Bound {
  Cmp cmp = Cmp::GE;
  std::vector<Value> values;
  uint32_t nullMask = 0;
};
Bound RangeBound(const std::vector<Segment>& segs, const Decoded& key, bool top);

// The segment values of a record that is not in the table (a key buffer, a
// record being edited), as SQLite computes them: `fields` gives the stored
// value of columns by name (without quotes); the other names of
// `allColumns` (the table's fields) read as NULL. Throws sdbexpr::ExprError
// with SQLite's text when the segments do not compute.
std::vector<Value> SegmentValues(const std::vector<Segment>& segs,
                                 const std::vector<std::pair<std::string, Value>>& fields,
                                 const std::vector<std::string>& allColumns = {});

// SELECT <seg1>, <seg2>, ... FROM <from> WHERE rowid=?1: the key values of
// one record as SQLite computes them.
std::string KeyOfRowQuery(const std::string& from, const std::vector<Segment>& segs);

}  // namespace sdbkey
