// A hash table of entries keyed by wide text, for the run's caches. An entry
// begins with its TableKey; the key's text lives with the entry.
#ifndef TUFLAT_EXPAND_WIDE_TABLE_H
#define TUFLAT_EXPAND_WIDE_TABLE_H

#include <cstddef>
#include <cstdint>

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

#endif
