// libFuzzer target: the reader and the tree alone. Any bytes are read as one
// expression; a complete tree is evaluated and freed.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ClearVariables();
  const char* text = reinterpret_cast<const char*>(data);
  NodePtr tree = ReadExpression(text, size);
  if (size > kMaxExpressionLength) FUZZ_CHECK(tree == nullptr);
  if (size <= kMaxExpressionLength) {
    // The reader never moves past the terminator of its copy.
    FUZZ_CHECK(Reader.ReadPosition >= 0 &&
               static_cast<std::size_t>(Reader.ReadPosition) <= size);
    if (tree) {
      FUZZ_CHECK(!Reader.TokenTooLong && !Reader.MissingOperand);
      volatile double value = tree->Evaluate();
      (void)value;
    }
  }
  tree.reset();
  ClearVariables();

  // The same bytes as a number token (each mapped to a digit or a point):
  // the quick conversion of short numbers must agree with a full one.
  if (size <= kMaxTokenLength) {
    char number[kMaxTokenLength + 1];
    for (std::size_t i = 0; i < size; ++i) number[i] = "0123456789."[data[i] % 11];
    number[size] = '\0';
    double expected = 0.0;
    std::from_chars(number, number + size, expected, std::chars_format::fixed);
    const double converted = ConvertNumberText(number);
    FUZZ_CHECK(std::memcmp(&converted, &expected, sizeof converted) == 0);
  }
  return 0;
}
