// Runs one kind of command a given number of times, after one warm-up run, so
// that callgrind's totals for 1 and 2 repetitions differ by exactly one
// command. bench/count_instructions.sh does the subtraction.
//
// Usage: count_driver ENGINE CASE REPETITIONS
//   ENGINE: calc      "/xcalc" through ParseCommand
//           muparser  SetExpr + Eval on a reused parser, formatted as calc does
//           floor     a loop reading each byte once, one allocation and free per
//                     node and one formatting of the value
//   CASE:   short example random decimals nested flat vars10 vars1000 vars10000
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/inputs.h"
#include "plugin/host_contract.h"

#if defined(CALC_HAVE_MUPARSER)
#include <muParser.h>
#endif

namespace {

std::vector<char> result(CALC_RESULT_BUFFER_SIZE);

void Format(double value, char* out) {
  const auto converted = std::to_chars(out, out + 328, value, std::chars_format::fixed, 2);
  *converted.ptr = '\0';
}

// Reads each byte once, makes and frees one small block per node and formats once.
__attribute__((noinline)) void Floor(const std::string& text, std::size_t nodes) {
  static std::vector<void*> blocks(4096);
  unsigned sum = 0;
  for (const char c : text) {
    sum += static_cast<unsigned char>(c);
    __asm__ volatile("" : "+r"(sum));
  }
  for (std::size_t i = 0; i < nodes; ++i) blocks[i] = ::operator new(24);
  for (std::size_t i = 0; i < nodes; ++i) ::operator delete(blocks[i]);
  Format(sum, result.data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s calc|muparser|floor CASE REPETITIONS\n", argv[0]);
    return 2;
  }
  const std::string engine = argv[1];
  const std::string name = argv[2];
  const int repetitions = std::atoi(argv[3]);

  std::string text;
  std::size_t variables = 0;
  if (name == "short") text = bench::ShortExpression();
  else if (name == "example") text = bench::ExampleExpression();
  else if (name == "random") text = bench::RandomExpression();
  else if (name == "decimals") text = bench::DecimalExpression();
  else if (name == "nested") text = bench::NestedExpression();
  else if (name == "flat") text = bench::FlatExpression();
  else if (name.rfind("vars", 0) == 0) {
    variables = std::strtoul(name.c_str() + 4, nullptr, 10);
    text = "v0";  // the oldest: the last one a newest-first search reaches
  } else {
    std::fprintf(stderr, "unknown case %s\n", name.c_str());
    return 2;
  }
  const std::size_t nodes = bench::NodeCount(text);

  if (engine == "calc") {
    ParseCommand("/xcalc", "x=1.5", nullptr, result.data());
    ParseCommand("/xcalc", "y=2.5", nullptr, result.data());
    ParseCommand("/xcalc", "z=3.5", nullptr, result.data());
    for (std::size_t i = 0; i < variables; ++i) {
      const std::string assignment = "v" + std::to_string(i) + "=" + std::to_string(i);
      ParseCommand("/xcalc", assignment.c_str(), nullptr, result.data());
    }
    for (int i = 0; i <= repetitions; ++i) ParseCommand("/xcalc", text.c_str(), nullptr, result.data());
  } else if (engine == "floor") {
    for (int i = 0; i <= repetitions; ++i) Floor(text, nodes);
  } else if (engine == "muparser") {
#if defined(CALC_HAVE_MUPARSER)
    mu::Parser parser;
    std::vector<double> values(variables + 3);
    values[0] = 1.5;
    values[1] = 2.5;
    values[2] = 3.5;
    parser.DefineVar("x", &values[0]);
    parser.DefineVar("y", &values[1]);
    parser.DefineVar("z", &values[2]);
    for (std::size_t i = 0; i < variables; ++i) {
      values[i + 3] = static_cast<double>(i);
      parser.DefineVar("v" + std::to_string(i), &values[i + 3]);
    }
    for (int i = 0; i <= repetitions; ++i) {
      parser.SetExpr(text);
      Format(parser.Eval(), result.data());
    }
#else
    std::fprintf(stderr, "built without muparser\n");
    return 2;
#endif
  } else {
    std::fprintf(stderr, "unknown engine %s\n", engine.c_str());
    return 2;
  }
  std::printf("%s\n", result.data());
  return 0;
}
