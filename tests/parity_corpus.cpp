// Writes a reproducible session of "/xcalc" and "/xprecis" commands, one a
// line, for comparing the transcripts of two builds of the plug-in.
//   parity_corpus [COUNT] [SEED]   (defaults: 10000 commands, seed 1)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

std::mt19937_64 random_engine;

int Below(int bound) {
  return static_cast<int>(random_engine() % static_cast<std::uint64_t>(bound));
}

std::string Digits(int count) {
  std::string digits;
  for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + Below(10));
  return digits;
}

// Numbers in the forms people type, and some that stress the conversion.
std::string Number() {
  switch (Below(6)) {
    case 0:
      return Digits(1 + Below(3));
    case 1:
      return Digits(1 + Below(4)) + "." + Digits(1 + Below(4));
    case 2:
      return "." + Digits(1 + Below(6));
    case 3:
      return Digits(10 + Below(15)) + "." + Digits(Below(10));
    case 4:
      return "0.0000" + Digits(1 + Below(12));
    default:
      return std::to_string(1 + Below(9)) + Digits(Below(20));
  }
}

std::string Variable() {
  static const char* const kNames[] = {"a", "b", "x1", "Rate", "total", "t0"};
  return kNames[Below(6)];
}

std::string Expression(int depth);

std::string Operand(int depth) {
  const int choice = depth <= 0 ? Below(2) : Below(6);
  switch (choice) {
    case 0:
      return Number();
    case 1:
      return Variable();
    case 2:
      return "(" + Expression(depth - 1) + ")";
    case 3:
      return "-" + Operand(depth - 1);
    case 4:
      return "(" + Variable() + "=" + Expression(depth - 1) + ")";
    default:
      return Number();
  }
}

std::string Expression(int depth) {
  static const char kOperators[] = "+-*/";
  std::string text = Operand(depth);
  const int terms = Below(5);
  for (int i = 0; i < terms; ++i) {
    text += Below(8) == 0 ? " " : "";
    text += kOperators[Below(4)];
    text += Below(8) == 0 ? " " : "";
    text += Operand(depth);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
  random_engine.seed(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
  for (long i = 0; i < count; ++i) {
    if (Below(40) == 0) {
      static const char* const kOdd[] = {"07", "", "99", "1a", "00"};
      const std::string setting = Below(5) == 0 ? kOdd[Below(5)] : std::to_string(Below(17));
      std::printf("/xprecis %s\n", setting.c_str());
      continue;
    }
    // Fresh values now and then keep the variables from all ending as inf or nan.
    std::string expression = Below(4) == 0    ? Variable() + "=" + Number()
                             : Below(10) == 0 ? Variable() + "=" + Expression(3)
                                              : Expression(1 + Below(4));
    if (expression.size() > 2047) expression.resize(2047);
    std::printf("/xcalc %s\n", expression.c_str());
  }
  return 0;
}
