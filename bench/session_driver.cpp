// A long session through ParseCommand, as a host would run it: each command
// names about 250 new variables, so the table grows to 50,070. Prints the
// wall-clock time of the first and the last command (and the medians of the
// first and last ten, steadier on a busy machine) and the heap each variable
// takes: glibc's count of bytes in use (mallinfo2: small blocks with malloc's
// own overhead, plus blocks mapped on their own) before and after, over the
// number of variables.
//
// Usage: session_driver
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "bench/inputs.h"
#include "plugin/host_contract.h"

namespace {

constexpr std::size_t kEdge = 10;  // commands in each median

// Heap bytes in use, malloc's overhead included; 0 where unknown.
double HeapInUse() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
#else
  return 0.0;
#endif
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  std::vector<std::string> commands;
  for (std::size_t i = 0; i < bench::kSessionCommands; ++i)
    commands.push_back(bench::SessionCommand(i));
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE);
  std::vector<double> micros;
  micros.reserve(commands.size());

  // Warm up on a text that names no variable, so the first command is not the first run.
  for (int i = 0; i < 3; ++i)
    ParseCommand("/xcalc", bench::FlatExpression().c_str(), nullptr, result.data());

  const double heap_before = HeapInUse();
  for (const std::string& text : commands) {
    const auto start = std::chrono::steady_clock::now();
    ParseCommand("/xcalc", text.c_str(), nullptr, result.data());
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    micros.push_back(took.count());
  }
  const double heap_after = HeapInUse();

  const std::vector<double> first(micros.begin(), micros.begin() + kEdge);
  const std::vector<double> last(micros.end() - kEdge, micros.end());
  std::printf("commands %zu, %zu to %zu bytes, %zu variables\n", commands.size(),
              commands.front().size(), commands.back().size(), bench::kSessionVariables);
  std::printf("first command %.1f us, last %.1f us, last/first %.2f\n", micros.front(),
              micros.back(), micros.back() / micros.front());
  std::printf("median of first %zu %.1f us, of last %zu %.1f us, last/first %.2f\n", kEdge,
              Median(first), kEdge, Median(last), Median(last) / Median(first));
  std::printf("heap per variable %.1f bytes\n",
              (heap_after - heap_before) / static_cast<double>(bench::kSessionVariables));
  return 0;
}
