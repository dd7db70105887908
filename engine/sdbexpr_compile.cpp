// Translation of the expression language into SQLite (the parser is in
// sdbexpr_parse.cpp).
//
// Every sub-expression is translated into up to three SQL forms:
//   full  the value as the language sees it, never NULL (an empty field reads
//         as '', 0 or false; fixed-length character fields are blank-padded)
//   trim  for character values: the value without trailing blanks, never NULL
//   raw   when the value is a chain of NULL-preserving built-ins over one
//         field: the stored form (NULL when empty, no trailing blanks); this
//         is the text an index stores, so comparisons on it use the index.
// Comparisons against constants use the raw form and add "raw IS NULL" only
// when the empty value satisfies the comparison. NOT is pushed down to the
// comparisons at translation time, so a NULL comparison result only ever
// stands for false under AND/OR and no row is dropped wrongly.
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "sdbexpr.h"
#include "sdbexpr_parse.h"
#include "sdbkey.h"
#include "sdbstore.h"

namespace sdbexpr {
namespace {

using sdbstore::FieldType;
using syntax::Fail;
using syntax::Node;
using syntax::ParseText;
using syntax::Tok;

// ---------------------------------------------------------------- folding

// Constant sub-expressions are computed by SQLite itself (one semantics), on
// the thread's scratch connection.
std::string NumberLiteral(double v) {
  if (std::isnan(v) || std::isinf(v)) return "0";
  if (v == std::floor(v) && std::fabs(v) < 9e15) return std::to_string(static_cast<long long>(v));
  return FormatNumber(v);
}

// Runs SELECT <sql> and answers the value as a SQL literal.
std::string FoldToLiteral(const std::string& sql, std::string_view text, size_t pos) {
  sqlite3* db = ScratchConnection();
  sqlite3_stmt* st = nullptr;
  std::string q = "SELECT " + sql;
  if (sqlite3_prepare_v2(db, q.c_str(), -1, &st, nullptr) != SQLITE_OK)
    Fail(text, pos, std::string("cannot evaluate: ") + sqlite3_errmsg(db));
  std::string out = "NULL";
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    switch (sqlite3_column_type(st, 0)) {
      case SQLITE_INTEGER:
        out = std::to_string(sqlite3_column_int64(st, 0));
        break;
      case SQLITE_FLOAT:
        out = NumberLiteral(sqlite3_column_double(st, 0));
        break;
      case SQLITE_TEXT:
        out = sdbstore::QuoteText(
            std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                             sqlite3_column_bytes(st, 0)));
        break;
      case SQLITE_BLOB: {
        static const char* hex = "0123456789ABCDEF";
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, 0));
        int len = sqlite3_column_bytes(st, 0);
        out = "x'";
        for (int i = 0; i < len; ++i) {
          out += hex[p[i] >> 4];
          out += hex[p[i] & 15];
        }
        out += "'";
        break;
      }
      default:
        break;
    }
  }
  std::string err = rc == SQLITE_ROW || rc == SQLITE_DONE ? "" : sqlite3_errmsg(db);
  sqlite3_finalize(st);
  if (!err.empty()) Fail(text, pos, "cannot evaluate: " + err);
  return out;
}

bool FoldToBool(const std::string& sql, std::string_view text, size_t pos) {
  std::string v = FoldToLiteral("CASE WHEN " + sql + " THEN 1 ELSE 0 END", text, pos);
  return v == "1";
}

// ---------------------------------------------------------------- translation

const char* TypeName(ValueType t) {
  switch (t) {
    case ValueType::Character:
      return "character";
    case ValueType::Numeric:
      return "numeric";
    case ValueType::Date:
      return "date";
    case ValueType::Time:
      return "time";
    case ValueType::Timestamp:
      return "timestamp";
    case ValueType::Logical:
      return "logical";
    case ValueType::Binary:
      return "binary";
  }
  return "?";
}

// A value expression translated to SQL, in the forms its uses need.
struct SqlValue {
  ValueType type = ValueType::Numeric;
  std::string full;  // the value, NULL read as the type's empty value
  std::string trim;  // character values only: `full` without trailing blanks
  std::string raw;   // empty when there is no NULL-for-empty form
  bool ci = false;
  bool rawCollated = false;  // raw is a bare column declared NOCASE
  bool constant = false;
  bool schemaSafe = true;
  uint32_t width = 0;
};

// A condition translated to SQL, with how far an index can serve it.
struct Cond {
  std::string sql;
  OptLevel level = OptLevel::None;
};

enum class Mode { Filter, Value, Index };

class Translator {
 public:
  Translator(std::string_view text, const FieldResolver& resolve, const Options& options,
             const std::vector<std::string>* indexed, Mode mode)
      : FText(text), FResolve(resolve), FOptions(options), FIndexed(indexed), FMode(mode) {}

  // Each node's translation is bounded: forms that repeat an operand (a
  // character "-" holds its left side three times) would otherwise grow the
  // SQL exponentially with the depth.
  Cond Condition(const Node& n, bool neg) {
    Cond c = ConditionOf(n, neg);
    Bound(c.sql.size(), n.pos);
    return c;
  }
  SqlValue Value(const Node& n) {
    SqlValue s = ValueOf(n);
    Bound(s.full.size() + s.trim.size() + s.raw.size(), n.pos);
    return s;
  }

 private:
  static constexpr size_t kMaxSql = 128 * 1024;
  [[noreturn]] void Error(size_t pos, const std::string& d) const { Fail(FText, pos, d); }
  void Bound(size_t size, size_t pos) const {
    if (size > kMaxSql) Error(pos, "expression too long when translated");
  }
  Cond ConditionOf(const Node& n, bool neg);
  SqlValue ValueOf(const Node& n);
  SqlValue Field(const Node& n);
  SqlValue Call(const Node& n);
  SqlValue Arith(const Node& n);
  Cond Compare(const Node& n, bool neg);
  Cond LogicalLeaf(const Node& n, bool neg);
  // Index expressions match without regard to letter case, blanks and the
  // double quotes around names, as the catalog may keep them as written.
  static std::string Normal(const std::string& sql) {
    std::string r;
    bool inString = false;
    for (char c : sql) {
      if (c == '\'') inString = !inString;
      if (!inString && (c == '"' || c == ' ')) continue;
      r += !inString && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    return r;
  }
  bool Indexed(const std::string& sql) const {
    if (!FIndexed) return false;
    std::string n = Normal(sql);
    for (const auto& s : *FIndexed)
      if (Normal(s) == n) return true;
    return false;
  }
  SqlValue Fold(SqlValue s, size_t pos) {
    if (!s.constant) return s;
    s.full = FoldToLiteral(s.full, FText, pos);
    if (s.type == ValueType::Character) s.trim = FoldToLiteral("rtrim(" + s.full + ")", FText, pos);
    s.raw.clear();
    s.schemaSafe = true;
    return s;
  }
  std::string EmptyLiteral(ValueType t) const {
    switch (t) {
      case ValueType::Numeric:
      case ValueType::Logical:
        return "0";
      case ValueType::Binary:
        return "x''";
      default:
        return "''";
    }
  }

  std::string_view FText;
  const FieldResolver& FResolve;
  const Options& FOptions;
  const std::vector<std::string>* FIndexed;
  Mode FMode;
};

SqlValue Translator::Field(const Node& n) {
  std::optional<FieldInfo> f = FResolve ? FResolve(n.text) : std::nullopt;
  if (!f) {
    std::string u = sdbstore::Upper(n.text);
    if (u == "TRUE" || u == "FALSE")
      Error(n.pos, "unknown field name " + n.text + " (logical constants are .T. and .F.)");
    Error(n.pos, "unknown field name " + n.text);
  }
  SqlValue s;
  s.type = ValueTypeOfField(f->type);
  s.raw = f->sql;
  s.width = f->length;
  switch (s.type) {
    case ValueType::Character: {
      s.trim = "coalesce(" + f->sql + ",'')";
      bool fixed = f->type == FieldType::String || f->type == FieldType::CIString ||
                   f->type == FieldType::NChar;
      if (fixed && f->length > 0 && f->length < 65536)
        s.full = "printf('%!-" + std::to_string(f->length) + "s'," + f->sql + ")";
      else
        s.full = s.trim;
      s.ci = f->type == FieldType::CIString;
      s.rawCollated = s.ci;
      break;
    }
    case ValueType::Logical:
      s.full = "(coalesce(" + f->sql + ",0)<>0)";
      break;
    default:
      s.full = "coalesce(" + f->sql + "," + EmptyLiteral(s.type) + ")";
      break;
  }
  return s;
}

SqlValue Translator::ValueOf(const Node& n) {
  SqlValue s;
  switch (n.kind) {
    case Node::Num:
      s.type = ValueType::Numeric;
      s.full = NumberLiteral(n.num);
      if (n.text.find_first_of(".eE") != std::string::npos &&
          s.full.find_first_of(".e") == std::string::npos)
        s.full += ".0";
      s.constant = true;
      return s;
    case Node::Str: {
      s.type = ValueType::Character;
      s.full = sdbstore::QuoteText(n.text);
      size_t e = n.text.find_last_not_of(' ');
      s.trim = sdbstore::QuoteText(e == std::string::npos ? "" : n.text.substr(0, e + 1));
      s.constant = true;
      s.width = static_cast<uint32_t>(n.text.size());
      return s;
    }
    case Node::Bool:
      s.type = ValueType::Logical;
      s.full = n.flag ? "1" : "0";
      s.constant = true;
      return s;
    case Node::Field:
      return Field(n);
    case Node::Neg: {
      SqlValue a = Value(n.kids[0]);
      if (a.type != ValueType::Numeric) Error(n.pos, "minus needs a numeric value");
      s = a;
      s.full = "(- " + a.full + ")";  // "--" would start an SQL comment
      s.raw.clear();
      return Fold(s, n.pos);
    }
    case Node::Call:
      return Call(n);
    case Node::Binary:
      if (n.op == Tok::Plus || n.op == Tok::Minus || n.op == Tok::Star || n.op == Tok::Slash)
        return Arith(n);
      [[fallthrough]];
    case Node::Not: {
      Cond c = Condition(n, false);
      s.type = ValueType::Logical;
      s.full = "(CASE WHEN " + c.sql + " THEN 1 ELSE 0 END)";
      s.constant = false;
      return s;
    }
  }
  return s;
}

SqlValue Translator::Arith(const Node& n) {
  SqlValue a = Value(n.kids[0]);
  SqlValue b = Value(n.kids[1]);
  SqlValue s;
  s.constant = a.constant && b.constant;
  s.schemaSafe = a.schemaSafe && b.schemaSafe;
  auto bad = [&]() {
    Error(n.pos, "operator " + n.text + " cannot combine " + TypeName(a.type) + " and " +
                     TypeName(b.type));
  };
  using VT = ValueType;
  if (a.type == VT::Numeric && b.type == VT::Numeric) {
    s.type = VT::Numeric;
    if (n.op == Tok::Slash)
      s.full = "coalesce(CAST(" + a.full + " AS REAL)/" + b.full + ",0)";
    else
      s.full = "(" + a.full + " " + n.text + " " + b.full + ")";
  } else if (a.type == VT::Character && b.type == VT::Character && n.op == Tok::Plus) {
    s.type = VT::Character;
    s.full = "(" + a.full + "||" + b.full + ")";
    s.trim = "rtrim" + s.full;
    s.ci = a.ci || b.ci;
    s.width = a.width + b.width;
  } else if (a.type == VT::Character && b.type == VT::Character && n.op == Tok::Minus) {
    // Trailing blanks of the left move behind the right.
    s.type = VT::Character;
    s.full = "(rtrim(" + a.full + ")||" + b.full + "||substr(" + a.full + ",length(rtrim(" +
             a.full + "))+1))";
    s.trim = "rtrim" + s.full;
    s.ci = a.ci || b.ci;
    s.width = a.width + b.width;
  } else if ((a.type == VT::Date || a.type == VT::Timestamp) && b.type == VT::Numeric &&
             (n.op == Tok::Plus || n.op == Tok::Minus)) {
    s.type = a.type;
    std::string mod =
        "printf('%+.9f days'," + std::string(n.op == Tok::Minus ? "-" : "") + "(" + b.full + "))";
    if (a.type == VT::Date)
      s.full = "coalesce(date(nullif(" + a.full + ",'')," + mod + "),'')";
    else
      s.full = "coalesce(strftime('%Y-%m-%d %H:%M:%f',nullif(" + a.full + ",'')," + mod + "),'')";
  } else if (a.type == VT::Numeric && (b.type == VT::Date || b.type == VT::Timestamp) &&
             n.op == Tok::Plus) {
    s.type = b.type;
    std::string mod = "printf('%+.9f days'," + a.full + ")";
    if (b.type == VT::Date)
      s.full = "coalesce(date(nullif(" + b.full + ",'')," + mod + "),'')";
    else
      s.full = "coalesce(strftime('%Y-%m-%d %H:%M:%f',nullif(" + b.full + ",'')," + mod + "),'')";
  } else if (a.type == b.type && (a.type == VT::Date || a.type == VT::Timestamp) &&
             n.op == Tok::Minus) {
    s.type = VT::Numeric;
    s.full =
        "coalesce(julianday(nullif(" + a.full + ",''))-julianday(nullif(" + b.full + ",'')),0)";
  } else {
    bad();
  }
  return Fold(s, n.pos);
}

SqlValue Translator::Call(const Node& n) {
  std::string name = sdbstore::Upper(n.text);
  std::vector<SqlValue> a;
  for (const auto& k : n.kids) a.push_back(name == "IIF" && a.empty() ? SqlValue{} : Value(k));
  auto argc = [&](size_t lo, size_t hi) {
    if (a.size() < lo || a.size() > hi) {
      std::string want =
          lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi);
      Error(n.pos, name + " expects " + want + " argument" + (hi == 1 ? "" : "s"));
    }
  };
  auto need = [&](size_t i, std::initializer_list<ValueType> types) {
    for (ValueType t : types)
      if (a[i].type == t) return;
    Error(n.kids[i].pos, "argument " + std::to_string(i + 1) + " of " + name + " must be " +
                             TypeName(*types.begin()));
  };
  using VT = ValueType;
  SqlValue s;
  s.constant = true;
  for (const auto& x : a) {
    s.constant = s.constant && x.constant;
    s.schemaSafe = s.schemaSafe && x.schemaSafe;
  }
  auto constNum = [&](size_t i, long long dflt) -> long long {
    if (i >= a.size()) return dflt;
    if (!a[i].constant) return -1;
    return static_cast<long long>(std::llround(ParseNumber(a[i].full)));
  };

  if (name == "UPPER" || name == "LOWER") {
    argc(1, 1);
    need(0, {VT::Character});
    std::string f = name == "UPPER" ? "upper(" : "lower(";
    s.type = VT::Character;
    s.full = f + a[0].full + ")";
    s.trim = f + a[0].trim + ")";
    if (!a[0].raw.empty()) s.raw = f + a[0].raw + ")";
    s.width = a[0].width;
  } else if (name == "TRIM" || name == "RTRIM") {
    argc(1, 1);
    need(0, {VT::Character});
    s = a[0];
    s.full = s.trim;
  } else if (name == "LTRIM" || name == "ALLTRIM") {
    argc(1, 1);
    need(0, {VT::Character});
    std::string f = name == "LTRIM" ? "ltrim(" : "trim(";
    s.type = VT::Character;
    s.full = name == "LTRIM" ? f + a[0].full + ")" : f + a[0].trim + ")";
    s.trim = f + a[0].trim + ")";
    if (!a[0].raw.empty()) s.raw = f + a[0].raw + ")";
    s.ci = a[0].ci;
    s.width = a[0].width;
  } else if (name == "SUBSTR" || name == "LEFT") {
    bool left = name == "LEFT";
    argc(2, left ? 2 : 3);
    need(0, {VT::Character});
    need(1, {VT::Numeric});
    if (a.size() > 2) need(2, {VT::Numeric});
    std::string args =
        left ? ",1," + a[1].full : "," + a[1].full + (a.size() > 2 ? "," + a[2].full : "");
    s.type = VT::Character;
    s.full = "substr(" + a[0].full + args + ")";
    s.trim = "rtrim(" + s.full + ")";
    if (!a[0].raw.empty()) s.raw = "rtrim(substr(" + a[0].raw + args + "))";
    s.ci = a[0].ci;
    long long w = left ? constNum(1, -1) : constNum(2, -1);
    if (!left && a.size() < 3) w = -1;
    s.width = w >= 0 ? static_cast<uint32_t>(w) : a[0].width;
  } else if (name == "RIGHT") {
    argc(2, 2);
    need(0, {VT::Character});
    need(1, {VT::Numeric});
    s.type = VT::Character;
    s.full = "(CASE WHEN " + a[1].full + "<=0 THEN '' ELSE substr(" + a[0].full + ",-(" +
             a[1].full + ")) END)";
    s.trim = "rtrim" + s.full;
    s.ci = a[0].ci;
    long long w = constNum(1, -1);
    s.width = w >= 0 ? static_cast<uint32_t>(w) : a[0].width;
  } else if (name == "LEN") {
    argc(1, 1);
    need(0, {VT::Character, VT::Binary});
    s.type = VT::Numeric;
    s.full = "length(" + a[0].full + ")";
  } else if (name == "EMPTY") {
    argc(1, 1);
    s.type = VT::Logical;
    switch (a[0].type) {
      case VT::Character:
        s.full = "(" + a[0].trim + "='')";
        break;
      case VT::Numeric:
        s.full = "(" + a[0].full + "=0)";
        break;
      case VT::Logical:
        s.full = "(NOT " + a[0].full + ")";
        break;
      case VT::Binary:
        s.full = "(length(" + a[0].full + ")=0)";
        break;
      default:
        s.full = "(" + a[0].full + "='')";
        break;
    }
  } else if (name == "CHR") {
    argc(1, 1);
    need(0, {VT::Numeric});
    s.type = VT::Character;
    s.full = s.trim = "char(" + a[0].full + ")";
    s.width = 1;
  } else if (name == "STR") {
    argc(1, 3);
    need(0, {VT::Numeric});
    for (size_t i = 1; i < a.size(); ++i) need(i, {VT::Numeric});
    long long len = constNum(1, 10), dec = constNum(2, 0);
    std::string body;
    std::string stars;
    if (len >= 0 && dec >= 0) {
      len = std::min(len, 255LL);
      dec = std::min(dec, 30LL);
      body =
          "printf('%" + std::to_string(len) + "." + std::to_string(dec) + "f'," + a[0].full + ")";
      stars = sdbstore::QuoteText(std::string(static_cast<size_t>(len), '*'));
      s.width = static_cast<uint32_t>(len);
    } else {
      std::string l = a.size() > 1 ? a[1].full : "10", d = a.size() > 2 ? a[2].full : "0";
      body = "printf('%*.*f'," + l + "," + d + "," + a[0].full + ")";
      stars = "replace(printf('%*s'," + l + ",''),' ','*')";
      len = -1;
    }
    std::string lenSql = len >= 0 ? std::to_string(len) : a[1].full;
    s.type = VT::Character;
    s.full =
        "(CASE WHEN length(" + body + ")>" + lenSql + " THEN " + stars + " ELSE " + body + " END)";
    s.trim = "rtrim" + s.full;
  } else if (name == "VAL") {
    argc(1, 1);
    need(0, {VT::Character});
    s.type = VT::Numeric;
    s.full = "CAST(" + a[0].trim + " AS REAL)";
  } else if (name == "DTOS") {
    argc(1, 1);
    need(0, {VT::Date, VT::Timestamp});
    s.type = VT::Character;
    s.full = "(CASE WHEN " + a[0].full + "='' THEN '        ' ELSE replace(substr(" + a[0].full +
             ",1,10),'-','') END)";
    s.trim = "replace(substr(" + a[0].full + ",1,10),'-','')";
    if (!a[0].raw.empty()) s.raw = "replace(substr(" + a[0].raw + ",1,10),'-','')";
    s.width = 8;
  } else if (name == "CTOD" || name == "CTOTS") {
    argc(1, 1);
    need(0, {VT::Character});
    s.type = name == "CTOD" ? VT::Date : VT::Timestamp;
    s.full = std::string(name == "CTOD" ? "sdb_ctod(" : "sdb_ctots(") + a[0].trim + "," +
             sdbstore::QuoteText(FOptions.dateFormat) + ")";
    s.schemaSafe = false;
  } else if (name == "CTOT") {
    argc(1, 1);
    need(0, {VT::Character});
    s.type = VT::Time;
    s.full = "sdb_ctot(" + a[0].trim + ")";
    s.schemaSafe = false;
  } else if (name == "YEAR" || name == "MONTH" || name == "DAY") {
    argc(1, 1);
    need(0, {VT::Date, VT::Timestamp});
    const char* range = name == "YEAR" ? ",1,4" : name == "MONTH" ? ",6,2" : ",9,2";
    s.type = VT::Numeric;
    s.full = "CAST(substr(" + a[0].full + range + ") AS INTEGER)";
  } else if (name == "IIF") {
    argc(3, 3);
    Cond c = Condition(n.kids[0], false);
    SqlValue& x = a[1];
    SqlValue& y = a[2];
    if (x.type != y.type)
      Error(n.kids[2].pos,
            std::string("IIF branches differ: ") + TypeName(x.type) + " and " + TypeName(y.type));
    s.type = x.type;
    s.constant = false;
    s.schemaSafe = x.schemaSafe && y.schemaSafe && c.sql.find("sdb_") == std::string::npos;
    s.full = "(CASE WHEN " + c.sql + " THEN " + x.full + " ELSE " + y.full + " END)";
    if (s.type == VT::Character)
      s.trim = "(CASE WHEN " + c.sql + " THEN " + x.trim + " ELSE " + y.trim + " END)";
    s.ci = x.ci || y.ci;
    s.width = std::max(x.width, y.width);
  } else if (name == "DATE" || name == "TODAY" || name == "NOW") {
    // The clock is UTC, as every stamp the program takes; never folded.
    argc(0, 0);
    s.type = name == "NOW" ? VT::Timestamp : VT::Date;
    s.full = name == "NOW" ? "strftime('%Y-%m-%d %H:%M:%f','now')" : "date('now')";
    s.constant = false;
    s.schemaSafe = false;
  } else if (name == "CONTAINS") {
    argc(2, 2);
    need(0, {VT::Character});
    need(1, {VT::Character});
    s.type = VT::Logical;
    s.full = "sdb_contains(" + a[0].full + "," + a[1].full + ")";
    s.schemaSafe = false;
  } else {
    Error(n.pos, "unknown function " + n.text);
  }
  if (FMode == Mode::Index && !s.schemaSafe && !s.constant)
    Error(n.pos, name + " cannot be used in an index expression");
  return Fold(s, n.pos);
}

Cond Translator::ConditionOf(const Node& n, bool neg) {
  if (n.kind == Node::Not) return Condition(n.kids[0], !neg);
  if (n.kind == Node::Bool) return Cond{(n.flag != neg) ? "1" : "0", OptLevel::None};
  if (n.kind == Node::Binary && (n.op == Tok::And || n.op == Tok::Or)) {
    // A chain of one operator becomes one flat list (SQLite's parser has a
    // small stack for nested parentheses).
    std::vector<const Node*> items;
    std::vector<const Node*> todo = {&n};
    while (!todo.empty()) {
      const Node* x = todo.back();
      todo.pop_back();
      if (x->kind == Node::Binary && x->op == n.op) {
        todo.push_back(&x->kids[1]);
        todo.push_back(&x->kids[0]);
      } else {
        items.push_back(x);
      }
    }
    bool isAnd = (n.op == Tok::And) != neg;
    Cond c;
    bool allFull = true, anyOpt = false;
    for (const Node* x : items) {
      Cond k = Condition(*x, neg);
      c.sql += (c.sql.empty() ? "(" : isAnd ? " AND " : " OR ") + k.sql;
      allFull = allFull && k.level == OptLevel::Full;
      anyOpt = anyOpt || k.level != OptLevel::None;
    }
    c.sql += ")";
    c.level = allFull ? OptLevel::Full : isAnd && anyOpt ? OptLevel::Partial : OptLevel::None;
    return c;
  }
  if (n.kind == Node::Binary && n.op != Tok::Plus && n.op != Tok::Minus && n.op != Tok::Star &&
      n.op != Tok::Slash)
    return Compare(n, neg);
  return LogicalLeaf(n, neg);
}

Cond Translator::LogicalLeaf(const Node& n, bool neg) {
  // EMPTY(field) and logical fields have index-friendly forms.
  if (FMode == Mode::Filter && n.kind == Node::Call && sdbstore::Upper(n.text) == "EMPTY" &&
      n.kids.size() == 1) {
    SqlValue a = Value(n.kids[0]);
    if (!a.raw.empty() && a.type != ValueType::Logical) {
      std::string e = EmptyLiteral(a.type);
      Cond c;
      c.sql =
          neg ? "(" + a.raw + "<>" + e + ")" : "(" + a.raw + " IS NULL OR " + a.raw + "=" + e + ")";
      c.level = Indexed(a.raw) ? OptLevel::Full : OptLevel::None;
      return c;
    }
  }
  SqlValue v = Value(n);
  if (v.type != ValueType::Logical)
    Error(n.pos, std::string("a logical value is needed here, not ") + TypeName(v.type));
  Cond c;
  if (FMode == Mode::Filter && n.kind == Node::Field) {
    c.sql = neg ? "(" + v.raw + " IS NOT 1)" : "(" + v.raw + "=1)";
    c.level = Indexed(v.raw) ? OptLevel::Full : OptLevel::None;
    return c;
  }
  c.sql = neg ? "(NOT " + v.full + ")" : v.full;
  return c;
}

Tok Complement(Tok t) {
  switch (t) {
    case Tok::Eq:
      return Tok::Ne;
    case Tok::Ne:
      return Tok::Eq;
    case Tok::Lt:
      return Tok::Ge;
    case Tok::Ge:
      return Tok::Lt;
    case Tok::Gt:
      return Tok::Le;
    case Tok::Le:
      return Tok::Gt;
    default:
      return t;
  }
}
Tok Mirror(Tok t) {
  switch (t) {
    case Tok::Lt:
      return Tok::Gt;
    case Tok::Gt:
      return Tok::Lt;
    case Tok::Le:
      return Tok::Ge;
    case Tok::Ge:
      return Tok::Le;
    default:
      return t;
  }
}
const char* OpSql(Tok t) {
  switch (t) {
    case Tok::Eq:
    case Tok::EqEq:
      return "=";
    case Tok::Ne:
      return "<>";
    case Tok::Lt:
      return "<";
    case Tok::Le:
      return "<=";
    case Tok::Gt:
      return ">";
    case Tok::Ge:
      return ">=";
    default:
      return "=";
  }
}

// Reads back a text literal produced by sdbstore::QuoteText.
std::string Unquote(const std::string& lit) {
  std::string r;
  for (size_t i = 1; i + 1 < lit.size(); ++i) {
    r += lit[i];
    if (lit[i] == '\'') ++i;
  }
  return r;
}

Cond Translator::Compare(const Node& n, bool neg) {
  SqlValue a = Value(n.kids[0]);
  SqlValue b = Value(n.kids[1]);
  Tok op = n.op;
  using VT = ValueType;
  if (op == Tok::Dollar) {
    if (a.type != VT::Character || b.type != VT::Character)
      Error(n.pos, "operator $ needs character values");
    bool ci = a.ci || b.ci;
    std::string hay = ci ? "lower(" + b.full + ")" : b.full;
    std::string needle = ci ? "lower(" + a.full + ")" : a.full;
    return Cond{"(instr(" + hay + "," + needle + ")" + (neg ? "=0)" : ">0)"), OptLevel::None};
  }
  // A date meets a timestamp as its midnight.
  auto promote = [&](SqlValue& d) {
    d.type = VT::Timestamp;
    d.full = "(CASE WHEN " + d.full + "='' THEN '' ELSE " + d.full + "||' 00:00:00.000' END)";
    d.raw = d.raw.empty() ? "" : "(" + d.raw + "||' 00:00:00.000')";
    d.rawCollated = false;
    d = Fold(d, n.pos);
  };
  if (a.type == VT::Date && b.type == VT::Timestamp) promote(a);
  if (b.type == VT::Date && a.type == VT::Timestamp) promote(b);
  bool compatible = a.type == b.type;
  if (!compatible)
    Error(n.pos, std::string("cannot compare ") + TypeName(a.type) + " with " + TypeName(b.type));
  if ((a.type == VT::Logical || a.type == VT::Binary) && op != Tok::Eq && op != Tok::EqEq &&
      op != Tok::Ne)
    Error(n.pos,
          std::string("operator ") + n.text + " does not order " + TypeName(a.type) + " values");
  bool exactEq = op == Tok::EqEq;
  if (exactEq) op = Tok::Eq;
  if (neg) op = Complement(op);
  bool isChar = a.type == VT::Character;
  bool prefix = isChar && !exactEq && !FOptions.exact;  // compare on the right's length
  // A constant on the left of a symmetric comparison goes to the right.
  if (a.constant && !b.constant && !prefix) {
    std::swap(a, b);
    op = Mirror(op);
  }
  bool useRaw = FMode == Mode::Filter && !a.raw.empty() && b.constant;
  // Case-insensitive comparisons fold both sides with lower(), which is
  // what NOCASE does, except on a bare case-insensitive column: its declared
  // NOCASE applies by itself and keeps its index usable. No COLLATE is ever
  // written: SQLite lets an explicit collation deep inside an operand decide
  // the comparisons around it.
  const bool ci = a.ci || b.ci;
  const bool fold = ci && !(useRaw && a.rawCollated);
  std::string right = isChar ? b.trim : b.full;
  if (fold) right = "lower(" + right + ")";

  // Builds the comparison for a left operand text.
  auto build = [&](std::string L) -> std::string {
    if (fold) L = "lower(" + L + ")";
    if (prefix && b.constant && FMode == Mode::Filter) {
      std::string r = Unquote(b.trim);
      if (r.empty()) {
        bool all = op == Tok::Eq || op == Tok::Ge || op == Tok::Le;
        return all ? "1" : "0";
      }
      std::string succ = sdbkey::PrefixSuccessor(r, ci);
      std::string R = ci ? sdbstore::QuoteText(sdbstore::Lower(Unquote(b.trim))) : b.trim;
      std::string S = sdbstore::QuoteText(succ);
      std::string lo = L + ">=" + R, below = L + "<" + R;
      // A right side of bytes 0xFF only has no successor: every text begins
      // at or below it, none above.
      std::string hi = succ.empty() ? "1" : L + "<" + S;
      std::string above = succ.empty() ? "0" : L + ">=" + S;
      switch (op) {
        case Tok::Eq:
          return "(" + lo + " AND " + hi + ")";
        case Tok::Ne:
          return "(" + below + " OR " + above + ")";
        case Tok::Lt:
          return "(" + below + ")";
        case Tok::Ge:
          return "(" + lo + ")";
        case Tok::Gt:
          return "(" + above + ")";
        case Tok::Le:
          return "(" + hi + ")";
        default:
          break;
      }
    }
    if (prefix) return "(substr(" + L + ",1,length(" + right + "))" + OpSql(op) + right + ")";
    return "(" + L + OpSql(op) + right + ")";
  };

  Cond c;
  if (useRaw) {
    std::string body = build(a.raw);
    bool emptyMatches = FoldToBool(build(EmptyLiteral(a.type)), FText, n.pos);
    c.sql = emptyMatches ? "(" + a.raw + " IS NULL OR " + body + ")" : body;
    bool ranged = !fold && Indexed(a.raw) && (op != Tok::Ne || prefix);
    c.level = ranged ? OptLevel::Full : OptLevel::None;
  } else {
    c.sql = build(isChar ? a.trim : a.full);
    if (a.constant && b.constant) c.sql = FoldToBool(c.sql, FText, n.pos) ? "1" : "0";
  }
  return c;
}

}  // namespace

ValueType ValueTypeOfField(sdbstore::FieldType t) {
  switch (t) {
    case FieldType::Logical:
      return ValueType::Logical;
    case FieldType::Numeric:
    case FieldType::Double:
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::AutoInc:
    case FieldType::CurDouble:
    case FieldType::Money:
    case FieldType::RowVersion:
      return ValueType::Numeric;
    case FieldType::Date:
    case FieldType::CompactDate:
      return ValueType::Date;
    case FieldType::Time:
      return ValueType::Time;
    case FieldType::TimeStamp:
    case FieldType::ModTime:
      return ValueType::Timestamp;
    case FieldType::Binary:
    case FieldType::Image:
    case FieldType::Raw:
    case FieldType::VarBinaryFox:
      return ValueType::Binary;
    default:
      return ValueType::Character;  // the text and memo types
  }
}

namespace {

// SQLite's parser stack is fixed: right-nested SQL (a + (b + ...), nested
// calls, CASE) exhausts it well within kMaxDepth. So SQLite parses each
// translation where the engine nests it deepest, in one part of an index
// walk: a filter beside another, an index segment in a row-value bound.
void CheckParses(std::string_view text, const std::string& sql, bool segment = false) {
  std::string probe = "SELECT * FROM t UNION ALL SELECT * FROM (SELECT x FROM t WHERE " +
                      (segment ? "(" + sql + ", 1) > (?1, ?2) AND ((1) AND (1))"
                               : "a = ?1 AND rowid > ?2 AND ((1) AND (" + sql + "))") +
                      " ORDER BY a LIMIT 1)";
  sqlite3* db = ScratchConnection();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, probe.c_str(), static_cast<int>(probe.size()), &st, nullptr);
  sqlite3_finalize(st);
  // Other failures (names the scratch connection lacks) come after parsing.
  if (rc != SQLITE_OK && std::string_view(sqlite3_errmsg(db)) == "parser stack overflow")
    Fail(text, 0, "expression nested too deeply");
}

}  // namespace

Condition CompileFilter(std::string_view text, const FieldResolver& resolve, const Options& options,
                        const std::vector<std::string>& indexedSql) {
  Node root = ParseText(text);
  Translator t(text, resolve, options, &indexedSql, Mode::Filter);
  Cond c = t.Condition(root, false);
  CheckParses(text, c.sql);
  return Condition{c.sql, c.level};
}

Expression CompileExpression(std::string_view text, const FieldResolver& resolve,
                             const Options& options) {
  Node root = ParseText(text);
  Translator t(text, resolve, options, nullptr, Mode::Value);
  SqlValue s = t.Value(root);
  // Infinities (an overflow, or a value written by hand) can meet as
  // inf - inf, which SQLite answers NULL: such a number is 0, as a division
  // by zero is.
  if (s.type == ValueType::Numeric) s.full = "coalesce(" + s.full + ",0)";
  CheckParses(text, s.full);
  return Expression{s.full, s.type};
}

Expression CompileLogical(std::string_view text, const FieldResolver& resolve,
                          const Options& options) {
  Expression e = CompileExpression(text, resolve, options);
  if (e.type != ValueType::Logical)
    Fail(text, 0, std::string("the expression is ") + TypeName(e.type) + ", not logical");
  return e;
}

std::string IndexSegmentSql(std::string_view text, const FieldResolver& resolve, ValueType* type,
                            uint32_t* length) {
  Node root = ParseText(text);
  Options options;
  Translator t(text, resolve, options, nullptr, Mode::Index);
  SqlValue s = t.Value(root);
  if (!s.schemaSafe) Fail(text, 0, "the expression cannot be used in an index");
  if (s.constant) Fail(text, 0, "an index expression must use a field");
  if (type) *type = s.type;
  if (length) *length = s.width;
  std::string v = !s.raw.empty() ? s.raw : s.type == ValueType::Character ? s.trim : s.full;
  // Empty stays NULL in the index, as for plain columns.
  if (s.raw.empty() && (s.type == ValueType::Character || s.type == ValueType::Date ||
                        s.type == ValueType::Timestamp || s.type == ValueType::Time))
    v = "nullif(" + v + ",'')";
  CheckParses(text, v, true);
  return v;
}

std::string IndexConditionSql(std::string_view text, const FieldResolver& resolve,
                              const Options& options) {
  Condition c = CompileFilter(text, resolve, options);
  if (c.sql.find("sdb_") != std::string::npos)
    Fail(text, 0, "the condition uses a function an index cannot store");
  if (c.sql.find("'now'") != std::string::npos)
    Fail(text, 0, "an index condition cannot depend on the clock");
  return c.sql;
}

}  // namespace sdbexpr
