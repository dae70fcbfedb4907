// Measures the deepest stack a "/xcalc" command uses, for the inputs most
// likely to nest deeply within the 2047-byte limit.
//
// Method (works the same on Linux and Windows): just before each command, a
// function paints a large area below the current stack pointer with a known
// byte; after the command, the area is scanned from its low end for the
// first byte that changed. The distance from the top of the painted area to
// that byte is the stack the command used, call included.
//
// Usage: stack_probe            prints one line per input and the largest figure
//        stack_probe EXPRESSION prints the figure for that one text
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <malloc.h>
#else
#include <alloca.h>
#endif

#include "plugin/host_contract.h"

namespace {

constexpr std::size_t kPaintedBytes = std::size_t{6} << 20;  // 6 MiB
constexpr unsigned char kPaint = 0xCD;

volatile unsigned char* painted_low = nullptr;
volatile unsigned char* painted_high = nullptr;

#if defined(_MSC_VER)
#define NOINLINE __declspec(noinline)
#else
#define NOINLINE __attribute__((noinline))
#endif

// Paints kPaintedBytes just below this function's frame; the command, called
// next from the same frame, runs over the same bytes.
NOINLINE void PaintStack() {
  auto* area = static_cast<volatile unsigned char*>(alloca(kPaintedBytes));
  for (std::size_t i = 0; i < kPaintedBytes; ++i) area[i] = kPaint;
  painted_low = area;
  painted_high = area + kPaintedBytes;
}

// Bytes between the top of the painted area and the lowest byte changed since.
std::size_t UsedBytes() {
  std::size_t untouched = 0;
  while (untouched < kPaintedBytes && painted_low[untouched] == kPaint) ++untouched;
  return kPaintedBytes - untouched;
}

NOINLINE std::size_t MeasureCommand(const std::string& expression, std::string* output) {
  static std::vector<char> result(CALC_RESULT_BUFFER_SIZE);
  PaintStack();
  ParseCommand("/xcalc", expression.c_str(), nullptr, result.data());
  const std::size_t used = UsedBytes();
  *output = result.data();
  return used;
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct Candidate {
  std::string name;
  std::string text;
};

std::vector<Candidate> Candidates() {
  // Each fills the 2047 bytes: a repeated piece, then an operand.
  const char* const pieces[] = {"(", "-", "a=", "(-", "-(", "(a=", "a=(", "-a=", "a=-",
                                "(a=-", "1+(", "1*(", "1-(", "((-", "(--", "(a=(", "-(a="};
  std::vector<Candidate> list;
  for (const char* piece : pieces) {
    const std::size_t times = 2046 / std::strlen(piece);
    list.push_back({std::string("\"") + piece + "\" x " + std::to_string(times) + " + \"1\"",
                    Repeat(piece, times) + "1"});
  }
  list.push_back({"1+1+...+1 (1024 terms)", "1" + Repeat("+1", 1023)});
  list.push_back({"1*1*...*1 (1024 factors)", "1" + Repeat("*1", 1023)});
  list.push_back({"a=1 (shallow, for comparison)", "a=1"});
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  if (argc > 1) {
    std::printf("%zu bytes\n", MeasureCommand(argv[1], &output));
    return 0;
  }
  std::size_t deepest = 0;
  std::string deepest_name;
  for (const Candidate& candidate : Candidates()) {
    if (candidate.text.size() > 2047) continue;
    MeasureCommand(candidate.text, &output);  // warm-up: the variable table
    const std::size_t used = MeasureCommand(candidate.text, &output);
    const bool valued = output.size() > candidate.text.size();
    std::printf("%8zu bytes  %-34s %zu bytes of text%s\n", used, candidate.name.c_str(),
                candidate.text.size(), valued ? "" : ", no value");
    if (used > deepest) {
      deepest = used;
      deepest_name = candidate.name;
    }
  }
  std::printf("deepest: %zu bytes (%s)\n", deepest, deepest_name.c_str());
  return 0;
}
