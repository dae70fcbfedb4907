// The plug-in's one allocator. It reports running out of memory by returning
// null, never by an exception, so the plug-in has no exception to throw.
#include <cstdlib>

#include "expr.h"

void* AllocateBlock(std::size_t size) {
  return std::malloc(size);
}

void FreeBlock(void* block) {
  std::free(block);
}
