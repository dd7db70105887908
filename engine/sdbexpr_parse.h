// The expression language's tokens and syntax tree, shared by the parser
// (sdbexpr_parse.cpp) and the translation into SQL (sdbexpr_compile.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sdbexpr.h"

namespace sdbexpr::syntax {

enum class Tok {
  End,
  Ident,
  Number,
  String,
  True,
  False,
  LParen,
  RParen,
  Comma,
  Plus,
  Minus,
  Star,
  Slash,
  Eq,
  EqEq,
  Ne,
  Lt,
  Le,
  Gt,
  Ge,
  Dollar,
  And,
  Or,
  Not
};

struct Token {
  Tok kind = Tok::End;
  size_t pos = 0;
  std::string text;
  double num = 0;
};

struct Node {
  enum Kind { Field, Str, Num, Bool, Neg, Not, Binary, Call } kind = Num;
  size_t pos = 0;
  std::string text;  // field or function name, string literal, number text
  double num = 0;
  bool flag = false;
  Tok op = Tok::End;
  std::vector<Node> kids;
  int depth = 1;
};

// Deeper expressions are refused: translation recurses over the tree, and
// SQLite limits the depth of the SQL it is given.
constexpr int kMaxDepth = 72;

/// Raises the ExprError of a fault at `pos` of `text` (message with an excerpt).
[[noreturn]] void Fail(std::string_view text, size_t pos, const std::string& detail);
/// The tokens of a text, ending with Tok::End; raises on a character or
/// literal the language lacks.
std::vector<Token> Tokenize(std::string_view text);
/// The syntax tree of a whole expression; raises on any syntax fault.
Node ParseText(std::string_view text);

}  // namespace sdbexpr::syntax
