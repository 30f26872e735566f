// The run's one hash table, and the growing arrays of records that some of
// its users keep. Every keyed store of a run finds its entries through a
// HashTable: the caches by the text of a path or name (TableKey entries),
// the modes by a record's number in a RecordTable. None of it is freed
// before the process exits, except where an owner clears its own table.
//
// It includes nothing of the tool but itself, so that any module may use it.
#ifndef TUFLAT_BASE_TABLES_H
#define TUFLAT_BASE_TABLES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "bounds.h"

// Makes room in *array (of items `itemBytes` each, *capacity of them) for at
// least `needed` items, keeping the first `kept`. Returns 0 when no memory can
// be had; the array is then as it was.
int reserveItems(void** array, uint32_t* capacity, uint32_t kept, uint32_t needed,
                 size_t itemBytes);

template <typename Item>
int reserveItems(Item** array, uint32_t* capacity, uint32_t kept, uint32_t needed) {
  void* items = *array;
  int reserved = reserveItems(&items, capacity, kept, needed, sizeof(Item));
  *array = static_cast<Item*>(items);
  return reserved;
}

// Keys are often long paths, alike at the start: hashed eight bytes at a time.
uint64_t hashBytes(const void* bytes, size_t count);

// Values by the hash they were added under, found by linear probing.
// Invariants:
// - capacity is 0 (no arrays yet) or a power of two, at least kFirstSlots;
// - slots[0, capacity) hold a value, or Value() where free, and `used` are
//   taken, with used * 2 <= capacity: a probe always meets a free slot;
// - hashes[at] is the hash slots[at] was added under, so that a probe
//   offers a value to its caller only when the hash matches;
// - nothing is ever removed, and every value is reached by probing from
//   slot (hash & (capacity - 1)) without meeting a free slot;
// - the table never looks into a value; several may share a hash, or be
//   equal: a caller that wants one value per key finds before it adds.
// - the arrays take capacity * (sizeof(Value) + 8) bytes, which roomInTable
//   counts for an owner that bounds its memory.
// Value() itself can never be added.
template <typename Value>
struct HashTable {
  Value* slots = nullptr;
  uint64_t* hashes = nullptr;
  size_t capacity = 0;
  size_t used = 0;
};

// The slots of a table's first arrays: with reduced bounds, few enough that
// the smallest bound still holds a table.
constexpr size_t kFirstSlots = TUFLAT_BOUND(1024, 4);

// Offers each value added under `hash` to `isWanted` until it says yes;
// returns that value, or Value() when none is.
template <typename Value, typename IsWanted>
Value findInTable(const HashTable<Value>& table, uint64_t hash, IsWanted isWanted) {
  if (table.capacity == 0) return Value();
  size_t mask = table.capacity - 1;
  for (size_t at = static_cast<size_t>(hash) & mask; table.slots[at] != Value();
       at = (at + 1) & mask) {
    if (table.hashes[at] == hash && isWanted(table.slots[at])) return table.slots[at];
  }
  return Value();
}

// Puts `value` in the first free slot from its hash's; the caller has made
// room for it and counts it.
template <typename Value>
void placeInTable(HashTable<Value>* table, uint64_t hash, Value value) {
  size_t mask = table->capacity - 1;
  size_t at = static_cast<size_t>(hash) & mask;
  while (table->slots[at] != Value()) at = (at + 1) & mask;
  table->slots[at] = value;
  table->hashes[at] = hash;
}

// Frees the arrays and empties the table; the values are the owner's.
template <typename Value>
void clearTable(HashTable<Value>* table) {
  delete[] table->slots;
  delete[] table->hashes;
  *table = HashTable<Value>();
}

// Makes room for one more value: a table about to hold more than half its
// slots moves to arrays twice as large. When `bytes` is not null, the bytes
// the larger arrays add are added to *bytes as long as it stays within
// `limit`. Returns 0, the table as it was, when it would not or when no
// memory can be had.
template <typename Value>
int roomInTable(HashTable<Value>* table, uint64_t* bytes, uint64_t limit) {
  if ((table->used + 1) * 2 <= table->capacity) return 1;
  size_t capacity = table->capacity == 0 ? kFirstSlots : table->capacity * 2;
  constexpr size_t kSlotBytes = sizeof(Value) + sizeof(uint64_t);
  if (capacity < table->capacity || capacity > SIZE_MAX / kSlotBytes) return 0;
  uint64_t added = static_cast<uint64_t>(capacity - table->capacity) * kSlotBytes;
  if (bytes != nullptr && *bytes + added > limit) return 0;
  HashTable<Value> grown = {new (std::nothrow) Value[capacity](),
                            new (std::nothrow) uint64_t[capacity], capacity, table->used};
  if (grown.slots == nullptr || grown.hashes == nullptr) {
    clearTable(&grown);
    return 0;
  }
  for (size_t at = 0; at < table->capacity; ++at) {
    if (table->slots[at] != Value()) placeInTable(&grown, table->hashes[at], table->slots[at]);
  }
  clearTable(table);
  *table = grown;
  if (bytes != nullptr) *bytes += added;
  return 1;
}

// Adds `value` under `hash`, after roomInTable.
template <typename Value>
void addToTable(HashTable<Value>* table, uint64_t hash, Value value) {
  placeInTable(table, hash, value);
  ++table->used;
}

// Record numbers by hash: each slot holds a record number plus one.
using HashIndex = HashTable<uint32_t>;

constexpr uint32_t kNoRecord = ~static_cast<uint32_t>(0);

// Adds `record` under `hash`. Returns 0 when no memory can be had.
inline int addToIndex(HashIndex* index, uint64_t hash, uint32_t record) {
  if (!roomInTable(index, nullptr, 0)) return 0;
  addToTable(index, hash, record + 1);
  return 1;
}

// Offers each record added under `hash` to `isWanted` until it says yes;
// returns that record, or kNoRecord.
template <typename IsWanted>
uint32_t findInIndex(const HashIndex& index, uint64_t hash, IsWanted isWanted) {
  // A free slot's 0 becomes kNoRecord.
  return findInTable(index, hash, [&](uint32_t slot) { return isWanted(slot - 1); }) - 1;
}

// Records items[0, count) of room for `capacity`, found through `index`.
template <typename Item>
struct RecordTable {
  Item* items = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;
  HashIndex index;
};

// Makes room for one more record, found under `hash`, and returns its
// number; the caller fills it. Returns kNoRecord, adding nothing, when no
// memory can be had.
template <typename Item>
uint32_t addRecord(RecordTable<Item>* table, uint64_t hash) {
  if (!reserveItems(&table->items, &table->capacity, table->count, table->count + 1) ||
      !addToIndex(&table->index, hash, table->count)) {
    return kNoRecord;
  }
  return table->count++;
}

// The key of an entry of a table keyed by wide text, with which the entry
// begins: the key's text lives with the entry.
struct TableKey {
  const char16_t* text;
  size_t length;
  uint64_t hash;
};

// Entries by their keys' text, one entry per text.
using WideTable = HashTable<TableKey*>;

inline uint64_t hashWide(const char16_t* text, size_t length) {
  return hashBytes(text, length * sizeof(char16_t));
}

// The entry whose key is text[0, length) with that hash, or null.
inline TableKey* findKey(const WideTable* table, const char16_t* text, size_t length,
                         uint64_t hash) {
  return findInTable(*table, hash, [&](const TableKey* key) {
    return key->length == length && memcmp(key->text, text, length * sizeof(char16_t)) == 0;
  });
}

// Adds an entry not in the table, after roomInTable.
inline void addKey(WideTable* table, TableKey* key) {
  addToTable(table, key->hash, key);
}

// The entry keyed text[0, length); when there is none, a new value-initialised
// Entry, which begins with its TableKey `key` and has the key's text copied
// after it in its block, terminated (the block is freed with operator
// delete). Its block and larger table arrays are added to *bytes as long as
// they stay within `limit`; null when they would not, or when no memory can be
// had.
template <typename Entry>
Entry* findOrAddEntry(WideTable* table, const char16_t* text, size_t length, uint64_t* bytes,
                      uint64_t limit) {
  uint64_t hash = hashWide(text, length);
  if (TableKey* key = findKey(table, text, length, hash)) return reinterpret_cast<Entry*>(key);
  size_t size = sizeof(Entry) + (length + 1) * sizeof(char16_t);
  if (!roomInTable(table, bytes, limit) || *bytes + size > limit) return nullptr;
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
