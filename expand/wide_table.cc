#include "wide_table.h"

#include <cstring>
#include <new>

#include "bounds.h"

namespace {

constexpr size_t kFirstCapacity = TUFLAT_BOUND(1024, 4);

// The slot that holds the key, or the free slot where it would go.
size_t slotFor(const WideTable& table, const char16_t* text, size_t length, uint64_t hash) {
  size_t mask = table.capacity - 1;
  for (size_t at = static_cast<size_t>(hash) & mask;; at = (at + 1) & mask) {
    TableKey* key = table.slots[at];
    if (key == nullptr) return at;
    if (table.hashes[at] == hash && key->length == length &&
        memcmp(key->text, text, length * sizeof(char16_t)) == 0) {
      return at;
    }
  }
}

void place(WideTable* table, TableKey* key) {
  size_t at = slotFor(*table, key->text, key->length, key->hash);
  table->slots[at] = key;
  table->hashes[at] = key->hash;
}

}  // namespace

TableKey* findKey(const WideTable* table, const char16_t* text, size_t length, uint64_t hash) {
  if (table->capacity == 0) return nullptr;
  return table->slots[slotFor(*table, text, length, hash)];
}

int roomForKey(WideTable* table, uint64_t* bytes, uint64_t limit) {
  if ((table->used + 1) * 2 <= table->capacity) return 1;
  size_t capacity = table->capacity == 0 ? kFirstCapacity : table->capacity * 2;
  uint64_t added = (capacity - table->capacity) * (sizeof(TableKey*) + sizeof(uint64_t));
  if (*bytes + added > limit) return 0;
  WideTable grown = {new (std::nothrow) TableKey*[capacity](),
                     new (std::nothrow) uint64_t[capacity], capacity, table->used};
  if (grown.slots == nullptr || grown.hashes == nullptr) {
    clearTable(&grown);
    return 0;
  }
  for (size_t at = 0; at < table->capacity; ++at) {
    if (table->slots[at] != nullptr) place(&grown, table->slots[at]);
  }
  clearTable(table);
  *table = grown;
  *bytes += added;
  return 1;
}

void addKey(WideTable* table, TableKey* key) {
  place(table, key);
  ++table->used;
}

void clearTable(WideTable* table) {
  delete[] table->slots;
  delete[] table->hashes;
  *table = {nullptr, nullptr, 0, 0};
}
