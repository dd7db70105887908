// Tokenizer and parser of the expression language, and its number texts.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "sdbexpr_parse.h"
#include "sdbstore.h"

namespace sdbexpr {
namespace syntax {
namespace {

std::string Excerpt(std::string_view text, size_t pos) {
  size_t start = pos > 50 ? pos - 50 : 0;
  size_t end = std::min(text.size(), pos + 50);
  std::string line(text.substr(start, end - start));
  for (auto& c : line)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  std::string prefix = start > 0 ? "..." : "";
  std::string caret(prefix.size() + (pos - start), ' ');
  return "  " + prefix + line + (end < text.size() ? "..." : "") + "\n  " + caret + "^";
}

}  // namespace

[[noreturn]] void Fail(std::string_view text, size_t pos, const std::string& detail) {
  if (pos > text.size()) pos = text.size();
  std::string message = "Expression error: " + detail + " at column " + std::to_string(pos + 1) +
                        "\n" + Excerpt(text, pos);
  throw ExprError(message, detail, pos);
}

namespace {

bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = text.size();
  auto at = [&](size_t k) { return k < n ? text[k] : '\0'; };
  // SQLite reads SQL only up to a zero byte: one inside a string would cut
  // the translated condition short.
  if (size_t zero = text.find('\0'); zero != std::string_view::npos)
    Fail(text, zero, "zero byte in the expression");
  while (true) {
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    Token t;
    t.pos = i;
    if (i >= n) {
      out.push_back(t);
      return out;
    }
    char c = text[i];
    if (c == '\'' || c == '"') {
      size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos) Fail(text, i, "string not closed");
      t.kind = Tok::String;
      t.text = std::string(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (IsDigit(c) || (c == '.' && IsDigit(at(i + 1)))) {
      size_t j = i;
      while (IsDigit(at(j))) ++j;
      if (at(j) == '.' && IsDigit(at(j + 1))) {
        ++j;
        while (IsDigit(at(j))) ++j;
      } else if (at(j) == '.' && !IsIdentStart(at(j + 1))) {
        ++j;  // "12." is a number
      }
      if ((at(j) == 'e' || at(j) == 'E') &&
          (IsDigit(at(j + 1)) || ((at(j + 1) == '+' || at(j + 1) == '-') && IsDigit(at(j + 2))))) {
        j += 2;
        while (IsDigit(at(j))) ++j;
      }
      t.kind = Tok::Number;
      t.text = std::string(text.substr(i, j - i));
      t.num = ParseNumber(t.text);
      i = j;
    } else if (c == '.' && IsIdentStart(at(i + 1))) {
      size_t j = i + 1;
      while (IsIdentChar(at(j))) ++j;
      if (at(j) != '.') Fail(text, i, "unknown operator");
      std::string word = sdbstore::Upper(text.substr(i + 1, j - i - 1));
      if (word == "T" || word == "TRUE" || word == "Y") {
        t.kind = Tok::True;
      } else if (word == "F" || word == "FALSE" || word == "N") {
        t.kind = Tok::False;
      } else if (word == "AND") {
        t.kind = Tok::And;
      } else if (word == "OR") {
        t.kind = Tok::Or;
      } else if (word == "NOT") {
        t.kind = Tok::Not;
      } else {
        Fail(text, i, "unknown operator ." + word + ".");
      }
      i = j + 1;
    } else if (IsIdentStart(c)) {
      size_t j = i;
      while (IsIdentChar(at(j))) ++j;
      // ALIAS->FIELD names a field of the one table an expression sees.
      if (at(j) == '-' && at(j + 1) == '>' && IsIdentStart(at(j + 2))) {
        i = j + 2;
        j = i;
        while (IsIdentChar(at(j))) ++j;
      }
      t.text = std::string(text.substr(i, j - i));
      std::string word = sdbstore::Upper(t.text);
      t.kind = word == "AND"   ? Tok::And
               : word == "OR"  ? Tok::Or
               : word == "NOT" ? Tok::Not
                               : Tok::Ident;
      i = j;
    } else if (c == '[') {
      size_t close = text.find(']', i + 1);
      if (close == std::string_view::npos) Fail(text, i, "field name not closed");
      t.kind = Tok::Ident;
      t.text = std::string(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      char d = at(i + 1);
      size_t len = 1;
      switch (c) {
        case '(':
          t.kind = Tok::LParen;
          break;
        case ')':
          t.kind = Tok::RParen;
          break;
        case ',':
          t.kind = Tok::Comma;
          break;
        case '+':
          t.kind = Tok::Plus;
          break;
        case '-':
          t.kind = Tok::Minus;
          break;
        case '*':
          t.kind = Tok::Star;
          break;
        case '/':
          t.kind = Tok::Slash;
          break;
        case '$':
          t.kind = Tok::Dollar;
          break;
        case '#':
          t.kind = Tok::Ne;
          break;
        case '=':
          if (d == '=') len = 2;
          t.kind = len == 2 ? Tok::EqEq : Tok::Eq;
          break;
        case '!':
          if (d == '=') len = 2;
          t.kind = len == 2 ? Tok::Ne : Tok::Not;
          break;
        case '<':
          if (d == '>' || d == '=') len = 2;
          t.kind = d == '>' ? Tok::Ne : d == '=' ? Tok::Le : Tok::Lt;
          break;
        case '>':
          if (d == '=') len = 2;
          t.kind = len == 2 ? Tok::Ge : Tok::Gt;
          break;
        default:
          Fail(text, i, std::string("unexpected character '") + c + "'");
      }
      t.text = std::string(text.substr(i, len));
      i += len;
    }
    out.push_back(std::move(t));
  }
}

// ---------------------------------------------------------------- parser

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : FText(text), FTokens(Tokenize(text)) {}

  Node ParseAll() {
    if (Peek().kind == Tok::End) Fail(FText, 0, "empty expression");
    Node n = ParseOr();
    if (Peek().kind != Tok::End) Fail(FText, Peek().pos, "unexpected '" + Peek().text + "'");
    return n;
  }

 private:
  const Token& Peek() const { return FTokens[FPos]; }
  const Token& Next() { return FTokens[FPos < FTokens.size() - 1 ? FPos++ : FPos]; }

  // Records the depth of a composite node.
  Node Finish(Node n) {
    // A chain of AND (or OR) is translated flat, so it adds no depth.
    bool chain = n.kind == Node::Binary && (n.op == Tok::And || n.op == Tok::Or);
    for (const auto& k : n.kids)
      n.depth =
          std::max(n.depth, k.depth + (chain && k.kind == Node::Binary && k.op == n.op ? 0 : 1));
    if (n.depth > kMaxDepth) Fail(FText, n.pos, "expression nested too deeply");
    return n;
  }
  struct Guard {
    Parser& p;
    explicit Guard(Parser& parser, size_t pos) : p(parser) {
      if (++p.FNesting > kMaxDepth) Fail(p.FText, pos, "expression nested too deeply");
    }
    ~Guard() { --p.FNesting; }
  };

  Node MakeBinary(const Token& op, Node a, Node b) {
    Node n;
    n.kind = Node::Binary;
    n.op = op.kind;
    n.text = op.text;
    n.pos = op.pos;
    n.kids.push_back(std::move(a));
    n.kids.push_back(std::move(b));
    return Finish(std::move(n));
  }

  Node ParseOr() {
    Guard g(*this, Peek().pos);
    Node a = ParseAnd();
    while (Peek().kind == Tok::Or) {
      Token op = Next();
      a = MakeBinary(op, std::move(a), ParseAnd());
    }
    return a;
  }
  Node ParseAnd() {
    Node a = ParseNot();
    while (Peek().kind == Tok::And) {
      Token op = Next();
      a = MakeBinary(op, std::move(a), ParseNot());
    }
    return a;
  }
  Node ParseNot() {
    if (Peek().kind == Tok::Not) {
      Guard g(*this, Peek().pos);
      Node n;
      n.kind = Node::Not;
      n.pos = Next().pos;
      n.kids.push_back(ParseNot());
      return Finish(std::move(n));
    }
    return ParseRel();
  }
  static bool IsRel(Tok t) {
    return t == Tok::Eq || t == Tok::EqEq || t == Tok::Ne || t == Tok::Lt || t == Tok::Le ||
           t == Tok::Gt || t == Tok::Ge || t == Tok::Dollar;
  }
  Node ParseRel() {
    Node a = ParseAdd();
    if (IsRel(Peek().kind)) {
      Token op = Next();
      a = MakeBinary(op, std::move(a), ParseAdd());
      if (IsRel(Peek().kind)) Fail(FText, Peek().pos, "comparisons cannot be chained; use AND");
    }
    return a;
  }
  Node ParseAdd() {
    Node a = ParseMul();
    while (Peek().kind == Tok::Plus || Peek().kind == Tok::Minus) {
      Token op = Next();
      a = MakeBinary(op, std::move(a), ParseMul());
    }
    return a;
  }
  Node ParseMul() {
    Node a = ParseUnary();
    while (Peek().kind == Tok::Star || Peek().kind == Tok::Slash) {
      Token op = Next();
      a = MakeBinary(op, std::move(a), ParseUnary());
    }
    return a;
  }
  Node ParseUnary() {
    if (Peek().kind == Tok::Minus || Peek().kind == Tok::Plus) {
      Guard g(*this, Peek().pos);
      Token op = Next();
      Node inner = ParseUnary();
      if (op.kind == Tok::Plus) return inner;
      Node n;
      n.kind = Node::Neg;
      n.pos = op.pos;
      n.kids.push_back(std::move(inner));
      return Finish(std::move(n));
    }
    return ParsePrimary();
  }
  Node ParsePrimary() {
    const Token& t = Peek();
    Node n;
    n.pos = t.pos;
    switch (t.kind) {
      case Tok::Number:
        n.kind = Node::Num;
        n.num = t.num;
        n.text = t.text;
        Next();
        return n;
      case Tok::String:
        n.kind = Node::Str;
        n.text = t.text;
        Next();
        return n;
      case Tok::True:
      case Tok::False:
        n.kind = Node::Bool;
        n.flag = t.kind == Tok::True;
        Next();
        return n;
      case Tok::LParen: {
        Next();
        n = ParseOr();
        Expect(Tok::RParen, "')'");
        return n;
      }
      case Tok::Ident: {
        n.text = t.text;
        Next();
        if (Peek().kind != Tok::LParen) {
          n.kind = Node::Field;
          return n;
        }
        n.kind = Node::Call;
        Next();
        if (Peek().kind != Tok::RParen) {
          n.kids.push_back(ParseOr());
          while (Peek().kind == Tok::Comma) {
            Next();
            n.kids.push_back(ParseOr());
          }
        }
        Expect(Tok::RParen, "')' or ','");
        return Finish(std::move(n));
      }
      case Tok::End:
        Fail(FText, t.pos, "expression ends too early");
      default:
        Fail(FText, t.pos, "unexpected '" + t.text + "'");
    }
  }
  void Expect(Tok kind, const char* what) {
    if (Peek().kind != kind) {
      if (Peek().kind == Tok::End) Fail(FText, Peek().pos, std::string("missing ") + what);
      Fail(FText, Peek().pos,
           std::string("expected ") + what + " instead of '" + Peek().text + "'");
    }
    Next();
  }

  std::string_view FText;
  std::vector<Token> FTokens;
  size_t FPos = 0;
  int FNesting = 0;
};

}  // namespace

Node ParseText(std::string_view text) {
  return Parser(text).ParseAll();
}

}  // namespace syntax

double ParseNumber(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0;
  if (text[b] == '+') ++b;
  double v = 0;
  std::from_chars(text.data() + b, text.data() + text.size(), v);
  return v;
}

std::string FormatNumber(double v) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string ExpressionLongToShort(std::string_view text) {
  syntax::Tokenize(text);
  return std::string(text);
}

std::string ExpressionShortToLong(std::string_view text) {
  syntax::Tokenize(text);
  return std::string(text);
}

}  // namespace sdbexpr
