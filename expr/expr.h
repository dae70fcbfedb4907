// Expression engine: the variable table, the expression tree and the reader
// that turns "/xcalc" text into a tree. Nothing here throws: running out of
// memory is reported by a null result and, while reading, by a flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "calcplugin.h"

// ---------------------------------------------------------------------------
// Memory: every block the plug-in allocates comes from here
// ---------------------------------------------------------------------------

// Returns a block of `size` bytes aligned for any type; null when memory runs out (maybe for 0).
void* AllocateBlock(std::size_t size);

// Returns `block`, one of AllocateBlock's, to the heap; does nothing for null.
void FreeBlock(void* block);

// ---------------------------------------------------------------------------
// Reading whole expressions
// ---------------------------------------------------------------------------

class ExprNode;

// Longest text the reader accepts, without its terminator.
constexpr std::size_t kMaxExpressionLength = CALC_MAX_EXPRESSION_LENGTH;
// Longest name or number the reader accepts.
constexpr std::size_t kMaxTokenLength = 87;

// Loads `length` bytes of `text` into the reader and parses one expression.
// Returns null when there is nothing to evaluate: no operand at the start, a
// text over kMaxExpressionLength, a name or number over kMaxTokenLength, an
// operator with a missing operand, or memory running out (Reader.OutOfMemory),
// which frees whatever was built.
std::unique_ptr<ExprNode> ReadExpression(const char* text, std::size_t length);

// Converts a text of at most kMaxTokenLength bytes the way atof reads it: the
// longest prefix that forms a decimal number, and 0 when there is none («.»,
// «..5»). Locale-independent.
double ConvertNumberText(const char* text);

// ---------------------------------------------------------------------------
// Variable table
// ---------------------------------------------------------------------------

// One named variable. Entries and their names live until the library unloads.
struct VariableEntry {
  char* name;  // heap copy of the name as typed, with its terminator
  double value;
  VariableEntry* next;
};

// Head of the process-wide list of variables, newest first. An index beside it
// finds names; entries are added only through FindOrAddVariable.
extern VariableEntry* VariableTable;

// Returns the entry whose name matches `name` byte for byte (case-sensitive),
// adding one with value 0.0 at the front if there is none. Returns null and
// leaves the table and its index unchanged when memory runs out.
VariableEntry* FindOrAddVariable(const char* name);

// Frees every entry and the index and empties the table. The library calls it
// when a host unloads the plug-in, so loading and unloading loses no memory.
void ClearVariables();

// ---------------------------------------------------------------------------
// Expression tree
// ---------------------------------------------------------------------------

using NodePtr = std::unique_ptr<ExprNode>;

// A node of an expression tree; deleting a node deletes all it owns. A tree
// may be built with missing children, but only complete trees are evaluated.
// Nodes live in blocks of AllocateBlock: the reader builds them there.
class ExprNode {
 public:
  virtual ~ExprNode() = default;
  // Computes the node's value; children are evaluated left first.
  virtual double Evaluate() = 0;

  // Deleting a node returns its block with FreeBlock; `block` may be null.
  static void operator delete(void* block) { FreeBlock(block); }
  // No node is made by a plain new, whose operator new throws.
  static void* operator new(std::size_t size) = delete;
};

// Two operands, both owned; either may be missing while the tree is built.
class BinaryNode : public ExprNode {
 public:
  BinaryNode(NodePtr lhs, NodePtr rhs);

 protected:
  NodePtr left;
  NodePtr right;
};

class AddNode : public BinaryNode {
 public:
  using BinaryNode::BinaryNode;
  double Evaluate() override;
};

class SubtractNode : public BinaryNode {
 public:
  using BinaryNode::BinaryNode;
  double Evaluate() override;
};

class MultiplyNode : public BinaryNode {
 public:
  using BinaryNode::BinaryNode;
  double Evaluate() override;
};

class DivideNode : public BinaryNode {
 public:
  using BinaryNode::BinaryNode;
  double Evaluate() override;
};

class NegateNode : public ExprNode {
 public:
  explicit NegateNode(NodePtr child);
  double Evaluate() override;

 private:
  NodePtr operand;
};

class NumberNode : public ExprNode {
 public:
  explicit NumberNode(double number) : value(number) {}
  double Evaluate() override;

 private:
  double value;
};

// Refers to a table entry, which it does not own.
class VariableNode : public ExprNode {
 public:
  // Refers to `variable`, an entry of the table.
  explicit VariableNode(VariableEntry* variable) : entry(variable) {}
  // Stores `value` in the variable and returns it.
  double Assign(double value);
  double Evaluate() override;

 private:
  VariableEntry* entry;
};

// Stores the value into the variable and yields it; either may be missing
// while the tree is built.
class AssignNode : public ExprNode {
 public:
  AssignNode(std::unique_ptr<VariableNode> target, NodePtr value);
  double Evaluate() override;

 private:
  std::unique_ptr<VariableNode> variable;
  NodePtr operand;
};

// ---------------------------------------------------------------------------
// Reader state and the parser's levels
// ---------------------------------------------------------------------------

// One token of look-ahead, as one byte.
enum class TokenKind : std::uint8_t {
  // Operators: the character itself
  LeftParen = '(',
  RightParen = ')',
  Star = '*',
  Plus = '+',
  Minus = '-',
  Slash = '/',
  Equals = '=',
  // Operands: their text is in TokenText
  Name = 128,
  Number = 129,
  // Anything that ends an expression
  LineEnd = 130,
  Other = 131,
};

// Process-wide reader state, reset by the caller before each parse.
struct ExpressionReader {
  char InputText[kMaxExpressionLength + 1];
  std::int32_t ReadPosition;
  TokenKind CurrentToken;
  char TokenText[kMaxTokenLength + 1];
  bool TokenTooLong;    // a name or number did not fit TokenText
  bool MissingOperand;  // a node was built with a child missing
  bool OutOfMemory;     // a node or a variable could not be allocated: the tree has holes
};

extern ExpressionReader Reader;

// Reads the next token at ReadPosition; fills TokenText for names and numbers.
// At the end of the text it returns Other however often it is called, and
// ReadPosition never passes the terminator.
// A name or number over kMaxTokenLength is consumed whole, sets TokenTooLong and reads as Other.
TokenKind NextToken();

// Parses an expression from CurrentToken; null if no operand or operator starts it.
NodePtr ParseExpression();
// Parses a term from CurrentToken; null if no operand starts it.
NodePtr ParseTerm();
// Parses a primary from CurrentToken; null, with the token unchanged, if none starts here.
NodePtr ParsePrimary();
