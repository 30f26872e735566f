// A hash table of entries keyed by wide text, for the run's caches. An entry
// begins with its TableKey; the key's text lives with the entry.
#ifndef TUFLAT_EXPAND_WIDE_TABLE_H
#define TUFLAT_EXPAND_WIDE_TABLE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "tables.h"

struct TableKey {
  const char16_t* text;
  size_t length;
  uint64_t hash;
};

// slots[0, capacity), capacity a power of two or 0; null slots are free, and
// at most half of the slots are taken. hashes[at] is the hash of the key in
// slots[at], so that a probe reads a key only when its hash matches.
struct WideTable {
  TableKey** slots;
  uint64_t* hashes;
  size_t capacity;
  size_t used;
};

inline uint64_t hashWide(const char16_t* text, size_t length) {
  return hashBytes(text, length * sizeof(char16_t));
}

// The entry whose key is text[0, length) with that hash, or null.
TableKey* findKey(const WideTable* table, const char16_t* text, size_t length, uint64_t hash);

// Makes room for one more entry, adding the bytes of a larger slot array to
// *bytes as long as they stay within `limit`; 0 when it cannot.
int roomForKey(WideTable* table, uint64_t* bytes, uint64_t limit);

// Adds an entry not in the table, after roomForKey.
void addKey(WideTable* table, TableKey* key);

// Frees the slot array; the entries are the owner's.
void clearTable(WideTable* table);

// The entry keyed text[0, length); when there is none, a new value-initialised
// Entry, which begins with its TableKey `key` and has the key's text copied
// after it in its block, terminated (the block is freed with operator
// delete). Its block and a larger slot array are added to *bytes as long as
// they stay within `limit`; null when they would not, or when no memory can be
// had.
template <typename Entry>
Entry* findOrAddEntry(WideTable* table, const char16_t* text, size_t length, uint64_t* bytes,
                      uint64_t limit) {
  uint64_t hash = hashWide(text, length);
  if (TableKey* key = findKey(table, text, length, hash)) return reinterpret_cast<Entry*>(key);
  size_t size = sizeof(Entry) + (length + 1) * sizeof(char16_t);
  if (!roomForKey(table, bytes, limit) || *bytes + size > limit) return nullptr;
  void* block = ::operator new(size, std::nothrow);
  if (block == nullptr) return nullptr;
  auto* entry = new (block) Entry();
  auto* copy = reinterpret_cast<char16_t*>(entry + 1);
  memcpy(copy, text, length * sizeof(char16_t));
  copy[length] = 0;
  entry->key = {copy, length, hash};
  addKey(table, &entry->key);
  *bytes += size;
  return entry;
}

#endif
