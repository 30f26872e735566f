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
