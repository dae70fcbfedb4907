// Wall-clock benchmarks of "/xcalc" through ParseCommand, and of the same
// texts through muparser when it is installed. Instruction counts, the
// figures the targets are set in, come from count_driver under callgrind.
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>
#include <vector>

#include "bench/inputs.h"
#include "plugin/host_contract.h"

#if defined(CALC_HAVE_MUPARSER)
#include <muParser.h>
#endif

namespace {

std::vector<char> result(CALC_RESULT_BUFFER_SIZE);

void Calculate(benchmark::State& state, const std::string& text) {
  ParseCommand("/xcalc", "x=1.5", nullptr, result.data());
  ParseCommand("/xcalc", "y=2.5", nullptr, result.data());
  ParseCommand("/xcalc", "z=3.5", nullptr, result.data());
  for (auto _ : state) {
    ParseCommand("/xcalc", text.c_str(), nullptr, result.data());
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK_CAPTURE(Calculate, short, bench::ShortExpression());
BENCHMARK_CAPTURE(Calculate, example, bench::ExampleExpression());
BENCHMARK_CAPTURE(Calculate, random_2047_bytes, bench::RandomExpression());
BENCHMARK_CAPTURE(Calculate, decimals_2047_bytes, bench::DecimalExpression());
BENCHMARK_CAPTURE(Calculate, nested_1023, bench::NestedExpression());
BENCHMARK_CAPTURE(Calculate, flat_1024_terms, bench::FlatExpression());

// Reading the oldest variable, the last a newest-first search reaches, with
// range(0) variables v0, v1, ... in the table (plus x, y and z). Run in
// increasing order: the table only grows.
void ReadVariable(benchmark::State& state) {
  static std::size_t made = 0;
  for (; made < static_cast<std::size_t>(state.range(0)); ++made) {
    const std::string assignment = "v" + std::to_string(made) + "=" + std::to_string(made);
    ParseCommand("/xcalc", assignment.c_str(), nullptr, result.data());
  }
  for (auto _ : state) {
    ParseCommand("/xcalc", "v0", nullptr, result.data());
    benchmark::DoNotOptimize(result.data());
  }
}
BENCHMARK(ReadVariable)->Arg(10)->Arg(1000)->Arg(10000);

#if defined(CALC_HAVE_MUPARSER)
void Muparser(benchmark::State& state, const std::string& text) {
  mu::Parser parser;
  double x = 1.5, y = 2.5, z = 3.5;
  parser.DefineVar("x", &x);
  parser.DefineVar("y", &y);
  parser.DefineVar("z", &z);
  for (auto _ : state) {
    parser.SetExpr(text);
    const double value = parser.Eval();
    std::to_chars(result.data(), result.data() + 328, value, std::chars_format::fixed, 2);
    benchmark::DoNotOptimize(result.data());
  }
}
BENCHMARK_CAPTURE(Muparser, short, bench::ShortExpression());
BENCHMARK_CAPTURE(Muparser, example, bench::ExampleExpression());
BENCHMARK_CAPTURE(Muparser, random_2047_bytes, bench::RandomExpression());
BENCHMARK_CAPTURE(Muparser, decimals_2047_bytes, bench::DecimalExpression());
BENCHMARK_CAPTURE(Muparser, nested_1023, bench::NestedExpression());
BENCHMARK_CAPTURE(Muparser, flat_1024_terms, bench::FlatExpression());
#endif

}  // namespace

BENCHMARK_MAIN();
