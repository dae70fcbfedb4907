// The expression reader: a one-byte-look-ahead tokenizer and a
// recursive-descent parser sharing the process-wide reader state.
#include <charconv>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "expr.h"

ExpressionReader Reader;

namespace {

// What a byte can start or continue, looked up once per byte.
enum class ByteClass : std::uint8_t {
  Other,
  Blank,     // tab, space
  End,       // the terminator
  LineEnd,   // line feed, carriage return
  Operator,  // ( ) * + - / =: the byte is its own token
  Digit,
  Point,
  Letter,
};

struct ByteClasses {
  ByteClass of[256];
};

constexpr ByteClasses MakeByteClasses() {
  ByteClasses classes{};
  classes.of[static_cast<unsigned char>('\t')] = ByteClass::Blank;
  classes.of[static_cast<unsigned char>(' ')] = ByteClass::Blank;
  classes.of[0] = ByteClass::End;
  classes.of[static_cast<unsigned char>('\n')] = ByteClass::LineEnd;
  classes.of[static_cast<unsigned char>('\r')] = ByteClass::LineEnd;
  for (char c : {'(', ')', '*', '+', '-', '/', '='}) {
    classes.of[static_cast<unsigned char>(c)] = ByteClass::Operator;
  }
  for (int c = '0'; c <= '9'; ++c) classes.of[c] = ByteClass::Digit;
  classes.of[static_cast<unsigned char>('.')] = ByteClass::Point;
  for (int c = 'a'; c <= 'z'; ++c) classes.of[c] = ByteClass::Letter;
  for (int c = 'A'; c <= 'Z'; ++c) classes.of[c] = ByteClass::Letter;
  return classes;
}

constexpr ByteClasses kByteClasses = MakeByteClasses();

ByteClass ClassOf(char c) {
  return kByteClasses.of[static_cast<unsigned char>(c)];
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::uint64_t DigitValue(char c) {
  return static_cast<std::uint64_t>(c - '0');
}

// The integers a double holds exactly, and the powers of ten it holds exactly.
constexpr std::uint64_t kMaxExactInteger = std::uint64_t{1} << 53;
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool ContinuesNumber(char c) {
  return ClassOf(c) == ByteClass::Digit || ClassOf(c) == ByteClass::Point;
}

bool ContinuesName(char c) {
  return ClassOf(c) == ByteClass::Letter || ClassOf(c) == ByteClass::Digit;
}

// Reads the name or number that starts at `start` into TokenText while
// `continues` accepts its bytes, leaves ReadPosition on the first byte after
// it and returns `kind`. An overlong token is consumed whole, flagged and read
// as Other. Kept out of line so that the common one-byte tokens stay cheap;
// `continues` is a lambda, so that each kind of token inlines its own test.
template <typename Predicate>
__attribute__((noinline)) TokenKind ScanToken(std::int32_t start, Predicate continues,
                                              TokenKind kind) {
  const char* text = Reader.InputText;
  std::int32_t end = start + 1;
  while (continues(text[end])) ++end;
  Reader.ReadPosition = end;
  const auto length = static_cast<std::size_t>(end - start);
  if (length > kMaxTokenLength) {
    Reader.TokenTooLong = true;
    return TokenKind::Other;
  }
  std::memcpy(Reader.TokenText, text + start, length);
  Reader.TokenText[length] = '\0';
  return kind;
}

void Advance() {
  Reader.CurrentToken = NextToken();
}

// Makes a Node of `arguments` in a block of AllocateBlock; null, Reader.OutOfMemory set, if none.
template <typename Node, typename... Arguments>
std::unique_ptr<Node> MakeNode(Arguments&&... arguments) {
  void* block = AllocateBlock(sizeof(Node));
  if (block == nullptr) {
    Reader.OutOfMemory = true;
    return nullptr;
  }
  return std::unique_ptr<Node>(::new (block) Node(std::forward<Arguments>(arguments)...));
}

bool IsOperator(TokenKind token) {
  return token == TokenKind::Plus || token == TokenKind::Minus || token == TokenKind::Star ||
         token == TokenKind::Slash;
}

NodePtr MakeBinary(TokenKind op, NodePtr left, NodePtr right) {
  if (!left || !right) Reader.MissingOperand = true;
  switch (op) {
    case TokenKind::Plus:
      return MakeNode<AddNode>(std::move(left), std::move(right));
    case TokenKind::Minus:
      return MakeNode<SubtractNode>(std::move(left), std::move(right));
    case TokenKind::Star:
      return MakeNode<MultiplyNode>(std::move(left), std::move(right));
    default:
      return MakeNode<DivideNode>(std::move(left), std::move(right));
  }
}

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

double ConvertNumberText(const char* text) {
  // Most numbers typed are short: read as one integer of at most 2^53 with at
  // most 22 decimals, both the digits and the power of ten are exact doubles,
  // and one division rounds the quotient correctly, as a full conversion would.
  std::uint64_t digits = 0;
  const char* c = text;
  for (; IsDigit(*c) && digits <= kMaxExactInteger; ++c) digits = digits * 10 + DigitValue(*c);
  std::size_t decimals = 0;
  if (*c == '.') {
    const char* fraction = ++c;
    for (; IsDigit(*c) && digits <= kMaxExactInteger; ++c) digits = digits * 10 + DigitValue(*c);
    decimals = static_cast<std::size_t>(c - fraction);
  }
  if (!IsDigit(*c) && digits <= kMaxExactInteger && decimals < std::size(kExactPowersOfTen)) {
    return static_cast<double>(digits) / kExactPowersOfTen[decimals];
  }

  // Only a text with digits gets here, and within a token's length they can
  // neither overflow nor underflow a double: the conversion always succeeds.
  double value = 0.0;
  std::from_chars(text, text + std::strlen(text), value, std::chars_format::fixed);
  return value;
}

TokenKind NextToken() {
  const char* text = Reader.InputText;
  std::int32_t position = Reader.ReadPosition;
  ByteClass byte_class;
  while ((byte_class = ClassOf(text[position])) == ByteClass::Blank) ++position;

  switch (byte_class) {
    case ByteClass::End:
      // The end of the text repeats: ReadPosition never passes the terminator.
      return TokenKind::Other;
    case ByteClass::LineEnd:
      Reader.ReadPosition = position + 1;
      return TokenKind::LineEnd;
    case ByteClass::Operator:
      Reader.ReadPosition = position + 1;
      return static_cast<TokenKind>(text[position]);
    case ByteClass::Digit:
    case ByteClass::Point:
      return ScanToken(
          position, [](char c) { return ContinuesNumber(c); }, TokenKind::Number);
    case ByteClass::Letter:
      return ScanToken(
          position, [](char c) { return ContinuesName(c); }, TokenKind::Name);
    default:
      Reader.ReadPosition = position + 1;
      return TokenKind::Other;
  }
}

// expression := term { ("+" | "-") term }
NodePtr ParseExpression() {
  return ParseExpressionRest(ParseTerm());
}

// term := primary { ("*" | "/") primary }
NodePtr ParseTerm() {
  return ParseTermRest(ParsePrimary());
}

// primary := Name [ "=" expression ] | Number | "(" expression <any token> | "-" primary
NodePtr ParsePrimary() {
  switch (Reader.CurrentToken) {
    case TokenKind::Name: {
      VariableEntry* entry = FindOrAddVariable(Reader.TokenText);
      if (entry == nullptr) {
        Reader.OutOfMemory = true;
        return nullptr;
      }
      auto variable = MakeNode<VariableNode>(entry);
      Advance();
      if (Reader.CurrentToken != TokenKind::Equals) return variable;
      Advance();
      NodePtr value = ParseExpression();
      if (!value) Reader.MissingOperand = true;
      return MakeNode<AssignNode>(std::move(variable), std::move(value));
    }
    case TokenKind::Number: {
      auto number = MakeNode<NumberNode>(ConvertNumberText(Reader.TokenText));
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
        if (IsOperator(Reader.CurrentToken)) {
          inner = ParseExpressionRest(ParseTermRest(std::move(inner)));
        }
      }
    }
    case TokenKind::Minus: {
      Advance();
      NodePtr operand = ParsePrimary();
      if (!operand) Reader.MissingOperand = true;
      return MakeNode<NegateNode>(std::move(operand));
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
  Reader.OutOfMemory = false;
  Reader.CurrentToken = NextToken();
  NodePtr tree = ParseExpression();
  if (Reader.TokenTooLong || Reader.MissingOperand || Reader.OutOfMemory) return nullptr;
  return tree;
}
