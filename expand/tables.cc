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

// Keys are often long paths, alike at the start: hashed eight bytes at a time.
uint64_t hashBytes(const void* key, size_t bytes) {
  const auto* data = static_cast<const unsigned char*>(key);
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ bytes;
  size_t at = 0;
  for (; at + sizeof(uint64_t) <= bytes; at += sizeof(uint64_t)) {
    uint64_t word;
    memcpy(&word, data + at, sizeof word);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  uint64_t rest = 0;
  if (bytes > at) memcpy(&rest, data + at, bytes - at);
  // The final mix of MurmurHash3, so that every bit counts in the low bits
  // that choose the slot.
  hash ^= rest;
  hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCDull;
  hash = (hash ^ (hash >> 33)) * 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 33);
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
