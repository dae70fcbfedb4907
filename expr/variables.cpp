// The process-wide variable table: a list that only grows, newest first, and
// beside it an index that finds a name without walking the list.
//
// The index is an open-addressing hash table of entry pointers with linear
// probing. Its slot count is a power of two, and it doubles before more than
// three quarters of the slots are taken, so a probe soon reaches the name or
// an empty slot.
#include <cstdint>
#include <cstring>
#include <memory>

#include "expr.h"

VariableEntry* VariableTable = nullptr;

namespace {

// Slots the index starts with; a power of two.
constexpr std::size_t kFirstIndexSize = 8;
// The index holds at most kMaxLoadNumerator / kMaxLoadDenominator of its slots.
constexpr std::size_t kMaxLoadNumerator = 3;
constexpr std::size_t kMaxLoadDenominator = 4;

VariableEntry** index_slots = nullptr;  // null until the first variable
std::size_t index_size = 0;             // slots, a power of two once allocated
std::size_t entry_count = 0;

// FNV-1a of the name's bytes up to its terminator.
std::size_t HashName(const char* name) {
  std::uint32_t hash = 2166136261u;
  for (; *name != '\0'; ++name) {
    hash = (hash ^ static_cast<unsigned char>(*name)) * 16777619u;
  }
  return hash;
}

// The slot of `slots` (of `size`, a power of two) holding `name`, or the empty
// slot where it belongs.
VariableEntry** FindSlot(VariableEntry** slots, std::size_t size, const char* name,
                         std::size_t hash) {
  const std::size_t mask = size - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    VariableEntry** slot = &slots[i];
    if (*slot == nullptr || std::strcmp((*slot)->name, name) == 0) return slot;
  }
}

}  // namespace

VariableEntry* FindOrAddVariable(const char* name) {
  const std::size_t hash = HashName(name);
  if (index_slots != nullptr) {
    VariableEntry** slot = FindSlot(index_slots, index_size, name, hash);
    if (*slot != nullptr) return *slot;
  }

  // Every allocation succeeds before the table or the index changes, so
  // running out of memory leaves both as they were.
  const bool grows = (entry_count + 1) * kMaxLoadDenominator > index_size * kMaxLoadNumerator;
  const std::size_t new_size = index_size == 0 ? kFirstIndexSize : index_size * 2;
  std::unique_ptr<VariableEntry*[]> new_slots;
  if (grows) new_slots = std::make_unique<VariableEntry*[]>(new_size);  // all null
  const std::size_t size = std::strlen(name) + 1;
  auto name_copy = std::make_unique<char[]>(size);
  std::memcpy(name_copy.get(), name, size);
  auto entry = std::make_unique<VariableEntry>(VariableEntry{name_copy.get(), 0.0, VariableTable});

  if (grows) {
    for (std::size_t i = 0; i < index_size; ++i) {
      VariableEntry* old = index_slots[i];
      if (old != nullptr) *FindSlot(new_slots.get(), new_size, old->name, HashName(old->name)) = old;
    }
    delete[] index_slots;
    index_slots = new_slots.release();
    index_size = new_size;
  }
  *FindSlot(index_slots, index_size, name, hash) = entry.get();
  ++entry_count;
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
  delete[] index_slots;
  index_slots = nullptr;
  index_size = 0;
  entry_count = 0;
}

namespace {

struct ReleaseAtUnload {
  ~ReleaseAtUnload() { ClearVariables(); }
} release_at_unload;

}  // namespace
