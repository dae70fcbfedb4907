// Random well-formed expressions through ParseCommand, checked byte for byte
// against a small evaluator of the same expressions written here: numbers,
// variables, the four operators, parentheses, unary minus and assignments,
// at random precisions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/host_contract.h"
#include "test_support.h"

namespace {

// A small generator with the same sequence on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 2862933555777941757ULL + 3037000493ULL) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }
  bool Chance(int percent) { return Below(100) < percent; }

 private:
  std::uint64_t state_;
};

// ---------------------------------------------------------------------------
// Expressions as trees, their text and their value
// ---------------------------------------------------------------------------

enum class Kind { Number, Variable, Add, Subtract, Multiply, Divide, Negate, Assign };

struct Node {
  Kind kind;
  std::string text;  // a number's digits or a variable's name
  std::unique_ptr<Node> left, right;
};

using Tree = std::unique_ptr<Node>;

// How loosely a text binds: an expression, a term or a primary.
enum Level { kExpression = 0, kTerm = 1, kPrimary = 2 };

Level LevelOf(const Node& node) {
  switch (node.kind) {
    case Kind::Add:
    case Kind::Subtract:
      return kExpression;
    case Kind::Multiply:
    case Kind::Divide:
      return kTerm;
    default:
      return kPrimary;
  }
}

const char* const kNames[] = {"a", "b", "x1", "Y", "abc", "A", "var2", "z9z", "Total"};

std::string RandomNumberText(Random& random) {
  auto digits = [&random](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random.Below(10));
    return text;
  };
  switch (random.Below(6)) {
    case 0:
      return digits(1);
    case 1:
      return digits(1 + random.Below(4));
    case 2:
      return digits(1 + random.Below(3)) + "." + digits(1 + random.Below(4));
    case 3:
      return "." + digits(1 + random.Below(5));
    case 4:
      return digits(1 + random.Below(3)) + ".";
    default:
      return digits(1 + random.Below(25)) + "." + digits(random.Below(25));
  }
}

Tree Generate(Random& random, int depth) {
  auto node = std::make_unique<Node>();
  const int choice = depth <= 0 ? random.Below(2) : random.Below(10);
  switch (choice) {
    case 0:
      node->kind = Kind::Number;
      node->text = RandomNumberText(random);
      return node;
    case 1:
      node->kind = Kind::Variable;
      node->text = kNames[random.Below(sizeof kNames / sizeof *kNames)];
      return node;
    case 2:
      node->kind = Kind::Add;
      break;
    case 3:
      node->kind = Kind::Subtract;
      break;
    case 4:
      node->kind = Kind::Multiply;
      break;
    case 5:
      node->kind = Kind::Divide;
      break;
    case 6:
    case 7:
      node->kind = Kind::Negate;
      node->left = Generate(random, depth - 1);
      return node;
    default:
      node->kind = Kind::Assign;
      node->text = kNames[random.Below(sizeof kNames / sizeof *kNames)];
      node->left = Generate(random, depth - 1);
      return node;
  }
  node->left = Generate(random, depth - 1);
  node->right = Generate(random, depth - 1);
  return node;
}

class Writer {
 public:
  explicit Writer(Random& random) : random_(random) {}

  // Writes `node` so that it reads back as one unit at `level`, with
  // parentheses where its own operator binds more loosely, and sometimes more.
  void Write(const Node& node, Level level) {
    const bool wrap = LevelOf(node) < level || random_.Chance(8);
    if (wrap) Token("(");
    switch (node.kind) {
      case Kind::Number:
      case Kind::Variable:
        Token(node.text);
        break;
      case Kind::Add:
      case Kind::Subtract:
        Write(*node.left, kExpression);
        Token(node.kind == Kind::Add ? "+" : "-");
        Write(*node.right, kTerm);
        break;
      case Kind::Multiply:
      case Kind::Divide:
        Write(*node.left, kTerm);
        Token(node.kind == Kind::Multiply ? "*" : "/");
        Write(*node.right, kPrimary);
        break;
      case Kind::Negate:
        Token("-");
        Write(*node.left, kPrimary);
        break;
      case Kind::Assign:
        // "name=expression" takes all to its right: always in parentheses.
        Token("(");
        Token(node.text);
        Token("=");
        Write(*node.left, kExpression);
        Token(")");
        break;
    }
    if (wrap) Token(")");
  }

  const std::string& Text() const { return text_; }

 private:
  void Token(const std::string& token) {
    if (random_.Chance(10)) text_ += random_.Chance(70) ? " " : "\t";
    text_ += token;
  }

  Random& random_;
  std::string text_;
};

// Variables as the plug-in should hold them; they live for the whole process.
std::map<std::string, double> variables;

// Left operand first, as the plug-in promises: assignments on the left are
// seen by the right.
double Evaluate(const Node& node) {
  switch (node.kind) {
    case Kind::Number:
      return std::strtod(node.text.c_str(), nullptr);
    case Kind::Variable:
      return variables[node.text];
    case Kind::Negate:
      return -Evaluate(*node.left);
    case Kind::Assign: {
      const double value = Evaluate(*node.left);
      variables[node.text] = value;
      return value;
    }
    default:
      break;
  }
  const double left = Evaluate(*node.left);
  const double right = Evaluate(*node.right);
  switch (node.kind) {
    case Kind::Add:
      return left + right;
    case Kind::Subtract:
      return left - right;
    case Kind::Multiply:
      return left * right;
    default:
      return left / right;
  }
}

std::string Format(double value, int decimals) {
  std::vector<char> text(400);
  std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
  return text.data();
}

std::string Calculate(const std::string& expression) {
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, '\x7F');
  EXPECT_EQ(Plugin().parse_command("/xcalc", expression.c_str(), nullptr, result.data()), 1);
  if (std::find(result.begin(), result.end(), '\0') == result.end()) return "<unterminated>";
  return result.data();
}

void SetDecimals(int decimals) {
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, '\x7F');
  ASSERT_EQ(
      Plugin().parse_command("/xprecis", std::to_string(decimals).c_str(), nullptr, result.data()),
      1);
}

// Runs `count` expressions from `seed` at depths up to `max_depth`.
void CheckRandomExpressions(std::uint64_t seed, int count, int max_depth) {
  Random random(seed);
  int decimals = 16;
  SetDecimals(decimals);
  int checked = 0;
  while (checked < count) {
    if (random.Chance(5)) {
      decimals = random.Chance(50) ? 16 : random.Below(17);
      SetDecimals(decimals);
    }
    const Tree tree = Generate(random, 1 + random.Below(max_depth));
    Writer writer(random);
    writer.Write(*tree, kExpression);
    const std::string& text = writer.Text();
    if (text.size() > 2047) continue;
    const double value = Evaluate(*tree);
    const std::string expected = text + "=\n" + Format(value, decimals);
    std::string actual = Calculate(text);
    // IEEE arithmetic leaves the sign of a NaN open, and compilers order the
    // operands of + and * as they like: only "nan" itself is checked.
    if (std::isnan(value) && actual == text + "=\n-nan") actual = text + "=\nnan";
    ASSERT_EQ(actual, std::isnan(value) ? text + "=\nnan" : expected)
        << "seed " << seed << ", expression " << checked << ": " << text;
    ++checked;
  }
}

TEST(RandomExpressions, SmallOnesMatchTheIndependentEvaluator) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) CheckRandomExpressions(seed, 200, 4);
}

TEST(RandomExpressions, DeepOnesMatchTheIndependentEvaluator) {
  for (std::uint64_t seed = 100; seed <= 109; ++seed) CheckRandomExpressions(seed, 100, 12);
}

// The generator's forms, read by hand: the independent evaluator must agree
// with the plug-in on these before the random ones mean anything.
TEST(RandomExpressions, QuirksOfTheGrammar) {
  struct Case {
    const char* expression;
    const char* value;
  };
  const Case cases[] = {
      {"-2*3", "-6.0000000000000000"},
      {"2--3", "5.0000000000000000"},
      {"(q=2)*q+(q=q*3)*q", "40.0000000000000000"},
      {"7.+.5", "7.5000000000000000"},
      {"1/3", "0.3333333333333333"},
      {"q", "6.0000000000000000"},
  };
  SetDecimals(16);
  for (const Case& c : cases) {
    EXPECT_EQ(Calculate(c.expression), std::string(c.expression) + "=\n" + c.value) << c.expression;
  }
}

}  // namespace
