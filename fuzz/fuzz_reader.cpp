// libFuzzer target: the reader and the tree alone. Any bytes are read as one
// expression; a complete tree is evaluated and freed.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ClearVariableTable();
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
  ClearVariableTable();
  return 0;
}
