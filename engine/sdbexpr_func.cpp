// The SQL functions the engine registers with SQLite, the date and time text
// readers behind CTOD/CTOT/CTOTS, and evaluation of one record.
#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "sdbexpr.h"
#include "sdbstore.h"

namespace sdbexpr {
namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string FormatDate(int y, int m, int d) {
  if (!sdbstore::ValidYmd(y, m, d)) return "";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

// Splits a text into runs of digits; answers false when anything else than
// digits and separators appears.
bool DigitGroups(std::string_view s, std::vector<std::string>& groups) {
  std::string cur;
  for (char c : s) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      cur += c;
    } else if (c == '/' || c == '-' || c == '.' || c == ' ' || c == ',') {
      if (!cur.empty()) groups.push_back(cur);
      cur.clear();
    } else {
      return false;
    }
  }
  if (!cur.empty()) groups.push_back(cur);
  return true;
}

int TwoDigitYear(int y) {
  return y < 50 ? 2000 + y : 1900 + y;
}

// The order of year, month and day in a date format, with the width of each.
struct FormatParts {
  char order[3] = {'M', 'D', 'Y'};
  int width[3] = {2, 2, 4};
  int count = 0;
};

FormatParts ReadFormat(std::string_view fmt) {
  FormatParts p;
  int k = 0;
  for (size_t i = 0; i < fmt.size() && k < 3;) {
    char c = sdbstore::UpperChar(fmt[i]);
    if (c == 'C') c = 'Y';
    if (c != 'Y' && c != 'M' && c != 'D') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < fmt.size()) {
      char d = sdbstore::UpperChar(fmt[j]);
      if (d == 'C') d = 'Y';
      if (d != c) break;
      ++j;
    }
    p.order[k] = c;
    p.width[k] = static_cast<int>(j - i);
    ++k;
    i = j;
  }
  p.count = k;
  if (k != 3) p = FormatParts{};
  return p;
}

std::string IsoDate(std::string_view s) {
  // YYYY-MM-DD (one-digit month and day allowed)
  std::vector<std::string> g;
  if (s.size() < 8 || s[4] != '-' || !DigitGroups(s, g) || g.size() != 3 || g[0].size() != 4)
    return "";
  return FormatDate(std::stoi(g[0]), std::stoi(g[1]), std::stoi(g[2]));
}

}  // namespace

std::string DateFromText(std::string_view text, std::string_view dateFormat) {
  std::string_view s = Trimmed(text);
  if (s.empty()) return "";
  if (s.size() >= 8 && s.size() <= 10 && s[4] == '-') return IsoDate(s);
  FormatParts p = ReadFormat(dateFormat);
  std::vector<std::string> g;
  if (!DigitGroups(s, g)) return "";
  const bool all8 = g.size() == 1 && g[0].size() == 8;
  const std::string digits = all8 ? g[0] : "";
  if (g.size() == 1 && g[0].size() == static_cast<size_t>(p.width[0] + p.width[1] + p.width[2])) {
    // All digits, no separators: cut by the format's widths.
    std::string all = g[0];
    g.clear();
    size_t at = 0;
    for (int k = 0; k < 3; ++k) {
      g.push_back(all.substr(at, p.width[k]));
      at += p.width[k];
    }
  }
  auto dtos = [&]() {
    return FormatDate(std::stoi(digits.substr(0, 4)), std::stoi(digits.substr(4, 2)),
                      std::stoi(digits.substr(6, 2)));
  };
  if (g.size() != 3) return all8 ? dtos() : "";
  if (all8 && p.order[0] != 'Y') {
    // Eight digits that are no date in the format: the DTOS form YYYYMMDD.
    bool valid = true;
    int yy = 0, mm = 0, dd = 0;
    for (int k = 0; k < 3; ++k) {
      int v = std::stoi(g[k]);
      if (p.order[k] == 'Y') yy = g[k].size() <= 2 ? TwoDigitYear(v) : v;
      if (p.order[k] == 'M') mm = v;
      if (p.order[k] == 'D') dd = v;
    }
    valid = !FormatDate(yy, mm, dd).empty();
    if (!valid) return dtos();
  }
  int y = 0, m = 0, d = 0;
  for (int k = 0; k < 3; ++k) {
    if (g[k].size() > 4) return "";
    int v = std::stoi(g[k]);
    if (p.order[k] == 'Y')
      y = g[k].size() <= 2 ? TwoDigitYear(v) : v;
    else if (p.order[k] == 'M')
      m = v;
    else
      d = v;
  }
  return FormatDate(y, m, d);
}

std::string TimeFromText(std::string_view text) {
  std::string_view s = Trimmed(text);
  if (s.empty()) return "";
  int ampm = 0;
  if (s.size() >= 2) {
    std::string tail;
    for (char c : s.substr(s.size() - 2)) tail += sdbstore::UpperChar(c);
    if (tail == "AM" || tail == "PM") {
      ampm = tail == "AM" ? 1 : 2;
      s = Trimmed(s.substr(0, s.size() - 2));
    }
  }
  int part[3] = {0, 0, 0};
  int ms = 0;
  int k = 0;
  size_t i = 0;
  while (k < 3) {
    size_t j = i;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    if (j == i || j - i > 2) return "";
    part[k++] = std::stoi(std::string(s.substr(i, j - i)));
    i = j;
    if (i == s.size()) break;
    if (s[i] == ':' && k < 3) {
      ++i;
      continue;
    }
    if (s[i] == '.' && k == 3) break;
    return "";
  }
  if (k < 2) return "";
  if (i < s.size()) {
    if (s[i] != '.') return "";
    std::string frac(s.substr(i + 1));
    if (frac.empty() || frac.size() > 9) return "";
    for (char c : frac)
      if (!std::isdigit(static_cast<unsigned char>(c))) return "";
    frac = (frac + "000").substr(0, 3);
    ms = std::stoi(frac);
  }
  int h = part[0];
  if (ampm) {
    if (h < 1 || h > 12) return "";
    h = h % 12 + (ampm == 2 ? 12 : 0);
  }
  if (h > 23 || part[1] > 59 || part[2] > 59) return "";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", h, part[1], part[2], ms);
  return buf;
}

std::string TimestampFromText(std::string_view text, std::string_view dateFormat) {
  std::string_view s = Trimmed(text);
  if (s.empty()) return "";
  size_t cut = s.find_first_of(" T");
  if (cut != std::string_view::npos && s[cut] == 'T' && !(cut == 10 && s[4] == '-'))
    cut = s.find(' ');
  std::string date = DateFromText(s.substr(0, cut), dateFormat);
  if (date.empty()) return "";
  std::string time = "00:00:00.000";
  if (cut != std::string_view::npos) {
    time = TimeFromText(s.substr(cut + 1));
    if (time.empty()) return "";
  }
  return date + " " + time;
}

namespace {

// ------------------------------------------------------------ CONTAINS

// Words of a text, ASCII letters folded to lower case.
std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  std::string cur;
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '_' || c >= 0x80) {
      cur += sdbstore::LowerChar(ch);
    } else if (!cur.empty()) {
      out.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// A search condition: words (a trailing or leading * matches a prefix or
// suffix), "quoted phrases", AND (also implied between terms), OR, NOT and
// parentheses.
class ContainsMatcher {
 public:
  ContainsMatcher(std::string_view text, std::string_view search)
      : FWords(Words(text)), FLowered(sdbstore::Lower(text)) {
    Lex(search);
  }
  bool Match() {
    if (FTokens.empty()) return false;
    FPos = 0;
    bool r = Or();
    return r;
  }

 private:
  enum class SearchKind { Term, Phrase, And, Or, Not, Open, Close };
  struct SearchToken {
    SearchKind kind;
    std::string text;  // a term or phrase, lower case
  };
  void Lex(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
      char c = s[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '"' || c == '\'') {
        size_t e = s.find(c, i + 1);
        if (e == std::string_view::npos) e = s.size();
        FTokens.push_back({SearchKind::Phrase, sdbstore::Lower(s.substr(i + 1, e - i - 1))});
        i = e + 1;
      } else if (c == '(' || c == ')') {
        FTokens.push_back({c == '(' ? SearchKind::Open : SearchKind::Close, ""});
        ++i;
      } else {
        size_t e = i;
        while (e < s.size() && !std::isspace(static_cast<unsigned char>(s[e])) && s[e] != '(' &&
               s[e] != ')')
          ++e;
        std::string w(s.substr(i, e - i));
        std::string u = sdbstore::Lower(w);
        if (u == "and" || u == "&")
          FTokens.push_back({SearchKind::And, ""});
        else if (u == "or" || u == "|")
          FTokens.push_back({SearchKind::Or, ""});
        else if (u == "not" || u == "!")
          FTokens.push_back({SearchKind::Not, ""});
        else
          FTokens.push_back({SearchKind::Term, u});
        i = e;
      }
    }
  }
  bool AtEnd() const { return FPos >= FTokens.size(); }
  bool Or() {
    bool r = And();
    while (!AtEnd() && FTokens[FPos].kind == SearchKind::Or) {
      ++FPos;
      bool b = And();
      r = r || b;
    }
    return r;
  }
  bool And() {
    bool r = Unary();
    while (!AtEnd() && FTokens[FPos].kind != SearchKind::Or &&
           FTokens[FPos].kind != SearchKind::Close) {
      if (FTokens[FPos].kind == SearchKind::And) ++FPos;
      bool b = Unary();
      r = r && b;
    }
    return r;
  }
  bool Unary() {
    if (AtEnd()) return true;
    const SearchToken& t = FTokens[FPos];
    if (t.kind == SearchKind::Not) {
      ++FPos;
      return !Unary();
    }
    if (t.kind == SearchKind::Open) {
      ++FPos;
      bool r = Or();
      if (!AtEnd() && FTokens[FPos].kind == SearchKind::Close) ++FPos;
      return r;
    }
    ++FPos;
    if (t.kind == SearchKind::Phrase)
      return t.text.empty() || FLowered.find(t.text) != std::string::npos;
    if (t.kind == SearchKind::Term) return Term(t.text);
    return true;
  }
  bool Term(const std::string& w) {
    bool pre = w.size() > 1 && w.back() == '*';
    bool suf = w.size() > 1 && w.front() == '*';
    std::string core = w.substr(suf ? 1 : 0, w.size() - (suf ? 1 : 0) - (pre ? 1 : 0));
    if (core.empty() || core == "*") return !FWords.empty();
    for (const auto& x : FWords) {
      if (pre && suf) {
        if (x.find(core) != std::string::npos) return true;
      } else if (pre) {
        if (x.compare(0, core.size(), core) == 0) return true;
      } else if (suf) {
        if (x.size() >= core.size() && x.compare(x.size() - core.size(), core.size(), core) == 0)
          return true;
      } else if (x == core) {
        return true;
      }
    }
    return false;
  }

  std::vector<std::string> FWords;
  std::string FLowered;
  std::vector<SearchToken> FTokens;
  size_t FPos = 0;
};

// ------------------------------------------------------------ SQL glue

std::string_view TextArg(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string_view(reinterpret_cast<const char*>(p), sqlite3_value_bytes(v))
           : std::string_view();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void FnCtod(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string_view fmt = argc > 1 ? TextArg(argv[1]) : std::string_view("MM/DD/CCYY");
  ResultText(ctx, DateFromText(TextArg(argv[0]), fmt));
}

void FnCtots(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string_view fmt = argc > 1 ? TextArg(argv[1]) : std::string_view("MM/DD/CCYY");
  ResultText(ctx, TimestampFromText(TextArg(argv[0]), fmt));
}

void FnCtot(sqlite3_context* ctx, int, sqlite3_value** argv) {
  ResultText(ctx, TimeFromText(TextArg(argv[0])));
}

void FnContains(sqlite3_context* ctx, int, sqlite3_value** argv) {
  ContainsMatcher m(TextArg(argv[0]), TextArg(argv[1]));
  sqlite3_result_int(ctx, m.Match() ? 1 : 0);
}

}  // namespace

namespace {
struct Scratch {
  sqlite3* db = nullptr;
  Scratch() {
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
      return;
    SdbRegisterSqlFunctions(db);
    // A double-quoted name that is no column must fail, not read as text.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  }
  ~Scratch() { sqlite3_close(db); }
};
}  // namespace

sqlite3* ScratchConnection() {
  thread_local Scratch scratch;
  return scratch.db;
}

LogicalEvaluator::LogicalEvaluator(sqlite3* db, const std::string& from,
                                   const std::string& logicalSql)
    : FDb(db) {
  std::string sql =
      "SELECT CASE WHEN " + logicalSql + " THEN 1 ELSE 0 END FROM " + from + " WHERE rowid=?1";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &FStmt, nullptr) != SQLITE_OK) {
    std::string err = sqlite3_errmsg(db);
    throw ExprError("Expression error: " + err, err, 0);
  }
}

LogicalEvaluator::~LogicalEvaluator() {
  sqlite3_finalize(FStmt);
}

std::optional<bool> LogicalEvaluator::Eval(int64_t rowid) {
  sqlite3_reset(FStmt);
  sqlite3_bind_int64(FStmt, 1, rowid);
  int rc = sqlite3_step(FStmt);
  std::optional<bool> out;
  if (rc == SQLITE_ROW) out = sqlite3_column_int(FStmt, 0) != 0;
  std::string err = rc == SQLITE_ROW || rc == SQLITE_DONE ? "" : sqlite3_errmsg(FDb);
  sqlite3_reset(FStmt);
  if (!err.empty()) throw ExprError("Expression error: " + err, err, 0);
  return out;
}

std::optional<bool> EvalLogical(sqlite3* db, const std::string& from, int64_t rowid,
                                const std::string& logicalSql) {
  if (rowid >= 0) return LogicalEvaluator(db, from, logicalSql).Eval(rowid);
  std::string sql = "SELECT CASE WHEN " + logicalSql + " THEN 1 ELSE 0 END FROM " + from;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    std::string err = sqlite3_errmsg(db);
    throw ExprError("Expression error: " + err, err, 0);
  }
  int rc = sqlite3_step(st);
  std::optional<bool> out;
  if (rc == SQLITE_ROW) out = sqlite3_column_int(st, 0) != 0;
  std::string err = rc == SQLITE_ROW || rc == SQLITE_DONE ? "" : sqlite3_errmsg(db);
  sqlite3_finalize(st);
  if (!err.empty()) throw ExprError("Expression error: " + err, err, 0);
  return out;
}

}  // namespace sdbexpr

int SdbRegisterSqlFunctions(sqlite3* db) {
  using namespace sdbexpr;
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  struct Fn {
    const char* name;
    int argc;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  static const Fn fns[] = {{"sdb_ctod", 1, FnCtod},   {"sdb_ctod", 2, FnCtod},
                           {"sdb_ctots", 1, FnCtots}, {"sdb_ctots", 2, FnCtots},
                           {"sdb_ctot", 1, FnCtot},   {"sdb_contains", 2, FnContains}};
  for (const Fn& f : fns) {
    int rc = sqlite3_create_function_v2(db, f.name, f.argc, flags, nullptr, f.fn, nullptr, nullptr,
                                        nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}
