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

// Each part: the conditions of one index range, in proximity order.
std::vector<std::string> Parts(const std::vector<Component>& comps, Cmp cmp) {
  bool forward = cmp == Cmp::GE || cmp == Cmp::GT;
  bool inclusive = cmp == Cmp::GE || cmp == Cmp::LE;
  std::vector<std::string> parts;
  auto prefix = [&](size_t j) {
    std::string s;
    for (size_t k = 0; k < j; ++k) s += (s.empty() ? "" : " AND ") + Equal(comps[k]);
    return s;
  };
  if (inclusive) parts.push_back(prefix(comps.size()));
  for (size_t j = comps.size(); j-- > 0;) {
    std::string p = prefix(j);
    for (const auto& b : Beyond(comps[j], forward))
      parts.push_back(p.empty() ? b : p + " AND " + b);
  }
  return parts;
}

std::string Where(const std::string& a, const std::string& b) {
  if (a.empty() && b.empty()) return "";
  if (a.empty()) return " WHERE " + b;
  if (b.empty()) return " WHERE " + a;
  return " WHERE " + a + " AND (" + b + ")";
}

}  // namespace

std::string OrderBy(const std::vector<Segment>& segs, bool reverse) {
  std::string s;
  for (const auto& seg : segs)
    s += seg.sql + Coll(seg) + (seg.descending != reverse ? " DESC" : "") + ", ";
  return s + (reverse ? "rowid DESC" : "rowid");
}

std::string FirstQuery(const std::string& from, const std::vector<Segment>& segs, bool last,
                       const std::string& columns, const std::string& where) {
  return "SELECT " + columns + " FROM " + from + Where("", where) + " ORDER BY " +
         OrderBy(segs, last) + " LIMIT 1";
}

std::string BoundQuery(const std::string& from, const std::vector<Segment>& segs, size_t m,
                       uint32_t nullMask, Cmp cmp, bool withRowid, const std::string& columns,
                       const std::string& where) {
  auto comps = Components(
      segs, m, nullMask, withRowid, [](size_t j) { return static_cast<int>(j) + 1; }, kRowidParam);
  bool forward = cmp == Cmp::GE || cmp == Cmp::GT;
  std::vector<std::string> parts = Parts(comps, cmp);
  std::string order = " ORDER BY " + OrderBy(segs, !forward) + " LIMIT 1";
  if (parts.empty()) return "SELECT " + columns + " FROM " + from + " WHERE 0";
  if (parts.size() == 1)
    return "SELECT " + columns + " FROM " + from + Where(parts[0], where) + order;
  std::string sql;
  for (const auto& p : parts) {
    if (!sql.empty()) sql += " UNION ALL ";
    sql += "SELECT * FROM (SELECT " + columns + " FROM " + from + Where(p, where) + order + ")";
  }
  return sql + " LIMIT 1";
}

std::string KeyCondition(const std::vector<Segment>& segs, size_t m, uint32_t nullMask, Cmp cmp,
                         bool withRowid, int firstParam) {
  auto comps = Components(
      segs, m, nullMask, withRowid, [&](size_t j) { return firstParam + static_cast<int>(j); },
      firstParam + static_cast<int>(std::min(m, segs.size())));
  std::vector<std::string> parts = Parts(comps, cmp);
  if (parts.empty()) return "0";
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "(" : " OR (") + (p.empty() ? "1" : p) + ")";
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

std::string KeyOfRowQuery(const std::string& from, const std::vector<Segment>& segs) {
  std::string cols;
  for (const auto& seg : segs) cols += (cols.empty() ? "" : ", ") + seg.sql;
  return "SELECT " + (cols.empty() ? std::string("NULL") : cols) + " FROM " + from +
         " WHERE rowid=?1";
}

}  // namespace sdbkey
