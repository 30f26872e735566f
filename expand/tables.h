// Growing arrays of records, and an index that finds a record by a hash of
// its key. The modes keep one record per file or name met in a run; none of
// it is freed before the process exits.
#ifndef TUFLAT_EXPAND_TABLES_H
#define TUFLAT_EXPAND_TABLES_H

#include <cstddef>
#include <cstdint>

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

// Record numbers by hash. slots[0, capacity) hold a record number plus one,
// or 0 when empty, and hashes[] the hash each was added under. capacity is 0
// or a power of two more than twice `used`, so a probe always ends.
struct HashIndex {
  uint32_t* slots = nullptr;
  uint64_t* hashes = nullptr;
  uint32_t capacity = 0;
  uint32_t used = 0;
};

constexpr uint32_t kNoRecord = ~static_cast<uint32_t>(0);

uint64_t hashBytes(const void* bytes, size_t count);

// Adds `record` under `hash`. Returns 0 when no memory can be had.
int addToIndex(HashIndex* index, uint64_t hash, uint32_t record);

// Offers each record added under `hash` to `isWanted` until it says yes;
// returns that record, or kNoRecord.
template <typename IsWanted>
uint32_t findInIndex(const HashIndex& index, uint64_t hash, IsWanted isWanted) {
  if (index.capacity == 0) return kNoRecord;
  uint32_t mask = index.capacity - 1;
  for (uint32_t slot = static_cast<uint32_t>(hash) & mask; index.slots[slot] != 0;
       slot = (slot + 1) & mask) {
    if (index.hashes[slot] == hash && isWanted(index.slots[slot] - 1)) {
      return index.slots[slot] - 1;
    }
  }
  return kNoRecord;
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

#endif
