// The texts the benchmarks and the instruction counts measure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

inline std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// A fixed pseudo-random sequence, so that every run measures the same text.
class Sequence {
 public:
  explicit Sequence(std::uint32_t seed) : state(seed) {}
  // The next number below `bound`.
  std::uint32_t Next(std::uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  }

 private:
  std::uint32_t state;
};

// `text` with its `open` parentheses closed, padded with spaces to 2047 bytes.
inline std::string CloseAndPad(std::string text, int open) {
  text += Repeat(")", static_cast<std::size_t>(open));
  text += Repeat(" ", 2047 - text.size());
  return text;
}

// «1+2».
inline std::string ShortExpression() { return "1+2"; }

// The example from the about box.
inline std::string ExampleExpression() { return "(666/77)*8+3-(2.5*8)+10"; }

// 1023 parentheses around «1»: 2047 bytes, one node.
inline std::string NestedExpression() { return Repeat("(", 1023) + "1" + Repeat(")", 1023); }

// «1+1+...+1», 1024 terms: 2047 bytes, 2047 nodes.
inline std::string FlatExpression() { return "1" + Repeat("+1", 1023); }

// A fixed pseudo-random 2047-byte expression of numbers, the variables x, y
// and z, the four operators, unary minus and parentheses (about 800 nodes).
inline std::string RandomExpression() {
  Sequence random(12345);
  std::string text;
  int open = 0;
  const char* const operators = "+-*/";
  const char* const names[] = {"x", "y", "z"};
  for (;;) {
    // An operand, perhaps negated or opening parentheses first. No two unary
    // minus signs in a row: muparser reads only one.
    for (bool negated = false;;) {
      const std::uint32_t pick = random.Next(10);
      if (pick == 0 && !negated) {
        text += '-';
        negated = true;
      } else if (pick <= 2 && text.size() + static_cast<std::size_t>(open) < 1900) {
        text += '(';
        ++open;
        negated = false;
      } else {
        break;
      }
    }
    if (random.Next(4) == 0) {
      text += names[random.Next(3)];
    } else {
      text += std::to_string(1 + random.Next(99));
      if (random.Next(4) == 0) text += "." + std::to_string(random.Next(10));
    }
    while (open > 0 && random.Next(3) == 0) {
      text += ')';
      --open;
    }
    if (text.size() + static_cast<std::size_t>(open) + 8 > 2047) break;
    text += operators[random.Next(4)];
  }
  return CloseAndPad(text, open);
}

// A fixed pseudo-random 2047-byte expression of about 380 short decimals
// («37.75», «0.25», «5.9»), about 60 unary minus signs and parentheses
// nested up to 10 deep.
inline std::string DecimalExpression() {
  Sequence random(2024);
  std::string text;
  int open = 0;
  for (;;) {
    while (open < 10 && random.Next(6) == 0) {
      text += '(';
      ++open;
    }
    if (random.Next(6) == 0) text += '-';
    text += std::to_string(random.Next(2) == 0 ? random.Next(10) : 10 + random.Next(90));
    text += '.';  // never «.0», so that no divisor is zero
    text += std::to_string(random.Next(2) == 0 ? 1 + random.Next(9) : 10 + random.Next(90));
    while (open > 0 && random.Next(5) == 0) {
      text += ')';
      --open;
    }
    if (text.size() + static_cast<std::size_t>(open) + 8 > 2047) break;
    text += "+-*/"[random.Next(4)];
  }
  return CloseAndPad(text, open);
}

// A long session: kSessionCommands commands of about 2 KB, kSessionVariables
// new names in all, spread evenly («v00000», «v00001», ...: six characters).
constexpr std::size_t kSessionCommands = 200;
constexpr std::size_t kSessionVariables = 50070;

// Command `index` of the session: its own new names joined by the four
// operators, then «+0.5» up to about 2 KB.
inline std::string SessionCommand(std::size_t index) {
  const std::size_t first = index * kSessionVariables / kSessionCommands;
  const std::size_t end = (index + 1) * kSessionVariables / kSessionCommands;
  std::string text;
  for (std::size_t i = first; i < end; ++i) {
    char name[24];  // room for any size_t
    std::snprintf(name, sizeof name, "v%05zu", i);
    if (i != first) text += "+-*/"[i % 4];
    text += name;
  }
  while (text.size() + 4 <= 2040) text += "+0.5";
  return text;
}

// Nodes a tree of `text` has: one per number, name and operator character.
inline std::size_t NodeCount(const std::string& text) {
  std::size_t nodes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool alnum = (c >= '0' && c <= '9') || c == '.' || (c >= 'a' && c <= 'z') ||
                       (c >= 'A' && c <= 'Z');
    const bool previous_alnum = i > 0 && ((text[i - 1] >= '0' && text[i - 1] <= '9') ||
                                          text[i - 1] == '.' ||
                                          (text[i - 1] >= 'a' && text[i - 1] <= 'z') ||
                                          (text[i - 1] >= 'A' && text[i - 1] <= 'Z'));
    if (alnum && !previous_alnum) ++nodes;
    if (c == '+' || c == '-' || c == '*' || c == '/' || c == '=') ++nodes;
  }
  return nodes;
}

}  // namespace bench
