#include "tables.h"

#include <cstring>
#include <new>

int reserveItems(void** array, uint32_t* capacity, uint32_t kept, uint32_t needed,
                 size_t itemBytes) {
  if (needed <= *capacity) return 1;
  uint64_t grown = static_cast<uint64_t>(*capacity) * 2;
  if (grown < needed) grown = needed;
  if (grown < 16) grown = 16;
  if (grown > UINT32_MAX || grown > SIZE_MAX / itemBytes) return 0;
  void* items = ::operator new(static_cast<size_t>(grown) * itemBytes, std::nothrow);
  if (items == nullptr) return 0;
  if (kept > 0) memcpy(items, *array, kept * itemBytes);
  ::operator delete(*array);
  *array = items;
  *capacity = static_cast<uint32_t>(grown);
  return 1;
}

uint64_t hashBytes(const void* bytes, size_t count) {
  // FNV-1a: short keys, no adversary.
  uint64_t hash = 14695981039346656037ull;
  const auto* byte = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < count; ++i) hash = (hash ^ byte[i]) * 1099511628211ull;
  return hash;
}

int addToIndex(HashIndex* index, uint64_t hash, uint32_t record) {
  if (static_cast<uint64_t>(index->used + 1) * 2 >= index->capacity) {
    uint64_t capacity = index->capacity > 0 ? static_cast<uint64_t>(index->capacity) * 2 : 64;
    if (capacity > UINT32_MAX) return 0;
    auto* slots = new (std::nothrow) uint32_t[capacity]();
    auto* hashes = new (std::nothrow) uint64_t[capacity];
    if (slots == nullptr || hashes == nullptr) {
      delete[] slots;
      delete[] hashes;
      return 0;
    }
    uint32_t mask = static_cast<uint32_t>(capacity - 1);
    for (uint32_t old = 0; old < index->capacity; ++old) {
      if (index->slots[old] == 0) continue;
      uint32_t slot = static_cast<uint32_t>(index->hashes[old]) & mask;
      while (slots[slot] != 0) slot = (slot + 1) & mask;
      slots[slot] = index->slots[old];
      hashes[slot] = index->hashes[old];
    }
    delete[] index->slots;
    delete[] index->hashes;
    index->slots = slots;
    index->hashes = hashes;
    index->capacity = static_cast<uint32_t>(capacity);
  }
  uint32_t mask = index->capacity - 1;
  uint32_t slot = static_cast<uint32_t>(hash) & mask;
  while (index->slots[slot] != 0) slot = (slot + 1) & mask;
  index->slots[slot] = record + 1;
  index->hashes[slot] = hash;
  ++index->used;
  return 1;
}
