// SQL text for walking, seeking and bounding an index in key order.
//
// A row-value step "(key, rowid) > (?, ?)" is planned on the key alone and
// rescans every duplicate of the current key, and a NULL part makes it NULL.
// So a bound is split into one part per segment, each a plain index range:
//   key = v AND rowid > r          (the rest of the current key)
//   k1 = v1 AND k2 > v2            (the next value of the last segment)
//   k1 > v1                        (the next value of the first segment)
// in order of proximity, glued with UNION ALL under an outer LIMIT 1. NULL
// values get IS NULL / IS NOT NULL parts of their own (SQLite sorts NULL
// first), and every comparison carries the segment's collation.
#include <algorithm>
#include <cctype>
#include <functional>

#include "sdbkey.h"

namespace sdbkey {
namespace {

std::string Coll(const Segment& s) {
  return s.nocase ? " COLLATE NOCASE" : "";
}

// A component of a bound: a segment, or the record number after them.
struct Component {
  std::string sql;
  bool descending = false;
  bool isNull = false;
  std::string coll;
  std::string param;
};

std::vector<Component> Components(const std::vector<Segment>& segs, size_t m, uint32_t nullMask,
                                  bool withRowid, const std::function<int(size_t)>& paramOf,
                                  int rowidParam) {
  std::vector<Component> out;
  for (size_t j = 0; j < m && j < segs.size(); ++j) {
    Component c;
    c.sql = segs[j].sql;
    c.descending = segs[j].descending;
    c.isNull = j < 32 && (nullMask >> j) & 1;
    c.coll = Coll(segs[j]);
    c.param = "?" + std::to_string(paramOf(j));
    out.push_back(c);
  }
  if (withRowid) {
    Component c;
    c.sql = "rowid";
    c.param = "?" + std::to_string(rowidParam);
    out.push_back(c);
  }
  return out;
}

std::string Equal(const Component& c) {
  return c.isNull ? c.sql + " IS NULL" : c.sql + "=" + c.param + c.coll;
}

// The conditions for "c comes after (forward) or before (backward) the
// value" in index order, nearest first.
std::vector<std::string> Beyond(const Component& c, bool forward) {
  bool greater = forward != c.descending;  // larger values lie ahead
  if (greater) {
    if (c.isNull) return {c.sql + " IS NOT NULL"};
    return {c.sql + ">" + c.param + c.coll};
  }
  if (c.isNull) return {};
  return {c.sql + "<" + c.param + c.coll, c.sql + " IS NULL"};
}

// One index range: its conditions, and how many leading segments it fixes
// to a single value (its ORDER BY starts after them: SQLite does not always
// see that an expression segment held equal needs no sorting).
struct Part {
  std::string conds;
  size_t fixed = 0;
};

// The ranges of a bound, in proximity order.
std::vector<Part> Parts(const std::vector<Component>& comps, Cmp cmp) {
  bool forward = cmp == Cmp::GE || cmp == Cmp::GT;
  bool inclusive = cmp == Cmp::GE || cmp == Cmp::LE;
  std::vector<Part> parts;
  auto prefix = [&](size_t j) {
    std::string s;
    for (size_t k = 0; k < j; ++k) s += (s.empty() ? "" : " AND ") + Equal(comps[k]);
    return s;
  };
  if (inclusive) parts.push_back({prefix(comps.size()), comps.size()});
  for (size_t j = comps.size(); j-- > 0;) {
    std::string p = prefix(j);
    for (const auto& b : Beyond(comps[j], forward)) {
      bool isNull = b.size() > 8 && b.compare(b.size() - 8, 8, " IS NULL") == 0;
      parts.push_back({p.empty() ? b : p + " AND " + b, isNull ? j + 1 : j});
    }
  }
  return parts;
}

// ORDER BY terms of the index order from segment `from` on.
std::string OrderFrom(const std::vector<Segment>& segs, size_t from, bool reverse) {
  std::string s;
  for (size_t j = from; j < segs.size(); ++j)
    s += segs[j].sql + Coll(segs[j]) + (segs[j].descending != reverse ? " DESC" : "") + ", ";
  return s + (reverse ? "rowid DESC" : "rowid");
}

std::string Where(const std::string& a, const std::string& b) {
  if (a.empty() && b.empty()) return "";
  if (a.empty()) return " WHERE " + b;
  if (b.empty()) return " WHERE " + a;
  return " WHERE " + a + " AND (" + b + ")";
}

}  // namespace

std::string OrderBy(const std::vector<Segment>& segs, bool reverse) {
  return OrderFrom(segs, 0, reverse);
}

std::string FirstQuery(const std::string& from, const std::vector<Segment>& segs, bool last,
                       const std::string& columns, const std::string& where) {
  return "SELECT " + columns + " FROM " + from + Where("", where) + " ORDER BY " +
         OrderBy(segs, last) + " LIMIT 1";
}

namespace {

// The parts of a bound as one statement: each part in index order, the
// parts in proximity order. `limit` is "1" for the first row only, "-1" for
// every row (a LIMIT keeps SQLite from dropping a subquery's ORDER BY).
std::string PartsQuery(const std::string& from, const std::vector<Segment>& segs, size_t m,
                       uint32_t nullMask, Cmp cmp, bool withRowid, const std::string& columns,
                       const std::string& where, const char* limit) {
  auto comps = Components(
      segs, m, nullMask, withRowid, [](size_t j) { return static_cast<int>(j) + 1; }, kRowidParam);
  bool forward = cmp == Cmp::GE || cmp == Cmp::GT;
  std::vector<Part> parts = Parts(comps, cmp);
  auto one = [&](const Part& p) {
    return "SELECT " + columns + " FROM " + from + Where(p.conds, where) + " ORDER BY " +
           OrderFrom(segs, std::min(p.fixed, segs.size()), !forward) + " LIMIT " + limit;
  };
  if (parts.empty()) return "SELECT " + columns + " FROM " + from + " WHERE 0";
  if (parts.size() == 1) return one(parts[0]);
  std::string sql;
  for (const auto& p : parts)
    sql += (sql.empty() ? "" : " UNION ALL ") + ("SELECT * FROM (" + one(p) + ")");
  return std::string(limit) == "1" ? sql + " LIMIT 1" : sql;
}

}  // namespace

std::string BoundQuery(const std::string& from, const std::vector<Segment>& segs, size_t m,
                       uint32_t nullMask, Cmp cmp, bool withRowid, const std::string& columns,
                       const std::string& where) {
  return PartsQuery(from, segs, m, nullMask, cmp, withRowid, columns, where, "1");
}

std::string WalkQuery(const std::string& from, const std::vector<Segment>& segs, size_t m,
                      uint32_t nullMask, Cmp cmp, bool withRowid, const std::string& columns,
                      const std::string& where) {
  return PartsQuery(from, segs, m, nullMask, cmp, withRowid, columns, where, "-1");
}

std::string KeyCondition(const std::vector<Segment>& segs, size_t m, uint32_t nullMask, Cmp cmp,
                         bool withRowid, int firstParam) {
  auto comps = Components(
      segs, m, nullMask, withRowid, [&](size_t j) { return firstParam + static_cast<int>(j); },
      firstParam + static_cast<int>(std::min(m, segs.size())));
  std::vector<Part> parts = Parts(comps, cmp);
  if (parts.empty()) return "0";
  std::string s;
  for (const auto& p : parts)
    s += (s.empty() ? "(" : " OR (") + (p.conds.empty() ? "1" : p.conds) + ")";
  return "(" + s + ")";
}

std::string KeyEquals(const std::vector<Segment>& segs, size_t m, uint32_t nullMask,
                      bool lastIsPrefix, int firstParam) {
  std::string s;
  for (size_t j = 0; j < m && j < segs.size(); ++j) {
    const Segment& seg = segs[j];
    std::string p = "?" + std::to_string(firstParam + static_cast<int>(j));
    bool isNull = j < 32 && (nullMask >> j) & 1;
    std::string c;
    if (isNull)
      c = seg.sql + " IS NULL";
    else if (lastIsPrefix && j + 1 == m)
      c = seg.sql + ">=" + p + Coll(seg) + " AND " + seg.sql + "<(" + p + "||char(1114111))" +
          Coll(seg);
    else
      c = seg.sql + "=" + p + Coll(seg);
    s += (s.empty() ? "" : " AND ") + c;
  }
  return s.empty() ? "1" : "(" + s + ")";
}

Bound RangeBound(const std::vector<Segment>& segs, const Decoded& key, bool top) {
  Bound b;
  b.values = key.values;
  if (b.values.size() > segs.size()) b.values.resize(segs.size());
  const bool strict = top ? key.bound == Decoded::After : key.bound == Decoded::Before;
  if (key.lastIsPrefix && !b.values.empty()) {
    const Segment& seg = segs[b.values.size() - 1];
    Value& last = b.values.back();
    std::string succ = PrefixSuccessor(last.s, seg.nocase);
    // The texts beginning with p lie in [p, succ) by value; a descending
    // segment meets them in reverse.
    bool useSucc;
    if (top)
      useSucc = strict != seg.descending;
    else
      useSucc = strict == seg.descending;
    if (useSucc && !succ.empty()) last.s = succ;
    // The prefix or its successor is itself inside the range only where
    // texts beginning with p start (ascending top) or end (descending bottom).
    if (top)
      b.cmp = seg.descending ? Cmp::GT : Cmp::GE;
    else
      b.cmp = seg.descending ? Cmp::LE : Cmp::LT;
    if (useSucc && succ.empty()) {
      // A prefix of bytes 0xFF only has no successor: every text of the
      // leading segments' group is below it, none above. The bound falls on
      // the group: past it where the bound lies above, around it where below.
      b.values.pop_back();
      if (top)
        b.cmp = seg.descending ? Cmp::GE : Cmp::GT;
      else
        b.cmp = seg.descending ? Cmp::LT : Cmp::LE;
    }
  } else {
    b.cmp = top ? (strict ? Cmp::GT : Cmp::GE) : (strict ? Cmp::LT : Cmp::LE);
  }
  for (size_t j = 0; j < b.values.size() && j < 32; ++j)
    if (b.values[j].kind == Value::Null) b.nullMask |= 1u << j;
  return b;
}

std::vector<Value> SegmentValues(const std::vector<Segment>& segs,
                                 const std::vector<std::pair<std::string, Value>>& fields,
                                 const std::vector<std::string>& allColumns) {
  auto quote = [](const std::string& name) {
    std::string q = "\"";
    for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
  };
  auto same = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  std::string row;
  int n = 0;
  for (const auto& [name, v] : fields)
    row += (row.empty() ? "" : ", ") + ("?" + std::to_string(++n)) + " AS " + quote(name);
  for (const auto& name : allColumns) {
    bool given = false;
    for (const auto& f : fields) given = given || same(f.first, name);
    if (!given) row += (row.empty() ? "" : ", ") + std::string("NULL AS ") + quote(name);
  }
  std::string cols;
  for (const auto& seg : segs) cols += (cols.empty() ? "" : ", ") + seg.sql;
  std::string sql = "SELECT " + (cols.empty() ? std::string("NULL") : cols) + " FROM (SELECT " +
                    (row.empty() ? std::string("NULL") : row) + ")";
  sqlite3* db = sdbexpr::ScratchConnection();
  sqlite3_stmt* st = nullptr;
  auto fail = [&]() {
    std::string err = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    throw sdbexpr::ExprError("Expression error: " + err, err, 0);
  };
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) fail();
  n = 0;
  for (const auto& f : fields) Bind(st, ++n, f.second);
  std::vector<Value> out;
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) fail();
  for (size_t j = 0; j < segs.size(); ++j)
    out.push_back(Value::FromColumn(st, static_cast<int>(j)));
  sqlite3_finalize(st);
  return out;
}

std::string KeyOfRowQuery(const std::string& from, const std::vector<Segment>& segs) {
  std::string cols;
  for (const auto& seg : segs) cols += (cols.empty() ? "" : ", ") + seg.sql;
  return "SELECT " + (cols.empty() ? std::string("NULL") : cols) + " FROM " + from +
         " WHERE rowid=?1";
}

}  // namespace sdbkey
