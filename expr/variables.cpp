// The process-wide variable table: a list that only grows.
#include <cstring>
#include <memory>

#include "expr.h"

VariableEntry* VariableTable = nullptr;

VariableEntry* FindOrAddVariable(const char* name) {
  for (VariableEntry* entry = VariableTable; entry != nullptr; entry = entry->next) {
    if (std::strcmp(entry->name, name) == 0) return entry;
  }
  // Both allocations succeed before the table changes, so running out of
  // memory leaves it as it was.
  const std::size_t size = std::strlen(name) + 1;
  auto name_copy = std::make_unique<char[]>(size);
  std::memcpy(name_copy.get(), name, size);
  auto entry = std::make_unique<VariableEntry>(VariableEntry{name_copy.get(), 0.0, VariableTable});
  name_copy.release();
  VariableTable = entry.release();
  return VariableTable;
}

void ClearVariables() {
  while (VariableTable != nullptr) {
    VariableEntry* entry = VariableTable;
    VariableTable = entry->next;
    delete[] entry->name;
    delete entry;
  }
}

namespace {

struct ReleaseAtUnload {
  ~ReleaseAtUnload() { ClearVariables(); }
} release_at_unload;

}  // namespace
