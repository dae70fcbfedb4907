// The process-wide variable table: a list that only grows, newest first, and
// beside it an index that finds a name without walking the list.
//
// The index is an open-addressing hash table of entry pointers with linear
// probing. Its slot count is a power of two, and it doubles before more than
// three quarters of the slots are taken, so a probe soon reaches the name or
// an empty slot. Each slot also has a one-byte tag, a few bits of the name's
// hash, kept in an array of their own: a probe reads the small tag array and
// looks at an entry's name only when the tag matches.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "expr.h"

VariableEntry* VariableTable = nullptr;

namespace {

// Slots the index starts with; a power of two.
constexpr std::size_t kFirstIndexSize = 8;
// The index holds at most kMaxLoadNumerator / kMaxLoadDenominator of its slots.
constexpr std::size_t kMaxLoadNumerator = 3;
constexpr std::size_t kMaxLoadDenominator = 4;
// The tag of an empty slot; a taken slot's tag has its top bit set.
constexpr std::uint8_t kEmptyTag = 0;
// The 32-bit FNV-1a hash's starting value and multiplier.
constexpr std::uint32_t kFnvOffsetBasis = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;

struct Index {
  VariableEntry** slots = nullptr;  // null until the first variable
  std::uint8_t* tags = nullptr;
  std::size_t size = 0;   // slots, a power of two once allocated
  std::size_t count = 0;  // slots taken
};

Index lookup;

// Frees a block of AllocateBlock when its owner goes.
struct BlockDeleter {
  void operator()(void* block) const { FreeBlock(block); }
};

// Returns `count` uninitialised T in one block of AllocateBlock; null when memory runs out.
template <typename T>
std::unique_ptr<T, BlockDeleter> AllocateArray(std::size_t count) {
  // No size here overflows: a name is in memory already, and the index has
  // under three slots of one pointer per entry, which itself takes more.
  return std::unique_ptr<T, BlockDeleter>(static_cast<T*>(AllocateBlock(count * sizeof(T))));
}

// FNV-1a of the name's bytes up to its terminator.
std::uint32_t HashName(const char* name) {
  std::uint32_t hash = kFnvOffsetBasis;
  for (; *name != '\0'; ++name) {
    hash = (hash ^ static_cast<unsigned char>(*name)) * kFnvPrime;
  }
  return hash;
}

// The tag of a name of hash `hash`: bits 24 to 30 of it, and the top bit set.
std::uint8_t TagOf(std::uint32_t hash) {
  return static_cast<std::uint8_t>((hash >> 24) | 0x80u);
}

// The slot of `in` holding `name` (of hash `hash`), or the empty slot where it belongs.
std::size_t FindSlot(const Index& in, const char* name, std::uint32_t hash) {
  const std::size_t mask = in.size - 1;
  const std::uint8_t tag = TagOf(hash);
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (in.tags[i] == kEmptyTag) return i;
    if (in.tags[i] == tag && std::strcmp(in.slots[i]->name, name) == 0) return i;
  }
}

// Puts `entry` into the empty slot `slot` of `in`, tagged for hash `hash`.
void Fill(Index& in, std::size_t slot, VariableEntry* entry, std::uint32_t hash) {
  in.slots[slot] = entry;
  in.tags[slot] = TagOf(hash);
  ++in.count;
}

}  // namespace

VariableEntry* FindOrAddVariable(const char* name) {
  const std::uint32_t hash = HashName(name);
  if (lookup.size != 0) {
    const std::size_t slot = FindSlot(lookup, name, hash);
    if (lookup.tags[slot] != kEmptyTag) return lookup.slots[slot];
  }

  // Every allocation succeeds before the table or the index changes, so
  // running out of memory leaves both as they were.
  const bool grows = (lookup.count + 1) * kMaxLoadDenominator > lookup.size * kMaxLoadNumerator;
  const std::size_t new_size = lookup.size == 0 ? kFirstIndexSize : lookup.size * 2;
  std::unique_ptr<VariableEntry*, BlockDeleter> new_slots;
  std::unique_ptr<std::uint8_t, BlockDeleter> new_tags;
  if (grows) {
    new_slots = AllocateArray<VariableEntry*>(new_size);
    new_tags = AllocateArray<std::uint8_t>(new_size);
    if (!new_slots || !new_tags) return nullptr;
    std::memset(new_tags.get(), kEmptyTag, new_size);
  }
  const std::size_t size = std::strlen(name) + 1;
  auto name_copy = AllocateArray<char>(size);
  auto entry = AllocateArray<VariableEntry>(1);
  if (!name_copy || !entry) return nullptr;
  std::memcpy(name_copy.get(), name, size);
  ::new (entry.get()) VariableEntry{name_copy.get(), 0.0, VariableTable};

  if (grows) {
    Index grown{new_slots.release(), new_tags.release(), new_size, 0};
    for (std::size_t i = 0; i < lookup.size; ++i) {
      if (lookup.tags[i] == kEmptyTag) continue;
      VariableEntry* old = lookup.slots[i];
      const std::uint32_t old_hash = HashName(old->name);
      Fill(grown, FindSlot(grown, old->name, old_hash), old, old_hash);
    }
    FreeBlock(lookup.slots);
    FreeBlock(lookup.tags);
    lookup = grown;
  }
  Fill(lookup, FindSlot(lookup, name, hash), entry.get(), hash);
  name_copy.release();
  VariableTable = entry.release();
  return VariableTable;
}

void ClearVariables() {
  while (VariableTable != nullptr) {
    VariableEntry* entry = VariableTable;
    VariableTable = entry->next;
    FreeBlock(entry->name);
    FreeBlock(entry);
  }
  FreeBlock(lookup.slots);
  FreeBlock(lookup.tags);
  lookup = Index{};
}
