// The engine's SQL dialect on SQLite: statement splitting, translation of DDL
// with the engine's type names into tables, indexes and catalog rows, the
// markers and column lists of DML, catalog procedures and result layouts.
#include <cctype>
#include <cstring>
#include <initializer_list>

#include "sdbstore.h"

namespace sdbstore {

namespace {

enum class Tok { Word, Quoted, String, Number, Param, Punct, End };

struct Token {
  Tok kind = Tok::End;
  size_t begin = 0, end = 0;  // span in the text
  std::string text;           // word/quoted name unquoted, string unquoted, punct as is
};

[[noreturn]] void Syntax(const std::string& why) {
  throw StoreError(kErrSql, "Error 7200:  State = 42000;   NativeError = 1;  " + why, 1);
}

bool IsIdentStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}

// Skips blanks and comments from i; answers the new position.
size_t SkipSpace(std::string_view s, size_t i) {
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i]))) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      size_t e = s.find("*/", i + 2);
      i = e == std::string_view::npos ? s.size() : e + 2;
    } else {
      break;
    }
  }
  return i;
}

// Reads a quoted run starting at i (s[i] is the opening quote); doubled
// closing quotes stand for one. Answers the position after the closing quote.
size_t ReadQuoted(std::string_view s, size_t i, char close, std::string& out) {
  ++i;
  while (i < s.size()) {
    if (s[i] == close) {
      if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
        out += close;
        i += 2;
        continue;
      }
      return i + 1;
    }
    out += s[i++];
  }
  Syntax(std::string("A quoted text is never closed (missing ") + close + ").");
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = SkipSpace(s, 0);
  while (i < s.size()) {
    Token t;
    t.begin = i;
    char c = s[i];
    if (IsIdentStart(c)) {
      while (i < s.size() && IsIdentChar(s[i])) ++i;
      t.kind = Tok::Word;
      t.text = std::string(s.substr(t.begin, i - t.begin));
    } else if (c == '"' || c == '`') {
      t.kind = Tok::Quoted;
      i = ReadQuoted(s, i, c, t.text);
    } else if (c == '[') {
      t.kind = Tok::Quoted;
      i = ReadQuoted(s, i, ']', t.text);
    } else if (c == '\'') {
      t.kind = Tok::String;
      i = ReadQuoted(s, i, '\'', t.text);
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() &&
                std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.')) {
        if ((s[i] == 'e' || s[i] == 'E') && i + 1 < s.size() &&
            (s[i + 1] == '+' || s[i + 1] == '-'))
          ++i;
        ++i;
      }
      t.kind = Tok::Number;
      t.text = std::string(s.substr(t.begin, i - t.begin));
    } else if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
      i += 2;  // "::" is a literal colon, no marker
      t.kind = Tok::Punct;
      t.text = "::";
    } else if (c == ':') {
      // The component layer counts markers by the same rule: a single colon
      // always starts one (its name may be empty); a name in double, single
      // or back quotes runs to the matching quote, any other up to a line
      // feed, carriage return, tab, blank, ")", "," or ";".
      ++i;
      t.kind = Tok::Param;
      if (i < s.size() && (s[i] == '"' || s[i] == '\'' || s[i] == '`')) {
        size_t close = s.find(s[i], i + 1);
        if (close == std::string_view::npos)
          Syntax(std::string("A quoted parameter name is never closed (missing ") + s[i] + ").");
        t.text = std::string(s.substr(i + 1, close - i - 1));
        i = close + 1;
      } else {
        size_t start = i;
        while (i < s.size() && !std::strchr("\n\r\t ),;", s[i])) ++i;
        t.text = std::string(s.substr(start, i - start));
      }
    } else if ((c == '@' || c == '$') && i + 1 < s.size() && IsIdentStart(s[i + 1])) {
      // Another form of named marker would be numbered apart from the
      // layer's, so parameters would bind to the wrong places.
      Syntax(std::string("Parameters are written :name, not ") + c + "name.");
    } else if (c == '?') {
      ++i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::Param;
    } else {
      static const char* two[] = {"<=", ">=", "<>", "!=", "==", "||", "<<", ">>"};
      t.kind = Tok::Punct;
      size_t n = 1;
      for (const char* op : two)
        if (s.compare(i, 2, op) == 0) n = 2;
      t.text = std::string(s.substr(i, n));
      i += n;
    }
    t.end = i;
    out.push_back(std::move(t));
    i = SkipSpace(s, i);
  }
  Token end;
  end.kind = Tok::End;
  end.begin = end.end = s.size();
  out.push_back(end);
  return out;
}

bool Is(const Token& t, const char* word) {
  return t.kind == Tok::Word && EqualNoCase(t.text, word);
}
bool IsP(const Token& t, const char* punct) {
  return t.kind == Tok::Punct && t.text == punct;
}
bool IsName(const Token& t) {
  return t.kind == Tok::Word || t.kind == Tok::Quoted;
}

// A cursor over the tokens of one statement.
struct Parser {
  std::string_view text;
  std::vector<Token> toks;
  size_t pos = 0;

  const Token& Peek(size_t ahead = 0) const {
    size_t k = pos + ahead;
    return k < toks.size() ? toks[k] : toks.back();
  }
  const Token& Next() {
    const Token& t = Peek();
    if (pos < toks.size() - 1) ++pos;
    return t;
  }
  bool Accept(const char* word) {
    if (Is(Peek(), word)) return Next(), true;
    return false;
  }
  bool AcceptP(const char* p) {
    if (IsP(Peek(), p)) return Next(), true;
    return false;
  }
  void Expect(const char* word) {
    if (!Accept(word)) Syntax(std::string("Expected ") + word + " near '" + Near() + "'.");
  }
  void ExpectP(const char* p) {
    if (!AcceptP(p)) Syntax(std::string("Expected '") + p + "' near '" + Near() + "'.");
  }
  std::string Name(const char* what) {
    const Token& t = Peek();
    if (!IsName(t)) Syntax(std::string("Expected ") + what + " near '" + Near() + "'.");
    Next();
    return t.text;
  }
  std::string Near() const {
    const Token& t = Peek();
    if (t.kind == Tok::End) return "end of statement";
    return std::string(text.substr(t.begin, std::min<size_t>(30, text.size() - t.begin)));
  }
  bool AtEnd() const { return Peek().kind == Tok::End || IsP(Peek(), ";"); }
  // The source text of tokens [from, to).
  std::string Span(size_t from, size_t to) const {
    if (from >= to) return {};
    return std::string(text.substr(toks[from].begin, toks[to - 1].end - toks[from].begin));
  }
};

// Rewrites the statement text: [names] become "names", markers become ?N in
// text order (params receives their names), and an INSERT without a column
// list gets insertCols right after the table name (at insertAt, a token index).
std::string Rewrite(const Parser& p, std::vector<std::string>& params, size_t insertAt = SIZE_MAX,
                    const std::string& insertCols = {}, size_t replaceAt = SIZE_MAX,
                    const std::string& replaceText = {}) {
  std::string out;
  size_t last = 0;
  for (size_t k = 0; k + 1 < p.toks.size(); ++k) {
    const Token& t = p.toks[k];
    std::string repl;
    bool replace = false;
    if (t.kind == Tok::Param) {
      params.push_back(t.text);
      repl = "?" + std::to_string(params.size());
      replace = true;
    } else if (t.kind == Tok::Quoted && p.text[t.begin] != '"') {
      repl = QuoteIdent(t.text);
      replace = true;
    } else if (t.kind == Tok::String) {
      // Timestamps and times are stored with milliseconds: a literal written
      // without them is given them, so it is stored and compared alike.
      std::string canonical = CanonicalTimeText(t.text);
      if (canonical != t.text) {
        repl = "'" + canonical + "'";
        replace = true;
      }
    }
    if (k == replaceAt) {
      repl = replaceText;
      replace = true;
    }
    if (replace) {
      out.append(p.text.substr(last, t.begin - last));
      out += repl;
      last = t.end;
    }
    if (k == insertAt) {
      out.append(p.text.substr(last, t.end - last));
      out += " " + insertCols;
      last = t.end;
    }
  }
  out.append(p.text.substr(last));
  // Drop a trailing ";": one statement at a time.
  while (!out.empty() &&
         (out.back() == ';' || std::isspace(static_cast<unsigned char>(out.back()))))
    out.pop_back();
  return out;
}

// The source text of a type spelling: word [ ( n [, m] ) ].
std::string TypeText(Parser& p) {
  if (p.Peek().kind != Tok::Word) Syntax("Expected a field type near '" + p.Near() + "'.");
  std::string s = p.Next().text;
  if (IsP(p.Peek(), "(")) {
    size_t from = p.pos;
    while (!p.AtEnd() && !IsP(p.Peek(), ")")) p.Next();
    p.ExpectP(")");
    s += p.Span(from, p.pos);
  }
  return s;
}

uint32_t RightsWord(const std::string& w) {
  if (EqualNoCase(w, "SELECT") || EqualNoCase(w, "READ")) return kRightRead;
  if (EqualNoCase(w, "UPDATE")) return kRightUpdate;
  if (EqualNoCase(w, "INSERT")) return kRightInsert;
  if (EqualNoCase(w, "DELETE")) return kRightDelete;
  if (EqualNoCase(w, "ALL")) return kRightAll;
  Syntax("Unknown right " + w + ".");
}

}  // namespace

std::vector<std::string> StatementNames(std::string_view sql) {
  std::vector<std::string> names;
  for (const Token& t : Tokenize(sql))
    if (IsName(t)) names.push_back(t.text);
  return names;
}

std::vector<std::string> ParamNames(std::string_view sql) {
  std::vector<std::string> names;
  for (const Token& t : Tokenize(sql))
    if (t.kind == Tok::Param) names.push_back(t.text);
  return names;
}

// ---------------------------------------------------------------- splitting

std::vector<std::string> SplitStatements(std::string_view script) {
  std::vector<std::string> out;
  size_t start = 0, i = 0;
  int depth = 0;         // BEGIN ... END of trigger bodies
  bool trigger = false;  // the current statement creates a trigger
  bool sawWord = false;  // words seen in the current statement
  std::string first, second, third;
  auto flush = [&](size_t end) {
    std::string_view st = script.substr(start, end - start);
    size_t b = SkipSpace(st, 0);
    std::string s(st.substr(b));
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    if (!s.empty()) out.push_back(std::move(s));
    depth = 0;
    trigger = sawWord = false;
    first.clear(), second.clear(), third.clear();
  };
  while (i < script.size()) {
    char c = script[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      std::string dummy;
      i = ReadQuoted(script, i, c == '[' ? ']' : c, dummy);
    } else if (script.compare(i, 2, "--") == 0 || script.compare(i, 2, "/*") == 0) {
      i = SkipSpace(script, i);
    } else if (IsIdentStart(c)) {
      size_t b = i;
      while (i < script.size() && IsIdentChar(script[i])) ++i;
      std::string w = Upper(script.substr(b, i - b));
      if (!sawWord)
        first = w;
      else if (second.empty())
        second = w;
      else if (third.empty())
        third = w;
      sawWord = true;
      if (first == "CREATE" && (second == "TRIGGER" || third == "TRIGGER")) trigger = true;
      if (trigger && (w == "BEGIN" || w == "CASE")) ++depth;
      if (trigger && w == "END" && depth > 0) --depth;
    } else if (c == ';') {
      if (depth == 0) {
        flush(i);
        start = i + 1;
      }
      ++i;
    } else {
      ++i;
    }
  }
  flush(script.size());
  return out;
}

// ---------------------------------------------------------------- translation

namespace {

bool IsAny(const Token& t, std::initializer_list<const char*> words) {
  for (const char* w : words)
    if (Is(t, w)) return true;
  return false;
}

// Statements SQLite runs as written once names and markers are rewritten.
Translation Passthrough(const Parser& p, StatementKind kind) {
  Translation tr;
  tr.kind = kind;
  tr.sql = Rewrite(p, tr.params);
  return tr;
}

// Statements the engine carries out itself keep their text as given.
Translation Interpreted(const Parser& p, StatementKind kind) {
  Translation tr;
  tr.kind = kind;
  tr.sql = std::string(p.text);
  return tr;
}

// A statement ends where its grammar ends: anything after is a fault.
void ExpectEnd(const Parser& p, const char* where = "") {
  if (!p.AtEnd()) Syntax(std::string("Unexpected text ") + where + "near '" + p.Near() + "'.");
}

// A field list of the table's fields in order: "(A, B, C)" without the
// brackets when `bracket` is false.
std::string FieldList(const TableDef& t, bool bracket) {
  std::string out = bracket ? "(" : "";
  for (size_t i = 0; i < t.fields.size(); ++i)
    out += (i ? ", " : "") + QuoteIdent(t.fields[i].name);
  return bracket ? out + ")" : out;
}

// A SELECT of one engine table with nothing that merges rows may feed a live
// cursor: the record number then rides along (DescribeResult hides it), so
// the cursor knows which record each row is.
void MarkSingleTable(Database& db, const Parser& p, Translation& tr) {
  int depth = 0;
  bool simple = true;
  size_t fromAt = 0;
  for (size_t k = 1; k + 1 < p.toks.size(); ++k) {
    const Token& t = p.toks[k];
    if (IsP(t, "(")) ++depth;
    if (IsP(t, ")")) --depth;
    if (depth > 0) continue;
    if (IsAny(t, {"DISTINCT", "GROUP", "UNION", "EXCEPT", "INTERSECT", "JOIN", "HAVING", "WINDOW",
                  "OVER"}))
      simple = false;
    // An aggregate makes one row of many.
    if (t.kind == Tok::Word && IsP(p.toks[k + 1], "(") && !fromAt)
      for (const char* agg : {"COUNT", "SUM", "AVG", "MIN", "MAX", "TOTAL", "GROUP_CONCAT"})
        if (EqualNoCase(t.text, agg)) simple = false;
    if (Is(t, "FROM") && !fromAt) fromAt = k;
  }
  if (!simple || !fromAt || !IsName(p.toks[fromAt + 1])) return;
  size_t k = fromAt + 2;
  if (IsP(p.toks[k], ".") && IsName(p.toks[k + 1])) simple = false;  // schema.table
  if (Is(p.toks[k], "AS")) ++k;
  if (p.toks[k].kind == Tok::Word && !IsAny(p.toks[k], {"WHERE", "ORDER", "LIMIT"})) ++k;  // alias
  std::string alias;
  if (Is(p.toks[k], "AS")) alias = p.toks[k + 1].text;
  size_t a = fromAt + 2;
  if (Is(p.toks[a], "AS")) ++a;
  if (a < k) alias = p.toks[a].text;
  if (IsP(p.toks[k], ",")) simple = false;
  tr.table = p.toks[fromAt + 1].text;
  tr.singleTable = simple && db.FindTable(tr.table) != nullptr;
  if (tr.singleTable) {
    std::string col = QuoteIdent(alias.empty() ? tr.table : alias) + ".\"sdb_recno\", ";
    size_t at = tr.sql.find_first_not_of(" \t\r\n", 6);  // after SELECT
    tr.sql.insert(at == std::string::npos ? tr.sql.size() : at, col);
  }
}

Translation TranslateQuery(Database& db, const Parser& p) {
  Translation tr = Passthrough(p, StatementKind::Select);
  if (Is(p.Peek(), "SELECT")) MarkSingleTable(db, p, tr);
  return tr;
}

Translation TranslateInsert(Database& db, Parser& p) {
  Translation tr;
  tr.kind = StatementKind::Insert;
  p.Next();
  if (p.Accept("OR")) p.Next();
  p.Expect("INTO");
  size_t nameAt = p.pos;
  tr.table = p.Name("a table name");
  size_t insertAt = SIZE_MAX;
  std::string cols;
  auto t = db.FindTable(tr.table);
  // Without a column list the values are the engine's fields, in order: the
  // hidden record number column must not take the first value.
  if (t && !IsP(p.Peek(), "(") && !Is(p.Peek(), "DEFAULT")) {
    insertAt = nameAt;
    if (Is(p.Peek(), "AS")) insertAt = p.pos + 1;
    cols = FieldList(*t, true);
  }
  // INSERT ... SELECT * FROM <engine table>: the star names the fields, not
  // the hidden record number.
  size_t starAt = SIZE_MAX;
  std::string star;
  for (size_t k = p.pos; k + 3 < p.toks.size(); ++k)
    if (Is(p.toks[k], "SELECT")) {
      if (IsP(p.toks[k + 1], "*") && Is(p.toks[k + 2], "FROM") && IsName(p.toks[k + 3]))
        if (auto src = db.FindTable(p.toks[k + 3].text)) {
          starAt = k + 1;
          star = FieldList(*src, false);
        }
      break;
    }
  tr.sql = Rewrite(p, tr.params, insertAt, cols, starAt, star);
  return tr;
}

// UPDATE [OR conflict] table ...
Translation TranslateUpdate(Parser& p) {
  Translation tr;
  tr.kind = StatementKind::Update;
  p.Next();
  if (p.Accept("OR")) p.Next();
  tr.table = p.Name("a table name");
  tr.sql = Rewrite(p, tr.params);
  return tr;
}

// DELETE [FROM] table ...
Translation TranslateDelete(Parser& p) {
  Translation tr;
  tr.kind = StatementKind::Delete;
  p.Next();
  p.Accept("FROM");
  tr.table = p.Name("a table name");
  tr.sql = Rewrite(p, tr.params);
  return tr;
}

// EXECUTE PROCEDURE name [( args )]: literals, names and markers.
Translation TranslateProcedure(Parser& p) {
  p.Next();
  p.Expect("PROCEDURE");
  Translation tr = Interpreted(p, StatementKind::Procedure);
  tr.procedure = p.Name("a procedure name");
  if (p.AcceptP("(")) {
    while (!p.AtEnd() && !IsP(p.Peek(), ")")) {
      const Token& a = p.Next();
      bool neg = false;
      const Token* v = &a;
      if (IsP(a, "-") && p.Peek().kind == Tok::Number) {
        neg = true;
        v = &p.Next();
      }
      switch (v->kind) {
        case Tok::String:
        case Tok::Number:
        case Tok::Word:
        case Tok::Quoted:
          tr.args.push_back((neg ? "-" : "") + v->text);
          break;
        case Tok::Param:
          tr.params.push_back(v->text);
          tr.args.push_back(std::string(p.text.substr(v->begin, v->end - v->begin)));
          break;
        default:
          Syntax("Unexpected '" + v->text + "' in the arguments of " + tr.procedure + ".");
      }
      if (!p.AcceptP(",")) break;
    }
    p.ExpectP(")");
  }
  ExpectEnd(p, "after the procedure call ");
  return tr;
}

// GRANT rights [(fields)], ... ON table TO grantees; REVOKE ... FROM grantees.
Translation TranslateRights(Parser& p) {
  bool grant = Is(p.Peek(), "GRANT");
  Translation tr = Interpreted(p, grant ? StatementKind::Grant : StatementKind::Revoke);
  p.Next();
  do {
    std::string w = p.Name("a right");
    uint32_t bits = RightsWord(w);
    if (bits == kRightAll) p.Accept("PRIVILEGES");
    if (p.AcceptP("(")) {
      do tr.rights.push_back({bits, p.Name("a field name")});
      while (p.AcceptP(","));
      p.ExpectP(")");
    } else {
      tr.rights.push_back({bits, ""});
    }
  } while (p.AcceptP(","));
  p.Expect("ON");
  tr.table = p.Name("a table name");
  p.Expect(grant ? "TO" : "FROM");
  do tr.args.push_back(p.Name("a user or group"));
  while (p.AcceptP(","));
  ExpectEnd(p);
  return tr;
}

// ALTER TABLE t ADD [COLUMN] f type | RENAME TO t2 | RENAME [COLUMN] f TO f2.
Translation TranslateAlterTable(Parser& p) {
  p.Next();
  p.Expect("TABLE");
  Translation tr = Interpreted(p, StatementKind::AlterTable);
  tr.table = p.Name("a table name");
  if (p.Accept("ADD")) {
    p.Accept("COLUMN");
    std::string name = p.Name("a field name");
    FieldDef f = ParseTypeName(TypeText(p));
    f.name = name;
    tr.fields.push_back(std::move(f));
  } else if (p.Accept("RENAME")) {
    if (p.Accept("TO")) {
      tr.args = {p.Name("a table name")};
    } else {
      p.Accept("COLUMN");
      std::string from = p.Name("a field name");
      p.Expect("TO");
      tr.args = {from, p.Name("a field name")};
    }
  } else {
    Syntax("ALTER TABLE can add a field or rename the table or a field; near '" + p.Near() + "'.");
  }
  ExpectEnd(p);
  return tr;
}

// DROP TABLE [IF EXISTS] t; DROP INDEX [IF EXISTS] [t.]i [ON t]; any other
// DROP goes to SQLite.
Translation TranslateDrop(Parser& p) {
  p.Next();
  bool table = p.Accept("TABLE");
  bool index = !table && p.Accept("INDEX");
  if (!table && !index) return Passthrough(p, StatementKind::Other);
  Translation tr = Interpreted(p, table ? StatementKind::DropTable : StatementKind::DropIndex);
  if (p.Accept("IF")) {
    p.Expect("EXISTS");
    tr.ifExists = true;
  }
  std::string a = p.Name(table ? "a table name" : "an index name");
  if (p.AcceptP(".")) {
    tr.table = a;
    tr.index.name = p.Name("an index name");
  } else if (table) {
    tr.table = a;
  } else {
    tr.index.name = a;
    if (p.Accept("ON")) tr.table = p.Name("a table name");
  }
  ExpectEnd(p);
  return tr;
}

// A DEFAULT clause of a field: a literal, a signed number or a bracketed
// expression; answers its source text.
std::string DefaultClause(Parser& p) {
  size_t from = p.pos;
  if (p.AcceptP("(")) {
    int depth = 1;
    while (!p.AtEnd() && depth) {
      if (IsP(p.Peek(), "(")) ++depth;
      if (IsP(p.Peek(), ")")) --depth;
      p.Next();
    }
  } else {
    if (IsP(p.Peek(), "-") || IsP(p.Peek(), "+")) p.Next();
    const Token& v = p.Next();
    if (v.kind != Tok::String && v.kind != Tok::Number && v.kind != Tok::Word)
      Syntax("DEFAULT needs a literal near '" + p.Near() + "'.");
  }
  return p.Span(from, p.pos);
}

// One field of CREATE TABLE: name, type and column constraints. A PRIMARY
// KEY field's name goes to `primary`.
FieldDef FieldDefinition(Parser& p, std::vector<std::string>& primary) {
  if (IsAny(p.Peek(), {"PRIMARY", "UNIQUE", "CONSTRAINT", "FOREIGN", "CHECK"}))
    Syntax("Table constraints are not supported; create an index with CREATE INDEX.");
  std::string name = p.Name("a field name");
  FieldDef f = ParseTypeName(TypeText(p));
  f.name = name;
  while (!p.AtEnd() && !IsP(p.Peek(), ",") && !IsP(p.Peek(), ")")) {
    if (p.Accept("NOT")) {
      p.Expect("NULL");
      f.nullable = false;
    } else if (p.Accept("NULL")) {
      f.nullable = true;
    } else if (p.Accept("DEFAULT")) {
      f.defaultValue = DefaultClause(p);
    } else if (p.Accept("PRIMARY")) {
      p.Expect("KEY");
      primary.push_back(name);
    } else if (p.Accept("CONSTRAINT")) {
      p.Name("a constraint name");
    } else {
      Syntax("Unexpected '" + p.Near() + "' in the definition of field " + name + ".");
    }
  }
  return f;
}

// CREATE TABLE t (fields); p stands after TABLE.
Translation TranslateCreateTable(Parser& p) {
  Translation tr = Interpreted(p, StatementKind::CreateTable);
  tr.table = p.Name("a table name");
  p.ExpectP("(");
  std::vector<std::string> primary;
  do tr.fields.push_back(FieldDefinition(p, primary));
  while (p.AcceptP(","));
  p.ExpectP(")");
  if (primary.size() > 1) Syntax("A table has one primary key.");
  if (!primary.empty()) {
    tr.index.name = primary[0];
    tr.index.unique = tr.index.candidate = tr.index.primary = true;
    tr.index.segments.push_back({primary[0], QuoteIdent(primary[0]), false});
  }
  ExpectEnd(p, "after the field list ");
  return tr;
}

// The segment of an index over the tokens [from, to): a field, or an
// expression whose field names are quoted (the first one names the segment).
IndexSegment IndexSegmentOf(const Parser& p, const TableDef& t, size_t from, size_t to) {
  IndexSegment g;
  if (to - from == 1 && IsName(p.toks[from])) {
    int fi = t.FieldIndex(p.toks[from].text);
    if (fi < 0) Syntax("Column not found: " + p.toks[from].text + " in table " + t.name + ".");
    g.field = t.fields[fi].name;
    g.expression = QuoteIdent(g.field);
    return g;
  }
  std::string seg;
  size_t last = p.toks[from].begin;
  for (size_t k = from; k < to; ++k) {
    const Token& x = p.toks[k];
    if (x.kind == Tok::Param) Syntax("An index cannot hold a parameter.");
    if (IsName(x)) {
      int fi = t.FieldIndex(x.text);
      if (fi >= 0 && !IsP(p.toks[k + 1], "(")) {
        seg.append(p.text.substr(last, x.begin - last));
        seg += QuoteIdent(t.fields[fi].name);
        last = x.end;
        if (g.field.empty()) g.field = t.fields[fi].name;
      }
    }
  }
  seg.append(p.text.substr(last, p.toks[to - 1].end - last));
  g.expression = seg;
  return g;
}

// The WHERE condition of an index, from token `from` to the end, with
// bracketed names quoted; it may hold no marker.
std::string IndexCondition(const Parser& p, size_t from) {
  std::vector<std::string> markers;
  Parser sub;
  sub.text = p.text.substr(0, p.toks[p.pos].begin);
  sub.toks.assign(p.toks.begin() + from, p.toks.begin() + p.pos);
  Token end;
  end.begin = end.end = sub.text.size();
  sub.toks.push_back(end);
  std::string cond = Rewrite(sub, markers);
  if (!markers.empty()) Syntax("An index condition cannot hold a parameter.");
  return cond.substr(p.toks[from].begin);
}

// CREATE [UNIQUE] INDEX i ON t (segments [ASC|DESC], ...) [WHERE condition];
// p stands after INDEX.
Translation TranslateCreateIndex(Database& db, Parser& p, bool unique) {
  Translation tr = Interpreted(p, StatementKind::CreateIndex);
  tr.index.unique = tr.index.candidate = unique;
  tr.index.name = p.Name("an index name");
  p.Expect("ON");
  tr.table = p.Name("a table name");
  auto t = db.GetTable(tr.table);
  p.ExpectP("(");
  do {
    size_t from = p.pos;
    int depth = 0;
    while (!p.AtEnd()) {
      if (depth == 0 && (IsP(p.Peek(), ",") || IsP(p.Peek(), ")"))) break;
      if (depth == 0 && (Is(p.Peek(), "ASC") || Is(p.Peek(), "DESC"))) break;
      if (IsP(p.Peek(), "(")) ++depth;
      if (IsP(p.Peek(), ")")) --depth;
      p.Next();
    }
    size_t to = p.pos;
    if (to == from) Syntax("An index segment is empty near '" + p.Near() + "'.");
    bool descending = p.Accept("DESC");
    if (!descending) p.Accept("ASC");
    IndexSegment g = IndexSegmentOf(p, *t, from, to);
    g.descending = descending;
    // The engine's key expression: the segments as written, ";" between.
    if (!tr.index.keyExpression.empty()) tr.index.keyExpression += ";";
    tr.index.keyExpression += to - from == 1 && IsName(p.toks[from]) ? g.field : p.Span(from, to);
    tr.index.segments.push_back(std::move(g));
  } while (p.AcceptP(","));
  p.ExpectP(")");
  // IN FILE 'name': the index lives in an index file ("group") of its own,
  // seen only while a table handle has opened it (SdbOpenIndex).
  if (p.Accept("IN")) {
    p.Expect("FILE");
    if (p.Peek().kind != Tok::String && !IsName(p.Peek()))
      Syntax("Expected an index file name near '" + p.Near() + "'.");
    std::string file = p.Next().text;
    size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos) file.erase(0, slash + 1);
    size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.erase(dot);
    if (file.empty()) Syntax("An index file name is empty.");
    tr.index.indexFile = file;
  }
  if (p.Accept("WHERE")) {
    size_t from = p.pos;
    while (!p.AtEnd()) p.Next();
    tr.index.condition = IndexCondition(p, from);
  }
  ExpectEnd(p, "after the index definition ");
  return tr;
}

}  // namespace

Translation Database::Translate(std::string_view engineSql) {
  Parser p;
  p.text = engineSql;
  p.toks = Tokenize(engineSql);
  if (p.toks.size() == 1) Syntax("The statement is empty.");
  const Token& first = p.Peek();

  if (IsAny(first, {"SELECT", "WITH", "VALUES", "EXPLAIN"})) return TranslateQuery(*this, p);
  if (IsAny(first, {"INSERT", "REPLACE"})) return TranslateInsert(*this, p);
  if (Is(first, "UPDATE")) return TranslateUpdate(p);
  if (Is(first, "DELETE")) return TranslateDelete(p);
  if (IsAny(first, {"BEGIN", "COMMIT", "ROLLBACK", "SAVEPOINT", "RELEASE", "END"}))
    return Passthrough(p, StatementKind::Transaction);
  if (IsAny(first, {"EXECUTE", "EXEC"})) return TranslateProcedure(p);
  if (IsAny(first, {"GRANT", "REVOKE"})) return TranslateRights(p);
  if (Is(first, "ALTER")) return TranslateAlterTable(p);
  if (Is(first, "DROP")) return TranslateDrop(p);
  if (Is(first, "CREATE")) {
    p.Next();
    bool unique = p.Accept("UNIQUE");
    if (!unique && p.Accept("TABLE")) return TranslateCreateTable(p);
    if (p.Accept("INDEX")) return TranslateCreateIndex(*this, p, unique);
    if (unique) Syntax("Expected INDEX after CREATE UNIQUE.");
  }
  return Passthrough(p, StatementKind::Other);
}

// ---------------------------------------------------------------- execution

int Database::Execute(const Translation& tr) {
  switch (tr.kind) {
    case StatementKind::CreateTable: {
      std::vector<FieldDef> fields = tr.fields;
      if (tr.index.segments.empty()) {
        CreateTable(tr.table, std::move(fields));
      } else {
        Exec("SAVEPOINT sdb_create");
        try {
          CreateTable(tr.table, std::move(fields));
          CreateIndex(tr.table, tr.index);
          SetTableProperty(tr.table, kTableDefaultIndex, tr.index.name);
          Exec("RELEASE sdb_create");
        } catch (...) {
          sqlite3_exec(FDb, "ROLLBACK TO sdb_create; RELEASE sdb_create", nullptr, nullptr,
                       nullptr);
          InvalidateTables();
          throw;
        }
      }
      return 0;
    }
    case StatementKind::DropTable:
      if (tr.ifExists && !FindTable(tr.table)) return 0;
      DropTable(tr.table);
      return 0;
    case StatementKind::CreateIndex:
      CreateIndex(tr.table, tr.index);
      return 0;
    case StatementKind::AlterTable:
      if (!tr.fields.empty())
        AddField(tr.table, tr.fields[0]);
      else if (tr.args.size() == 1)
        RenameObject(ObjectType::Table, tr.table, tr.args[0]);
      else
        RenameObject(ObjectType::Field, tr.args[0], tr.args[1], tr.table);
      return 0;
    case StatementKind::DropIndex:
      if (tr.table.empty()) {
        try {
          DropIndexAnyTable(tr.index.name);
        } catch (const StoreError& e) {
          if (!(tr.ifExists && e.code() == kErrNoSuchObject)) throw;
        }
      } else {
        auto t = GetTable(tr.table);
        if (tr.ifExists && !t->FindIndex(tr.index.name)) return 0;
        DropIndex(tr.table, tr.index.name);
      }
      return 0;
    case StatementKind::Grant:
    case StatementKind::Revoke: {
      Exec("SAVEPOINT sdb_grant");
      try {
        for (const std::string& who : tr.args)
          for (const auto& [bits, field] : tr.rights) {
            if (tr.kind == StatementKind::Grant)
              Grant(who, tr.table, field, bits);
            else
              Revoke(who, tr.table, field, bits);
          }
        Exec("RELEASE sdb_grant");
      } catch (...) {
        sqlite3_exec(FDb, "ROLLBACK TO sdb_grant; RELEASE sdb_grant", nullptr, nullptr, nullptr);
        throw;
      }
      return 0;
    }
    case StatementKind::Procedure: {
      const auto& a = tr.args;
      auto need = [&](size_t lo, size_t hi) {
        if (a.size() < lo || a.size() > hi)
          Syntax("Wrong number of arguments for " + tr.procedure + ".");
        for (const std::string& v : a)
          if (!v.empty() && (v[0] == ':' || v[0] == '?'))
            Syntax("Give the values of the parameters of " + tr.procedure + " before running it.");
      };
      auto number = [&](const std::string& v) {
        try {
          size_t used = 0;
          long n = std::stol(v, &used);
          if (used == v.size() && n >= 0) return static_cast<uint32_t>(n);
        } catch (...) {
        }
        Syntax("Expected a number instead of '" + v + "' in " + tr.procedure + ".");
      };
      const std::string& name = tr.procedure;
      if (EqualNoCase(name, "sp_CreateUser")) {
        need(1, 3);
        CreateUser(a[0], a.size() > 1 ? a[1] : "");
      } else if (EqualNoCase(name, "sp_DropUser")) {
        need(1, 1);
        DropUser(a[0]);
      } else if (EqualNoCase(name, "sp_CreateGroup")) {
        need(1, 2);
        CreateGroup(a[0]);
      } else if (EqualNoCase(name, "sp_DropGroup")) {
        need(1, 1);
        DropGroup(a[0]);
      } else if (EqualNoCase(name, "sp_AddUserToGroup")) {
        need(2, 2);
        AddUserToGroup(a[0], a[1]);
      } else if (EqualNoCase(name, "sp_RemoveUserFromGroup")) {
        need(2, 2);
        RemoveUserFromGroup(a[0], a[1]);
      } else if (EqualNoCase(name, "sp_ModifyTableProperty")) {
        need(3, 4);
        uint32_t id =
            EqualNoCase(a[1], "TABLE_DEFAULT_INDEX") ? uint32_t(kTableDefaultIndex) : number(a[1]);
        SetTableProperty(a[0], id, a[2]);
      } else if (EqualNoCase(name, "sp_ModifyDatabase")) {
        need(2, 2);
        SetDatabaseProperty(number(a[0]), a[1]);
      } else if (EqualNoCase(name, "sp_RenameDDObject")) {
        need(3, 4);
        RenameObject(static_cast<ObjectType>(number(a[2])), a[0], a[1], a.size() > 3 ? a[3] : "");
      } else {
        Syntax("The procedure " + name + " is not known to this dictionary.");
      }
      return 0;
    }
    default: {
      if (!tr.params.empty())
        Syntax("The statement has parameters; bind them and run it as a prepared statement.");
      Exec(tr.sql);
      if (tr.kind == StatementKind::Other) InvalidateTables();
      // Rows of the statement itself; what its triggers changed does not count.
      bool dml = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update ||
                 tr.kind == StatementKind::Delete;
      return dml ? sqlite3_changes(FDb) : 0;
    }
  }
}

// ---------------------------------------------------------------- result layout

ResultLayout Database::DescribeResult(sqlite3_stmt* stmt,
                                      const std::vector<uint32_t>* textLengths) {
  ResultLayout out;
  int n = sqlite3_column_count(stmt);
  std::string table;
  bool oneTable = true;
  std::vector<std::string> recnoTables;
  std::vector<int> recnoCols;
  for (int c = 0; c < n; ++c) {
    const char* origin = sqlite3_column_origin_name(stmt, c);
    const char* otable = sqlite3_column_table_name(stmt, c);
    if (origin && EqualNoCase(origin, "sdb_recno")) {
      recnoTables.push_back(otable ? otable : "");
      recnoCols.push_back(c);
      continue;
    }
    FieldDef f;
    const char* cname = sqlite3_column_name(stmt, c);
    f.name = cname ? cname : ("EXPR_" + std::to_string(c + 1));
    std::shared_ptr<const TableDef> t;
    int fi = -1;
    if (origin && otable && (t = FindTable(otable)) && (fi = t->FieldIndex(origin)) >= 0) {
      const FieldDef& src = t->fields[fi];
      f.type = src.type;
      f.length = src.type == FieldType::VarChar ? src.maxLength : src.length;
      f.maxLength = src.maxLength;
      f.decimals = src.decimals;
      f.nullable = src.nullable;
      if (table.empty() && oneTable)
        table = t->name;
      else if (!EqualNoCase(table, t->name))
        oneTable = false;
    } else {
      oneTable = false;
      const char* decl = sqlite3_column_decltype(stmt, c);
      int type = sqlite3_column_type(stmt, c);
      std::string d = decl ? Upper(decl) : "";
      uint32_t len =
          textLengths && static_cast<size_t>(c) < textLengths->size() ? (*textLengths)[c] : 0;
      if (d.find("INT") != std::string::npos || (d.empty() && type == SQLITE_INTEGER)) {
        int64_t v = type == SQLITE_INTEGER ? sqlite3_column_int64(stmt, c) : 0;
        f.type = v > INT32_MIN && v <= INT32_MAX ? FieldType::Integer : FieldType::Double;
      } else if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos ||
                 d.find("DOUB") != std::string::npos || (d.empty() && type == SQLITE_FLOAT)) {
        f.type = FieldType::Double;
      } else if (d.find("BLOB") != std::string::npos || (d.empty() && type == SQLITE_BLOB)) {
        f.type = FieldType::Binary;
      } else {
        f.type = FieldType::String;
        uint32_t now =
            type == SQLITE_TEXT ? static_cast<uint32_t>(sqlite3_column_bytes(stmt, c)) : 0;
        f.length = len ? len : std::max<uint32_t>(254, now);
        if (f.length > 65530) {
          f.type = FieldType::Memo;
          f.length = 0;
        }
      }
    }
    // Names in a result are unique: ID, ID_1, ...
    std::string base = f.name;
    for (int k = 1;; ++k) {
      bool clash = false;
      for (const FieldDef& o : out.fields)
        if (EqualNoCase(o.name, f.name)) clash = true;
      if (!clash) break;
      f.name = base + "_" + std::to_string(k);
    }
    out.fields.push_back(std::move(f));
    out.columns.push_back(c);
  }
  out.recordLength = ComputeLayout(out.fields);
  if (oneTable && !table.empty()) {
    out.table = table;
    for (size_t k = 0; k < recnoCols.size(); ++k)
      if (EqualNoCase(recnoTables[k], table)) {
        out.recnoColumn = recnoCols[k];
        break;
      }
  } else if (out.fields.empty() && recnoCols.size() == 1) {
    out.table = recnoTables[0];
    out.recnoColumn = recnoCols[0];
  }
  return out;
}

}  // namespace sdbstore
