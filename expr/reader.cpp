// The expression reader: a one-byte-look-ahead tokenizer and a
// recursive-descent parser sharing the process-wide reader state.
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "expr.h"

ExpressionReader Reader;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsNumberChar(char c) { return IsDigit(c) || c == '.'; }

bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c); }

// Copies the token that starts one byte before ReadPosition into TokenText
// while `continues` accepts its bytes, and leaves ReadPosition on the first
// byte after it. An overlong token is consumed whole and flagged.
template <typename Predicate>
bool ScanToken(Predicate continues) {
  const char* text = Reader.InputText;
  std::int32_t start = Reader.ReadPosition - 1;
  std::int32_t end = Reader.ReadPosition;
  while (continues(text[end])) ++end;
  Reader.ReadPosition = end;
  const auto length = static_cast<std::size_t>(end - start);
  if (length > kMaxTokenLength) {
    Reader.TokenTooLong = true;
    return false;
  }
  std::memcpy(Reader.TokenText, text + start, length);
  Reader.TokenText[length] = '\0';
  return true;
}

void Advance() { Reader.CurrentToken = NextToken(); }

NodePtr MakeBinary(TokenKind op, NodePtr left, NodePtr right) {
  if (!left || !right) Reader.MissingOperand = true;
  switch (op) {
    case TokenKind::Plus:
      return std::make_unique<AddNode>(std::move(left), std::move(right));
    case TokenKind::Minus:
      return std::make_unique<SubtractNode>(std::move(left), std::move(right));
    case TokenKind::Star:
      return std::make_unique<MultiplyNode>(std::move(left), std::move(right));
    default:
      return std::make_unique<DivideNode>(std::move(left), std::move(right));
  }
}

NodePtr ParseExpressionRest(NodePtr tree);
NodePtr ParseTermRest(NodePtr tree);

}  // namespace

double ConvertNumberText(const char* text) {
  double value = 0.0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value, std::chars_format::fixed);
  (void)stop;
  // Digits and points alone cannot underflow within a token's length; a
  // value too large for a double reads as infinity, as atof gives it.
  if (error == std::errc::result_out_of_range) return HUGE_VAL;
  if (error != std::errc()) return 0.0;
  return value;
}

TokenKind NextToken() {
  char c;
  do {
    c = Reader.InputText[Reader.ReadPosition];
    // The end of the text repeats: ReadPosition never passes the terminator.
    if (c == '\0') return TokenKind::Other;
    ++Reader.ReadPosition;
  } while (c == ' ' || c == '\t');

  switch (c) {
    case '\n':
    case '\r':
      return TokenKind::LineEnd;
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '/':
    case '=':
      return static_cast<TokenKind>(c);
    default:
      break;
  }
  if (IsNumberChar(c)) return ScanToken(IsNumberChar) ? TokenKind::Number : TokenKind::Other;
  if (IsLetter(c)) return ScanToken(IsNameChar) ? TokenKind::Name : TokenKind::Other;
  return TokenKind::Other;
}

namespace {

// The tail of an expression whose first term is `tree`: { ("+" | "-") term }
NodePtr ParseExpressionRest(NodePtr tree) {
  while (Reader.CurrentToken == TokenKind::Plus || Reader.CurrentToken == TokenKind::Minus) {
    const TokenKind op = Reader.CurrentToken;
    Advance();
    NodePtr right = ParseTerm();
    tree = MakeBinary(op, std::move(tree), std::move(right));
  }
  return tree;
}

// The tail of a term whose first primary is `tree`: { ("*" | "/") primary }
NodePtr ParseTermRest(NodePtr tree) {
  while (Reader.CurrentToken == TokenKind::Star || Reader.CurrentToken == TokenKind::Slash) {
    const TokenKind op = Reader.CurrentToken;
    Advance();
    NodePtr right = ParsePrimary();
    tree = MakeBinary(op, std::move(tree), std::move(right));
  }
  return tree;
}

}  // namespace

// expression := term { ("+" | "-") term }
NodePtr ParseExpression() { return ParseExpressionRest(ParseTerm()); }

// term := primary { ("*" | "/") primary }
NodePtr ParseTerm() { return ParseTermRest(ParsePrimary()); }

// primary := Name [ "=" expression ] | Number | "(" expression <any token> | "-" primary
NodePtr ParsePrimary() {
  switch (Reader.CurrentToken) {
    case TokenKind::Name: {
      auto variable = std::make_unique<VariableNode>(Reader.TokenText);
      Advance();
      if (Reader.CurrentToken != TokenKind::Equals) return variable;
      Advance();
      NodePtr value = ParseExpression();
      if (!value) Reader.MissingOperand = true;
      return std::make_unique<AssignNode>(std::move(variable), std::move(value));
    }
    case TokenKind::Number: {
      auto number = std::make_unique<NumberNode>(ConvertNumberText(Reader.TokenText));
      Advance();
      return number;
    }
    case TokenKind::LeftParen: {
      // A run of opening parentheses is read in a loop rather than by three
      // nested calls each, so that deep nesting costs little stack. Each level
      // then skips its closing token and continues its own term and expression.
      int depth = 0;
      do {
        Advance();
        ++depth;
      } while (Reader.CurrentToken == TokenKind::LeftParen);
      NodePtr inner = ParseExpression();
      for (;;) {
        // The closing parenthesis is taken on trust: whatever token stands
        // there is skipped, so «(1+2]» reads as 1+2.
        Advance();
        if (--depth == 0) return inner;
        inner = ParseExpressionRest(ParseTermRest(std::move(inner)));
      }
    }
    case TokenKind::Minus: {
      Advance();
      NodePtr operand = ParsePrimary();
      if (!operand) Reader.MissingOperand = true;
      return std::make_unique<NegateNode>(std::move(operand));
    }
    default:
      return nullptr;
  }
}

std::unique_ptr<ExprNode> ReadExpression(const char* text, std::size_t length) {
  if (length > kMaxExpressionLength) return nullptr;
  std::memcpy(Reader.InputText, text, length);
  Reader.InputText[length] = '\0';
  Reader.ReadPosition = 0;
  Reader.TokenTooLong = false;
  Reader.MissingOperand = false;
  Reader.CurrentToken = NextToken();
  NodePtr tree = ParseExpression();
  if (Reader.TokenTooLong || Reader.MissingOperand) return nullptr;
  return tree;
}
