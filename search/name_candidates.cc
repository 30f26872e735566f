#include "name_candidates.h"

#include <new>

#include "../base/bounds.h"

CandidateTable RunCandidates = {kCandidateLimit};

NameCandidates* findCandidates(CandidateTable* table, const char16_t* name, size_t length,
                               uint32_t slots) {
  NameCandidates* found =
      findOrAddEntry<NameCandidates>(&table->table, name, length, &table->bytes, table->limit);
  if (found == nullptr) countBoundPath(BoundPath::CandidatesRefused);
  if (found == nullptr || found->entries != nullptr) return found;
  uint64_t size = uint64_t{slots} * sizeof(CachedPath*);
  if (table->bytes + size > table->limit) {
    countBoundPath(BoundPath::CandidatesRefused);
    return nullptr;
  }
  found->entries = new (std::nothrow) CachedPath*[slots]();
  if (found->entries == nullptr) return nullptr;
  table->bytes += size;
  return found;
}

void clearCandidates(CandidateTable* table) {
  for (size_t at = 0; at < table->table.capacity; ++at) {
    auto* found = reinterpret_cast<NameCandidates*>(table->table.slots[at]);
    if (found == nullptr) continue;
    delete[] found->entries;
    found->~NameCandidates();
    ::operator delete(found);
  }
  clearTable(&table->table);
  table->bytes = 0;
}
