// Helpers the fuzz targets share: putting the process-wide state back as a
// freshly loaded library has it, so every input runs alone.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "expr/expr.h"


// Stops the run the way a sanitizer finding does, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      __builtin_printf("check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                             \
    }                                                                           \
  } while (0)
